#include "convert_rtf.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

#include "common/orv_error.h"
#include "images/fax_converter.h"
#include "produce/fax_file_creation.h"
#include "richtext/rich_text_document.h"

namespace orv {

int ConvertRtfToApf(const QString& rtfFile, const QString& apfFile, const QByteArray& stationId, QString* message) {
    try {
        RichTextDocument doc;
        doc.loadRtfFile(rtfFile);
        // The pages are made beside the output, so the finished file is renamed
        // into place and never left half written.
        const QString outDir = QFileInfo(apfFile).absolutePath();
        QTemporaryDir work(outDir + QStringLiteral("/.orvfax-XXXXXX"));
        if (!work.isValid()) RaiseOrvError(ecAccessDenied);
        TOrvFaxConverter converter;
        converter.setStationId(stationId.left(20));
        QStringList pages;
        RenderRichTextPages(doc, pages, work.path() + QLatin1Char('/'), converter);
        const QString joined = JoinFaxFiles(pages);
        if (std::rename(QFile::encodeName(joined).constData(), QFile::encodeName(apfFile).constData()) != 0)
            RaiseOrvError(ecDiskWrite);
        return ecOK;
    } catch (const EOrvException& e) {
        if (message) *message = e.message();
        return e.code();
    }
}

}  // namespace orv
