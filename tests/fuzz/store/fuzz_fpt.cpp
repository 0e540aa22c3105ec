// Fuzzes the memo reader: the .FPT is the input, the table and index are valid.
#include "fuzz_fixture.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& fx = orv::fuzz::fixture();
    orv::fuzz::writeBytes(fx.dbf, fx.goodDbf);
    orv::fuzz::writeBytes(fx.fpt, data, size);
    orv::fuzz::writeBytes(fx.cdx, fx.goodCdx);
    orv::fuzz::exerciseTable();
    return 0;
}
