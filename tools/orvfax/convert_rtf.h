#pragma once
// orvfax convert for RTF documents: rendered as fax file creation renders a
// fax's texts (200 dpi, 1666 x 2156 pages, fine resolution).
#include <QString>

namespace orv {

// 0, or a negative result code; message receives the error text.
int ConvertRtfToApf(const QString& rtfFile, const QString& apfFile, const QByteArray& stationId, QString* message);

}  // namespace orv
