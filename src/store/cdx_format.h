#pragma once
// The FoxPro compact compound index (.CDX): reading the tag directory and the
// keys of each tag (every pointer, count and length checked, so a damaged file
// raises ecDbDamagedIndex instead of reading out of bounds), and writing a
// whole file from sorted keys.
//
// Keys are kept ascending by (key bytes, record number) for every tag; a
// descending tag differs only in its order flag and is presented backwards.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace orv {

class SortedKeys;

enum : uint8_t {
    kCdxUnique = 0x01,
    kCdxHasFor = 0x08,
    kCdxCompact = 0x20,
    kCdxCompound = 0x40,
    kCdxDirectory = 0x80,
};

struct CdxTagInfo {
    QByteArray name;  // upper case
    uint32_t headerOffset = 0;
    uint32_t root = 0;
    int keyLength = 0;
    uint8_t options = kCdxCompact | kCdxCompound;
    bool descending = false;
    QByteArray keyExpr;
    QByteArray forExpr;  // empty when the tag has no FOR clause

    bool unique() const { return options & kCdxUnique; }
};

// Large buffers on huge pages where the system offers them: a fresh
// buffer of megabytes is otherwise thousands of page faults when first written.
void* AllocateLargeBuffer(size_t bytes);
void FreeLargeBuffer(void* p, size_t bytes);

// An allocator whose resize leaves new elements uninitialised: for buffers
// that are always written before they are read.
template <class T>
struct NoInitAllocator : std::allocator<T> {
    NoInitAllocator() = default;
    template <class U>
    NoInitAllocator(const NoInitAllocator<U>&) noexcept {}
    T* allocate(size_t n) { return static_cast<T*>(AllocateLargeBuffer(n * sizeof(T))); }
    void deallocate(T* p, size_t n) noexcept { FreeLargeBuffer(p, n * sizeof(T)); }
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
// The key bytes of a tag, count * keyLength. A tag's keys run to millions,
// and zeroing the buffer before decoding into it was a tenth of the time
// of opening one.
using KeyBytes = std::vector<char, NoInitAllocator<char>>;

// Reads the file header and the tag directory; the tags come in the order of
// their header offsets (FoxPro numbers tags by creation, which that order follows).
std::vector<CdxTagInfo> ReadCdxDirectory(const QByteArray& file, const QString& fileName);

// Appends the keys of one tag in ascending order. fill is 0x20 for character
// keys, 0x00 for numeric, date and logical keys.
// (Flat, for KeyBytes or std::vector<char>, or into a tag's SortedKeys.)
template <class Bytes>
void ReadCdxKeys(const QByteArray& file, const CdxTagInfo& tag, char fill, Bytes& keys, std::vector<uint32_t>& recnos,
                 const QString& fileName);
void ReadCdxKeys(const QByteArray& file, const CdxTagInfo& tag, char fill, SortedKeys& keys, const QString& fileName);

// Appends the keys of the one leaf page at offset page (which need not be
// reached from the tag's root), checking their order against the keys
// already in keys; ecDbDamagedIndex when the page is not a sound leaf.
void ReadCdxLeafKeys(const QByteArray& file, uint32_t page, const CdxTagInfo& tag, char fill, SortedKeys& keys,
                     const QString& fileName);

struct CdxTagContent {
    CdxTagInfo info;  // name, keyLength, options, descending, expressions
    char fill = ' ';
    const char* keys = nullptr;  // count * keyLength bytes, sorted
    const uint32_t* recnos = nullptr;
    size_t count = 0;
};

// How a leaf packs its entries: bits of the duplicate and trailing counts
// (the same width for both) and of the record number, bytes per entry.
struct CdxLeafLayout {
    int dupBits = 0, recBits = 0, entrySize = 0;
};

// Packs as many of the count keys (ascending, keyLength bytes each) as fit
// into a 512-byte leaf page: entries, key bytes, key count, free space and
// layout bytes. The page's type and sibling pointers (bytes 0-11) are left
// as they are. Returns how many keys went in.
size_t EncodeCdxLeaf(char* page, const char* keys, const uint32_t* recnos, size_t count, int keyLength, char fill,
                     const CdxLeafLayout& layout);

// A whole .CDX file holding the given tags. maxRecno sizes the record-number
// bits of the leaves (the table's record count). Unused bytes are zero.
// changeCounter goes to the file header's change counter (see ReadCdxChangeCounter).
QByteArray BuildCdxFile(const std::vector<CdxTagContent>& tags, uint32_t maxRecno, uint32_t changeCounter = 0);
// The file header's change counter (big-endian at offset 8): the table's
// change count when the file was last brought up to date; 0 when the file
// is shorter than a header.
uint32_t ReadCdxChangeCounter(const QByteArray& file);

// Index key bytes of a number or a date (a Julian day): the IEEE double,
// big-endian, sign bit flipped (or all bits inverted when negative), so keys
// sort as unsigned bytes.
void EncodeNumericKey(double value, char out[8]);
double DecodeNumericKey(const char in[8]);

}  // namespace orv
