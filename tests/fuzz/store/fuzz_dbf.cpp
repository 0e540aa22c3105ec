// Fuzzes the table reader: the .DBF is the input (after the phase byte, see
// fuzz_fixture.h), the memo file is valid and there is no index.
#include "fuzz_fixture.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& fx = orv::fuzz::fixture();
    const orv::fuzz::Input in = orv::fuzz::splitInput(data, size);
    const auto files = orv::fuzz::tableFiles(in.bytes, fx.goodFpt, QByteArray());
    orv::fuzz::exerciseTable(*files, in.phase);
    return 0;
}
