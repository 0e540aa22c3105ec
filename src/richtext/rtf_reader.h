#pragma once
// Reads RTF into a QTextDocument: font and colour tables, character formats,
// paragraph alignment, indents, spacing and tab stops, page breaks, the page
// layout in twips, our merge fields, Windows-1252 text with \'hh and \uN.
// Unknown destinations, pictures, headers, footers and footnotes are skipped.
//
// It never throws and never fails on bad input: a damaged or hostile file
// (deep nesting, huge numbers, \bin, truncation) gives whatever text could be
// read. Input that is not RTF at all is loaded as plain Windows-1252 text.
#include "richtext/page_layout.h"

#include <QByteArray>

class QTextDocument;

namespace orv {

struct RtfReadResult {
    PageLayout pageLayout;        // normalized; RTF's defaults where the file names none
    bool hasPageLayout = false;   // the file named at least one of the six values
    bool wasRtf = true;           // false: the input was read as plain text
    int nextFieldId = 1;          // first merge-field id not used by the text read
};

class RtfReader {
public:
    // Replaces the contents of doc with the text of data (the undo history
    // is cleared). Merge fields get ids counted up from firstFieldId. The
    // document is given no layout: one that is laid out or painted needs
    // RegisterMergeMarkerHandler for the markers' size.
    static RtfReadResult read(const QByteArray& data, QTextDocument* doc, int firstFieldId = 1);

    // Deeper groups than this are read as skipped destinations.
    static constexpr int kMaxDepth = 256;
};

}  // namespace orv
