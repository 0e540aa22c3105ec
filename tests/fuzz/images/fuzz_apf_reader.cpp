// Any bytes as an APF file: open it, walk every page, decode each into an image.
#include "images/apf_file.h"
#include "images/unpack_engine.h"

#include "fuzz/fuzz_input_file.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The reader and decoder take a file by name.
    static const QString path = orv::fuzz::inputFilePath(QStringLiteral("fuzz_apf"), QStringLiteral("input.apf"));
    if (!orv::fuzz::writeInputFile(path, data, size)) return 0;
    orv::ApfReader r;
    if (r.open(path) != 0) return 0;
    const int pages = std::min(r.pageCount(), 8);
    orv::FaxUnpackEngine e;
    e.setWhitespace(4, 1);
    for (int p = 1; p <= pages; ++p) {
        orv::ApfPageHeader ph;
        QByteArray bytes;
        const int readRc = r.readPage(p, ph, bytes);
        // readPage hands out what the file holds of the page, never more.
        if (bytes.size() > qsizetype(ph.imageLength) || (readRc == 0 && bytes.size() != qsizetype(ph.imageLength))) __builtin_trap();
        QImage img;
        const int rc = e.decodePage(path, p, (p & 1) != 0, img);
        if (!img.isNull() && (img.width() > 2048 || img.height() > 1 << 20)) __builtin_trap();
        // A page the chain walk reached decodes from the same place in memory.
        if (readRc == 0 && rc == 0) {
            QImage fromMemory;
            orv::FaxUnpackEngine m;
            m.setWhitespace(4, 1);
            m.decodeData(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()), ph.pageFlags, (p & 1) != 0, fromMemory);
            if (fromMemory != img) __builtin_trap();
        }
    }
    return 0;
}
