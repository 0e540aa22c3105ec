#include "richtext/word_walk.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace orv {

namespace {

bool isApostrophe(QChar c) { return c == u'\'' || c == u'\u2019'; }

}  // namespace

void WordWalk::start() {
    pos_ = 0;
    last_ = {};
    marked_ = {};
}

QString WordWalk::nextWord() {
    last_ = {};
    const int end = doc_->characterCount();
    if (pos_ < 0) pos_ = 0;
    for (QTextBlock b = doc_->findBlock(pos_); b.isValid(); b = b.next()) {
        const QString text = b.text();
        const int base = b.position();
        qsizetype i = std::max(0, pos_ - base);
        while (i < text.size()) {
            if (!text[i].isLetterOrNumber()) {
                ++i;
                continue;
            }
            const qsizetype s = i;
            bool digit = false;
            while (i < text.size()) {
                if (text[i].isLetterOrNumber()) {
                    digit = digit || text[i].isDigit();
                    ++i;
                } else if (isApostrophe(text[i]) && i + 1 < text.size() && text[i + 1].isLetter() && i > s) {
                    ++i;
                } else {
                    break;
                }
            }
            pos_ = base + int(i);
            if (digit) continue;
            last_ = {base + int(s), int(i - s)};
            QString word = text.mid(s, i - s);
            word.replace(u'\u2019', u'\'');
            return word;
        }
        pos_ = base + b.length();
        if (pos_ >= end) break;
    }
    pos_ = end;
    return {};
}

bool WordWalk::mark() {
    if (!last_.valid()) return false;
    marked_ = last_;
    return true;
}

bool WordWalk::replaceMarked(const QString& text) {
    if (!marked_.valid()) return false;
    const int limit = doc_->characterCount() - 1;
    const int s = std::clamp(marked_.start, 0, limit);
    const int e = std::clamp(marked_.start + marked_.length, s, limit);
    QTextCursor c(doc_);
    c.setPosition(s + (e > s ? 1 : 0));
    const QTextCharFormat fmt = c.charFormat();
    c.setPosition(s);
    c.setPosition(e, QTextCursor::KeepAnchor);
    c.insertText(text, fmt);
    pos_ = s + int(text.size());
    marked_ = {};
    last_ = {};
    return true;
}

}  // namespace orv
