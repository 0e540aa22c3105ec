#pragma once
// Fax pages as TIFF files, the way other fax software passes them on:
//
//   WriteFaxAsTiff        an APF file as one multi-page TIFF Class F file: G3
//                         one-dimensional coding, FillOrder 2, 204 x 98 or
//                         204 x 196 pixels per inch, a page number per page
//   ConvertFaxTiffToApf   the pages of a G3 one-dimensional fax TIFF (Class F
//                         or any other writer's) into an APF file
//   IsFaxCodedTiff        whether a file is a TIFF whose first page is fax
//                         coded (compression 2, 3 or 4), so callers can tell it
//                         from the bilevel images the converter's TIFF reader takes
//
// Both directions decode and code every line with our own Modified Huffman
// decoder and encoder, so the lines on either side are exactly the lines the
// viewer shows. Files are written through a temporary file (TIFF) or deleted on
// failure (APF), so an error never leaves a half-written file.
#include <QByteArray>
#include <QString>
#include <functional>

namespace orv {

// 0 or a negative result code: file errors, -8001 for a file that is not an
// APF file or has no pages, -8003 when progress (page from 1, page count)
// returned false.
int WriteFaxAsTiff(const QString& apfPath, const QString& tiffPath,
                   const std::function<bool(int page, int pageCount)>& progress = {});

// 0 or a negative result code: file errors, -8002 for a TIFF that is not a
// one-dimensional G3 fax of 1728 or 2048 pixel lines (2-D or Group 4 coding,
// another width, a damaged directory).
int ConvertFaxTiffToApf(const QString& tiffPath, const QString& apfPath, const QByteArray& stationId = {});

bool IsFaxCodedTiff(const QString& path);

}  // namespace orv
