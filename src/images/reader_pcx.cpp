// PCX input (idPcx, one page) and DCX input (idDcx: a table of PCX pages).
// Only 1-bit, single-plane, run-length encoded PCX images are taken.
#include "common/orv_error.h"
#include "images/apf_file.h"
#include "images/fax_readers.h"

#include <QFile>
#include <vector>

namespace orv {
namespace {

constexpr uint32_t kDcxMagic = 987654321;
constexpr int kDcxMaxPages = 1024;

class PcxReader : public FaxInputReader {
public:
    explicit PcxReader(bool dcx) : dcx_(dcx) {}
    QString defaultExtension() const override { return dcx_ ? QStringLiteral("DCX") : QStringLiteral("PCX"); }

    int open(const QString& fileName, ConversionState& st) override {
        if (fileName.isEmpty()) return ecFileNotFound;
        file_.setFileName(fileName);
        if (!file_.exists()) return ecFileNotFound;
        if (!file_.open(QIODevice::ReadOnly)) return FileErrorCode(file_, ecAccessDenied);
        pages_.clear();
        if (dcx_) {
            uint8_t head[4];
            if (file_.read(reinterpret_cast<char*>(head), 4) != 4 || u32(head) != kDcxMagic) return ecBadGraphicsFormat;
            for (int i = 0; i < kDcxMaxPages; ++i) {
                uint8_t e[4];
                if (file_.read(reinterpret_cast<char*>(e), 4) != 4) break;
                const uint32_t off = u32(e);
                if (off == 0) break;
                pages_.push_back(off);
            }
            if (pages_.empty()) return ecBadGraphicsFormat;
        } else {
            pages_.push_back(0);
        }
        pageIndex_ = 0;
        return openPage(st);
    }

    int readLine(ConversionState& st, uint8_t* raster, int& len, bool& endOfPage, bool& morePages) override {
        len = 0;
        endOfPage = morePages = false;
        if (st.lineCounter > height_) {
            endOfPage = true;
            morePages = pageIndex_ + 1 < int(pages_.size());
            if (morePages) {
                ++pageIndex_;
                return openPage(st);
            }
            return 0;
        }
        // Run-length decode one scan line of bytesPerLine bytes.
        int filled = 0;
        while (filled < bytesPerLine_) {
            if (runLeft_ > 0) {
                const int n = std::min(runLeft_, bytesPerLine_ - filled);
                std::fill_n(line_.begin() + filled, n, runByte_);
                filled += n;
                runLeft_ -= n;
                continue;
            }
            if (at_ >= data_.size()) return ecDeviceReadFault;
            const uint8_t b = data_[at_++];
            if ((b & 0xC0) == 0xC0) {
                if (at_ >= data_.size()) return ecDeviceReadFault;
                runLeft_ = b & 0x3F;
                runByte_ = data_[at_++];
            } else {
                line_[size_t(filled++)] = b;
            }
        }
        // Bit 1 is white in a PCX image.
        PlaceImageRow(st, line_.data(), rowBytes_, width_, true, raster);
        len = rowBytes_ + st.centerOffset;
        st.bytesConverted += rowBytes_;
        return 0;
    }

    int close() override {
        if (file_.isOpen()) file_.close();
        return 0;
    }

private:
    static uint32_t u32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
    static int u16(const uint8_t* p) { return p[0] | p[1] << 8; }

    int openPage(ConversionState& st) {
        const qint64 start = pages_[size_t(pageIndex_)];
        uint8_t h[128];
        if (!file_.seek(start) || file_.read(reinterpret_cast<char*>(h), 128) != 128) return ecBadGraphicsFormat;
        const int xmin = u16(h + 4), ymin = u16(h + 6), xmax = u16(h + 8), ymax = u16(h + 10);
        const int planes = h[65];
        bytesPerLine_ = u16(h + 66);
        width_ = xmax - xmin + 1;
        height_ = ymax - ymin + 1;
        if (h[0] != 10 || h[2] != 1 || h[3] != 1 || width_ <= 0 || width_ > st.width || height_ <= 0 ||
            (planes != 1 && planes != 0))
            return ecBadGraphicsFormat;
        rowBytes_ = (width_ + 7) / 8;
        if (bytesPerLine_ < rowBytes_) return ecBadGraphicsFormat;
        // The page's data run to the next page of a DCX file or to the end.
        qint64 end = file_.size();
        for (uint32_t off : pages_)
            if (off > start && off < end) end = off;
        data_.resize(size_t(std::max<qint64>(0, end - start - 128)));
        if (!data_.empty() && file_.read(reinterpret_cast<char*>(data_.data()), qint64(data_.size())) != qint64(data_.size()))
            return FileErrorCode(file_, ecDeviceReadFault);
        at_ = 0;
        runLeft_ = 0;
        line_.assign(size_t(bytesPerLine_), 0);
        st.applyImageWidth(width_);
        st.bytesToConvert = qint64(rowBytes_) * height_;
        st.bytesConverted = 0;
        return 0;
    }

    bool dcx_;
    QFile file_;
    std::vector<uint32_t> pages_;
    int pageIndex_ = 0;
    std::vector<uint8_t> data_, line_;
    size_t at_ = 0;
    int runLeft_ = 0;
    uint8_t runByte_ = 0;
    int width_ = 0, height_ = 0, rowBytes_ = 0, bytesPerLine_ = 0;
};

}  // namespace

std::unique_ptr<FaxInputReader> MakePcxReader() { return std::make_unique<PcxReader>(false); }
std::unique_ptr<FaxInputReader> MakeDcxReader() { return std::make_unique<PcxReader>(true); }

}  // namespace orv
