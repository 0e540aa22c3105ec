// TOrvFaxConverter end to end: each input kind converted to an APF file and
// decoded back, plus options, margins, status, abort and errors.
#include "common/orv_error.h"
#include "images/fax_converter.h"
#include "images/fax_font.h"
#include "images/mono_bitmap.h"
#include "page_helpers.h"
#include "support/test_paths.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tiffio.h>

namespace orv {
namespace {

using test::Line;
using test::Page;
using test::pixel;

void writeBytes(const QString& name, const QByteArray& b) {
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(b);
}

// The page's raw line records (length word + data).
std::vector<QByteArray> records(const QString& apf, int page) {
    ApfReader r;
    ApfPageHeader ph;
    QByteArray data;
    EXPECT_EQ(r.open(apf), 0);
    EXPECT_EQ(r.readPage(page, ph, data), 0);
    std::vector<QByteArray> out;
    for (qsizetype i = 0; i + 2 <= data.size();) {
        const int n = uint8_t(data[i]) | uint8_t(data[i + 1]) << 8;
        out.push_back(data.mid(i, 2 + n));
        i += 2 + n;
    }
    return out;
}

// A 1-bit image with a pattern that touches both edges.
QImage patternImage(int w, int h) {
    QImage img(w, h, QImage::Format_Mono);
    img.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    img.fill(1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (x == 0 || x == w - 1 || (x * 7 + y * 3) % 11 == 0) img.setPixel(x, y, 0);
    return img;
}

TEST(FaxConverter, BitmapIsPlacedAfterTheMarginPixelForPixel) {
    QTemporaryDir dir;
    const QImage img = patternImage(1666, 40);
    const QString bmp = dir.filePath("_TMP.BMP");
    ASSERT_EQ(WriteMonoBmp(img, bmp), 0);
    // Qt's own BMP writer is another source of 1-bit BMP files.
    const QString qtBmp = dir.filePath("qt.bmp");
    ASSERT_TRUE(img.save(qtBmp, "BMP"));

    for (const QString& in : {bmp, qtBmp}) {
        TOrvFaxConverter cvt;
        cvt.setInputDocumentType(idBmp);
        cvt.setOptions(coYield);
        cvt.setResolution(frHigh);
        cvt.setDocumentFile(in);
        EXPECT_TRUE(cvt.outFileName().endsWith(".APF"));
        cvt.ConvertDocument();
        const QString out = cvt.outFileName();
        const Page lines = test::decodeFile(out, 1);
        ASSERT_EQ(lines.size(), 40u);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 1728; ++x) {
                const bool want = x >= 50 && x < 1716 && img.pixelIndex(x - 50, y) == 0;
                ASSERT_EQ(pixel(lines[size_t(y)], x), want) << in.toStdString() << " x " << x << " y " << y;
            }
        ApfReader r;
        ApfPageHeader ph;
        ASSERT_EQ(r.open(out), 0);
        EXPECT_EQ(r.pageCount(), 1);
        EXPECT_EQ(r.header().stationId, QByteArray());
        EXPECT_EQ(test::readFile(out).mid(10, 21), QByteArray(1, '\0') + QByteArray(20, ' '));
        ASSERT_EQ(r.seekPage(1, ph), 0);
        EXPECT_EQ(ph.pageFlags, pfLengthWords | pfHighRes);
        const auto recs = records(out, 1);
        ASSERT_EQ(recs.size(), 41u);
        EXPECT_EQ(recs.back(), QByteArray::fromHex("0c00" "008000088000088000088000"));
    }
}

TEST(FaxConverter, BlankLinesTopMarginAndImageOptions) {
    QTemporaryDir dir;
    QImage img(400, 6, QImage::Format_Mono);
    img.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    img.fill(1);
    for (int x = 0; x < 400; x += 3) img.setPixel(x, 2, 0);
    const QString bmp = dir.filePath("small.bmp");
    ASSERT_EQ(WriteMonoBmp(img, bmp), 0);

    TOrvFaxConverter cvt;
    cvt.setInputDocumentType(idBmp);
    cvt.setDocumentFile(bmp);
    cvt.setOptions(coDoubleWidth);  // standard resolution: every pixel doubled
    cvt.setTopMargin(3);
    cvt.ConvertDocument();
    auto recs = records(cvt.outFileName(), 1);
    ASSERT_EQ(recs.size(), 3u + 6u + 1u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(recs[size_t(i)], QByteArray::fromHex("0400" "00289b15")) << i;
    EXPECT_EQ(recs[3], QByteArray::fromHex("0600" "0080b2590100"));
    Page lines = test::decodeFile(cvt.outFileName(), 1);
    ASSERT_EQ(lines.size(), 9u);
    for (int x = 0; x < 1728; ++x) {
        const int src = (x - 50) / 2;
        EXPECT_EQ(pixel(lines[5], x), x >= 50 && src < 400 && src % 3 == 0) << x;
    }

    // Half height keeps lines 1, 3, 5; at fine resolution neither option acts.
    cvt.setTopMargin(0);
    cvt.setOptions(coHalfHeight);
    cvt.ConvertDocument();
    lines = test::decodeFile(cvt.outFileName(), 1);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(std::any_of(lines[1].begin(), lines[1].end(), [](uint8_t b) { return b; }));
    cvt.setResolution(frHigh);
    cvt.setOptions(coHalfHeight | coDoubleWidth);
    cvt.ConvertDocument();
    lines = test::decodeFile(cvt.outFileName(), 1);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_TRUE(pixel(lines[2], 50) && !pixel(lines[2], 51) && pixel(lines[2], 53));

    // Centring: (1728 - 400) div 16 = 83 bytes to the right of the margin.
    cvt.setOptions(coCenterImage);
    cvt.ConvertDocument();
    lines = test::decodeFile(cvt.outFileName(), 1);
    EXPECT_TRUE(pixel(lines[2], 50 + 83 * 8));
    EXPECT_FALSE(pixel(lines[2], 50 + 83 * 8 - 1));

    // A 2048-pixel page: records carry pfWide and the blank line is longer.
    cvt.setOptions(0);
    cvt.setWidth(fwWide);
    cvt.setTopMargin(1);
    cvt.ConvertDocument();
    recs = records(cvt.outFileName(), 1);
    EXPECT_EQ(recs[0].size(), 2 + 5);
    lines = test::decodeFile(cvt.outFileName(), 1);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0].size(), 256u);
}

TEST(FaxConverter, ColourBitmapsAreDitheredWithTheOrderedMatrix) {
    QTemporaryDir dir;
    QImage img(64, 32, QImage::Format_RGB32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) img.setPixel(x, y, qRgb(x * 4, y * 8, (x + y) * 2));
    const QString bmp = dir.filePath("colour.bmp");
    ASSERT_TRUE(img.save(bmp, "BMP"));
    TOrvFaxConverter cvt;
    cvt.setInputDocumentType(idBmp);
    cvt.setDocumentFile(bmp);
    cvt.setOptions(0);
    cvt.setResolution(frHigh);
    cvt.ConvertDocument();
    const Page lines = test::decodeFile(cvt.outFileName(), 1);
    ASSERT_EQ(lines.size(), 32u);
    const TDitherMatrix& m = DitherMatrix();
    EXPECT_EQ(m[0][0], 0);
    EXPECT_EQ(m[1][0], 64);  // v = 2, 4, 8, 16 for i odd, j even
    EXPECT_EQ(m[0][1], 96);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) {
            const QRgb c = img.pixel(x, y);
            const bool white = (qRed(c) + qGreen(c) + qBlue(c)) / 3 > m[size_t(x % 16)][size_t(y % 16)];
            ASSERT_EQ(pixel(lines[size_t(y)], 50 + x), !white) << x << "," << y;
        }
    // No temporary dither file is left in the working folder or beside the input.
    EXPECT_EQ(QDir(dir.path()).entryList({"~DIT*"}).size(), 0);
}

TEST(FaxConverter, ErrorsAbortAndOptions) {
    QTemporaryDir dir;
    TOrvFaxConverter cvt;
    EXPECT_EQ(cvt.options(), coDoubleWidth | coCenterImage | coYield);
    EXPECT_EQ(cvt.leftMargin(), 50u);
    cvt.setOptions(coYieldOften);
    EXPECT_EQ(cvt.options(), coYieldOften | coYield);
    EXPECT_THROW(cvt.ConvertDocument(), EBadArgument);  // idNone
    cvt.setInputDocumentType(idBitmap);
    EXPECT_THROW(cvt.ConvertDocument(), EBadArgument);

    // Too wide, not a bitmap, missing.
    const QString wide = dir.filePath("wide.bmp");
    ASSERT_EQ(WriteMonoBmp(patternImage(1729, 2), wide), 0);
    cvt.setInputDocumentType(idBmp);
    cvt.setDocumentFile(wide);
    EXPECT_THROW(cvt.ConvertDocument(), EBadGraphicsFormat);
    EXPECT_FALSE(QFile::exists(cvt.outFileName()));
    writeBytes(dir.filePath("junk.bmp"), QByteArray("BMjunk"));
    cvt.setDocumentFile(dir.filePath("junk.bmp"));
    EXPECT_THROW(cvt.ConvertDocument(), EBadGraphicsFormat);
    cvt.setDocumentFile(dir.filePath("none.bmp"));
    try {
        cvt.ConvertDocument();
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.code(), ecFileNotFound);
    }

    // An abort on the first status report leaves no output file; a later abort
    // deletes the partly written one.
    const QString ok = dir.filePath("ok.bmp");
    ASSERT_EQ(WriteMonoBmp(patternImage(100, 50), ok), 0);
    cvt.setDocumentFile(ok);
    int reports = 0;
    bool sawEnding = false;
    cvt.OnStatus = [&](TOrvCustomFaxConverter*, bool starting, bool ending, int page, int lines, qint64 done,
                       qint64 total, bool& abort) {
        ++reports;
        if (ending) sawEnding = true;
        if (!starting && !ending) {
            EXPECT_EQ(page, 1);
            EXPECT_EQ(total, 13 * 50);
            EXPECT_LE(done, total);
            if (lines == 20) abort = true;
        }
        if (starting && reports == 1 && cvt.objectName() == "abortAtStart") abort = true;
    };
    cvt.setObjectName("abortAtStart");
    EXPECT_THROW(cvt.ConvertDocument(), EConvertAbort);
    EXPECT_FALSE(QFile::exists(cvt.outFileName()));
    EXPECT_FALSE(sawEnding);
    cvt.setObjectName("later");
    reports = 0;
    EXPECT_THROW(cvt.ConvertDocument(), EConvertAbort);
    EXPECT_FALSE(QFile::exists(cvt.outFileName()));
    EXPECT_TRUE(sawEnding);
    EXPECT_EQ(reports, 1 + 20 + 1);

    // An output folder that does not exist.
    cvt.OnStatus = nullptr;
    cvt.setOutFileName(dir.filePath("no/such/dir/x.apf"));
    EXPECT_THROW(cvt.ConvertDocument(), EInOutError);
}

TEST(FaxConverter, ImageEntryPointMatchesTheBitmapFilePath) {
    QTemporaryDir dir;
    QImage page(1666, 300, QImage::Format_RGB32);
    page.fill(Qt::white);
    for (int y = 20; y < 280; ++y) page.setPixel((y * 5) % 1666, y, qRgb(0, 0, 0));
    for (int x = 0; x < 1666; ++x) page.setPixel(x, 150, qRgb(90, 90, 90));
    const QString bmp = dir.filePath("_TMP.BMP");
    ASSERT_EQ(WriteMonoBmp(page, bmp), 0);
    TOrvFaxConverter cvt;
    cvt.setInputDocumentType(idBmp);
    cvt.setOptions(coYield);
    cvt.setResolution(frHigh);
    cvt.setDocumentFile(bmp);
    cvt.setOutFileName(dir.filePath("ORV_1.APF"));
    cvt.ConvertDocument();
    ASSERT_EQ(ConvertPageImage(page, dir.filePath("direct"), true), 0);
    const QByteArray a = test::readFile(dir.filePath("ORV_1.APF")), b = test::readFile(dir.filePath("direct.APF"));
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(a.mid(64), b.mid(64));
    EXPECT_EQ(a.left(6), b.left(6));
}

TEST(FaxConverter, TextPagesLinesFormFeedsAndTheFont) {
    QTemporaryDir dir;
    const QByteArray font = LoadFaxFont();
    ASSERT_EQ(font.size(), 16384);
    TOrvFaxConverter cvt;
    cvt.setInputDocumentType(idText);

    // An empty file gives one page holding one blank line.
    writeBytes(dir.filePath("empty.txt"), {});
    cvt.setDocumentFile(dir.filePath("empty"));  // default extension, lower case on disk
    cvt.ConvertDocument();
    EXPECT_EQ(cvt.lastInputName(), dir.filePath("empty.txt"));
    EXPECT_EQ(test::decodeFile(cvt.outFileName(), 1).size(), 1u);

    // Glyph rows at standard resolution: "A" in cell 0 after the margin.
    writeBytes(dir.filePath("a.txt"), "A\tB\r\nline two\n");
    cvt.setDocumentFile(dir.filePath("a.txt"));
    cvt.ConvertDocument();
    Page lines = test::decodeFile(cvt.outFileName(), 1);
    ASSERT_EQ(lines.size(), 32u);
    for (int row = 0; row < 16; ++row) {
        const uint32_t a = FaxGlyphRow(font, false, 'A', row), b = FaxGlyphRow(font, false, 'B', row);
        for (int x = 0; x < 20; ++x) {
            ASSERT_EQ(pixel(lines[size_t(row)], 50 + x), bool((a >> (23 - x)) & 1)) << row << " " << x;
            // The tab moves B to column 4.
            ASSERT_EQ(pixel(lines[size_t(row)], 50 + 80 + x), bool((b >> (23 - x)) & 1)) << row << " " << x;
        }
    }
    // Fine resolution doubles every glyph row; the small font has 8 rows.
    cvt.setResolution(frHigh);
    cvt.ConvertDocument();
    lines = test::decodeFile(cvt.outFileName(), 1);
    ASSERT_EQ(lines.size(), 64u);
    EXPECT_EQ(lines[10], lines[11]);
    cvt.setFontType(ffSmall);
    cvt.setResolution(frNormal);
    cvt.ConvertDocument();
    EXPECT_EQ(test::decodeFile(cvt.outFileName(), 1).size(), 16u);
    cvt.setFontType(ffStandard);

    // Lines per page and form feeds: 5 lines at 2 per page give 3 pages; the
    // text after a form feed opens the next page.
    writeBytes(dir.filePath("p.txt"), "1\n2\n3\n4\n5\n");
    cvt.setDocumentFile(dir.filePath("p.txt"));
    cvt.setLinesPerPage(2);
    cvt.ConvertDocument();
    ApfReader r;
    ASSERT_EQ(r.open(cvt.outFileName()), 0);
    EXPECT_EQ(r.pageCount(), 3);
    r.close();
    EXPECT_EQ(test::decodeFile(cvt.outFileName(), 3).size(), 16u);
    writeBytes(dir.filePath("ff.txt"), "one\ftwo\nthree\f\n");
    cvt.setDocumentFile(dir.filePath("ff.txt"));
    cvt.setLinesPerPage(60);
    cvt.ConvertDocument();
    ASSERT_EQ(r.open(cvt.outFileName()), 0);
    EXPECT_EQ(r.pageCount(), 2);
    r.close();
    EXPECT_EQ(test::decodeFile(cvt.outFileName(), 1).size(), 16u);
    EXPECT_EQ(test::decodeFile(cvt.outFileName(), 2).size(), 32u);

    // Long lines are cut to 84 characters; UTF-8 text is mapped to the font's code page.
    writeBytes(dir.filePath("u.txt"), QByteArray(200, 'W') + "\n\xC3\xA9\n");
    cvt.setDocumentFile(dir.filePath("u.txt"));
    cvt.ConvertDocument();
    lines = test::decodeFile(cvt.outFileName(), 1);
    ASSERT_EQ(lines.size(), 32u);
    EXPECT_TRUE(pixel(lines[5], 50 + 83 * 20 + 2) || pixel(lines[5], 50 + 83 * 20 + 4));
    for (int x = 50 + 84 * 20; x < 1728; ++x) ASSERT_FALSE(pixel(lines[5], x)) << x;
    bool same = true;
    for (int row = 0; row < 16; ++row) {
        const uint32_t e = FaxGlyphRow(font, false, 0xE9, row);
        for (int x = 0; x < 20; ++x) same = same && pixel(lines[size_t(16 + row)], 50 + x) == bool((e >> (23 - x)) & 1);
    }
    EXPECT_TRUE(same);
}

TEST(FaxConverter, FontResourceIsTheGeneratorsOutput) {
    QTemporaryDir dir;
    const QString out = dir.filePath("font.bin");
    const int rc = QProcess::execute("python3", {test::sourceDir() + "/tools/faxfont/make_faxfont.py", out});
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(test::readFile(out), LoadFaxFont());
    EXPECT_EQ(test::readFile(test::sourceDir() + "/data/faxfont/faxfont.bin"), LoadFaxFont());
}

// A TIFF written by libtiff with the given compression and photometric.
void writeTiff(const QString& name, const QImage& img, uint16_t compression, uint16_t photometric) {
    TIFF* t = TIFFOpen(name.toLocal8Bit().constData(), "w");
    ASSERT_TRUE(t);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(img.width()));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(img.height()));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 7);
    std::vector<uint8_t> row(size_t((img.width() + 7) / 8));
    for (int y = 0; y < img.height(); ++y) {
        for (size_t i = 0; i < row.size(); ++i) {
            uint8_t black = 0;
            for (int b = 0; b < 8; ++b) {
                const int x = int(i) * 8 + b;
                if (x < img.width() && img.pixelIndex(x, y) == 0) black |= uint8_t(0x80 >> b);
            }
            row[i] = photometric == PHOTOMETRIC_MINISWHITE ? black : uint8_t(~black);
        }
        ASSERT_EQ(TIFFWriteScanline(t, row.data(), uint32_t(y), 0), 1);
    }
    TIFFClose(t);
}

TEST(FaxConverter, TiffPcxDcxAndUserInput) {
    QTemporaryDir dir;
    const QImage img = patternImage(1203, 45);
    auto check = [&](const QString& apf, int page) {
        const Page lines = test::decodeFile(apf, page);
        ASSERT_EQ(lines.size(), 45u);
        for (int y = 0; y < 45; ++y)
            for (int x = 0; x < 1728; ++x)
                ASSERT_EQ(pixel(lines[size_t(y)], x), x >= 50 && x < 50 + 1203 && img.pixelIndex(x - 50, y) == 0)
                    << x << "," << y;
    };
    TOrvFaxConverter cvt;
    cvt.setOptions(0);
    cvt.setResolution(frHigh);
    cvt.setInputDocumentType(idTiff);
    for (uint16_t comp : {uint16_t(COMPRESSION_NONE), uint16_t(COMPRESSION_PACKBITS)})
        for (uint16_t photo : {uint16_t(PHOTOMETRIC_MINISWHITE), uint16_t(PHOTOMETRIC_MINISBLACK)}) {
            const QString tif = dir.filePath(QString("t%1_%2.tif").arg(comp).arg(photo));
            writeTiff(tif, img, comp, photo);
            cvt.setDocumentFile(tif);
            cvt.ConvertDocument();
            check(cvt.outFileName(), 1);
        }
    // A CCITT-compressed TIFF is refused; a cut-off TIFF ends with the read fault.
    const QString g3 = dir.filePath("g3.tif");
    writeTiff(g3, img, COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISWHITE);
    cvt.setDocumentFile(g3);
    EXPECT_THROW(cvt.ConvertDocument(), EBadGraphicsFormat);
    // A hand-made TIFF whose strip holds 5 of its 10 rows: the data run out.
    {
        QByteArray t("II*\0\x08\0\0\0", 8);
        const int tags[][3] = {{256, 4, 16}, {257, 4, 10}, {258, 3, 1}, {259, 3, 1}, {262, 3, 0},
                               {273, 4, 8 + 2 + 7 * 12 + 4}, {278, 4, 10}};
        auto le = [](uint32_t v, int n) { QByteArray b; for (int i = 0; i < n; ++i) b.append(char(v >> (8 * i))); return b; };
        t += le(7, 2);
        for (const auto& tag : tags) t += le(uint32_t(tag[0]), 2) + le(uint32_t(tag[1]), 2) + le(1, 4) + le(uint32_t(tag[2]), 4);
        t += le(0, 4) + QByteArray(10, char(0xF0));
        const QString cut = dir.filePath("cut.tif");
        writeBytes(cut, t);
        cvt.setDocumentFile(cut);
        try {
            cvt.ConvertDocument();
            FAIL() << "no error";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.code(), ecDeviceReadFault);
        }
        EXPECT_FALSE(QFile::exists(cvt.outFileName()));
        t.truncate(t.size() - 10);
        t += QByteArray(20, char(0xF0));
        writeBytes(cut, t);
        cvt.ConvertDocument();
        const Page lines = test::decodeFile(cvt.outFileName(), 1);
        ASSERT_EQ(lines.size(), 10u);
        EXPECT_TRUE(pixel(lines[9], 50 + 8) && !pixel(lines[9], 50 + 4));
    }

    // PCX and DCX: made here by hand (run-length encoded, 1 = white).
    auto pcx = [&](const QImage& im) {
        QByteArray h(128, '\0');
        h[0] = 10; h[1] = 5; h[2] = 1; h[3] = 1;
        const int bpl = ((im.width() + 15) / 16) * 2;
        auto put16 = [&](int at, int v) { h[at] = char(v & 0xFF); h[at + 1] = char(v >> 8); };
        put16(8, im.width() - 1);
        put16(10, im.height() - 1);
        h[65] = 1;
        put16(66, bpl);
        QByteArray data;
        for (int y = 0; y < im.height(); ++y) {
            QByteArray row(bpl, char(0xFF));
            for (int x = 0; x < im.width(); ++x)
                if (im.pixelIndex(x, y) == 0) row[x / 8] = char(uint8_t(row[x / 8]) & ~(0x80 >> (x % 8)));
            for (int i = 0; i < bpl;) {
                int n = 1;
                while (i + n < bpl && n < 63 && row[i + n] == row[i]) ++n;
                if (n > 1 || (uint8_t(row[i]) & 0xC0) == 0xC0) data.append(char(0xC0 | n));
                data.append(row[i]);
                i += n;
            }
        }
        return h + data;
    };
    const QByteArray one = pcx(img);
    writeBytes(dir.filePath("p.pcx"), one);
    cvt.setInputDocumentType(idPcx);
    cvt.setDocumentFile(dir.filePath("p.pcx"));
    cvt.ConvertDocument();
    check(cvt.outFileName(), 1);
    QByteArray dcx(4 + 3 * 4, '\0');
    auto put32 = [&](int at, uint32_t v) { for (int i = 0; i < 4; ++i) dcx[at + i] = char(v >> (8 * i)); };
    put32(0, 987654321);
    put32(4, 16);
    put32(8, uint32_t(16 + one.size()));
    dcx += one + one;
    writeBytes(dir.filePath("d.dcx"), dcx);
    cvt.setInputDocumentType(idDcx);
    cvt.setDocumentFile(dir.filePath("d.dcx"));
    cvt.ConvertDocument();
    check(cvt.outFileName(), 1);
    check(cvt.outFileName(), 2);
    dcx[0] = 0;
    writeBytes(dir.filePath("bad.dcx"), dcx);
    cvt.setDocumentFile(dir.filePath("bad.dcx"));
    EXPECT_THROW(cvt.ConvertDocument(), EBadGraphicsFormat);

    // User lines: two pages of 3 lines each.
    int opened = 0, closed = 0, served = 0;
    cvt.setInputDocumentType(idUser);
    cvt.setDefUserExtension("RAW");
    cvt.setDocumentFile(dir.filePath("user"));
    cvt.OnOpenUserFile = [&](TOrvCustomFaxConverter*, const QString& name) {
        EXPECT_EQ(name, dir.filePath("user.RAW"));
        ++opened;
    };
    cvt.OnCloseUserFile = [&](TOrvCustomFaxConverter*) { ++closed; };
    cvt.OnReadUserLine = [&](TOrvCustomFaxConverter*, uint8_t* data, int& len, bool& eop, bool& more) {
        const int k = served++;
        if (k == 3 || k == 7) {
            eop = true;
            more = k == 3;
            return;
        }
        data[0] = 0xFF;
        len = 1;
    };
    cvt.ConvertDocument();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(closed, 1);
    ApfReader r;
    ASSERT_EQ(r.open(cvt.outFileName()), 0);
    EXPECT_EQ(r.pageCount(), 2);
    const Page lines = test::decodeFile(cvt.outFileName(), 2);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(pixel(lines[0], 50) && pixel(lines[0], 57) && !pixel(lines[0], 58));
}

}  // namespace
}  // namespace orv
