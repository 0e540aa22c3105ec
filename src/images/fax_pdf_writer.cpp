#include "images/fax_pdf_writer.h"

#include "common/orv_error.h"
#include "images/apf_file.h"
#include "images/unpack_engine.h"

#include <QByteArray>
#include <QFileInfo>
#include <QSaveFile>
#include <QVector>
#include <cmath>
#include <new>

namespace orv {
namespace {

// Fax pixels per inch across the line; lines per inch down the page.
constexpr double kFaxDpiX = 204.0;
constexpr double kFineLpi = 196.0;

// A length in points for the page geometry, cut (not rounded) to four decimals:
// a renderer that rounds pixel counts up then gets exactly the fax's pixels.
QByteArray points(double pixels, double perInch) {
    const double pt = std::floor(pixels * 72.0 / perInch * 10000.0) / 10000.0;
    return QByteArray::number(pt, 'f', 4);
}

// A PDF string literal of free text: printable ASCII kept, the rest '?'.
QByteArray pdfString(const QString& text) {
    QByteArray out("(");
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u == '(' || u == ')' || u == '\\') out += '\\';
        out += (u >= 0x20 && u < 0x7F) ? char(u) : '?';
    }
    out += ')';
    return out;
}

class PdfOut {
public:
    explicit PdfOut(QSaveFile& f) : file_(f) {}

    int write(const QByteArray& bytes) {
        if (file_.write(bytes) != bytes.size()) return FileErrorCode(file_, ecDiskWrite);
        pos_ += bytes.size();
        return ecOK;
    }
    // Starts object `n` (offsets are kept for the cross-reference table).
    int begin(int n) {
        if (offsets_.size() <= n) offsets_.resize(n + 1, -1);
        offsets_[n] = pos_;
        return write(QByteArray::number(n) + " 0 obj\n");
    }
    int stream(int n, const QByteArray& dict, const QByteArray& data) {
        if (const int rc = begin(n); rc < 0) return rc;
        if (const int rc = write("<< " + dict + " /Length " + QByteArray::number(data.size()) + " >>\nstream\n"); rc < 0)
            return rc;
        if (const int rc = write(data); rc < 0) return rc;
        return write("\nendstream\nendobj\n");
    }
    int object(int n, const QByteArray& body) {
        if (const int rc = begin(n); rc < 0) return rc;
        return write(body + "\nendobj\n");
    }
    int finish(int rootObj, int infoObj) {
        const qint64 xref = pos_;
        QByteArray t = "xref\n0 " + QByteArray::number(offsets_.size()) + "\n0000000000 65535 f \n";
        for (int i = 1; i < offsets_.size(); ++i) {
            if (offsets_[i] < 0) t += "0000000000 65535 f \n";
            else t += QByteArray::number(offsets_[i]).rightJustified(10, '0') + " 00000 n \n";
        }
        t += "trailer\n<< /Size " + QByteArray::number(offsets_.size()) + " /Root " + QByteArray::number(rootObj) +
             " 0 R /Info " + QByteArray::number(infoObj) + " 0 R >>\nstartxref\n" + QByteArray::number(xref) +
             "\n%%EOF\n";
        return write(t);
    }

private:
    QSaveFile& file_;
    qint64 pos_ = 0;
    QVector<qint64> offsets_;
};

// The coded lines of a page as PDF image rows (1 bit per pixel, 0 = black),
// each line `repeat` times.
int pageRows(FaxUnpackEngine& engine, const QString& apf, int page, int repeat, QByteArray& rows, int& lines) {
    lines = 0;
    rows.clear();
    try {
        const int rc = engine.decodePageLines(apf, page, false, [&](const uint8_t* data, int len) {
            for (int r = 0; r < repeat; ++r) {
                const qsizetype at = rows.size();
                rows.resize(at + len);
                char* d = rows.data() + at;
                for (int i = 0; i < len; ++i) d[i] = char(~data[i]);
                ++lines;
            }
        });
        return rc;
    } catch (const std::bad_alloc&) {
        return ecOutOfMemory;
    }
}

}  // namespace

int WriteFaxAsPdf(const QString& apfPath, const QString& pdfPath, const FaxPdfOptions& options) {
    ApfReader reader;
    if (const int rc = reader.open(apfPath); rc < 0) return rc;
    const int pageCount = reader.pageCount();
    if (pageCount == 0) return ecFaxBadFormat;
    if (pdfPath.isEmpty()) return ecFileNotFound;

    QSaveFile file(pdfPath);
    if (!file.open(QIODevice::WriteOnly)) return FileErrorCode(file, ecAccessDenied);
    PdfOut out(file);
    // Objects: 1 catalog, 2 page tree, 3 info; then per page its page object,
    // contents and image.
    auto pageObj = [](int p) { return 4 + 3 * (p - 1); };
    int rc = out.write("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    FaxUnpackEngine engine;
    engine.setAspectCorrection(false);
    engine.setCropToContent(false);
    for (int p = 1; p <= pageCount && rc == ecOK; ++p) {
        if (options.progress && !options.progress(p, pageCount)) {
            rc = ecConvertAbort;
            break;
        }
        ApfPageHeader ph;
        if ((rc = reader.seekPage(p, ph)) < 0) break;
        const int width = ph.lineWidth();
        QByteArray rows;
        int lines = 0;
        // Standard pages carry every line twice: the image is at fine
        // resolution, so viewers need not scale it and show exactly our pixels.
        if ((rc = pageRows(engine, apfPath, p, ph.highRes() ? 1 : 2, rows, lines)) < 0) break;
        if (lines == 0) {
            // Nothing decodable: a white page of the usual length.
            lines = 2292;
            rows = QByteArray(qsizetype(lines) * width / 8, char(0xFF));
        }
        const QByteArray w = points(width, kFaxDpiX), h = points(lines, kFineLpi);
        QByteArray packed = qCompress(rows, 6);
        if (packed.size() < 4) {
            rc = ecOutOfMemory;
            break;
        }
        packed.remove(0, 4);  // qCompress's length prefix; the rest is a zlib stream
        const int n = pageObj(p);
        rc = out.object(n, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + w + " " + h + "] /Resources << /XObject << /Fax " +
                               QByteArray::number(n + 2) + " 0 R >> >> /Contents " + QByteArray::number(n + 1) + " 0 R >>");
        if (rc == ecOK) rc = out.stream(n + 1, {}, "q " + w + " 0 0 " + h + " 0 0 cm /Fax Do Q");
        if (rc == ecOK)
            rc = out.stream(n + 2,
                            "/Type /XObject /Subtype /Image /Width " + QByteArray::number(width) + " /Height " +
                                QByteArray::number(lines) + " /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /FlateDecode",
                            packed);
    }
    if (rc == ecOK) {
        QByteArray kids;
        for (int p = 1; p <= pageCount; ++p) kids += QByteArray::number(pageObj(p)) + " 0 R ";
        rc = out.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
        if (rc == ecOK) rc = out.object(2, "<< /Type /Pages /Kids [" + kids.trimmed() + "] /Count " + QByteArray::number(pageCount) + " >>");
        const QString title = options.title.isEmpty() ? QFileInfo(apfPath).fileName() : options.title;
        if (rc == ecOK) rc = out.object(3, "<< /Title " + pdfString(title) + " /Producer (Orvane) >>");
        if (rc == ecOK) rc = out.finish(1, 3);
    }
    if (rc < 0) {
        file.cancelWriting();
        return rc;
    }
    if (!file.commit()) return FileErrorCode(file, ecDiskWrite);
    return ecOK;
}

}  // namespace orv
