// Key changes reach the .CDX by rewriting only the pages they touch (a full
// leaf splits into a new page); the whole file is written when a leaf
// empties or its parent is full. Through many single
// changes (enough to split leaves, grow the tree a level, empty leaves and
// move keys between them) the tag read by XBase::Index holds exactly the
// live records in key order, "orvdb check" is clean, and most changes leave
// the file in place (same inode) instead of replacing it.
#include "store_test_util.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
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

    // Most changes fitted their leaf and were written in place.
    EXPECT_GT(inPlace, changes * 3 / 4) << inPlace << " of " << changes;

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
