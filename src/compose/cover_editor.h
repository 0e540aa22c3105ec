#pragma once
// TCoverEditor ("Cover Sheet Template Editor"): one cover-sheet template, its
// description and its text, with the rich-text tool bar and the program's own
// buttons on it (page break, paragraph properties, word wrap), the Insert
// menu of the five merge fields and the zoom menu. Used only by the template
// browser, which fills it, shows it modally and stores it on OK.
#include <QDialog>

class QAction;
class QLineEdit;
class QMenu;
class QToolButton;

namespace orv {

class TAlignLabel;
class TButtonPanel;
class TPictureButton;
class TRichEditor;
class TRichToolBar;
class TStatusLineScope;

inline constexpr int kHelpCoverEditor = 1018;

// The merge fields of cover sheets: marker "*", a tag, and the value text a
// field shows until the fax editor fills it.
struct CoverMergeField {
    const char* menuItem;  // objectName of the Insert menu's item
    const char* caption;
    int tag;
    const char* valueText;
};
inline constexpr CoverMergeField kCoverMergeFields[] = {
    {"mnuRecipient1", "Recipient", 1, "[RECIPIENT]"},
    {"mnuFaxNumber1", "Fax Number", 2, "[FAX#]"},
    {"mnuSubject", "Subject", 3, "[SUBJECT]"},
    {"mnuDate", "Date", 4, "[DATE]"},
    {"mnuTime", "Time", 5, "[TIME]"},
};
inline constexpr QChar kMergeMarker = u'*';

// The page every cover sheet and fax document is edited on: 8.5 by 11 inches
// with half-inch margins.
void ApplyFaxPageLayout(TRichEditor& editor);

// A button of the program's own on an editor's tool bar (it leaves the focus in the editor).
QToolButton* MakeEditorToolButton(QWidget* parent, const char* name, const QString& text, const QString& hint,
                                  const char* themeIcon, bool checkable = false);
// Sets a word-wrap button's hint and pressed state from its editor's word wrap.
void ShowWordWrapState(QToolButton* button, bool wordWrapOn);
// Asks "Add a page break here?" (No is the default); on Yes inserts one.
void AskAndInsertPageBreak(TRichEditor& editor);

class TCoverEditor : public QDialog {
    Q_OBJECT
public:
    explicit TCoverEditor(QWidget* parent = nullptr);
    ~TCoverEditor() override;

    QLineEdit* description() const { return CoverDescription; }
    TRichEditor* richCover() const { return RichCover; }

    // The merge-field item with this caption (compared in upper case) into
    // the text at the insertion point; a caption of no field inserts nothing.
    void MenuItemClick(const QString& caption);
    void SetZoom(int percent);

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void createControls();
    void FormShow();
    void FormActivate();
    void ZoomMenuPopup();
    void CoverDocPageBreakButtonClick();
    void CoverParagraphSetupbuttonClick();
    void CoverDocWordWrapButtonClick();
    void OKbuttonClick();
    void CancelButtonClick();
    void HelpButtonClick();

    TButtonPanel* ButtonPanel = nullptr;
    TPictureButton* OKbutton = nullptr;
    TPictureButton* CancelButton = nullptr;
    TPictureButton* HelpButton = nullptr;
    TPictureButton* ExplorerButton1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    TPictureButton* Zoombutton = nullptr;
    QMenu* ZoomMenu = nullptr;
    QAction* Zoom70 = nullptr;
    QAction* Zoom80 = nullptr;
    QAction* Zoom100 = nullptr;
    QLineEdit* CoverDescription = nullptr;
    TRichEditor* RichCover = nullptr;
    TRichToolBar* RichToolBar1 = nullptr;
    QToolButton* CoverDocPageBreakButton = nullptr;
    QToolButton* CoverParagraphSetupbutton = nullptr;
    QToolButton* CoverDocWordWrapButton = nullptr;
    TAlignLabel* status = nullptr;
    TStatusLineScope* FStatusScope = nullptr;
    bool FPlacementSaved = false;
};

}  // namespace orv
