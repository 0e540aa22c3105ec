#include "richtext/rich_format.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTextDocument>

#include <cmath>

namespace orv {

int LayoutDpi() {
    if (QCoreApplication::testAttribute(Qt::AA_Use96Dpi)) return 96;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            return qRound(screen->logicalDotsPerInchY());
    return 100;
}

qreal TwipsToLayout(int twips) { return qreal(twips) * LayoutDpi() / 1440.0; }

int LayoutToTwips(qreal units) {
    const double t = std::round(units * 1440.0 / LayoutDpi());
    if (!(t > -2e9 && t < 2e9)) return 0;
    return static_cast<int>(t);
}

namespace {

QChar markerChar(const QTextFormat& format) {
    const int code = format.intProperty(kMarkerCharProperty);
    return code > 0 && code < 0xD800 ? QChar(char16_t(code)) : QChar(u'*');
}

}  // namespace

namespace {

// The marker's font for the device the document is laid out for (none: the screen).
QFont markerFont(QTextDocument* doc, const QTextFormat& format) {
    QFont font = format.toCharFormat().font().resolve(doc->defaultFont());
    if (const QPaintDevice* device = doc->documentLayout()->paintDevice()) {
        // A pixel size stays what it is whatever device a painter resolves it for.
        const qreal points = font.pointSizeF() > 0 ? font.pointSizeF() : 12;
        font.setPixelSize(std::max(1, qRound(points * device->logicalDpiY() / 72.0)));
    }
    return font;
}

}  // namespace

QSizeF MergeMarkerHandler::intrinsicSize(QTextDocument* doc, int, const QTextFormat& format) {
    const QFontMetricsF fm(markerFont(doc, format));
    // The object stands on the base line (AlignNormal): its height is the ascent.
    if (format.boolProperty(kMarkerHiddenProperty)) return QSizeF(0, fm.ascent());
    return QSizeF(fm.horizontalAdvance(markerChar(format)), fm.ascent());
}

void MergeMarkerHandler::drawObject(QPainter* painter, const QRectF& rect, QTextDocument* doc, int,
                                    const QTextFormat& format) {
    if (format.boolProperty(kMarkerHiddenProperty)) return;
    const QFont font = markerFont(doc, format);
    const QFontMetricsF fm(font);
    painter->save();
    painter->setFont(font);
    painter->setPen(format.toCharFormat().foreground().color());
    painter->drawText(QPointF(rect.left(), rect.bottom()), QString(markerChar(format)));
    painter->restore();
}

void RegisterMergeMarkerHandler(QTextDocument* doc) {
    const bool hadLayout = doc->findChild<QAbstractTextDocumentLayout*>(QString(), Qt::FindDirectChildrenOnly);
    // A layout made for a text that holds markers lays it out at once, before
    // the handler could tell it the markers' size: made while the page size
    // is null, it waits for the handler, and the page size lays it out once.
    const QSizeF pageSize = doc->pageSize();
    if (!hadLayout) doc->setPageSize(QSizeF(0, 0));
    QAbstractTextDocumentLayout* layout = doc->documentLayout();
    if (!layout->handlerForObject(kMergeMarkerObject)) {
        // Parented to the layout: it lives exactly as long as the layout uses it.
        layout->registerHandler(kMergeMarkerObject, new MergeMarkerHandler(layout));
        if (hadLayout && !doc->isEmpty()) doc->markContentsDirty(0, doc->characterCount());
    }
    if (!hadLayout) doc->setPageSize(pageSize);
}

QTextCharFormat MergeMarkerFormat(const QTextCharFormat& base, int tag, QChar marker, int fieldId,
                                  bool hidden) {
    QTextCharFormat f = base;
    f.setObjectType(kMergeMarkerObject);
    f.setProperty(kMergeTagProperty, tag);
    f.setProperty(kMarkerCharProperty, int(marker.unicode()));
    f.setProperty(kMarkerHiddenProperty, hidden);
    f.setProperty(kFieldIdProperty, fieldId);
    f.setForeground(QColor(Qt::red));
    f.setVerticalAlignment(QTextCharFormat::AlignNormal);
    return f;
}

bool IsMergeMarker(const QTextFormat& format) { return format.objectType() == kMergeMarkerObject; }

}  // namespace orv
