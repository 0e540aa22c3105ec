#pragma once
// Writes a QTextDocument as RTF (Windows-1252 with \'hh, \uN for the rest):
// font and colour tables, the page layout in twips, paragraph alignment,
// indents, spacing, line height and tab stops, page breaks, character
// formats, and merge fields in starred groups of our own around the value
// text, so other RTF readers show the value and our reader gets the field back.
#include "richtext/page_layout.h"

#include <QByteArray>

class QTextDocument;

namespace orv {

class RtfWriter {
public:
    static QByteArray write(const QTextDocument* doc, const PageLayout& layout);
};

}  // namespace orv
