// Fuzzes the compound index reader: the .CDX is the input, the table is valid.
#include "fuzz_fixture.h"

#include "store/cdx_format.h"
#include "common/orv_error.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& fx = orv::fuzz::fixture();
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        for (const orv::CdxTagInfo& tag : orv::ReadCdxDirectory(bytes, "fuzz.cdx")) {
            for (char fill : {' ', '\0'}) {
                std::vector<char> keys;
                std::vector<uint32_t> recnos;
                try {
                    orv::ReadCdxKeys(bytes, tag, fill, keys, recnos, "fuzz.cdx");
                } catch (const orv::EOrvException&) {
                }
            }
        }
    } catch (const orv::EOrvException&) {
    }
    orv::fuzz::exerciseTable(*orv::fuzz::filesWith(fx.cdx, bytes));
    return 0;
}
