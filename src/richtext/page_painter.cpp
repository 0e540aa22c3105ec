#include "richtext/page_painter.h"

#include "richtext/rich_format.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace orv {

PageSlice FindPageSlice(QTextDocument* doc, int continuation, qreal pageHeight) {
    PageSlice slice;
    const int end = doc->characterCount() - 1;
    if (continuation < 0 || (continuation > 0 && continuation >= end + 1)) return slice;
    doc->documentLayout()->documentSize();  // completes the layout

    QTextBlock block = doc->findBlock(continuation);
    if (!block.isValid()) return slice;
    QTextLayout* tl = block.layout();
    int line = 0;
    if (continuation > 0 && tl->lineCount() > 0) {
        const QTextLine l = tl->lineForTextPosition(continuation - block.position());
        line = l.isValid() ? l.lineNumber() : 0;
    }
    slice.empty = false;
    if (continuation == 0)
        slice.top = 0;  // the first page keeps the space above the first paragraph
    else
        slice.top = tl->position().y() + (tl->lineCount() > 0 ? tl->lineAt(line).y() : 0);
    slice.bottom = slice.top;

    bool firstOnPage = true;
    for (; block.isValid(); block = block.next(), line = 0) {
        tl = block.layout();
        const QTextBlockFormat bf = block.blockFormat();
        const qreal blockY = tl->position().y();
        if (line == 0 && !firstOnPage && (bf.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore)) {
            slice.next = block.position();
            return slice;
        }
        for (; line < tl->lineCount(); ++line) {
            const QTextLine l = tl->lineAt(line);
            const qreal bottom = blockY + l.y() + l.height();
            if (!firstOnPage && bottom - slice.top > pageHeight) {
                slice.next = block.position() + l.textStart();
                return slice;
            }
            slice.bottom = std::max(slice.bottom, bottom);
            firstOnPage = false;
        }
        if (tl->lineCount() == 0) firstOnPage = false;
        if ((bf.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysAfter) && block.next().isValid()) {
            slice.next = block.next().position();
            return slice;
        }
    }
    slice.next = 0;
    return slice;
}

int PaintPage(QPainter& painter, QTextDocument* doc, const PageLayout& pageLayout, int dotsPerInch,
              const QRect& area, int continuation) {
    if (continuation < 0 || area.width() <= 0 || area.height() <= 0 || dotsPerInch <= 0) return 0;
    const PageLayout L = pageLayout.normalized();
    const auto px = [dotsPerInch](int twips) { return qreal(twips) * dotsPerInch / 1440.0; };
    const qreal originX = area.left() + px(L.left);
    const qreal originY = area.top() + px(L.top);
    // Where the area is shorter than the page, the page ends with the area, so
    // no line is painted half or lost below its edge.
    const qreal pageHeight = std::min(px(L.textHeight()), area.top() + area.height() - originY);

    const PageSlice slice = FindPageSlice(doc, continuation, pageHeight);
    if (slice.empty) return 0;

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setClipRect(area, Qt::IntersectClip);
    painter.translate(originX, originY - slice.top);
    const QRectF show(-1e6, slice.top, 2e6, slice.bottom - slice.top);
    painter.setClipRect(show, Qt::IntersectClip);
    QAbstractTextDocumentLayout::PaintContext ctx;
    ctx.clip = show;
    ctx.palette.setColor(QPalette::Text, Qt::black);
    doc->documentLayout()->draw(&painter, ctx);
    painter.restore();
    return slice.next;
}

}  // namespace orv
