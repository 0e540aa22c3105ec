#pragma once
// The page decoding engine under TOrvFaxUnpacker, the viewer and the printer:
// decodes one APF page's Modified Huffman data into raster lines (one bit per
// pixel, most significant bit leftmost, 1 = black), keeps only lines of a full
// page width (1728 or 2048 pixels), optionally squeezes long runs of blank
// lines, corrects the aspect of standard-resolution pages and builds a 1-bit
// QImage of the page, cropped on the right to its widest content and
// optionally scaled.
//
// It reads a page through the page chain of an APF file or from a buffer in
// memory, in either storage form, and never past the page's ImageLength or the
// end of the buffer: a page without an end-of-page code ends where its data end.
#include "images/apf_file.h"

#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace orv {

enum TAutoScaleMode { asNone, asDoubleHeight, asHalfWidth };

class FaxUnpackEngine {
public:
    // Engine flags. Double height and half width exclude each other.
    enum : unsigned { ufYield = 1, ufDoubleHeight = 2, ufHalfWidth = 4, ufAbort = 8 };

    // A decoded line after the output stage: len bytes (0 = a released blank
    // line, all background).
    using LineSink = std::function<void(const uint8_t* data, int len)>;
    // Progress: file name (empty for a buffer), page, bytes taken so far, bytes of the page.
    using StatusSink = std::function<void(const QString& fileName, int page, qint64 unpacked, qint64 toUnpack)>;

    FaxUnpackEngine();

    // Returns the engine to its defaults (no flags, no compression, 1:1).
    void reset();
    void setFlag(unsigned flag, bool on);
    unsigned flags() const { return flags_; }
    void setAutoScale(TAutoScaleMode mode);
    // 0, or -1002 when from < to or when from is 0 and to is not. (0, 0) is off.
    int setWhitespace(int from, int to);
    // Scale factors; a 0 counts as 1.
    void setScaling(int horizMult, int horizDiv, int vertMult, int vertDiv);
    // Off: standard-resolution pages are delivered as coded, one row per line
    // at full width, whatever the scale mode (`orvfax decode` without options).
    void setAspectCorrection(bool on) { aspectCorrection_ = on; }
    // Off: bitmaps keep the full line width instead of the widest content.
    void setCropToContent(bool on) { cropToContent_ = on; }
    // Ends the page being decoded early (it ends normally with what was decoded).
    void requestAbort() { flags_ |= ufAbort; }

    void setStatusSink(StatusSink sink) { status_ = std::move(sink); }

    // Decodes page `page` of an APF file and hands every output line to sink.
    int decodePageLines(const QString& fileName, int page, bool invert, const LineSink& sink);
    // The same for the image data of one page held in memory.
    int decodeDataLines(const uint8_t* data, size_t size, uint16_t pageFlags, bool invert, const LineSink& sink);

    // Decodes a page into a 1-bit image. With invert the bits are 1 = white,
    // as in the bitmaps of the viewer and printer; the colour table makes the
    // image look right either way. A page without a decodable line gives a null
    // image and 0.
    int decodePage(const QString& fileName, int page, bool invert, QImage& image);
    int decodeData(const uint8_t* data, size_t size, uint16_t pageFlags, bool invert, QImage& image);

    // Counters of the last page.
    int linesOutput() const { return linesOutput_; }
    int codesRejected() const { return codesRejected_; }
    qint64 bytesUnpacked() const { return bytesUnpacked_; }
    qint64 bytesToUnpack() const { return bytesToUnpack_; }
    // The page header of the last page decoded from a file.
    const ApfPageHeader& pageHeader() const { return pageHeader_; }

    // Decode tree entry: >= 0 the next inner node; otherwise a leaf.
    static constexpr int16_t kLeafEol = -3000;
    static constexpr int16_t kLeafInvalid = -3001;
    struct Tree {
        std::vector<int16_t> next;  // 2 entries per node (bit 0, bit 1); root is node 0
        int nodes() const { return int(next.size() / 2); }
    };
    const Tree& whiteTree() const { return *white_; }
    const Tree& blackTree() const { return *black_; }

private:
    class Input;
    struct LineBuilder;
    class FastDecoder;
    // Decodes the page whose header seekPage just read into pageHeader_.
    int decodeFoundPage(ApfReader& reader, int page, bool invert, const LineSink& sink);
    int run(Input& in, uint16_t pageFlags, bool invert, const LineSink& sink);
    // The table-driven path (unpack_fast.cpp): decodes exactly as the walk in run().
    int runFast(Input& in, bool highRes, bool invert, const LineSink& sink);
    int imageFromLines(bool wide, bool invert, const std::function<int(const LineSink&)>& decode, QImage& image);
    void acceptLine(const uint8_t* line, int len, bool highRes, bool invert, const LineSink& sink);
    void emitLine(const uint8_t* line, int len, bool highRes, bool invert, const LineSink& sink);
    void releaseWithheld(bool atEnd, bool highRes, bool invert, const LineSink& sink);

    // The code tables never change, so every engine shares one pair of trees
    // (made on first use): an engine is cheap to make, one per page or call.
    const Tree* white_;
    const Tree* black_;
    unsigned flags_ = 0;
    int wsFrom_ = 0, wsTo_ = 0, withheld_ = 0;
    int horizMult_ = 1, horizDiv_ = 1, vertMult_ = 1, vertDiv_ = 1;
    bool aspectCorrection_ = true;
    bool cropToContent_ = true;
    int linesOutput_ = 0, codesRejected_ = 0, lastYieldAt_ = -1;
    qint64 bytesUnpacked_ = 0, bytesToUnpack_ = 0;
    ApfPageHeader pageHeader_;
    QString fileName_;
    int page_ = 0;
    StatusSink status_;
    uint8_t out_[512];
};

}  // namespace orv
