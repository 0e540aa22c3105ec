#pragma once
// TSpellEngine: looks words up in a main dictionary and any number of user
// dictionaries, proposes similar words for a wrong one, and adds words to user
// dictionaries. No widgets: the Spell Check dialog, tools and tests use it alike.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace orv {

namespace spell {
class Segment;
}

class TSpellEngine : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString DictionaryName READ dictionaryName WRITE setDictionaryName)
    Q_PROPERTY(QString DictionaryUser READ dictionaryUser WRITE setDictionaryUser)
    Q_PROPERTY(int MaxSuggestions READ maxSuggestions WRITE setMaxSuggestions)

public:
    static constexpr int kMaxSuggestionsLimit = 220;

    explicit TSpellEngine(QObject* parent = nullptr);
    ~TSpellEngine() override;

    QString dictionaryName() const { return dictionaryName_; }
    void setDictionaryName(const QString& name) { dictionaryName_ = name; }
    QString dictionaryUser() const { return dictionaryUser_; }
    void setDictionaryUser(const QString& name) { dictionaryUser_ = name; }
    int maxSuggestions() const { return maxSuggestions_; }
    // Values above 220 are stored as 220, negative ones as 0.
    void setMaxSuggestions(int n);

    // False when a main dictionary is already open, or the file cannot be read
    // or is not a main dictionary.
    bool openMainDictionary(const QString& fileName);
    // A handle (0 or more), or -1 when the file cannot be opened as a user dictionary.
    int openUserDictionary(const QString& fileName);
    // Writes a new user dictionary (it holds "A"), adds the words and opens it;
    // its handle, or -1 when the file cannot be written.
    int createUserDictionary(const QString& fileName, const QStringList& words);
    // Closes and forgets every dictionary.
    void close();

    bool hasMainDictionary() const;
    int segmentCount() const { return int(segments_.size()); }

    // True when the word is correct; opens DictionaryName first when no main
    // dictionary is open.
    bool checkWord(const QString& word);
    // Up to MaxSuggestions words like the given one, best first, in its letter case.
    QStringList suggestions(const QString& word);
    // The list the last suggestions() call returned.
    const QStringList& suggestionList() const { return suggestions_; }
    // Adds a word to the open user dictionary with that handle; false for a
    // negative or unknown handle, a word longer than 25 characters, a word with
    // characters the dictionary cannot store, a full dictionary, or a file error.
    bool addWord(const QString& word, int handle);

    // The same on Windows-1252 bytes, for tools and benchmarks that hold them.
    bool checkBytes(const QByteArray& word);
    QList<QByteArray> suggestBytes(const QByteArray& word);

private:
    struct Candidate {
        QByteArray text;
        int score;
    };
    void ensureMainDictionary();
    bool checkUpper(const QByteArray& upperWord) const;
    void walkSegment(const spell::Segment& s, const char* target, const QByteArray& word);
    void offer(const QByteArray& candidate, const QByteArray& word);

    QString dictionaryName_ = QStringLiteral("spell.dct");
    QString dictionaryUser_ = QStringLiteral("custom.dct");
    int maxSuggestions_ = 10;
    int nextHandle_ = 2;
    std::vector<std::unique_ptr<spell::Segment>> segments_;
    std::vector<Candidate> candidates_;
    QStringList suggestions_;
};

}  // namespace orv
