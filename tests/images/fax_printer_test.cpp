// The fax printer without a print queue: templates, the log, sheet layout and
// fitting, and whole print runs into Qt's PDF printer (read back with
// poppler-utils), with abort and failure.
#include <gtest/gtest.h>

#include <QDate>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>

#include "common/orv_error.h"
#include "images/fax_printer_widget.h"
#include "images/page_helpers.h"
#include "images/pdf_tools.h"

using namespace orv;
using namespace orv::test;

namespace {

const QDateTime kNow(QDate(2026, 3, 4), QTime(13, 5, 9));

TEST(FaxPrintTemplate, TokensAndTheirLetters) {
    EXPECT_EQ(ExpandFaxPrintTemplate("PAGE: $P of $N", "f.apf", 2, 3, kNow), "PAGE: 2 of 3");
    EXPECT_EQ(ExpandFaxPrintTemplate("PAGE: $p of $n", "f.apf", 2, 3, kNow), "PAGE: 2 of 3");
    EXPECT_EQ(ExpandFaxPrintTemplate("FILE: $F", "/x/FAX0001.APF", 1, 1, kNow), "FILE: /x/FAX0001.APF");
    // Any other letter: the token disappears, the rest stays; the token runs to the next blank.
    EXPECT_EQ(ExpandFaxPrintTemplate("a $Xyz b", "f", 1, 1, kNow), "a  b");
    EXPECT_EQ(ExpandFaxPrintTemplate("$Pof$N", "f", 4, 9, kNow), "4");
    EXPECT_EQ(ExpandFaxPrintTemplate("end $", "f", 1, 1, kNow), "end ");
    EXPECT_EQ(ExpandFaxPrintTemplate("$D $T", "f", 1, 1, kNow),
              QLocale::system().toString(kNow.date(), QLocale::ShortFormat) + " " +
                  QLocale::system().toString(kNow.time(), QLocale::LongFormat));
    // A "$" inside a replacement is not taken for a token.
    EXPECT_EQ(ExpandFaxPrintTemplate("$F $P", "a$Pb", 7, 9, kNow), "a$Pb 7");
}

TEST(FaxPrintLog, LinesForEachCode) {
    QTemporaryDir dir;
    TOrvFaxPrinterLog log;
    EXPECT_EQ(log.logFileName(), "FAXPRINT.LOG");
    log.setLogFileName(dir.filePath("FAXPRINT.LOG"));
    const QString stamp = QLocale::system().toString(kNow.date(), QLocale::ShortFormat) + " " +
                          QLocale::system().toString(kNow.time(), QLocale::LongFormat);
    ASSERT_EQ(log.UpdateLog(lcStart, "a.apf", kNow), 0);
    ASSERT_EQ(log.UpdateLog(lcFinish, "a.apf", kNow), 0);
    ASSERT_EQ(log.UpdateLog(lcAbort, "b.apf", kNow), 0);
    ASSERT_EQ(log.UpdateLog(lcFailed, "c.apf", kNow), 0);
    QFile f(log.logFileName());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromLocal8Bit(f.readAll()),
              "Printing a.apf started at " + stamp + "\r\n" + "Printing a.apf finished at " + stamp + "\r\n\r\n" +
                  "Printing b.apf aborted at " + stamp + "\r\n\r\n" + "Printing c.apf failed at " + stamp + "\r\n\r\n");
    log.setLogFileName(dir.filePath("no/such/folder/X.LOG"));
    EXPECT_LT(log.UpdateLog(lcStart, "a.apf", kNow), 0);
}

TEST(FaxPrinterLayout, SheetsAndFitting) {
    TOrvFaxPrinter p;
    const QRect sheet(0, 0, 1000, 1400);
    EXPECT_EQ(p.pageRectOnSheet(1, sheet, false), sheet);
    p.setMultiPage(true);
    p.setFirstPageToPrint(1);
    EXPECT_EQ(p.pageRectOnSheet(1, sheet, false), QRect(2, 2, 496, 696));
    EXPECT_EQ(p.pageRectOnSheet(2, sheet, false), QRect(502, 2, 496, 696));
    EXPECT_EQ(p.pageRectOnSheet(3, sheet, false), QRect(2, 702, 496, 696));
    EXPECT_EQ(p.pageRectOnSheet(4, sheet, false), QRect(502, 702, 496, 696));
    EXPECT_EQ(p.pageRectOnSheet(5, sheet, false), QRect(2, 2, 496, 696));  // page 5 starts a new sheet
    EXPECT_EQ(p.pageRectOnSheet(2, QRect(0, 0, 1400, 1000), true), QRect(702, 2, 696, 996));
    // A page narrower in proportion fills the height and starts at the left edge.
    EXPECT_EQ(TOrvFaxPrinter::fittedSize({1728, 4000}, QRect(0, 0, 1000, 1400), psFitToPage), QSize(604, 1400));
    EXPECT_EQ(TOrvFaxPrinter::fittedSize({1728, 1000}, QRect(0, 0, 1000, 1400), psFitToPage), QSize(1000, 578));
    EXPECT_EQ(TOrvFaxPrinter::fittedSize({1728, 4000}, QRect(0, 0, 1000, 1400), psNone), QSize(1728, 1400));
}

class FaxPrinterRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (!havePopplerUtils()) GTEST_SKIP() << "poppler-utils (pdfinfo, pdftotext, pdftoppm) are not installed";
        ASSERT_TRUE(dir.isValid());
        fax = dir.filePath("five.apf");
        std::vector<Page> pages;
        for (unsigned i = 0; i < 5; ++i) pages.push_back(makePage(PageKind::Text, 1728, 2000, 40 + i));
        ASSERT_EQ(writeApf(fax, pages, 1728, true), 0);
        log = new TOrvFaxPrinterLog(&owner);
        log->setLogFileName(dir.filePath("FAXPRINT.LOG"));
        status = new TOrvFaxPrinterStatus(&owner);
        printer = new TOrvFaxPrinter(&owner);
        pdf = dir.filePath("out.pdf");
        printer->printer().setOutputFormat(QPrinter::PdfFormat);
        printer->printer().setOutputFileName(pdf);
        printer->printer().setPageSize(QPageSize(QPageSize::Letter));
    }
    QStringList logLines() {
        QFile f(log->logFileName());
        if (!f.open(QIODevice::ReadOnly)) return {};
        QStringList out;
        for (const QString& l : QString::fromLocal8Bit(f.readAll()).split("\r\n", Qt::SkipEmptyParts))
            out << l.section(' ', 0, 2);
        return out;
    }
    QTemporaryDir dir;
    QString fax, pdf;
    QObject owner;
    TOrvFaxPrinterLog* log;
    TOrvFaxPrinterStatus* status;
    TOrvFaxPrinter* printer;
};

TEST_F(FaxPrinterRun, PrintsEveryPageWithHeaderFooterAndLog) {
    // The log and status components of the same owner are found by themselves.
    EXPECT_EQ(printer->faxPrinterLog(), log);
    EXPECT_EQ(printer->statusDisplay(), status);
    printer->setFileName(fax);
    EXPECT_EQ(printer->pageCount(), 5);
    EXPECT_TRUE(printer->firstPageHighRes());
    EXPECT_EQ(printer->lastPageToPrint(), 5);
    std::vector<int> progress;
    std::vector<int> nextPages;
    QString statusLine;
    printer->OnFaxPrintStatus = [&](TOrvCustomFaxPrinter*, TFaxPrintProgress p) {
        progress.push_back(p);
        if (status->display() && status->display()->isVisible()) statusLine = status->display()->fpsStatusLine->text();
    };
    printer->OnNextPage = [&](TOrvCustomFaxPrinter*, uint16_t cp, uint16_t tp) {
        nextPages.push_back(cp);
        EXPECT_EQ(tp, 5);
    };
    printer->PrintFax();
    EXPECT_EQ(nextPages, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(progress.front(), ppConverting);
    EXPECT_EQ(progress.back(), ppIdle);
    EXPECT_EQ(statusLine, "Submitting 5 of 5");
    EXPECT_EQ(status->display()->fpsFileName->text(), "FIVE.APF");
    EXPECT_EQ(status->display()->fpsResolution->text(), "high");
    EXPECT_FALSE(status->display()->isVisible());
    EXPECT_EQ(printer->currentPrintingPage(), 0);
    EXPECT_EQ(logLines(), (QStringList{"Printing " + fax + " started", "Printing " + fax + " finished"}));

    EXPECT_EQ(pdfInfo(pdf, "Pages"), "5");
    const QString text = pdfText(pdf, 2);
    EXPECT_TRUE(text.contains("FILE: " + fax)) << text.toStdString();
    EXPECT_TRUE(text.contains("PAGE: 2 of 5")) << text.toStdString();

    // Four to a sheet: five pages on two sheets.
    printer->setMultiPage(true);
    printer->PrintFax();
    EXPECT_EQ(pdfInfo(pdf, "Pages"), "2");
    EXPECT_TRUE(pdfText(pdf, 1).contains("PAGE: 4 of 5"));
    EXPECT_TRUE(pdfText(pdf, 2).contains("PAGE: 5 of 5"));
}

TEST_F(FaxPrinterRun, AbortFromTheStatusWindowAndAFailingPage) {
    printer->setFileName(fax);
    printer->OnNextPage = [&](TOrvCustomFaxPrinter*, uint16_t cp, uint16_t) {
        if (cp == 3) status->display()->fpsAbortButton->click();
    };
    printer->PrintFax();
    EXPECT_FALSE(printer->printing());
    EXPECT_EQ(printer->currentPrintingPage(), 0);
    EXPECT_FALSE(status->display()->isVisible());
    EXPECT_EQ(logLines(), (QStringList{"Printing " + fax + " started", "Printing " + fax + " aborted"}));

    // A page whose data cannot be read: the failure is logged and raised.
    printer->OnNextPage = nullptr;
    QFile f(fax);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.resize(f.size() / 2));
    f.close();
    printer->setFileName(fax);
    bool raised = false;
    try {
        printer->PrintFax();
    } catch (const EOrvException& e) {
        raised = true;
        EXPECT_EQ(e.code(), ecFaxBadFormat);
    }
    EXPECT_TRUE(raised);
    EXPECT_EQ(logLines().mid(2), (QStringList{"Printing " + fax + " started", "Printing " + fax + " failed"}));
    EXPECT_FALSE(printer->printing());

    // An empty file prints nothing; a missing one raises.
    ApfWriter w;
    ASSERT_EQ(w.create(dir.filePath("empty.apf")), 0);
    ASSERT_EQ(w.finish(), 0);
    printer->setFileName(dir.filePath("empty.apf"));
    EXPECT_EQ(printer->pageCount(), 0);
    const int lines = int(logLines().size());
    printer->PrintFax();
    EXPECT_EQ(int(logLines().size()), lines);
    EXPECT_THROW(printer->setFileName(dir.filePath("missing.apf")), EInOutError);
}

}  // namespace
