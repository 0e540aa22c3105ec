// Fuzzes the memo reader: the .FPT is the input, the table and index are valid.
#include "fuzz_fixture.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& fx = orv::fuzz::fixture();
    orv::fuzz::exerciseTable(*orv::fuzz::filesWith(fx.fpt, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size))));
    return 0;
}
