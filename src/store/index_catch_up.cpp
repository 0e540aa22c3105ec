// A shared table's reader catching up with another writer's index changes
// by reading only the pages that writer wrote in place (listed in the index
// file's header), and re-decoding only the leaves among them.
#include "store/byte_order.h"
#include "store/cdx_page_log.h"
#include "store/db_error.h"
#include "store/index_set.h"
#include "store/work_area_internal.h"

#include <cstring>
#include <unordered_map>

namespace orv {
using namespace detail;

bool IndexSet::catchUp(size_t f) {
    QByteArray& image = indexImage_[f];
    if (image.size() < 1024) return false;
    FileSystem& fs = table_.fs();
    const QString& path = indexPaths_[f];
    const qint64 stamp = fs.stamp(path);
    const std::unique_ptr<OpenFile> file = fs.open(path, false);
    if (!file) return false;
    char head[512];
    CdxPageLog log;
    if (!file->readAt(0, head, sizeof head) || !ReadCdxPageLog(head, log)) return false;
    const uint32_t counter = ReadBe32(head + 8);
    // The index must be as new as the table (else its writer has not
    // finished, or failed, and the whole file is read and judged).
    if (counter != table_.header().changeCounter || !CdxPageLogCovers(log, ReadCdxChangeCounter(image), counter))
        return false;
    const qint64 size = file->size();
    const qint64 oldSize = image.size();
    if (size % 512 != 0 || size < oldSize) return false;
    // From here on a failure leaves the image half new: the caller reads
    // every file again.
    image.resize(qsizetype(size));
    std::memcpy(image.data(), head, sizeof head);
    if (size > oldSize && !file->readAt(oldSize, image.data() + oldSize, size - oldSize)) return false;
    for (uint32_t page : log.pages) {
        if (qint64(page) + 512 > size) return false;
        if (page < oldSize && !file->readAt(page, image.data() + page, 512)) return false;
    }
    try {
        const std::vector<CdxTagInfo> dir = ReadCdxDirectory(image, fileName(path));
        size_t d = 0;
        for (auto& t : tags_) {
            if (t->fileIndex != int(f)) continue;
            // The same tags in the same order (a tag added or dropped
            // replaces the file, which the log does not cover).
            if (d >= dir.size()) return false;
            const CdxTagInfo& info = dir[d++];
            const CdxTagInfo& mine = t->info();
            if (info.name != mine.name || info.headerOffset != mine.headerOffset || info.keyExpr != mine.keyExpr ||
                info.forExpr != mine.forExpr || info.keyLength != mine.keyLength || info.options != mine.options ||
                info.descending != mine.descending)
                return false;
            if (!catchUpTag(*t, info, image, log.pages)) return false;
        }
        if (d != dir.size()) return false;
    } catch (const EDatabase&) {
        return false;
    }
    indexStamp_[f] = stamp;
    return true;
}

bool IndexSet::catchUpTag(IndexTag& t, const CdxTagInfo& info, const QByteArray& image, const std::set<uint32_t>& changed) {
    if (!t.pages) return false;
    std::set<uint32_t> used;
    t.pages->usedPages(used);
    bool touched = false;
    for (uint32_t page : changed) touched = touched || used.count(page);
    if (!touched) return true;  // none of the tag's pages was written
    std::unique_ptr<CdxTagPages> pages = CdxTagPages::read(image, info);
    if (!pages) return false;

    // Where each leaf's keys were: an unchanged leaf's keys are copied from
    // there, the others decoded from the page.
    struct Range {
        size_t start, count;
    };
    std::unordered_map<uint32_t, Range> before;
    {
        size_t at = 0;
        const auto& leaves = t.pages->leaves();
        const auto& counts = t.pages->leafKeyCounts();
        for (size_t i = 0; i < leaves.size(); ++i) {
            before[leaves[i]] = {at, counts[i]};
            at += counts[i];
        }
    }
    const size_t kl = size_t(t.keyLength());
    SortedKeys keys(t.keyLength());
    keys.reserve(pages->keyCount());
    const QString name = fileName(indexPaths_[size_t(t.fileIndex)]);
    const auto& leaves = pages->leaves();
    const auto& counts = pages->leafKeyCounts();
    for (size_t i = 0; i < leaves.size(); ++i) {
        const auto was = before.find(leaves[i]);
        if (changed.count(leaves[i]) || was == before.end() || was->second.count != counts[i]) {
            ReadCdxLeafKeys(image, leaves[i], info, t.fill(), keys, name);
            continue;
        }
        const Range r = was->second;
        if (r.count == 0) continue;
        if (r.start + r.count > t.size()) return false;
        // The seam with the keys before must keep the order.
        if (!keys.empty()) {
            const int c = std::memcmp(keys.last(), t.keyAt(r.start), kl);
            if (c > 0 || (c == 0 && keys.lastRecno() >= t.recnoAt(r.start))) return false;
        }
        keys.append(t.entries(), r.start, r.count);
    }
    if (!RecordNumbersWithin(keys, table_.header().recordCount)) return false;
    t.assignSorted(std::move(keys));
    t.pages = std::move(pages);
    return true;
}

}  // namespace orv
