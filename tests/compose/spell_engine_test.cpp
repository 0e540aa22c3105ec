// The spell-check engine on dictionaries we write here by hand, on the built
// orv.dct, and on damaged files.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <set>

#include "common/cp1252.h"
#include "compose/spell_builder.h"
#include "compose/spell_dictionary.h"
#include "compose/spell_engine.h"
#include "compose/spell_text.h"
#include "support/test_paths.h"

using namespace orv;
using namespace orv::spell;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

Node node(char letter, uint8_t bits, uint16_t child = 0) {
    return Node{child, uint8_t(letterCode(static_cast<unsigned char>(letter)) | bits)};
}

// A main dictionary holding the given words, made by the builder.
QByteArray mainDictionary(const QStringList& words, uint32_t segmentNodes = kBuildSegmentNodes) {
    BuildStats stats;
    return buildMainDictionary(prepareWords(words, stats), stats, segmentNodes);
}

QByteArray mainOf(const std::vector<Node>& nodes) {
    SegmentImage s;
    s.kind = 1;
    s.nodes = nodes;
    s.wordCount = 1;
    return dictionaryBytes("TEST\r\n", {s});
}

QString builtDictionary() { return test::binaryDir() + "/data/orv.dct"; }

class SpellEngineTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString file(const QString& name) const { return dir.path() + "/" + name; }
};

}  // namespace

TEST(SpellText, CaseAlphabetSimilarityAndPhoneticKey) {
    // Upper-casing: a-z, š œ ÿ and à…þ except ÷; ž and other bytes stay.
    EXPECT_EQ(upper('a'), 'A');
    EXPECT_EQ(upper(0x9A), 0x8A);
    EXPECT_EQ(upper(0x9C), 0x8C);
    EXPECT_EQ(upper(0xFF), 0x9F);
    EXPECT_EQ(upper(0xE9), 0xC9);
    EXPECT_EQ(upper(0xFE), 0xDE);
    EXPECT_EQ(upper(0xF7), 0xF7);
    EXPECT_EQ(upper(0x9E), 0x9E);
    EXPECT_EQ(upper(0xDF), 0xDF);
    EXPECT_EQ(lower(0xC9), 0xE9);
    EXPECT_EQ(lower(0xD7), 0xD7);
    EXPECT_EQ(lower(0x9F), 0xFF);

    // The 64-letter alphabet.
    EXPECT_EQ(letterCode('A'), 0);
    EXPECT_EQ(letterCode('z'), 25);
    EXPECT_EQ(letterCode('\''), 26);
    EXPECT_EQ(letterCode('-'), 27);
    EXPECT_EQ(letterCode(0x8A), 28);
    EXPECT_EQ(letterCode(0x9C), 29);  // œ takes the code of Œ
    EXPECT_EQ(letterCode(0x9F), 30);
    EXPECT_EQ(letterCode(0xC0), 31);
    EXPECT_EQ(letterCode(0xD6), 53);
    EXPECT_EQ(letterCode(0xD8), 54);
    EXPECT_EQ(letterCode(0xDF), 61);
    EXPECT_EQ(letterCode('`'), 63);
    EXPECT_EQ(letterCode(0xD7), -1);
    EXPECT_EQ(letterCode('1'), -1);
    EXPECT_EQ(letterCode(' '), -1);
    for (int c = 0; c < 64; ++c) EXPECT_EQ(letterCode(codeLetter(c)), c == 62 ? letterCode(0xF0) : c);
    EXPECT_EQ(codeLetter(62), 0xF0);

    // Ratcliff/Obershelp.
    EXPECT_EQ(similarity("BROWN", "BROWN"), 100);
    EXPECT_EQ(similarity("ABC", "XYZ"), 0);
    EXPECT_EQ(similarity("TEH", "THE"), 66);    // T, then E: 2 of 6
    EXPECT_EQ(similarity("BRWON", "BROWN"), 80); // BR, W, N: 4 of 10
    EXPECT_EQ(similarity("", ""), 0);
    // The longest common part first, then its left and right.
    EXPECT_EQ(similarity("WIKIMEDIA", "WIKIMANIA"), 200 * 7 / 18);  // WIKIM, I, A
    // First found wins a tie: in "AB" vs "BA" the A is taken and nothing is left on both sides.
    EXPECT_EQ(similarity("AB", "BA"), 50);

    // Phonetic key.
    EXPECT_EQ(phoneticKey("BROWN"), QByteArray("B\x06\x05"));
    EXPECT_EQ(phoneticKey("TEH"), QByteArray("T"));
    EXPECT_EQ(phoneticKey("ROBERT"), QByteArray("R\x01\x06\x03"));
    EXPECT_EQ(phoneticKey("PAPPAS"), QByteArray("P\x01\x02"));  // later 1s deleted, not only adjacent ones
    EXPECT_EQ(phoneticKey("A0'1"), QByteArray("AO\x07I"));
    EXPECT_EQ(phoneticKey("AEIOUWYH"), QByteArray("A"));
    EXPECT_EQ(phoneticKey("XBCDLMR-"), QByteArray("X\x01\x02\x03"));  // cut to 4
    EXPECT_EQ(phoneticKey(QByteArray("\xC7\xDE\xD0\xD1", 4)), QByteArray("\xC7\x01\x03\x05"));
    EXPECT_EQ(phoneticKey(""), QByteArray());
}

TEST_F(SpellEngineTest, NewUserDictionaryIsWrittenAsTheFormatSays) {
    TSpellEngine engine;
    const int handle = engine.createUserDictionary(file("u.dct"), {});
    ASSERT_GE(handle, 0);
    EXPECT_EQ(handle, 2);  // user dictionaries count from 2
    engine.close();
    const QByteArray bytes = test::readFile(file("u.dct"));
    const qsizetype eof = bytes.indexOf(char(26));
    ASSERT_GT(eof, 0);
    EXPECT_TRUE(bytes.startsWith("USER DICTIONARY\r\n"));
    EXPECT_TRUE(bytes.left(eof).endsWith("\r\n"));
    EXPECT_EQ(bytes.left(eof).count("\r\n"), 2);
    const auto* h = reinterpret_cast<const unsigned char*>(bytes.constData()) + eof + 1;
    const SegmentHeader header = SegmentHeader::decode(h);
    EXPECT_EQ(header.nodesInUse, 1u);
    EXPECT_EQ(header.capacity, 500u);
    EXPECT_EQ(header.wordCount, 1u);
    EXPECT_EQ(header.kind, 0);
    EXPECT_EQ(header.offset, uint32_t(eof + 1));
    ASSERT_EQ(bytes.size(), eof + 1 + 17 + 500 * 3);
    // Node 1: "A", last of its list, a word, no child. Nodes 2..500 free.
    const QByteArray nodes = bytes.mid(eof + 1 + 17);
    EXPECT_EQ(nodes.left(3), QByteArray("\x00\x00\xC0", 3));
    for (int i = 1; i < 500; ++i) ASSERT_EQ(nodes.mid(i * 3, 2), QByteArray("\xE8\xFD", 2)) << i;
}

TEST_F(SpellEngineTest, AddedWordsSurviveReopeningAndLimitsHold) {
    const QString path = file("u.dct");
    std::set<QByteArray> added;
    {
        TSpellEngine engine;
        const int h = engine.createUserDictionary(path, {"Orvane", "faxline"});
        ASSERT_GE(h, 0);
        EXPECT_FALSE(engine.addWord("word", -1));
        EXPECT_FALSE(engine.addWord("word", h + 1));
        EXPECT_FALSE(engine.addWord(QString(26, u'q'), h));  // 26 characters
        EXPECT_TRUE(engine.addWord(QString(25, u'q'), h));
        EXPECT_FALSE(engine.addWord("r2d2", h));  // digits have no letter code
        EXPECT_FALSE(engine.addWord("", h));
        EXPECT_TRUE(engine.addWord(QString::fromUtf8("Crème-brûlée"), h));
        EXPECT_TRUE(engine.addWord("Orvane", h));  // again: nothing changes
        // Many words in random order, so letters go in front of, between and
        // behind existing siblings and the node array grows past 500.
        QRandomGenerator rng(19);
        while (added.size() < 150) {
            QByteArray w;
            const int len = 2 + int(rng.bounded(8));
            for (int i = 0; i < len; ++i) w.append(char('A' + rng.bounded(10)));
            if (engine.addWord(QString::fromLatin1(w), h)) added.insert(w);
        }
    }
    TSpellEngine engine;
    engine.setDictionaryName(file("no-main.dct"));
    const int h = engine.openUserDictionary(path);
    ASSERT_GE(h, 0);
    EXPECT_TRUE(engine.checkWord("orvane"));
    EXPECT_TRUE(engine.checkWord("FAXLINE"));
    EXPECT_TRUE(engine.checkWord(QString(25, u'Q')));
    EXPECT_TRUE(engine.checkWord(QString::fromUtf8("CRÈME-BRÛLÉE")));
    EXPECT_FALSE(engine.checkWord(QString(26, u'q')));
    EXPECT_FALSE(engine.checkWord("orvan"));   // a prefix is not a word
    EXPECT_FALSE(engine.checkWord("orvanes"));
    for (const QByteArray& w : added) EXPECT_TRUE(engine.checkBytes(w)) << w.constData();
    QRandomGenerator rng(7);
    for (int n = 0; n < 2000; ++n) {
        QByteArray w;
        const int len = 2 + int(rng.bounded(8));
        for (int i = 0; i < len; ++i) w.append(char('A' + rng.bounded(10)));
        EXPECT_EQ(engine.checkBytes(w), added.count(w) == 1) << w.constData();
    }
    engine.close();
    const QByteArray bytes = test::readFile(path);
    const auto header = SegmentHeader::decode(
        reinterpret_cast<const unsigned char*>(bytes.constData()) + bytes.indexOf(char(26)) + 1);
    EXPECT_EQ(header.wordCount, 1u + 2 + 1 + 1 + added.size());
    EXPECT_GT(header.capacity, 500u);
    EXPECT_EQ(header.capacity % 500, 0u);
    EXPECT_EQ(bytes.size(), bytes.indexOf(char(26)) + 1 + 17 + 3 * qsizetype(header.capacity));
}

TEST_F(SpellEngineTest, AlmostFullUserDictionaryRefusesALongWord) {
    // 63,990 nodes in use: "A" at node 1 and unreachable single-node lists.
    SegmentImage s;
    s.kind = 0;
    s.wordCount = 1;
    s.nodes.assign(63990, node('Z', kLastSibling));
    s.nodes[0] = node('A', kLastSibling | kWordEnd);
    s.capacity = 64000;
    writeFile(file("full.dct"), dictionaryBytes("USER DICTIONARY\r\nfull\r\n", {s}));
    TSpellEngine engine;
    const int h = engine.openUserDictionary(file("full.dct"));
    ASSERT_GE(h, 0);
    EXPECT_FALSE(engine.addWord("abcdefghij", h));  // 63990 + 10 > 63999
    EXPECT_TRUE(engine.addWord("abcdefghi", h));    // 63990 + 9 = 63999
    EXPECT_TRUE(engine.checkWord("ABCDEFGHI"));
    EXPECT_FALSE(engine.addWord("bc", h));          // 63999 + 2
}

TEST_F(SpellEngineTest, CheckingFollowsTheTreeAndTheApostropheSRule) {
    writeFile(file("m.dct"), mainDictionary({"dog", "cat", "cats", "going", "Paris", "naïve"}));
    TSpellEngine engine;
    ASSERT_TRUE(engine.openMainDictionary(file("m.dct")));
    EXPECT_FALSE(engine.openMainDictionary(file("m.dct")));  // one main dictionary at a time
    EXPECT_TRUE(engine.checkWord("dog"));
    EXPECT_TRUE(engine.checkWord("DOG"));
    EXPECT_TRUE(engine.checkWord("Cats"));
    EXPECT_TRUE(engine.checkWord("paris"));
    EXPECT_TRUE(engine.checkWord(QString::fromUtf8("NAÏVE")));
    EXPECT_FALSE(engine.checkWord("naive"));
    EXPECT_FALSE(engine.checkWord("ca"));
    EXPECT_FALSE(engine.checkWord("dogs"));
    EXPECT_FALSE(engine.checkWord("go"));
    // One letter or none is never wrong.
    EXPECT_TRUE(engine.checkWord("x"));
    EXPECT_TRUE(engine.checkWord(""));
    EXPECT_TRUE(engine.checkWord("7"));
    // 's after a known word.
    EXPECT_TRUE(engine.checkWord("dog's"));
    EXPECT_TRUE(engine.checkWord("CAT'S"));
    EXPECT_TRUE(engine.checkWord("cats's"));
    EXPECT_FALSE(engine.checkWord("dig's"));
    EXPECT_FALSE(engine.checkWord("dog'"));
    EXPECT_TRUE(engine.checkWord("x's"));  // what is left is one letter

    // Before the last letter the first matching node with children decides.
    TSpellEngine first;
    // Root list: A (no children), A -> {B word}.
    writeFile(file("a.dct"), mainOf({node('A', 0), node('A', kLastSibling, 3), node('B', kLastSibling | kWordEnd)}));
    ASSERT_TRUE(first.openMainDictionary(file("a.dct")));
    EXPECT_TRUE(first.checkWord("ab"));
    TSpellEngine decides;
    // Root list: A -> {C word}, A -> {B word}: the first A decides, AB is wrong.
    writeFile(file("b.dct"), mainOf({node('A', 0, 3), node('A', kLastSibling, 4), node('C', kLastSibling | kWordEnd),
                                     node('B', kLastSibling | kWordEnd)}));
    ASSERT_TRUE(decides.openMainDictionary(file("b.dct")));
    EXPECT_TRUE(decides.checkWord("ac"));
    EXPECT_FALSE(decides.checkWord("ab"));
}

TEST_F(SpellEngineTest, MainAndUserDictionariesTogetherAndApart) {
    writeFile(file("m.dct"), mainDictionary({"alpha", "beta"}, 6));  // several segments
    TSpellEngine engine;
    // A user dictionary opened first is still looked up after the main one.
    const int u = engine.createUserDictionary(file("u.dct"), {"gamma"});
    ASSERT_GE(u, 0);
    ASSERT_TRUE(engine.openMainDictionary(file("m.dct")));
    EXPECT_EQ(engine.segmentCount(), 3);
    EXPECT_TRUE(engine.checkWord("alpha"));
    EXPECT_TRUE(engine.checkWord("beta"));
    EXPECT_TRUE(engine.checkWord("gamma"));
    EXPECT_FALSE(engine.checkWord("delta"));
    EXPECT_FALSE(engine.addWord("delta", -1));  // main dictionaries take no words
    EXPECT_TRUE(engine.addWord("delta", u));
    EXPECT_TRUE(engine.checkWord("delta"));
    // A second user dictionary gets the next handle.
    EXPECT_EQ(engine.openUserDictionary(file("u.dct")), u + 1);
    // Not a main dictionary: a user file, a text file, a missing file.
    engine.close();
    EXPECT_FALSE(engine.checkWord("alpha"));  // DictionaryName "spell.dct" is not there
    EXPECT_FALSE(engine.openMainDictionary(file("u.dct")));
    writeFile(file("t.txt"), "just text, no end mark");
    EXPECT_FALSE(engine.openMainDictionary(file("t.txt")));
    EXPECT_FALSE(engine.openMainDictionary(file("missing.dct")));
    EXPECT_EQ(engine.openUserDictionary(file("m.dct")), -1);
    EXPECT_EQ(engine.openUserDictionary(file("missing.dct")), -1);
    EXPECT_EQ(engine.createUserDictionary(file("no/such/folder/u.dct"), {}), -1);
    // checkWord opens DictionaryName when no main dictionary is open.
    engine.setDictionaryName(file("m.dct"));
    EXPECT_TRUE(engine.checkWord("alpha"));
    EXPECT_TRUE(engine.hasMainDictionary());

    // With the main dictionary unreadable only the user dictionary answers.
    TSpellEngine userOnly;
    userOnly.setDictionaryName(file("missing.dct"));
    const int h = userOnly.openUserDictionary(file("u.dct"));
    ASSERT_GE(h, 0);
    EXPECT_TRUE(userOnly.checkWord("gamma"));
    EXPECT_FALSE(userOnly.checkWord("alpha"));
    EXPECT_TRUE(userOnly.addWord("epsilon", h));
    EXPECT_TRUE(userOnly.checkWord("epsilon"));
    EXPECT_FALSE(userOnly.hasMainDictionary());
}

TEST_F(SpellEngineTest, SuggestionsWithTheBuiltDictionary) {
    TSpellEngine engine;
    ASSERT_TRUE(engine.openMainDictionary(builtDictionary())) << builtDictionary().toStdString();
    EXPECT_EQ(engine.maxSuggestions(), 10);
    const QStringList teh = engine.suggestions("Teh");
    EXPECT_LE(teh.size(), 10);
    EXPECT_TRUE(teh.contains("The")) << teh.join(' ').toStdString();
    for (const QString& s : teh) EXPECT_TRUE(s[0].isUpper()) << s.toStdString();  // capital first letter kept
    EXPECT_EQ(engine.suggestionList(), teh);
    const QStringList brwon = engine.suggestions("brwon");
    EXPECT_TRUE(brwon.contains("brown")) << brwon.join(' ').toStdString();
    for (const QString& s : brwon) EXPECT_EQ(s, s.toLower());
    const QStringList upperCase = engine.suggestions("BRWON");
    EXPECT_TRUE(upperCase.contains("BROWN"));
    // Letters are paired from the left, other characters skipped.
    const QStringList mixed = engine.suggestions("McDonalds");
    EXPECT_FALSE(mixed.isEmpty());
    EXPECT_TRUE(mixed.contains("McDonald")) << mixed.join(' ').toStdString();
    // Best first: the score never rises along the list.
    int last = 200;
    for (const QString& s : engine.suggestions("recieve")) {
        QByteArray b = upper(toCp1252(s));
        b.replace('\'', QByteArray());
        const int score = similarity("RECIEVE", b);
        EXPECT_LE(score, last) << s.toStdString();
        last = score;
    }
    EXPECT_EQ(engine.suggestions("recieve").value(0), "receive");
    // Split words.
    EXPECT_TRUE(engine.suggestions("thankyou").contains("thank you"));
    // Each suggestion only once.
    const QStringList abc = engine.suggestions("ab");
    EXPECT_EQ(QSet<QString>(abc.begin(), abc.end()).size(), abc.size());
    // MaxSuggestions bounds the list; above 220 it is stored as 220.
    engine.setMaxSuggestions(3);
    EXPECT_EQ(engine.suggestions("recieve").size(), 3);
    engine.setMaxSuggestions(0);
    EXPECT_TRUE(engine.suggestions("recieve").isEmpty());
    engine.setMaxSuggestions(1000);
    EXPECT_EQ(engine.maxSuggestions(), 220);
    EXPECT_LE(engine.suggestions("tst").size(), 220);
    EXPECT_GT(engine.suggestions("tst").size(), 10);
    EXPECT_TRUE(engine.suggestions("").isEmpty());
    // A long word is cut to 25 characters first.
    engine.setMaxSuggestions(10);
    EXPECT_NO_FATAL_FAILURE(engine.suggestions(QString(300, u'e')));
}

TEST(SpellBuiltDictionary, HoldsEveryWordOfTheListTheAlphabetCanHold) {
    QFile list(QStringLiteral(ORVANE_WORD_LIST_PATH));
    ASSERT_TRUE(list.open(QIODevice::ReadOnly)) << ORVANE_WORD_LIST_PATH;
    const QStringList lines = QString::fromUtf8(list.readAll()).split(u'\n');
    // Reproducible: building again gives the file the build made.
    BuildStats stats;
    const QByteArray again = buildMainDictionary(prepareWords(lines, stats), stats);
    EXPECT_EQ(again, test::readFile(builtDictionary()));
    EXPECT_GT(stats.segments, 1);

    TSpellEngine engine;
    ASSERT_TRUE(engine.openMainDictionary(builtDictionary()));
    int checked = 0, missed = 0, unstorable = 0;
    for (const QString& raw : lines) {
        const QString w = raw.trimmed();
        if (w.isEmpty()) continue;
        bool storable = true;
        for (QChar ch : w) {
            const int b = unicodeToCp1252(ch.unicode());
            storable = storable && b >= 0 && letterCode(static_cast<unsigned char>(b)) >= 0;
        }
        if (!storable) {
            ++unstorable;
            continue;
        }
        ++checked;
        if (!engine.checkWord(w)) {
            ++missed;
            ADD_FAILURE() << "not found: " << w.toStdString();
            if (missed > 20) break;
        }
    }
    EXPECT_EQ(missed, 0);
    EXPECT_EQ(unstorable, stats.unstorable);
    EXPECT_GT(checked, 100000);
}

TEST_F(SpellEngineTest, DamagedDictionariesNeitherHangNorCrash) {
    const QByteArray good = mainDictionary({"alpha", "alps", "beta", "better", "bet", "gamma", "delta", "epsilon"}, 20);
    std::vector<QByteArray> files;
    // Truncated anywhere (every length in the headers, every fifth after).
    for (qsizetype n = 0; n < good.size(); n += n < 120 ? 1 : 5) files.push_back(good.left(n));
    // Child indexes pointing anywhere: beyond the segment, to the free mark, to
    // the node itself or the root (cycles).
    const qsizetype array = good.indexOf(char(26)) + 1 + 17;
    for (uint16_t child : {uint16_t(1), uint16_t(2), uint16_t(64999), uint16_t(65000), uint16_t(65535)}) {
        QByteArray b = good;
        for (qsizetype at = array; at + 3 <= b.size(); at += 3) {
            b[at] = char(child & 0xFF);
            b[at + 1] = char(child >> 8);
        }
        files.push_back(b);
    }
    // No list ends: every last-node bit cleared, with and without cycles.
    {
        QByteArray b = good;
        for (qsizetype at = array + 2; at < b.size(); at += 3) b[at] = char(b[at] & ~kLastSibling);
        files.push_back(b);
    }
    // A full segment of 'A' word nodes all pointing back to the root list.
    {
        SegmentImage s;
        s.kind = 1;
        s.nodes.assign(65535, node('A', kWordEnd, 1));
        files.push_back(dictionaryBytes("X", {s}));
        s.nodes.assign(65535, node('E', kWordEnd | kLastSibling, 1));
        files.push_back(dictionaryBytes("X", {s}));
    }
    // Header values out of range: in use beyond capacity, capacity beyond the file.
    {
        QByteArray b = good;
        const qsizetype h = good.indexOf(char(26)) + 1;
        b[h] = char(0xFF), b[h + 1] = char(0xFF), b[h + 2] = char(0xFF), b[h + 3] = char(0x7F);
        files.push_back(b);
        b[h + 4] = char(0xFF), b[h + 5] = char(0xFF), b[h + 6] = char(0xFF), b[h + 7] = char(0xFF);
        files.push_back(b);
    }
    // Many tiny segments.
    {
        QByteArray b("X\x1a");
        SegmentHeader h;
        h.kind = 1;
        h.capacity = 2;
        while (b.size() < 200000) b += h.encode() + QByteArray(6, '\0');
        files.push_back(b);
    }

    int opened = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        writeFile(file("bad.dct"), files[i]);
        TSpellEngine engine;
        if (engine.openMainDictionary(file("bad.dct"))) ++opened;
        engine.checkWord("alpha");
        engine.checkWord("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa");
        const QStringList s = engine.suggestions("aaaaaaa");
        EXPECT_LE(s.size(), 10);
        engine.suggestions("beeta");
        engine.close();
        // The same bytes as a user dictionary: reading and adding stay safe.
        const int h = engine.openUserDictionary(file("bad.dct"));
        engine.checkWord("alpha");
        engine.addWord("alphabet", h);
        engine.suggestions("alphx");
    }
    EXPECT_GT(opened, 10);
    // A user dictionary whose list never ends refuses words rather than guess.
    SegmentImage s;
    s.kind = 0;
    s.nodes = {node('B', 0), node('C', 0)};
    writeFile(file("open.dct"), dictionaryBytes("U", {s}));
    TSpellEngine engine;
    const int h = engine.openUserDictionary(file("open.dct"));
    ASSERT_GE(h, 0);
    EXPECT_FALSE(engine.addWord("dd", h));
    EXPECT_FALSE(engine.checkWord("dd"));
}
