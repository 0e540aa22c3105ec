// The encoder's records byte for byte, and our encoder and decoder against
// each other on lines that exercise every code.
#include "common/orv_error.h"
#include "images/apf_file.h"
#include "images/mh_codes.h"
#include "images/mh_encoder.h"
#include "images/unpack_engine.h"
#include "page_helpers.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
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

// Bits as they go on the line: first bit first, each byte filled from bit 0.
struct BitWriter {
    std::vector<uint8_t> bytes;
    size_t bits = 0;
    void bit(unsigned b) {
        if (bits % 8 == 0) bytes.push_back(0);
        if (b) bytes.back() |= uint8_t(1u << (bits % 8));
        ++bits;
    }
    void repeat(unsigned b, int count) {
        for (int i = 0; i < count; ++i) bit(b);
    }
    void code(const mh::Code& c) {
        for (int i = c.length - 1; i >= 0; --i) bit((c.bits >> i) & 1u);
    }
    void eol(int fill) {
        repeat(0, fill);
        code(mh::kEol);
    }
    // A run of one colour: make-up codes, then a terminating code.
    void run(bool white, int len) {
        while (len >= 64) {
            const int m = std::min(len / 64, 40);
            code((white ? mh::kWhiteMakeUp : mh::kBlackMakeUp)[m - 1]);
            len -= m * 64;
        }
        code((white ? mh::kWhiteTerminating : mh::kBlackTerminating)[len]);
    }
};

// Page data that go through every corner of the decoder: lines of the right
// and wrong widths (also past the 4096-pixel line buffer), blank lines, long
// black runs, EOLs with short and very long fill, rows of EOLs with invalid
// codes between them, runs of 1 and 0 bits, stray codes, random bits. With
// pageEnds, now and then three EOLs in a row end the page early, and some pages
// carry bits after their end-of-page code.
std::vector<uint8_t> messyPageData(std::mt19937& rng, size_t bits, bool pageEnds) {
    BitWriter w;
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    const int widths[] = {1728, 2048, 1728, 2048, 1728, 1727, 2049, 900, 3700, 4096, 4097, 6000};
    while (w.bits < bits) {
        switch (pick(12)) {
        case 0: case 1: case 2: case 3: {  // a line of runs
            w.eol(pick(6) == 0 ? pick(90) : pick(8));
            const int width = widths[pick(12)];
            const int style = pick(3);  // short runs, text-like, long runs
            bool white = true;
            for (int x = 0; x < width;) {
                const int len = std::min(width - x, style == 0 ? pick(6) : style == 1 ? pick(70) : pick(2700));
                w.run(white, len);
                x += len;
                white = !white;
            }
            break;
        }
        case 4: case 5: {  // a blank line, now and then a little short or long
            w.eol(pick(16));
            const int width = pick(4) ? (pick(2) ? 1728 : 2048) : widths[pick(12)];
            w.run(true, width);
            break;
        }
        case 6:  // random bits
            for (int k = pick(30) + 1; k > 0; --k) w.bit(rng() & 1);
            break;
        case 7:
            w.repeat(1, pick(100) + 1);
            break;
        case 8:
            w.repeat(0, pick(100) + 1);
            break;
        case 9:  // EOLs in a row, perhaps with invalid codes between
            if (pick(3) == 0) w.code(mh::Code{0x01, 9});  // eight 0 bits then a 1: no code
            w.eol(pick(10));
            if (pick(3) == 0) w.code(mh::Code{0x01, 9});
            if (pageEnds && pick(40) == 0) {
                w.eol(pick(10));
                w.eol(0);
            }
            break;
        case 10:  // stray codes, of either colour
            for (int k = pick(6) + 1; k > 0; --k) w.run(rng() & 1, pick(3) ? pick(64) : pick(2600));
            break;
        case 11: {  // a line with long black runs (13-bit make-up codes)
            w.eol(pick(4));
            w.run(true, 10);
            w.run(false, 640 + pick(1000));
            w.run(true, pick(20));
            break;
        }
        }
    }
    if (pageEnds && rng() % 2) {
        for (int k = 0; k < 3; ++k) w.eol(int(rng() % 12));
        for (int k = int(rng() % 2000); k > 0; --k) w.bit(rng() & 1);
    }
    return w.bytes;
}

// The same data in line records of random sizes: empty, tiny, ordinary and
// over-long (whose rest is skipped).
std::vector<uint8_t> inRecords(std::mt19937& rng, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < data.size();) {
        const unsigned kind = rng() % 10;
        size_t n = kind == 0 ? 0 : kind < 4 ? rng() % 8 : kind < 9 ? rng() % 600 : 4000 + rng() % 200;
        n = std::min(n, data.size() - i);
        const size_t word = kind == 9 && rng() % 2 ? n + rng() % 50 : n;  // now and then longer than the data
        out.push_back(uint8_t(word));
        out.push_back(uint8_t(word >> 8));
        out.insert(out.end(), data.begin() + ptrdiff_t(i), data.begin() + ptrdiff_t(i + n));
        for (size_t k = n; k < word; ++k) out.push_back(uint8_t(rng()));
        i += n;
    }
    return out;
}

struct Decoded {
    int rc = 0;
    std::vector<std::vector<uint8_t>> lines;
    int rejected = 0, output = 0;
    bool operator==(const Decoded&) const = default;
};

// Decodes with the bit-by-bit walk (a status sink forces it) or the fast path.
Decoded decodeBoth(bool walk, const std::vector<uint8_t>& data, size_t len, uint16_t flags, int options) {
    static FaxUnpackEngine engines[2];  // (made once: building the decode trees takes a while)
    FaxUnpackEngine& e = engines[walk];
    e.reset();
    if (walk) e.setStatusSink([](const QString&, int, qint64, qint64) {});
    if (options & 1) e.setWhitespace(4, 2);
    e.setAspectCorrection(options & 2);
    e.setAutoScale(options & 4 ? asHalfWidth : asDoubleHeight);
    Decoded d;
    d.rc = e.decodeDataLines(data.data(), len, flags, options & 8,
                             [&](const uint8_t* p, int n) { d.lines.emplace_back(p, p + n); });
    d.rejected = e.codesRejected();
    d.output = e.linesOutput();
    return d;
}

TEST(MhDecoder, FastPathDecodesMessyDataLikeTheTreeWalk) {
    std::mt19937 rng(2024);
    int linesSeen = 0, rejectedSeen = 0;
    for (int round = 0; round < 300; ++round) {
        // Mostly short pages; every fifth one longer than two blocks of input.
        const size_t bits = round % 5 == 0 ? 90000 + rng() % 40000 : 2000 + rng() % 30000;
        const std::vector<uint8_t> data = messyPageData(rng, bits, round % 3 == 0);
        const std::vector<uint8_t> records = inRecords(rng, data);
        const int options = int(rng() % 16);
        for (int form = 0; form < 2; ++form) {
            const std::vector<uint8_t>& d = form ? records : data;
            const uint16_t flags = uint16_t((form ? pfLengthWords : 0) | (rng() % 2 ? pfHighRes : 0));
            // Whole, and cut at a random byte.
            for (const size_t len : {d.size(), size_t(rng() % (d.size() + 1))}) {
                const Decoded slow = decodeBoth(true, d, len, flags, options);
                const Decoded fast = decodeBoth(false, d, len, flags, options);
                ASSERT_EQ(slow.rc, fast.rc) << "round " << round;
                ASSERT_EQ(slow.lines.size(), fast.lines.size()) << "round " << round << " form " << form;
                ASSERT_TRUE(slow == fast) << "round " << round << " form " << form << " length " << len;
                linesSeen += slow.output;
                rejectedSeen += slow.rejected;
            }
        }
    }
    // The data did reach the interesting paths.
    EXPECT_GT(linesSeen, 2000);
    EXPECT_GT(rejectedSeen, 500);
}

// The fast path stages its input a block at a time and switches to an exact
// one-code step near the end of the staged bytes. Every kind of code and EOL
// is moved across those seams bit by bit (extra EOL fill shifts all that
// follows), in both storage forms; and every code cut off by the end of the
// data ends the page as the walk ends it.
TEST(MhDecoder, FastPathAtBlockSeamsAndAtTheEndLikeTheTreeWalk) {
    BitWriter body;
    std::mt19937 rng(9);
    while (body.bits < 8 * 10000) {
        body.eol(3 + int(rng() % 10));  // a blank line
        body.run(true, 1728);
        body.eol(int(rng() % 4));  // a line of short runs
        bool white = true;
        for (int x = 0; x < 1728; white = !white) {
            const int len = std::min(1728 - x, int(rng() % 9));
            body.run(white, len);
            x += len;
        }
        body.eol(0);
        body.code(mh::Code{0x01, 9});  // invalid, then a run of 1 bits
        body.repeat(1, 70);
        body.eol(80);  // long fill, then long black runs
        body.run(true, 5);
        body.run(false, 1700);
        body.run(true, 23);
        body.eol(1);  // a wide line of text-like runs
        white = true;
        for (int x = 0; x < 2048; white = !white) {
            const int len = std::min(2048 - x, int(rng() % 70));
            body.run(white, len);
            x += len;
        }
    }
    for (int shift = 0; shift < 200; shift += 3) {
        BitWriter w;
        w.eol(shift);
        for (size_t i = 0; i < body.bits; ++i) w.bit((body.bytes[i / 8] >> (i % 8)) & 1u);
        std::vector<uint8_t> records;
        for (size_t i = 0; i < w.bytes.size(); i += 300) {
            const size_t n = std::min<size_t>(300, w.bytes.size() - i);
            records.push_back(uint8_t(n));
            records.push_back(uint8_t(n >> 8));
            records.insert(records.end(), w.bytes.begin() + ptrdiff_t(i), w.bytes.begin() + ptrdiff_t(i + n));
        }
        for (const bool inRecords : {false, true}) {
            const auto& d = inRecords ? records : w.bytes;
            const uint16_t flags = uint16_t(pfHighRes | (inRecords ? pfLengthWords : 0));
            const Decoded slow = decodeBoth(true, d, d.size(), flags, 0);
            const Decoded fast = decodeBoth(false, d, d.size(), flags, 0);
            ASSERT_GT(slow.output, 100);
            ASSERT_TRUE(slow == fast) << "shift " << shift << " records " << inRecords;
        }
    }

    // A complete line (a blank one, or one that ends black), then every
    // pattern of up to 13 bits: at the very end of the data, where a code may
    // be cut off, and before a further line.
    for (const bool blackNext : {false, true}) {
        auto line = [&](BitWriter& w) {
            w.run(true, blackNext ? 1728 : 1000);
            if (!blackNext) w.run(false, 728);
        };
        BitWriter probe;
        probe.eol(0);
        line(probe);
        for (int len = 1; len <= 13; ++len) {
            for (uint32_t bits = 0; bits < (1u << len); ++bits) {
                BitWriter w;
                w.eol(int((8 - (probe.bits + size_t(len)) % 8) % 8));  // so the tail ends the last byte
                line(w);
                w.code(mh::Code{uint16_t(bits), uint8_t(len)});
                ASSERT_EQ(w.bits % 8, 0u);
                const Decoded slow = decodeBoth(true, w.bytes, w.bytes.size(), pfHighRes, 0);
                const Decoded fast = decodeBoth(false, w.bytes, w.bytes.size(), pfHighRes, 0);
                ASSERT_TRUE(slow == fast) << blackNext << " " << len << " " << bits;
                // The same bits in the middle of the data, before further
                // lines (enough of them for the fast path to take these bits).
                for (int k = 0; k < 4; ++k) {
                    w.eol(1);
                    w.run(true, 1000);
                    w.run(false, 728);
                }
                w.eol(0);
                ASSERT_TRUE(decodeBoth(true, w.bytes, w.bytes.size(), pfHighRes, 0) ==
                            decodeBoth(false, w.bytes, w.bytes.size(), pfHighRes, 0))
                    << blackNext << " " << len << " " << bits;
            }
        }
    }
}

// A file cut short of its page's ImageLength: both paths give the lines
// before the cut, then the same error.
TEST(MhDecoder, FastPathMeetsATruncatedFileLikeTheTreeWalk) {
    QTemporaryDir dir;
    const test::Page page = test::makePage(test::PageKind::Noise, 1728, 100, 3);
    auto lines = test::encodePage(page, 1728);
    lines.pop_back();  // no end-of-page code: the data just stop
    for (const bool records : {false, true}) {
        const QString f = dir.filePath(records ? "r.apf" : "c.apf");
        ApfWriter w;
        ASSERT_EQ(w.create(f), 0);
        ASSERT_EQ(w.beginPage(uint16_t(pfHighRes | (records ? pfLengthWords : 0))), 0);
        for (size_t i = 0; i < lines.size(); ++i) {
            std::vector<uint8_t> r = lines[i];
            if (i % 3 == 1) r.insert(r.begin() + 1, {0x00, 0xFF, 0xF0});  // an invalid code among the runs
            ASSERT_EQ(records ? w.writeLineRecord(r.data(), int(r.size())) : w.writeData(r.data(), qint64(r.size())), 0);
        }
        ASSERT_EQ(w.endPage(), 0);
        ASSERT_EQ(w.finish(), 0);
        for (const qint64 cut : {qint64(0), qint64(5000), qint64(9999)}) {
            if (cut) {
                QFile file(f);
                ASSERT_TRUE(file.open(QIODevice::ReadWrite));
                ASSERT_TRUE(file.resize(file.size() - cut));
            }
            Decoded got[2];
            for (int walk = 0; walk < 2; ++walk) {
                FaxUnpackEngine e;
                if (walk) e.setStatusSink([](const QString&, int, qint64, qint64) {});
                got[walk].rc = e.decodePageLines(f, 1, false, [&](const uint8_t* p, int n) { got[walk].lines.emplace_back(p, p + n); });
                got[walk].rejected = e.codesRejected();
                got[walk].output = e.linesOutput();
            }
            EXPECT_EQ(got[0].rc, cut ? ecFaxBadFormat : ecOK) << records << " " << cut;
            EXPECT_GT(got[0].lines.size(), cut ? 30u : 60u);  // a third of the lines carry junk
            EXPECT_TRUE(got[0] == got[1]) << records << " " << cut;
        }
    }
    // An end-of-page code, then junk whose block is cut off: the page ended
    // before the read that fails, so it decodes without an error (the fast
    // path reads ahead, but must not report what the walk never reaches).
    const QString f = dir.filePath("eop.apf");
    std::vector<uint8_t> data = test::continuous(test::encodePage(page, 1728));
    const size_t pageBytes = data.size();
    data.resize(data.size() + 10000, 0xA5);
    ApfWriter w;
    ASSERT_EQ(w.create(f), 0);
    ASSERT_EQ(w.beginPage(pfHighRes), 0);
    ASSERT_EQ(w.writeData(data.data(), qint64(data.size())), 0);
    ASSERT_EQ(w.endPage(), 0);
    ASSERT_EQ(w.finish(), 0);
    QFile file(f);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(file.size() - qint64(data.size() - (pageBytes / 4096 + 1) * 4096) - 10));
    file.close();
    for (int walk = 0; walk < 2; ++walk) {
        FaxUnpackEngine e;
        if (walk) e.setStatusSink([](const QString&, int, qint64, qint64) {});
        int lines = 0;
        EXPECT_EQ(e.decodePageLines(f, 1, false, [&](const uint8_t*, int) { ++lines; }), ecOK) << walk;
        EXPECT_EQ(lines, 100) << walk;
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
