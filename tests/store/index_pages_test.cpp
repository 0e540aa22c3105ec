// Key changes reach the .CDX by rewriting only the pages they touch: leaves
// split and merge, interior pages split and empty, the root grows a level
// and hands over to its one child, and released pages are taken again from
// the file's free list. Through many single changes the tag read by
// XBase::Index holds exactly the live records in key order, "orvdb check" is
// clean, and every change leaves the file in place (same inode).
#include "store/cdx_tag_pages.h"
#include "store_test_util.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QFile>

#include <algorithm>
#include <cstring>
#include <random>

using namespace orv;
using namespace orv::test;

namespace {

ino_t inodeOf(const QString& path) {
    struct stat st {};
    return ::stat(path.toLocal8Bit().constData(), &st) == 0 ? st.st_ino : 0;
}

// The live records' (name, recno) in key order, read back through the engine.
std::vector<std::pair<QString, int>> expectedKeys(WorkArea& a) {
    std::vector<std::pair<QString, int>> out;
    for (uint32_t r = 1; r <= a.recCount(); ++r) {
        a.go(r);
        if (!a.deleted()) out.emplace_back(QString::fromLatin1(a.fieldBytes(0).trimmed()), int(r));
    }
    std::sort(out.begin(), out.end(), [](const auto& x, const auto& y) {
        const int c = x.first.toLatin1().compare(y.first.toLatin1());
        return c < 0 || (c == 0 && x.second < y.second);
    });
    return out;
}

void expectReadersAgree(WorkArea& a, const QString& dbf, const char* phase) {
    SCOPED_TRACE(phase);
    const auto want = expectedKeys(a);
    a.flush();
    const QList<PerlTag> tags = readWithXBaseIndex(dbf.left(dbf.size() - 3) + "CDX", {"NAME:C"});
    ASSERT_EQ(tags.size(), 1);
    ASSERT_EQ(size_t(tags[0].keys.size()), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        ASSERT_EQ(tags[0].keys[qsizetype(i)], want[i].first) << "entry " << i;
        ASSERT_EQ(tags[0].recnos[qsizetype(i)], want[i].second) << "entry " << i;
    }
    QByteArray out;
    EXPECT_EQ(runProgram(program("orvdb"), {"check", dbf}, &out), 0) << out.constData();
}

}  // namespace

TEST(IndexPages, ManySingleChangesKeepEveryReaderInStep) {
    QTemporaryDir dir;
    const QString dbf = makeTable(dir, "PAGES.DBF", {field("NAME", 'C', 24), field("N", 'N', 6)});
    const QString cdx = dir.path() + "/PAGES.CDX";
    DataEngine engine;
    engine.use(dbf, "P");
    WorkArea& a = engine.cur();
    a.indexTag("", "NAME", "NAME", false, false, ".not. deleted()");
    std::mt19937 rng(21);
    auto name = [&] { return QByteArray("name ") + QByteArray::number(rng() % 100000) + " " + QByteArray::number(rng() % 7); };

    // Appends one at a time: splits, and the tree grows from one leaf to
    // three levels (an interior page holds up to 15 keys of this width).
    int inPlace = 0, changes = 0;
    auto counted = [&](auto&& body) {
        const ino_t before = inodeOf(cdx);
        ASSERT_NE(before, ino_t(0));
        body();
        ++changes;
        if (inodeOf(cdx) == before) ++inPlace;
    };
    for (int i = 0; i < 1200; ++i)
        counted([&] {
            a.appendBlank();
            a.replaceField(0, name());
        });
    expectReadersAgree(a, dbf, "after appends");

    // Keys move between leaves.
    for (int i = 0; i < 400; ++i)
        counted([&] {
            a.go(rng() % a.recCount() + 1);
            a.replaceField(0, name());
        });
    expectReadersAgree(a, dbf, "after posts");

    // Deletions leave the tag (its FOR condition), emptying whole leaves.
    for (uint32_t r = 1; r <= a.recCount(); ++r)
        if (r % 5 != 0)
            counted([&] {
                a.go(r);
                a.deleteRecord();
            });
    expectReadersAgree(a, dbf, "after deletions");

    for (uint32_t r = 1; r <= a.recCount(); r += 3)
        counted([&] {
            a.go(r);
            if (a.deleted()) a.recall();
        });
    expectReadersAgree(a, dbf, "after recalls");

    // Every change was written in place.
    EXPECT_EQ(inPlace, changes);

    // Reopened, the table reads the same keys in the same order.
    const auto want = expectedKeys(a);
    engine.closeAll();
    engine.use(dbf, "P");
    WorkArea& b = engine.cur();
    b.setOrder(b.tagArea("NAME"));
    size_t i = 0;
    for (b.goTop(); !b.eof(); b.skip(1), ++i) {
        ASSERT_LT(i, want.size());
        EXPECT_EQ(int(b.recNo()), want[i].second);
    }
    EXPECT_EQ(i, want.size());
}

namespace {

// A tag's keys kept beside its pages, changed one key at a time as
// IndexTag does.
struct Keys {
    static constexpr int kLength = 24;
    KeyBytes keys;
    std::vector<uint32_t> recnos;
    SortedKeys chunked{kLength};  // the same entries as the tag keeps them
    TagKeys view() const { return {chunked, ' '}; }
    size_t lowerBound(const char* key, uint32_t rec) const {
        size_t lo = 0, hi = recnos.size();
        while (lo < hi) {
            const size_t mid = (lo + hi) / 2;
            const int c = std::memcmp(keys.data() + mid * kLength, key, kLength);
            if (c < 0 || (c == 0 && recnos[mid] < rec)) lo = mid + 1;
            else hi = mid;
        }
        return lo;
    }
    size_t insert(const QByteArray& key, uint32_t rec) {
        const size_t at = lowerBound(key.constData(), rec);
        keys.insert(keys.begin() + std::ptrdiff_t(at * kLength), key.constBegin(), key.constEnd());
        recnos.insert(recnos.begin() + std::ptrdiff_t(at), rec);
        chunked.insert(at, key.constData(), rec);
        return at;
    }
    void removeAt(size_t at) {
        keys.erase(keys.begin() + std::ptrdiff_t(at * kLength), keys.begin() + std::ptrdiff_t((at + 1) * kLength));
        recnos.erase(recnos.begin() + std::ptrdiff_t(at));
        chunked.erase(at);
    }
};

// The image read back as a whole: the tree is sound (sibling links on every
// level, one depth for every leaf), holds exactly the keys, and the free
// list names only pages outside it.
void expectImageHolds(const QByteArray& image, const Keys& k, const char* phase, size_t op) {
    const std::vector<CdxTagInfo> dir = ReadCdxDirectory(image, "T.CDX");
    ASSERT_EQ(dir.size(), 1u);
    const auto pages = CdxTagPages::read(image, dir[0]);
    ASSERT_TRUE(pages) << phase << " op " << op;
    KeyBytes keys;
    std::vector<uint32_t> recnos;
    ReadCdxKeys(image, dir[0], ' ', keys, recnos, "T.CDX");
    ASSERT_EQ(recnos, k.recnos) << phase << " op " << op;
    ASSERT_EQ(keys, k.keys) << phase << " op " << op;
    ASSERT_EQ(k.chunked.size(), k.recnos.size());
    for (size_t i = 0; i < k.recnos.size(); ++i) {
        ASSERT_EQ(k.chunked.recnoAt(i), k.recnos[i]) << phase << " op " << op << " entry " << i;
        ASSERT_EQ(std::memcmp(k.chunked.keyAt(i), k.keys.data() + i * Keys::kLength, Keys::kLength), 0);
    }
    std::set<uint32_t> used{0, 512};
    pages->usedPages(used);
    CdxTagInfo directory;
    directory.root = uint32_t(uint8_t(image[0])) | uint32_t(uint8_t(image[1])) << 8 | uint32_t(uint8_t(image[2])) << 16;
    directory.keyLength = 10;
    const auto dirPages = CdxTagPages::read(image, directory);
    ASSERT_TRUE(dirPages);
    dirPages->usedPages(used);
    QByteArray copy = image;
    CdxTagPages::checkFreeList(copy, used);
    ASSERT_EQ(copy, image) << phase << " op " << op << ": the free list names a page in use, or is broken";
}

void expectXBaseReads(const QByteArray& image, const Keys& k, const char* phase) {
    SCOPED_TRACE(phase);
    QTemporaryDir dir;
    const QString path = dir.path() + "/T.CDX";
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(image);
    f.close();
    const QList<PerlTag> tags = readWithXBaseIndex(path, {"NAME:C"});
    ASSERT_EQ(tags.size(), 1);
    ASSERT_EQ(size_t(tags[0].keys.size()), k.recnos.size());
    for (size_t i = 0; i < k.recnos.size(); ++i) {
        ASSERT_EQ(tags[0].keys[qsizetype(i)], QString::fromLatin1(QByteArray(k.keys.data() + i * Keys::kLength, Keys::kLength).trimmed()));
        ASSERT_EQ(tags[0].recnos[qsizetype(i)], int(k.recnos[i]));
    }
}

}  // namespace

TEST(IndexPages, TheTreeGrowsShrinksAndReusesItsPagesInPlace) {
    Keys k;
    CdxTagContent tag;
    tag.info.name = "NAME";
    tag.info.keyExpr = "NAME";
    tag.info.keyLength = Keys::kLength;
    QByteArray image = BuildCdxFile({tag}, 100000);
    auto pages = CdxTagPages::read(image, ReadCdxDirectory(image, "T.CDX")[0]);
    ASSERT_TRUE(pages);
    std::mt19937 rng(7);
    uint32_t nextRec = 1;
    std::set<uint32_t> dirty;
    auto insertOne = [&] {
        const QByteArray key = (QByteArray("k") + QByteArray::number(rng() % 50000) + " " + QByteArray::number(rng() % 3))
                                   .leftJustified(Keys::kLength, ' ');
        const size_t at = k.insert(key, nextRec++);
        ASSERT_TRUE(pages->inserted(image, k.view(), at, dirty));
    };
    auto removeOne = [&] {
        const size_t at = rng() % k.recnos.size();
        k.removeAt(at);
        ASSERT_TRUE(pages->removed(image, k.view(), at, dirty));
    };

    // From one root leaf to a tree of three levels: leaf splits, interior
    // splits and two new roots. Every change rewrites a handful of pages.
    size_t mostDirty = 0;
    for (size_t op = 0; op < 4000; ++op) {
        dirty.clear();
        insertOne();
        mostDirty = std::max(mostDirty, dirty.size());
        expectImageHolds(image, k, "growing", op);
        if (HasFatalFailure()) return;
    }
    EXPECT_LE(mostDirty, 10u);
    std::set<uint32_t> used;
    pages->usedPages(used);
    // Above the leaves: the two header pages, the root and at least one
    // interior page per 15 leaves (the most a page of these keys holds).
    EXPECT_GT(pages->leafCount(), 60u);
    EXPECT_GE(used.size(), pages->leafCount() + 2 + 1 + pages->leafCount() / 15);
    expectXBaseReads(image, k, "grown");
    const qsizetype grownSize = image.size();

    // Down to a few keys: leaves empty or merge, interior pages go, and the
    // root hands over until a root leaf is left.
    for (size_t op = 0; k.recnos.size() > 5; ++op) {
        dirty.clear();
        removeOne();
        expectImageHolds(image, k, "shrinking", op);
        if (HasFatalFailure()) return;
    }
    EXPECT_EQ(pages->leafCount(), 1u);
    EXPECT_EQ(image[qsizetype(pages->root())] & 0x03, 0x03) << "the root is a leaf again";
    EXPECT_EQ(ReadCdxDirectory(image, "T.CDX")[0].root, pages->root());
    expectXBaseReads(image, k, "shrunk");

    // Grown again, it takes its pages from the free list: the file does not grow.
    for (size_t op = 0; op < 4000; ++op) {
        dirty.clear();
        if (rng() % 4 == 0 && k.recnos.size() > 0) removeOne();
        else insertOne();
        if (op % 16 == 0) expectImageHolds(image, k, "again", op);
        if (HasFatalFailure()) return;
    }
    expectImageHolds(image, k, "again", 4000);
    EXPECT_LE(image.size(), grownSize);
    expectXBaseReads(image, k, "grown again");
}
