#pragma once
// The dictionary file: a text header ending in byte 26, then one or more
// segments, each a 17-byte header and an array of 3-byte tree nodes. Nodes
// are read from the file on demand through a cache of 1024 blocks of 8 nodes;
// nothing read is trusted, so a damaged file gives wrong answers at worst,
// never a hang or a crash.
#include <QByteArray>
#include <QString>

#include "compose/spell_text.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace orv::spell {

constexpr uint16_t kFreeNode = 65000;
constexpr uint8_t kLastSibling = 0x40;
constexpr uint8_t kWordEnd = 0x80;
constexpr int kSegmentHeaderSize = 17;
constexpr int kNodeSize = 3;
// Nodes in use + word length may not pass this when a word is added.
constexpr uint32_t kMaxUserNodes = 63999;
// A main dictionary with more segments than this is taken as damaged.
constexpr int kMaxSegments = 1024;

struct Node {
    uint16_t child = 0;
    uint8_t flags = kLastSibling;
    int code() const { return flags & 63; }
    bool last() const { return flags & kLastSibling; }
    bool wordEnd() const { return flags & kWordEnd; }
    bool isFree() const { return child == kFreeNode; }
};

// An open file descriptor, closed on destruction.
class DictFile {
public:
    static std::shared_ptr<DictFile> open(const QString& path, bool writable);
    ~DictFile();
    DictFile(const DictFile&) = delete;
    DictFile& operator=(const DictFile&) = delete;

    int64_t size() const;
    // Whole reads and writes at an offset; false on any shortfall.
    bool readAt(int64_t offset, void* data, int64_t length) const;
    bool writeAt(int64_t offset, const void* data, int64_t length);
    bool sync();
    const QString& path() const { return path_; }
    // The whole file's bytes when it is held in memory, else null.
    const unsigned char* held() const {
        return inMemory_ ? reinterpret_cast<const unsigned char*>(bytes_.data()) : nullptr;
    }

private:
    DictFile(int fd, QString path) : fd_(fd), path_(std::move(path)) {}
    int fd_;
    QString path_;
    // A file opened for reading only is read whole when it is opened (a
    // suggestion walk reads thousands of nodes; each was a system call),
    // unless it is too large to hold.
    bool inMemory_ = false;
    std::vector<char> bytes_;
};

struct SegmentHeader {
    uint32_t nodesInUse = 0;
    uint32_t capacity = 0;
    uint32_t wordCount = 0;
    uint8_t kind = 0;
    uint32_t offset = 0;
    QByteArray encode() const;
    static SegmentHeader decode(const unsigned char* bytes);
};

class Segment {
public:
    enum class Kind { FirstMain, FurtherMain, User };

    Segment(std::shared_ptr<DictFile> file, const SegmentHeader& header, int64_t headerOffset, Kind kind);

    // Node i (from 1). Outside the array, or where the file cannot be read, a
    // childless last node that matches nothing is given.
    Node node(uint32_t i) const;
    // Highest node index that can be read (capacity, bounded by 16-bit indexes and the file).
    uint32_t limit() const { return limit_; }
    // The first node of a node's child list, or 0 when it has none a walk may follow.
    uint32_t childOf(const Node& n) const {
        return (n.child == 0 || n.isFree() || n.child > limit_) ? 0 : n.child;
    }

    const SegmentHeader& header() const { return header_; }
    Kind kind() const { return kind_; }
    int handle() const { return handle_; }
    void setHandle(int h) { handle_ = h; }
    const QString& fileName() const { return file_->path(); }
    int64_t headerOffset() const { return headerOffset_; }
    int64_t arrayEnd() const { return headerOffset_ + kSegmentHeaderSize + int64_t(kNodeSize) * header_.capacity; }

    // Adds an upper-case word (letter codes); false when refused or the file failed.
    bool addCodes(const std::vector<int>& codes);

private:
    struct Block {
        int64_t offset = -1;
        std::array<unsigned char, 8 * kNodeSize> bytes{};
        int valid = 0;  // nodes of the block the file holds
    };
    int64_t nodeOffset(uint32_t i) const { return headerOffset_ + kSegmentHeaderSize + int64_t(kNodeSize) * (i - 1); }
    void computeLimit();
    void clearCache();

    std::shared_ptr<DictFile> file_;
    SegmentHeader header_;
    int64_t headerOffset_;
    Kind kind_;
    int handle_ = -1;
    uint32_t limit_ = 0;
    mutable std::vector<Block> cache_;
};

// Reads the text header and every segment header of a file. The first segment
// only when onlyFirst. Empty when the file is not a dictionary.
std::vector<std::unique_ptr<Segment>> readSegments(const std::shared_ptr<DictFile>& file, bool onlyFirst);

// The bytes of a dictionary file: text header lines (each ended by CR LF),
// byte 26, then the given segments, each a header and its nodes (index 1 first).
struct SegmentImage {
    uint32_t wordCount = 0;
    uint8_t kind = 0;
    std::vector<Node> nodes;
    uint32_t capacity = 0;  // at least nodes.size(); the rest are free nodes
};
QByteArray dictionaryBytes(const QByteArray& textHeader, const std::vector<SegmentImage>& segments);

}  // namespace orv::spell
