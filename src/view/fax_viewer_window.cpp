#include "view/fax_viewer_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrinterInfo>
#include <QVBoxLayout>

#include <cmath>

#include "common/orv_error.h"
#include "images/fax_pdf_writer.h"
#include "images/fax_printer_widget.h"
#include "images/fax_viewer_widget.h"
#include "shell/help_window.h"
#include "config/ini_file.h"
#include "shell/message_boxes.h"
#include "shell/status_line.h"
#include "shell/window_placement.h"
#include "ui/widgets/button_panel.h"
#include "ui/widgets/picture_button.h"

namespace orv {

namespace {
constexpr int kZoomSteps[] = {25, 50, 75, 100, 150, 200};
constexpr int kHelpFaxViewer = 1021;
}  // namespace

TFaxViewer::TFaxViewer(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FaxViewer_"));
    setWindowTitle(QStringLiteral("Fax Viewer "));
    setSizeGripEnabled(true);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    MainMenu = new QMenuBar(this);
    MainMenu->setObjectName(QStringLiteral("MainMenu"));
    FileItem = MainMenu->addMenu(QStringLiteral("&File"));
    FileItem->setObjectName(QStringLiteral("FileItem"));
    SaveAsPdfItem = FileItem->addAction(QStringLiteral("Save as PDF…"));
    SaveAsPdfItem->setObjectName(QStringLiteral("SaveAsPdfItem"));
    SaveAsPdfItem->setShortcut(QKeySequence::SaveAs);
    connect(SaveAsPdfItem, &QAction::triggered, this, &TFaxViewer::SaveAsPdfItemClick);
    ViewItem = MainMenu->addMenu(QStringLiteral("&View"));
    ViewItem->setObjectName(QStringLiteral("ViewItem"));
    auto zoomItem = [&](const char* name, int z) {
        QAction* a = ViewItem->addAction(QStringLiteral("%1%").arg(z));
        a->setObjectName(QString::fromLatin1(name));
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, z] { ApplyZoom(z); });
        return a;
    };
    N25PercentItem = zoomItem("N25PercentItem", 25);
    N50PercentItem = zoomItem("N50PercentItem", 50);
    N75PercentItem = zoomItem("N75PercentItem", 75);
    N100PercentItem = zoomItem("N100PercentItem", 100);
    N150PercentItem = zoomItem("N150PercentItem", 150);
    N200PercentItem = zoomItem("N200PercentItem", 200);
    ViewItem->addSeparator();
    auto rotateItem = [&](const char* name, const char* caption, int r) {
        QAction* a = ViewItem->addAction(QString::fromLatin1(caption));
        a->setObjectName(QString::fromLatin1(name));
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, r] { ApplyRotation(r); });
        return a;
    };
    NoRotateItem = rotateItem("NoRotateItem", "No rotation", 0);
    Rotate90Item = rotateItem("Rotate90Item", "Rotate 90 degrees", 1);
    Rotate180Item = rotateItem("Rotate180Item", "Rotate 180 degrees", 2);
    Rotate270Item = rotateItem("Rotate270Item", "Rotate 270 degrees", 3);
    column->setMenuBar(MainMenu);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(50);
    auto* top = new QVBoxLayout(Panel1);
    top->setContentsMargins(8, 4, 8, 4);
    top->setSpacing(2);
    StatusPanel = new QLabel(QStringLiteral("Loading..."), Panel1);
    StatusPanel->setObjectName(QStringLiteral("StatusPanel"));
    QFont bold = StatusPanel->font();
    bold.setBold(true);
    StatusPanel->setFont(bold);
    status = new QLabel(Panel1);
    status->setObjectName(QStringLiteral("status"));
    top->addWidget(StatusPanel);
    top->addWidget(status);
    column->addWidget(Panel1);

    Panel2 = new TButtonPanel(QStringLiteral("Panel2"), this);
    FirstButton = Panel2->addButton(QStringLiteral("FirstButton"), QString(), QStringLiteral("First page"), QStringLiteral("firstpage"));
    PrevButton = Panel2->addButton(QStringLiteral("PrevButton"), QString(), QStringLiteral("Previous page"), QStringLiteral("prevpage"));
    NextButton = Panel2->addButton(QStringLiteral("NextButton"), QString(), QStringLiteral("Next page"), QStringLiteral("nextpage"));
    LastButton = Panel2->addButton(QStringLiteral("LastButton"), QString(), QStringLiteral("Last page"), QStringLiteral("lastpage"));
    ZoomInButton = Panel2->addButton(QStringLiteral("ZoomInButton"), QString(), QStringLiteral("Zoom in"), QStringLiteral("zoomin"));
    ZoomOutButton = Panel2->addButton(QStringLiteral("ZoomOutButton"), QString(), QStringLiteral("Zoom out"), QStringLiteral("zoomout"));
    PrinterSetupButton = Panel2->addButton(QStringLiteral("PrinterSetupButton"), QString(), QStringLiteral("Printer setup"), QStringLiteral("printsetup"));
    Printbutton = Panel2->addButton(QStringLiteral("Printbutton"), QString(), QStringLiteral("Print"), QStringLiteral("print"));
    CloseButton = Panel2->addButton(QStringLiteral("CloseButton"), QStringLiteral("C&lose"), QStringLiteral("Close the Fax Viewer"), QStringLiteral("exit"));
    Helpbutton = Panel2->addButton(QStringLiteral("Helpbutton"), QStringLiteral("&Help"), QStringLiteral("Get Windows help for Fax Viewer"), QStringLiteral("help"));
    column->addWidget(Panel2);
    connect(FirstButton, &QAbstractButton::clicked, this, &TFaxViewer::FirstButtonClick);
    connect(PrevButton, &QAbstractButton::clicked, this, &TFaxViewer::PrevButtonClick);
    connect(NextButton, &QAbstractButton::clicked, this, &TFaxViewer::NextButtonClick);
    connect(LastButton, &QAbstractButton::clicked, this, &TFaxViewer::LastButtonClick);
    connect(ZoomInButton, &QAbstractButton::clicked, this, &TFaxViewer::ZoomInButtonClick);
    connect(ZoomOutButton, &QAbstractButton::clicked, this, &TFaxViewer::ZoomOutButtonClick);
    connect(PrinterSetupButton, &QAbstractButton::clicked, this, &TFaxViewer::PrinterSetupButtonClick);
    connect(Printbutton, &QAbstractButton::clicked, this, &TFaxViewer::PrintButtonClick);
    connect(CloseButton, &QAbstractButton::clicked, this, &TFaxViewer::CloseButtonClick);
    connect(Helpbutton, &QAbstractButton::clicked, this, &TFaxViewer::HelpButtonClick);

    FaxViewer = new TOrvFaxViewer(this);
    FaxViewer->setObjectName(QStringLiteral("FaxViewer"));
    FaxViewer->setScaling(false);
    FaxViewer->setAutoScaleMode(asHalfWidth);
    FaxViewer->setBusyCursor(QCursor(Qt::WaitCursor));
    FaxViewer->OnPageChange = [this](TOrvCustomFaxViewer*) { FaxViewerPageChange(); };
    FaxViewer->OnViewerError = [this](TOrvCustomFaxViewer*, int code) { FaxViewerViewerError(code); };
    FaxViewer->OnDropFile = [this](TOrvCustomFaxViewer*, const QString&) { FaxViewerPageChange(); };
    column->addWidget(FaxViewer, 1);

    PrinterStatus = new TOrvFaxPrinterStatus(this);
    PrinterStatus->setObjectName(QStringLiteral("PrinterStatus"));
    PrinterStatus->setCentered(true);
    PrinterStatus->setCtl3D(true);
    FaxPrinter = new TOrvFaxPrinter(this);
    FaxPrinter->setObjectName(QStringLiteral("FaxPrinter"));
    FaxPrinter->setCaption(QStringLiteral("Orvane Fax Printer"));
    FaxPrinter->FaxHeader().setCaption(QStringLiteral("FILE: $F"));
    FaxPrinter->FaxFooter().setCaption(QStringLiteral("Page: $P of $N"));
    FaxPrinter->FaxHeader().setEnabled(true);
    FaxPrinter->FaxFooter().setEnabled(true);
    FaxPrinter->setMultiPage(false);
    FaxPrinter->setStatusDisplay(PrinterStatus);

    // The client area is 594 by 386 below the menu.
    resize(594, 386 + MainMenu->sizeHint().height());
    new TStatusLineScope(this, status);
    FaxViewer->setFocus();
    FormCreate();
}

TFaxViewer::~TFaxViewer() = default;

void TFaxViewer::FormCreate() {
    FZoom = 100;
    FFirstActivate = true;
    LoadWindowPlacement(this);
    UncheckZoomChoices();
    UncheckRotationChoices();
}

void TFaxViewer::setDescription(const QString& text) { status->setText(text); }

void TFaxViewer::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (FFirstActivate) {
        FFirstActivate = false;
        FormActivate();
    }
}

void TFaxViewer::FormActivate() {
    SetFaxFile();
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        Printbutton->setEnabled(false);
        PrinterSetupButton->setEnabled(false);
    }
}

void TFaxViewer::done(int result) {
    FormClose();
    QDialog::done(result);
}

void TFaxViewer::FormClose() {
    if (FPlacementSaved) return;
    FPlacementSaved = true;
    SaveWindowPlacementOnClose(this);
}

void TFaxViewer::keyPressEvent(QKeyEvent* event) {
    // Key preview: the paging and scrolling keys reach the page whatever has the focus.
    if (event->matches(QKeySequence::Copy)) {
        if (FaxViewer->viewer()->marked()) FaxViewer->viewer()->copy();
        return;
    }
    switch (event->key()) {
    case Qt::Key_PageUp: case Qt::Key_PageDown: case Qt::Key_Home: case Qt::Key_End:
    case Qt::Key_Left: case Qt::Key_Right: case Qt::Key_Up: case Qt::Key_Down:
        QApplication::sendEvent(FaxViewer->viewer(), event);
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

int TFaxViewer::StartingZoom(int w, int p) {
    const int b = (p > 0 && w < p) ? int(std::lround(double(w) / p * 150)) : 100;
    if (b > 175) return 200;
    if (b > 125) return 150;
    if (b > 87) return 100;
    if (b > 62) return 75;
    if (b > 36) return 50;
    return 25;
}

void TFaxViewer::SetFaxFile() {
    FaxViewer->BeginUpdate();
    FaxViewer->setScaling(false);
    FaxViewer->setHorizMult(1);
    FaxViewer->setHorizDiv(1);
    FaxViewer->setVertMult(1);
    FaxViewer->setVertDiv(1);
    FaxViewer->EndUpdate();
    bool opened = true;
    try {
        FaxViewer->setFileName(FFaxFile);
    } catch (const std::exception&) {
        opened = false;
        try {
            FaxViewer->setFileName(QString());
        } catch (const std::exception&) {
        }
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Fax Viewer "), QStringLiteral("Error opening fax file"),
                        QMessageBox::Ok, this);
        box.exec();
        StatusPanel->setText(QStringLiteral("No file loaded"));
    }
    if (opened) {
        // The zoom is applied afresh, so the current one is forgotten first.
        FZoom = 100;
        const int z = StartingZoom(FaxViewer->width(), FaxViewer->PageWidth());
        ApplyZoom(z);
        UpdatePageCaption();
    }
    const bool several = opened && FaxViewer->PageCount() > 1;
    for (TPictureButton* b : {FirstButton, PrevButton, NextButton, LastButton}) b->setVisible(several);
}

void TFaxViewer::UpdatePageCaption() {
    if (FaxViewer->viewer()->fileName().isEmpty()) {
        StatusPanel->setText(QStringLiteral("No file loaded"));
        return;
    }
    const int cur = FaxViewer->CurrentPage(), count = FaxViewer->PageCount();
    StatusPanel->setText(FTitle.isEmpty() ? QStringLiteral("Page %1 of %2").arg(cur).arg(count)
                                          : QStringLiteral("%1: Page %2 of %3").arg(FTitle).arg(cur).arg(count));
}

void TFaxViewer::FaxViewerPageChange() { UpdatePageCaption(); }

void TFaxViewer::FaxViewerViewerError(int code) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Fax Viewer "), QStringLiteral("Viewer error %1").arg(code),
                    QMessageBox::Ok, this);
    box.exec();
}

void TFaxViewer::ApplyZoom(int z) {
    if (z != FZoom) {
        if (z == 100) {
            FaxViewer->setScaling(false);
        } else {
            FaxViewer->BeginUpdate();
            FaxViewer->setScaling(true);
            FaxViewer->setHorizMult(z);
            FaxViewer->setVertMult(z);
            FaxViewer->setHorizDiv(100);
            FaxViewer->setVertDiv(100);
            FaxViewer->EndUpdate();
        }
        FZoom = z;
    }
    UncheckZoomChoices();
    const std::pair<int, QAction*> items[] = {{25, N25PercentItem},  {50, N50PercentItem},   {75, N75PercentItem},
                                              {100, N100PercentItem}, {150, N150PercentItem}, {200, N200PercentItem}};
    for (auto [value, item] : items)
        if (value == z) item->setChecked(true);
}

void TFaxViewer::ApplyRotation(int r) {
    try {
        FaxViewer->setRotation(r);
    } catch (const std::exception& e) {
        ShowException(e);
    }
    UncheckRotationChoices();
    QAction* items[] = {NoRotateItem, Rotate90Item, Rotate180Item, Rotate270Item};
    items[r]->setChecked(true);
}

void TFaxViewer::UncheckZoomChoices() {
    for (QAction* a : {N25PercentItem, N50PercentItem, N75PercentItem, N100PercentItem, N150PercentItem, N200PercentItem})
        a->setChecked(false);
}

void TFaxViewer::UncheckRotationChoices() {
    for (QAction* a : {NoRotateItem, Rotate90Item, Rotate180Item, Rotate270Item}) a->setChecked(false);
}

void TFaxViewer::FirstButtonClick() { FaxViewer->FirstPage(); }
void TFaxViewer::PrevButtonClick() { FaxViewer->PrevPage(); }
void TFaxViewer::NextButtonClick() { FaxViewer->NextPage(); }
void TFaxViewer::LastButtonClick() { FaxViewer->LastPage(); }

void TFaxViewer::ZoomInButtonClick() {
    if (FZoom >= 200) {
        QApplication::beep();
        return;
    }
    for (int z : kZoomSteps)
        if (z > FZoom) {
            ApplyZoom(z);
            return;
        }
}

void TFaxViewer::ZoomOutButtonClick() {
    if (FZoom <= 25) {
        QApplication::beep();
        return;
    }
    for (int i = int(std::size(kZoomSteps)) - 1; i >= 0; --i)
        if (kZoomSteps[i] < FZoom) {
            ApplyZoom(kZoomSteps[i]);
            return;
        }
}

void TFaxViewer::PrinterSetupButtonClick() {
    QPageSetupDialog dialog(&FaxPrinter->printer(), this);
    dialog.exec();
}

void TFaxViewer::PrintButtonClick() {
    const QString file = FaxViewer->viewer()->fileName();
    if (file.isEmpty()) return;
    try {
        FaxPrinter->setPrintScale(psFitToPage);
        FaxPrinter->setFileName(file);
        if (!FaxPrinter->ExecutePrintDialog(this)) return;
        FaxPrinter->PrintFax();
    } catch (const std::exception& e) {
        ShowException(e);
    }
}

void TFaxViewer::CloseButtonClick() { close(); }

void TFaxViewer::HelpButtonClick() { ShowHelp(kHelpFaxViewer); }

void TFaxViewer::SaveAsPdfItemClick() {
    const QString file = FaxViewer->viewer()->fileName();
    if (file.isEmpty()) {
        QApplication::beep();
        return;
    }
    const QFileInfo info(file);
    const QString suggested = QDir::home().filePath(info.completeBaseName() + QStringLiteral(".pdf"));
    const QString pdf = QFileDialog::getSaveFileName(this, QStringLiteral("Save as PDF"), suggested,
                                                     QStringLiteral("PDF files (*.pdf)"));
    if (pdf.isEmpty()) return;
    SaveAsPdf(pdf.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive) ? pdf : pdf + QStringLiteral(".pdf"));
}

bool TFaxViewer::SaveAsPdf(const QString& pdfPath) {
    const QString file = FaxViewer->viewer()->fileName();
    if (file.isEmpty()) return false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    FaxPdfOptions options;
    options.progress = [this](int page, int count) {
        StatusPanel->setText(QStringLiteral("Saving page %1 of %2").arg(page).arg(count));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return true;
    };
    const int rc = WriteFaxAsPdf(file, pdfPath, options);
    QApplication::restoreOverrideCursor();
    UpdatePageCaption();
    if (rc < 0) {
        const QString text = ErrorMessage(rc);
        ShowError(QStringLiteral("The PDF file could not be written: %1 (%2)").arg(text.isEmpty() ? QStringLiteral("error") : text).arg(rc));
        return false;
    }
    return true;
}

}  // namespace orv
