#pragma once
// TEditReceiveNotes: "Received Fax Notes", the small window in which the user
// writes a note (up to 60 characters) on a received fax. The main window
// fills Descript ("From: " + sender) and Notes, shows it modally and, when
// it closes with OK (Accept), stores the box's text into the record's NOTES.
#include <QDialog>

class QLabel;
class QLineEdit;

namespace orv {

class TAlignLabel;
class TButtonPanel;
class TPictureButton;
class TStatusLineScope;

class TEditReceiveNotes : public QDialog {
    Q_OBJECT
public:
    static constexpr int kNotesLength = 60;  // the width of the NOTES field

    explicit TEditReceiveNotes(QWidget* parent = nullptr);
    ~TEditReceiveNotes() override;

    // "From: " + the sender's station identifier.
    void setSender(const QString& from);
    QString notes() const;
    void setNotes(const QString& text);

private:
    TButtonPanel* ButtonPanel = nullptr;
    TPictureButton* OKButton = nullptr;
    TPictureButton* Cancelbutton = nullptr;
    QLabel* Descript = nullptr;
    QLabel* NotesLabel = nullptr;
    QLineEdit* Notes = nullptr;
    TAlignLabel* status = nullptr;
    TStatusLineScope* FStatusScope = nullptr;
};

}  // namespace orv
