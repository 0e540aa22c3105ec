#include "store/cdx_tag_pages.h"

#include "store/byte_order.h"
#include "store/cdx_format.h"

#include <cstring>
#include <functional>

namespace orv {
namespace {
constexpr int kPage = 512;
}

std::unique_ptr<CdxTagPages> CdxTagPages::read(const QByteArray& image, uint32_t root, const TagKeys& k) {
    auto pages = std::unique_ptr<CdxTagPages>(new CdxTagPages);
    const qint64 size = image.size();
    const int kl = k.keyLength;
    std::set<uint32_t> seen;
    // Depth first from the root: the leaves come in key order.
    std::function<bool(uint32_t, int)> visit = [&](uint32_t page, int depth) -> bool {
        if (depth > 16 || page % kPage != 0 || qint64(page) + kPage > size || page < 1024 || !seen.insert(page).second)
            return false;
        const char* p = image.constData() + page;
        const int attr = ReadLe16(p), n = ReadLe16(p + 2);
        if (attr & 0x02) {
            const int recBits = uint8_t(p[20]), dupBits = uint8_t(p[21]), trailBits = uint8_t(p[22]);
            const int entrySize = uint8_t(p[23]);
            if (trailBits != dupBits || dupBits > 8 || (1 << dupBits) <= kl || recBits < 1 || recBits > 32 ||
                entrySize < 1 || entrySize > 8 || recBits + 2 * dupBits > entrySize * 8)
                return false;
            pages->leaves_.push_back(page);
            pages->counts_.push_back(uint32_t(n));
            return true;
        }
        if (n < 1 || n > 500 / (kl + 8)) return false;
        for (int s = 0; s < n; ++s) {
            const uint32_t child = ReadBe32(p + 12 + s * (kl + 8) + kl + 4);
            pages->parent_[child] = {page, s};
            if (!visit(child, depth + 1)) return false;
        }
        return true;
    };
    if (!visit(root, 0) || pages->leaves_.empty()) return nullptr;
    size_t total = 0;
    for (size_t i = 0; i < pages->leaves_.size(); ++i) {
        total += pages->counts_[i];
        // The right-sibling chain the readers follow must match.
        const uint32_t right = ReadLe32(image.constData() + pages->leaves_[i] + 8);
        const uint32_t want = i + 1 < pages->leaves_.size() ? pages->leaves_[i + 1] : 0xFFFFFFFFu;
        if (right != want) return nullptr;
        if (pages->counts_[i] == 0 && pages->leaves_.size() > 1) return nullptr;
    }
    if (total != k.recnos.size()) return nullptr;
    return pages;
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
    // An emptied leaf would have to leave the tree (a merge).
    if (counts_[leaf] == 0 && leaves_.size() > 1) return false;
    return repack(image, k, leaf, start, dirty);
}

bool CdxTagPages::repack(QByteArray& image, const TagKeys& k, size_t leaf, size_t start, std::set<uint32_t>& dirty) {
    const uint32_t page = leaves_[leaf];
    const size_t count = counts_[leaf];
    const int kl = k.keyLength;
    if (start + count > k.recnos.size()) return false;
    char* p = image.data() + page;
    CdxLeafLayout lay;
    lay.recBits = uint8_t(p[20]);
    lay.dupBits = uint8_t(p[21]);
    lay.entrySize = uint8_t(p[23]);
    const uint64_t recMax = lay.recBits >= 32 ? 0xFFFFFFFFull : (1ull << lay.recBits) - 1;
    for (size_t i = start; i < start + count; ++i)
        if (k.recnos[i] > recMax) return false;
    char buf[kPage];
    std::memcpy(buf, p, kPage);
    const char* keys = k.keys.data() + start * size_t(kl);
    if (EncodeCdxLeaf(buf, keys, k.recnos.data() + start, count, kl, k.fill, lay) != count)
        return split(image, k, leaf, start, lay, dirty);
    std::memcpy(p, buf, kPage);
    dirty.insert(page);
    if (count > 0) updateParents(image, k, page, start + count - 1, dirty);
    return true;
}

bool CdxTagPages::split(QByteArray& image, const TagKeys& k, size_t leaf, size_t start, const CdxLeafLayout& lay,
                        std::set<uint32_t>& dirty) {
    // The leaf keeps the first half of its keys; a new page at the end of
    // the file takes the rest and a place after it in the parent. A root
    // leaf or a full parent would change the shape above: not done here.
    const uint32_t page = leaves_[leaf];
    const auto up = parent_.find(page);
    if (up == parent_.end()) return false;
    const int kl = k.keyLength;
    const Parent par = up->second;
    char* pp = image.data() + par.page;
    const int n = ReadLe16(pp + 2);
    if (n + 1 > 500 / (kl + 8)) return false;
    const size_t count = counts_[leaf];
    const size_t leftCount = count / 2, rightCount = count - leftCount;
    const uint32_t fresh = uint32_t(image.size());
    image.append(QByteArray(kPage, '\0'));
    pp = image.data() + par.page;
    char* lp = image.data() + page;
    char* rp = image.data() + fresh;
    const char* keys = k.keys.data() + start * size_t(kl);
    const uint32_t* recnos = k.recnos.data() + start;
    char buf[kPage];
    std::memcpy(buf, lp, kPage);
    if (EncodeCdxLeaf(buf, keys, recnos, leftCount, kl, k.fill, lay) != leftCount) return false;
    if (EncodeCdxLeaf(rp, keys + leftCount * size_t(kl), recnos + leftCount, rightCount, kl, k.fill, lay) != rightCount)
        return false;
    const uint32_t right = ReadLe32(lp + 8);
    std::memcpy(lp, buf, kPage);
    WriteLe16(rp, 2);
    WriteLe32(rp + 4, page);
    WriteLe32(rp + 8, right);
    WriteLe32(lp + 8, fresh);
    if (right != 0xFFFFFFFFu) {
        WriteLe32(image.data() + right + 4, fresh);
        dirty.insert(right);
    }
    // The parent's entries after the leaf's move up one place.
    const int esize = kl + 8;
    char* at = pp + 12 + (par.slot + 1) * esize;
    std::memmove(at + esize, at, size_t(n - par.slot - 1) * size_t(esize));
    std::memset(at, 0, size_t(esize));
    WriteLe16(pp + 2, uint16_t(n + 1));
    const char* lastLeft = keys + (leftCount - 1) * size_t(kl);
    std::memcpy(pp + 12 + par.slot * esize, lastLeft, size_t(kl));
    WriteBe32(pp + 12 + par.slot * esize + kl, recnos[leftCount - 1]);
    WriteBe32(at + kl + 4, fresh);
    for (int s = par.slot + 1; s <= n; ++s) parent_[ReadBe32(pp + 12 + s * esize + kl + 4)] = {par.page, s};
    leaves_.insert(leaves_.begin() + std::ptrdiff_t(leaf + 1), fresh);
    counts_[leaf] = uint32_t(leftCount);
    counts_.insert(counts_.begin() + std::ptrdiff_t(leaf + 1), uint32_t(rightCount));
    dirty.insert(page);
    dirty.insert(fresh);
    dirty.insert(par.page);
    updateParents(image, k, fresh, start + count - 1, dirty);
    return true;
}

void CdxTagPages::updateParents(QByteArray& image, const TagKeys& k, uint32_t page, size_t lastPos,
                                std::set<uint32_t>& dirty) {
    // The parent entries name the last key of their child.
    const int kl = k.keyLength;
    const char* last = k.keys.data() + lastPos * size_t(kl);
    const uint32_t lastRec = k.recnos[lastPos];
    uint32_t child = page;
    for (auto it = parent_.find(child); it != parent_.end(); it = parent_.find(child)) {
        char* parent = image.data() + it->second.page;
        char* entry = parent + 12 + it->second.slot * (kl + 8);
        if (std::memcmp(entry, last, size_t(kl)) == 0 && ReadBe32(entry + kl) == lastRec) break;
        std::memcpy(entry, last, size_t(kl));
        WriteBe32(entry + kl, lastRec);
        dirty.insert(it->second.page);
        if (it->second.slot != ReadLe16(parent + 2) - 1) break;
        child = it->second.page;
    }
}

}  // namespace orv
