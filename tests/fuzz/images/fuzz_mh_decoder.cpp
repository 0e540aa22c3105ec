// Any bytes as one page's image data: the first byte picks the page flags
// (storage form, resolution, width) and the output options.
#include "images/apf_file.h"
#include "images/unpack_engine.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    orv::FaxUnpackEngine e;
    e.setAutoScale(orv::TAutoScaleMode(mode >> 6 & 1 ? orv::asHalfWidth : orv::asDoubleHeight));
    if (mode & 0x20) e.setWhitespace(3, 1);
    if (mode & 0x10) e.setScaling(3, 2, 1, 3);
    const uint16_t flags = uint16_t(mode & 7);
    int lines = 0;
    e.decodeDataLines(data + 1, size - 1, flags, mode & 8, [&](const uint8_t* d, int len) {
        if (len < 0 || len > 256) __builtin_trap();
        for (int i = 0; i < len; ++i) lines += d[i] & 1;  // touch every byte handed out
    });
    // The bit-by-bit walk (taken when progress is reported) must agree with
    // the table-driven path.
    orv::FaxUnpackEngine slow;
    slow.setAutoScale(orv::TAutoScaleMode(mode >> 6 & 1 ? orv::asHalfWidth : orv::asDoubleHeight));
    if (mode & 0x20) slow.setWhitespace(3, 1);
    slow.setStatusSink([](const QString&, int, qint64, qint64) {});
    std::vector<std::vector<uint8_t>> a, b;
    e.decodeDataLines(data + 1, size - 1, flags, false, [&](const uint8_t* d, int len) { a.emplace_back(d, d + len); });
    slow.decodeDataLines(data + 1, size - 1, flags, false, [&](const uint8_t* d, int len) { b.emplace_back(d, d + len); });
    if (a != b || e.codesRejected() != slow.codesRejected()) __builtin_trap();
    QImage img;
    e.decodeData(data + 1, size - 1, flags, mode & 8, img);
    return 0;
}
