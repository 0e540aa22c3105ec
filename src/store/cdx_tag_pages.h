#pragma once
// Where a key insert or removal reaches the .CDX on disk. CdxTagPages knows
// the pages of one tag (its leaves in key order with their key counts, and
// the parent entry of every page) and, after the tag's in-memory keys have
// changed, re-packs only the leaf the key belongs to in the file image, and
// the parent entries above it when the leaf's last key moved. The pages it
// changed are collected for the caller to write in place.
//
// A leaf that overflows is split, the new half going to a page added at the
// end of the file and into the parent. What would change the tree above the
// leaves (a full parent, a root leaf that splits, a leaf emptied) or a record
// number wider than the leaf's record bits returns false: the caller then
// writes the whole file (which leaves room in the interior pages) and reads
// the pages anew.
#include "store/cdx_format.h"

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <set>
#include <unordered_map>
#include <vector>

namespace orv {

// The sorted keys of a tag as IndexTag keeps them.
struct TagKeys {
    const std::vector<char>& keys;
    const std::vector<uint32_t>& recnos;
    int keyLength;
    char fill;
};

class CdxTagPages {
public:
    // The pages of the tree at root in the file image, which must hold the
    // same keys as k; nullptr when the tree cannot be changed in place.
    static std::unique_ptr<CdxTagPages> read(const QByteArray& image, uint32_t root, const TagKeys& k);

    // The key now at pos was inserted; changed page offsets go to dirty.
    bool inserted(QByteArray& image, const TagKeys& k, size_t pos, std::set<uint32_t>& dirty);
    // The key that was at pos was removed.
    bool removed(QByteArray& image, const TagKeys& k, size_t pos, std::set<uint32_t>& dirty);

    size_t leafCount() const { return leaves_.size(); }

private:
    struct Parent {
        uint32_t page;
        int slot;
    };
    // The leaf holding position pos (and the position of its first key).
    size_t leafOf(size_t pos, size_t& start) const;
    bool repack(QByteArray& image, const TagKeys& k, size_t leaf, size_t start, std::set<uint32_t>& dirty);
    bool split(QByteArray& image, const TagKeys& k, size_t leaf, size_t start, const CdxLeafLayout& lay,
               std::set<uint32_t>& dirty);
    void updateParents(QByteArray& image, const TagKeys& k, uint32_t page, size_t lastPos, std::set<uint32_t>& dirty);

    std::vector<uint32_t> leaves_;  // page offsets, in key order
    std::vector<uint32_t> counts_;  // keys per leaf
    std::unordered_map<uint32_t, Parent> parent_;
};

}  // namespace orv
