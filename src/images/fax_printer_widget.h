#pragma once
// The fax printer: prints the pages of an APF file through QPrinter, each page
// decoded to a bitmap and stretched into the printable area, with optional
// header and footer lines from templates and optionally four (portrait) or two
// (landscape) fax pages to a sheet. It reports progress to a status window with
// an Abort button and can write start, finish, abort and failure lines to a
// print log.
//
//   TOrvFaxPrinter          the printer (on TOrvCustomFaxPrinter)
//   TOrvFaxPrinterMargin    a header or footer line
//   TOrvFaxPrinterStatus    the status component and its "Print Status" window
//                           (TStandardFaxPrinterStatusDisplay)
//   TOrvFaxPrinterLog       the log (images/fax_print_text.h)
#include <QDialog>
#include <QFont>
#include <QObject>
#include <QPointer>
#include <QPrinter>
#include <functional>
#include <memory>

#include "images/fax_print_text.h"
#include "images/fax_unpacker.h"

class QLabel;
class QPainter;
class QPushButton;

namespace orv {

enum TFaxPrintProgress { ppIdle, ppComposing, ppRendering, ppSubmitting, ppConverting };
enum TFaxPrintScale { psNone, psFitToPage };

// The word the status window shows for a progress code.
QString FaxPrintProgressText(TFaxPrintProgress p);

class TOrvCustomFaxPrinterMargin {
public:
    QString caption() const { return FCaption; }
    void setCaption(const QString& v) { FCaption = v; }
    bool enabled() const { return FEnabled; }
    void setEnabled(bool v) { FEnabled = v; }
    QFont& font() { return FFont; }
    const QFont& font() const { return FFont; }
    void setFont(const QFont& f) { FFont = f; }
    // The height of the text drawn last, in device pixels.
    int height() const { return FHeight; }
    void setHeight(int h) { FHeight = h; }

private:
    QString FCaption;
    bool FEnabled = false;
    QFont FFont;
    int FHeight = 0;
};

class TOrvFaxPrinterMargin : public TOrvCustomFaxPrinterMargin {};

class TOrvCustomFaxPrinter;

class TStandardFaxPrinterStatusDisplay : public QDialog {
    Q_OBJECT
public:
    explicit TStandardFaxPrinterStatusDisplay(TOrvCustomFaxPrinter* printer, QWidget* parent = nullptr);
    void UpdateValues();

    QLabel* fpsFileName;
    QLabel* fpsTotalPages;
    QLabel* fpsResolution;
    QLabel* fpsWidth;
    QLabel* fpsFirstPage;
    QLabel* fpsLastPage;
    QLabel* fpsStatusLine;
    QPushButton* fpsAbortButton;

private:
    void fpsAbortButtonClick();
    QPointer<TOrvCustomFaxPrinter> FPrinter;
};

class TOrvAbstractFaxPrinterStatus : public QObject {
    Q_OBJECT
public:
    explicit TOrvAbstractFaxPrinterStatus(QObject* parent = nullptr) : QObject(parent) {}
    virtual void CreateDisplay() = 0;
    virtual void DestroyDisplay() = 0;
    // First: show the window; Last: hide it; otherwise refresh its values.
    virtual void UpdateDisplay(bool First, bool Last) = 0;

    TOrvCustomFaxPrinter* faxPrinter() const { return FFaxPrinter; }
    void setFaxPrinter(TOrvCustomFaxPrinter* p) { FFaxPrinter = p; }
    bool ctl3D() const { return FCtl3D; }
    void setCtl3D(bool v) { FCtl3D = v; }
    bool visible() const { return FVisible; }
    void setVisible(bool v) { FVisible = v; }
    // Centred on the screen (the only position the window uses).
    bool centered() const { return FCentered; }
    void setCentered(bool v) { FCentered = v; }

protected:
    QPointer<TOrvCustomFaxPrinter> FFaxPrinter;
    bool FCtl3D = true, FVisible = false, FCentered = true;
};

class TOrvFaxPrinterStatus : public TOrvAbstractFaxPrinterStatus {
    Q_OBJECT
public:
    explicit TOrvFaxPrinterStatus(QObject* parent = nullptr) : TOrvAbstractFaxPrinterStatus(parent) {}
    ~TOrvFaxPrinterStatus() override;
    void CreateDisplay() override;
    void DestroyDisplay() override;
    void UpdateDisplay(bool First, bool Last) override;
    TStandardFaxPrinterStatusDisplay* display() const { return FDisplay.get(); }

private:
    std::unique_ptr<TStandardFaxPrinterStatusDisplay> FDisplay;
};

class TOrvCustomFaxPrinter : public QObject {
    Q_OBJECT
public:
    using TFaxPrnNextPageEvent = std::function<void(TOrvCustomFaxPrinter* sender, uint16_t CP, uint16_t TP)>;
    using TFaxPLEvent = std::function<void(TOrvCustomFaxPrinter* sender, TFaxPLCode code)>;
    using TFaxPrintStatusEvent = std::function<void(TOrvCustomFaxPrinter* sender, TFaxPrintProgress status)>;

    explicit TOrvCustomFaxPrinter(QObject* parent = nullptr);
    ~TOrvCustomFaxPrinter() override;

    QString caption() const { return FCaption; }
    void setCaption(const QString& v);
    TOrvFaxPrinterMargin& FaxHeader() { return FFaxHeader; }
    TOrvFaxPrinterMargin& FaxFooter() { return FFaxFooter; }
    TOrvCustomFaxPrinterLog* faxPrinterLog() const { return FFaxPrinterLog; }
    void setFaxPrinterLog(TOrvCustomFaxPrinterLog* log) { FFaxPrinterLog = log; }
    TOrvAbstractFaxPrinterStatus* statusDisplay() const { return FStatusDisplay; }
    void setStatusDisplay(TOrvAbstractFaxPrinterStatus* s);
    QString fileName() const { return FFileName; }
    // Opens the file through the decoder: page count, page 1's resolution and
    // width, first page 1 and last page the count (0 and 0 for an empty file).
    // A file that cannot be read raises the exception of its code.
    void setFileName(const QString& v);
    bool multiPage() const { return FMultiPage; }
    void setMultiPage(bool v) { FMultiPage = v; }
    TFaxPrintScale printScale() const { return FPrintScale; }
    void setPrintScale(TFaxPrintScale v) { FPrintScale = v; }

    int pageCount() const { return FPageCount; }
    bool firstPageHighRes() const { return FHighRes; }
    bool firstPageWide() const { return FWide; }
    int firstPageToPrint() const { return FFirstPage; }
    void setFirstPageToPrint(int p) { FFirstPage = p; }
    int lastPageToPrint() const { return FLastPage; }
    void setLastPageToPrint(int p) { FLastPage = p; }
    int currentPrintingPage() const { return FCurrentPage; }
    TFaxPrintProgress printProgress() const { return FProgress; }
    bool printing() const { return FJobRunning; }

    // The printer the pages go to (the system's default until changed).
    QPrinter& printer() { return *FPrinter; }
    // The print dialog, with the page range 1..page count: true when the user
    // chose to print; the chosen range becomes the pages to print.
    bool ExecutePrintDialog(QWidget* parent);

    // Prints pages first..last; nothing for an empty file. A page that cannot
    // be decoded raises its exception after the failure is logged.
    void PrintFax();
    // Stops printing (the Abort button).
    void AbortFax();

    TFaxPrnNextPageEvent OnNextPage;
    TFaxPLEvent OnFaxPrintLog;
    TFaxPrintStatusEvent OnFaxPrintStatus;

    // The rectangle of a page on its sheet and the size of its bitmap there,
    // in device pixels, by the rules above (exposed for tests).
    QRect pageRectOnSheet(int page, const QRect& printable, bool landscape) const;
    static QSize fittedSize(const QSize& bitmap, const QRect& rect, TFaxPrintScale scale);

private:
    void setProgress(TFaxPrintProgress p);
    void logCode(TFaxPLCode code);
    void drawMargin(QPainter& painter, TOrvFaxPrinterMargin& margin, QRect& rect, int page, bool header);
    void endJob(bool abort);

    QString FCaption = QStringLiteral("Orvane Fax Printer");
    TOrvFaxPrinterMargin FFaxHeader, FFaxFooter;
    QPointer<TOrvCustomFaxPrinterLog> FFaxPrinterLog;
    QPointer<TOrvAbstractFaxPrinterStatus> FStatusDisplay;
    QString FFileName;
    bool FMultiPage = false;
    TFaxPrintScale FPrintScale = psFitToPage;
    int FPageCount = 0;
    bool FHighRes = false, FWide = false;
    int FFirstPage = 0, FLastPage = 0, FCurrentPage = 0;
    TFaxPrintProgress FProgress = ppIdle;
    bool FJobRunning = false;
    std::unique_ptr<QPrinter> FPrinter;
    std::unique_ptr<QPainter> FPainter;
    TOrvFaxUnpacker FUnpacker;
};

class TOrvFaxPrinter : public TOrvCustomFaxPrinter {
    Q_OBJECT
public:
    explicit TOrvFaxPrinter(QObject* parent = nullptr) : TOrvCustomFaxPrinter(parent) {}
};

}  // namespace orv
