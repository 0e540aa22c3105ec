#pragma once
// Fax documents for the end-to-end tests of the fax engine, and their pages
// as pictures to compare with what the far end received.
#include "support/tiff_pages.h"

#include <QString>

namespace orv::test {

// An APF file of `pages` pages of text set by our converter, `lines` text
// lines each, at standard or fine resolution; empty on failure.
QString makeTextApf(const QString& path, int pages, int lines, bool fine);

// Page `page` of an APF file decoded by our decoder, one row per coded line.
BilevelPage decodeApfPage(const QString& path, int page);

// `received` without its first `rows` rows (what the sender put above the page).
BilevelPage dropTopRows(const BilevelPage& received, int rows);

// The blank lines our engine sends before a page (before its header line, when it has one).
inline constexpr int kLeadRows = 8;

}  // namespace orv::test
