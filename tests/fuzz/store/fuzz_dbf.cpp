// Fuzzes the table reader: the .DBF is the input, memo and index files are valid.
#include "fuzz_fixture.h"

#include <QFile>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& fx = orv::fuzz::fixture();
    const auto files = orv::fuzz::filesWith(fx.dbf, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    files->remove(fx.cdx);
    orv::fuzz::exerciseTable(*files);
    return 0;
}
