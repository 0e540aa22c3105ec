// orvfax convert with PDF documents: A4 and Letter pages placed on the fax
// line at fax resolution, pictures dithered and text kept solid, a letter
// written by LibreOffice against the same letter through our RTF path, and
// the errors of encrypted, damaged and empty files.
#include "images/apf_file.h"
#include "images/unpack_engine.h"
#include "support/run_program.h"
#include "support/test_paths.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <vector>

namespace {

using orv::test::ProgramRun;

using orv::test::orvfax;

bool have(const char* tool) { return !QStandardPaths::findExecutable(tool).isEmpty(); }

// A small PDF written by hand: each page a size in points and a content
// stream; /Im is an 8-bit grey image 256 x 1 (a left-to-right ramp from black
// to white) and /F1 Helvetica, both usable by every page.
struct PdfPage {
    double w, h;
    QByteArray content;
};

QByteArray makePdf(const std::vector<PdfPage>& pages) {
    QByteArray out = "%PDF-1.4\n";
    std::vector<qint64> offsets;
    auto obj = [&](const QByteArray& body) {
        offsets.push_back(out.size());
        out += QByteArray::number(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    const int n = int(pages.size());
    QByteArray kids;
    for (int i = 0; i < n; ++i) kids += QByteArray::number(5 + 2 * i) + " 0 R ";
    obj("<< /Type /Catalog /Pages 2 0 R >>");
    obj("<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(n) + " >>");
    obj("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    QByteArray ramp;
    for (int i = 0; i < 256; ++i) ramp += char(i);
    obj("<< /Type /XObject /Subtype /Image /Width 256 /Height 1 /ColorSpace /DeviceGray /BitsPerComponent 8 /Length 256 >>\nstream\n" +
        ramp + "\nendstream");
    for (int i = 0; i < n; ++i) {
        const PdfPage& p = pages[size_t(i)];
        obj("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + QByteArray::number(p.w) + " " + QByteArray::number(p.h) +
            "] /Resources << /Font << /F1 3 0 R >> /XObject << /Im 4 0 R >> >> /Contents " + QByteArray::number(6 + 2 * i) +
            " 0 R >>");
        obj("<< /Length " + QByteArray::number(p.content.size()) + " >>\nstream\n" + p.content + "\nendstream");
    }
    const qint64 xref = out.size();
    out += "xref\n0 " + QByteArray::number(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (qint64 o : offsets) out += QByteArray::number(o).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size " + QByteArray::number(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           QByteArray::number(xref) + "\n%%EOF\n";
    return out;
}

void writeFile(const QString& name, const QByteArray& bytes) {
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A page decoded as coded: 1728-pixel rows of booleans (true = black).
struct Raster {
    int width = 0;
    std::vector<std::vector<bool>> rows;
    bool black(int x, int y) const { return rows[size_t(y)][size_t(x)]; }
    // The bounding box of the black pixels inside [x0, x1) x [y0, y1).
    QRect blackBox(int x0, int y0, int x1, int y1) const {
        QRect r;
        for (int y = y0; y < y1 && y < int(rows.size()); ++y)
            for (int x = x0; x < x1 && x < width; ++x)
                if (black(x, y)) r |= QRect(x, y, 1, 1);
        return r;
    }
    double blackShare(const QRect& area) const {
        int b = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                b += y < int(rows.size()) && x < width && black(x, y);
        return double(b) / (area.width() * area.height());
    }
};

Raster decode(const QString& apf, int page) {
    orv::FaxUnpackEngine e;
    e.setAspectCorrection(false);
    Raster r;
    e.decodePageLines(apf, page, false, [&](const uint8_t* d, int len) {
        r.width = len * 8;
        std::vector<bool> row(size_t(len * 8));
        for (int x = 0; x < len * 8; ++x) row[size_t(x)] = (d[x / 8] >> (7 - x % 8)) & 1;
        r.rows.push_back(std::move(row));
    });
    return r;
}

// Black rectangle in points from the top-left corner of a page of height h.
QByteArray box(double x, double top, double w, double hgt, double pageH) {
    return QByteArray::number(x) + " " + QByteArray::number(pageH - top - hgt) + " " + QByteArray::number(w) + " " +
           QByteArray::number(hgt) + " re f\n";
}

TEST(OrvfaxPdf, A4AndLetterPagesLandOnTheFaxLineAtFaxResolution) {
    QTemporaryDir dir;
    // Two A4 pages with a box one inch from the left and top, two inches by
    // one; a Letter page with a box at the same place.
    const double a4w = 595.276, a4h = 841.89;
    const QString a4 = dir.filePath("two-a4.pdf"), letter = dir.filePath("letter.pdf");
    writeFile(a4, makePdf({{a4w, a4h, box(72, 72, 144, 72, a4h)},
                           {a4w, a4h, box(72, 72, 144, 72, a4h) + "BT /F1 24 Tf 72 600 Td (Second page) Tj ET\n"}}));
    writeFile(letter, makePdf({{612, 792, box(72, 72, 144, 72, 792)}}));

    const QString apf = dir.filePath("a4.apf");
    ProgramRun r = orvfax({"convert", a4, apf, "--fine"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("2 page(s)")) << r.out.toStdString();
    EXPECT_EQ(r.errText(), "page 1 of 2\npage 2 of 2\n");  // progress, and nothing else
    orv::ApfReader reader;
    ASSERT_EQ(reader.open(apf), 0);
    ASSERT_EQ(reader.pageCount(), 2);
    for (int p = 1; p <= 2; ++p) {
        orv::ApfPageHeader ph;
        ASSERT_EQ(reader.seekPage(p, ph), 0);
        EXPECT_TRUE(ph.highRes());
        const Raster page = decode(apf, p);
        ASSERT_EQ(page.width, 1728);
        EXPECT_EQ(int(page.rows.size()), int(std::lround(a4h / 72 * 196))) << p;  // 11.69 inches
        // A4 is 1687 pixels wide at 204 per inch: centred, 20 pixels each side.
        const QRect b = page.blackBox(0, 0, 1728, 500);
        EXPECT_NEAR(b.left(), 20 + 204, 2) << p;
        EXPECT_NEAR(b.width(), 408, 2) << p;
        EXPECT_NEAR(b.top(), 196, 2) << p;
        EXPECT_NEAR(b.height(), 196, 2) << p;
    }
    EXPECT_FALSE(decode(apf, 2).blackBox(0, 560, 1728, 700).isEmpty());  // the text of page 2

    // Standard resolution halves the lines, not the width.
    const QString stdApf = dir.filePath("a4-std.apf");
    ASSERT_EQ(orvfax({"convert", a4, stdApf, "--standard", "--quiet"}).exitCode, 0);
    const Raster s = decode(stdApf, 1);
    EXPECT_EQ(int(s.rows.size()), int(std::lround(a4h / 72 * 98)));
    const QRect sb = s.blackBox(0, 0, 1728, 400);
    EXPECT_NEAR(sb.left(), 224, 2);
    EXPECT_NEAR(sb.top(), 98, 2);
    EXPECT_NEAR(sb.height(), 98, 2);

    // Letter is 1734 pixels at 204 per inch: scaled by 1728/1734 to fit, the
    // aspect kept.
    const QString lApf = dir.filePath("letter.apf");
    r = orvfax({"convert", letter, lApf, "--fine"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();  // one page: no progress lines
    const Raster l = decode(lApf, 1);
    const double k = 1728.0 / 1734.0;
    EXPECT_NEAR(int(l.rows.size()), 11 * 196 * k, 2);
    const QRect lb = l.blackBox(0, 0, 1728, 800);
    EXPECT_NEAR(lb.left(), 204 * k, 2);
    EXPECT_NEAR(lb.width(), 408 * k, 2);
    EXPECT_NEAR(lb.top(), 196 * k, 2);
}

TEST(OrvfaxPdf, PicturesAreDitheredAndTextStaysSolid) {
    QTemporaryDir dir;
    const double h = 841.89;
    // A grey ramp four inches wide and two high above a black bar.
    const QByteArray content = "q 288 0 0 144 72 " + QByteArray::number(h - 72 - 144) + " cm /Im Do Q\n" +
                               box(72, 288, 288, 36, h);
    const QString pdf = dir.filePath("picture.pdf");
    writeFile(pdf, makePdf({{595.276, h, content}}));
    auto convert = [&](const QString& mode) {
        const QString apf = dir.filePath(mode + ".apf");
        QStringList args{"convert", pdf, apf, "--fine"};
        if (!mode.isEmpty()) args << mode;
        const ProgramRun r = orvfax(args);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return decode(apf, 1);
    };
    // The ramp covers x 224..1040 and lines 196..588; the bar lines 784..882.
    const QRect darkQuarter(240, 250, 180, 300), lightQuarter(850, 250, 180, 300), bar(240, 800, 780, 60);
    const Raster autoPage = convert("");
    EXPECT_GT(autoPage.blackShare(darkQuarter), 0.6);
    EXPECT_LT(autoPage.blackShare(darkQuarter), 0.99);  // a pattern, not solid black
    EXPECT_GT(autoPage.blackShare(lightQuarter), 0.01);
    EXPECT_LT(autoPage.blackShare(lightQuarter), 0.4);
    EXPECT_EQ(autoPage.blackShare(bar), 1.0);

    const Raster threshold = convert("--threshold");
    EXPECT_EQ(threshold.blackShare(darkQuarter), 1.0);
    EXPECT_EQ(threshold.blackShare(lightQuarter), 0.0);
    const Raster dither = convert("--dither");
    EXPECT_LT(dither.blackShare(darkQuarter), 0.99);
    EXPECT_EQ(dither.blackShare(bar), 1.0);
}

TEST(OrvfaxPdf, EncryptedDamagedAndEmptyFilesAreRefusedByName) {
    QTemporaryDir dir;
    const QString good = dir.filePath("good.pdf");
    const QByteArray bytes = makePdf({{595.276, 841.89, box(72, 72, 144, 72, 841.89)}});
    writeFile(good, bytes);
    auto refused = [&](const QString& pdf, const char* message) {
        const QString apf = dir.filePath("out.apf");
        const ProgramRun r = orvfax({"convert", pdf, apf});
        EXPECT_EQ(r.exitCode, 1) << pdf.toStdString();
        EXPECT_TRUE(r.errText().startsWith("orvfax: " + pdf + ": " + message)) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(apf)) << pdf.toStdString();
    };
    const QString cut = dir.filePath("cut.pdf");
    writeFile(cut, bytes.left(bytes.size() / 2));
    refused(cut, "PDF file is damaged or is not a PDF file");
    const QString notPdf = dir.filePath("words.pdf");
    writeFile(notPdf, "these are not the droids\n");
    refused(notPdf, "PDF file is damaged or is not a PDF file");
    const QString empty = dir.filePath("empty.pdf");
    writeFile(empty, {});
    refused(empty, "PDF file has no pages");
    const QString noPages = dir.filePath("nopages.pdf");
    writeFile(noPages, makePdf({}));
    refused(noPages, "PDF file has no pages");
    refused(dir.filePath("missing.pdf"), "File not found");
    if (have("qpdf")) {
        const QString locked = dir.filePath("locked.pdf");
        QProcess q;
        q.start("qpdf", {"--encrypt", "secret", "owner", "256", "--", good, locked});
        ASSERT_TRUE(q.waitForFinished(30000));
        ASSERT_TRUE(QFile::exists(locked));
        refused(locked, "PDF file is encrypted");
        // Only an owner password (no password to open it): it converts.
        const QString open = dir.filePath("owner-only.pdf");
        q.start("qpdf", {"--encrypt", "", "owner", "256", "--", good, open});
        ASSERT_TRUE(q.waitForFinished(30000));
        EXPECT_EQ(orvfax({"convert", open, dir.filePath("open.apf")}).exitCode, 0);
    }
    EXPECT_EQ(orvfax({"convert", good, dir.filePath("good.apf")}).exitCode, 0);
}

TEST(OrvfaxPdf, ExportWritesPdfAndTiffByExtension) {
    QTemporaryDir dir;
    const QString pdf = dir.filePath("in.pdf"), apf = dir.filePath("FAX0001.APF");
    writeFile(pdf, makePdf({{595.276, 841.89, box(72, 72, 144, 72, 841.89)}, {595.276, 841.89, {}}}));
    ASSERT_EQ(orvfax({"convert", pdf, apf, "--quiet"}).exitCode, 0);
    ProgramRun r = orvfax({"export", apf, dir.filePath("fax.pdf")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("2 page(s)"));
    // The exported PDF converts back into the same first page.
    ASSERT_EQ(orvfax({"convert", dir.filePath("fax.pdf"), dir.filePath("back.apf"), "--quiet"}).exitCode, 0);
    const QRect b = decode(dir.filePath("back.apf"), 1).blackBox(0, 0, 1728, 600);
    EXPECT_NEAR(b.left(), 224, 2);
    EXPECT_NEAR(b.top(), 98, 2);  // one inch down at standard resolution
    r = orvfax({"export", apf, dir.filePath("fax.tif")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    r = orvfax({"convert", dir.filePath("fax.tif"), dir.filePath("tif.apf")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("2 page(s)"));

    r = orvfax({"export", apf, dir.filePath("fax.png")});
    EXPECT_EQ(r.exitCode, 2);
    r = orvfax({"export", dir.filePath("missing.apf"), dir.filePath("x.pdf")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.errText().contains("missing.apf: File not found")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("x.pdf")));
}

// Text rows of a page: [first, last] row of each band of rows with black
// pixels (gaps of a few white rows inside a text line closed), specks dropped.
std::vector<std::pair<int, int>> textRows(const Raster& page) {
    std::vector<std::pair<int, int>> bands;
    for (int y = 0; y < int(page.rows.size()); ++y) {
        bool any = false;
        for (int x = 0; x < page.width && !any; ++x) any = page.black(x, y);
        if (!any) continue;
        if (!bands.empty() && y - bands.back().second <= 3) bands.back().second = y;
        else bands.push_back({y, y});
    }
    // Specks (the RTF path leaves one black pixel in a page corner) are no text.
    std::erase_if(bands, [](const std::pair<int, int>& b) { return b.second - b.first < 4; });
    return bands;
}

TEST(OrvfaxPdf, LibreOfficeLetterMatchesTheRtfPath) {
    if (!have("soffice")) GTEST_SKIP() << "LibreOffice missing";
    QTemporaryDir dir;
    const QString rtf = dir.filePath("letter.rtf");
    QByteArray body = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
                      "\\paperw12240\\paperh15840\\margl1440\\margr1440\\margt1440\\margb1440\\f0\\fs24 ";
    const char* lines[] = {"Invoice 2026-117", "Dear Ms Example,", "please find below the amount due for December.",
                           "Item one: consulting, 12 hours", "Item two: travel expenses", "Total: 1,234.56 EUR",
                           "Payable within thirty days.", "Kind regards,", "The Accounts Team"};
    for (const char* l : lines) body += QByteArray("\\pard ") + l + "\\par\\pard\\par ";
    writeFile(rtf, body + "}");
    QTemporaryDir profile;
    QProcess lo;
    lo.start("soffice", {"-env:UserInstallation=file://" + profile.path(), "--headless", "--norestore", "--convert-to",
                         "pdf", "--outdir", dir.path(), rtf});
    ASSERT_TRUE(lo.waitForFinished(180000));
    const QString pdf = dir.filePath("letter.pdf");
    ASSERT_TRUE(QFile::exists(pdf)) << lo.readAllStandardError().toStdString();

    const QString fromPdf = dir.filePath("pdf.apf"), fromRtf = dir.filePath("rtf.apf");
    ProgramRun r = orvfax({"convert", pdf, fromPdf, "--fine"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    r = orvfax({"convert", rtf, fromRtf});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const auto a = textRows(decode(fromPdf, 1)), b = textRows(decode(fromRtf, 1));
    ASSERT_EQ(a.size(), std::size(lines));
    ASSERT_EQ(b.size(), std::size(lines));
    // Row distances from the first text row in inches: the PDF page is Letter
    // scaled by 1728/1734 at 196 lines per inch, the RTF path paints at 200.
    const double pdfLpi = 196.0 * 1728 / 1734, rtfLpi = 200.0;
    for (size_t i = 1; i < a.size(); ++i) {
        const double da = (a[i].first - a[0].first) / pdfLpi, db = (b[i].first - b[0].first) / rtfLpi;
        EXPECT_NEAR(da, db, 0.04) << "text row " << i;
        const double ha = (a[i].second - a[i].first) / pdfLpi, hb = (b[i].second - b[i].first) / rtfLpi;
        EXPECT_NEAR(ha, hb, 0.02) << "height of text row " << i;
    }
}

}  // namespace
