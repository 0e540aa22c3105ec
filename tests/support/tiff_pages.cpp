#include "support/tiff_pages.h"

#include <tiffio.h>

namespace orv::test {

bool BilevelPage::rowIsWhite(int y) const {
    for (uint8_t b : rows[y])
        if (b) return false;
    return true;
}

std::vector<BilevelPage> readTiffPages(const QString& path, QString* error) {
    std::vector<BilevelPage> pages;
    TIFFSetWarningHandler(nullptr);
    TIFF* t = TIFFOpen(path.toLocal8Bit().constData(), "r");
    if (!t) {
        if (error) *error = "cannot open " + path;
        return pages;
    }
    do {
        uint32_t w = 0, h = 0;
        uint16_t bps = 1, photometric = PHOTOMETRIC_MINISWHITE;
        float yres = 0;
        TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
        TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bps);
        TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFGetField(t, TIFFTAG_YRESOLUTION, &yres);
        if (bps != 1 || w == 0 || w > 10000 || h > 100000) {
            if (error) *error = path + ": not a bilevel fax page";
            TIFFClose(t);
            return {};
        }
        BilevelPage p;
        p.width = static_cast<int>(w);
        p.height = static_cast<int>(h);
        p.yResolution = yres;
        std::vector<uint8_t> row(static_cast<size_t>(TIFFScanlineSize(t)));
        for (uint32_t y = 0; y < h; ++y) {
            if (TIFFReadScanline(t, row.data(), y, 0) < 0) {
                if (error) *error = path + ": bad scan line " + QString::number(y);
                TIFFClose(t);
                return {};
            }
            std::vector<uint8_t> r(row.begin(), row.begin() + (w + 7) / 8);
            if (photometric == PHOTOMETRIC_MINISBLACK)
                for (auto& b : r) b = static_cast<uint8_t>(~b);
            if (w % 8) r.back() &= static_cast<uint8_t>(0xFF << (8 - w % 8));
            p.rows.push_back(std::move(r));
        }
        pages.push_back(std::move(p));
    } while (TIFFReadDirectory(t));
    TIFFClose(t);
    return pages;
}

QString comparePages(const BilevelPage& sent, const BilevelPage& received, int skipTop, bool whiteTail) {
    if (sent.width != received.width)
        return QString("width %1, expected %2").arg(received.width).arg(sent.width);
    bool heightOk = whiteTail ? received.height >= sent.height + skipTop : received.height == sent.height + skipTop;
    if (!heightOk) return QString("height %1, expected %2").arg(received.height).arg(sent.height + skipTop);
    for (int y = sent.height + skipTop; y < received.height; ++y)
        if (!received.rowIsWhite(y)) return QString("row %1 below the page is not white").arg(y);
    for (int y = 0; y < skipTop; ++y)
        if (!received.rowIsWhite(y)) return QString("row %1 above the page is not white").arg(y);
    for (int y = 0; y < sent.height; ++y)
        if (sent.rows[y] != received.rows[y + skipTop]) return QString("row %1 differs").arg(y);
    return {};
}

}  // namespace orv::test
