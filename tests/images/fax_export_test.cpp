// APF pages exported as PDF and TIFF Class F, read back by independent
// readers (Poppler's pdfinfo and pdftoppm; libtiff, tiffinfo, tiffcp and efax's
// efix), every pixel against our decoder's lines; and fax TIFF files written
// by efix converted into identical APF pages.
#include "common/orv_error.h"
#include "images/fax_pdf_writer.h"
#include "images/fax_tiff.h"
#include "page_helpers.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tiffio.h>

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

// ---- TIFF ----------------------------------------------------------------------

namespace orv {
namespace {

using test::Page;
using test::PageKind;

struct TiffPage {
    Page lines;
    float yres = 0;
    uint16_t compression = 0, fillOrder = 0, pageNumber = 0, pageCount = 0;
};

// Every page of a TIFF file through libtiff.
std::vector<TiffPage> libtiffPages(const QString& name) {
    std::vector<TiffPage> pages;
    TIFF* t = TIFFOpen(name.toLocal8Bit().constData(), "r");
    if (!t) return pages;
    do {
        TiffPage p;
        uint32_t w = 0, h = 0;
        TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
        TIFFGetField(t, TIFFTAG_YRESOLUTION, &p.yres);
        TIFFGetField(t, TIFFTAG_COMPRESSION, &p.compression);
        TIFFGetField(t, TIFFTAG_FILLORDER, &p.fillOrder);
        TIFFGetField(t, TIFFTAG_PAGENUMBER, &p.pageNumber, &p.pageCount);
        for (uint32_t y = 0; y < h; ++y) {
            test::Line l(w / 8);
            if (TIFFReadScanline(t, l.data(), y, 0) != 1) break;
            p.lines.push_back(l);
        }
        pages.push_back(std::move(p));
    } while (TIFFReadDirectory(t));
    TIFFClose(t);
    return pages;
}

Page readPbm(const QString& name) {
    Page out;
    const QImage img(name);
    if (img.isNull()) return out;
    const QImage mono = img.convertToFormat(QImage::Format_Mono);
    const int blackIndex = qGray(mono.color(0)) < 128 ? 0 : 1;
    for (int y = 0; y < mono.height(); ++y) {
        test::Line l(size_t(mono.width() / 8), 0);
        for (int x = 0; x < mono.width(); ++x)
            if (mono.pixelIndex(x, y) == blackIndex) test::setPixel(l, x);
        out.push_back(l);
    }
    return out;
}

TEST(FaxTiffExport, ClassFFileReadByLibtiffTiffcpAndEfix) {
    QTemporaryDir dir;
    const Page fine = test::makePage(PageKind::Text, 1728, 300, 11);
    const Page standard = test::makePage(PageKind::Noise, 1728, 100, 12);
    const QString apf = dir.filePath("fax.apf"), more = dir.filePath("more.apf");
    ASSERT_EQ(test::writeApf(apf, {fine}, 1728, true), 0);
    ASSERT_EQ(test::writeApf(more, {standard, fine}, 1728, false, false), 0);
    ASSERT_EQ(AppendApfFile(apf, more), 0);
    const QString tif = dir.filePath("fax.tif");
    ASSERT_EQ(WriteFaxAsTiff(apf, tif), 0);

    const std::vector<TiffPage> pages = libtiffPages(tif);
    ASSERT_EQ(pages.size(), 3u);
    const Page want[3] = {fine, standard, fine};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(pages[i].compression, COMPRESSION_CCITTFAX3);
        EXPECT_EQ(pages[i].fillOrder, FILLORDER_LSB2MSB);
        EXPECT_EQ(pages[i].pageNumber, i);
        EXPECT_EQ(pages[i].pageCount, 3);
        EXPECT_EQ(pages[i].yres, i == 0 ? 196.0f : 98.0f);
        EXPECT_EQ(test::pageDiff(pages[i].lines, want[i]), "") << "page " << i + 1;
    }
    if (have("tiffinfo") && have("tiffcp")) {
        int rc = -1;
        const QString info = runTool("tiffinfo", {tif}, &rc);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(info.count("Compression Scheme: CCITT Group 3"), 3) << info.toStdString();
        EXPECT_EQ(info.count("Resolution: 204, 98 pixels/inch"), 2) << info.toStdString();
        EXPECT_EQ(info.count("FillOrder: lsb-to-msb"), 3);
        EXPECT_FALSE(info.contains("Warning")) << info.toStdString();
        const QString raw = dir.filePath("raw.tif");
        runTool("tiffcp", {"-c", "none", tif, raw}, &rc);
        ASSERT_EQ(rc, 0);
        const std::vector<TiffPage> copied = libtiffPages(raw);
        ASSERT_EQ(copied.size(), 3u);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(test::pageDiff(copied[i].lines, want[i]), "") << "tiffcp page " << i + 1;
    }
    if (have("efix")) {
        // efax's own reader: every page as a PBM image, no complaint.
        int rc = -1;
        const QString said = runTool("efix", {"-opbm", "-n", dir.filePath("efix%d.pbm"), tif}, &rc);
        EXPECT_EQ(rc, 0);
        EXPECT_FALSE(said.contains("Warning") || said.contains("Error")) << said.toStdString();
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(test::pageDiff(readPbm(dir.filePath(QStringLiteral("efix%1.pbm").arg(i + 1))), want[i]), "")
                << "efix page " << i + 1;
    }
}

TEST(FaxTiffImport, EfixFaxTiffConvertsIntoIdenticalPages) {
    if (!have("efix")) GTEST_SKIP() << "efax missing";
    QTemporaryDir dir;
    QFile text(dir.filePath("letter.txt"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    for (int i = 0; i < 90; ++i) text.write(QByteArray("Line ") + QByteArray::number(i) + " of a letter faxed by efax.\n");
    text.close();
    // efix writes one file per page; tiffcp joins them into one two-page file.
    int rc = -1;
    runTool("efix", {"-itext", "-otiffg3", "-l", "60", "-n", dir.filePath("letter%d.tif"), text.fileName()}, &rc);
    ASSERT_EQ(rc, 0);
    const QString tif = dir.filePath("letter.tif");
    runTool("tiffcp", {dir.filePath("letter1.tif"), dir.filePath("letter2.tif"), tif}, &rc);
    ASSERT_EQ(rc, 0);
    const std::vector<TiffPage> pages = libtiffPages(tif);
    ASSERT_EQ(pages.size(), 2u);
    for (int p = 1; p <= 2; ++p) {
        const QString one = dir.filePath(QStringLiteral("letter%1.tif").arg(p));
        const QString oneApf = dir.filePath(QStringLiteral("letter%1.apf").arg(p));
        EXPECT_TRUE(IsFaxCodedTiff(one));
        ASSERT_EQ(ConvertFaxTiffToApf(one, oneApf), 0);
        EXPECT_EQ(test::pageDiff(test::decodeFile(oneApf, 1), libtiffPages(one).at(0).lines), "") << "efix page " << p;
    }
    const QString apf = dir.filePath("letter.apf");
    ASSERT_EQ(ConvertFaxTiffToApf(tif, apf, "EFAX"), 0);
    ApfReader r;
    ASSERT_EQ(r.open(apf), 0);
    ASSERT_EQ(r.pageCount(), 2);
    EXPECT_EQ(r.header().stationId, "EFAX");
    for (int p = 1; p <= 2; ++p) {
        ApfPageHeader ph;
        ASSERT_EQ(r.seekPage(p, ph), 0);
        EXPECT_TRUE(ph.highRes());
        EXPECT_EQ(test::pageDiff(test::decodeFile(apf, p), pages[size_t(p - 1)].lines), "") << "page " << p;
    }
    // And back out: the same pages again.
    const QString again = dir.filePath("again.tif");
    ASSERT_EQ(WriteFaxAsTiff(apf, again), 0);
    const std::vector<TiffPage> round = libtiffPages(again);
    ASSERT_EQ(round.size(), 2u);
    for (size_t i = 0; i < 2; ++i) EXPECT_EQ(test::pageDiff(round[i].lines, pages[i].lines), "");

    // What is no one-dimensional fax TIFF is refused, and nothing is written.
    const QString g4 = dir.filePath("g4.tif");
    runTool("tiffcp", {"-c", "g4", tif, g4}, &rc);
    if (rc == 0) {
        EXPECT_TRUE(IsFaxCodedTiff(g4));
        EXPECT_EQ(ConvertFaxTiffToApf(g4, dir.filePath("g4.apf")), ecBadGraphicsFormat);
        EXPECT_FALSE(QFile::exists(dir.filePath("g4.apf")));
    }
    QFile cut(dir.filePath("cut.tif"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    QFile whole(tif);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    cut.write(whole.read(whole.size() / 2));
    cut.close();
    EXPECT_EQ(ConvertFaxTiffToApf(cut.fileName(), dir.filePath("cut.apf")), ecBadGraphicsFormat);
    EXPECT_FALSE(QFile::exists(dir.filePath("cut.apf")));
    EXPECT_EQ(ConvertFaxTiffToApf(dir.filePath("none.tif"), dir.filePath("none.apf")), ecFileNotFound);
}

}  // namespace
}  // namespace orv
