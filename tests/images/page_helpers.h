#pragma once
// Shared by the image tests: raster pages made in memory, written as APF
// pages with our encoder, and decoded back.
#include "images/apf_file.h"
#include "images/mh_encoder.h"
#include "images/unpack_engine.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace orv::test {

using Line = std::vector<uint8_t>;  // width / 8 bytes, 1 = black
using Page = std::vector<Line>;

inline bool pixel(const Line& l, int x) { return (l[size_t(x / 8)] >> (7 - x % 8)) & 1; }
inline void setPixel(Line& l, int x) { l[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8)); }

// Kinds of test page: text-like strokes, dense random noise, all black,
// alternating pixels, mostly blank.
enum class PageKind { Text, Noise, Black, Alternating, Blank };

inline Page makePage(PageKind kind, int width, int lines, unsigned seed) {
    std::mt19937 rng(seed);
    Page page(size_t(lines), Line(size_t(width / 8), 0));
    for (int y = 0; y < lines; ++y) {
        Line& l = page[size_t(y)];
        switch (kind) {
        case PageKind::Noise:
            for (auto& b : l) b = uint8_t(rng());
            break;
        case PageKind::Black:
            std::fill(l.begin(), l.end(), 0xFF);
            break;
        case PageKind::Alternating:
            // Single pixels from a white start, and 2-pixel runs from a black
            // start. (A full line of single pixels that starts black has 1729
            // runs, one more than libtiff's decoder takes; our own tests use it.)
            std::fill(l.begin(), l.end(), y % 2 ? 0x55 : 0xCC);
            break;
        case PageKind::Text:
            // Rows of "glyphs": short strokes in 20-pixel cells, 16-row text lines.
            if (y % 16 < 13 && (y / 16) % 4 != 3) {
                for (int c = 0; c < (width - 100) / 20; ++c) {
                    const unsigned g = (unsigned(c) * 2654435761u + unsigned(y / 16) * 40503u + seed) >> 7;
                    for (int k = 0; k < 18; ++k)
                        if ((g >> ((k + y) % 23)) & 1 && (k % 3 != 1 || y % 4 == 0)) setPixel(l, 50 + c * 20 + k);
                }
            }
            break;
        case PageKind::Blank:
            if (y == lines / 2) for (int x = 100; x < 400; ++x) setPixel(l, x);
            break;
        }
    }
    return page;
}

// A short description of how two pages differ, empty when equal (so a failing
// test does not print whole pages).
inline std::string pageDiff(const Page& got, const Page& want) {
    if (got.size() != want.size())
        return "line count " + std::to_string(got.size()) + " instead of " + std::to_string(want.size());
    for (size_t y = 0; y < got.size(); ++y) {
        if (got[y].size() != want[y].size()) return "line " + std::to_string(y) + " has another width";
        for (size_t i = 0; i < got[y].size(); ++i)
            if (got[y][i] != want[y][i]) return "line " + std::to_string(y) + " differs at byte " + std::to_string(i);
    }
    return {};
}

// Coded lines (record data) of a page with our encoder, margin 0.
inline std::vector<std::vector<uint8_t>> encodePage(const Page& page, int width) {
    static const MhEncoder enc;
    std::vector<std::vector<uint8_t>> records;
    std::vector<uint8_t> raster(4096 + 8, 0), out(MhEncoder::kBufferSize);
    for (const Line& l : page) {
        std::fill(raster.begin(), raster.end(), 0);
        std::copy(l.begin(), l.end(), raster.begin());
        const int n = enc.encodeLine(raster.data(), width, 0, false, out.data());
        records.emplace_back(out.begin(), out.begin() + n);
    }
    const int n = MhEncoder::encodeEndOfPage(out.data());
    records.emplace_back(out.begin(), out.begin() + n);
    return records;
}

// The same records as one continuous stream (no length words).
inline std::vector<uint8_t> continuous(const std::vector<std::vector<uint8_t>>& records) {
    std::vector<uint8_t> s;
    for (const auto& r : records) s.insert(s.end(), r.begin(), r.end());
    return s;
}

// Writes pages into an APF file, in line-record form or as continuous streams.
inline int writeApf(const QString& name, const std::vector<Page>& pages, int width, bool fine, bool records = true) {
    ApfWriter w;
    if (int rc = w.create(name); rc < 0) return rc;
    for (const Page& p : pages) {
        const uint16_t flags = uint16_t((fine ? pfHighRes : 0) | (width == 2048 ? pfWide : 0) | (records ? pfLengthWords : 0));
        if (int rc = w.beginPage(flags); rc < 0) return rc;
        for (const auto& r : encodePage(p, width)) {
            const int rc = records ? w.writeLineRecord(r.data(), int(r.size())) : w.writeData(r.data(), qint64(r.size()));
            if (rc < 0) return rc;
        }
        if (int rc = w.endPage(); rc < 0) return rc;
    }
    return w.finish();
}

// Decodes one page of a file as coded: full width, one line per scan line.
inline Page decodeFile(const QString& name, int page, int* rc = nullptr) {
    FaxUnpackEngine e;
    e.setAspectCorrection(false);
    Page out;
    const int r = e.decodePageLines(name, page, false, [&](const uint8_t* d, int len) { out.emplace_back(d, d + len); });
    if (rc) *rc = r;
    return out;
}

inline Page decodeData(const std::vector<uint8_t>& data, uint16_t flags) {
    FaxUnpackEngine e;
    e.setAspectCorrection(false);
    Page out;
    e.decodeDataLines(data.data(), data.size(), flags, false, [&](const uint8_t* d, int len) { out.emplace_back(d, d + len); });
    return out;
}

}  // namespace orv::test
