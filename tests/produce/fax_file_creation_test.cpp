// Fax file creation: rich texts painted page by page at 200 dpi, converted
// through "_TMP.BMP" into one-page APF files, and joined.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCursor>

#include "images/apf_file.h"
#include "images/fax_converter.h"
#include "images/unpack_engine.h"
#include "produce/fax_file_creation.h"
#include "richtext/rich_text_document.h"

using namespace orv;

namespace {

// A document of the given number of pages, each with one line of text.
void makeDocument(RichTextDocument& doc, int pages, const QString& word) {
    doc.clear();
    QTextCursor c(doc.document());
    for (int p = 0; p < pages; ++p) {
        if (p > 0) RichTextDocument::insertPageBreak(c);
        c.insertText(QStringLiteral("%1 page %2").arg(word).arg(p + 1));
    }
}

struct DecodedPage {
    int lines = 0;
    int blackInTopInch = 0;  // black pixels in the band where the first text line lies
    bool lastPixelBlack = false;
};

// lastX: where the page bitmap's right-most column lies on the fax line.
DecodedPage decode(const QString& file, int page, int lastX) {
    DecodedPage d;
    FaxUnpackEngine e;
    e.decodePageLines(file, page, false, [&](const uint8_t* line, int len) {
        if (d.lines < 400)
            for (int i = 0; i < len; ++i) d.blackInTopInch += __builtin_popcount(line[i]);
        if (len > 0) d.lastPixelBlack = line[lastX / 8] & (0x80 >> (lastX % 8));
        ++d.lines;
    });
    return d;
}

QStringList apfFilesIn(const QString& folder) {
    return QDir(folder).entryList({"*.APF", "*.BMP"}, QDir::Files, QDir::Name);
}

}  // namespace

TEST(FaxFileCreation, CoverAndDocumentPagesAreNumberedJoinedAndCleanedUp) {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    RichTextDocument cover, document;
    makeDocument(cover, 1, "Cover");
    makeDocument(document, 2, "Document");
    TOrvFaxConverter converter;
    converter.setStationId("+1 555 0100");

    QStringList pages;
    int pumped = 0;
    RenderRichTextPages(cover, pages, folder, converter, [&] { ++pumped; });
    RenderRichTextPages(document, pages, folder, converter, [&] { ++pumped; });
    EXPECT_EQ(pages, (QStringList{folder + "ORV_1.APF", folder + "ORVAX2.APF", folder + "ORVAX3.APF"}));
    EXPECT_EQ(pumped, 3);
    EXPECT_FALSE(QFile::exists(folder + "_TMP.BMP"));

    const QString fax = JoinFaxFiles(pages);
    EXPECT_EQ(fax, folder + "ORV_1.APF");
    EXPECT_EQ(apfFilesIn(folder), QStringList{"ORV_1.APF"});  // no ORVAX file, no bitmap left

    ApfReader r;
    ASSERT_EQ(r.open(fax), 0);
    ASSERT_EQ(r.pageCount(), 3);
    for (int p = 1; p <= 3; ++p) {
        ApfPageHeader h;
        ASSERT_EQ(r.seekPage(p, h), 0);
        EXPECT_TRUE(h.pageFlags & pfHighRes) << p;
        // The converter puts the bitmap after its left margin.
        const DecodedPage d = decode(fax, p, int(converter.leftMargin()) + kPageBitmapWidth - 1);
        // Every page is full length, thanks to the black bottom-right pixel.
        EXPECT_EQ(d.lines, kPageBitmapHeight) << p;
        EXPECT_TRUE(d.lastPixelBlack) << p;
        EXPECT_GT(d.blackInTopInch, 200) << "page " << p << " has no text";
    }
}

TEST(FaxFileCreation, OnePageNeedsNoJoinAndFreeNamesAreFound) {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    EXPECT_EQ(NextFreeFaxFileName(folder), folder + "ORV_1.APF");
    QFile(folder + "ORV_1.APF").open(QIODevice::WriteOnly);  // left from an earlier run
    EXPECT_EQ(NextFreeFaxFileName(folder), folder + "ORV_2.APF");

    RichTextDocument doc;
    makeDocument(doc, 1, "Only");
    TOrvFaxConverter converter;
    QStringList pages;
    RenderRichTextPages(doc, pages, folder, converter);
    ASSERT_EQ(pages, QStringList{folder + "ORV_2.APF"});
    EXPECT_EQ(JoinFaxFiles(pages), folder + "ORV_2.APF");
    ApfReader r;
    ASSERT_EQ(r.open(folder + "ORV_2.APF"), 0);
    EXPECT_EQ(r.pageCount(), 1);

    QStringList none;
    EXPECT_EQ(JoinFaxFiles(none), QString());

    // An empty text still gives one (blank) page: the loop runs at least once.
    RichTextDocument empty;
    pages.clear();
    RenderRichTextPages(empty, pages, folder, converter);
    EXPECT_EQ(pages.size(), 1);

    // All thousand names taken: "ORV1.APF".
    for (int n = 1; n <= 1000; ++n) QFile(folder + QStringLiteral("ORV_%1.APF").arg(n)).open(QIODevice::WriteOnly);
    EXPECT_EQ(NextFreeFaxFileName(folder), folder + "ORV1.APF");
}

TEST(FaxFileCreation, OneInchOfTextCovers200PixelsOfThePage) {
    RichTextDocument doc;
    makeDocument(doc, 1, "X");
    PageLayout layout = doc.pageLayout();
    layout.left = 1440;  // one inch
    layout.top = 1440;
    doc.setPageLayout(layout);
    doc.setZoom(ZoomForDpi(200));
    QImage page(kPageBitmapWidth, kPageBitmapHeight, QImage::Format_RGB32);
    EXPECT_EQ(PaintFaxPage(doc, page, 0), 0);
    int left = kPageBitmapWidth, top = kPageBitmapHeight;
    for (int y = 0; y < kPageBitmapHeight - 1; ++y)
        for (int x = 0; x < kPageBitmapWidth; ++x)
            if (qGray(page.pixel(x, y)) < 128) left = std::min(left, x), top = std::min(top, y);
    // The text starts one inch (200 pixels) inside the paper's corner at (49, 49);
    // the glyph's own side bearing and the line's ascent add a few pixels.
    EXPECT_GE(left, kPagePaintOffset + 200);
    EXPECT_LE(left, kPagePaintOffset + 200 + 12);
    EXPECT_GE(top, kPagePaintOffset + 200);
    EXPECT_LE(top, kPagePaintOffset + 200 + 40);
    EXPECT_EQ(qGray(page.pixel(kPageBitmapWidth - 1, kPageBitmapHeight - 1)), 0);
}
