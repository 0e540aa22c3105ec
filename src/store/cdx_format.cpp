#include "store/cdx_format.h"

#include "store/byte_order.h"
#include "store/db_error.h"
#include "store/sorted_keys.h"

#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

namespace orv {
namespace {

constexpr int kPage = 512;

int bitsFor(int value) {
    int bits = 0;
    while ((1 << bits) <= value) ++bits;
    return bits;
}

[[noreturn]] void damaged(const QString& fileName, const QString& what) {
    ThrowDbError(ecDbDamagedIndex, fileName + QStringLiteral(": ") + what);
}

struct Header {
    uint32_t root;
    int keyLength;
    uint8_t options;
    bool descending;
    QByteArray keyExpr, forExpr;
};

Header readHeader(const QByteArray& file, qint64 offset, const QString& fileName) {
    if (offset < 0 || offset % kPage != 0 || offset + 1024 > file.size())
        damaged(fileName, QStringLiteral("index header at %1 lies outside the file").arg(offset));
    const char* h = file.constData() + offset;
    Header r;
    r.root = ReadLe32(h);
    r.keyLength = ReadLe16(h + 0x0C);
    r.options = uint8_t(h[0x0E]);
    if (r.keyLength < 1 || r.keyLength > 240)
        damaged(fileName, QStringLiteral("key length %1 at %2").arg(r.keyLength).arg(offset));
    r.descending = ReadLe16(h + 0x1F6) != 0;
    const int forPos = ReadLe16(h + 0x1F8), forLen = ReadLe16(h + 0x1FA);
    const int keyPos = ReadLe16(h + 0x1FC), keyLen = ReadLe16(h + 0x1FE);
    const char* pool = h + 0x200;
    auto expr = [&](int pos, int len) -> QByteArray {
        if (len <= 1) return {};
        if (pos < 0 || pos + len > 512) damaged(fileName, QStringLiteral("expression outside the header at %1").arg(offset));
        const char* s = pool + pos;
        const void* nul = std::memchr(s, 0, size_t(len));
        return QByteArray(s, nul ? int(static_cast<const char*>(nul) - s) : len);
    };
    r.keyExpr = expr(keyPos, keyLen);
    r.forExpr = expr(forPos, forLen);
    return r;
}

// Decodes the keys of the leaf at page (which the caller has checked lies
// inside the file) into the sink, and returns its right sibling.
template <class Sink>
uint32_t decodeLeaf(const QByteArray& file, uint32_t page, int keyLength, char fill, const QString& fileName, Sink& sink) {
    const size_t kl = size_t(keyLength);
    char fills[256];  // what the first key's shared bytes would be
    std::memset(fills, fill, kl);
    const char* p = file.constData() + page;
    const int attr = ReadLe16(p);
    if (!(attr & 0x02)) damaged(fileName, QStringLiteral("page %1 should be a leaf").arg(page));
    const int nkeys = ReadLe16(p + 2);
    const uint32_t right = ReadLe32(p + 8);
    const int recBits = uint8_t(p[20]), dupBits = uint8_t(p[21]), trailBits = uint8_t(p[22]);
    const int entrySize = uint8_t(p[23]);
    if (entrySize < 1 || entrySize > 8 || recBits + dupBits + trailBits > entrySize * 8 || recBits > 32 ||
        nkeys * entrySize > 488)
        damaged(fileName, QStringLiteral("leaf page at %1 has a bad layout").arg(page));
    const uint64_t rmask = recBits >= 32 ? 0xFFFFFFFFull : ((1ull << recBits) - 1);
    const uint64_t dmask = (1ull << dupBits) - 1, tmask = (1ull << trailBits) - 1;
    const uint64_t emask = entrySize >= 8 ? ~0ull : ((1ull << (8 * entrySize)) - 1);
    int pos = kPage;
    const int entriesEnd = 24 + nkeys * entrySize;
    for (int i = 0; i < nkeys; ++i) {
        const char* e = p + 24 + i * entrySize;
        uint64_t v = 0;
        if (std::endian::native == std::endian::little && 24 + i * entrySize + 8 <= kPage) {
            std::memcpy(&v, e, 8);  // one load; the bytes past the entry are masked off
            v &= emask;
        } else {
            for (int b = entrySize - 1; b >= 0; --b) v = v << 8 | uint8_t(e[b]);
        }
        const uint32_t rec = uint32_t(v & rmask);
        const int dup = int((v >> recBits) & dmask);
        const int trail = int((v >> (recBits + dupBits)) & tmask);
        if (dup + trail > keyLength || (i == 0 && dup != 0))
            damaged(fileName, QStringLiteral("leaf page at %1: entry %2 is inconsistent").arg(page).arg(i));
        const int n = keyLength - dup - trail;
        pos -= n;
        if (pos < entriesEnd) damaged(fileName, QStringLiteral("leaf page at %1: keys overlap the entries").arg(page));
        char* k = sink.slot();
        const char* prev = sink.previous();
        std::memcpy(k, prev ? prev : fills, size_t(dup));
        std::memcpy(k + dup, p + pos, size_t(n));
        std::memset(k + dup + n, fill, size_t(trail));
        sink.commit(rec, dup);
    }
    return right;
}

// Walks every leaf of the tree at root, left to right. Each key is decoded
// straight into the sink's storage: sink.slot() gives the bytes for the next
// key (the previous key, sink.previous(), stays readable), and
// sink.commit(recno, dup) takes it, dup being the bytes it shares with the
// previous key.
template <class Sink>
void walkLeaves(const QByteArray& file, uint32_t root, int keyLength, char fill, const QString& fileName, Sink& sink) {
    const qint64 size = file.size();
    std::vector<bool> visited(size_t(size / kPage) + 1, false);
    auto checkPage = [&](qint64 off, const char* what) {
        if (off < 0 || off % kPage != 0 || off + kPage > size)
            damaged(fileName, QStringLiteral("%1 page at %2 lies outside the file").arg(QLatin1String(what)).arg(off));
        if (visited[size_t(off / kPage)]) damaged(fileName, QStringLiteral("page %1 is reached twice").arg(off));
        visited[size_t(off / kPage)] = true;
    };

    // Descend to the leftmost leaf.
    qint64 page = root;
    for (;;) {
        checkPage(page, "index");
        const char* p = file.constData() + page;
        const int attr = ReadLe16(p);
        if (attr & 0x02) break;
        const int nkeys = ReadLe16(p + 2);
        if (nkeys < 1 || nkeys > 500 / (keyLength + 8))
            damaged(fileName, QStringLiteral("interior page at %1 holds %2 keys").arg(page).arg(nkeys));
        page = ReadBe32(p + 12 + keyLength + 4);
    }

    for (;;) {
        const uint32_t right = decodeLeaf(file, uint32_t(page), keyLength, fill, fileName, sink);
        if (right == 0xFFFFFFFFu || right == 0) break;
        page = right;
        checkPage(page, "leaf");
    }
}

// The keys the leaves of the tree at root say they hold, from their headers
// alone (what the walk will decode, so its buffer is made once). Nothing is
// checked beyond staying inside the file and ending: on anything odd it
// gives 0 and the walk that follows reports the damage.
size_t countLeafKeys(const QByteArray& file, uint32_t root, int keyLength) {
    const qint64 size = file.size();
    const qint64 pages = size / kPage;
    auto inside = [&](qint64 off) { return off >= 0 && off % kPage == 0 && off + kPage <= size; };
    qint64 page = root;
    for (qint64 depth = 0;; ++depth) {
        if (!inside(page) || depth > pages) return 0;
        const char* p = file.constData() + page;
        if (ReadLe16(p) & 0x02) break;
        page = ReadBe32(p + 12 + keyLength + 4);
    }
    size_t keys = 0;
    for (qint64 steps = 0;; ++steps) {
        if (!inside(page) || steps > pages) return 0;
        const char* p = file.constData() + page;
        keys += size_t(std::min<int>(ReadLe16(p + 2), 488));
        const uint32_t right = ReadLe32(p + 8);
        if (right == 0xFFFFFFFFu || right == 0) return keys;
        page = right;
    }
}

// A sink that keeps only the key just read (and the one before it).
template <class Take>
struct EachKey {
    explicit EachKey(int keyLength, Take take) : take(std::move(take)), buf(2 * size_t(keyLength)), kl(size_t(keyLength)) {}
    char* slot() { return buf.data() + cur * kl; }
    const char* previous() const { return any ? buf.data() + (1 - cur) * kl : nullptr; }
    void commit(uint32_t rec, int) {
        take(slot(), rec);
        any = true;
        cur = 1 - cur;
    }
    Take take;
    std::vector<char> buf;
    size_t kl;
    size_t cur = 0;
    bool any = false;
};

// ---- writing ------------------------------------------------------------------

CdxLeafLayout leafLayout(int keyLength, uint32_t maxRecno) {
    CdxLeafLayout l;
    l.dupBits = bitsFor(keyLength);
    l.entrySize = l.dupBits <= 8 ? 3 : (l.dupBits <= 12 ? 4 : 5);
    l.recBits = 8 * l.entrySize - 2 * l.dupBits;
    while (l.recBits < 32 && (uint64_t(maxRecno) >> l.recBits) != 0) {
        ++l.entrySize;
        l.recBits += 8;
    }
    if (l.recBits > 32) l.recBits = 32;
    return l;
}

class PageWriter {
public:
    explicit PageWriter(QByteArray& out) : out_(out) {}
    uint32_t allocate(int pages = 1) {
        const uint32_t at = uint32_t(out_.size());
        out_.append(QByteArray(pages * kPage, '\0'));
        return at;
    }
    char* at(uint32_t offset) { return out_.data() + offset; }

private:
    QByteArray& out_;
};

struct LevelEntry {
    uint32_t page;
    size_t lastIndex;  // index of the last key of the page
};

// Writes a tree for keys[0..count) and returns its root page offset.
uint32_t writeTree(PageWriter& w, const char* keys, const uint32_t* recnos, size_t count, int keyLength, char fill,
                   uint32_t maxRecno) {
    const CdxLeafLayout lay = leafLayout(keyLength, maxRecno);
    std::vector<LevelEntry> level;
    size_t i = 0;
    do {
        const uint32_t page = w.allocate();
        const size_t first = i;
        char* p = w.at(page);
        i += EncodeCdxLeaf(p, keys + i * size_t(keyLength), recnos + i, count - i, keyLength, fill, lay);
        const int n = int(i - first);
        WriteLe16(p, 2);
        WriteLe32(p + 4, 0xFFFFFFFFu);
        WriteLe32(p + 8, 0xFFFFFFFFu);
        if (!level.empty()) {
            WriteLe32(w.at(level.back().page) + 8, page);
            WriteLe32(p + 4, level.back().page);
        }
        level.push_back({page, n > 0 ? i - 1 : first});
    } while (i < count);

    if (level.size() == 1) {
        WriteLe16(w.at(level[0].page), 3);
        return level[0].page;
    }

    // Interior pages are left a quarter empty, so leaves can split in place
    // (CdxTagPages) for a while before the file is written whole again.
    const int capacity = std::max(2, 500 / (keyLength + 8) * 3 / 4);
    while (level.size() > 1) {
        std::vector<LevelEntry> up;
        for (size_t j = 0; j < level.size(); j += size_t(capacity)) {
            const uint32_t page = w.allocate();
            const size_t end = std::min(level.size(), j + size_t(capacity));
            char* p = w.at(page);
            WriteLe16(p, 0);
            WriteLe16(p + 2, uint16_t(end - j));
            WriteLe32(p + 4, 0xFFFFFFFFu);
            WriteLe32(p + 8, 0xFFFFFFFFu);
            for (size_t e = j; e < end; ++e) {
                char* entry = p + 12 + (e - j) * size_t(keyLength + 8);
                const size_t last = level[e].lastIndex;
                std::memcpy(entry, keys + last * size_t(keyLength), size_t(keyLength));
                WriteBe32(entry + keyLength, recnos[last]);
                WriteBe32(entry + keyLength + 4, level[e].page);
            }
            if (!up.empty()) {
                WriteLe32(w.at(up.back().page) + 8, page);
                WriteLe32(p + 4, up.back().page);
            }
            up.push_back({page, level[end - 1].lastIndex});
        }
        level = std::move(up);
    }
    WriteLe16(w.at(level[0].page), 1);
    return level[0].page;
}

void writeHeader(char* h, uint32_t root, int keyLength, uint8_t options, bool descending, const QByteArray& keyExpr,
                 const QByteArray& forExpr) {
    WriteLe32(h, root);
    WriteLe32(h + 4, 0);
    WriteLe16(h + 0x0C, uint16_t(keyLength));
    h[0x0E] = char(options);
    h[0x0F] = 1;
    WriteLe16(h + 0x1F6, descending ? 1 : 0);
    const int keyLen = int(keyExpr.size()) + 1;
    const int forLen = forExpr.isEmpty() ? 1 : int(forExpr.size()) + 1;
    WriteLe16(h + 0x1F8, uint16_t(keyLen));
    WriteLe16(h + 0x1FA, uint16_t(forLen));
    WriteLe16(h + 0x1FC, 0);
    WriteLe16(h + 0x1FE, uint16_t(keyLen));
    std::memcpy(h + 0x200, keyExpr.constData(), size_t(keyExpr.size()));
    if (!forExpr.isEmpty()) std::memcpy(h + 0x200 + keyLen, forExpr.constData(), size_t(forExpr.size()));
}

}  // namespace

size_t EncodeCdxLeaf(char* p, const char* keys, const uint32_t* recnos, size_t count, int keyLength, char fill,
                     const CdxLeafLayout& lay) {
    std::memset(p + 12, 0, kPage - 12);
    auto trailOf = [&](const char* k) {
        int t = 0;
        while (t < keyLength && k[keyLength - 1 - t] == fill) ++t;
        return t;
    };
    int used = 0;  // entries bytes + key bytes
    size_t n = 0;
    int prevTrail = 0;
    int pos = kPage;
    for (; n < count; ++n) {
        const char* k = keys + n * size_t(keyLength);
        const int trail = trailOf(k);
        int dup = 0;
        if (n > 0) {
            const char* pk = k - keyLength;
            const int cap = keyLength - std::max(trail, prevTrail);
            while (dup < cap && k[dup] == pk[dup]) ++dup;
        }
        const int stored = keyLength - dup - trail;
        if (used + lay.entrySize + stored > 488) break;
        const uint64_t v = uint64_t(recnos[n]) | uint64_t(dup) << lay.recBits | uint64_t(trail) << (lay.recBits + lay.dupBits);
        for (int b = 0; b < lay.entrySize; ++b) p[24 + int(n) * lay.entrySize + b] = char((v >> (8 * b)) & 0xFF);
        pos -= stored;
        std::memcpy(p + pos, k + dup, size_t(stored));
        used += lay.entrySize + stored;
        prevTrail = trail;
    }
    WriteLe16(p + 2, uint16_t(n));
    WriteLe16(p + 12, uint16_t(488 - used));
    WriteLe32(p + 14, lay.recBits >= 32 ? 0xFFFFFFFFu : ((1u << lay.recBits) - 1));
    p[18] = char((1 << lay.dupBits) - 1);
    p[19] = char((1 << lay.dupBits) - 1);
    p[20] = char(lay.recBits);
    p[21] = char(lay.dupBits);
    p[22] = char(lay.dupBits);
    p[23] = char(lay.entrySize);
    return n;
}

std::vector<CdxTagInfo> ReadCdxDirectory(const QByteArray& file, const QString& fileName) {
    if (file.size() < 1024 || file.size() % kPage != 0)
        damaged(fileName, QStringLiteral("file size %1 is not a whole number of pages").arg(file.size()));
    const Header dir = readHeader(file, 0, fileName);
    if (!(dir.options & kCdxDirectory) || dir.keyLength != 10) damaged(fileName, QStringLiteral("no tag directory"));
    std::vector<CdxTagInfo> tags;
    EachKey names(dir.keyLength, [&](const char* key, uint32_t rec) {
        if (tags.size() >= 256) damaged(fileName, QStringLiteral("more than 256 tags"));
        CdxTagInfo t;
        t.name = QByteArray(key, 10).trimmed().toUpper();
        t.headerOffset = rec;
        tags.push_back(t);
    });
    walkLeaves(file, dir.root, dir.keyLength, ' ', fileName, names);
    for (CdxTagInfo& t : tags) {
        const Header h = readHeader(file, t.headerOffset, fileName);
        t.root = h.root;
        t.keyLength = h.keyLength;
        t.options = h.options;
        t.descending = h.descending;
        t.keyExpr = h.keyExpr;
        t.forExpr = h.forExpr;
        if (t.keyExpr.isEmpty()) damaged(fileName, QStringLiteral("tag %1 has no key expression").arg(QString::fromLatin1(t.name)));
    }
    std::stable_sort(tags.begin(), tags.end(), [](const CdxTagInfo& a, const CdxTagInfo& b) { return a.headerOffset < b.headerOffset; });
    return tags;
}

namespace {

// A decoded key must follow the one before it: they share dup bytes, so the
// first byte after those usually decides the order.
void checkAfter(const char* prevKey, uint32_t prevRec, const char* newKey, uint32_t rec, int dup, size_t kl,
                const CdxTagInfo& tag, const QString& fileName) {
    const auto* prev = reinterpret_cast<const unsigned char*>(prevKey);
    const auto* key = reinterpret_cast<const unsigned char*>(newKey);
    const size_t d = size_t(dup);
    int c = 0;
    if (d < kl) c = prev[d] != key[d] ? (prev[d] < key[d] ? -1 : 1) : std::memcmp(prev + d, key + d, kl - d);
    if (c > 0 || (c == 0 && prevRec >= rec))
        damaged(fileName, QStringLiteral("tag %1 is out of order").arg(QString::fromLatin1(tag.name)));
}

// A sink that appends the keys to a tag's key buffer, decoding each in place
// and checking it against the one before: they share dup bytes, so the first
// byte after those usually decides the order.
template <class Bytes>
struct IntoTagKeys {
    Bytes& keys;
    std::vector<uint32_t>& recnos;
    const CdxTagInfo& tag;
    const QString& fileName;
    size_t kl;
    size_t n;
    char* slot() {
        const size_t need = (n + 1) * kl;
        if (keys.size() < need) keys.resize(std::max(need, keys.size() * 2));
        return keys.data() + n * kl;
    }
    const char* previous() const { return n ? keys.data() + (n - 1) * kl : nullptr; }
    void commit(uint32_t rec, int dup) {
        if (n > 0) checkAfter(keys.data() + (n - 1) * kl, recnos.back(), keys.data() + n * kl, rec, dup, kl, tag, fileName);
        recnos.push_back(rec);
        ++n;
    }
};

// The same into a tag's chunked keys: the key before stays put while the
// next is decoded, whichever chunk either lies in.
struct IntoSortedKeys {
    SortedKeys& keys;
    const CdxTagInfo& tag;
    const QString& fileName;
    size_t kl;
    char* at = nullptr;
    char* slot() { return at = keys.next(); }
    const char* previous() const { return keys.last(); }
    void commit(uint32_t rec, int dup) {
        if (const char* prev = keys.last()) checkAfter(prev, keys.lastRecno(), at, rec, dup, kl, tag, fileName);
        keys.push(rec);
    }
};

}  // namespace

void ReadCdxKeys(const QByteArray& file, const CdxTagInfo& tag, char fill, SortedKeys& keys, const QString& fileName) {
    if (keys.keyLength() != tag.keyLength) damaged(fileName, QStringLiteral("key buffer out of step"));
    IntoSortedKeys into{keys, tag, fileName, size_t(tag.keyLength)};
    keys.reserve(countLeafKeys(file, tag.root, tag.keyLength));
    walkLeaves(file, tag.root, tag.keyLength, fill, fileName, into);
}

template <class Bytes>
void ReadCdxKeys(const QByteArray& file, const CdxTagInfo& tag, char fill, Bytes& keys, std::vector<uint32_t>& recnos,
                 const QString& fileName) {
    const size_t kl = size_t(tag.keyLength);
    IntoTagKeys<Bytes> into{keys, recnos, tag, fileName, kl, recnos.size()};
    const size_t expected = countLeafKeys(file, tag.root, tag.keyLength);
    keys.resize(std::max(keys.size(), (into.n + expected) * kl));
    recnos.reserve(into.n + expected);
    walkLeaves(file, tag.root, tag.keyLength, fill, fileName, into);
    keys.resize(into.n * kl);
}

template void ReadCdxKeys(const QByteArray&, const CdxTagInfo&, char, KeyBytes&, std::vector<uint32_t>&, const QString&);
template void ReadCdxKeys(const QByteArray&, const CdxTagInfo&, char, std::vector<char>&, std::vector<uint32_t>&,
                          const QString&);

void ReadCdxLeafKeys(const QByteArray& file, uint32_t page, const CdxTagInfo& tag, char fill, SortedKeys& keys,
                     const QString& fileName) {
    if (page % kPage != 0 || qint64(page) + kPage > file.size() || page < 1024)
        damaged(fileName, QStringLiteral("leaf page at %1 lies outside the file").arg(page));
    if (keys.keyLength() != tag.keyLength) damaged(fileName, QStringLiteral("key buffer out of step"));
    // The leaf's first key shares no bytes and is checked against the last
    // key already there, so leaves read one by one keep the tag's order too.
    IntoSortedKeys into{keys, tag, fileName, size_t(tag.keyLength)};
    decodeLeaf(file, page, tag.keyLength, fill, fileName, into);
}

uint32_t ReadCdxChangeCounter(const QByteArray& file) { return file.size() < 12 ? 0 : ReadBe32(file.constData() + 8); }

QByteArray BuildCdxFile(const std::vector<CdxTagContent>& tags, uint32_t maxRecno, uint32_t changeCounter) {
    QByteArray out;
    out.reserve(4096);
    PageWriter w(out);
    w.allocate(2);  // file header

    // Directory keys: tag names sorted, pointing at the tag headers, which
    // follow the directory. A directory that fits one leaf (the usual case)
    // sits at 0x400 like FoxPro's own files; otherwise the headers go first.
    std::vector<size_t> byName(tags.size());
    for (size_t i = 0; i < tags.size(); ++i) byName[i] = i;
    std::sort(byName.begin(), byName.end(), [&](size_t a, size_t b) { return tags[a].info.name < tags[b].info.name; });

    auto directoryFits = [&]() {
        const CdxLeafLayout lay = leafLayout(10, 0x400 + uint32_t(tags.size() + 1) * 1024 + 1024);
        int used = 0;
        for (const CdxTagContent& t : tags) used += lay.entrySize + std::min<int>(10, int(t.info.name.size()));
        return used <= 488;
    };
    const bool dirFirst = directoryFits();
    const uint32_t headersStart = dirFirst ? 0x600 : 0x400;

    std::vector<char> dirKeys;
    std::vector<uint32_t> dirRecs;
    for (size_t idx : byName) {
        QByteArray name = tags[idx].info.name.toUpper().left(10);
        name.append(QByteArray(10 - name.size(), ' '));
        dirKeys.insert(dirKeys.end(), name.constBegin(), name.constEnd());
        dirRecs.push_back(headersStart + uint32_t(idx) * 1024);
    }
    uint32_t dirRoot = 0;
    const uint32_t maxHeader = headersStart + uint32_t(tags.size()) * 1024;
    if (dirFirst) dirRoot = writeTree(w, dirKeys.data(), dirRecs.data(), dirRecs.size(), 10, ' ', maxHeader);
    for (size_t i = 0; i < tags.size(); ++i) w.allocate(2);
    if (!dirFirst) dirRoot = writeTree(w, dirKeys.data(), dirRecs.data(), dirRecs.size(), 10, ' ', maxHeader);
    writeHeader(w.at(0), dirRoot, 10, kCdxCompact | kCdxCompound | kCdxDirectory, false, {}, {});
    WriteBe32(w.at(0) + 8, changeCounter);

    for (size_t i = 0; i < tags.size(); ++i) {
        const CdxTagContent& t = tags[i];
        const uint32_t root = writeTree(w, t.keys, t.recnos, t.count, t.info.keyLength, t.fill, maxRecno);
        uint8_t options = kCdxCompact | kCdxCompound | (t.info.options & kCdxUnique);
        if (!t.info.forExpr.isEmpty()) options |= kCdxHasFor;
        writeHeader(w.at(headersStart + uint32_t(i) * 1024), root, t.info.keyLength, options, t.info.descending,
                    t.info.keyExpr, t.info.forExpr);
    }
    return out;
}

namespace {
constexpr size_t kHugePage = size_t(2) << 20;
}

void* AllocateLargeBuffer(size_t bytes) {
    if (bytes < kHugePage) {
        void* p = std::malloc(std::max<size_t>(bytes, 1));
        if (!p) throw std::bad_alloc();
        return p;
    }
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* p = std::aligned_alloc(kHugePage, rounded);
    if (!p) throw std::bad_alloc();
    ::madvise(p, rounded, MADV_HUGEPAGE);  // only advice: fine where it is refused
    return p;
}

void FreeLargeBuffer(void* p, size_t) { std::free(p); }

void EncodeNumericKey(double value, char out[8]) {
    if (value == 0) value = 0;  // -0 sorts as +0
    uint64_t bits;
    std::memcpy(&bits, &value, 8);
    if (value < 0) bits = ~bits;
    else bits ^= 0x8000000000000000ull;
    for (int i = 0; i < 8; ++i) out[i] = char((bits >> (56 - 8 * i)) & 0xFF);
}

double DecodeNumericKey(const char in[8]) {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = bits << 8 | uint8_t(in[i]);
    if (bits & 0x8000000000000000ull) bits ^= 0x8000000000000000ull;
    else bits = ~bits;
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

}  // namespace orv
