// Page-mode painting at fax resolution: geometry, page breaks, continuations.
#include "richtext/page_painter.h"
#include "richtext/rich_format.h"
#include "richtext/rich_text_document.h"

#include <QAbstractTextDocumentLayout>
#include <QImage>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <gtest/gtest.h>

using namespace orv;

namespace {

constexpr int kW = 1666, kH = 2156, kOff = 49;

struct Painted {
    QImage image;
    int next = 0;
    QRect ink;       // bounding box of every non-white pixel
    int grey = 0;    // pixels neither black nor white
};

Painted paint(RichTextDocument& rt, int continuation, int areaHeight = kH - kOff) {
    Painted p;
    p.image = QImage(kW, kH, QImage::Format_RGB32);
    p.image.fill(Qt::white);
    QPainter painter(&p.image);
    p.next = rt.paintPage(painter, kOff, kOff, kW - kOff, areaHeight, continuation);
    painter.end();
    int x0 = kW, y0 = kH, x1 = -1, y1 = -1;
    for (int y = 0; y < kH; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(p.image.constScanLine(y));
        for (int x = 0; x < kW; ++x) {
            const QRgb v = line[x] & 0xFFFFFF;
            if (v == 0xFFFFFF) continue;
            if (v != 0 && v != 0xFF0000) ++p.grey;
            x0 = std::min(x0, x);
            x1 = std::max(x1, x);
            y0 = std::min(y0, y);
            y1 = std::max(y1, y);
        }
    }
    if (x1 >= 0) p.ink = QRect(QPoint(x0, y0), QPoint(x1, y1));
    return p;
}

// Whether any pixel of the ink is red (a shown merge-field marker).
bool hasRed(const Painted& p) {
    for (int y = p.ink.top(); y <= p.ink.bottom(); ++y)
        for (int x = p.ink.left(); x <= p.ink.right(); ++x)
            if ((p.image.pixel(x, y) & 0xFFFFFF) == 0xFF0000) return true;
    return false;
}

// Leftmost ink in rows y0..y1.
int leftInk(const QImage& img, int y0, int y1) {
    for (int x = 0; x < img.width(); ++x)
        for (int y = y0; y <= y1; ++y)
            if ((img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) return x;
    return -1;
}

void faxSetup(RichTextDocument& rt) {
    rt.setPageLayout({12240, 15840, 720, 720, 720, 720});
    rt.setZoom(ZoomForDpi(200));
}

QTextCharFormat arial(int points) {
    QTextCharFormat f;
    f.setFontFamilies({"Arial"});
    f.setFontPointSize(points);
    return f;
}

}  // namespace

TEST(PagePainter, OneInchIsTwoHundredPixelsAndInkIsClean) {
    EXPECT_EQ(ZoomForDpi(200), int(200.0 / LayoutDpi() * 100));
    RichTextDocument rt;
    faxSetup(rt);
    QTextCursor c(rt.document());
    c.insertText("|", arial(24));
    QTextBlockFormat indented;
    indented.setLeftMargin(TwipsToLayout(1440));
    c.insertBlock(indented, arial(24));
    c.insertText("|", arial(24));

    const Painted p = paint(rt, 0);
    EXPECT_EQ(p.next, 0);
    EXPECT_EQ(p.grey, 0) << "painting must not antialias";
    ASSERT_FALSE(p.ink.isNull());
    // Paper corner at 49, margins of half an inch: text starts near 149.
    EXPECT_NEAR(p.ink.left(), kOff + 100, 8);
    EXPECT_NEAR(p.ink.top(), kOff + 100, 12);
    const int firstBar = leftInk(p.image, p.ink.top(), p.ink.top() + 10);
    const int secondBar = leftInk(p.image, p.ink.bottom() - 10, p.ink.bottom());
    EXPECT_NEAR(secondBar - firstBar, 200, 2) << "one inch of indent";

    // At half the zoom, half the distance.
    rt.setZoom(ZoomForDpi(100));
    const Painted half = paint(rt, 0);
    const int a = leftInk(half.image, half.ink.top(), half.ink.top() + 5);
    const int b = leftInk(half.image, half.ink.bottom() - 5, half.ink.bottom());
    EXPECT_NEAR(b - a, 100, 2);
}

TEST(PagePainter, PagesBreakAtTheLayoutAndNothingIsLost) {
    RichTextDocument rt;
    faxSetup(rt);
    QTextCursor c(rt.document());
    for (int i = 1; i <= 150; ++i) {
        if (i > 1) c.insertBlock();
        c.insertText(QString("Line %1").arg(i), arial(12));
    }
    const QList<int> starts = rt.pageStarts();
    ASSERT_GE(starts.size(), 2);
    int continuation = 0;
    const int textBottom = kOff + 100 + 2000;  // 10 inch of text height
    for (int page = 0; page < starts.size(); ++page) {
        ASSERT_EQ(continuation, starts[page]);
        const QTextBlock b = rt.document()->findBlock(continuation);
        EXPECT_EQ(b.position(), continuation) << "pages start at a line";
        const Painted p = paint(rt, continuation);
        EXPECT_LE(p.ink.bottom(), textBottom + 1);
        EXPECT_GE(p.ink.top(), kOff + 100);
        if (page > 0) {
            EXPECT_LT(p.ink.top(), kOff + 100 + 30) << "a new page starts at its top margin";
        }
        continuation = p.next;
        if (page + 1 < starts.size()) {
            EXPECT_GT(continuation, starts[page]);
        }
    }
    EXPECT_LE(continuation, 0);
    // 12 pt lines: about 14 pt apart, 10 inch = 720 pt per page.
    const int perPage = rt.document()->findBlock(starts[1]).blockNumber();
    EXPECT_GT(perPage, 40);
    EXPECT_LT(perPage, 60);
}

TEST(PagePainter, PageBreaksAndShortAreas) {
    RichTextDocument rt;
    faxSetup(rt);
    QTextCursor c(rt.document());
    c.insertText("First page", arial(12));
    RichTextDocument::insertPageBreak(c);
    c.insertText("Second page", arial(12));
    const Painted one = paint(rt, 0);
    ASSERT_GT(one.next, 0);
    const Painted two = paint(rt, one.next);
    EXPECT_EQ(two.next, 0);
    EXPECT_NEAR(two.ink.top(), one.ink.top(), 3);

    // Beyond the text, or negative: nothing painted, nothing left.
    EXPECT_EQ(paint(rt, 1000000).next, 0);
    EXPECT_TRUE(paint(rt, 1000000).ink.isNull());
    EXPECT_EQ(paint(rt, -1).next, 0);

    // An area shorter than the page: the page ends with the area.
    RichTextDocument tall;
    faxSetup(tall);
    QTextCursor t(tall.document());
    for (int i = 0; i < 40; ++i) {
        if (i) t.insertBlock();
        t.insertText("row", arial(12));
    }
    const Painted cut = paint(tall, 0, 600);
    EXPECT_GT(cut.next, 0);
    EXPECT_LE(cut.ink.bottom(), kOff + 600);
}

TEST(PagePainter, MarkersShowRedAndHiddenOnesNotAtAll) {
    RichTextDocument rt;
    faxSetup(rt);
    QTextCursor c(rt.document());
    rt.insertMergeField(c, u'*', 3, "");
    const Painted shown = paint(rt, 0);
    ASSERT_FALSE(shown.ink.isNull());
    EXPECT_TRUE(hasRed(shown));
    rt.setMarkersHidden(true);
    EXPECT_TRUE(paint(rt, 0).ink.isNull());
}

TEST(PagePainter, ATextLoadedForFaxPagesIsLaidOutForTheScreenOnlyWhenAViewAsksForIt) {
    RichTextDocument source;
    QTextCursor c(source.document());
    c.insertText("To: ");
    source.insertMergeField(c, u'*', 1, "[NAME]");

    RichTextDocument rt;
    faxSetup(rt);
    rt.loadRtf(source.saveRtf());
    ASSERT_EQ(rt.lines(), QStringList({"To: *[NAME]"}));
    const Painted page = paint(rt, 0);
    EXPECT_TRUE(hasRed(page));
    EXPECT_EQ(rt.findChild<QAbstractTextDocumentLayout*>(), nullptr);

    // The editor's document: laid out, the marker taking the room of its
    // glyph while shown and none while hidden.
    QTextDocument* doc = rt.document();
    const auto lineWidth = [doc] {
        doc->documentLayout()->documentSize();
        return doc->begin().layout()->lineAt(0).naturalTextWidth();
    };
    const qreal shown = lineWidth();
    rt.setMarkersHidden(true);
    EXPECT_GT(shown, lineWidth());
}

TEST(PagePainter, FindPageSliceOnAnEmptyDocument) {
    QTextDocument doc;
    const PageSlice s = FindPageSlice(&doc, 0, 100);
    EXPECT_FALSE(s.empty);
    EXPECT_EQ(s.next, 0);
}
