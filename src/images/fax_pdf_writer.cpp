#include "images/fax_pdf_writer.h"

#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include "common/orv_error.h"
#include "images/apf_file.h"
#include "images/unpack_engine.h"

namespace orv {

int WriteFaxAsPdf(const QString& apfPath, const QString& pdfPath, const FaxPdfProgress& progress) {
    if (apfPath.isEmpty()) return ecFileNotFound;
    ApfReader reader;
    if (const int rc = reader.open(apfPath); rc < 0) return rc;
    const int count = reader.pageCount();
    reader.close();
    if (count == 0) return ecFaxBadFormat;

    QSaveFile out(pdfPath);
    if (!out.open(QIODevice::WriteOnly)) return FileErrorCode(out, ecAccessDenied);
    QPdfWriter pdf(&out);
    pdf.setCreator(QStringLiteral("Orvane"));
    pdf.setTitle(QFileInfo(apfPath).fileName());
    pdf.setResolution(600);
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));

    FaxUnpackEngine engine;
    engine.setAutoScale(asDoubleHeight);
    engine.setCropToContent(false);
    QPainter painter;
    for (int page = 1; page <= count; ++page) {
        if (progress && !progress(page, count)) {
            if (painter.isActive()) painter.end();
            out.cancelWriting();
            return ecUnpackAbort;
        }
        QImage image;
        if (const int rc = engine.decodePage(apfPath, page, true, image); rc < 0) {
            if (painter.isActive()) painter.end();
            out.cancelWriting();
            return rc;
        }
        ApfReader r;
        ApfPageHeader ph;
        if (r.open(apfPath) == 0) r.seekPage(page, ph);
        const int width = image.isNull() ? ph.lineWidth() : image.width();
        const int height = image.isNull() ? 1 : image.height();
        const QPageSize size(QSizeF(width / kFaxPixelsPerInchAcross, height / kFaxRowsPerInch), QPageSize::Inch,
                             QString(), QPageSize::ExactMatch);
        pdf.setPageSize(size);
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        if (page == 1) {
            if (!painter.begin(&pdf)) {
                out.cancelWriting();
                return ecDiskWrite;
            }
        } else if (!pdf.newPage()) {
            painter.end();
            out.cancelWriting();
            return ecDiskWrite;
        }
        if (!image.isNull()) painter.drawImage(QRectF(0, 0, pdf.width(), pdf.height()), image);
    }
    painter.end();
    if (!out.commit()) return FileErrorCode(out, ecDiskWrite);
    return ecOK;
}

}  // namespace orv
