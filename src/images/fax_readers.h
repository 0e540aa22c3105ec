#pragma once
// The converter's input readers (internal to the images library): one per
// document kind, each handing over one raster line at a time (one bit per
// pixel, most significant bit leftmost, 1 = black) into a 4096-byte buffer
// that the converter clears to white before every read.
#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

namespace orv {

// What a conversion knows while it runs; readers read and set parts of it.
struct ConversionState {
    int width = 1728;          // page width in pixels
    bool fine = false;
    unsigned options = 0;      // TFaxCvtOptionsSet bits
    int leftMargin = 50;
    int topMargin = 0;
    // Effective for the current image (set by the image readers).
    bool doubleWidth = false;
    bool halfHeight = false;
    int centerOffset = 0;      // bytes
    int page = 0;              // page being converted, from 1
    int lineCounter = 0;       // lines read on this page
    qint64 bytesConverted = 0;
    qint64 bytesToConvert = 0;
    // Text input.
    int tabStop = 4;
    int linesPerPage = 60;
    bool smallFont = false;
    // Pages of the document when the reader knows them (PDF input), else 0.
    int pageTotal = 0;

    // The bitmap rules for double width, half height and centring of an image
    // this many pixels wide.
    void applyImageWidth(int imageWidth);
};

class FaxInputReader {
public:
    virtual ~FaxInputReader() = default;
    virtual QString defaultExtension() const = 0;
    virtual int open(const QString& fileName, ConversionState& st) = 0;
    // len: bytes of the line; endOfPage: no line was read, the page is over;
    // morePages (with endOfPage): another page follows.
    virtual int readLine(ConversionState& st, uint8_t* raster, int& len, bool& endOfPage, bool& morePages) = 0;
    virtual int close() = 0;
};

// Copies one image row into the raster: clears the bits past imageWidth in the
// row's last byte (after inverting when `invert`: stored 0 bits are black), then
// shifts it right by st.centerOffset bytes.
void PlaceImageRow(const ConversionState& st, const uint8_t* row, int rowBytes, int imageWidth, bool invert,
                   uint8_t* raster);

std::unique_ptr<FaxInputReader> MakeBmpReader();
// Reads a BMP held in memory (the converter's QImage entry point).
std::unique_ptr<FaxInputReader> MakeBmpReader(QByteArray bmpBytes);
std::unique_ptr<FaxInputReader> MakeTextReader(QByteArray font);
std::unique_ptr<FaxInputReader> MakeTiffReader();
std::unique_ptr<FaxInputReader> MakePcxReader();
std::unique_ptr<FaxInputReader> MakeDcxReader();
// halftone: a TPdfHalftone value.
std::unique_ptr<FaxInputReader> MakePdfReader(int halftone);

struct UserReaderCalls {
    std::function<void(const QString&)> open;
    std::function<void()> close;
    std::function<void(uint8_t* data, int& len, bool& endOfPage, bool& morePages)> readLine;
    QString extension;
};
std::unique_ptr<FaxInputReader> MakeUserReader(UserReaderCalls calls);

}  // namespace orv
