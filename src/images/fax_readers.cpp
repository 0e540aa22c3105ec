#include "images/fax_readers.h"

#include "images/fax_converter.h"

#include <cstring>

namespace orv {

void ConversionState::applyImageWidth(int imageWidth) {
    doubleWidth = (options & coDoubleWidth) && !fine && 2 * imageWidth <= width - leftMargin;
    halfHeight = (options & coHalfHeight) && !fine && !doubleWidth;
    centerOffset = 0;
    if ((options & coCenterImage) && width - imageWidth > 15)
        centerOffset = doubleWidth ? (width - 2 * imageWidth) / 32 : (width - imageWidth) / 16;
}

void PlaceImageRow(const ConversionState& st, const uint8_t* row, int rowBytes, int imageWidth, bool invert,
                   uint8_t* raster) {
    const int off = st.centerOffset;
    uint8_t* d = raster + off;
    for (int i = 0; i < rowBytes; ++i) d[i] = invert ? uint8_t(~row[i]) : row[i];
    if (imageWidth % 8 && rowBytes > 0) d[rowBytes - 1] &= uint8_t(0xFF << (8 - imageWidth % 8));
}

namespace {

class UserReader : public FaxInputReader {
public:
    explicit UserReader(UserReaderCalls calls) : calls_(std::move(calls)) {}
    QString defaultExtension() const override { return calls_.extension; }
    int open(const QString& fileName, ConversionState&) override {
        if (calls_.open) calls_.open(fileName);
        return 0;
    }
    int readLine(ConversionState& st, uint8_t* raster, int& len, bool& endOfPage, bool& morePages) override {
        len = 0;
        morePages = false;
        // Without a handler the input is one empty page.
        endOfPage = !calls_.readLine;
        if (calls_.readLine) calls_.readLine(raster, len, endOfPage, morePages);
        len = std::clamp(len, 0, st.width / 8);
        return 0;
    }
    int close() override {
        if (calls_.close) calls_.close();
        return 0;
    }

private:
    UserReaderCalls calls_;
};

}  // namespace

std::unique_ptr<FaxInputReader> MakeUserReader(UserReaderCalls calls) {
    return std::make_unique<UserReader>(std::move(calls));
}

}  // namespace orv
