// Printing into a real print queue: CUPS with the cups-pdf backend, which turns
// each job into a PDF file. The test starts cupsd when it is not running and
// adds its own queue; it skips (saying why) only when CUPS is not installed
// or cannot be started as the current user. The PDF that lands is read with
// poppler-utils: three pages, header and footer text, the page image at the
// left edge of the printable area and fitted to its height.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <pwd.h>
#include <unistd.h>

#include "images/fax_printer_widget.h"
#include "images/page_helpers.h"
#include "images/pdf_tools.h"

using namespace orv;
using namespace orv::test;

namespace {

const QString kQueue = QStringLiteral("OrvaneTestPdf");

bool schedulerRunning() {
    int rc = 0;
    const QString out = runTool("lpstat", {"-r"}, &rc);
    return rc == 0 && out.contains("is running");
}

// Where cups-pdf puts the files of this user: the "Out" line of its
// configuration, ${HOME} being the user's home folder.
QString cupsPdfOutFolder() {
    QString out = QStringLiteral("${HOME}/PDF");
    QFile conf("/etc/cups/cups-pdf.conf");
    if (conf.open(QIODevice::ReadOnly)) {
        for (const QString& line : QString::fromLocal8Bit(conf.readAll()).split('\n')) {
            const QString l = line.trimmed();
            if (l.startsWith("Out ")) out = l.mid(4).trimmed();
        }
    }
    const passwd* pw = getpwuid(getuid());
    out.replace("${HOME}", pw ? QString::fromLocal8Bit(pw->pw_dir) : QDir::homePath());
    out.replace("${USER}", pw ? QString::fromLocal8Bit(pw->pw_name) : QString());
    return out;
}

// Why the queue cannot be had, or empty when it is there.
QString prepareQueue() {
    for (const char* tool : {"cupsd", "lpadmin", "lpstat"})
        if (QStandardPaths::findExecutable(tool, {"/usr/sbin", "/usr/bin", "/sbin", "/bin"}).isEmpty())
            return QStringLiteral("CUPS is not installed (no %1); scripts/setup installs it").arg(tool);
    if (!QFile::exists("/usr/lib/cups/backend/cups-pdf"))
        return "the cups-pdf backend is not installed (printer-driver-cups-pdf)";
    if (!havePopplerUtils()) return "poppler-utils are not installed";
    if (!schedulerRunning()) {
        int rc = 0;
        const QString cupsd = QStandardPaths::findExecutable("cupsd", {"/usr/sbin", "/usr/bin", "/sbin"});
        runTool(cupsd, {}, &rc);  // cupsd goes into the background by itself
        QElapsedTimer t;
        t.start();
        while (!schedulerRunning() && t.elapsed() < 10000) QThread::msleep(100);
        if (!schedulerRunning())
            return QStringLiteral("cupsd could not be started as this user (exit %1)").arg(rc);
    }
    int rc = 0;
    if (!runTool("lpstat", {"-p", kQueue}, &rc).contains(kQueue) || rc != 0) {
        QString ppd = "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd";
        QStringList args{"-p", kQueue, "-E", "-v", "cups-pdf:/"};
        if (QFile::exists(ppd)) args << "-P" << ppd;
        runTool("lpadmin", args, &rc);
        if (rc != 0) return QStringLiteral("the cups-pdf queue could not be added (lpadmin exit %1)").arg(rc);
    }
    return {};
}

TEST(PrintQueue, ThreePagesThroughCupsPdf) {
    const QString why = prepareQueue();
    if (!why.isEmpty()) GTEST_SKIP() << "print queue test skipped: " << why.toStdString();
    ASSERT_FALSE(QPrinterInfo::printerInfo(kQueue).isNull()) << "Qt does not see the queue " << kQueue.toStdString();

    QTemporaryDir dir;
    const QString fax = dir.filePath("three.apf");
    // Long fine pages (2600 rows): fitted to the height of the paper, narrower than it.
    std::vector<Page> pages;
    for (unsigned i = 0; i < 3; ++i) pages.push_back(makePage(PageKind::Text, 1728, 2600, 60 + i));
    ASSERT_EQ(writeApf(fax, pages, 1728, true), 0);

    QObject owner;
    auto* log = new TOrvFaxPrinterLog(&owner);
    log->setLogFileName(dir.filePath("FAXPRINT.LOG"));
    auto* printer = new TOrvFaxPrinter(&owner);
    // cups-pdf names its file after the job's title.
    const QString title = QStringLiteral("orvane-print-test-%1").arg(QCoreApplication::applicationPid());
    printer->setCaption(title);
    printer->FaxFooter().setCaption("Page: $P of $N");
    printer->printer().setPrinterName(kQueue);
    printer->printer().setPageSize(QPageSize(QPageSize::Letter));
    printer->setFileName(fax);
    const QString outDir = cupsPdfOutFolder();
    const QStringList before = QDir(outDir).entryList({title + "*.pdf"}, QDir::Files);
    printer->PrintFax();

    QString pdf;
    QElapsedTimer t;
    t.start();
    while (pdf.isEmpty() && t.elapsed() < 60000) {
        for (const QString& f : QDir(outDir).entryList({title + "*.pdf"}, QDir::Files))
            if (!before.contains(f)) pdf = QDir(outDir).filePath(f);
        // The job is done when the queue is empty again.
        if (!pdf.isEmpty() && !runTool("lpstat", {"-o", kQueue}).trimmed().isEmpty()) pdf.clear();
        if (pdf.isEmpty()) QThread::msleep(200);
    }
    ASSERT_FALSE(pdf.isEmpty()) << "no PDF from cups-pdf in " << outDir.toStdString();
    EXPECT_EQ(pdfInfo(pdf, "Pages"), "3");
    // The job went through PostScript and Ghostscript, which keep the glyphs
    // but not always what character each one is; the exact texts are checked
    // on Qt's own PDF printer (fax_printer_test). Here: a header line at the
    // top of every sheet, the same on each, and a footer at the bottom that
    // differs from sheet to sheet.
    QStringList headers, footers;
    for (int p = 1; p <= 3; ++p) {
        QStringList lines;
        for (const QString& l : pdfText(pdf, p).split('\n'))
            if (!l.trimmed().isEmpty() && l.trimmed() != "\f") lines << l.trimmed();
        ASSERT_GE(lines.size(), 2) << "sheet " << p;
        headers << lines.first();
        footers << lines.last();
    }
    EXPECT_EQ(headers[0], headers[1]);
    EXPECT_EQ(headers[1], headers[2]);
    EXPECT_NE(footers[0], footers[2]);
    EXPECT_NE(headers[0], footers[0]);

    // The image: from the left edge of the printable area, fitted to the height
    // between header and footer, so about 1728 / 2600 as wide as it is high.
    const QImage sheet = pdfPage(pdf, 2, 255, 330);  // 30 dots per inch on letter paper
    ASSERT_FALSE(sheet.isNull());
    auto inkAt = [&](int x, int y) { return qGray(sheet.pixel(x, y)) < 200; };
    int top = -1, bottom = -1;
    for (int y = 0; y < sheet.height(); ++y)
        for (int x = 0; x < sheet.width(); ++x)
            if (inkAt(x, y)) {
                if (top < 0) top = y;
                bottom = y;
            }
    ASSERT_GT(bottom - top, 200);
    int left = sheet.width(), right = -1;
    for (int y = top + (bottom - top) / 5; y < bottom - (bottom - top) / 5; ++y)
        for (int x = 0; x < sheet.width(); ++x)
            if (inkAt(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    EXPECT_LT(left, 20);  // a quarter inch margin at most
    const double expectedWidth = (bottom - top) * 1728.0 / 2600.0;
    EXPECT_NEAR(right - left, expectedWidth, expectedWidth * 0.08);
    EXPECT_LT(right, sheet.width() - 30);  // not stretched across the sheet
    QFile::remove(pdf);

    QFile f(log->logFileName());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString lines = QString::fromLocal8Bit(f.readAll());
    EXPECT_TRUE(lines.startsWith("Printing " + fax + " started at ")) << lines.toStdString();
    EXPECT_TRUE(lines.contains("Printing " + fax + " finished at ")) << lines.toStdString();
}

}  // namespace
