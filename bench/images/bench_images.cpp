// Pages per second, ours against libtiff's CCITT G3 1-D codec, for dense text,
// mostly blank and noise pages at standard (1100 lines) and fine (2200 lines)
// resolution, 1728 pixels wide. Both sides work in memory: ours codes line
// records and decodes the page's data; libtiff writes and reads a TIFF through
// memory callbacks (whole-strip reads, its fastest path).
#include "images/mh_encoder.h"
#include "images/unpack_engine.h"
#include "images/page_helpers.h"  // tests/images: the same test pages

#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <cstring>
#include <map>

namespace {

using orv::test::Page;
using orv::test::PageKind;

constexpr int kWidth = 1728;

// ---- libtiff in memory ----
struct MemFile {
    std::vector<uint8_t> data;
    toff_t pos = 0;
};
tmsize_t memRead(thandle_t h, void* buf, tmsize_t n) {
    auto* m = static_cast<MemFile*>(h);
    const tmsize_t avail = tmsize_t(m->data.size()) - tmsize_t(m->pos);
    const tmsize_t k = std::max<tmsize_t>(0, std::min(n, avail));
    std::memcpy(buf, m->data.data() + m->pos, size_t(k));
    m->pos += toff_t(k);
    return k;
}
tmsize_t memWrite(thandle_t h, void* buf, tmsize_t n) {
    auto* m = static_cast<MemFile*>(h);
    if (m->pos + toff_t(n) > m->data.size()) m->data.resize(size_t(m->pos + toff_t(n)));
    std::memcpy(m->data.data() + m->pos, buf, size_t(n));
    m->pos += toff_t(n);
    return n;
}
toff_t memSeek(thandle_t h, toff_t off, int whence) {
    auto* m = static_cast<MemFile*>(h);
    m->pos = whence == SEEK_SET ? off : whence == SEEK_CUR ? m->pos + off : m->data.size() + off;
    return m->pos;
}
int memClose(thandle_t) { return 0; }
toff_t memSize(thandle_t h) { return static_cast<MemFile*>(h)->data.size(); }
int memMap(thandle_t, void**, toff_t*) { return 0; }
void memUnmap(thandle_t, void*, toff_t) {}

TIFF* memOpen(MemFile& m, const char* mode) {
    m.pos = 0;
    return TIFFClientOpen("mem", mode, &m, memRead, memWrite, memSeek, memClose, memSize, memMap, memUnmap);
}

void tiffEncode(const Page& page, bool fine, MemFile& out) {
    out.data.clear();
    TIFF* t = memOpen(out, "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(kWidth));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(page.size()));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_LSB2MSB);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3);
    TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, 0);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(page.size()));
    TIFFSetField(t, TIFFTAG_YRESOLUTION, fine ? 196.0f : 98.0f);
    for (size_t y = 0; y < page.size(); ++y)
        TIFFWriteScanline(t, const_cast<uint8_t*>(page[y].data()), uint32_t(y), 0);
    TIFFClose(t);
}

struct Sample {
    Page page;
    std::vector<uint8_t> ours;  // continuous data of the page as our encoder codes it
    MemFile tiff;
};

const Sample& sample(PageKind kind, bool fine) {
    static std::map<std::pair<int, bool>, Sample> cache;
    auto& s = cache[{int(kind), fine}];
    if (s.page.empty()) {
        s.page = orv::test::makePage(kind, kWidth, fine ? 2200 : 1100, 5);
        s.ours = orv::test::continuous(orv::test::encodePage(s.page, kWidth));
        tiffEncode(s.page, fine, s.tiff);
    }
    return s;
}

PageKind kindOf(int64_t k) { return k == 0 ? PageKind::Text : k == 1 ? PageKind::Blank : PageKind::Noise; }
const char* nameOf(int64_t k) { return k == 0 ? "text" : k == 1 ? "blank" : "noise"; }

void label(benchmark::State& st) {
    st.SetLabel(std::string(nameOf(st.range(0))) + (st.range(1) ? "/fine" : "/standard"));
    st.SetItemsProcessed(st.iterations());  // items = pages
}

void BM_EncodeOurs(benchmark::State& st) {
    const Sample& s = sample(kindOf(st.range(0)), st.range(1));
    orv::MhEncoder enc;
    std::vector<uint8_t> raster(4096 + 8, 0), out(orv::MhEncoder::kBufferSize);
    std::vector<uint8_t> page;
    page.reserve(1 << 20);
    for (auto _ : st) {
        page.clear();
        for (const auto& line : s.page) {
            std::memcpy(raster.data(), line.data(), line.size());
            const int n = enc.encodeLine(raster.data(), kWidth, 0, false, out.data());
            page.push_back(uint8_t(n));
            page.push_back(uint8_t(n >> 8));
            page.insert(page.end(), out.begin(), out.begin() + n);
        }
        benchmark::DoNotOptimize(page.data());
    }
    label(st);
}

void BM_EncodeLibtiff(benchmark::State& st) {
    const Sample& s = sample(kindOf(st.range(0)), st.range(1));
    MemFile out;
    out.data.reserve(1 << 20);
    for (auto _ : st) {
        tiffEncode(s.page, st.range(1), out);
        benchmark::DoNotOptimize(out.data.data());
    }
    label(st);
}

void BM_DecodeOurs(benchmark::State& st) {
    const Sample& s = sample(kindOf(st.range(0)), st.range(1));
    orv::FaxUnpackEngine e;
    e.setAspectCorrection(false);
    std::vector<uint8_t> bitmap(s.page.size() * (kWidth / 8));
    for (auto _ : st) {
        size_t row = 0;
        e.decodeDataLines(s.ours.data(), s.ours.size(), orv::pfHighRes, false, [&](const uint8_t* d, int len) {
            if (row < s.page.size()) std::memcpy(&bitmap[row++ * (kWidth / 8)], d, size_t(len));
        });
        benchmark::DoNotOptimize(bitmap.data());
    }
    label(st);
}

void BM_DecodeLibtiff(benchmark::State& st) {
    Sample& s = const_cast<Sample&>(sample(kindOf(st.range(0)), st.range(1)));
    std::vector<uint8_t> bitmap(s.page.size() * (kWidth / 8));
    for (auto _ : st) {
        TIFF* t = memOpen(s.tiff, "r");
        TIFFReadEncodedStrip(t, 0, bitmap.data(), tmsize_t(bitmap.size()));
        TIFFClose(t);
        benchmark::DoNotOptimize(bitmap.data());
    }
    label(st);
}

void args(benchmark::internal::Benchmark* b) {
    for (int kind = 0; kind < 3; ++kind)
        for (int fine = 0; fine < 2; ++fine) b->Args({kind, fine});
}

BENCHMARK(BM_EncodeOurs)->Apply(args);
BENCHMARK(BM_EncodeLibtiff)->Apply(args);
BENCHMARK(BM_DecodeOurs)->Apply(args);
BENCHMARK(BM_DecodeLibtiff)->Apply(args);

}  // namespace

BENCHMARK_MAIN();
