#include "compose/spell_engine.h"

#include "common/atomic_file.h"
#include "common/cp1252.h"
#include "compose/spell_dictionary.h"
#include "compose/spell_text.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace orv {

using namespace spell;

namespace {

// The letters tried in place of a word's first letter, in order.
QByteArray buildFirstLetters(unsigned char first) {
    auto range = [](int from, int to) {
        QByteArray r;
        for (int c = from; c <= to; ++c) r.append(char(c));
        return r;
    };
    auto list = [&](const char* ascii, QByteArray extra = {}) { return QByteArray(ascii) + extra; };
    const QByteArray aToAE = range(0xC0, 0xC6), eToI = range(0xC8, 0xCF), oGrave = range(0xD2, 0xD6),
                     iGrave = range(0xCC, 0xCF), uGrave = range(0xD9, 0xDC);
    const char sCaron = char(0x8A), oe = char(0x8C), yDia = char(0x9F);
    switch (first) {
    case 'A': return list("EDA", aToAE);
    case 'B': return list("PVNB", QByteArray(1, char(0xDF)));
    case 'C': return list("SXVC", QByteArray(1, oe));
    case 'D': return list("FD", QByteArray(1, char(0xD0)));
    case 'E': return list("IWRE", eToI);
    case 'F': return list("DGF");
    case 'G': return list("JG");
    case 'H': return list("JGH");
    case 'I': return list("EOUI", eToI);
    case 'J': return list("GJ");
    case 'K': return list("CLJK");
    case 'L': return list("KL");
    case 'M': return list("NM", QByteArray(1, char(0xD1)));
    case 'N': return list("MBN", QByteArray(1, char(0xD1)));
    case 'O': return list("PIO", oGrave + iGrave);
    case 'P': return list("BOP", QByteArray(1, char(0xDE)));
    case 'Q': return list("WQ");
    case 'R': return list("ETR");
    case 'S': return list("ACDS", QByteArray(1, sCaron) + oe);
    case 'T': return list("YRT");
    case 'U': return list("YIU", uGrave);
    case 'V': return list("BCV", QByteArray(1, oe));
    case 'W': return list("QEW");
    case 'X': return list("CZX");
    case 'Y': return list("TUY", QByteArray(1, yDia) + char(0xDD));
    case 'Z': return list("XZ");
    default: break;
    }
    if (first >= 0xC0 && first <= 0xC6) return buildFirstLetters('A');
    if (first == 0xC7 || first == 0x8C) return buildFirstLetters('C');
    if (first == 0xD0) return buildFirstLetters('D');
    if (first >= 0xC8 && first <= 0xCB) return buildFirstLetters('E');
    if (first >= 0xCC && first <= 0xCF) return buildFirstLetters('I');
    if (first == 0xD1) return buildFirstLetters('N');
    if (first >= 0xD2 && first <= 0xD6) return buildFirstLetters('O');
    if (first == 0xDE) return buildFirstLetters('P');
    if (first >= 0xD9 && first <= 0xDC) return buildFirstLetters('U');
    if (first == 0x9F || first == 0xDD) return buildFirstLetters('Y');
    if (first == 0xDF) return buildFirstLetters('B');
    return QByteArray(1, char(first));
}

// Built once: every suggestion asks for them.
const QByteArray& firstLetters(unsigned char first) {
    static const std::array<QByteArray, 256> table = [] {
        std::array<QByteArray, 256> t;
        for (int c = 0; c < 256; ++c) t[size_t(c)] = buildFirstLetters(static_cast<unsigned char>(c));
        return t;
    }();
    return table[first];
}

bool codesOf(const QByteArray& upperWord, std::vector<int>& codes) {
    codes.clear();
    for (char ch : upperWord) {
        const int c = letterCode(static_cast<unsigned char>(ch));
        if (c < 0) return false;
        codes.push_back(c);
    }
    return true;
}

// The dictionary walk of checking: true when the segment holds the word.
bool segmentHolds(const Segment& s, const int* codes, int n) {
    uint32_t list = 1;
    for (int k = 0; k < n; ++k) {
        const bool lastChar = k + 1 == n;
        uint32_t next = 0;
        for (uint32_t i = list; i <= s.limit(); ++i) {
            const Node x = s.node(i);
            if (!x.isFree() && x.code() == codes[k]) {
                if (lastChar) {
                    if (x.wordEnd()) return true;
                } else if (const uint32_t c = s.childOf(x)) {
                    next = c;
                    break;
                }
            }
            if (x.last()) break;
        }
        if (lastChar || next == 0) return false;
        list = next;
    }
    return false;
}

// A candidate's letters in the case of the word as typed.
QByteArray inCaseOf(const QByteArray& candidate, const QByteArray& typed) {
    bool anyLower = false;
    for (char ch : typed) anyLower = anyLower || isLower(static_cast<unsigned char>(ch));
    if (!anyLower) return candidate;
    QByteArray out = lower(candidate);
    qsizetype i = 0, j = 0;
    while (true) {
        while (i < typed.size() && !isLetter(static_cast<unsigned char>(typed[i]))) ++i;
        while (j < out.size() && !isLetter(static_cast<unsigned char>(out[j]))) ++j;
        if (i >= typed.size() || j >= out.size()) break;
        if (isUpper(static_cast<unsigned char>(typed[i]))) out[j] = char(upper(static_cast<unsigned char>(out[j])));
        ++i;
        ++j;
    }
    return out;
}

}  // namespace

TSpellEngine::TSpellEngine(QObject* parent) : QObject(parent) {}

TSpellEngine::~TSpellEngine() = default;

void TSpellEngine::setMaxSuggestions(int n) { maxSuggestions_ = std::clamp(n, 0, kMaxSuggestionsLimit); }

bool TSpellEngine::hasMainDictionary() const {
    return !segments_.empty() && segments_.front()->kind() == Segment::Kind::FirstMain;
}

bool TSpellEngine::openMainDictionary(const QString& fileName) {
    if (hasMainDictionary()) return false;
    auto file = DictFile::open(fileName, false);
    auto found = readSegments(file, false);
    if (found.empty() || found.front()->header().kind == 0) return false;
    segments_.insert(segments_.begin(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
    return true;
}

int TSpellEngine::openUserDictionary(const QString& fileName) {
    auto file = DictFile::open(fileName, true);
    if (!file) file = DictFile::open(fileName, false);
    auto found = readSegments(file, true);
    if (found.empty() || found.front()->header().kind != 0) return -1;
    const int handle = nextHandle_;
    nextHandle_ = nextHandle_ >= 65534 ? 0 : nextHandle_ + 1;
    found.front()->setHandle(handle);
    segments_.push_back(std::move(found.front()));
    return handle;
}

int TSpellEngine::createUserDictionary(const QString& fileName, const QStringList& words) {
    SegmentImage image;
    image.kind = 0;
    image.wordCount = 1;
    image.capacity = 500;
    image.nodes.push_back(Node{0, uint8_t(letterCode('A') | kLastSibling | kWordEnd)});
    const QByteArray header = QByteArrayLiteral("USER DICTIONARY\r\nWords added in Orvane's spell checker\r\n");
    if (!WriteFileAtomically(fileName, dictionaryBytes(header, {image}))) return -1;
    const int handle = openUserDictionary(fileName);
    if (handle < 0) return -1;
    for (const QString& w : words) addWord(w, handle);
    return handle;
}

void TSpellEngine::close() {
    segments_.clear();
    candidates_.clear();
}

void TSpellEngine::ensureMainDictionary() {
    if (!hasMainDictionary()) openMainDictionary(dictionaryName_);
}

bool TSpellEngine::checkUpper(const QByteArray& w) const {
    if (w.size() <= 1) return true;
    if (w.size() <= kMaxDepth) {
        int codes[kMaxDepth];
        bool storable = true;
        for (qsizetype i = 0; i < w.size() && storable; ++i) {
            codes[i] = letterCode(static_cast<unsigned char>(w[i]));
            storable = codes[i] >= 0;
        }
        if (storable)
            for (const auto& s : segments_)
                if (segmentHolds(*s, codes, int(w.size()))) return true;
    }
    if (w.endsWith("'S")) return checkUpper(w.chopped(2));
    return false;
}

bool TSpellEngine::checkBytes(const QByteArray& word) {
    ensureMainDictionary();
    return checkUpper(upper(word));
}

bool TSpellEngine::checkWord(const QString& word) { return checkBytes(toCp1252(word)); }

void TSpellEngine::offer(const QByteArray& candidate, const QByteArray& word) {
    if (maxSuggestions_ <= 0) return;
    const int n = int(candidates_.size());
    for (const Candidate& c : candidates_)
        if (c.text == candidate) return;
    QByteArray scored = candidate;
    if (scored.contains('\'')) scored.replace('\'', QByteArray());
    // With the list full, a candidate that could not beat the last one even
    // if all its letters matched is not scored at all.
    const qsizetype total = word.size() + scored.size();
    if (n >= maxSuggestions_ && total > 0 && 200 * std::min(word.size(), scored.size()) / total <= candidates_.back().score) return;
    const int score = similarity(word, scored);
    if (n >= maxSuggestions_ && score <= candidates_.back().score) return;
    int at = n;
    while (at > 0 && candidates_[at - 1].score < score) --at;
    // A copy of its own: the walk offers the letters of its stack.
    candidates_.insert(candidates_.begin() + at, Candidate{QByteArray(candidate.constData(), candidate.size()), score});
    if (int(candidates_.size()) > maxSuggestions_) candidates_.pop_back();
}

void TSpellEngine::walkSegment(const Segment& s, const char* target, const QByteArray& word) {
    // A sound tree is walked with every node read at most once; a damaged one
    // (shared or cyclic child lists) is cut off at that many reads.
    int64_t budget = int64_t(s.limit()) + 1;
    char text[kMaxDepth];
    auto visit = [&](auto&& self, uint32_t list, int depth) -> void {
        for (uint32_t i = list; i <= s.limit(); ++i) {
            if (--budget < 0) return;
            const Node x = s.node(i);
            if (!x.isFree()) {
                text[depth] = char(codeLetter(x.code()));
                if (x.wordEnd()) offer(QByteArray::fromRawData(text, depth + 1), word);
                const uint32_t child = s.childOf(x);
                if (child && depth + 1 < kMaxDepth) {
                    char key[4];
                    const int keyLength = phoneticKey(text, depth + 1, key);
                    char full[4];
                    for (int p = 0; p < 4; ++p) full[p] = p < keyLength ? key[p] : target[p];
                    if (std::memcmp(full, target, 4) == 0) self(self, child, depth + 1);
                }
            }
            if (x.last()) return;
        }
    };
    visit(visit, 1, 0);
}

QList<QByteArray> TSpellEngine::suggestBytes(const QByteArray& typed) {
    ensureMainDictionary();
    candidates_.clear();
    const QByteArray word = upper(typed.left(kMaxWordLength));
    QList<QByteArray> out;
    if (word.isEmpty()) return out;
    char target[4] = {0, 0, 0, 0};
    const QByteArray key = phoneticKey(word);
    std::memcpy(target, key.constData(), size_t(key.size()));
    for (char letter : firstLetters(static_cast<unsigned char>(word[0]))) {
        target[0] = letter;
        for (const auto& s : segments_) walkSegment(*s, target, word);
    }
    const int n = int(word.size());
    const int a = (word[0] == 'A' || word[0] == 'I') ? 1 : 2;
    const int b = (word.endsWith('A') || word.endsWith('I')) ? n - 1 : n - 2;
    for (int d = a; d <= b; ++d) {
        const QByteArray left = word.left(d), right = word.mid(d);
        if (checkUpper(left) && checkUpper(right)) offer(left + ' ' + right, word);
    }
    for (const Candidate& c : candidates_) out.append(inCaseOf(c.text, typed));
    return out;
}

QStringList TSpellEngine::suggestions(const QString& word) {
    suggestions_.clear();
    for (const QByteArray& s : suggestBytes(toCp1252(word))) suggestions_.append(fromCp1252(s));
    return suggestions_;
}

bool TSpellEngine::addWord(const QString& word, int handle) {
    if (handle < 0) return false;
    Segment* target = nullptr;
    for (const auto& s : segments_)
        if (s->kind() == Segment::Kind::User && s->handle() == handle) target = s.get();
    if (!target) return false;
    const QByteArray w = upper(toCp1252(word));
    if (w.isEmpty() || w.size() > kMaxWordLength) return false;
    std::vector<int> codes;
    if (!codesOf(w, codes)) return false;
    return target->addCodes(codes);
}

}  // namespace orv
