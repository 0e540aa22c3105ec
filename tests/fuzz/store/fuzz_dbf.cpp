// Fuzzes the table reader: the .DBF is the input, memo and index files are valid.
#include "fuzz_fixture.h"

#include <QFile>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& fx = orv::fuzz::fixture();
    orv::fuzz::writeBytes(fx.dbf, data, size);
    orv::fuzz::writeBytes(fx.fpt, fx.goodFpt);
    QFile::remove(fx.cdx);
    orv::fuzz::exerciseTable();
    return 0;
}
