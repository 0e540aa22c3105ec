// Fuzzes the memo reader: the .FPT is the input (after the phase byte, see
// fuzz_fixture.h), the table and index are valid (the table's first records,
// where its memos are, and an index without the deep tag, which the cdx
// target covers).
// In the check phase the memo file is also scanned memo by memo from its first
// block, as a repair tool would, so long memos are read wherever the table's
// pointers fall.
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
        // A damaged block is stepped over one block at a time (asked about
        // first, as a repair tool would, instead of read and caught); after a
        // few in a row the rest of the file is taken to be damaged too.
        int damaged = 0;
        for (int memos = 0; memos < 64 && damaged < 4 && block < memo.nextFree(); ++memos) {
            if (!memo.canRead(block)) {
                ++block;
                ++damaged;
                continue;
            }
            QByteArray data;
            try {
                data = memo.read(block);
            } catch (const orv::EOrvException&) {
                __builtin_trap();  // said to be readable, so it must read
            }
            if (data.size() > fileSize) __builtin_trap();  // never more than the file holds
            block += uint32_t((8 + data.size() + memo.blockSize() - 1) / memo.blockSize());
            damaged = 0;
        }
    } catch (const orv::EOrvException&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& fx = orv::fuzz::fixture();
    const orv::fuzz::Input in = orv::fuzz::splitInput(data, size);
    const auto files = orv::fuzz::tableFiles(fx.shortDbf, in.bytes, fx.shortCdx);
    if (in.phase == orv::fuzz::Phase::Check) scan(*files, fx.fpt, qint64(in.bytes.size()));
    orv::fuzz::exerciseTable(*files, in.phase);
    return 0;
}
