// Our Modified Huffman coder against libtiff's CCITT Group 3 1-D codec (and
// its fax2tiff program): each side decodes what the other encoded to the
// same pixels, for text, noise, all-black, alternating and mostly blank
// pages, 1728 and 2048 pixels wide, standard and fine.
#include "images/apf_file.h"
#include "page_helpers.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tiffio.h>

namespace orv {
namespace {

using test::Page;
using test::PageKind;

void setG3Fields(TIFF* t, int width, int lines, bool fine) {
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(lines));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_LSB2MSB);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3);
    TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, 0);  // 1-D
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(lines));
    TIFFSetField(t, TIFFTAG_XRESOLUTION, 204.0f);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, fine ? 196.0f : 98.0f);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
}

Page readTiff(const QString& name) {
    Page out;
    TIFF* t = TIFFOpen(name.toLocal8Bit().constData(), "r");
    if (!t) return out;
    uint32_t w = 0, h = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    for (uint32_t y = 0; y < h; ++y) {
        test::Line l(w / 8);
        if (TIFFReadScanline(t, l.data(), y, 0) != 1) break;
        out.push_back(l);
    }
    TIFFClose(t);
    return out;
}

struct Case {
    PageKind kind;
    int width;
    bool fine;
};

std::vector<Case> cases() {
    std::vector<Case> c;
    for (PageKind k : {PageKind::Text, PageKind::Noise, PageKind::Black, PageKind::Blank, PageKind::Alternating})
        for (int w : {1728, 2048})
            for (bool fine : {false, true}) c.push_back({k, w, fine});
    return c;
}

TEST(LibtiffCrossCheck, LibtiffDecodesWhatWeEncode) {
    QTemporaryDir dir;
    unsigned seed = 1;
    for (const Case& c : cases()) {
        const int lines = c.fine ? 240 : 120;
        const Page page = test::makePage(c.kind, c.width, lines, seed++);
        const auto stream = test::continuous(test::encodePage(page, c.width));
        const QString name = dir.filePath("ours.tif");
        TIFF* t = TIFFOpen(name.toLocal8Bit().constData(), "w");
        ASSERT_TRUE(t);
        setG3Fields(t, c.width, lines, c.fine);
        ASSERT_EQ(TIFFWriteRawStrip(t, 0, const_cast<uint8_t*>(stream.data()), tmsize_t(stream.size())),
                  tmsize_t(stream.size()));
        TIFFClose(t);
        EXPECT_EQ(test::pageDiff(readTiff(name), page), "") << int(c.kind) << " " << c.width << " " << c.fine;
    }
}

TEST(LibtiffCrossCheck, WeDecodeWhatLibtiffEncodes) {
    QTemporaryDir dir;
    unsigned seed = 100;
    for (const Case& c : cases()) {
        const int lines = c.fine ? 240 : 120;
        const Page page = test::makePage(c.kind, c.width, lines, seed++);
        const QString tif = dir.filePath("theirs.tif");
        TIFF* t = TIFFOpen(tif.toLocal8Bit().constData(), "w");
        ASSERT_TRUE(t);
        setG3Fields(t, c.width, lines, c.fine);
        for (int y = 0; y < lines; ++y)
            ASSERT_EQ(TIFFWriteScanline(t, const_cast<uint8_t*>(page[size_t(y)].data()), uint32_t(y), 0), 1);
        TIFFClose(t);
        // libtiff's raw strip, stored as a page in continuous form.
        t = TIFFOpen(tif.toLocal8Bit().constData(), "r");
        ASSERT_TRUE(t);
        std::vector<uint8_t> raw(size_t(TIFFRawStripSize(t, 0)));
        ASSERT_GT(TIFFReadRawStrip(t, 0, raw.data(), tmsize_t(raw.size())), 0);
        TIFFClose(t);
        const QString apf = dir.filePath("theirs.apf");
        ApfWriter w;
        ASSERT_EQ(w.create(apf), 0);
        ASSERT_EQ(w.beginPage(uint16_t((c.fine ? pfHighRes : 0) | (c.width == 2048 ? pfWide : 0))), 0);
        ASSERT_EQ(w.writeData(raw.data(), qint64(raw.size())), 0);
        ASSERT_EQ(w.finish(), 0);
        EXPECT_EQ(test::pageDiff(test::decodeFile(apf, 1), page), "") << int(c.kind) << " " << c.width << " " << c.fine;

        // Through the viewer's path: standard pages get every line twice.
        FaxUnpackEngine e;
        e.setAutoScale(asDoubleHeight);
        e.setCropToContent(false);
        QImage img;
        ASSERT_EQ(e.decodePage(apf, 1, false, img), 0);
        ASSERT_EQ(img.height(), c.fine ? lines : 2 * lines);
        for (int y = 0; y < img.height(); y += 37) {
            const auto& l = page[size_t(c.fine ? y : y / 2)];
            ASSERT_EQ(0, std::memcmp(img.constScanLine(y), l.data(), l.size())) << y;
        }
    }
}

TEST(LibtiffCrossCheck, Fax2tiffReadsOurRawPages) {
    const QString fax2tiff = QStandardPaths::findExecutable("fax2tiff");
    ASSERT_FALSE(fax2tiff.isEmpty()) << "libtiff-tools is not installed (scripts/setup)";
    QTemporaryDir dir;
    for (const Case& c : {Case{PageKind::Text, 1728, false}, Case{PageKind::Noise, 2048, true}}) {
        const Page page = test::makePage(c.kind, c.width, 150, 9);
        auto records = test::encodePage(page, c.width);
        // fax2tiff takes the EOLs of the end-of-page code for further rows, so
        // it gets the lines alone.
        records.pop_back();
        const auto stream = test::continuous(records);
        QFile raw(dir.filePath("page.g3"));
        ASSERT_TRUE(raw.open(QIODevice::WriteOnly));
        raw.write(reinterpret_cast<const char*>(stream.data()), qsizetype(stream.size()));
        raw.close();
        const QString out = dir.filePath("page.tif");
        QProcess p;
        p.start(fax2tiff, {"-1", "-L", "-X", QString::number(c.width), "-R", c.fine ? "196" : "98", "-o", out, raw.fileName()});
        ASSERT_TRUE(p.waitForFinished(20000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        const Page back = readTiff(out);
        EXPECT_EQ(test::pageDiff(back, page), "") << c.width;
    }
}

}  // namespace
}  // namespace orv
