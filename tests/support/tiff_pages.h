#pragma once
// Reads the pages of a bilevel TIFF file through libtiff, an independent
// T.4 decoder, so tests can compare fax pages pixel for pixel.
#include <QString>
#include <cstdint>
#include <vector>

namespace orv::test {

struct BilevelPage {
    int width = 0;
    int height = 0;
    double yResolution = 0;                 // lines per inch
    std::vector<std::vector<uint8_t>> rows; // one bit per pixel, MSB leftmost, 1 = black

    bool blackAt(int x, int y) const { return (rows[y][x / 8] >> (7 - x % 8)) & 1; }
    bool rowIsWhite(int y) const;
};

// All pages of `path`; empty with `error` set when the file cannot be read.
std::vector<BilevelPage> readTiffPages(const QString& path, QString* error = nullptr);

// Compares two pages; `skipTop` rows of `received` above the image must be
// white (fax programs add blank lines before a page); with `whiteTail`,
// white rows below the page are allowed too. Returns "" when equal, else a
// description of the first difference.
QString comparePages(const BilevelPage& sent, const BilevelPage& received, int skipTop = 0, bool whiteTail = false);

}  // namespace orv::test
