// PDF input (idPdf): every page is rendered by Poppler at fax resolution
// (204 pixels per inch across, 196 or 98 lines per inch down) onto the fax
// line after the left margin, centred. A page wider than the line is scaled
// down to fit it, keeping its aspect; a landscape page that would be shrunk
// is turned a quarter to portrait first. Rendering has antialiasing off, so
// text and line art come out as crisp black and white and are thresholded;
// picture areas (many grey levels) are dithered with the converter's ordered
// dither matrix. TPdfHalftone forces one or the other for the whole document.
#include "common/orv_error.h"
#include "images/fax_converter.h"
#include "images/apf_file.h"
#include "images/fax_readers.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMutex>
#include <QStringList>
#include <poppler-qt6.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <future>
#include <memory>
#include <new>
#include <vector>

namespace orv {
namespace {

// Poppler reports problems through one process-wide function; each rendering
// thread collects what it says about the document it works on.
thread_local QStringList* tPopplerMessages = nullptr;

void popplerMessage(const QString& message, const QVariant&) {
    if (tPopplerMessages) tPopplerMessages->append(message);
}

void routePopplerMessages() {
    static std::once_flag once;
    std::call_once(once, [] { Poppler::setDebugErrorFunction(popplerMessage, QVariant()); });
}

struct MessageScope {
    explicit MessageScope(QStringList& list) : previous(tPopplerMessages) { tPopplerMessages = &list; }
    ~MessageScope() { tPopplerMessages = previous; }
    QStringList* previous;
};

bool saysRepaired(const QStringList& messages) {
    for (const QString& m : messages)
        if (m.contains(QLatin1String("damaged"), Qt::CaseInsensitive) ||
            m.contains(QLatin1String("xref"), Qt::CaseInsensitive))
            return true;
    return false;
}

// One page as fax raster lines: `rowBytes` bytes per line, 1 = black.
struct RenderedPage {
    int rc = 0;
    int lines = 0;
    std::vector<uint8_t> bits;
};

constexpr int kTile = 32;

// A 16 x 16 Bayer matrix, values 0..255 (every grey level gets its own share
// of black dots, unlike the bitmap reader's matrix, whose thresholds stop at
// 124 and turn every light grey white).
using Bayer = std::array<std::array<uint8_t, 16>, 16>;
const Bayer& bayer() {
    static const Bayer m = [] {
        Bayer t{};
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                int v = 0;
                for (int bit = 3, xx = x, yy = y; bit >= 0; --bit, xx >>= 1, yy >>= 1)
                    v |= (((xx ^ yy) & 1) << (2 * bit + 1) | (yy & 1) << (2 * bit));
                t[size_t(y)][size_t(x)] = uint8_t(v);
            }
        return t;
    }();
    return m;
}

// Tiles with many grey levels, or almost all grey, are pictures; tiles with
// some grey that touch a picture (its edges) belong to it.
std::vector<uint8_t> pictureTiles(const std::vector<uint8_t>& lum, int w, int h, int tx, int ty) {
    std::vector<uint8_t> grey(size_t(tx) * ty, 0), pict(size_t(tx) * ty, 0);
    for (int j = 0; j < ty; ++j) {
        for (int i = 0; i < tx; ++i) {
            int mid = 0, area = 0;
            unsigned levels = 0;
            for (int y = j * kTile; y < std::min(h, (j + 1) * kTile); ++y) {
                const uint8_t* row = lum.data() + size_t(y) * w;
                for (int x = i * kTile; x < std::min(w, (i + 1) * kTile); ++x) {
                    const uint8_t v = row[x];
                    ++area;
                    if (v >= 24 && v <= 231) {
                        ++mid;
                        levels |= 1u << (v >> 4);
                    }
                }
            }
            const size_t k = size_t(j) * tx + i;
            grey[k] = mid * 16 >= area;
            // A photograph has many grey levels; a filled grey area is mostly
            // one. Thin coloured strokes (coloured text) are neither.
            pict[k] = (mid * 4 >= area && std::popcount(levels) >= 3) || mid * 4 >= area * 3;
        }
    }
    std::vector<uint8_t> out = pict;
    for (int j = 0; j < ty; ++j)
        for (int i = 0; i < tx; ++i) {
            const size_t k = size_t(j) * tx + i;
            if (out[k] || !grey[k]) continue;
            for (int dj = -1; dj <= 1 && !out[k]; ++dj)
                for (int di = -1; di <= 1; ++di) {
                    const int ii = i + di, jj = j + dj;
                    if (ii >= 0 && jj >= 0 && ii < tx && jj < ty && pict[size_t(jj) * tx + ii]) {
                        out[k] = 1;
                        break;
                    }
                }
        }
    return out;
}

// Renders page `index` and makes it bilevel.
RenderedPage renderPage(Poppler::Document& doc, bool repaired, int index, int available, bool fine, int halftone) {
    RenderedPage out;
    QStringList messages;
    MessageScope scope(messages);
    std::unique_ptr<Poppler::Page> page(doc.page(index));
    if (!page) {
        out.rc = ecPdfDamaged;
        return out;
    }
    QSizeF size = page->pageSizeF();  // points, after the page's own rotation
    if (size.width() <= 0 || size.height() <= 0) {
        out.rc = ecPdfDamaged;
        return out;
    }
    Poppler::Page::Rotation rotation = Poppler::Page::Rotate0;
    if (size.width() > size.height() && size.width() * 204.0 / 72.0 > available) {
        rotation = Poppler::Page::Rotate90;
        size.transpose();
    }
    double xdpi = 204.0;
    if (size.width() * xdpi / 72.0 > available) xdpi = available * 72.0 / size.width() * 0.99999;
    const double ydpi = xdpi * (fine ? 196.0 : 98.0) / 204.0;
    QImage img;
    try {
        img = page->renderToImage(xdpi, ydpi, -1, -1, -1, -1, rotation);
    } catch (const std::bad_alloc&) {
        out.rc = ecOutOfMemory;
        return out;
    }
    if (img.isNull()) {
        out.rc = ecPdfDamaged;
        return out;
    }
    // A document Poppler had to piece together, whose page then reports
    // missing parts, would be faxed incomplete.
    if (repaired && !messages.isEmpty()) {
        out.rc = ecPdfDamaged;
        return out;
    }
    if (img.format() != QImage::Format_RGB32 && img.format() != QImage::Format_ARGB32 &&
        img.format() != QImage::Format_ARGB32_Premultiplied)
        img = img.convertToFormat(QImage::Format_RGB32);
    const int w = std::min(img.width(), available), h = img.height();
    const int rowBytes = (available + 7) / 8;
    const int offset = (available - w) / 2;
    std::vector<uint8_t> lum(size_t(w) * h);
    for (int y = 0; y < h; ++y) {
        const QRgb* s = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        uint8_t* d = lum.data() + size_t(y) * w;
        for (int x = 0; x < w; ++x) {
            const QRgb c = s[x];
            d[x] = uint8_t(((c >> 16 & 0xFF) + (c >> 8 & 0xFF) + (c & 0xFF)) / 3);
        }
    }
    img = QImage();
    const int tx = (w + kTile - 1) / kTile, ty = (h + kTile - 1) / kTile;
    std::vector<uint8_t> pict;
    if (halftone == phAuto) pict = pictureTiles(lum, w, h, tx, ty);
    const Bayer& m = bayer();
    out.bits.assign(size_t(rowBytes) * h, 0);
    out.lines = h;
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = lum.data() + size_t(y) * w;
        uint8_t* d = out.bits.data() + size_t(y) * rowBytes;
        const uint8_t* tileRow = pict.empty() ? nullptr : pict.data() + size_t(y / kTile) * tx;
        for (int x = 0; x < w; ++x) {
            const bool dither = halftone == phDither || (tileRow && tileRow[x / kTile]);
            // Dithered: black when the grey is below the (M + 1) / 256 point,
            // so pure white never gets a dot and pure black is solid.
            const bool black = dither ? s[x] * 256 < (m[size_t(y % 16)][size_t(x % 16)] + 1) * 255 : s[x] < 128;
            if (black) d[(x + offset) >> 3] |= uint8_t(0x80 >> ((x + offset) & 7));
        }
    }
    return out;
}

class PdfReader : public FaxInputReader {
public:
    explicit PdfReader(int halftone) : halftone_(halftone) {}

    QString defaultExtension() const override { return QStringLiteral("PDF"); }

    int open(const QString& fileName, ConversionState& st) override {
        if (fileName.isEmpty()) return ecFileNotFound;
        {
            QFile f(fileName);
            if (!f.exists()) return ecFileNotFound;
            if (!f.open(QIODevice::ReadOnly)) return FileErrorCode(f, ecAccessDenied);
            fileSize_ = f.size();
            if (fileSize_ == 0) return ecPdfNoPages;
        }
        routePopplerMessages();
        fileName_ = fileName;
        const int rc = load(doc_[0], repaired_[0]);
        if (rc < 0) return rc;
        pages_ = doc_[0]->numPages();
        if (pages_ <= 0) return ecPdfNoPages;
        available_ = std::max(8, st.width - st.leftMargin);
        fine_ = st.fine;
        st.pageTotal = pages_;
        st.bytesToConvert = fileSize_;
        // Two copies of the document render two pages at once on their own
        // threads (even pages on the first, odd on the second) while the
        // lines of the page before are coded.
        if (pages_ > 1 && load(doc_[1], repaired_[1]) < 0) doc_[1].reset();
        if (doc_[1]) {
            for (int i = 0; i < 2; ++i) schedule(i);
        }
        return 0;
    }

    int readLine(ConversionState& st, uint8_t* raster, int& len, bool& endOfPage, bool& morePages) override {
        len = 0;
        endOfPage = morePages = false;
        if (st.lineCounter == 1) {
            if (const int rc = takePage(st.page - 1); rc < 0) return rc;
        }
        if (st.lineCounter > current_.lines) {
            endOfPage = true;
            morePages = st.page < pages_;
            return 0;
        }
        const int rowBytes = (available_ + 7) / 8;
        std::memcpy(raster, current_.bits.data() + size_t(st.lineCounter - 1) * rowBytes, size_t(rowBytes));
        len = rowBytes;
        const qint64 done = qint64(st.page - 1) * current_.lines + st.lineCounter;
        st.bytesConverted = std::min(fileSize_, fileSize_ * done / (qint64(pages_) * std::max(1, current_.lines)));
        return 0;
    }

    int close() override {
        for (auto& f : pending_)
            if (f.valid()) f.wait();
        doc_[1].reset();
        doc_[0].reset();
        return 0;
    }

private:
    int load(std::unique_ptr<Poppler::Document>& doc, bool& repaired) {
        QStringList messages;
        MessageScope scope(messages);
        doc = Poppler::Document::load(fileName_);
        repaired = saysRepaired(messages);
        if (!doc) return ecPdfDamaged;
        if (doc->isLocked()) return ecPdfEncrypted;
        doc->setRenderHint(Poppler::Document::Antialiasing, false);
        doc->setRenderHint(Poppler::Document::TextAntialiasing, false);
        return 0;
    }

    std::future<RenderedPage> start(Poppler::Document& doc, bool repaired, int index) {
        return std::async(std::launch::async, [&doc, repaired, index, a = available_, f = fine_, h = halftone_] {
            return renderPage(doc, repaired, index, a, f, h);
        });
    }

    void schedule(int index) {
        if (index >= pages_) return;
        const int slot = index % 2;
        if (pending_[slot].valid()) return;
        pending_[slot] = start(*doc_[slot], repaired_[slot], index);
        pendingIndex_[slot] = index;
    }

    int takePage(int index) {
        if (!doc_[1]) {
            current_ = renderPage(*doc_[0], repaired_[0], index, available_, fine_, halftone_);
            return current_.rc;
        }
        const int slot = index % 2;
        if (pending_[slot].valid() && pendingIndex_[slot] == index) {
            current_ = pending_[slot].get();
        } else {
            if (pending_[slot].valid()) pending_[slot].wait();
            pending_[slot] = {};
            current_ = renderPage(*doc_[slot], repaired_[slot], index, available_, fine_, halftone_);
        }
        if (current_.rc == 0) schedule(index + 2);
        return current_.rc;
    }

    int halftone_;
    QString fileName_;
    qint64 fileSize_ = 0;
    std::unique_ptr<Poppler::Document> doc_[2];
    bool repaired_[2] = {false, false};
    int pages_ = 0;
    int available_ = 1728;
    bool fine_ = false;
    RenderedPage current_;
    std::future<RenderedPage> pending_[2];
    int pendingIndex_[2] = {-1, -1};
};

}  // namespace

std::unique_ptr<FaxInputReader> MakePdfReader(int halftone) { return std::make_unique<PdfReader>(halftone); }

}  // namespace orv
