#pragma once
// Walks the words of a QTextDocument for the spell checker: start at the
// beginning, give one word after the other (empty when the text is
// exhausted), mark the word last given, replace the marked word, unmark.
// Words are runs of letters with inner apostrophes; runs that hold a digit
// are passed over. Merge-field markers separate words.
#include <QString>

class QTextDocument;

namespace orv {

class WordWalk {
public:
    struct Range {
        int start = -1;
        int length = 0;
        bool valid() const { return start >= 0; }
    };

    explicit WordWalk(QTextDocument* doc) : doc_(doc) {}

    void start();
    // The next word, with typographic apostrophes given as "'"; empty at the end.
    QString nextWord();
    // Marks the word nextWord gave last; false when there is none.
    bool mark();
    // Replaces the marked word (keeping the format of its first character)
    // and continues the walk after the replacement; false when nothing is marked.
    bool replaceMarked(const QString& text);
    void unmark() { marked_ = {}; }

    Range lastWord() const { return last_; }
    Range marked() const { return marked_; }

private:
    QTextDocument* doc_;
    int pos_ = 0;
    Range last_;
    Range marked_;
};

}  // namespace orv
