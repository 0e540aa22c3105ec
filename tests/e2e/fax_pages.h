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

}  // namespace orv::test
