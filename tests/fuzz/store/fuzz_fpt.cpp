// Fuzzes the memo reader: the .FPT is the input, the table and index are valid
// (the index without its deep tag, which the cdx target covers).
#include "fuzz_fixture.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& fx = orv::fuzz::fixture();
    const auto files = orv::fuzz::filesWith(fx.fpt, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    files->put(fx.dbf, fx.shortDbf);
    files->put(fx.cdx, fx.shortCdx);
    orv::fuzz::exerciseTable(*files);
    return 0;
}
