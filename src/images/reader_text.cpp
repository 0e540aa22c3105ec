// Text input (idText): plain text set in the built-in fax font, one raster line
// per glyph row, LinesPerPage text lines per page, form feeds ending pages.
// Text files are Windows-1252; a file that is valid UTF-8 with non-ASCII
// characters is taken as UTF-8 (what Linux editors write) and mapped to it.
#include "common/cp1252.h"
#include "common/orv_error.h"
#include "images/apf_file.h"
#include "images/fax_font.h"
#include "images/fax_readers.h"

#include <QFile>
#include <QStringDecoder>
#include <optional>

namespace orv {
namespace {

constexpr int kMaxTextLine = 144;

QByteArray toFontEncoding(QByteArray data) {
    if (data.startsWith("\xEF\xBB\xBF")) data.remove(0, 3);
    bool ascii = true;
    for (char c : data)
        if (uchar(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii) return data;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(data);
    return utf8.hasError() ? data : toCp1252(text);
}

class TextReader : public FaxInputReader {
public:
    explicit TextReader(QByteArray font) : font_(std::move(font)) {}
    QString defaultExtension() const override { return QStringLiteral("TXT"); }

    int open(const QString& fileName, ConversionState& st) override {
        if (font_.size() != kFaxFontSize) return ecFontFileNotFound;
        if (fileName.isEmpty()) return ecFileNotFound;
        QFile f(fileName);
        if (!f.exists()) return ecFileNotFound;
        if (!f.open(QIODevice::ReadOnly)) return FileErrorCode(f, ecAccessDenied);
        const QByteArray raw = f.readAll();
        if (f.error() != QFileDevice::NoError) return FileErrorCode(f, ecDiskRead);
        data_ = toFontEncoding(raw);
        pos_ = 0;
        st.bytesToConvert = raw.size();
        st.doubleWidth = st.halfHeight = false;
        st.centerOffset = 0;
        small_ = st.smallFont;
        cell_ = small_ ? kSmallCellWidth : kStandardCellWidth;
        glyphRows_ = small_ ? kSmallGlyphRows : kStandardGlyphRows;
        rowsPerLine_ = st.fine ? 2 * glyphRows_ : glyphRows_;
        maxChars_ = st.width / cell_ - st.leftMargin / cell_;
        if (maxChars_ < 0) maxChars_ = 0;
        tabStop_ = st.tabStop > 0 ? st.tabStop : 4;
        return 0;
    }

    int readLine(ConversionState& st, uint8_t* raster, int& len, bool& endOfPage, bool& morePages) override {
        len = 0;
        endOfPage = morePages = false;
        if (current_ && row_ < rowsPerLine_) {
            render(raster, len);
            return 0;
        }
        current_.reset();
        if (endPageAfterLine_) {
            endPageAfterLine_ = false;
            return endPage(endOfPage, morePages);
        }
        QByteArray line;
        if (held_) {
            line = *held_;
            held_.reset();
        } else if (pos_ >= data_.size()) {
            if (!pageHasLine_) {  // an empty page still gets one blank line
                pageHasLine_ = true;
                return 0;
            }
            endOfPage = true;
            return 0;
        } else {
            const int before = int(pos_);
            line = nextTextLine();
            st.bytesConverted = std::min(st.bytesToConvert, st.bytesConverted + (pos_ - before) + 2);
        }
        if (st.linesPerPage > 0 && linesOnPage_ >= st.linesPerPage) {
            held_ = line;
            return endPage(endOfPage, morePages);
        }
        // A form feed ends the page after the text before it; the text after it
        // opens the next page.
        const int ff = int(line.indexOf('\f'));
        if (ff >= 0) {
            const QByteArray rest = line.mid(ff + 1);
            if (!rest.isEmpty()) held_ = rest;
            line.truncate(ff);
            if (line.isEmpty()) return endPage(endOfPage, morePages);
            endPageAfterLine_ = true;
        }
        current_ = layout(line);
        row_ = 0;
        ++linesOnPage_;
        pageHasLine_ = true;
        render(raster, len);
        return 0;
    }

    int close() override { return 0; }

private:
    int endPage(bool& endOfPage, bool& morePages) {
        endOfPage = true;
        morePages = held_.has_value() || pos_ < data_.size();
        linesOnPage_ = 0;
        pageHasLine_ = false;
        return 0;
    }

    // One line of the file without its end (CR, LF or CR LF), at most 144
    // characters (the rest of a longer line is skipped).
    QByteArray nextTextLine() {
        const qsizetype start = pos_;
        while (pos_ < data_.size() && data_[pos_] != '\n' && data_[pos_] != '\r') ++pos_;
        QByteArray line = data_.mid(start, std::min<qsizetype>(pos_ - start, kMaxTextLine));
        if (pos_ < data_.size()) {
            if (data_[pos_] == '\r' && pos_ + 1 < data_.size() && data_[pos_ + 1] == '\n') ++pos_;
            ++pos_;
        }
        return line;
    }

    QByteArray layout(const QByteArray& line) const {
        QByteArray out;
        for (char c : line) {
            if (c == '\t') {
                do out.append(' ');
                while (out.size() % tabStop_ != 0);
            } else {
                out.append(c);
            }
        }
        out.truncate(maxChars_);
        return out;
    }

    void render(uint8_t* raster, int& len) {
        const QByteArray& text = *current_;
        const int glyphRow = rowsPerLine_ == glyphRows_ ? row_ : row_ / 2;
        ++row_;
        const uint32_t mask = ~0u << (24 - cell_);
        for (int i = 0; i < text.size(); ++i) {
            const uint32_t bits = FaxGlyphRow(font_, small_, uchar(text[i]), glyphRow) & mask;
            if (!bits) continue;
            // Place the 24-bit row at pixel x: spread over up to 4 bytes.
            const int x = i * cell_;
            const uint64_t v = uint64_t(bits) << (40 - (x & 7));  // bit 63 = pixel (x & ~7)
            uint8_t* d = raster + x / 8;
            for (int k = 0; k < 4; ++k) d[k] |= uint8_t(v >> (56 - 8 * k));
        }
        len = (int(text.size()) * cell_ + 7) / 8;
    }

    QByteArray font_;
    QByteArray data_;
    qsizetype pos_ = 0;
    bool small_ = false;
    int cell_ = kStandardCellWidth, glyphRows_ = kStandardGlyphRows, rowsPerLine_ = kStandardGlyphRows;
    int maxChars_ = 84, tabStop_ = 4;
    std::optional<QByteArray> current_, held_;
    int row_ = 0, linesOnPage_ = 0;
    bool pageHasLine_ = false, endPageAfterLine_ = false;
};

}  // namespace

std::unique_ptr<FaxInputReader> MakeTextReader(QByteArray font) { return std::make_unique<TextReader>(std::move(font)); }

}  // namespace orv
