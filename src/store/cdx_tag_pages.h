#pragma once
// Where a key insert or removal reaches the .CDX on disk. CdxTagPages knows
// the pages of one tag (its leaves in key order with their key counts, and
// the parent entry of every page) and, after the tag's in-memory keys have
// changed, re-packs only the leaf the key belongs to in the file image and
// keeps the tree above it right. The pages it changed are collected for the
// caller to write in place.
//
// - A leaf that overflows splits in two; the new entry goes into its parent,
//   which splits in turn when full, up to the root: a root that splits gets
//   a new root above it (the tag header's root pointer changes).
// - A leaf that empties leaves the tree, and a leaf that has become small is
//   merged with its right neighbour when both fit one page; an interior page
//   left without entries goes too, and a root left with one child hands the
//   root over to it.
// - Pages that leave the tree go on the file's free list (the file header's
//   free-page pointer, chained through the first four bytes of each free
//   page); new pages come from it before the file grows.
//
// Only a record number wider than a leaf's record bits returns false: the
// caller then writes the whole file (with wider leaves) and reads the pages anew.
#include "store/cdx_format.h"
#include "store/sorted_keys.h"

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <set>
#include <unordered_map>
#include <vector>

namespace orv {

// The sorted keys of a tag as IndexTag keeps them.
struct TagKeys {
    const SortedKeys& entries;
    char fill;
};

class CdxTagPages {
public:
    // The pages of the tag's tree in the file image; nullptr when they do
    // not form a sound tree (then the tag cannot be changed in place).
    static std::unique_ptr<CdxTagPages> read(const QByteArray& image, const CdxTagInfo& tag);

    // The key now at pos was inserted; changed page offsets go to dirty.
    bool inserted(QByteArray& image, const TagKeys& k, size_t pos, std::set<uint32_t>& dirty);
    // The key that was at pos was removed.
    bool removed(QByteArray& image, const TagKeys& k, size_t pos, std::set<uint32_t>& dirty);

    size_t keyCount() const;
    size_t leafCount() const { return leaves_.size(); }
    const std::vector<uint32_t>& leaves() const { return leaves_; }
    const std::vector<uint32_t>& leafKeyCounts() const { return counts_; }
    uint32_t root() const { return root_; }
    // Every page the tag uses: its two header pages and its tree.
    void usedPages(std::set<uint32_t>& out) const;

    // The file's free list: the chain from the file header, checked against
    // the pages in use; a chain that is not sound (a loop, a page outside the
    // file or in use) is dropped (its pages are simply left unused).
    static void checkFreeList(QByteArray& image, const std::set<uint32_t>& used);

private:
    struct Parent {
        uint32_t page;
        int slot;
    };
    CdxTagPages(const CdxTagInfo& tag) : header_(tag.headerOffset), root_(tag.root), kl_(tag.keyLength) {}
    int esize() const { return kl_ + 8; }
    int capacity() const { return 500 / esize(); }

    // The leaf holding position pos (and the position of its first key).
    size_t leafOf(size_t pos, size_t& start) const;
    bool repack(QByteArray& image, const TagKeys& k, size_t leaf, size_t start, std::set<uint32_t>& dirty);
    bool splitLeaf(QByteArray& image, const TagKeys& k, size_t leaf, size_t start, const CdxLeafLayout& lay,
                   std::set<uint32_t>& dirty);
    bool mergeIfSmall(QByteArray& image, const TagKeys& k, size_t leaf, size_t start, std::set<uint32_t>& dirty);
    void dropLeaf(QByteArray& image, size_t leaf, std::set<uint32_t>& dirty);

    // Interior entries: the last key (and record number) of each child.
    void insertEntry(QByteArray& image, uint32_t page, int slot, const char* key, uint32_t rec, uint32_t child,
                     std::set<uint32_t>& dirty);
    void removeEntry(QByteArray& image, uint32_t page, int slot, std::set<uint32_t>& dirty);
    void newRoot(QByteArray& image, uint32_t left, const char* leftKey, uint32_t leftRec, uint32_t right,
                 const char* rightKey, uint32_t rightRec, std::set<uint32_t>& dirty);
    void collapseRoot(QByteArray& image, std::set<uint32_t>& dirty);
    // The last key under page changed: the entries above it follow.
    void setLastKey(QByteArray& image, uint32_t page, const char* key, uint32_t rec, std::set<uint32_t>& dirty);
    void reparent(const char* interior, uint32_t page, int from);
    // The count entries from start, copied flat for the leaf encoder.
    void gather(const TagKeys& k, size_t start, size_t count);

    // Pages taken from and given back to the free list (or the file's end).
    static uint32_t allocPage(QByteArray& image, std::set<uint32_t>& dirty);
    static void freePage(QByteArray& image, uint32_t page, std::set<uint32_t>& dirty);

    uint32_t header_, root_;
    int kl_;
    std::vector<uint32_t> leaves_;  // page offsets, in key order
    std::vector<uint32_t> counts_;  // keys per leaf
    std::unordered_map<uint32_t, Parent> parent_;
    std::vector<char> runKeys_;  // what gather() copied
    std::vector<uint32_t> runRecnos_;
};

}  // namespace orv
