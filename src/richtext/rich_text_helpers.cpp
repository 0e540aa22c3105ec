#include "richtext/rich_text_helpers.h"

#include "config/settings.h"
#include "config/text_trim.h"
#include "richtext/rich_text_document.h"

#include <QTextCursor>

namespace orv {

bool RichTextIsBlank(const RichTextDocument& text) {
    if (text.isSingleEmptyParagraph()) return true;
    if (text.characterCount() >= 256) return false;
    const QStringList lines = text.lines();
    const qsizetype n = std::min<qsizetype>(lines.size(), 201);
    for (qsizetype i = 0; i < n; ++i)
        if (!TrimBlanks(lines[i]).isEmpty()) return false;
    return true;
}

QTextCharFormat DefaultFontFormat(const Settings& s) {
    QTextCharFormat f;
    f.setFontFamilies({s.fontName.isEmpty() ? QStringLiteral("Arial") : s.fontName});
    f.setFontPointSize(std::clamp(s.fontSize, 1, 1638));
    f.setFontWeight(s.fontBold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(s.fontItalic);
    f.setFontUnderline(s.fontUnderline);
    return f;
}

void ApplyDefaultFont(RichTextDocument& text, const Settings& settings) {
    const QTextCharFormat f = DefaultFontFormat(settings);
    QTextDocument* doc = text.document();
    doc->setDefaultFont(f.font().resolve(doc->defaultFont()));
    if (text.isSingleEmptyParagraph()) {
        QTextCursor c(doc);
        c.setBlockCharFormat(f);
    }
}

}  // namespace orv
