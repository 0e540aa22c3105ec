#pragma once
// Page mode: cuts a laid-out QTextDocument into pages and paints one page.
//
// A page holds whole lines from its start position down to the page height
// (at least one line, so painting always gets on), and ends early before a
// paragraph that starts with a page break. Positions are document positions:
// a page starts at the first character of its first line. The continuation
// handed back is where the next page starts, or 0 when no text is left.
#include "richtext/page_layout.h"

#include <QRect>

class QPainter;
class QTextDocument;

namespace orv {

struct PageSlice {
    qreal top = 0;     // layout units: the page shows top <= y < bottom
    qreal bottom = 0;
    int next = 0;      // position the next page starts at; 0 = this is the last page
    bool empty = true; // the start position lies beyond the text
};

// doc must be laid out at its final text width (a width of -1 still works).
PageSlice FindPageSlice(QTextDocument* doc, int continuation, qreal pageHeight);

// Paints the page that starts at continuation onto painter: the paper's
// top-left corner at area's top-left, the text inside the margins of layout,
// clipped to area; the page also ends where area ends. doc must be laid out
// in pixels of the canvas (its layout's paint device at dotsPerInch), so
// glyphs are drawn at their own size, unscaled and without antialiasing.
// Returns the next continuation (0 or less when no text is left).
int PaintPage(QPainter& painter, QTextDocument* doc, const PageLayout& layout, int dotsPerInch, const QRect& area,
              int continuation);

}  // namespace orv
