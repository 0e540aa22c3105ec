#pragma once
// One index tag held in memory while its table is open: the definition from
// the .CDX (name, key and FOR expressions, direction) compiled against the
// table, and its keys kept ascending by (key bytes, record number).
#include "store/cdx_format.h"
#include "store/cdx_tag_pages.h"
#include "store/expression.h"
#include "store/sorted_keys.h"

#include <memory>
#include <vector>

namespace orv {

class IndexTag {
public:
    // Compiles the expressions; raises ecDbBadExpression when they do not fit
    // the table, ecDbBadDefinition for a key wider than 240 bytes.
    IndexTag(const CdxTagInfo& info, const DbfHeader& table);

    const CdxTagInfo& info() const { return info_; }
    const QByteArray& name() const { return info_.name; }
    bool descending() const { return info_.descending; }
    bool unique() const { return info_.unique(); }
    int keyLength() const { return info_.keyLength; }
    char fill() const { return fill_; }
    ExprType keyType() const { return key_->type(); }
    const Expression* forCondition() const { return for_.get(); }
    int fileIndex = 0;  // which open index file holds the tag
    // The tag's pages in its index file while they match the keys; dropped
    // when the keys are replaced wholesale (the file is then written whole).
    std::unique_ptr<CdxTagPages> pages;

    size_t size() const { return entries_.size(); }
    const char* keyAt(size_t i) const { return entries_.keyAt(i); }
    uint32_t recnoAt(size_t i) const { return entries_.recnoAt(i); }
    const SortedKeys& entries() const { return entries_; }

    // The key of a record (recordLength bytes, deletion flag first).
    void makeKey(const char* record, uint32_t recno, char* out) const;
    // Whether the FOR condition admits the record.
    bool admits(const char* record, uint32_t recno) const;

    // First position whose (key, recno) is not less than the given pair.
    size_t lowerBound(const char* key, uint32_t recno) const;
    // First position whose key is not less than the given key prefix of n bytes.
    size_t lowerBoundPrefix(const char* key, int n) const;
    // Position of an entry, or size() when absent.
    size_t find(const char* key, uint32_t recno) const;
    static constexpr size_t npos = size_t(-1);
    // Where the entry went (npos when a unique tag already has the key).
    size_t insert(const char* key, uint32_t recno);
    // Where the entry was (npos when absent).
    size_t remove(const char* key, uint32_t recno);
    void clear();
    // Replaces the keys with those of the given entries (unsorted) and sorts them.
    void assign(KeyBytes&& keys, std::vector<uint32_t>&& recnos);
    // Replaces the keys with entries already in order (of this key length).
    void assignSorted(SortedKeys&& entries) {
        entries_ = std::move(entries);
        pages.reset();
    }
    TagKeys sortedKeys() const { return {entries_, fill_}; }
    // Largest record number in the tag (0 when empty).
    uint32_t maxRecno() const { return entries_.maxRecno(); }

private:
    CdxTagInfo info_;
    std::shared_ptr<const Expression> key_;
    std::shared_ptr<const Expression> for_;
    char fill_ = ' ';
    SortedKeys entries_;
};

}  // namespace orv
