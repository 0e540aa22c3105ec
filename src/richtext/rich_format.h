#pragma once
// Shared vocabulary of the rich-text component: the layout units of its
// QTextDocument, the custom text-format properties that carry merge fields,
// and the object handler that draws merge-field markers.
//
// Layout units: a QTextDocument without its own paint device lays text out in
// pixels of the screen's logical resolution (LayoutDpi()). Every length that a
// paragraph format holds (indents, spacing, line height, tab stops) is kept in
// those units and converted from and to twips at the edges (RTF, paragraph
// dialog), so the layout of a page does not depend on the zoom of a view.
#include <QTextFormat>
#include <QTextObjectInterface>

class QTextDocument;

namespace orv {

// Logical dots per inch that QTextDocument lays text out at (as Qt itself
// resolves it: the primary screen's logical DPI, 100 without a screen).
int LayoutDpi();
qreal TwipsToLayout(int twips);
int LayoutToTwips(qreal units);

// Merge fields. A field is a marker (an object character drawn as the marker
// glyph, red while shown, zero-width while hidden) followed by its value text.
// Marker and value characters share the field id, so the value text can be
// found again and replaced.
enum RichFormatProperty : int {
    kMergeTagProperty = QTextFormat::UserProperty + 1,     // int, on the marker
    kMarkerCharProperty = QTextFormat::UserProperty + 2,   // int (UTF-16 code), on the marker
    kMarkerHiddenProperty = QTextFormat::UserProperty + 3, // bool, on the marker
    kFieldIdProperty = QTextFormat::UserProperty + 4,      // int, on marker and value text
};
inline constexpr int kMergeMarkerObject = QTextFormat::UserObject + 1;
inline constexpr char16_t kObjectChar = 0xFFFC;  // QChar::ObjectReplacementCharacter
inline constexpr int kMaxMergeValueLength = 254;

// Draws merge-field markers; registered on every document layout that holds
// them (RegisterMergeMarkerHandler is idempotent per layout).
class MergeMarkerHandler : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
public:
    using QObject::QObject;
    QSizeF intrinsicSize(QTextDocument* doc, int posInDocument, const QTextFormat& format) override;
    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* doc, int posInDocument,
                    const QTextFormat& format) override;
};
void RegisterMergeMarkerHandler(QTextDocument* doc);

// The character format of a merge-field marker.
QTextCharFormat MergeMarkerFormat(const QTextCharFormat& base, int tag, QChar marker, int fieldId,
                                  bool hidden);
bool IsMergeMarker(const QTextFormat& format);

}  // namespace orv
