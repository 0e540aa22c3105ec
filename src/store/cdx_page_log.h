#pragma once
// Which pages of an index file were rewritten in place since a given change
// count, so that another program with the table open in shared mode can
// re-read just those pages instead of the whole file.
//
// The list lives in bytes of the file header that the format leaves
// reserved (FoxPro keeps statistics only in the first twenty of them) and
// other readers ignore. It names every page written in place by the changes
// counted after `since`, up to the change count `upTo` that the header's own
// counter must match: a file changed by a program that does not keep the
// list (or written whole, which leaves the bytes zero) fails that test, and
// the reader falls back to reading the whole file.
#include <QByteArray>

#include <cstdint>
#include <set>

namespace orv {

struct CdxPageLog {
    uint32_t since = 0;
    uint32_t upTo = 0;
    std::set<uint32_t> pages;

    // The most pages the header has room for.
    static constexpr size_t kCapacity = 56;
};

// The list in a file header (the first 512 bytes of the file); false when
// there is none or it is not sound.
bool ReadCdxPageLog(const char* header, CdxPageLog& log);
void WriteCdxPageLog(char* header, const CdxPageLog& log);

// The list after a change counted `counter` that wrote `written` in place
// on a file whose header held `before` (and the change count `previous`):
// the union when it fits, else only this change's pages since `previous`,
// else an empty list since `counter` (readers behind it read the whole file).
CdxPageLog NextCdxPageLog(const char* before, uint32_t previous, uint32_t counter, const std::set<uint32_t>& written);

// Whether a reader whose copy of the file is at change count `have` can
// catch up with the log's pages alone.
bool CdxPageLogCovers(const CdxPageLog& log, uint32_t have, uint32_t fileCounter);

}  // namespace orv
