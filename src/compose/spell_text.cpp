#include "compose/spell_text.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <vector>

namespace orv::spell {

namespace {

constexpr unsigned char kS = 0x8A, kSLower = 0x9A;   // Š š
constexpr unsigned char kOE = 0x8C, kOELower = 0x9C; // Œ œ
constexpr unsigned char kY = 0x9F, kYLower = 0xFF;   // Ÿ ÿ
constexpr unsigned char kEth = 0xF0;                 // ð

struct Alphabet {
    std::array<unsigned char, 64> letters{};
    std::array<signed char, 256> codes{};
    constexpr Alphabet() {
        const char* ascii = "ABCDEFGHIJKLMNOPQRSTUVWXYZ'-";
        int n = 0;
        for (const char* p = ascii; *p; ++p) letters[n++] = static_cast<unsigned char>(*p);
        letters[n++] = kS;
        letters[n++] = kOE;
        letters[n++] = kY;
        for (int c = 0xC0; c <= 0xD6; ++c) letters[n++] = static_cast<unsigned char>(c);
        for (int c = 0xD8; c <= 0xDF; ++c) letters[n++] = static_cast<unsigned char>(c);
        letters[n++] = kEth;
        letters[n++] = '`';
        for (auto& c : codes) c = -1;
        for (int i = 0; i < 64; ++i) codes[letters[i]] = static_cast<signed char>(i);
    }
};

constexpr Alphabet kAlphabet;

}  // namespace

unsigned char upper(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
    if (c == kSLower) return kS;
    if (c == kOELower) return kOE;
    if (c == kYLower) return kY;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
    return c;
}

unsigned char lower(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
    if (c == kS) return kSLower;
    if (c == kOE) return kOELower;
    if (c == kY) return kYLower;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
    return c;
}

QByteArray upper(const QByteArray& word) {
    QByteArray out(word);
    for (auto& ch : out) ch = static_cast<char>(upper(static_cast<unsigned char>(ch)));
    return out;
}

QByteArray lower(const QByteArray& word) {
    QByteArray out(word);
    for (auto& ch : out) ch = static_cast<char>(lower(static_cast<unsigned char>(ch)));
    return out;
}

bool isLower(unsigned char c) { return upper(c) != c; }
bool isUpper(unsigned char c) { return lower(c) != c; }
bool isLetter(unsigned char c) { return isLower(c) || isUpper(c) || c == 0xDF || c == 0xAA || c == 0xBA; }

int letterCode(unsigned char c) { return kAlphabet.codes[upper(c)]; }

unsigned char codeLetter(int code) { return kAlphabet.letters[static_cast<unsigned>(code) & 63]; }

int similarity(const QByteArray& a, const QByteArray& b) {
    const int total = int(a.size() + b.size());
    if (total == 0) return 0;
    // Pieces still to match, as [aBegin, aEnd) and [bBegin, bEnd); at most one
    // per matched character is ever pending, so a small fixed stack suffices
    // for the words we score, and a vector for anything longer.
    struct Piece { int a0, a1, b0, b1; };
    const size_t most = size_t(std::min(a.size(), b.size())) + 2;
    Piece fixed[40];
    std::vector<Piece> large;
    if (most > std::size(fixed)) large.resize(most);
    Piece* const todo = large.empty() ? fixed : large.data();
    size_t pending = 0;
    todo[pending++] = {0, int(a.size()), 0, int(b.size())};
    int matched = 0;
    const char* pa = a.constData();
    const char* pb = b.constData();
    while (pending > 0) {
        const Piece p = todo[--pending];
        int best = 0, bestA = 0, bestB = 0;
        for (int i = p.a0; i < p.a1 && p.a1 - i > best; ++i) {
            for (int j = p.b0; j < p.b1 && p.b1 - j > best; ++j) {
                if (pa[i] != pb[j]) continue;
                int n = 1;
                while (i + n < p.a1 && j + n < p.b1 && pa[i + n] == pb[j + n]) ++n;
                if (n > best) {
                    best = n;
                    bestA = i;
                    bestB = j;
                }
            }
        }
        if (best == 0) continue;
        matched += best;
        if (bestA + best < p.a1 && bestB + best < p.b1) todo[pending++] = {bestA + best, p.a1, bestB + best, p.b1};
        if (bestA > p.a0 && bestB > p.b0) todo[pending++] = {p.a0, bestA, p.b0, bestB};
    }
    return 200 * matched / total;
}

namespace {

bool droppedFromKey(unsigned char c) {
    switch (c) {
    case 'A': case 'E': case 'H': case 'I': case 'O': case 'U': case 'W': case 'Y':
    case kY: case kEth:
        return true;
    default:
        break;
    }
    return (c >= 0xC0 && c <= 0xC6) || (c >= 0xC8 && c <= 0xCF) || (c >= 0xD2 && c <= 0xD6) ||
           (c >= 0xD8 && c <= 0xDD);
}

unsigned char keyCharacter(unsigned char c) {
    switch (c) {
    case 'B': case 'F': case 'P': case 'V': case '6': case '8': case 0xDE: case 0xDF:
        return 1;
    case 'C': case 'G': case 'J': case 'K': case 'Q': case 'S': case 'X': case 'Z':
    case '3': case '4': case '5': case '9': case kS: case kOE: case 0xC7:
        return 2;
    case 'D': case 'T': case 0xD0:
        return 3;
    case 'L': case '2':
        return 4;
    case 'M': case 'N': case 0xD1:
        return 5;
    case 'R':
        return 6;
    case '\'': case '-': case '`':
        return 7;
    case '0': case 0xD8:
        return 'O';
    case '1': case '7':
        return 'I';
    default:
        break;
    }
    if (c >= 0xD2 && c <= 0xD6) return 'O';
    if (c >= 0xCC && c <= 0xCF) return 'I';
    if (c >= 0xC0 && c <= 0xC6) return 'A';
    if (c >= 0xC8 && c <= 0xCB) return 'E';
    if (c >= 0xD9 && c <= 0xDC) return 'U';
    return c;
}

}  // namespace

QByteArray phoneticKey(const QByteArray& word) {
    char key[4];
    return QByteArray(key, phoneticKey(word.constData(), word.size(), key));
}

int phoneticKey(const char* word, qsizetype size, char key[4]) {
    if (size <= 0) return 0;
    // Only the first 4 distinct characters survive, so the work stops as soon
    // as they are known.
    int n = 0;
    key[n++] = word[0];
    for (qsizetype i = 1; i < size && n < 4; ++i) {
        const auto c = static_cast<unsigned char>(word[i]);
        if (droppedFromKey(c)) continue;
        const char k = static_cast<char>(keyCharacter(c));
        bool seen = false;
        for (int j = 1; j < n; ++j) seen = seen || key[j] == k;
        if (!seen) key[n++] = k;
    }
    return n;
}

}  // namespace orv::spell
