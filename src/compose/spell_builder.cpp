#include "compose/spell_builder.h"

#include "common/cp1252.h"
#include "compose/spell_dictionary.h"
#include "compose/spell_text.h"

#include <QSet>

#include <algorithm>
#include <functional>

namespace orv::spell {

namespace {

bool codeLess(const QByteArray& a, const QByteArray& b) {
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const int ca = letterCode(static_cast<unsigned char>(a[i]));
        const int cb = letterCode(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
}

qsizetype commonPrefix(const QByteArray& a, const QByteArray& b) {
    const qsizetype n = std::min(a.size(), b.size());
    qsizetype i = 0;
    while (i < n && a[i] == b[i]) ++i;
    return i;
}

struct TrieNode {
    int code = 0;
    bool end = false;
    std::vector<int> kids;  // indexes into the node pool, in code order
};

// One segment's tree, laid out list by list: the root list at node 1, then
// each node's child list after the lists of its elder siblings' subtrees, so
// a lookup reads nearby blocks.
SegmentImage layOut(const QList<QByteArray>& words, qsizetype from, qsizetype to) {
    std::vector<TrieNode> pool(1);  // pool[0]: the root, not stored
    for (qsizetype w = from; w < to; ++w) {
        int at = 0;
        for (char ch : words[w]) {
            const int code = letterCode(static_cast<unsigned char>(ch));
            int next = -1;
            if (!pool[at].kids.empty() && pool[pool[at].kids.back()].code == code) next = pool[at].kids.back();
            if (next < 0) {
                next = int(pool.size());
                pool.push_back(TrieNode{code, false, {}});
                pool[at].kids.push_back(next);
            }
            at = next;
        }
        pool[at].end = true;
    }
    SegmentImage image;
    image.kind = 1;
    image.wordCount = uint32_t(to - from);
    image.nodes.resize(pool.size() - 1);
    uint32_t nextIndex = 1;
    std::function<uint32_t(const std::vector<int>&)> place = [&](const std::vector<int>& list) -> uint32_t {
        const uint32_t start = nextIndex;
        nextIndex += uint32_t(list.size());
        for (size_t k = 0; k < list.size(); ++k) {
            const TrieNode& t = pool[size_t(list[k])];
            Node& n = image.nodes[start + k - 1];
            n.flags = uint8_t(t.code | (t.end ? kWordEnd : 0) | (k + 1 == list.size() ? kLastSibling : 0));
            n.child = 0;
        }
        for (size_t k = 0; k < list.size(); ++k) {
            const TrieNode& t = pool[size_t(list[k])];
            if (!t.kids.empty()) image.nodes[start + k - 1].child = uint16_t(place(t.kids));
        }
        return start;
    };
    place(pool[0].kids);
    image.capacity = uint32_t(image.nodes.size());
    return image;
}

}  // namespace

QList<QByteArray> prepareWords(const QStringList& lines, BuildStats& stats) {
    QList<QByteArray> words;
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty()) continue;
        ++stats.linesRead;
        QByteArray w;
        bool ok = true;
        for (QChar ch : line) {
            const int b = unicodeToCp1252(ch.unicode());
            if (b < 0 || letterCode(static_cast<unsigned char>(b)) < 0) {
                ok = false;
                break;
            }
            w.append(char(upper(static_cast<unsigned char>(b))));
        }
        if (!ok) {
            ++stats.unstorable;
            continue;
        }
        if (w.size() > kMaxDepth) {
            ++stats.tooLong;
            continue;
        }
        words.append(w);
    }
    std::sort(words.begin(), words.end(), codeLess);
    const auto before = words.size();
    words.erase(std::unique(words.begin(), words.end()), words.end());
    stats.caseDuplicates += int(before - words.size());
    const QSet<QByteArray> all(words.begin(), words.end());
    QList<QByteArray> kept;
    kept.reserve(words.size());
    for (const QByteArray& w : words) {
        if (w.endsWith("'S") && (w.size() <= 3 || all.contains(w.chopped(2)))) {
            ++stats.possessives;
            continue;
        }
        kept.append(w);
    }
    return kept;
}

QByteArray buildMainDictionary(const QList<QByteArray>& words, BuildStats& stats, uint32_t segmentNodes) {
    std::vector<SegmentImage> segments;
    qsizetype first = 0;
    uint32_t inSegment = 0;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const uint32_t added =
            uint32_t(words[i].size() - (i > first ? commonPrefix(words[i - 1], words[i]) : 0));
        if (i > first && inSegment + added > segmentNodes) {
            segments.push_back(layOut(words, first, i));
            first = i;
            inSegment = uint32_t(words[i].size());
        } else {
            inSegment += added;
        }
    }
    if (words.size() > first) segments.push_back(layOut(words, first, words.size()));
    stats.words = int(words.size());
    stats.segments = int(segments.size());
    stats.nodes = 0;
    for (const SegmentImage& s : segments) stats.nodes += uint32_t(s.nodes.size());
    const QByteArray header = QByteArrayLiteral(
        "ORVANE MAIN DICTIONARY\r\nAmerican English, made from Debian's word list by orvdict\r\n");
    return dictionaryBytes(header, segments);
}

}  // namespace orv::spell
