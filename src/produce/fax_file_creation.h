#pragma once
// Turning rich texts into one APF fax file, the way every fax is made before it
// is sent or viewed: each page is painted at 200 dpi onto a 1666 x 2156 page
// bitmap, written as the 1-bit "_TMP.BMP", converted by the fax converter into
// a one-page APF file, and the one-page files are joined into the first.
//
//     QStringList pages;
//     RenderRichTextPages(cover, pages, folder, converter);   // cover pages first
//     RenderRichTextPages(document, pages, folder, converter);
//     const QString fax = JoinFaxFiles(pages);                // pages[0], now whole
//
// Errors (file system, converter) are thrown as EOrvException subclasses; the
// temporary files made so far stay on disk, as the caller may want to look.
#include <QString>
#include <QStringList>
#include <functional>

class QImage;

namespace orv {

class RichTextDocument;
class TOrvFaxConverter;

// The page bitmap and the painting area within it.
inline constexpr int kPageBitmapWidth = 1666;
inline constexpr int kPageBitmapHeight = 2156;
inline constexpr int kPagePaintOffset = 49;

// folder + "ORV_" + n + ".APF" for the first n in 1..1000 whose file does not
// exist; folder + "ORV1.APF" when all do. folder ends in "/".
QString NextFreeFaxFileName(const QString& folder);

// Paints one page of doc from continuation onto page (which it clears to white
// first, and whose bottom-right pixel it sets black so every page is full
// length); returns the next continuation, 0 or less when no text is left.
// page must be kPageBitmapWidth x kPageBitmapHeight, Format_RGB32.
int PaintFaxPage(RichTextDocument& doc, QImage& page, int continuation);

// Appends one APF file per page of doc to pages. The first page of the whole
// fax goes to NextFreeFaxFileName(folder), page i (counted over the whole fax)
// to folder + "ORVAX" + i + ".APF". Sets the document's zoom for 200 dpi and
// the converter's options ({coYield}, high resolution); the converter's other
// properties (station ID, font) are the caller's. pump runs after each page.
void RenderRichTextPages(RichTextDocument& doc, QStringList& pages, const QString& folder,
                         TOrvFaxConverter& converter, const std::function<void()>& pump = {});

// Appends pages[1..] to pages[0], deletes them, and returns pages[0]; an
// empty list gives an empty name.
QString JoinFaxFiles(QStringList& pages);

}  // namespace orv
