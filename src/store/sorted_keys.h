#pragma once
// The entries of one index tag in memory, ascending by (key bytes, record
// number), kept in chunks of a few thousand entries each (about 16 KB of
// keys). An insert or a removal moves only the bytes of its own chunk, so it
// costs the same at any table size: as one array, a key at the front of a
// million moved 16 MB. A position (0 .. size() - 1) names an entry across
// the chunks, the way the index set and the cursor count.
//
// Filled in order by next() and push() (the CDX reader decodes straight into
// next()), or by append(); changed by insert() and erase() at a position
// found with lowerBound().
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orv {

class SortedKeys {
public:
    explicit SortedKeys(int keyLength = 1);
    SortedKeys(SortedKeys&& other) noexcept;
    SortedKeys& operator=(SortedKeys&& other) noexcept;
    SortedKeys(const SortedKeys&) = delete;
    SortedKeys& operator=(const SortedKeys&) = delete;
    ~SortedKeys();

    int keyLength() const { return int(kl_); }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const char* keyAt(size_t i) const;
    uint32_t recnoAt(size_t i) const;

    // First position whose (key, recno) is not less than the given pair.
    size_t lowerBound(const char* key, uint32_t recno) const;
    // First position whose key is not less than the first n bytes of key.
    size_t lowerBoundPrefix(const char* key, size_t n) const;

    // Puts an entry at position i (0 .. size()); the caller keeps the order.
    void insert(size_t i, const char* key, uint32_t recno);
    void erase(size_t i);
    void clear();

    // Building in order: room for n entries more, then for each entry its key
    // written at next() and its record number given to push(). The key before
    // (last()) stays where it is while the next one is written.
    void reserve(size_t n);
    char* next();
    void push(uint32_t recno);
    const char* last() const;
    uint32_t lastRecno() const;
    // Appends n entries in order, or n entries of another tag's keys from start.
    void append(const char* keys, const uint32_t* recnos, size_t n);
    void append(const SortedKeys& from, size_t start, size_t n);

    // Calls f(keys, recnos, n) for each chunk in order: a walk over every
    // entry without a search per position.
    template <class F>
    void forEachRun(F&& f) const {
        for (const Chunk& c : chunks_) f(static_cast<const char*>(c.keys), static_cast<const uint32_t*>(c.recnos), size_t(c.count));
    }
    // Copies n entries from position start out to flat arrays.
    void copy(size_t start, size_t n, char* keys, uint32_t* recnos) const;
    uint32_t maxRecno() const;
    bool operator==(const SortedKeys& other) const;

private:
    struct Chunk {
        uint32_t* recnos = nullptr;
        char* keys = nullptr;
        uint32_t count = 0;
    };
    struct Block {
        void* memory;
        size_t bytes;
    };
    // The first position at which less(key, recno) no longer holds (the
    // entries are ordered so that it holds for a prefix of them).
    template <class Less>
    size_t firstNotLess(Less less) const;
    // The chunk holding position i, and i's place in it.
    size_t locate(size_t i, size_t& offset) const;
    size_t startOf(size_t c) const { return c == 0 ? 0 : ends_[c - 1]; }
    const char* keyIn(const Chunk& c, size_t j) const { return c.keys + j * kl_; }
    Chunk takeChunk();
    void addBlock(size_t chunks);
    void release(size_t c);
    void split(size_t c);
    void shiftEnds(size_t from, std::ptrdiff_t by);
    void freeAll();

    size_t kl_;
    uint32_t cap_;  // entries per chunk
    size_t stride_;  // bytes of one chunk's storage
    size_t size_ = 0;
    std::vector<Chunk> chunks_;  // none empty
    std::vector<size_t> ends_;   // entries up to the end of each chunk
    std::vector<Chunk> spare_;   // storage not in use
    Chunk pending_;              // taken by next() once the last chunk is full
    std::vector<Block> blocks_;  // owns the storage of every chunk
};

}  // namespace orv
