// APF pages exported as PDF, read back by independent readers (Poppler's
// pdfinfo and pdftoppm): page count, true page sizes, and every pixel against
// our decoder's lines.
#include "common/orv_error.h"
#include "images/fax_pdf_writer.h"
#include "page_helpers.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace orv {
namespace {

using test::Page;
using test::PageKind;

QString runTool(const QString& tool, const QStringList& args, int* exitCode = nullptr) {
    QProcess p;
    p.start(tool, args);
    p.waitForFinished(60000);
    if (exitCode) *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
}

bool have(const char* tool) { return !QStandardPaths::findExecutable(tool).isEmpty(); }

// Page `page` of a PDF rendered by pdftoppm at fax resolution, as lines.
Page renderPdfPage(const QString& pdf, int page, const QString& dir) {
    const QString prefix = dir + QStringLiteral("/r%1").arg(page);
    runTool("pdftoppm", {"-mono", "-rx", "204", "-ry", "196", "-f", QString::number(page), "-l", QString::number(page),
                         "-singlefile", pdf, prefix});
    const QImage img(prefix + ".pbm");
    Page out;
    if (img.isNull()) return out;
    const QImage mono = img.convertToFormat(QImage::Format_Mono);
    const int blackIndex = qGray(mono.color(0)) < 128 ? 0 : 1;
    for (int y = 0; y < mono.height(); ++y) {
        test::Line l(size_t((mono.width() + 7) / 8), 0);
        for (int x = 0; x < mono.width(); ++x)
            if (mono.pixelIndex(x, y) == blackIndex) test::setPixel(l, x);
        out.push_back(l);
    }
    return out;
}

Page doubled(const Page& p) {
    Page out;
    for (const auto& l : p) {
        out.push_back(l);
        out.push_back(l);
    }
    return out;
}

TEST(FaxPdfExport, PopplerReadsEveryPageAtItsTrueSize) {
    if (!have("pdftoppm") || !have("pdfinfo")) GTEST_SKIP() << "poppler-utils missing";
    QTemporaryDir dir;
    // A fine text page, a standard noise page, and a wide fine page.
    const Page fine = test::makePage(PageKind::Text, 1728, 300, 7);
    const Page standard = test::makePage(PageKind::Noise, 1728, 120, 8);
    const Page wide = test::makePage(PageKind::Alternating, 2048, 64, 9);
    const QString apf = dir.filePath("fax.apf"), more = dir.filePath("more.apf"), wideApf = dir.filePath("wide.apf");
    ASSERT_EQ(test::writeApf(apf, {fine}, 1728, true), 0);
    ASSERT_EQ(test::writeApf(more, {standard}, 1728, false, false), 0);  // a continuous stream as received
    ASSERT_EQ(test::writeApf(wideApf, {wide}, 2048, true), 0);
    ASSERT_EQ(AppendApfFile(apf, more), 0);
    ASSERT_EQ(AppendApfFile(apf, wideApf), 0);

    const QString pdf = dir.filePath("fax.pdf");
    std::vector<int> seen;
    FaxPdfOptions o;
    o.progress = [&](int page, int count) {
        seen.push_back(page * 10 + count);
        return true;
    };
    ASSERT_EQ(WriteFaxAsPdf(apf, pdf, o), 0);
    EXPECT_EQ(seen, (std::vector<int>{13, 23, 33}));

    int rc = -1;
    const QString info = runTool("pdfinfo", {"-f", "1", "-l", "3", pdf}, &rc);
    ASSERT_EQ(rc, 0) << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+3"))) << info.toStdString();
    EXPECT_TRUE(info.contains("Syntax") == false) << info.toStdString();
    // 1728 pixels at 204 per inch; 300 lines at 196 per inch, 120 at 98.
    EXPECT_TRUE(info.contains(QRegularExpression("Page    1 size:\\s+609.88\\d* x 110.20\\d* pts"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression("Page    2 size:\\s+609.88\\d* x 88.16\\d* pts"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression("Page    3 size:\\s+722.82\\d* x 23.51\\d* pts"))) << info.toStdString();

    EXPECT_EQ(test::pageDiff(renderPdfPage(pdf, 1, dir.path()), fine), "");
    EXPECT_EQ(test::pageDiff(renderPdfPage(pdf, 2, dir.path()), doubled(standard)), "");
    EXPECT_EQ(test::pageDiff(renderPdfPage(pdf, 3, dir.path()), wide), "");
}

TEST(FaxPdfExport, FailuresLeaveNoFileBehind) {
    QTemporaryDir dir;
    const QString pdf = dir.filePath("out.pdf");
    EXPECT_EQ(WriteFaxAsPdf(dir.filePath("missing.apf"), pdf), ecFileNotFound);
    EXPECT_FALSE(QFile::exists(pdf));

    QFile notApf(dir.filePath("note.apf"));
    ASSERT_TRUE(notApf.open(QIODevice::WriteOnly));
    notApf.write(QByteArray(100, 'x'));
    notApf.close();
    EXPECT_EQ(WriteFaxAsPdf(notApf.fileName(), pdf), ecFaxBadFormat);

    const QString empty = dir.filePath("empty.apf");
    ASSERT_EQ(test::writeApf(empty, {}, 1728, true), 0);
    EXPECT_EQ(WriteFaxAsPdf(empty, pdf), ecFaxBadFormat);
    EXPECT_FALSE(QFile::exists(pdf));

    // A cancel on page 2 keeps an earlier file of that name as it was.
    const QString apf = dir.filePath("two.apf");
    const Page p = test::makePage(PageKind::Text, 1728, 40, 3);
    ASSERT_EQ(test::writeApf(apf, {p, p}, 1728, true), 0);
    QFile old(pdf);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    FaxPdfOptions o;
    o.progress = [](int page, int) { return page < 2; };
    EXPECT_EQ(WriteFaxAsPdf(apf, pdf, o), ecConvertAbort);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "old");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 4);  // no temporary file left

    // A folder that does not exist: the file error.
    EXPECT_LT(WriteFaxAsPdf(apf, dir.filePath("no/such/dir/x.pdf")), 0);
}

}  // namespace
}  // namespace orv
