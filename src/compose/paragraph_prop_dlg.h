#pragma once
// TParagraphPropDlg ("Paragraph Properties"): the indents and spacing of the
// paragraph at the insertion point of one rich-text editor. The six values
// are kept in twips; the indents are shown in inches or centimetres, the
// spacing in points. OK sets the spacing and then the indents of the editor
// handed in; Cancel changes nothing.
#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace orv {

class TRichEditor;

// The conversions between a value in twips and the text of its edit.
enum class ParagraphUnit { Inch, Cm };
QString IndentText(int twips, ParagraphUnit unit);
// Throws EConvertError for a text that is no number; an empty text is 0.
int IndentTwips(const QString& text, ParagraphUnit unit);
QString PointsText(int twips);
int PointsTwips(const QString& text);

// The editors' "Paragraph properties" buttons: the dialog for editor,
// centred, modal.
void OpenParagraphProperties(TRichEditor* editor, QWidget* parent);

class TParagraphPropDlg : public QDialog {
    Q_OBJECT
public:
    explicit TParagraphPropDlg(TRichEditor* editor, QWidget* parent = nullptr);

    // The working values, in twips, in the dialog's order.
    int firstIndent() const { return FValues[0]; }
    int leftIndent() const { return FValues[1]; }
    int rightIndent() const { return FValues[2]; }
    int spaceBefore() const { return FValues[3]; }
    int spaceAfter() const { return FValues[4]; }
    int lineHeight() const { return FValues[5]; }
    ParagraphUnit unit() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void ComboBox1Change();
    void EditChange(QLineEdit* edit);
    void FirstIndentComboClick();
    void OkbuttonClick();
    void fillEdits();
    void setHints();
    int indexOf(const QLineEdit* edit) const;

    TRichEditor* FEditor;
    int FValues[6] = {0, 0, 0, 0, 0, 0};
    bool FFilling = false;

    QComboBox* FirstIndentCombo = nullptr;
    QLineEdit* FirstIndent = nullptr;
    QLineEdit* LeftIndent = nullptr;
    QLineEdit* RightIndent = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QLineEdit* SpaceBeforePts = nullptr;
    QLineEdit* SpaceAfterPts = nullptr;
    QLineEdit* LineHeightPts = nullptr;
    QPushButton* Okbutton = nullptr;
    QPushButton* CancelButton = nullptr;
};

}  // namespace orv
