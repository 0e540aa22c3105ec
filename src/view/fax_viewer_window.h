#pragma once
// TFaxViewer: the modal "Fax Viewer " window in which the user looks at a fax
// and prints it. The caller gives it the APF file and a line describing the
// fax, shows it modally and frees it. It holds the viewer control FaxViewer,
// the fax printer FaxPrinter with its status component PrinterStatus, and a
// menu of zooms and rotations; its File menu also saves the fax as a PDF.
#include <QDialog>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;

namespace orv {

class TOrvFaxViewer;
class TOrvFaxPrinter;
class TOrvFaxPrinterStatus;
class TOrvCustomFaxViewer;
class TPictureButton;
class TButtonPanel;

class TFaxViewer : public QDialog {
    Q_OBJECT
public:
    explicit TFaxViewer(QWidget* parent = nullptr);
    ~TFaxViewer() override;

    // The file to show (before the window is shown) and the line describing it.
    void setFaxFile(const QString& fileName) { FFaxFile = fileName; }
    QString faxFile() const { return FFaxFile; }
    void setDescription(const QString& text);
    // Shown before the page caption when set (empty in this program).
    void setTitle(const QString& title) { FTitle = title; }
    int zoom() const { return FZoom; }

    TOrvFaxViewer* faxViewer() const { return FaxViewer; }
    TOrvFaxPrinter* faxPrinter() const { return FaxPrinter; }
    TOrvFaxPrinterStatus* printerStatus() const { return PrinterStatus; }

    // The starting zoom for a control w pixels wide and a page p pixels wide.
    static int StartingZoom(int controlWidth, int pageWidth);

    // Handlers, by the names of the controls they belong to.
    void SetFaxFile();
    void FaxViewerPageChange();
    void FaxViewerViewerError(int code);
    void FirstButtonClick();
    void PrevButtonClick();
    void NextButtonClick();
    void LastButtonClick();
    void ZoomInButtonClick();
    void ZoomOutButtonClick();
    void PrinterSetupButtonClick();
    void PrintButtonClick();
    void CloseButtonClick();
    void HelpButtonClick();
    void SaveAsPdfItemClick();
    // Writes the fax to pdfPath; false (after telling the user) on failure.
    bool SaveAsPdf(const QString& pdfPath);

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormCreate();
    void FormActivate();
    void FormClose();
    void ApplyZoom(int zoom);
    void ApplyRotation(int rotation);
    void UncheckZoomChoices();
    void UncheckRotationChoices();
    void UpdatePageCaption();

    QMenuBar* MainMenu;
    QMenu* FileItem;
    QMenu* ViewItem;
    QAction* SaveAsPdfItem;
    QAction* N25PercentItem;
    QAction* N50PercentItem;
    QAction* N75PercentItem;
    QAction* N100PercentItem;
    QAction* N150PercentItem;
    QAction* N200PercentItem;
    QAction* NoRotateItem;
    QAction* Rotate90Item;
    QAction* Rotate180Item;
    QAction* Rotate270Item;
    QWidget* Panel1;
    QLabel* StatusPanel;
    QLabel* status;
    TButtonPanel* Panel2;
    TPictureButton* FirstButton;
    TPictureButton* PrevButton;
    TPictureButton* NextButton;
    TPictureButton* LastButton;
    TPictureButton* ZoomInButton;
    TPictureButton* ZoomOutButton;
    TPictureButton* PrinterSetupButton;
    TPictureButton* Printbutton;
    TPictureButton* CloseButton;
    TPictureButton* Helpbutton;
    TOrvFaxViewer* FaxViewer;
    TOrvFaxPrinter* FaxPrinter;
    TOrvFaxPrinterStatus* PrinterStatus;

    QString FFaxFile;
    QString FTitle;
    int FZoom = 100;
    bool FFirstActivate = true;
    bool FPlacementSaved = false;
};

}  // namespace orv
