#pragma once
// Character work of the spell checker, all on Windows-1252 bytes: the
// dictionaries' upper-casing, the 64-letter alphabet of the tree nodes, the
// pattern-matching similarity of two words and the 4-character phonetic key.
#include <QByteArray>

namespace orv::spell {

// Longest word the tree walks follow; a deeper path in a file is damage.
constexpr int kMaxDepth = 64;
// Longest word that is corrected or added.
constexpr int kMaxWordLength = 25;

// a-z, š, œ, ÿ and à…þ (except ÷) to their upper-case forms; other bytes unchanged.
unsigned char upper(unsigned char c);
// The reverse of upper().
unsigned char lower(unsigned char c);
QByteArray upper(const QByteArray& word);
QByteArray lower(const QByteArray& word);
bool isLower(unsigned char c);
bool isUpper(unsigned char c);
// A letter for the pairing of letter cases (either case, or a letter without case such as ß).
bool isLetter(unsigned char c);

// The 6-bit code of a character (lower-case letters take their upper-case
// letter's code), or -1 when the alphabet has no place for it.
int letterCode(unsigned char c);
// The character a code stands for (0..63).
unsigned char codeLetter(int code);

// Ratcliff/Obershelp: 200 × matched characters ÷ (|a| + |b|).
int similarity(const QByteArray& a, const QByteArray& b);

// The phonetic key of an upper-case word, cut to 4 characters but not padded.
QByteArray phoneticKey(const QByteArray& word);
// The same into key; returns its length (0 to 4). For the suggestion walk,
// which keys every prefix it passes.
int phoneticKey(const char* word, qsizetype size, char key[4]);

}  // namespace orv::spell
