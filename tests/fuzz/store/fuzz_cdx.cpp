// Fuzzes the compound index reader: the .CDX is the input (after the phase
// byte, see fuzz_fixture.h), the table and its memos are valid. After a change
// or a pack the reads walk the tags only: the records in their natural order
// are the same for every input, and the read phase walks them.
#include "fuzz_fixture.h"

#include "store/cdx_format.h"
#include "common/orv_error.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& fx = orv::fuzz::fixture();
    const orv::fuzz::Input in = orv::fuzz::splitInput(data, size);
    if (in.phase == orv::fuzz::Phase::Check) {
        // The reader on its own, as the check and the open call it.
        try {
            for (const orv::CdxTagInfo& tag : orv::ReadCdxDirectory(in.bytes, "fuzz.cdx")) {
                for (char fill : {' ', '\0'}) {
                    std::vector<char> keys;
                    std::vector<uint32_t> recnos;
                    try {
                        orv::ReadCdxKeys(in.bytes, tag, fill, keys, recnos, "fuzz.cdx");
                    } catch (const orv::EOrvException&) {
                    }
                }
            }
        } catch (const orv::EOrvException&) {
        }
    }
    orv::fuzz::exerciseTable(*orv::fuzz::tableFiles(fx.goodDbf, fx.goodFpt, in.bytes), in.phase,
                                 {.records = in.phase == orv::fuzz::Phase::Read, .tags = true});
    return 0;
}
