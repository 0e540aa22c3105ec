// Any bytes as one page's image data: the first byte picks the page flags
// (storage form, resolution, width) and the output options.
#include "images/apf_file.h"
#include "images/unpack_engine.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// Every line handed out, end to end (one buffer, not one per line: a page
// has thousands of lines, and each allocation costs under the sanitizer).
struct Decoded {
    int rc = 0;
    std::vector<uint8_t> bytes;
    std::vector<int> lengths;
    int rejected = 0, output = 0;
    bool operator==(const Decoded&) const = default;
};

void decode(orv::FaxUnpackEngine& e, const uint8_t* data, size_t size, uint16_t flags, bool invert, Decoded& d) {
    d.bytes.clear();
    d.lengths.clear();
    d.rc = e.decodeDataLines(data, size, flags, invert, [&](const uint8_t* p, int len) {
        if (len < 0 || len > 256) __builtin_trap();
        d.bytes.insert(d.bytes.end(), p, p + len);  // touches every byte handed out
        d.lengths.push_back(len);
    });
    d.rejected = e.codesRejected();
    d.output = e.linesOutput();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    const uint16_t flags = uint16_t(mode & 7);
    const bool invert = mode & 8;
    // The table-driven path, and the bit-by-bit walk (taken when progress is
    // reported) with the same output options: they must agree in every line
    // and count.
    orv::FaxUnpackEngine fast, slow;
    slow.setStatusSink([](const QString&, int, qint64, qint64) {});
    for (orv::FaxUnpackEngine* e : {&fast, &slow}) {
        e->setAutoScale(mode >> 6 & 1 ? orv::asHalfWidth : orv::asDoubleHeight);
        e->setAspectCorrection(!(mode & 0x80));
        if (mode & 0x20) e->setWhitespace(3, 1);
    }
    // The walk costs sanitizer checks per bit (over a kilobyte it was half of
    // an input's time). What either path carries from line to line (counts,
    // withheld blank lines, the run of end-of-line codes) is reached within a
    // few lines, so the two are compared on the first kCompared bytes, from a
    // dozen coded lines of text to a hundred blank ones, with an end of data
    // where the walk ends too. The image takes the whole input, decoded once:
    // the table path under it is the one compared.
    constexpr size_t kCompared = 512;
    const size_t compared = std::min(size - 1, kCompared);
    static Decoded a, b;  // kept, so their buffers are reused from input to input
    decode(fast, data + 1, compared, flags, invert, a);
    decode(slow, data + 1, compared, flags, invert, b);
    if (!(a == b)) __builtin_trap();
    const bool scaled = mode & 0x10;
    if (scaled) fast.setScaling(3, 2, 1, 3);
    QImage img;
    const int rc = fast.decodeData(data + 1, size - 1, flags, invert, img);
    if (rc == 0) {
        // An image exactly when the decode accepted lines (every accepted
        // line reaches the image, a withheld blank one at the latest at the
        // end of the page).
        if (img.isNull() != (fast.linesOutput() == 0)) __builtin_trap();
        // Where the compared lines were the whole input, an unscaled image
        // has one row per line handed out.
        if (compared == size - 1 && !scaled && a.rc == 0 &&
            (img.isNull() ? !a.lengths.empty() : img.height() != int(a.lengths.size())))
            __builtin_trap();
    }
    return 0;
}
