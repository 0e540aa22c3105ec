#include "richtext/rtf_reader.h"

#include "common/cp1252.h"
#include "richtext/rich_format.h"
#include "richtext/rtf_words.h"

#include <QColor>
#include <QHash>
#include <QLocale>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

namespace orv {

namespace {

// ---- state --------------------------------------------------------------------

struct CharState {
    int font = -1;          // font number of the font table; -1 = \deff
    int halfPoints = 24;    // \fs
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;    // \v: hidden text is not loaded
    int vertical = 0;       // 0 normal, 1 superscript, 2 subscript
    int fg = 0;             // colour-table index, 0 = automatic
    int bg = 0;
    bool operator==(const CharState&) const = default;
};

struct TabStop {
    int twips = 0;
    QTextOption::TabType type = QTextOption::LeftTab;
};

struct ParaState {
    Qt::Alignment align = Qt::AlignLeft;
    int li = 0, ri = 0, fi = 0;   // twips
    int sb = 0, sa = 0, sl = 0;
    bool slMult = false;
    bool pageBreakBefore = false;  // \pagebb
    std::vector<TabStop> tabs;
    QTextOption::TabType nextTabType = QTextOption::LeftTab;
};

enum class Dest {
    Text,        // visible text
    Skip,        // ignored (unknown starred destination, pictures, headers, ...)
    FontTable,
    ColorTable,
    FieldInst,   // instruction of a field: collected as plain text
    MergeMarker, // {\*\orvmerge..}: one of our merge-field markers
};

// An RTF field of another writer: its result shows as text, its instruction not.
struct Field {
    int depth = 0;             // group depth of the \field group
};

struct Group {
    CharState chr;
    ParaState para;
    Dest dest = Dest::Text;
    int uc = 1;
};

struct Run {
    QString text;
    CharState chr;
    int fieldId = 0;
    std::optional<QTextCharFormat> object;  // a merge-field marker
};

constexpr int kMaxParam = 1 << 30;
constexpr int kMaxTabs = 64;
constexpr int kMaxFonts = 4096;
constexpr int kMaxColors = 4096;
constexpr int kMaxFieldNesting = 32;

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// ---- the reader ---------------------------------------------------------------

class Reader {
public:
    Reader(const QByteArray& data, QTextDocument* doc, int firstFieldId)
        : data_(data), doc_(doc), cursor_(doc), nextFieldId_(firstFieldId) {}

    RtfReadResult run();

private:
    // tokens
    void parse();
    void controlWord(RtfWordInfo word, bool hasParam, int param);
    void controlSymbol(char c);
    void openGroup();
    void closeGroup();
    void text(QChar ch);
    void textByte(unsigned char b) { text(QChar(cp1252ToUnicode(b))); }

    // destinations
    void fontTableText(QChar ch);
    void colorTableSemicolon();

    // paragraphs
    void appendText(QChar ch);
    void appendMarker(const QTextCharFormat& fmt);
    void endParagraph();
    void finish();
    QTextCharFormat charFormat(const CharState& c, int fieldId);
    QTextBlockFormat blockFormat(const ParaState& p, bool breakBefore) const;

    Group& g() { return stack_.back(); }

    const QByteArray& data_;
    qsizetype pos_ = 0;
    QTextDocument* doc_;
    QTextCursor cursor_;
    RtfReadResult result_;

    std::vector<Group> stack_;
    int overflowDepth_ = 0;        // groups opened beyond kMaxDepth
    bool starNext_ = false;        // "\*" seen: the next control word names a destination
    int ucSkip_ = 0;               // characters still to skip after \uN
    int defaultFont_ = 0;
    bool sectionBreaksPage_ = true;

    QHash<int, QString> fonts_;
    int fontTableCurrent_ = 0;
    QString fontTableName_;
    std::vector<QColor> colors_;   // as listed; an invalid QColor is "auto"
    int red_ = -1, green_ = -1, blue_ = -1;

    std::vector<Field> fields_;
    int nextFieldId_;
    // Merge fields: {\*\orvmergeT\orvmarkerC[\orvhidden] format} value text {\*\orvmergeend}
    int markerTag_ = 0;
    int markerChar_ = '*';
    bool markerHidden_ = false;
    int activeFieldId_ = 0;  // the value text being read belongs to this field

    std::vector<Run> runs_;
    bool firstParagraph_ = true;
    bool pendingBreak_ = false;
    std::optional<CharState> lastFormatKey_;
    int lastFormatField_ = -1;
    QTextCharFormat lastFormat_;
};

RtfReadResult Reader::run() {
    const bool undo = doc_->isUndoRedoEnabled();
    doc_->setUndoRedoEnabled(false);
    doc_->clear();
    cursor_ = QTextCursor(doc_);
    cursor_.beginEditBlock();
    parse();
    finish();
    cursor_.endEditBlock();
    doc_->setUndoRedoEnabled(undo);
    result_.pageLayout = result_.pageLayout.normalized();
    result_.nextFieldId = nextFieldId_;
    return result_;
}

void Reader::parse() {
    stack_.push_back(Group{});
    const qsizetype n = data_.size();
    while (pos_ < n) {
        const char c = data_[pos_++];
        if (c == '{') {
            openGroup();
        } else if (c == '}') {
            closeGroup();
        } else if (c == '\\') {
            if (pos_ >= n) break;
            const char d = data_[pos_];
            if (isLetter(d)) {
                const qsizetype start = pos_;
                while (pos_ < n && isLetter(data_[pos_])) ++pos_;
                const RtfWordInfo word =
                    LookUpRtfWord(std::string_view(data_.constData() + start, size_t(pos_ - start)));
                bool hasParam = false;
                bool negative = false;
                long long value = 0;
                if (pos_ < n && data_[pos_] == '-' && pos_ + 1 < n && isDigit(data_[pos_ + 1])) {
                    negative = true;
                    ++pos_;
                }
                while (pos_ < n && isDigit(data_[pos_])) {
                    hasParam = true;
                    if (value < kMaxParam) value = value * 10 + (data_[pos_] - '0');
                    ++pos_;
                }
                value = std::min<long long>(value, kMaxParam);
                if (pos_ < n && data_[pos_] == ' ') ++pos_;  // the delimiter belongs to the word
                const int param = static_cast<int>(negative ? -value : value);
                if (word.word == RtfWord::Binary && hasParam) {
                    // Binary data follows: never interpret it as RTF.
                    pos_ += std::clamp<qsizetype>(param, 0, n - pos_);
                    continue;
                }
                controlWord(word, hasParam, param);
            } else if (d == '\'') {
                ++pos_;
                const int hi = pos_ < n ? hexValue(data_[pos_]) : -1;
                const int lo = pos_ + 1 < n ? hexValue(data_[pos_ + 1]) : -1;
                if (hi < 0 || lo < 0) {  // broken escape: drop it with its hex digits
                    pos_ += hi < 0 ? 0 : 1;
                    continue;
                }
                pos_ += 2;
                if (ucSkip_ > 0) {
                    --ucSkip_;
                    continue;
                }
                textByte(static_cast<unsigned char>(hi * 16 + lo));
            } else {
                ++pos_;
                controlSymbol(d);
            }
        } else if (c == '\r' || c == '\n') {
            // Line ends in RTF source carry no meaning.
        } else {
            if (ucSkip_ > 0) {
                --ucSkip_;
                continue;
            }
            if (c == '\t')
                text(QChar(u'\t'));
            else if (static_cast<unsigned char>(c) >= 0x20)
                textByte(static_cast<unsigned char>(c));
        }
    }
}

void Reader::openGroup() {
    ucSkip_ = 0;
    if (overflowDepth_ > 0 || int(stack_.size()) >= RtfReader::kMaxDepth) {
        ++overflowDepth_;
        return;
    }
    Group copy = g();
    stack_.push_back(std::move(copy));
    starNext_ = false;
}

void Reader::closeGroup() {
    ucSkip_ = 0;
    starNext_ = false;
    if (overflowDepth_ > 0) {
        --overflowDepth_;
        return;
    }
    if (stack_.size() <= 1) return;  // unbalanced '}': ignore
    const Group closing = stack_.back();
    stack_.pop_back();
    if (closing.dest == Dest::FontTable) {
        // End of one {\fN ... name;} entry or of the whole table: an entry
        // without its ';' still counts.
        if (!fontTableName_.trimmed().isEmpty() && fonts_.size() < kMaxFonts)
            fonts_.insert(fontTableCurrent_, fontTableName_.trimmed());
        fontTableName_.clear();
        lastFormatKey_.reset();
    }
    // A field ends with its group.
    while (!fields_.empty() && fields_.back().depth > int(stack_.size())) fields_.pop_back();
    if (closing.dest == Dest::MergeMarker && g().dest == Dest::Text && markerTag_ > 0) {
        const int id = nextFieldId_++;
        const QChar marker = markerChar_ > 0 && markerChar_ < 0xD800 ? QChar(char16_t(markerChar_)) : QChar(u'*');
        appendMarker(MergeMarkerFormat(charFormat(closing.chr, 0), markerTag_, marker, id, markerHidden_));
        activeFieldId_ = id;
        markerTag_ = 0;
    }
}

void Reader::text(QChar ch) {
    if (overflowDepth_ > 0) return;
    switch (g().dest) {
    case Dest::Text:
        if (g().chr.hidden) return;
        if (ch.unicode() < 0x20 && ch != u'\t') return;  // control characters from \'hh or \uN
        appendText(ch);
        return;
    case Dest::FontTable:
        fontTableText(ch);
        return;
    case Dest::ColorTable:
        if (ch == u';') colorTableSemicolon();
        return;
    case Dest::FieldInst:
    case Dest::MergeMarker:
    case Dest::Skip:
        return;
    }
}

void Reader::fontTableText(QChar ch) {
    if (ch == u';') {
        if (!fontTableName_.trimmed().isEmpty() && fonts_.size() < kMaxFonts)
            fonts_.insert(fontTableCurrent_, fontTableName_.trimmed());
        fontTableName_.clear();
    } else if (fontTableName_.size() < 256) {
        fontTableName_ += ch;
    }
}

void Reader::colorTableSemicolon() {
    if (colors_.size() >= size_t(kMaxColors)) return;
    if (red_ < 0 && green_ < 0 && blue_ < 0) {
        colors_.push_back(QColor());  // "auto", normally the first entry
    } else {
        colors_.push_back(QColor(std::clamp(red_, 0, 255), std::clamp(green_, 0, 255), std::clamp(blue_, 0, 255)));
    }
    red_ = green_ = blue_ = -1;
}


void Reader::controlSymbol(char c) {
    if (overflowDepth_ > 0) return;
    switch (c) {
    case '*':
        starNext_ = true;
        return;
    case '~':
    case '_':
    case '{':
    case '}':
    case '\\':
        if (ucSkip_ > 0) {
            --ucSkip_;
            return;
        }
        text(c == '~' ? QChar(u'\u00A0') : c == '_' ? QChar(u'\u2011') : QChar(QLatin1Char(c)));
        return;
    case '\r':
    case '\n':
        controlWord(RtfWordInfo{RtfWord::Par}, false, 0);
        return;
    case '\t':
        text(QChar(u'\t'));
        return;
    default:
        return;  // \- (optional hyphen), \: \| and unknown symbols
    }
}

void Reader::controlWord(RtfWordInfo info, bool hasParam, int param) {
    if (overflowDepth_ > 0) return;
    const bool star = starNext_;
    starNext_ = false;
    ucSkip_ = 0;
    Group& G = g();
    if (G.dest == Dest::Skip) return;

    const int on = hasParam ? (param != 0) : 1;
    const auto clampTwips = [](int v) { return std::clamp(v, -31680, 31680); };
    const RtfWord w = info.word;

    // ---- destinations
    switch (w) {
    case RtfWord::FontTable:
        G.dest = Dest::FontTable;
        return;
    case RtfWord::ColorTable:
        G.dest = Dest::ColorTable;
        red_ = green_ = blue_ = -1;
        return;
    case RtfWord::Field:
        if (G.dest == Dest::Text && fields_.size() < size_t(kMaxFieldNesting)) {
            Field f;
            f.depth = int(stack_.size());
            fields_.push_back(f);
        }
        return;
    case RtfWord::FieldInstruction:
        G.dest = Dest::Skip;  // the instruction of a foreign field shows nothing
        return;
    case RtfWord::FieldResult:
        if (!fields_.empty() && fields_.back().depth < int(stack_.size())) G.dest = Dest::Text;
        return;
    case RtfWord::OrvMerge:
        if (G.dest == Dest::Text && star) {
            G.dest = Dest::MergeMarker;
            markerTag_ = hasParam ? param : 0;
            markerChar_ = '*';
            markerHidden_ = false;
            activeFieldId_ = 0;
        } else {
            G.dest = Dest::Skip;
        }
        return;
    case RtfWord::OrvMergeEnd:
        activeFieldId_ = 0;
        G.dest = Dest::Skip;
        return;
    default:
        break;
    }
    if (G.dest == Dest::MergeMarker) {
        if (w == RtfWord::OrvMarker) {
            markerChar_ = param;
            return;
        }
        if (w == RtfWord::OrvHidden) {
            markerHidden_ = on;
            return;
        }
    }
    if (w == RtfWord::SkippedDestination || star) {
        G.dest = Dest::Skip;
        return;
    }

    // ---- tables
    if (G.dest == Dest::FontTable) {
        if (w == RtfWord::Font && hasParam) {
            fontTableCurrent_ = param;
            fontTableName_.clear();
        }
        return;
    }
    if (G.dest == Dest::ColorTable) {
        if (w == RtfWord::Red) red_ = param;
        else if (w == RtfWord::Green) green_ = param;
        else if (w == RtfWord::Blue) blue_ = param;
        return;
    }

    CharState& c = G.chr;
    ParaState& p = G.para;
    switch (w) {
    // ---- document
    case RtfWord::DefaultFont: defaultFont_ = param; lastFormatKey_.reset(); return;
    case RtfWord::UnicodeSkip: G.uc = std::clamp(param, 0, 16); return;
    case RtfWord::PaperWidth: result_.pageLayout.width = param; result_.hasPageLayout = true; return;
    case RtfWord::PaperHeight: result_.pageLayout.height = param; result_.hasPageLayout = true; return;
    case RtfWord::MarginLeft: result_.pageLayout.left = param; result_.hasPageLayout = true; return;
    case RtfWord::MarginRight: result_.pageLayout.right = param; result_.hasPageLayout = true; return;
    case RtfWord::MarginTop: result_.pageLayout.top = param; result_.hasPageLayout = true; return;
    case RtfWord::MarginBottom: result_.pageLayout.bottom = param; result_.hasPageLayout = true; return;
    case RtfWord::SectionBreaksPage: sectionBreaksPage_ = true; return;
    case RtfWord::SectionBreaksNone: sectionBreaksPage_ = false; return;

    // ---- special characters and breaks
    case RtfWord::Par: endParagraph(); return;
    case RtfWord::Row: if (!runs_.empty()) endParagraph(); return;
    case RtfWord::Sect:
        if (!runs_.empty()) endParagraph();
        if (sectionBreaksPage_) pendingBreak_ = true;
        return;
    case RtfWord::Page:
        if (G.dest != Dest::Text) return;
        if (!runs_.empty() || pendingBreak_) endParagraph();
        pendingBreak_ = true;
        return;
    case RtfWord::Unicode: {
        const int v = param < 0 ? param + 65536 : param;
        if (v > 0 && v <= 0xFFFF) text(QChar(char16_t(v)));
        ucSkip_ = G.uc;
        return;
    }
    case RtfWord::Special: text(QChar(info.ch)); return;

    // ---- character formatting
    case RtfWord::Plain: c = CharState{}; return;
    case RtfWord::Font: c.font = param; return;
    case RtfWord::FontSize: c.halfPoints = std::clamp(hasParam ? param : 24, 2, 3276); return;
    case RtfWord::Bold: c.bold = on; return;
    case RtfWord::Italic: c.italic = on; return;
    case RtfWord::Underline: c.underline = on; return;
    case RtfWord::UnderlineNone: c.underline = false; return;
    case RtfWord::Strike: c.strike = on; return;
    case RtfWord::Hidden: c.hidden = on; return;
    case RtfWord::Super: c.vertical = 1; return;
    case RtfWord::Sub: c.vertical = 2; return;
    case RtfWord::NoSuperSub: c.vertical = 0; return;
    case RtfWord::Foreground: c.fg = param; return;
    case RtfWord::Background: c.bg = param; return;

    // ---- paragraph formatting
    case RtfWord::Pard: p = ParaState{}; return;
    case RtfWord::AlignLeft: p.align = Qt::AlignLeft; return;
    case RtfWord::AlignRight: p.align = Qt::AlignRight; return;
    case RtfWord::AlignCenter: p.align = Qt::AlignHCenter; return;
    case RtfWord::AlignJustify: p.align = Qt::AlignJustify; return;
    case RtfWord::LeftIndent: p.li = clampTwips(param); return;
    case RtfWord::RightIndent: p.ri = clampTwips(param); return;
    case RtfWord::FirstIndent: p.fi = clampTwips(param); return;
    case RtfWord::SpaceBefore: p.sb = std::clamp(param, 0, 31680); return;
    case RtfWord::SpaceAfter: p.sa = std::clamp(param, 0, 31680); return;
    case RtfWord::LineSpacing: p.sl = clampTwips(param); return;
    case RtfWord::LineSpacingMultiple: p.slMult = on; return;
    case RtfWord::PageBreakBefore: p.pageBreakBefore = on; return;
    case RtfWord::TabRight: p.nextTabType = QTextOption::RightTab; return;
    case RtfWord::TabCenter: p.nextTabType = QTextOption::CenterTab; return;
    case RtfWord::TabDecimal: p.nextTabType = QTextOption::DelimiterTab; return;
    case RtfWord::TabStop:
    case RtfWord::TabBar:
        if (p.tabs.size() < size_t(kMaxTabs) && param >= 0)
            p.tabs.push_back({std::min(param, 31680), w == RtfWord::TabBar ? QTextOption::LeftTab : p.nextTabType});
        p.nextTabType = QTextOption::LeftTab;
        return;
    default:
        return;  // anything else is formatting this component does not keep
    }
}

void Reader::appendText(QChar ch) {
    const int fieldId = activeFieldId_;
    if (!runs_.empty() && !runs_.back().object && runs_.back().chr == g().chr &&
        runs_.back().fieldId == fieldId) {
        runs_.back().text += ch;
        return;
    }
    runs_.push_back(Run{QString(ch), g().chr, fieldId, std::nullopt});
}

void Reader::appendMarker(const QTextCharFormat& fmt) {
    runs_.push_back(Run{QString(QChar(kObjectChar)), g().chr, 0, fmt});
}

QTextCharFormat Reader::charFormat(const CharState& c, int fieldId) {
    if (lastFormatKey_ && *lastFormatKey_ == c && lastFormatField_ == fieldId) return lastFormat_;
    QTextCharFormat f;
    const int fontNum = c.font >= 0 ? c.font : defaultFont_;
    QString family = fonts_.value(fontNum);
    if (family.isEmpty()) family = fonts_.value(defaultFont_);
    if (family.isEmpty()) family = QStringLiteral("Arial");
    f.setFontFamilies({family});
    f.setFontPointSize(c.halfPoints / 2.0);
    f.setFontWeight(c.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(c.italic);
    f.setFontUnderline(c.underline);
    f.setFontStrikeOut(c.strike);
    if (c.vertical == 1) f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    if (c.vertical == 2) f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    if (c.fg > 0 && size_t(c.fg) < colors_.size() && colors_[c.fg].isValid()) f.setForeground(colors_[c.fg]);
    if (c.bg > 0 && size_t(c.bg) < colors_.size() && colors_[c.bg].isValid()) f.setBackground(colors_[c.bg]);
    if (fieldId > 0) f.setProperty(kFieldIdProperty, fieldId);
    lastFormatKey_ = c;
    lastFormatField_ = fieldId;
    lastFormat_ = f;
    return f;
}

QTextBlockFormat Reader::blockFormat(const ParaState& p, bool breakBefore) const {
    QTextBlockFormat b;
    b.setAlignment(p.align);
    b.setLeftMargin(TwipsToLayout(p.li));
    b.setRightMargin(TwipsToLayout(p.ri));
    b.setTextIndent(TwipsToLayout(p.fi));
    b.setTopMargin(TwipsToLayout(p.sb));
    b.setBottomMargin(TwipsToLayout(p.sa));
    if (p.slMult && p.sl > 0)
        b.setLineHeight(std::clamp(p.sl * 100.0 / 240.0, 10.0, 1000.0), QTextBlockFormat::ProportionalHeight);
    else if (p.sl > 0)
        b.setLineHeight(TwipsToLayout(p.sl), QTextBlockFormat::MinimumHeight);
    else if (p.sl < 0)
        b.setLineHeight(TwipsToLayout(-p.sl), QTextBlockFormat::FixedHeight);
    if (!p.tabs.empty()) {
        std::vector<TabStop> tabs = p.tabs;
        std::stable_sort(tabs.begin(), tabs.end(), [](const TabStop& a, const TabStop& b) { return a.twips < b.twips; });
        // RTF measures tab stops from the margin, Qt from where the first line starts.
        const int firstLine = p.li + p.fi;
        QList<QTextOption::Tab> list;
        for (const TabStop& t : tabs) {
            if (t.twips <= firstLine) continue;
            QTextOption::Tab tab(TwipsToLayout(t.twips - firstLine), t.type);
            if (t.type == QTextOption::DelimiterTab) tab.delimiter = QLocale::c().decimalPoint().at(0);
            list.append(tab);
        }
        b.setTabPositions(list);
    }
    if (breakBefore) b.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    return b;
}

void Reader::endParagraph() {
    if (g().dest != Dest::Text) return;
    const QTextBlockFormat bf = blockFormat(g().para, pendingBreak_ || g().para.pageBreakBefore);
    pendingBreak_ = false;
    const QTextCharFormat blockChar = charFormat(runs_.empty() ? g().chr : runs_.front().chr, 0);
    if (firstParagraph_) {
        cursor_.setBlockFormat(bf);
        cursor_.setBlockCharFormat(blockChar);
        firstParagraph_ = false;
    } else {
        cursor_.insertBlock(bf, blockChar);
    }
    for (const Run& r : runs_) {
        if (r.object)
            cursor_.insertText(r.text, *r.object);
        else
            cursor_.insertText(r.text, charFormat(r.chr, r.fieldId));
    }
    runs_.clear();
    activeFieldId_ = 0;  // a field's value ends with its paragraph
}

void Reader::finish() {
    // A marker left open by a truncated file still counts.
    while (stack_.size() > 1) closeGroup();
    overflowDepth_ = 0;
    if (!runs_.empty()) {
        endParagraph();
    } else if (firstParagraph_) {
        cursor_.setBlockFormat(blockFormat(g().para, false));
        cursor_.setBlockCharFormat(charFormat(g().chr, 0));
    }
}

}  // namespace

RtfReadResult RtfReader::read(const QByteArray& data, QTextDocument* doc, int firstFieldId) {
    qsizetype start = 0;
    const bool utf8Bom = data.startsWith("\xEF\xBB\xBF");
    if (utf8Bom) start = 3;
    while (start < data.size() && (data[start] == ' ' || data[start] == '\r' || data[start] == '\n' || data[start] == '\t'))
        ++start;
    if (data.mid(start, 5) == "{\\rtf") {
        Reader reader(data, doc, std::max(firstFieldId, 1));
        return reader.run();
    }
    // Not RTF: keep the text as it is, one paragraph per line.
    QString text = utf8Bom ? QString::fromUtf8(data.mid(3)) : fromCp1252(data);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    text.removeIf([](QChar ch) { return ch.unicode() < 0x20 && ch != u'\n' && ch != u'\t'; });
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    doc->setPlainText(text);
    doc->setUndoRedoEnabled(undo);
    RtfReadResult r;
    r.wasRtf = false;
    r.nextFieldId = std::max(firstFieldId, 1);
    return r;
}

}  // namespace orv
