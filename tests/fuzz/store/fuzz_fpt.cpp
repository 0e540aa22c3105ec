// Fuzzes the memo reader: the .FPT is the input, the table and index are valid
// (the table's first records, where its memos are, and an index without the
// deep tag, which the cdx target covers). Before the table, the memo file is
// scanned memo by memo from its first block, as a repair tool would, so long
// memos are read wherever the table's pointers fall.
#include "fuzz_fixture.h"

#include "common/orv_error.h"
#include "store/memo_file.h"

#include <cstdint>

namespace {

void scan(orv::MemoryFileSystem& fs, const QString& path, qint64 fileSize) {
    try {
        orv::MemoFile memo;
        memo.open(fs, path, false);
        uint32_t block = memo.firstBlock();
        for (int memos = 0; memos < 64 && block < memo.nextFree(); ++memos) {
            try {
                const QByteArray data = memo.read(block);
                if (data.size() > fileSize) __builtin_trap();  // never more than the file holds
                block += uint32_t((8 + data.size() + memo.blockSize() - 1) / memo.blockSize());
            } catch (const orv::EOrvException&) {
                ++block;
            }
        }
    } catch (const orv::EOrvException&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& fx = orv::fuzz::fixture();
    const auto files = orv::fuzz::filesWith(fx.fpt, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    scan(*files, fx.fpt, qint64(size));
    files->put(fx.dbf, fx.shortDbf);
    files->put(fx.cdx, fx.shortCdx);
    orv::fuzz::exerciseTable(*files);
    return 0;
}
