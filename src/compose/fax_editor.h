#pragma once
// TFaxEditor: the window in which one outgoing fax is composed: the
// recipient (typed, or picked from the phone book), an optional cover sheet
// (written, or loaded from a template with its merge fields filled at that
// moment) and the fax document, each on a page of its own. The main window
// fills it from a record, shows it modally and, on OK, writes it back; the
// window itself never touches the table of faxes.
#include <QDialog>

#include <optional>

class QAction;
class QButtonGroup;
class QMenu;
class QStackedWidget;
class QToolButton;

namespace orv {

class TAlignLabel;
class TButtonPanel;
class TDataSource;
class TEngineLink;
class TEnterEdit;
class TPictureButton;
class TRichEditor;
class TRichToolBar;
class TStatusLineScope;
class TTable;

inline constexpr int kHelpFaxEditor = 1015;

class TFaxEditor : public QDialog {
    Q_OBJECT
public:
    explicit TFaxEditor(QWidget* parent = nullptr);
    ~TFaxEditor() override;

    // The cover-template table objects the template button uses (the main
    // window's); without them the button does nothing.
    void setCoverTables(TTable* table, TDataSource* source, TEngineLink* link);
    // Where the phone book lives (the program folder unless set).
    void setPhoneBookFolder(const QString& folder) { FPhoneBookFolder = folder; }

    TEnterEdit* recipient() const { return Recipient; }
    TEnterEdit* faxNumber() const { return FaxNumber; }
    TEnterEdit* subject() const { return Subject; }
    TRichEditor* richCover() const { return RichCover; }
    TRichEditor* richDoc() const { return RichDoc; }

    // The value of a cover sheet's merge field by its tag (at most 100
    // characters); nothing for a tag of no field.
    std::optional<QString> RichCoverGetTextToInsert(int tag);

    void SetZoom(int percent);
    // The pages, by index of Notebook.
    enum Page { pgCover = 0, pgDocument = 1, pgRecipient = 2 };
    int currentPage() const;

    void done(int result) override;

signals:
    // The spell-check buttons of the two tool bars.
    void spellCheckRequested(TRichEditor* editor);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void createControls();
    QWidget* createRecipientPage();
    QWidget* createEditorPage(const char* pageName, TRichEditor*& editor, const char* editorName,
                              TRichToolBar*& bar, const char* barName);
    void FormShow();
    void FormActivate();
    void RecipientButtonClick();
    void DocumentButtonClick();
    void CoverButtonClick();
    void ZoomMenuPopup();
    void OKButtonClick();
    void CancelButtonClick();
    void HelpbuttonClick();
    void AddressButtonClick();
    void LoadCoverButtonClick();
    void DocPageBreakButtonClick();
    void CoverDocPageBreakButtonClick();
    void ParagraphSetupButtonClick();
    void CoverParagraphSetupbuttonClick();
    void DocWordWrapButtonClick();
    void CoverDocWordWrapButtonClick();
    void RichCoverStartSpellCheck();
    void RichDocStartSpellCheck();
    // The editor zoom works on: the document while its page button is down.
    TRichEditor* zoomEditor() const;

    TButtonPanel* ButtonPanel = nullptr;
    TPictureButton* OKButton = nullptr;
    TPictureButton* CancelButton = nullptr;
    TPictureButton* Helpbutton = nullptr;
    TPictureButton* RecipientButton = nullptr;
    TPictureButton* CoverButton = nullptr;
    TPictureButton* DocumentButton = nullptr;
    QButtonGroup* PageButtons = nullptr;
    TPictureButton* Zoombutton = nullptr;
    QMenu* ZoomMenu = nullptr;
    QAction* Zoom70 = nullptr;
    QAction* Zoom80 = nullptr;
    QAction* Zoom100 = nullptr;
    QStackedWidget* Notebook = nullptr;
    TEnterEdit* Recipient = nullptr;
    TEnterEdit* FaxNumber = nullptr;
    TEnterEdit* Subject = nullptr;
    TPictureButton* AddressButton = nullptr;
    TRichEditor* RichCover = nullptr;
    TRichEditor* RichDoc = nullptr;
    TRichToolBar* RichToolCover = nullptr;
    TRichToolBar* RichToolDoc = nullptr;
    QToolButton* DocPageBreakButton = nullptr;
    QToolButton* ParagraphSetupButton = nullptr;
    QToolButton* DocWordWrapButton = nullptr;
    QToolButton* CoverDocPageBreakButton = nullptr;
    QToolButton* CoverParagraphSetupbutton = nullptr;
    QToolButton* CoverDocWordWrapButton = nullptr;
    QToolButton* LoadCoverButton = nullptr;
    TAlignLabel* status = nullptr;
    TStatusLineScope* FStatusScope = nullptr;

    TTable* FCoverTable = nullptr;
    TDataSource* FCoverDataSource = nullptr;
    TEngineLink* FCoverLink = nullptr;
    QString FPhoneBookFolder;
    QString FMergeBuffer;  // the last merge value handed out (at most 100 characters)
    bool FActivated = false;
    bool FPlacementSaved = false;
};

}  // namespace orv
