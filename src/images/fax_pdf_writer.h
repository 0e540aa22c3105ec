#pragma once
// Writes an APF fax file as a PDF document: one PDF page per fax page, each at
// the fax page's true size - 1728 pixels are 8.5 inches across (2048 pixels
// 10.1 inches), rows are fine-resolution lines of 1/196 inch, and standard-
// resolution pages are decoded at double height. The page image is the whole
// coded line width, not cropped to its content. Headless (QtGui's QPdfWriter).
#include <QString>
#include <functional>

namespace orv {

// Called before each page (1..pageCount); returning false stops the export
// with -8004 (ecUnpackAbort) and no file is left behind.
using FaxPdfProgress = std::function<bool(int page, int pageCount)>;

// 0, or: -2 for a missing file, -8001 for a file that is not an APF file (or
// has no pages), a decoding error, or a file error while writing. The PDF is
// written to a temporary file renamed over pdfPath at the end, so a failure
// never leaves a half-written PDF.
int WriteFaxAsPdf(const QString& apfPath, const QString& pdfPath, const FaxPdfProgress& progress = {});

// The size of a fax page in the PDF, in inches, from its decoded pixel size.
constexpr double kFaxPixelsPerInchAcross = 1728.0 / 8.5;
constexpr double kFaxRowsPerInch = 196.0;

}  // namespace orv
