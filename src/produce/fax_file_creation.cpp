#include "produce/fax_file_creation.h"

#include <QFile>
#include <QImage>
#include <QPainter>

#include "common/orv_error.h"
#include "images/apf_file.h"
#include "images/fax_converter.h"
#include "images/mono_bitmap.h"
#include "richtext/rich_text_document.h"

namespace orv {

QString NextFreeFaxFileName(const QString& folder) {
    for (int n = 1; n <= 1000; ++n) {
        const QString name = folder + QStringLiteral("ORV_%1.APF").arg(n);
        if (!QFile::exists(name)) return name;
    }
    return folder + QStringLiteral("ORV1.APF");
}

int PaintFaxPage(RichTextDocument& doc, QImage& page, int continuation) {
    page.fill(Qt::white);
    QPainter painter(&page);
    const int next = doc.paintPage(painter, kPagePaintOffset, kPagePaintOffset, kPageBitmapWidth - kPagePaintOffset,
                                   kPageBitmapHeight - kPagePaintOffset, continuation);
    painter.end();
    page.setPixel(kPageBitmapWidth - 1, kPageBitmapHeight - 1, qRgb(0, 0, 0));
    return next;
}

void RenderRichTextPages(RichTextDocument& doc, QStringList& pages, const QString& folder,
                         TOrvFaxConverter& converter, const std::function<void()>& pump) {
    const QString baseName = NextFreeFaxFileName(folder);
    int i = int(pages.size());
    QImage page(kPageBitmapWidth, kPageBitmapHeight, QImage::Format_RGB32);
    if (page.isNull()) RaiseOrvError(ecOutOfMemory);
    doc.setZoom(ZoomForDpi(200));
    converter.setOptions(coYield);
    converter.setResolution(frHigh);
    const QString bitmapName = folder + QStringLiteral("_TMP.BMP");

    int continuation = 0;
    do {
        continuation = PaintFaxPage(doc, page, continuation);
        ++i;
        const QString outName = i == 1 ? baseName : folder + QStringLiteral("ORVAX%1.APF").arg(i);
        // Painting leaves only black and white, so a threshold is exact.
        const QImage mono = page.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither | Qt::MonoOnly);
        CheckOrvError(WriteMonoBmp(mono, bitmapName));
        if (pump) pump();
        converter.setDocumentFile(bitmapName);
        converter.setInputDocumentType(idBmp);
        converter.setOutFileName(outName);  // after the document, which would derive it
        converter.ConvertDocument();
        pages.append(outName);
    } while (continuation > 0);
    QFile::remove(bitmapName);
}

QString JoinFaxFiles(QStringList& pages) {
    if (pages.isEmpty()) return QString();
    for (qsizetype k = 1; k < pages.size(); ++k) AppendFaxFile(pages[0], pages[k]);
    for (qsizetype k = 1; k < pages.size(); ++k) QFile::remove(pages[k]);
    return pages[0];
}

}  // namespace orv
