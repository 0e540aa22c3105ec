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

uint32_t FaxGlyphRow(const QByteArray& font, bool small, unsigned char ch, int row) {
    if (font.size() != kFaxFontSize) return 0;
    const auto* p = reinterpret_cast<const uint8_t*>(font.constData());
    if (small) {
        const uint8_t* g = p + ch * 16 + row * 2;
        return (uint32_t(g[0]) << 16) | (uint32_t(g[1]) << 8);
    }
    const uint8_t* g = p + 4096 + ch * 48 + row * 3;
    return (uint32_t(g[0]) << 16) | (uint32_t(g[1]) << 8) | g[2];
}

}  // namespace orv
