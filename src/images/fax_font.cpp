#include "images/fax_font.h"

#include <QFile>

static void initFaxFontResource() { Q_INIT_RESOURCE(faxfont); }

namespace orv {

QByteArray LoadFaxFont() {
    static const QByteArray font = [] {
        initFaxFontResource();
        QFile f(QStringLiteral(":/orvane/FAXFONT"));
        if (!f.open(QIODevice::ReadOnly)) return QByteArray();
        QByteArray b = f.readAll();
        return b.size() == kFaxFontSize ? b : QByteArray();
    }();
    return font;
}

}  // namespace orv
