// The encoder's records byte for byte, and our encoder and decoder against
// each other on lines that exercise every code.
#include "images/mh_codes.h"
#include "images/mh_encoder.h"
#include "images/unpack_engine.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace orv {
namespace {

std::vector<uint8_t> record(const uint8_t* raster, int width, int margin, bool dw) {
    static MhEncoder enc;
    std::vector<uint8_t> out(MhEncoder::kBufferSize, 0xEE);
    const int n = enc.encodeLine(raster, width, margin, dw, out.data());
    out.resize(size_t(n));
    return out;
}

// Decodes continuous data into lines of `width / 8` bytes, black = 1, without
// aspect handling.
std::vector<std::vector<uint8_t>> decodeLines(const std::vector<uint8_t>& data, uint16_t flags = pfHighRes) {
    FaxUnpackEngine engine;
    std::vector<std::vector<uint8_t>> lines;
    EXPECT_EQ(engine.decodeDataLines(data.data(), data.size(), flags, false,
                                     [&](const uint8_t* d, int len) { lines.emplace_back(d, d + len); }),
              0);
    return lines;
}

TEST(MhEncoder, RecordsOfBlankMarginAndEndOfPage) {
    std::vector<uint8_t> raster(4096, 0);
    EXPECT_EQ(record(raster.data(), 1728, 50, false), (std::vector<uint8_t>{0x00, 0x80, 0xB2, 0x59, 0x01, 0x00}));

    MhEncoder enc;
    uint8_t out[64] = {};
    ASSERT_EQ(enc.encodeBlankLine(1728, out), 4);
    ASSERT_EQ(enc.encodeBlankLine(2048, out), 5);
    ASSERT_EQ(MhEncoder::encodeEndOfPage(out), 12);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 12),
              (std::vector<uint8_t>{0x00, 0x80, 0x00, 0x08, 0x80, 0x00, 0x08, 0x80, 0x00, 0x08, 0x80, 0x00}));

    // Pixel 0 black with a margin: white 50, black 0, white 0, black 1, white rest.
    raster[0] = 0x80;
    const auto r = record(raster.data(), 1728, 50, false);
    const auto lines = decodeLines(r);
    ASSERT_EQ(lines.size(), 1u);
    ASSERT_EQ(lines[0].size(), 216u);
    for (int x = 0; x < 1728; ++x) EXPECT_EQ((lines[0][x / 8] >> (7 - x % 8)) & 1, x == 50 ? 1 : 0) << x;
}

TEST(MhEncoder, RoundTripsEveryRunLengthAndWidth) {
    std::mt19937 rng(7);
    for (int width : {1728, 2048}) {
        std::vector<uint8_t> data;
        std::vector<std::vector<uint8_t>> expected;
        for (int i = 0; i < 300; ++i) {
            std::vector<uint8_t> raster(4096, 0);
            // Runs of every length 0..width, mixed with noise and solid lines.
            int x = 0;
            bool black = rng() & 1;
            const int kind = i % 5;
            while (x < width) {
                int run = kind == 0 ? int(rng() % 3) + 1 : kind == 1 ? int(rng() % 200) + 1 : int(rng() % width) + 1;
                if (kind == 3) run = width;  // all one colour
                for (int k = x; k < std::min(width, x + run); ++k)
                    if (black) raster[size_t(k / 8)] |= uint8_t(0x80 >> (k % 8));
                x += run;
                black = !black;
            }
            if (kind == 4) for (int k = 0; k < width / 8; ++k) raster[size_t(k)] = 0xAA;  // alternating pixels
            const auto rec = record(raster.data(), width, 0, false);
            data.insert(data.end(), rec.begin(), rec.end());
            expected.emplace_back(raster.begin(), raster.begin() + width / 8);
        }
        uint8_t eop[12];
        MhEncoder::encodeEndOfPage(eop);
        data.insert(data.end(), eop, eop + 12);
        const auto lines = decodeLines(data, uint16_t(pfHighRes | (width == 2048 ? pfWide : 0)));
        ASSERT_EQ(lines.size(), expected.size());
        for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], expected[i]) << "line " << i;
    }
}

TEST(MhEncoder, DoubleWidthAndMarginsAddUpToThePageWidth) {
    std::vector<uint8_t> raster(4096, 0);
    // An 840-pixel image of alternating 3-pixel runs, doubled after an odd margin:
    // the line must still be exactly 1728 pixels wide (else readers drop it).
    for (int x = 0; x < 840; ++x)
        if ((x / 3) % 2) raster[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
    for (int margin : {0, 49, 50}) {
        const auto lines = decodeLines(record(raster.data(), 1728, margin, true));
        ASSERT_EQ(lines.size(), 1u) << margin;
        for (int x = 0; x < 1728; ++x) {
            const int src = (x - margin) / 2;
            const int want = x >= margin && src < 840 && (src / 3) % 2 ? 1 : 0;
            ASSERT_EQ((lines[0][x / 8] >> (7 - x % 8)) & 1, want) << "margin " << margin << " x " << x;
        }
    }
    // An image too wide for doubling after the margin is cut at the line's end.
    std::fill(raster.begin(), raster.begin() + 216, 0xF0);
    const auto lines = decodeLines(record(raster.data(), 1728, 50, true));
    ASSERT_EQ(lines.size(), 1u);
}

// The table-driven path (no status, no yield) must decode exactly as the
// bit-by-bit walk, whatever the data.
TEST(MhDecoder, FastPathDecodesLikeTheTreeWalk) {
    std::mt19937 rng(11);
    for (int round = 0; round < 400; ++round) {
        std::vector<uint8_t> data;
        // Valid lines with junk spliced in: random bytes, zero runs, 0xFF runs.
        std::vector<uint8_t> raster(4096, 0), out(MhEncoder::kBufferSize);
        static MhEncoder enc;
        for (int i = 0; i < 20; ++i) {
            for (int k = 0; k < 216; ++k) raster[size_t(k)] = (rng() % 3) ? 0 : uint8_t(rng());
            const int n = enc.encodeLine(raster.data(), 1728, int(rng() % 60), rng() & 1, out.data());
            data.insert(data.end(), out.begin(), out.begin() + n);
            const unsigned junk = rng() % 6;
            for (unsigned k = 0; k < junk; ++k) {
                const unsigned what = rng() % 3;
                // Runs of 1 bits longer than the fast path's bit buffer, too.
                const unsigned count = what == 2 ? 1 + rng() % 12 : 1;
                for (unsigned c = 0; c < count; ++c) data.push_back(what == 0 ? uint8_t(rng()) : what == 1 ? 0x00 : 0xFF);
            }
        }
        for (const uint16_t flags : {uint16_t(pfHighRes), uint16_t(pfHighRes | pfLengthWords), uint16_t(0)}) {
            std::vector<std::vector<uint8_t>> slow, fast;
            FaxUnpackEngine a, b;
            a.setStatusSink([](const QString&, int, qint64, qint64) {});
            a.setWhitespace(3, 1);
            b.setWhitespace(3, 1);
            const size_t len = data.size() - rng() % 7;
            ASSERT_EQ(a.decodeDataLines(data.data(), len, flags, false, [&](const uint8_t* d, int n) { slow.emplace_back(d, d + n); }), 0);
            ASSERT_EQ(b.decodeDataLines(data.data(), len, flags, false, [&](const uint8_t* d, int n) { fast.emplace_back(d, d + n); }), 0);
            ASSERT_EQ(slow, fast) << "round " << round;
            ASSERT_EQ(a.codesRejected(), b.codesRejected()) << "round " << round;
            ASSERT_EQ(a.linesOutput(), b.linesOutput());
        }
    }
}

TEST(MhDecoder, TreesMatchTheCodeTables) {
    FaxUnpackEngine engine;
    // Every code walks to its own leaf.
    auto walk = [](const FaxUnpackEngine::Tree& t, const mh::Code& c) {
        int node = 0;
        for (int i = c.length - 1; i >= 0; --i) {
            const int next = t.next[size_t(2 * node + ((c.bits >> i) & 1))];
            if (i == 0) return next;
            if (next < 0) return int(FaxUnpackEngine::kLeafInvalid) - 1;
            node = next;
        }
        return -9999;
    };
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(walk(engine.whiteTree(), mh::kWhiteTerminating[i]), -(i + 1));
        EXPECT_EQ(walk(engine.blackTree(), mh::kBlackTerminating[i]), -(i + 1));
    }
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(walk(engine.whiteTree(), mh::kWhiteMakeUp[i]), -((i + 1) * 64 + 1));
        EXPECT_EQ(walk(engine.blackTree(), mh::kBlackMakeUp[i]), -((i + 1) * 64 + 1));
    }
    EXPECT_EQ(walk(engine.whiteTree(), mh::kEol), FaxUnpackEngine::kLeafEol);
    EXPECT_EQ(walk(engine.blackTree(), mh::kEol), FaxUnpackEngine::kLeafEol);
    EXPECT_LE(engine.whiteTree().nodes(), 307);
    EXPECT_LE(engine.blackTree().nodes(), 307);
}

}  // namespace
}  // namespace orv
