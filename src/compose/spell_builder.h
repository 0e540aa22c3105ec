#pragma once
// Making a main dictionary file from a word list: the words are upper-cased,
// those the alphabet cannot hold are left out and counted, and the sorted
// words are cut into segments whose trees each fit the 16-bit node indexes.
#include <QByteArray>
#include <QList>
#include <QStringList>

#include <cstdint>

namespace orv::spell {

struct BuildStats {
    int linesRead = 0;
    int unstorable = 0;     // a character outside Windows-1252 or the alphabet
    int tooLong = 0;        // deeper than the walks follow
    int caseDuplicates = 0; // the same word again in another letter case
    int possessives = 0;    // X'S where X is kept: the 's rule accepts them
    int words = 0;          // words stored
    uint32_t nodes = 0;
    int segments = 0;
};

// Most nodes the builder puts in one segment (indexes stop short of 65000, the free mark).
constexpr uint32_t kBuildSegmentNodes = 64000;

// The upper-case Windows-1252 words of a list of lines (UTF-8 text), sorted by
// letter code, each once; the counters of stats say what was left out.
QList<QByteArray> prepareWords(const QStringList& lines, BuildStats& stats);

// The bytes of a main dictionary holding the prepared words.
QByteArray buildMainDictionary(const QList<QByteArray>& preparedWords, BuildStats& stats,
                               uint32_t segmentNodes = kBuildSegmentNodes);

}  // namespace orv::spell
