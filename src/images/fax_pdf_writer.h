#pragma once
// Writes the pages of an APF fax file as a PDF document that any PDF viewer
// or printer takes: one PDF page per fax page at its true size (1728 pixels
// across 8.47 inches, 196 lines per inch), each page one bilevel image holding
// exactly the lines our decoder reads from the fax page; a standard-resolution
// page (98 lines per inch) has every line twice, at double height.
//
// The PDF is written to a temporary file beside the destination and renamed
// into place at the end: on any error (or a cancel) no file is left behind and
// an existing file of that name is kept.
#include <QString>
#include <functional>

namespace orv {

struct FaxPdfOptions {
    // The document's title (Info dictionary); empty: the APF file's name.
    QString title;
    // Called before each page is written (page from 1); returning false cancels
    // the export with -8003 ("User aborted fax conversion").
    std::function<bool(int page, int pageCount)> progress;
};

// 0, or a negative result code: -2 and other file errors for either file,
// -8001 for a file that is not an APF file or has no pages, -8003 when
// progress cancelled, -8 when memory ran out.
int WriteFaxAsPdf(const QString& apfPath, const QString& pdfPath, const FaxPdfOptions& options = {});

}  // namespace orv
