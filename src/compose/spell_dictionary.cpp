#include "compose/spell_dictionary.h"

#include "common/atomic_file.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv::spell {

namespace {

void put32(QByteArray& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

uint32_t get32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

Node decodeNode(const unsigned char* p) { return Node{uint16_t(p[0] | p[1] << 8), p[2]}; }

void encodeNode(const Node& n, unsigned char* p) {
    p[0] = static_cast<unsigned char>(n.child & 0xFF);
    p[1] = static_cast<unsigned char>(n.child >> 8);
    p[2] = n.flags;
}

// What a walk sees outside the array: the end of a list that matches nothing.
constexpr Node kOutside{kFreeNode, kLastSibling};

}  // namespace

// ---- DictFile -----------------------------------------------------------------

std::shared_ptr<DictFile> DictFile::open(const QString& path, bool writable) {
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    std::shared_ptr<DictFile> file(new DictFile(fd, path));
    constexpr int64_t kHeld = 64 << 20;
    if (!writable && st.st_size <= kHeld) {
        std::vector<char> bytes(size_t(st.st_size));
        if (file->readAt(0, bytes.data(), int64_t(bytes.size()))) {
            file->bytes_ = std::move(bytes);
            file->inMemory_ = true;
        }
    }
    return file;
}

DictFile::~DictFile() { ::close(fd_); }

int64_t DictFile::size() const {
    if (inMemory_) return int64_t(bytes_.size());
    struct stat st {};
    return ::fstat(fd_, &st) == 0 ? int64_t(st.st_size) : 0;
}

bool DictFile::readAt(int64_t offset, void* data, int64_t length) const {
    if (inMemory_) {
        if (offset < 0 || length < 0 || offset > int64_t(bytes_.size()) || length > int64_t(bytes_.size()) - offset) return false;
        std::memcpy(data, bytes_.data() + offset, size_t(length));
        return true;
    }
    auto* p = static_cast<char*>(data);
    while (length > 0) {
        const ssize_t n = ::pread(fd_, p, size_t(length), off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        offset += n;
        length -= n;
    }
    return true;
}

bool DictFile::writeAt(int64_t offset, const void* data, int64_t length) {
    const auto* p = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t n = ::pwrite(fd_, p, size_t(length), off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        offset += n;
        length -= n;
    }
    return true;
}

bool DictFile::sync() { return ::fsync(fd_) == 0; }

// ---- SegmentHeader ------------------------------------------------------------

QByteArray SegmentHeader::encode() const {
    QByteArray out;
    put32(out, nodesInUse);
    put32(out, capacity);
    put32(out, wordCount);
    out.append(static_cast<char>(kind));
    put32(out, offset);
    return out;
}

SegmentHeader SegmentHeader::decode(const unsigned char* b) {
    SegmentHeader h;
    h.nodesInUse = get32(b);
    h.capacity = get32(b + 4);
    h.wordCount = get32(b + 8);
    h.kind = b[12];
    h.offset = get32(b + 13);
    return h;
}

// ---- Segment ------------------------------------------------------------------

Segment::Segment(std::shared_ptr<DictFile> file, const SegmentHeader& header, int64_t headerOffset, Kind kind)
    : file_(std::move(file)), header_(header), headerOffset_(headerOffset), kind_(kind) {
    computeLimit();
}

void Segment::computeLimit() {
    // Indexes are 16 bits wide, and a node the file does not hold cannot be read.
    const int64_t inFile = std::max<int64_t>(0, (file_->size() - headerOffset_ - kSegmentHeaderSize) / kNodeSize);
    limit_ = uint32_t(std::min<int64_t>({int64_t(header_.capacity), int64_t(65535), inFile}));
    // A file held in memory is read in place and needs no cache.
    if (file_->held()) return;
    // Up to 1024 cached blocks of 8 nodes; a small segment (a user
    // dictionary, most segments of a main one) gets a power of two at least
    // its block count, so its blocks never share a slot (block offsets step
    // by 24 bytes, 3 slots) and it does not make 40 KB of empty slots.
    size_t size = 1;
    while (size < 1024 && size * 8 < limit_) size *= 2;
    if (cache_.size() < size) cache_.resize(size);
}

void Segment::clearCache() {
    for (auto& b : cache_) b.offset = -1;
}

Node Segment::node(uint32_t i) const {
    if (i == 0 || i > limit_) return kOutside;
    // limit_ counts only nodes the file holds whole.
    if (const unsigned char* bytes = file_->held()) return decodeNode(bytes + nodeOffset(i));
    const uint32_t first = ((i - 1) & ~7u) + 1;
    const int64_t offset = nodeOffset(first);
    Block& b = cache_[size_t(offset / 8) & (cache_.size() - 1)];
    if (b.offset != offset) {
        const uint32_t count = std::min<uint32_t>(8, limit_ - first + 1);
        if (!file_->readAt(offset, b.bytes.data(), int64_t(count) * kNodeSize)) {
            b.offset = -1;
            return kOutside;
        }
        b.offset = offset;
        b.valid = int(count);
    }
    const uint32_t k = i - first;
    if (int(k) >= b.valid) return kOutside;
    return decodeNode(b.bytes.data() + k * kNodeSize);
}

namespace {

// Inserts the letter codes of one word into a node array (index 1 at
// nodes[0]). False for a damaged tree, which is left as it was.
bool insertWord(std::vector<Node>& nodes, uint32_t& inUse, uint32_t& words, const std::vector<int>& codes) {
    const auto n = uint32_t(codes.size());
    auto at = [&](uint32_t i) -> Node& { return nodes[i - 1]; };
    auto makeRoom = [&](uint32_t needed) {
        if (nodes.size() >= needed) return;
        size_t grown = std::max<size_t>(needed, nodes.size() + 500);
        grown = (grown + 499) / 500 * 500;
        nodes.resize(grown, Node{kFreeNode, 0});
    };
    // The remaining letters as a chain of single-node lists at the end of the array.
    auto appendChain = [&](uint32_t from) {
        for (uint32_t m = from; m < n; ++m) {
            const uint32_t idx = ++inUse;
            Node& x = at(idx);
            x.child = m + 1 < n ? uint16_t(idx + 1) : 0;
            x.flags = uint8_t(codes[m] | kLastSibling | (m + 1 == n ? kWordEnd : 0));
        }
        ++words;
    };
    makeRoom(inUse + n);
    if (inUse == 0) {
        appendChain(0);
        return true;
    }
    uint32_t list = 1, parent = 0;
    for (uint32_t k = 0; k < n; ++k) {
        uint32_t found = 0, insertAt = 0, lastIdx = 0;
        for (uint32_t i = list; i <= inUse; ++i) {
            const Node& x = at(i);
            if (!x.isFree()) {
                if (!found && x.code() == codes[k]) found = i;
                if (!insertAt && x.code() > codes[k]) insertAt = i;
            }
            if (x.last()) {
                lastIdx = i;
                break;
            }
        }
        if (!lastIdx) return false;  // a list without its end: damaged
        if (found) {
            Node& x = at(found);
            if (k + 1 == n) {
                if (!x.wordEnd()) {
                    x.flags |= kWordEnd;
                    ++words;
                }
                return true;
            }
            if (x.child != 0 && x.child != kFreeNode && x.child <= inUse) {
                parent = found;
                list = x.child;
                continue;
            }
            x.child = uint16_t(inUse + 1);
            appendChain(k + 1);
            return true;
        }
        // Insert the letter into this list in code order, moving the nodes behind it up.
        const uint32_t p = insertAt ? insertAt : lastIdx + 1;
        const uint32_t oldInUse = inUse;
        std::move_backward(nodes.begin() + (p - 1), nodes.begin() + oldInUse, nodes.begin() + oldInUse + 1);
        ++inUse;
        for (uint32_t j = 1; j <= inUse; ++j) {
            if (j == p) continue;
            Node& x = at(j);
            if (x.child >= p && x.child <= oldInUse) ++x.child;
        }
        if (parent >= p) ++parent;
        if (p == list && parent) at(parent).child = uint16_t(p);
        Node& added = at(p);
        added.flags = uint8_t(codes[k]);
        added.child = 0;
        if (p == lastIdx + 1) {
            at(lastIdx).flags &= uint8_t(~kLastSibling);
            added.flags |= kLastSibling;
        }
        if (k + 1 == n) {
            added.flags |= kWordEnd;
            ++words;
            return true;
        }
        added.child = uint16_t(inUse + 1);
        appendChain(k + 1);
        return true;
    }
    return false;
}

}  // namespace

bool Segment::addCodes(const std::vector<int>& codes) {
    if (kind_ != Kind::User || codes.empty() || codes.size() > size_t(kMaxDepth)) return false;
    SegmentHeader h = header_;
    if (h.nodesInUse + codes.size() > kMaxUserNodes) return false;
    if (h.capacity > 65535 || h.nodesInUse > h.capacity) return false;
    // The whole file is small (at most 64 K nodes): read it, change the tree in
    // memory and replace the file in one step, so a crash or a full disk during
    // the change leaves the previous dictionary intact.
    const int64_t size = file_->size();
    const int64_t arrayStart = headerOffset_ + kSegmentHeaderSize;
    const int64_t arrayEnd = arrayStart + int64_t(kNodeSize) * h.capacity;
    if (arrayEnd > size || size > int64_t(64) << 20) return false;
    QByteArray bytes(qsizetype(size), '\0');
    if (!file_->readAt(0, bytes.data(), size)) return false;
    std::vector<Node> nodes(h.capacity);
    const auto* raw = reinterpret_cast<const unsigned char*>(bytes.constData()) + arrayStart;
    for (uint32_t i = 0; i < h.capacity; ++i) nodes[i] = decodeNode(raw + i * kNodeSize);
    if (!insertWord(nodes, h.nodesInUse, h.wordCount, codes)) return false;
    h.capacity = uint32_t(nodes.size());
    h.offset = uint32_t(headerOffset_);

    QByteArray out = bytes.left(qsizetype(headerOffset_));
    out += h.encode();
    const qsizetype nodeStart = out.size();
    out.resize(nodeStart + qsizetype(nodes.size()) * kNodeSize);
    auto* dst = reinterpret_cast<unsigned char*>(out.data()) + nodeStart;
    for (size_t i = 0; i < nodes.size(); ++i) encodeNode(nodes[i], dst + i * kNodeSize);
    out += bytes.mid(qsizetype(arrayEnd));
    const QString path = file_->path();
    if (!WriteFileAtomically(path, out)) return false;
    auto reopened = DictFile::open(path, true);
    if (!reopened) return false;
    file_ = std::move(reopened);
    header_ = h;
    computeLimit();
    clearCache();
    return true;
}

// ---- reading and writing whole files --------------------------------------------

std::vector<std::unique_ptr<Segment>> readSegments(const std::shared_ptr<DictFile>& file, bool onlyFirst) {
    std::vector<std::unique_ptr<Segment>> out;
    if (!file) return out;
    const int64_t size = file->size();
    // The text header ends at the first byte 26.
    int64_t pos = -1;
    char chunk[4096];
    for (int64_t at = 0; at < size && pos < 0; at += int64_t(sizeof chunk)) {
        const int64_t n = std::min<int64_t>(int64_t(sizeof chunk), size - at);
        if (!file->readAt(at, chunk, n)) return out;
        if (const void* hit = std::memchr(chunk, 26, size_t(n))) pos = at + (static_cast<const char*>(hit) - chunk) + 1;
    }
    if (pos < 0) return out;
    while (pos + kSegmentHeaderSize <= size && int(out.size()) < kMaxSegments) {
        unsigned char raw[kSegmentHeaderSize];
        if (!file->readAt(pos, raw, kSegmentHeaderSize)) break;
        const SegmentHeader h = SegmentHeader::decode(raw);
        const auto kind = onlyFirst ? Segment::Kind::User
                                    : (out.empty() ? Segment::Kind::FirstMain : Segment::Kind::FurtherMain);
        out.push_back(std::make_unique<Segment>(file, h, pos, kind));
        if (onlyFirst) break;
        const int64_t next = out.back()->arrayEnd();
        if (size - next <= 20) break;
        pos = next;
    }
    return out;
}

QByteArray dictionaryBytes(const QByteArray& textHeader, const std::vector<SegmentImage>& segments) {
    QByteArray out = textHeader;
    out.append(char(26));
    for (const SegmentImage& s : segments) {
        SegmentHeader h;
        h.nodesInUse = uint32_t(s.nodes.size());
        h.capacity = std::max<uint32_t>(s.capacity, h.nodesInUse);
        h.wordCount = s.wordCount;
        h.kind = s.kind;
        h.offset = uint32_t(out.size());
        out += h.encode();
        const qsizetype start = out.size();
        out.resize(start + qsizetype(h.capacity) * kNodeSize);
        auto* dst = reinterpret_cast<unsigned char*>(out.data()) + start;
        for (uint32_t i = 0; i < h.capacity; ++i)
            encodeNode(i < s.nodes.size() ? s.nodes[i] : Node{kFreeNode, 0}, dst + i * kNodeSize);
    }
    return out;
}

}  // namespace orv::spell
