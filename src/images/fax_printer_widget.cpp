#include "images/fax_printer_widget.h"

#include <QApplication>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPen>
#include <QPrintDialog>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "common/orv_error.h"
#include "images/apf_file.h"

namespace orv {

namespace {
void processMessages() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// The first object of type T among the owner's children, for the components
// that find their status window and log by themselves.
template <class T>
T* firstSibling(QObject* self) {
    QObject* owner = self->parent();
    if (!owner) return nullptr;
    for (QObject* c : owner->children())
        if (auto* t = qobject_cast<T*>(c)) return t;
    return nullptr;
}
}  // namespace

QString FaxPrintProgressText(TFaxPrintProgress p) {
    switch (p) {
    case ppComposing: return QStringLiteral("Composing");
    case ppRendering: return QStringLiteral("Rendering");
    case ppSubmitting: return QStringLiteral("Submitting");
    case ppConverting: return QStringLiteral("Converting");
    case ppIdle: break;
    }
    return QStringLiteral("Idle");
}

// ================================================================================
// status window
// ================================================================================

TStandardFaxPrinterStatusDisplay::TStandardFaxPrinterStatusDisplay(TOrvCustomFaxPrinter* printer, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), FPrinter(printer) {
    setObjectName(QStringLiteral("TStandardFaxPrinterStatusDisplay"));
    setWindowTitle(QStringLiteral("Print Status"));
    setFixedSize(267, 225);
    auto* column = new QVBoxLayout(this);
    auto* info = new QGroupBox(QStringLiteral("Fax Information"), this);
    info->setObjectName(QStringLiteral("fpsFaxInfoGroup"));
    auto* grid = new QGridLayout(info);
    grid->setVerticalSpacing(2);
    auto value = [&](const char* name, const char* caption, int row) {
        grid->addWidget(new QLabel(QString::fromLatin1(caption), info), row, 0);
        auto* l = new QLabel(info);
        l->setObjectName(QString::fromLatin1(name));
        grid->addWidget(l, row, 1);
        return l;
    };
    fpsFileName = value("fpsFileName", "Filename", 0);
    fpsTotalPages = value("fpsTotalPages", "Total Pages", 1);
    fpsResolution = value("fpsResolution", "Resolution", 2);
    fpsWidth = value("fpsWidth", "Width", 3);
    fpsFirstPage = value("fpsFirstPage", "First Page to Print", 4);
    fpsLastPage = value("fpsLastPage", "Last Page to Print", 5);
    column->addWidget(info);
    auto* statusGroup = new QGroupBox(QStringLiteral("Status"), this);
    statusGroup->setObjectName(QStringLiteral("fpsStatusGroup"));
    auto* statusRow = new QVBoxLayout(statusGroup);
    fpsStatusLine = new QLabel(statusGroup);
    fpsStatusLine->setObjectName(QStringLiteral("fpsStatusLine"));
    fpsStatusLine->setAlignment(Qt::AlignCenter);
    statusRow->addWidget(fpsStatusLine);
    column->addWidget(statusGroup);
    fpsAbortButton = new QPushButton(QStringLiteral("Abort"), this);
    fpsAbortButton->setObjectName(QStringLiteral("fpsAbortButton"));
    fpsAbortButton->setDefault(true);
    column->addWidget(fpsAbortButton, 0, Qt::AlignHCenter);
    connect(fpsAbortButton, &QPushButton::clicked, this, &TStandardFaxPrinterStatusDisplay::fpsAbortButtonClick);
    fpsAbortButton->setFocus();
}

void TStandardFaxPrinterStatusDisplay::UpdateValues() {
    if (!FPrinter) return;
    const TOrvCustomFaxPrinter& p = *FPrinter;
    fpsFileName->setText(QFileInfo(p.fileName()).fileName().toUpper());
    fpsTotalPages->setText(QString::number(p.pageCount()));
    fpsResolution->setText(p.firstPageHighRes() ? QStringLiteral("high") : QStringLiteral("standard"));
    fpsWidth->setText(p.firstPageWide() ? QStringLiteral("2048") : QStringLiteral("1728"));
    fpsFirstPage->setText(QString::number(p.firstPageToPrint()));
    fpsLastPage->setText(QString::number(p.lastPageToPrint()));
    fpsStatusLine->setText(QStringLiteral("%1 %2 of %3")
                               .arg(FaxPrintProgressText(p.printProgress()))
                               .arg(p.currentPrintingPage())
                               .arg(p.lastPageToPrint()));
}

void TStandardFaxPrinterStatusDisplay::fpsAbortButtonClick() {
    if (FPrinter) FPrinter->AbortFax();
}

TOrvFaxPrinterStatus::~TOrvFaxPrinterStatus() = default;

void TOrvFaxPrinterStatus::CreateDisplay() {
    if (!FDisplay) FDisplay = std::make_unique<TStandardFaxPrinterStatusDisplay>(FFaxPrinter, QApplication::activeWindow());
}

void TOrvFaxPrinterStatus::DestroyDisplay() { FDisplay.reset(); }

void TOrvFaxPrinterStatus::UpdateDisplay(bool First, bool Last) {
    if (First) {
        CreateDisplay();
        FDisplay->UpdateValues();
        if (FCentered) {
            if (QScreen* s = FDisplay->screen())
                FDisplay->move(s->availableGeometry().center() - QPoint(FDisplay->width() / 2, FDisplay->height() / 2));
        }
        FDisplay->show();
        FDisplay->raise();
        FVisible = true;
        return;
    }
    if (!FDisplay) return;
    if (Last) {
        FDisplay->hide();
        FVisible = false;
        return;
    }
    FDisplay->UpdateValues();
}

// ================================================================================
// printer
// ================================================================================

TOrvCustomFaxPrinter::TOrvCustomFaxPrinter(QObject* parent)
    : QObject(parent), FPrinter(std::make_unique<QPrinter>(QPrinter::HighResolution)), FUnpacker(this) {
    FFaxHeader.setCaption(QStringLiteral("FILE: $F"));
    FFaxHeader.setEnabled(true);
    FFaxFooter.setCaption(QStringLiteral("PAGE: $P of $N"));
    FFaxFooter.setEnabled(true);
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(8);  // 11 pixels on a 96 dpi screen
    FFaxHeader.setFont(f);
    FFaxFooter.setFont(f);
    FPrinter->setDocName(FCaption);
    FFaxPrinterLog = firstSibling<TOrvCustomFaxPrinterLog>(this);
    setStatusDisplay(firstSibling<TOrvAbstractFaxPrinterStatus>(this));
}

TOrvCustomFaxPrinter::~TOrvCustomFaxPrinter() {
    if (FPainter && FPainter->isActive()) {
        FPrinter->abort();
        FPainter->end();
    }
}

void TOrvCustomFaxPrinter::setCaption(const QString& v) {
    FCaption = v;
    FPrinter->setDocName(v);
}

void TOrvCustomFaxPrinter::setStatusDisplay(TOrvAbstractFaxPrinterStatus* s) {
    FStatusDisplay = s;
    if (s) s->setFaxPrinter(this);
}

void TOrvCustomFaxPrinter::setFileName(const QString& v) {
    FFileName = v;
    FUnpacker.setInFileName(v);
    FPageCount = FUnpacker.GetPageCount();
    FHighRes = FWide = false;
    if (FPageCount > 0) {
        FHighRes = FUnpacker.GetFirstPageHighRes();
        FWide = FUnpacker.GetFirstPageWide();
    } else if (!v.isEmpty()) {
        // An unreadable file raises its code; an empty one prints nothing.
        ApfReader r;
        CheckOrvError(r.open(v));
    }
    FFirstPage = FPageCount > 0 ? 1 : 0;
    FLastPage = FPageCount;
    FPrinter->setFromTo(0, 0);
}

bool TOrvCustomFaxPrinter::ExecutePrintDialog(QWidget* parent) {
    QPrintDialog dialog(FPrinter.get(), parent);
    dialog.setWindowTitle(QStringLiteral("Print"));
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, FPageCount > 1);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    if (FPageCount > 0) dialog.setMinMax(1, FPageCount);
    dialog.setFromTo(FFirstPage, FLastPage);
    if (dialog.exec() != QDialog::Accepted) return false;
    if (dialog.printRange() == QAbstractPrintDialog::PageRange && dialog.fromPage() > 0) {
        FFirstPage = std::max(1, dialog.fromPage());
        FLastPage = std::min(FPageCount, std::max(FFirstPage, dialog.toPage()));
    } else {
        FFirstPage = FPageCount > 0 ? 1 : 0;
        FLastPage = FPageCount;
    }
    return true;
}

void TOrvCustomFaxPrinter::setProgress(TFaxPrintProgress p) {
    if (p != FProgress) {
        FProgress = p;
        if (OnFaxPrintStatus) OnFaxPrintStatus(this, p);
        if (FStatusDisplay && FStatusDisplay->visible()) FStatusDisplay->UpdateDisplay(false, false);
    }
    processMessages();
}

void TOrvCustomFaxPrinter::logCode(TFaxPLCode code) {
    if (OnFaxPrintLog) OnFaxPrintLog(this, code);
    if (!FFaxPrinterLog) FFaxPrinterLog = firstSibling<TOrvCustomFaxPrinterLog>(this);
    // A log that cannot be written does not stop printing.
    if (FFaxPrinterLog) FFaxPrinterLog->UpdateLog(code, FFileName);
}

QRect TOrvCustomFaxPrinter::pageRectOnSheet(int page, const QRect& printable, bool landscape) const {
    QRect r = printable;
    if (!FMultiPage) return r;
    const int w = printable.width() / 2, h = printable.height() / 2;
    const int slot = landscape ? (page - FFirstPage) % 2 : (page - FFirstPage) % 4;
    if (landscape)
        r = QRect(printable.left() + slot * w, printable.top(), w, printable.height());
    else
        r = QRect(printable.left() + (slot % 2) * w, printable.top() + (slot / 2) * h, w, h);
    return r.adjusted(2, 2, -2, -2);
}

QSize TOrvCustomFaxPrinter::fittedSize(const QSize& bitmap, const QRect& rect, TFaxPrintScale scale) {
    if (bitmap.isEmpty()) return {};
    if (scale == psNone) return {bitmap.width(), std::min(bitmap.height(), rect.height())};
    const qint64 w = qint64(bitmap.width()) * rect.height() / bitmap.height();
    if (w < rect.width()) return {int(w), rect.height()};
    return {rect.width(), int(qint64(bitmap.height()) * rect.width() / bitmap.width())};
}

void TOrvCustomFaxPrinter::drawMargin(QPainter& painter, TOrvFaxPrinterMargin& margin, QRect& rect, int page,
                                      bool header) {
    if (!margin.enabled() || !FJobRunning) return;
    const QString text = ExpandFaxPrintTemplate(margin.caption(), FFileName, page, FPageCount);
    QFont font = margin.font();
    if (FMultiPage) font.setPointSizeF(font.pointSizeF() / 2);
    painter.setFont(font);
    // A hairline on a 1200 dpi printer is hard to see; about 1/150 inch.
    painter.setPen(QPen(Qt::black, std::max(1, painter.device()->logicalDpiY() / 150)));
    const QFontMetrics fm(font, painter.device());
    const int th = fm.height();
    margin.setHeight(th);
    if (header) {
        const QRect band(rect.left(), rect.top(), rect.width(), th);
        painter.drawText(band, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
        rect.setTop(rect.top() + th + 2);
        painter.drawLine(rect.left(), rect.top(), rect.right(), rect.top());
        rect.setTop(rect.top() + 1);
    } else {
        const QRect band(rect.left(), rect.bottom() - th, rect.width(), th);
        painter.drawText(band, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
        rect.setBottom(rect.bottom() - th - 2);
        painter.drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
        rect.setBottom(rect.bottom() - 1);
    }
}

void TOrvCustomFaxPrinter::endJob(bool abort) {
    if (!FPainter) return;
    if (abort) FPrinter->abort();
    if (FPainter->isActive()) FPainter->end();
    FPainter.reset();
    FJobRunning = false;
}

void TOrvCustomFaxPrinter::PrintFax() {
    if (FPageCount == 0 || FJobRunning) return;
    if (!FStatusDisplay) setStatusDisplay(firstSibling<TOrvAbstractFaxPrinterStatus>(this));
    FFirstPage = std::clamp(FFirstPage, 1, FPageCount);
    FLastPage = std::clamp(FLastPage, FFirstPage, FPageCount);
    FCurrentPage = 0;
    setProgress(ppIdle);
    if (FStatusDisplay) FStatusDisplay->UpdateDisplay(true, false);
    logCode(lcStart);
    FPrinter->setDocName(FCaption);
    FPainter = std::make_unique<QPainter>();
    if (!FPainter->begin(FPrinter.get())) {
        FPainter.reset();
        logCode(lcFailed);
        if (FStatusDisplay) FStatusDisplay->UpdateDisplay(false, true);
        throw EOrvException(ecAccessDenied, QStringLiteral("The printer could not be started"));
    }
    FJobRunning = true;
    const bool landscape = FPrinter->pageLayout().orientation() == QPageLayout::Landscape;
    for (int i = FFirstPage; i <= FLastPage; ++i) {
        FCurrentPage = i;
        processMessages();
        if (i != FFirstPage && FJobRunning) {
            const int perSheet = landscape ? 2 : 4;
            if (!FMultiPage || (i - FFirstPage) % perSheet == 0) FPrinter->newPage();
        }
        processMessages();
        if (!FJobRunning) return;  // aborted: the abort has ended the job
        if (OnNextPage) OnNextPage(this, uint16_t(i), uint16_t(FPageCount));
        setProgress(ppConverting);
        QImage bitmap;
        try {
            // The decoder's defaults: yield, double height for standard pages.
            FUnpacker.setOptions(uoYield);
            FUnpacker.setAutoScaleMode(asDoubleHeight);
            FUnpacker.setScaling(false);
            FUnpacker.setWhitespaceCompression(false);
            FUnpacker.setInFileName(FFileName);
            bitmap = FUnpacker.DecodePageToBitmap(i);
        } catch (const EOrvException&) {
            // What was sent is not left half-made in the queue.
            logCode(lcFailed);
            endJob(true);
            FCurrentPage = 0;
            setProgress(ppIdle);
            if (FStatusDisplay) FStatusDisplay->UpdateDisplay(false, true);
            throw;
        }
        processMessages();
        if (!FJobRunning) return;
        setProgress(ppComposing);
        QRect rect = pageRectOnSheet(i, QRect(0, 0, FPrinter->width(), FPrinter->height()), landscape);
        drawMargin(*FPainter, FFaxHeader, rect, i, true);
        drawMargin(*FPainter, FFaxFooter, rect, i, false);
        const QSize size = fittedSize(bitmap.size(), rect, FPrintScale);
        setProgress(ppRendering);
        if (FJobRunning && !bitmap.isNull() && !size.isEmpty())
            FPainter->drawImage(QRect(rect.topLeft(), size), bitmap);
        setProgress(ppSubmitting);
    }
    processMessages();
    if (FJobRunning) endJob(false);
    logCode(lcFinish);
    setProgress(ppIdle);
    if (FStatusDisplay) FStatusDisplay->UpdateDisplay(false, true);
    FCurrentPage = 0;
}

void TOrvCustomFaxPrinter::AbortFax() {
    setProgress(ppIdle);
    if (FJobRunning) {
        FUnpacker.setOptions(FUnpacker.options() | uoAbort);
        endJob(true);
        FCurrentPage = 0;
        logCode(lcAbort);
        if (FStatusDisplay) FStatusDisplay->UpdateDisplay(false, true);
    }
    processMessages();
}

}  // namespace orv
