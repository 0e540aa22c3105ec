// Any bytes as an APF file: open it, walk every page, decode each into an image.
#include "images/apf_file.h"
#include "images/unpack_engine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QString path = [] {
        QTemporaryFile f(QDir::tempPath() + "/fuzz_apf_XXXXXX.apf");
        f.setAutoRemove(false);
        f.open();
        return f.fileName();
    }();
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    orv::ApfReader r;
    if (r.open(path) != 0) return 0;
    const int pages = std::min(r.pageCount(), 8);
    orv::FaxUnpackEngine e;
    e.setWhitespace(4, 1);
    for (int p = 1; p <= pages; ++p) {
        orv::ApfPageHeader ph;
        QByteArray bytes;
        r.readPage(p, ph, bytes);
        QImage img;
        e.decodePage(path, p, (p & 1) != 0, img);
        if (!img.isNull() && (img.width() > 2048 || img.height() > 1 << 20)) __builtin_trap();
    }
    return 0;
}
