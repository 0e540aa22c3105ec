#include "richtext/rtf_writer.h"

#include "common/cp1252.h"
#include "richtext/rich_format.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

namespace orv {

namespace {

QByteArray num(int v) { return QByteArray::number(v); }

// Text of the RTF source for s: ASCII as is, Windows-1252 as \'hh, the rest
// as \uN followed by '?' for readers that know no Unicode (\uc1).
void appendEscaped(QByteArray& out, const QString& s) {
    for (QChar ch : s) {
        const char16_t u = ch.unicode();
        switch (u) {
        case u'\\': out += "\\\\"; continue;
        case u'{': out += "\\{"; continue;
        case u'}': out += "\\}"; continue;
        case u'\t': out += "\\tab "; continue;
        case 0x2028: out += "\\line "; continue;
        case 0x00A0: out += "\\~"; continue;
        case 0x2011: out += "\\_"; continue;
        case kObjectChar: continue;  // objects are written by the caller
        default: break;
        }
        if (u < 0x20) continue;
        if (u < 0x80) {
            out += char(u);
            continue;
        }
        const int b = unicodeToCp1252(u);
        if (b >= 0) {
            static const char hex[] = "0123456789abcdef";
            out += "\\'";
            out += hex[(b >> 4) & 15];
            out += hex[b & 15];
        } else {
            out += "\\u" + num(int(int16_t(u))) + " ?";  // with the delimiter: some readers need it
        }
    }
}

class Writer {
public:
    Writer(const QTextDocument* doc, const PageLayout& layout) : doc_(doc), layout_(layout.normalized()) {}
    QByteArray run();

private:
    void collectTables();
    int fontIndex(const QString& family) const { return int(fonts_.indexOf(family)); }
    int colorIndex(const QColor& c) const { return int(colors_.indexOf(c.rgb() & 0xFFFFFF)) + 1; }
    QByteArray charProps(const QTextCharFormat& f) const;
    QByteArray paraProps(const QTextBlockFormat& b) const;
    void writeBlock(const QTextBlock& block, bool first);

    QFont resolved(const QTextCharFormat& f) const { return f.font().resolve(doc_->defaultFont()); }
    static QString family(const QFont& font) {
        const QStringList fams = font.families();
        return fams.isEmpty() ? font.family() : fams.first();
    }

    const QTextDocument* doc_;
    PageLayout layout_;
    QStringList fonts_;
    QList<QRgb> colors_;  // colour-table entries after the "auto" entry
    QByteArray out_;
};

void Writer::collectTables() {
    fonts_.append(family(doc_->defaultFont()));
    auto addFormat = [&](const QTextCharFormat& f) {
        const QString fam = family(resolved(f));
        if (!fonts_.contains(fam)) fonts_.append(fam);
        if (f.hasProperty(QTextFormat::ForegroundBrush)) {
            const QRgb c = f.foreground().color().rgb() & 0xFFFFFF;
            if (!colors_.contains(c)) colors_.append(c);
        }
        if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush) {
            const QRgb c = f.background().color().rgb() & 0xFFFFFF;
            if (!colors_.contains(c)) colors_.append(c);
        }
    };
    for (QTextBlock b = doc_->begin(); b.isValid(); b = b.next()) {
        addFormat(b.charFormat());
        for (auto it = b.begin(); !it.atEnd(); ++it) addFormat(it.fragment().charFormat());
    }
}

QByteArray Writer::charProps(const QTextCharFormat& f) const {
    const QFont font = resolved(f);
    QByteArray p = "\\plain\\f" + num(std::max(fontIndex(family(font)), 0));
    qreal pt = font.pointSizeF();
    if (pt <= 0) pt = 12;
    p += "\\fs" + num(std::clamp(qRound(pt * 2), 2, 3276));
    if (font.bold()) p += "\\b";
    if (font.italic()) p += "\\i";
    if (font.underline()) p += "\\ul";
    if (font.strikeOut()) p += "\\strike";
    if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript) p += "\\super";
    if (f.verticalAlignment() == QTextCharFormat::AlignSubScript) p += "\\sub";
    if (f.hasProperty(QTextFormat::ForegroundBrush)) p += "\\cf" + num(colorIndex(f.foreground().color()));
    if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush)
        p += "\\highlight" + num(colorIndex(f.background().color()));
    return p;
}

QByteArray Writer::paraProps(const QTextBlockFormat& b) const {
    QByteArray p = "\\pard";
    const Qt::Alignment a = b.alignment() & Qt::AlignHorizontal_Mask;
    if (a & Qt::AlignJustify) p += "\\qj";
    else if (a & Qt::AlignHCenter) p += "\\qc";
    else if (a & (Qt::AlignRight | Qt::AlignTrailing)) p += "\\qr";
    else p += "\\ql";
    if (const int li = LayoutToTwips(b.leftMargin())) p += "\\li" + num(li);
    if (const int ri = LayoutToTwips(b.rightMargin())) p += "\\ri" + num(ri);
    if (const int fi = LayoutToTwips(b.textIndent())) p += "\\fi" + num(fi);
    if (const int sb = LayoutToTwips(b.topMargin())) p += "\\sb" + num(sb);
    if (const int sa = LayoutToTwips(b.bottomMargin())) p += "\\sa" + num(sa);
    switch (b.lineHeightType()) {
    case QTextBlockFormat::FixedHeight:
        p += "\\sl-" + num(std::abs(LayoutToTwips(b.lineHeight()))) + "\\slmult0";
        break;
    case QTextBlockFormat::MinimumHeight:
        p += "\\sl" + num(std::abs(LayoutToTwips(b.lineHeight()))) + "\\slmult0";
        break;
    case QTextBlockFormat::ProportionalHeight:
        if (qRound(b.lineHeight()) != 100) p += "\\sl" + num(qRound(b.lineHeight() * 2.4)) + "\\slmult1";
        break;
    default:
        break;
    }
    // Qt measures tab stops from where the first line starts, RTF from the margin.
    const int firstLine = LayoutToTwips(b.leftMargin() + b.textIndent());
    for (const QTextOption::Tab& t : b.tabPositions()) {
        if (t.type == QTextOption::RightTab) p += "\\tqr";
        else if (t.type == QTextOption::CenterTab) p += "\\tqc";
        else if (t.type == QTextOption::DelimiterTab) p += "\\tqdec";
        p += "\\tx" + num(std::max(LayoutToTwips(t.position) + firstLine, 0));
    }
    return p;
}

void Writer::writeBlock(const QTextBlock& block, bool first) {
    out_ += paraProps(block.blockFormat());
    out_ += charProps(block.charFormat());
    out_ += ' ';
    if (!first && (block.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore)) out_ += "\\page ";
    // A merge field is written as {\*\orvmerge<tag>\orvmarker<char>[\orvhidden] <marker format>},
    // its value text as ordinary text, and {\*\orvmergeend} after it: other
    // readers skip the starred groups and show the value text.
    int openField = 0;  // id of the merge field whose value text is being written
    auto closeField = [&] {
        if (openField) out_ += "{\\*\\orvmergeend}";
        openField = 0;
    };
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment frag = it.fragment();
        const QTextCharFormat f = frag.charFormat();
        if (IsMergeMarker(f)) {
            // One fragment may hold several equal markers; each is a field.
            for (int i = 0; i < frag.length(); ++i) {
                closeField();
                out_ += "{\\*\\orvmerge" + num(std::max(f.intProperty(kMergeTagProperty), 1)) + "\\orvmarker" +
                        num(std::max(f.intProperty(kMarkerCharProperty), 1));
                if (f.boolProperty(kMarkerHiddenProperty)) out_ += "\\orvhidden";
                out_ += charProps(f) + "}";
                openField = std::max(f.intProperty(kFieldIdProperty), 1);
            }
            continue;
        }
        if (openField && f.intProperty(kFieldIdProperty) != openField) closeField();
        QString text = frag.text();
        text.remove(QChar(kObjectChar));  // objects of other kinds are not kept
        if (text.isEmpty()) continue;
        out_ += '{' + charProps(f) + ' ';
        appendEscaped(out_, text);
        out_ += '}';
    }
    closeField();
    out_ += "\\par\r\n";
}

QByteArray Writer::run() {
    collectTables();
    out_ = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\r\n{\\fonttbl";
    for (int i = 0; i < fonts_.size(); ++i) {
        out_ += "{\\f" + num(i) + "\\fnil\\fcharset0 ";
        appendEscaped(out_, fonts_[i]);
        out_ += ";}";
    }
    out_ += "}\r\n{\\colortbl;";
    for (QRgb c : colors_)
        out_ += "\\red" + num(qRed(c)) + "\\green" + num(qGreen(c)) + "\\blue" + num(qBlue(c)) + ";";
    out_ += "}\r\n{\\*\\generator Orvane;}\r\n";
    out_ += "\\paperw" + num(layout_.width) + "\\paperh" + num(layout_.height) + "\\margl" + num(layout_.left) +
            "\\margr" + num(layout_.right) + "\\margt" + num(layout_.top) + "\\margb" + num(layout_.bottom) + "\r\n";
    bool first = true;
    for (QTextBlock b = doc_->begin(); b.isValid(); b = b.next()) {
        writeBlock(b, first);
        first = false;
    }
    out_ += "}\r\n";
    return out_;
}

}  // namespace

QByteArray RtfWriter::write(const QTextDocument* doc, const PageLayout& layout) {
    return Writer(doc, layout).run();
}

}  // namespace orv
