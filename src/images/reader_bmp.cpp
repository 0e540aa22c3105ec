// Bitmap input (idBmp): a 1-bit Windows BMP is read row by row as stored;
// anything else Qt can load (a colour or grey BMP, and other image files) is
// first made 1-bit by ordered dithering, in memory.
#include "common/orv_error.h"
#include "images/apf_file.h"
#include "images/fax_readers.h"
#include "images/mono_bitmap.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <vector>

namespace orv {
namespace {

uint32_t u32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t u16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

class BmpReader : public FaxInputReader {
public:
    BmpReader() = default;
    explicit BmpReader(QByteArray bytes) : memory_(std::move(bytes)), fromMemory_(true) {}

    QString defaultExtension() const override { return QStringLiteral("BMP"); }

    int open(const QString& fileName, ConversionState& st) override {
        if (fromMemory_) {
            buffer_.setData(memory_);
            buffer_.open(QIODevice::ReadOnly);
            dev_ = &buffer_;
        } else {
            if (fileName.isEmpty()) return ecFileNotFound;
            file_.setFileName(fileName);
            if (!file_.exists()) return ecFileNotFound;
            if (!file_.open(QIODevice::ReadOnly)) return FileErrorCode(file_, ecAccessDenied);
            dev_ = &file_;
            if (!isOneBitBmp()) {
                // Not monochrome: dither a copy. When Qt cannot load it either,
                // the file itself goes on to the checks below and is refused there.
                const QImage image(fileName);
                if (!image.isNull()) {
                    QByteArray bytes = MonoBmpBytes(image);
                    if (!bytes.isEmpty()) {
                        file_.close();
                        memory_ = std::move(bytes);
                        buffer_.setData(memory_);
                        buffer_.open(QIODevice::ReadOnly);
                        dev_ = &buffer_;
                    }
                }
            }
        }
        return readHeaders(st);
    }

    int readLine(ConversionState& st, uint8_t* raster, int& len, bool& endOfPage, bool& morePages) override {
        len = 0;
        endOfPage = morePages = false;
        if (st.lineCounter > height_) {
            endOfPage = true;
            return 0;
        }
        const int index = st.lineCounter - 1;  // 0 = top row
        const qint64 pos = topDown_ ? firstRow_ + qint64(index) * stride_ : firstRow_ - qint64(index) * stride_;
        if (!dev_->seek(pos) || dev_->read(reinterpret_cast<char*>(row_.data()), rowBytes_) != rowBytes_)
            return fromMemory_ ? ecDiskRead : FileErrorCode(file_, ecDiskRead);
        PlaceImageRow(st, row_.data(), rowBytes_, width_, invert_, raster);
        len = rowBytes_ + st.centerOffset;
        st.bytesConverted += rowBytes_;
        return 0;
    }

    int close() override {
        if (file_.isOpen()) file_.close();
        if (buffer_.isOpen()) buffer_.close();
        return 0;
    }

private:
    bool isOneBitBmp() {
        uint8_t h[30];
        const bool ok = dev_->read(reinterpret_cast<char*>(h), 30) == 30 && h[0] == 'B' && h[1] == 'M' && u16(h + 28) == 1;
        dev_->seek(0);
        return ok;
    }

    int readHeaders(ConversionState& st) {
        uint8_t h[54];
        if (dev_->read(reinterpret_cast<char*>(h), 54) != 54) return ecBadGraphicsFormat;
        const uint32_t offBits = u32(h + 10);
        const uint32_t infoSize = u32(h + 14);
        const int32_t width = int32_t(u32(h + 18));
        const int32_t height = int32_t(u32(h + 22));
        const uint16_t bitCount = u16(h + 28);
        const uint32_t compression = u32(h + 30);
        if (h[0] != 'B' || h[1] != 'M' || bitCount != 1 || width <= 0 || width > st.width || infoSize < 40 ||
            compression != 0 || height == 0 || height == INT32_MIN)
            return ecBadGraphicsFormat;
        width_ = width;
        height_ = height < 0 ? -height : height;
        topDown_ = height < 0;
        rowBytes_ = (width + 7) / 8;
        stride_ = (rowBytes_ + 3) / 4 * 4;
        row_.assign(size_t(stride_), 0);

        // Bit 0 is black in a monochrome bitmap; a palette that makes entry 0
        // the light one is honoured so such files do not come out negative.
        invert_ = true;
        uint8_t pal[8];
        if (dev_->seek(14 + qint64(infoSize)) && dev_->read(reinterpret_cast<char*>(pal), 8) == 8 &&
            offBits >= 14 + infoSize + 8) {
            auto grey = [](const uint8_t* q) { return (q[0] + q[1] + q[2]) / 3; };
            if (grey(pal) > grey(pal + 4)) invert_ = false;
        }

        const qint64 size = dev_->size();
        const qint64 pixelBytes = qint64(stride_) * height_;
        if (offBits >= 54 && offBits + pixelBytes <= size) {
            firstRow_ = topDown_ ? offBits : offBits + pixelBytes - stride_;
        } else if (!topDown_ && pixelBytes + 54 <= size) {
            firstRow_ = size - stride_;  // rows counted back from the end of the file
        } else {
            return ecBadGraphicsFormat;
        }
        st.applyImageWidth(width_);
        st.bytesToConvert = qint64(rowBytes_) * height_;
        return 0;
    }

    QFile file_;
    QByteArray memory_;
    QBuffer buffer_;
    bool fromMemory_ = false;
    QIODevice* dev_ = nullptr;
    int width_ = 0, height_ = 0, rowBytes_ = 0, stride_ = 0;
    bool topDown_ = false, invert_ = true;
    qint64 firstRow_ = 0;
    std::vector<uint8_t> row_;
};

}  // namespace

std::unique_ptr<FaxInputReader> MakeBmpReader() { return std::make_unique<BmpReader>(); }
std::unique_ptr<FaxInputReader> MakeBmpReader(QByteArray bmpBytes) { return std::make_unique<BmpReader>(std::move(bmpBytes)); }

}  // namespace orv
