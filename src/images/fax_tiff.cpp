#include "images/fax_tiff.h"

#include "common/orv_error.h"
#include "images/apf_file.h"
#include "images/mh_encoder.h"
#include "images/unpack_engine.h"

#include <QFile>
#include <QSaveFile>
#include <new>
#include <set>
#include <vector>

namespace orv {
namespace {

// ---- writing -------------------------------------------------------------------

void put16(QByteArray& b, uint32_t v) {
    b += char(v & 0xFF);
    b += char(v >> 8 & 0xFF);
}
void put32(QByteArray& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

enum : uint16_t { tShort = 3, tLong = 4, tRational = 5, tAscii = 2 };

struct Entry {
    uint16_t tag, type;
    uint32_t count, value;  // value, or offset of the values
};

// One page's IFD at `at`, its values after it and the image data after them;
// returns the bytes, `next` is the offset of the following IFD (0 for none).
QByteArray pageBlock(uint32_t at, int width, int lines, bool fine, int page, int pageCount, const QByteArray& data,
                     bool last) {
    static const QByteArray software("Orvane\0", 7);
    constexpr int kEntries = 18;
    const uint32_t ifdSize = 2 + kEntries * 12 + 4;
    const uint32_t xres = at + ifdSize, yres = xres + 8, soft = yres + 8;
    const uint32_t dataAt = soft + uint32_t(software.size()) + 1;  // even
    const uint32_t next = last ? 0 : dataAt + uint32_t(data.size()) + uint32_t(data.size() & 1);
    const Entry entries[kEntries] = {
        {254, tLong, 1, 2},  // a page of a multi-page document
        {256, tLong, 1, uint32_t(width)},
        {257, tLong, 1, uint32_t(lines)},
        {258, tShort, 1, 1},
        {259, tShort, 1, 3},  // CCITT Group 3
        {262, tShort, 1, 0},  // white is zero
        {266, tShort, 1, 2},  // first bit in the least significant bit
        {273, tLong, 1, dataAt},
        {274, tShort, 1, 1},
        {277, tShort, 1, 1},
        {278, tLong, 1, uint32_t(lines)},
        {279, tLong, 1, uint32_t(data.size())},
        {282, tRational, 1, xres},
        {283, tRational, 1, yres},
        {292, tLong, 1, 4},  // one-dimensional, EOLs end on byte boundaries
        {296, tShort, 1, 2},  // inches
        {297, tShort, 2, uint32_t(page - 1) | uint32_t(pageCount) << 16},
        {305, tAscii, uint32_t(software.size()), soft},
    };
    QByteArray b;
    b.reserve(int(dataAt - at) + data.size() + 1);
    put16(b, kEntries);
    for (const Entry& e : entries) {
        put16(b, e.tag);
        put16(b, e.type);
        put32(b, e.count);
        if (e.type == tShort && e.count == 1) {
            put16(b, e.value);
            put16(b, 0);
        } else {
            put32(b, e.value);
        }
    }
    put32(b, next);
    put32(b, 204);
    put32(b, 1);
    put32(b, fine ? 196 : 98);
    put32(b, 1);
    b += software;
    b += '\0';
    b += data;
    if (data.size() & 1) b += '\0';
    return b;
}

int codePage(FaxUnpackEngine& engine, const QString& apf, int page, int width, QByteArray& data, int& lines) {
    static const MhEncoder encoder;
    std::vector<uint8_t> raster(4096 + 8, 0);
    uint8_t out[MhEncoder::kBufferSize];
    data.clear();
    lines = 0;
    try {
        const int rc = engine.decodePageLines(apf, page, false, [&](const uint8_t* d, int len) {
            std::fill(raster.begin(), raster.end(), 0);
            std::copy(d, d + std::min(len, width / 8), raster.begin());
            const int n = encoder.encodeLine(raster.data(), width, 0, false, out);
            data.append(reinterpret_cast<const char*>(out), n);
            ++lines;
        });
        if (rc < 0) return rc;
        if (lines == 0) {  // nothing decodable: one white line
            const int n = encoder.encodeLine(raster.data(), width, 0, false, out);
            data.append(reinterpret_cast<const char*>(out), n);
            lines = 1;
        }
        // Return to control, six EOLs each ending on a byte boundary: readers
        // such as efix look for it at the end of a page.
        for (int i = 0; i < 6; ++i) data.append("\x00\x80", 2);
        return ecOK;
    } catch (const std::bad_alloc&) {
        return ecOutOfMemory;
    }
}

// ---- reading -------------------------------------------------------------------

class TiffFile {
public:
    explicit TiffFile(QByteArray bytes) : b_(std::move(bytes)) {}

    bool header(uint32_t& firstIfd) {
        if (b_.size() < 8) return false;
        if (b_.startsWith("II")) big_ = false;
        else if (b_.startsWith("MM")) big_ = true;
        else return false;
        return u16(2) == 42 && (firstIfd = u32(4), true);
    }
    bool has(qint64 at, qint64 n) const { return at >= 0 && n >= 0 && at + n <= b_.size(); }
    uint32_t u16(qint64 at) const {
        const auto* p = reinterpret_cast<const uint8_t*>(b_.constData() + at);
        return big_ ? uint32_t(p[0] << 8 | p[1]) : uint32_t(p[1] << 8 | p[0]);
    }
    uint32_t u32(qint64 at) const {
        return big_ ? (u16(at) << 16 | u16(at + 2)) : (u16(at + 2) << 16 | u16(at));
    }
    const QByteArray& bytes() const { return b_; }

    struct Dir {
        std::vector<std::pair<uint16_t, std::vector<uint32_t>>> values;  // rationals as numerator, denominator
        uint32_t next = 0;
        const std::vector<uint32_t>* get(uint16_t tag) const {
            for (const auto& [t, v] : values)
                if (t == tag && !v.empty()) return &v;
            return nullptr;
        }
        uint32_t one(uint16_t tag, uint32_t fallback) const {
            const auto* v = get(tag);
            return v ? (*v)[0] : fallback;
        }
    };

    // False for a directory that leaves the file.
    bool dir(uint32_t at, Dir& d) const {
        if (!has(at, 2)) return false;
        const uint32_t n = u16(at);
        if (!has(at + 2, qint64(n) * 12 + 4)) return false;
        for (uint32_t i = 0; i < n; ++i) {
            const qint64 e = at + 2 + qint64(i) * 12;
            const uint16_t tag = uint16_t(u16(e)), type = uint16_t(u16(e + 2));
            const uint32_t count = u32(e + 4);
            const int size = type == tShort ? 2 : type == tLong ? 4 : type == tRational ? 8 : 0;
            if (size == 0 || count == 0 || count > 100000) continue;
            const qint64 total = qint64(size) * count;
            const qint64 where = total <= 4 ? e + 8 : qint64(u32(e + 8));
            if (!has(where, total)) return false;
            std::vector<uint32_t> v;
            for (uint32_t k = 0; k < count; ++k) {
                if (type == tShort) v.push_back(u16(where + 2 * k));
                else if (type == tLong) v.push_back(u32(where + 4 * k));
                else {
                    v.push_back(u32(where + 8 * k));
                    v.push_back(u32(where + 8 * k + 4));
                }
            }
            d.values.emplace_back(tag, std::move(v));
        }
        d.next = u32(at + 2 + qint64(n) * 12);
        return true;
    }

private:
    QByteArray b_;
    bool big_ = false;
};

uint8_t reversed(uint8_t b) {
    b = uint8_t((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = uint8_t((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return uint8_t((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

int readTiff(const QString& path, QByteArray& bytes) {
    QFile f(path);
    if (path.isEmpty() || !f.exists()) return ecFileNotFound;
    if (!f.open(QIODevice::ReadOnly)) return FileErrorCode(f, ecAccessDenied);
    bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) return FileErrorCode(f, ecDiskRead);
    return ecOK;
}

}  // namespace

int WriteFaxAsTiff(const QString& apfPath, const QString& tiffPath,
                   const std::function<bool(int page, int pageCount)>& progress) {
    ApfReader reader;
    if (const int rc = reader.open(apfPath); rc < 0) return rc;
    const int pageCount = reader.pageCount();
    if (pageCount == 0) return ecFaxBadFormat;
    if (tiffPath.isEmpty()) return ecFileNotFound;
    QSaveFile file(tiffPath);
    if (!file.open(QIODevice::WriteOnly)) return FileErrorCode(file, ecAccessDenied);
    QByteArray head("II");
    put16(head, 42);
    put32(head, 8);
    int rc = file.write(head) == head.size() ? ecOK : FileErrorCode(file, ecDiskWrite);
    uint32_t at = 8;
    FaxUnpackEngine engine;
    engine.setAspectCorrection(false);
    engine.setCropToContent(false);
    for (int p = 1; p <= pageCount && rc == ecOK; ++p) {
        if (progress && !progress(p, pageCount)) {
            rc = ecConvertAbort;
            break;
        }
        ApfPageHeader ph;
        if ((rc = reader.seekPage(p, ph)) < 0) break;
        QByteArray data;
        int lines = 0;
        if ((rc = codePage(engine, apfPath, p, ph.lineWidth(), data, lines)) < 0) break;
        const QByteArray block = pageBlock(at, ph.lineWidth(), lines, ph.highRes(), p, pageCount, data, p == pageCount);
        if (qint64(at) + block.size() > 0xFFFFFFF0LL) {
            rc = ecBadArgument;  // past what a TIFF file can address
            break;
        }
        if (file.write(block) != block.size()) rc = FileErrorCode(file, ecDiskWrite);
        at += uint32_t(block.size());
    }
    if (rc < 0) {
        file.cancelWriting();
        return rc;
    }
    return file.commit() ? ecOK : FileErrorCode(file, ecDiskWrite);
}

bool IsFaxCodedTiff(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    TiffFile t(f.read(1 << 20));
    uint32_t first = 0;
    TiffFile::Dir d;
    if (!t.header(first) || !t.dir(first, d)) return false;
    const uint32_t c = d.one(259, 1);
    return c == 2 || c == 3 || c == 4;
}

int ConvertFaxTiffToApf(const QString& tiffPath, const QString& apfPath, const QByteArray& stationId) {
    QByteArray bytes;
    if (const int rc = readTiff(tiffPath, bytes); rc < 0) return rc;
    TiffFile t(std::move(bytes));
    uint32_t at = 0;
    if (!t.header(at)) return ecBadGraphicsFormat;
    // Check every page before anything is written.
    std::vector<TiffFile::Dir> dirs;
    std::set<uint32_t> seen;
    while (at != 0) {
        if (!seen.insert(at).second || dirs.size() >= 65535) return ecBadGraphicsFormat;
        TiffFile::Dir d;
        if (!t.dir(at, d)) return ecBadGraphicsFormat;
        const uint32_t width = d.one(256, 0);
        const auto* offsets = d.get(273);
        const auto* counts = d.get(279);
        if (d.one(259, 1) != 3 || (d.one(292, 0) & 1) || d.one(258, 1) != 1 || (width != 1728 && width != 2048) ||
            !offsets || !counts || offsets->size() != counts->size())
            return ecBadGraphicsFormat;
        for (size_t i = 0; i < offsets->size(); ++i)
            if (!t.has((*offsets)[i], (*counts)[i])) return ecBadGraphicsFormat;
        at = d.next;
        if (!(d.one(254, 0) & 1)) dirs.push_back(std::move(d));  // reduced-resolution previews are no pages
    }
    if (dirs.empty()) return ecBadGraphicsFormat;

    ApfWriter writer;
    if (const int rc = writer.create(apfPath, stationId.left(kApfStationIdLength)); rc < 0) return rc;
    static const MhEncoder encoder;
    FaxUnpackEngine engine;
    engine.setAspectCorrection(false);
    engine.setCropToContent(false);
    std::vector<uint8_t> raster(4096 + 8, 0);
    uint8_t out[MhEncoder::kBufferSize];
    int rc = ecOK;
    for (const TiffFile::Dir& d : dirs) {
        const int width = int(d.one(256, 1728));
        // Lines per inch (or per centimetre): fine from about 150 per inch on.
        const auto* yres = d.get(283);
        double lpi = yres && yres->size() >= 2 && (*yres)[1] ? double((*yres)[0]) / (*yres)[1] : 98.0;
        if (d.one(296, 2) == 3) lpi *= 2.54;
        const bool fine = lpi >= 150;
        const bool msbFirst = d.one(266, 1) == 1;
        const bool blackIsZero = d.one(262, 0) == 1;
        QByteArray data;
        const auto& offsets = *d.get(273);
        const auto& counts = *d.get(279);
        for (size_t i = 0; i < offsets.size(); ++i) data.append(t.bytes().constData() + offsets[i], counts[i]);
        if (msbFirst)
            for (char& c : data) c = char(reversed(uint8_t(c)));
        const uint16_t flags = uint16_t(pfLengthWords | (fine ? pfHighRes : 0) | (width == 2048 ? pfWide : 0));
        if ((rc = writer.beginPage(flags)) < 0) break;
        const uint32_t rows = d.one(257, 0xFFFFFFFF);
        uint32_t taken = 0;
        int lineRc = ecOK;
        engine.decodeDataLines(reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()),
                               uint16_t((fine ? pfHighRes : 0) | (width == 2048 ? pfWide : 0)), false,
                               [&](const uint8_t* line, int len) {
                                   if (lineRc < 0 || taken >= rows) return;
                                   ++taken;
                                   std::fill(raster.begin(), raster.end(), 0);
                                   for (int k = 0; k < len && k < width / 8; ++k)
                                       raster[size_t(k)] = blackIsZero ? uint8_t(~line[k]) : line[k];
                                   const int n = encoder.encodeLine(raster.data(), width, 0, false, out);
                                   lineRc = writer.writeLineRecord(out, n);
                               });
        if ((rc = lineRc) < 0) break;
        const int n = MhEncoder::encodeEndOfPage(out);
        if ((rc = writer.writeLineRecord(out, n)) < 0) break;
        if ((rc = writer.endPage()) < 0) break;
    }
    if (rc == ecOK) rc = writer.finish();
    if (rc < 0) writer.discard();
    return rc;
}

}  // namespace orv
