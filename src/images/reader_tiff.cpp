// TIFF input (idTiff): the first image of a bilevel TIFF, uncompressed or
// PackBits, in strips. One page.
#include "common/orv_error.h"
#include "images/apf_file.h"
#include "images/fax_readers.h"

#include <QFile>
#include <vector>

namespace orv {
namespace {

class TiffReader : public FaxInputReader {
public:
    QString defaultExtension() const override { return QStringLiteral("TIF"); }

    int open(const QString& fileName, ConversionState& st) override {
        if (fileName.isEmpty()) return ecFileNotFound;
        file_.setFileName(fileName);
        if (!file_.exists()) return ecFileNotFound;
        if (!file_.open(QIODevice::ReadOnly)) return FileErrorCode(file_, ecAccessDenied);
        if (const int rc = readDirectory(); rc < 0) return rc;
        if (width_ > uint32_t(st.width)) return ecBadGraphicsFormat;
        rowBytes_ = (width_ + 7) / 8;
        row_.assign(size_t(rowBytes_), 0);
        st.applyImageWidth(width_);
        st.bytesToConvert = qint64(rowBytes_) * height_;
        strip_ = -1;
        rowsLeftInStrip_ = 0;
        return 0;
    }

    int readLine(ConversionState& st, uint8_t* raster, int& len, bool& endOfPage, bool& morePages) override {
        len = 0;
        endOfPage = morePages = false;
        if (st.lineCounter > int(height_)) {
            endOfPage = true;
            return 0;
        }
        if (rowsLeftInStrip_ == 0) {
            if (const int rc = loadStrip(); rc < 0) return rc;
        }
        if (const int rc = nextRow(); rc < 0) return rc;
        --rowsLeftInStrip_;
        if (fillOrderReversed_)
            for (auto& b : row_) b = reverse(b);
        // Photometric 1 (black is zero) stores black as 0 bits; 0 is the fax way.
        PlaceImageRow(st, row_.data(), rowBytes_, int(width_), photometric_ == 1, raster);
        len = rowBytes_ + st.centerOffset;
        st.bytesConverted += rowBytes_;
        return 0;
    }

    int close() override {
        if (file_.isOpen()) file_.close();
        return 0;
    }

private:
    static uint8_t reverse(uint8_t b) {
        b = uint8_t((b & 0xF0) >> 4 | (b & 0x0F) << 4);
        b = uint8_t((b & 0xCC) >> 2 | (b & 0x33) << 2);
        return uint8_t((b & 0xAA) >> 1 | (b & 0x55) << 1);
    }
    uint32_t get16(const uint8_t* p) const { return big_ ? (p[0] << 8 | p[1]) : (p[0] | p[1] << 8); }
    uint32_t get32(const uint8_t* p) const {
        return big_ ? (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3])
                    : (uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]);
    }

    bool readAt(qint64 pos, void* dst, qint64 n) {
        return pos >= 0 && file_.seek(pos) && file_.read(static_cast<char*>(dst), n) == n;
    }

    // The values of one directory entry (SHORT or LONG; others refused).
    bool values(const uint8_t* entry, std::vector<uint32_t>& out) {
        const uint32_t type = get16(entry + 2), count = get32(entry + 4);
        const int size = type == 3 ? 2 : type == 4 ? 4 : 0;
        if (size == 0 || count == 0 || count > 1u << 20) return false;
        std::vector<uint8_t> raw(size_t(count) * size);
        if (raw.size() <= 4) {
            std::memcpy(raw.data(), entry + 8, raw.size());
        } else if (!readAt(get32(entry + 8), raw.data(), qint64(raw.size()))) {
            return false;
        }
        out.resize(count);
        for (uint32_t i = 0; i < count; ++i) out[i] = size == 2 ? get16(&raw[i * 2]) : get32(&raw[i * 4]);
        return true;
    }

    int readDirectory() {
        uint8_t h[8];
        if (!readAt(0, h, 8)) return ecBadGraphicsFormat;
        if (h[0] == 'I' && h[1] == 'I') big_ = false;
        else if (h[0] == 'M' && h[1] == 'M') big_ = true;
        else return ecBadGraphicsFormat;
        if (get16(h + 2) != 42) return ecBadGraphicsFormat;
        const uint32_t ifd = get32(h + 4);
        uint8_t cnt[2];
        if (!readAt(ifd, cnt, 2)) return ecBadGraphicsFormat;
        const uint32_t n = get16(cnt);
        std::vector<uint8_t> entries(size_t(n) * 12);
        if (!readAt(qint64(ifd) + 2, entries.data(), qint64(entries.size()))) return ecBadGraphicsFormat;
        bool haveWidth = false, haveLength = false;
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* e = &entries[size_t(i) * 12];
            const uint32_t tag = get16(e);
            std::vector<uint32_t> v;
            switch (tag) {
            case 255: case 256: case 257: case 258: case 259: case 262: case 266: case 278:
                if (!values(e, v)) return ecBadGraphicsFormat;
                if (tag == 256) width_ = v[0], haveWidth = true;
                if (tag == 257) height_ = v[0], haveLength = true;
                if (tag == 258 && v[0] != 1) return ecBadGraphicsFormat;
                if (tag == 259) {
                    if (v[0] != 1 && v[0] != 32773) return ecBadGraphicsFormat;
                    packBits_ = v[0] == 32773;
                }
                if (tag == 262) photometric_ = v[0];
                if (tag == 266) fillOrderReversed_ = v[0] == 2;
                if (tag == 278) rowsPerStrip_ = v[0];
                break;
            case 273:
                if (!values(e, offsets_)) return ecBadGraphicsFormat;
                break;
            case 279:
                if (!values(e, counts_)) return ecBadGraphicsFormat;
                break;
            default:
                break;
            }
        }
        if (!haveWidth || !haveLength || offsets_.empty() || width_ == 0 || width_ > 65535 || height_ > 1u << 20)
            return ecBadGraphicsFormat;
        if (rowsPerStrip_ == 0) rowsPerStrip_ = height_;
        return 0;
    }

    int loadStrip() {
        ++strip_;
        if (strip_ >= int(offsets_.size())) return ecDeviceReadFault;
        const qint64 start = offsets_[size_t(strip_)];
        const qint64 size = file_.size();
        qint64 count = strip_ < int(counts_.size()) ? qint64(counts_[size_t(strip_)])
                                                    : (packBits_ ? size - start : qint64(rowsPerStrip_) * rowBytes_);
        count = std::clamp<qint64>(count, 0, std::max<qint64>(0, size - start));
        data_.resize(size_t(count));
        if (count > 0 && !readAt(start, data_.data(), count)) return FileErrorCode(file_, ecDeviceReadFault);
        at_ = 0;
        rowsLeftInStrip_ = int(std::min<uint32_t>(rowsPerStrip_, height_));
        return 0;
    }

    int nextRow() {
        if (!packBits_) {
            if (at_ + size_t(rowBytes_) > data_.size()) return ecDeviceReadFault;
            std::memcpy(row_.data(), &data_[at_], size_t(rowBytes_));
            at_ += size_t(rowBytes_);
            return 0;
        }
        int filled = 0;
        while (filled < rowBytes_) {
            if (at_ >= data_.size()) return ecDeviceReadFault;
            const int8_t c = int8_t(data_[at_++]);
            if (c >= 0) {
                const int n = c + 1;
                if (at_ + size_t(n) > data_.size()) return ecDeviceReadFault;
                for (int k = 0; k < n; ++k) {
                    const uint8_t b = data_[at_++];
                    if (filled < rowBytes_) row_[size_t(filled++)] = b;
                }
            } else if (c != -128) {
                const int n = 1 - c;
                if (at_ >= data_.size()) return ecDeviceReadFault;
                const uint8_t b = data_[at_++];
                for (int k = 0; k < n && filled < rowBytes_; ++k) row_[size_t(filled++)] = b;
            }
        }
        return 0;
    }

    QFile file_;
    bool big_ = false, packBits_ = false, fillOrderReversed_ = false;
    uint32_t width_ = 0, height_ = 0, photometric_ = 0, rowsPerStrip_ = 0;
    std::vector<uint32_t> offsets_, counts_;
    std::vector<uint8_t> data_, row_;
    size_t at_ = 0;
    int strip_ = -1, rowsLeftInStrip_ = 0, rowBytes_ = 0;
};

}  // namespace

std::unique_ptr<FaxInputReader> MakeTiffReader() { return std::make_unique<TiffReader>(); }

}  // namespace orv
