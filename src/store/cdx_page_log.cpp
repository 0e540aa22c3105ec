#include "store/cdx_page_log.h"

#include "store/byte_order.h"

#include <cstring>

namespace orv {
namespace {
// 0x100: "OrvP", since, upTo (all little-endian), page count (16 bits),
// two zero bytes, then the page offsets: the list ends before the order
// word at 0x1F6.
constexpr int kAt = 0x100;
constexpr char kMagic[4] = {'O', 'r', 'v', 'P'};
constexpr int kEntries = kAt + 16;
static_assert(kEntries + int(CdxPageLog::kCapacity) * 4 <= 0x1F6);
}  // namespace

bool ReadCdxPageLog(const char* header, CdxPageLog& log) {
    const char* h = header + kAt;
    if (std::memcmp(h, kMagic, 4) != 0) return false;
    log.since = ReadLe32(h + 4);
    log.upTo = ReadLe32(h + 8);
    const int n = ReadLe16(h + 12);
    if (n > int(CdxPageLog::kCapacity)) return false;
    log.pages.clear();
    for (int i = 0; i < n; ++i) {
        const uint32_t page = ReadLe32(header + kEntries + 4 * i);
        if (page % 512 != 0) return false;
        log.pages.insert(page);
    }
    return true;
}

void WriteCdxPageLog(char* header, const CdxPageLog& log) {
    char* h = header + kAt;
    std::memset(h, 0, size_t(kEntries - kAt) + CdxPageLog::kCapacity * 4);
    std::memcpy(h, kMagic, 4);
    WriteLe32(h + 4, log.since);
    WriteLe32(h + 8, log.upTo);
    WriteLe16(h + 12, uint16_t(log.pages.size()));
    int i = 0;
    for (uint32_t page : log.pages) WriteLe32(header + kEntries + 4 * i++, page);
}

CdxPageLog NextCdxPageLog(const char* before, uint32_t previous, uint32_t counter, const std::set<uint32_t>& written) {
    CdxPageLog log;
    // A list the file already had covers the changes up to its upTo; one
    // that does not reach the previous count (or none) starts afresh there.
    if (!ReadCdxPageLog(before, log) || log.upTo != previous) {
        log.since = previous;
        log.pages.clear();
    }
    // The header is read again in any case.
    std::set<uint32_t> mine;
    for (uint32_t page : written)
        if (page >= 512) mine.insert(page);
    log.pages.insert(mine.begin(), mine.end());
    if (log.pages.size() > CdxPageLog::kCapacity) {
        const bool fits = mine.size() <= CdxPageLog::kCapacity;
        log.since = fits ? previous : counter;
        log.pages = fits ? std::move(mine) : std::set<uint32_t>();
    }
    log.upTo = counter;
    return log;
}

bool CdxPageLogCovers(const CdxPageLog& log, uint32_t have, uint32_t fileCounter) {
    // Change counts only grow (they wrap after four billion changes, and a
    // reader that far behind simply reads the whole file).
    return log.upTo == fileCounter && have != fileCounter && log.since <= have && have < fileCounter;
}

}  // namespace orv
