// Fuzzes the compound index reader: the .CDX is the input (after the phase
// byte, see fuzz_fixture.h), the table and its memos are valid. After a change
// or a pack the reads walk the tags only: the records in their natural order
// are the fixture's, whatever the index holds.
#include "fuzz_fixture.h"

#include "store/cdx_format.h"
#include "common/orv_error.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& fx = orv::fuzz::fixture();
    const orv::fuzz::Input in = orv::fuzz::splitInput(data, size);
    if (in.phase == orv::fuzz::Phase::Check) {
        // The reader on its own, with the fill of binary keys: the check
        // below reads every tag again with its own fill (blanks for the
        // character tags), so both decoders see each input.
        try {
            for (const orv::CdxTagInfo& tag : orv::ReadCdxDirectory(in.bytes, "fuzz.cdx")) {
                std::vector<char> keys;
                std::vector<uint32_t> recnos;
                try {
                    orv::ReadCdxKeys(in.bytes, tag, '\0', keys, recnos, "fuzz.cdx");
                } catch (const orv::EOrvException&) {
                }
            }
        } catch (const orv::EOrvException&) {
        }
    }
    orv::fuzz::exerciseTable(*orv::fuzz::tableFiles(fx.goodDbf, fx.goodFpt, in.bytes), in.phase,
                                 {.records = false, .tags = true});
    return 0;
}
