#include "store/cdx_tag_pages.h"

#include "store/byte_order.h"
#include "store/cdx_format.h"

#include <cstring>
#include <functional>

namespace orv {
namespace {
constexpr int kPage = 512;
constexpr uint32_t kNone = 0xFFFFFFFFu;
// Leaves left with less than this many bytes of entries and keys between
// them are merged; well below a full page, so that the halves of a split
// are not merged back at the next removal.
constexpr int kMergeBelow = 488 * 3 / 4;

bool pageInside(const QByteArray& image, uint32_t page) {
    return page % kPage == 0 && page >= 1024 && qint64(page) + kPage <= image.size();
}
}  // namespace

std::unique_ptr<CdxTagPages> CdxTagPages::read(const QByteArray& image, const CdxTagInfo& tag) {
    if (tag.keyLength < 1 || tag.keyLength > 240) return nullptr;
    std::unique_ptr<CdxTagPages> pages(new CdxTagPages(tag));
    const int kl = tag.keyLength;
    std::vector<bool> seen(size_t(image.size() / kPage) + 1, false);
    std::vector<std::vector<uint32_t>> levels;
    // One parent entry per page below the root, at most one per page of the file.
    pages->parent_.reserve(size_t(image.size() / kPage));
    // Depth first from the root: the leaves come in key order.
    std::function<bool(uint32_t, size_t)> visit = [&](uint32_t page, size_t depth) -> bool {
        if (depth > 16 || !pageInside(image, page) || seen[page / kPage]) return false;
        seen[page / kPage] = true;
        if (levels.size() <= depth) levels.resize(depth + 1);
        levels[depth].push_back(page);
        const char* p = image.constData() + page;
        const int attr = ReadLe16(p), n = ReadLe16(p + 2);
        if (attr & 0x02) {
            const int recBits = uint8_t(p[20]), dupBits = uint8_t(p[21]), trailBits = uint8_t(p[22]);
            const int entrySize = uint8_t(p[23]);
            if (trailBits != dupBits || dupBits > 8 || (1 << dupBits) <= kl || recBits < 1 || recBits > 32 ||
                entrySize < 1 || entrySize > 8 || recBits + 2 * dupBits > entrySize * 8 || n * entrySize > 488)
                return false;
            pages->leaves_.push_back(page);
            pages->counts_.push_back(uint32_t(n));
            return true;
        }
        if (n < 1 || n > pages->capacity()) return false;
        for (int s = 0; s < n; ++s) {
            const uint32_t child = ReadBe32(p + 12 + s * (kl + 8) + kl + 4);
            pages->parent_[child] = {page, s};
            if (!visit(child, depth + 1)) return false;
        }
        return true;
    };
    if (!visit(tag.root, 0) || pages->leaves_.empty()) return nullptr;
    // Every leaf on the lowest level, and the sibling links of every level
    // (which the other readers follow) as the tree says.
    if (levels.back().size() != pages->leaves_.size()) return nullptr;
    for (const std::vector<uint32_t>& level : levels)
        for (size_t i = 0; i < level.size(); ++i) {
            const char* p = image.constData() + level[i];
            if (ReadLe32(p + 4) != (i > 0 ? level[i - 1] : kNone)) return nullptr;
            if (ReadLe32(p + 8) != (i + 1 < level.size() ? level[i + 1] : kNone)) return nullptr;
        }
    for (uint32_t c : pages->counts_)
        if (c == 0 && pages->leaves_.size() > 1) return nullptr;
    return pages;
}

size_t CdxTagPages::keyCount() const {
    size_t n = 0;
    for (uint32_t c : counts_) n += c;
    return n;
}

void CdxTagPages::usedPages(std::set<uint32_t>& out) const {
    out.insert(header_);
    out.insert(header_ + kPage);
    out.insert(root_);
    for (const auto& [page, up] : parent_) out.insert(page);
}

void CdxTagPages::checkFreeList(QByteArray& image, const std::set<uint32_t>& used) {
    if (image.size() < 1024) return;
    std::set<uint32_t> chain;
    for (uint32_t page = ReadLe32(image.constData() + 4); page != 0 && page != kNone;
         page = ReadLe32(image.constData() + page)) {
        if (!pageInside(image, page) || used.count(page) || !chain.insert(page).second) {
            WriteLe32(image.data() + 4, 0);
            return;
        }
    }
}

uint32_t CdxTagPages::allocPage(QByteArray& image, std::set<uint32_t>& dirty) {
    const uint32_t head = ReadLe32(image.constData() + 4);
    if (head != 0 && head != kNone) {
        dirty.insert(0);
        if (pageInside(image, head)) {
            uint32_t next = ReadLe32(image.constData() + head);
            if (next != 0 && next != kNone && !pageInside(image, next)) next = 0;
            WriteLe32(image.data() + 4, next == kNone ? 0 : next);
            std::memset(image.data() + head, 0, kPage);
            dirty.insert(head);
            return head;
        }
        WriteLe32(image.data() + 4, 0);
    }
    const uint32_t at = uint32_t(image.size());
    image.append(QByteArray(kPage, '\0'));
    dirty.insert(at);
    return at;
}

void CdxTagPages::freePage(QByteArray& image, uint32_t page, std::set<uint32_t>& dirty) {
    const uint32_t head = ReadLe32(image.constData() + 4);
    std::memset(image.data() + page, 0, kPage);
    WriteLe32(image.data() + page, head == kNone ? 0 : head);
    WriteLe32(image.data() + 4, page);
    dirty.insert(page);
    dirty.insert(0);
}

size_t CdxTagPages::leafOf(size_t pos, size_t& start) const {
    start = 0;
    for (size_t i = 0; i + 1 < leaves_.size(); ++i) {
        if (pos < start + counts_[i]) return i;
        start += counts_[i];
    }
    return leaves_.size() - 1;
}

bool CdxTagPages::inserted(QByteArray& image, const TagKeys& k, size_t pos, std::set<uint32_t>& dirty) {
    // A key between two leaves joins the left one, so keys added at the end
    // of the order land in the last leaf.
    size_t start = 0;
    const size_t leaf = leafOf(pos == 0 ? 0 : pos - 1, start);
    ++counts_[leaf];
    return repack(image, k, leaf, start, dirty);
}

bool CdxTagPages::removed(QByteArray& image, const TagKeys& k, size_t pos, std::set<uint32_t>& dirty) {
    size_t start = 0;
    const size_t leaf = leafOf(pos, start);
    if (counts_[leaf] == 0) return false;
    --counts_[leaf];
    if (counts_[leaf] == 0 && leaves_.size() > 1) {
        dropLeaf(image, leaf, dirty);
        return true;
    }
    if (!repack(image, k, leaf, start, dirty)) return false;
    return mergeIfSmall(image, k, leaf, start, dirty);
}

void CdxTagPages::gather(const TagKeys& k, size_t start, size_t count) {
    runKeys_.resize(count * size_t(kl_));
    runRecnos_.resize(count);
    k.entries.copy(start, count, runKeys_.data(), runRecnos_.data());
}

bool CdxTagPages::repack(QByteArray& image, const TagKeys& k, size_t leaf, size_t start, std::set<uint32_t>& dirty) {
    const uint32_t page = leaves_[leaf];
    const size_t count = counts_[leaf];
    const int kl = kl_;
    if (start + count > k.entries.size() || k.entries.keyLength() != kl_) return false;
    gather(k, start, count);
    char* p = image.data() + page;
    CdxLeafLayout lay;
    lay.recBits = uint8_t(p[20]);
    lay.dupBits = uint8_t(p[21]);
    lay.entrySize = uint8_t(p[23]);
    const uint64_t recMax = lay.recBits >= 32 ? 0xFFFFFFFFull : (1ull << lay.recBits) - 1;
    for (uint32_t r : runRecnos_)
        if (r > recMax) return false;
    char buf[kPage];
    std::memcpy(buf, p, kPage);
    const char* keys = runKeys_.data();
    if (EncodeCdxLeaf(buf, keys, runRecnos_.data(), count, kl, k.fill, lay) != count)
        return splitLeaf(image, k, leaf, start, lay, dirty);
    std::memcpy(p, buf, kPage);
    dirty.insert(page);
    if (count > 0) setLastKey(image, page, keys + (count - 1) * size_t(kl), runRecnos_[count - 1], dirty);
    return true;
}

bool CdxTagPages::splitLeaf(QByteArray& image, const TagKeys& k, size_t leaf, size_t start, const CdxLeafLayout& lay,
                            std::set<uint32_t>& dirty) {
    // The leaf keeps the first half of its keys, a new page takes the rest
    // and the place after it in the parent (or a new root above both).
    const uint32_t page = leaves_[leaf];
    const size_t count = counts_[leaf];
    if (count < 2) return false;
    const int kl = kl_;
    const size_t leftCount = count / 2, rightCount = count - leftCount;
    // repack() has just gathered the leaf's keys.
    const char* keys = runKeys_.data();
    const uint32_t* recnos = runRecnos_.data();
    char lbuf[kPage], rbuf[kPage];
    std::memcpy(lbuf, image.constData() + page, kPage);
    std::memset(rbuf, 0, kPage);
    if (EncodeCdxLeaf(lbuf, keys, recnos, leftCount, kl, k.fill, lay) != leftCount) return false;
    if (EncodeCdxLeaf(rbuf, keys + leftCount * size_t(kl), recnos + leftCount, rightCount, kl, k.fill, lay) != rightCount)
        return false;
    const uint32_t fresh = allocPage(image, dirty);
    const uint32_t right = leaf + 1 < leaves_.size() ? leaves_[leaf + 1] : kNone;
    WriteLe16(lbuf, 2);  // no longer the root, if it was
    WriteLe32(lbuf + 8, fresh);
    WriteLe16(rbuf, 2);
    WriteLe32(rbuf + 4, page);
    WriteLe32(rbuf + 8, right);
    std::memcpy(image.data() + page, lbuf, kPage);
    std::memcpy(image.data() + fresh, rbuf, kPage);
    if (right != kNone) {
        WriteLe32(image.data() + right + 4, fresh);
        dirty.insert(right);
    }
    leaves_.insert(leaves_.begin() + std::ptrdiff_t(leaf + 1), fresh);
    counts_[leaf] = uint32_t(leftCount);
    counts_.insert(counts_.begin() + std::ptrdiff_t(leaf + 1), uint32_t(rightCount));
    dirty.insert(page);
    dirty.insert(fresh);

    const char* leftKey = keys + (leftCount - 1) * size_t(kl);
    const char* rightKey = keys + (count - 1) * size_t(kl);
    const auto up = parent_.find(page);
    if (up == parent_.end()) {
        newRoot(image, page, leftKey, recnos[leftCount - 1], fresh, rightKey, recnos[count - 1], dirty);
    } else {
        const Parent par = up->second;
        char* entry = image.data() + par.page + 12 + par.slot * esize();
        std::memcpy(entry, leftKey, size_t(kl));
        WriteBe32(entry + kl, recnos[leftCount - 1]);
        dirty.insert(par.page);
        insertEntry(image, par.page, par.slot + 1, rightKey, recnos[count - 1], fresh, dirty);
    }
    return true;
}

bool CdxTagPages::mergeIfSmall(QByteArray& image, const TagKeys& k, size_t leaf, size_t start, std::set<uint32_t>& dirty) {
    if (leaves_.size() < 2) return true;
    if (leaf + 1 == leaves_.size()) {  // the last leaf joins its left neighbour
        --leaf;
        start -= counts_[leaf];
    }
    const uint32_t a = leaves_[leaf], b = leaves_[leaf + 1];
    const char* pa = image.constData() + a;
    const char* pb = image.constData() + b;
    if ((488 - ReadLe16(pa + 12)) + (488 - ReadLe16(pb + 12)) > kMergeBelow) return true;
    if (std::memcmp(pa + 20, pb + 20, 4) != 0) return true;  // leaves of other layouts stay apart
    const size_t total = size_t(counts_[leaf]) + counts_[leaf + 1];
    if (start + total > k.entries.size()) return false;
    CdxLeafLayout lay;
    lay.recBits = uint8_t(pa[20]);
    lay.dupBits = uint8_t(pa[21]);
    lay.entrySize = uint8_t(pa[23]);
    char buf[kPage];
    std::memcpy(buf, pa, kPage);
    gather(k, start, total);
    if (EncodeCdxLeaf(buf, runKeys_.data(), runRecnos_.data(), total, kl_, k.fill, lay) != total) return true;
    std::memcpy(image.data() + a, buf, kPage);
    dirty.insert(a);
    counts_[leaf] = uint32_t(total);
    dropLeaf(image, leaf + 1, dirty);
    setLastKey(image, a, runKeys_.data() + (total - 1) * size_t(kl_), runRecnos_[total - 1], dirty);
    return true;
}

void CdxTagPages::dropLeaf(QByteArray& image, size_t leaf, std::set<uint32_t>& dirty) {
    const uint32_t page = leaves_[leaf];
    const uint32_t left = leaf > 0 ? leaves_[leaf - 1] : kNone;
    const uint32_t right = leaf + 1 < leaves_.size() ? leaves_[leaf + 1] : kNone;
    if (left != kNone) {
        WriteLe32(image.data() + left + 8, right);
        dirty.insert(left);
    }
    if (right != kNone) {
        WriteLe32(image.data() + right + 4, left);
        dirty.insert(right);
    }
    leaves_.erase(leaves_.begin() + std::ptrdiff_t(leaf));
    counts_.erase(counts_.begin() + std::ptrdiff_t(leaf));
    const Parent par = parent_.at(page);
    parent_.erase(page);
    removeEntry(image, par.page, par.slot, dirty);
    freePage(image, page, dirty);
    collapseRoot(image, dirty);
}

void CdxTagPages::reparent(const char* interior, uint32_t page, int from) {
    const int n = ReadLe16(interior + 2);
    for (int s = from; s < n; ++s) parent_[ReadBe32(interior + 12 + s * esize() + kl_ + 4)] = {page, s};
}

void CdxTagPages::insertEntry(QByteArray& image, uint32_t page, int slot, const char* key, uint32_t rec, uint32_t child,
                              std::set<uint32_t>& dirty) {
    const int es = esize();
    const int n = ReadLe16(image.constData() + page + 2);
    std::vector<char> entries(size_t(n + 1) * size_t(es));
    const char* old = image.constData() + page + 12;
    std::memcpy(entries.data(), old, size_t(slot) * size_t(es));
    char* e = entries.data() + size_t(slot) * size_t(es);
    std::memcpy(e, key, size_t(kl_));
    WriteBe32(e + kl_, rec);
    WriteBe32(e + kl_ + 4, child);
    std::memcpy(e + es, old + slot * es, size_t(n - slot) * size_t(es));
    dirty.insert(page);
    if (n + 1 <= capacity()) {
        char* p = image.data() + page;
        std::memcpy(p + 12, entries.data(), entries.size());
        WriteLe16(p + 2, uint16_t(n + 1));
        reparent(p, page, slot);
        if (slot == n) setLastKey(image, page, key, rec, dirty);
        return;
    }
    // Full: the page keeps the first half, a new page on the same level
    // takes the rest and the place after it one level up.
    const int leftN = (n + 1) / 2, rightN = n + 1 - leftN;
    const uint32_t fresh = allocPage(image, dirty);
    char* p = image.data() + page;
    char* q = image.data() + fresh;
    const uint32_t right = ReadLe32(p + 8);
    WriteLe16(p, 0);
    WriteLe16(p + 2, uint16_t(leftN));
    WriteLe32(p + 8, fresh);
    std::memset(p + 12, 0, kPage - 12);
    std::memcpy(p + 12, entries.data(), size_t(leftN) * size_t(es));
    WriteLe16(q, 0);
    WriteLe16(q + 2, uint16_t(rightN));
    WriteLe32(q + 4, page);
    WriteLe32(q + 8, right);
    std::memcpy(q + 12, entries.data() + size_t(leftN) * size_t(es), size_t(rightN) * size_t(es));
    if (right != kNone && parent_.count(right)) {
        WriteLe32(image.data() + right + 4, fresh);
        dirty.insert(right);
    }
    reparent(p, page, 0);
    reparent(q, fresh, 0);
    dirty.insert(fresh);
    const char* leftKey = entries.data() + size_t(leftN - 1) * size_t(es);
    const char* rightKey = entries.data() + size_t(n) * size_t(es);
    const auto up = parent_.find(page);
    if (up == parent_.end()) {
        newRoot(image, page, leftKey, ReadBe32(leftKey + kl_), fresh, rightKey, ReadBe32(rightKey + kl_), dirty);
    } else {
        const Parent par = up->second;
        char* entry = image.data() + par.page + 12 + par.slot * es;
        std::memcpy(entry, leftKey, size_t(kl_ + 4));
        dirty.insert(par.page);
        insertEntry(image, par.page, par.slot + 1, rightKey, ReadBe32(rightKey + kl_), fresh, dirty);
    }
}

void CdxTagPages::removeEntry(QByteArray& image, uint32_t page, int slot, std::set<uint32_t>& dirty) {
    const int es = esize();
    char* p = image.data() + page;
    const int n = ReadLe16(p + 2);
    if (n <= 1 && page != root_) {
        // Left without entries: the page leaves its level and its parent.
        const uint32_t left = ReadLe32(p + 4), right = ReadLe32(p + 8);
        if (left != kNone && parent_.count(left)) {
            WriteLe32(image.data() + left + 8, right);
            dirty.insert(left);
        }
        if (right != kNone && parent_.count(right)) {
            WriteLe32(image.data() + right + 4, left);
            dirty.insert(right);
        }
        const Parent par = parent_.at(page);
        parent_.erase(page);
        removeEntry(image, par.page, par.slot, dirty);
        freePage(image, page, dirty);
        return;
    }
    std::memmove(p + 12 + slot * es, p + 12 + (slot + 1) * es, size_t(n - slot - 1) * size_t(es));
    std::memset(p + 12 + (n - 1) * es, 0, size_t(es));
    WriteLe16(p + 2, uint16_t(n - 1));
    dirty.insert(page);
    reparent(p, page, slot);
    if (slot == n - 1 && n > 1) {
        char last[248];
        std::memcpy(last, p + 12 + (n - 2) * es, size_t(kl_ + 4));
        setLastKey(image, page, last, ReadBe32(last + kl_), dirty);
    }
}

void CdxTagPages::newRoot(QByteArray& image, uint32_t left, const char* leftKey, uint32_t leftRec, uint32_t right,
                          const char* rightKey, uint32_t rightRec, std::set<uint32_t>& dirty) {
    const uint32_t root = allocPage(image, dirty);
    char* r = image.data() + root;
    WriteLe16(r, 1);
    WriteLe16(r + 2, 2);
    WriteLe32(r + 4, kNone);
    WriteLe32(r + 8, kNone);
    char* e = r + 12;
    std::memcpy(e, leftKey, size_t(kl_));
    WriteBe32(e + kl_, leftRec);
    WriteBe32(e + kl_ + 4, left);
    e += esize();
    std::memcpy(e, rightKey, size_t(kl_));
    WriteBe32(e + kl_, rightRec);
    WriteBe32(e + kl_ + 4, right);
    parent_[left] = {root, 0};
    parent_[right] = {root, 1};
    root_ = root;
    WriteLe32(image.data() + header_, root);
    dirty.insert(header_);
}

void CdxTagPages::collapseRoot(QByteArray& image, std::set<uint32_t>& dirty) {
    // A root with one child hands the root over to it.
    for (;;) {
        const char* r = image.constData() + root_;
        if ((ReadLe16(r) & 0x02) || ReadLe16(r + 2) != 1) return;
        const uint32_t child = ReadBe32(r + 12 + kl_ + 4);
        char* c = image.data() + child;
        WriteLe16(c, uint16_t(ReadLe16(c) | 0x01));
        WriteLe32(c + 4, kNone);
        WriteLe32(c + 8, kNone);
        dirty.insert(child);
        parent_.erase(child);
        freePage(image, root_, dirty);
        root_ = child;
        WriteLe32(image.data() + header_, root_);
        dirty.insert(header_);
    }
}

void CdxTagPages::setLastKey(QByteArray& image, uint32_t page, const char* key, uint32_t rec, std::set<uint32_t>& dirty) {
    // The parent entries name the last key of their child, up to where the
    // child is not its parent's last.
    uint32_t child = page;
    for (auto it = parent_.find(child); it != parent_.end(); it = parent_.find(child)) {
        char* parent = image.data() + it->second.page;
        char* entry = parent + 12 + it->second.slot * esize();
        if (std::memcmp(entry, key, size_t(kl_)) == 0 && ReadBe32(entry + kl_) == rec) break;
        std::memcpy(entry, key, size_t(kl_));
        WriteBe32(entry + kl_, rec);
        dirty.insert(it->second.page);
        if (it->second.slot != ReadLe16(parent + 2) - 1) break;
        child = it->second.page;
    }
}

}  // namespace orv
