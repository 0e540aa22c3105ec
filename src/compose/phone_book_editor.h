#pragma once
// TPhoneBookEditor ("Phone Book Editor"): one phone-book entry, its name and
// its fax number. The phone-book browser fills the two edits, shows it
// modally and stores them on OK; Cancel leaves the entry as it was.
#include <QDialog>

class QLineEdit;

namespace orv {

class TAlignLabel;
class TButtonPanel;
class TPictureButton;
class TStatusLineScope;

inline constexpr int kHelpPhoneBookEditor = 1020;

class TPhoneBookEditor : public QDialog {
    Q_OBJECT
public:
    explicit TPhoneBookEditor(QWidget* parent = nullptr);
    ~TPhoneBookEditor() override;

    // The two edits, by the names the browser knows them by.
    QLineEdit* nameEdit() const { return Name; }
    QLineEdit* numberEdit() const { return Number; }

private:
    void OKButtonClick();
    void CancelbuttonClick();
    void HelpbuttonClick();

    TButtonPanel* ButtonPanel = nullptr;
    TPictureButton* OKButton = nullptr;
    TPictureButton* Cancelbutton = nullptr;
    TPictureButton* Helpbutton = nullptr;
    QLineEdit* Name = nullptr;
    QLineEdit* Number = nullptr;
    TAlignLabel* status = nullptr;
    TStatusLineScope* FStatusScope = nullptr;
};

}  // namespace orv
