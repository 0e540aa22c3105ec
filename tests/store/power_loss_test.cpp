// A power cut at any moment of a change must leave a table that opens, that
// "orvdb check" finds consistent, and that holds every change whose call had
// returned. The tables live in a MemoryFileSystem; each step (append, post,
// delete, pack, reindex) is run once to count its disk writes, then again
// from the same start with the disk frozen after 0, 1, 2, ... of them, and
// the power cut either drops everything not flushed or keeps a random part.
#include "store/memory_file_system.h"
#include "store/table_check.h"
#include "store_test_util.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <set>

using namespace orv;
using namespace orv::test;

namespace {

const QString kFolder = QStringLiteral("/mem");
const QString kTable = QStringLiteral("/mem/ORV.DBF");

using Call = std::function<void(WorkArea&)>;
using State = std::multiset<std::string>;

// The live records as text, in no order.
State stateOf(WorkArea& a) {
    State s;
    for (uint32_t r = 1; r <= a.recCount(); ++r) {
        a.go(r);
        if (a.deleted()) continue;
        s.insert((a.fieldBytes(0).trimmed() + "|" + a.fieldBytes(2).trimmed() + "|" + a.getMemo(1)).toStdString());
    }
    return s;
}

MemoryFileSystem startingTables(int records = 60) {
    MemoryFileSystem fs;
    WorkArea::create(kTable, {field("FROM", 'C', 20), field("NOTES", 'M', 10), field("N", 'N', 6)}, 64, fs);
    DataEngine engine;
    engine.setFileSystem(fs);
    engine.use(kTable, "R");
    WorkArea& a = engine.cur();
    a.beginUpdate();
    for (int i = 1; i <= records; ++i) {
        a.appendBlank();
        a.replaceField(0, QByteArray("sender ") + QByteArray::number((i * 37) % 61));
        a.replaceField(2, QByteArray::number(i));
        if (i % 3 == 0) a.replaceMemo(1, QByteArray("memo ").repeated(i));
    }
    for (uint32_t r : {4u, 9u, 30u}) a.go(r), a.deleteRecord();
    a.endUpdate();
    a.indexTag("", "FROM", "FROM", false, false, ".not. deleted()");
    a.indexTag("", "N", "N", false, true, "");
    engine.closeAll();
    return fs;
}

struct Outcome {
    State state;
    QStringList files;
    QStringList problems;
};

// Opens what the disk held after the power cut with the program's own
// engine on a real folder (which finishes or undoes what was interrupted),
// then checks it as "orvdb check" does.
Outcome inspect(const MemoryFileSystem& fs) {
    QTemporaryDir dir;
    fs.saveTo(kFolder, dir.path());
    const QString path = dir.path() + "/ORV.DBF";
    Outcome out;
    {
        DataEngine engine;
        engine.use(path, "R");
        out.state = stateOf(engine.cur());
    }
    out.problems = CheckTable(path).problems;
    out.files = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
    return out;
}

void runCalls(MemoryFileSystem& fs, const std::vector<Call>& calls, size_t* completed, std::vector<State>* states) {
    DataEngine engine;
    engine.setFileSystem(fs);
    try {
        engine.use(kTable, "R");
        WorkArea& a = engine.cur();
        if (states) states->push_back(stateOf(a));
        for (const Call& c : calls) {
            c(a);
            if (!fs.frozen()) ++*completed;
            if (states) states->push_back(stateOf(a));
        }
    } catch (const std::exception&) {
        // What the program does after the disk froze does not matter.
    }
    try {
        engine.closeAll();
    } catch (const std::exception&) {
    }
}

// Runs the step with a power cut after every possible number of disk writes.
void cutPowerThroughout(const char* step, const std::vector<Call>& calls, int records = 60) {
    SCOPED_TRACE(step);
    const MemoryFileSystem start = startingTables(records);
    std::vector<State> states;
    size_t completed = 0;
    MemoryFileSystem dry(start);
    const uint64_t before = dry.changeCount();
    runCalls(dry, calls, &completed, &states);
    ASSERT_EQ(completed, calls.size());
    ASSERT_EQ(states.size(), calls.size() + 1);
    const long writes = long(dry.changeCount() - before);
    ASSERT_GT(writes, 0);
    const QStringList cleanFiles = {"ORV.CDX", "ORV.DBF", "ORV.FPT"};
    for (long k = 0; k <= writes; ++k) {
        for (int keep = 0; keep < 3; ++keep) {
            SCOPED_TRACE(QStringLiteral("after %1 of %2 writes, cut %3").arg(k).arg(writes).arg(keep).toStdString());
            MemoryFileSystem fs(start);
            fs.setChangeBudget(k);
            size_t done = 0;
            runCalls(fs, calls, &done, nullptr);
            std::mt19937 rng(unsigned(k * 7 + keep));
            fs.powerLoss(keep == 0 ? nullptr : &rng);
            const Outcome out = inspect(fs);
            EXPECT_TRUE(out.problems.isEmpty()) << out.problems.join("\n").toStdString();
            EXPECT_EQ(out.files, cleanFiles);
            // Every call that returned before the cut is there; the one in
            // progress may or may not be.
            const bool asDone = out.state == states[done];
            const bool asNext = done < calls.size() && out.state == states[done + 1];
            EXPECT_TRUE(asDone || asNext) << "calls returned: " << done << ", records: " << out.state.size();
        }
    }
}

}  // namespace

TEST(PowerLoss, AppendKeepsEveryReturnedChange) {
    cutPowerThroughout("append", {
                                     [](WorkArea& a) { a.appendBlank(); },
                                     [](WorkArea& a) { a.replaceField(0, "appended"); },
                                     [](WorkArea& a) { a.replaceMemo(1, QByteArray("a new memo ").repeated(20)); },
                                 });
}

TEST(PowerLoss, PostKeepsEveryReturnedChange) {
    cutPowerThroughout("post", {
                                   [](WorkArea& a) { a.go(5), a.replaceField(0, "changed sender"); },
                                   [](WorkArea& a) { a.go(6), a.replaceField(2, "999"); },
                                   [](WorkArea& a) {
                                       // A batch is there once endUpdate has returned.
                                       a.beginUpdate();
                                       a.go(7);
                                       QByteArray r = a.getRecord();
                                       r.replace(1, 7, "batched");
                                       a.putRecord(r);
                                       a.endUpdate();
                                   },
                               });
}

TEST(PowerLoss, DeleteAndRecallKeepEveryReturnedChange) {
    cutPowerThroughout("delete", {
                                     [](WorkArea& a) { a.go(12), a.deleteRecord(); },
                                     [](WorkArea& a) { a.go(9), a.recall(); },
                                 });
}

// In a tag of several leaves a change rewrites only its leaf and the parent
// entries above it; a key that moves to another leaf changes two leaves; an
// append into a full leaf splits it into a page added at the end.
TEST(PowerLoss, InPlaceIndexPagesKeepEveryReturnedChange) {
    cutPowerThroughout("index pages",
                       {
                           [](WorkArea& a) { a.go(200), a.replaceField(0, "aaa moved to the front"); },
                           [](WorkArea& a) { a.go(300), a.replaceField(2, "777"); },
                           [](WorkArea& a) { a.go(120), a.deleteRecord(); },
                           // Blank keys go to the front of the full first leaves.
                           [](WorkArea& a) { a.appendBlank(); },
                           [](WorkArea& a) { a.appendBlank(); },
                           [](WorkArea& a) { a.replaceField(0, "zzz last sender"); },
                       },
                       400);
}

TEST(PowerLoss, PackFinishesOrLeavesTheOldTable) {
    cutPowerThroughout("pack", {[](WorkArea& a) { a.pack(); }});
}

TEST(PowerLoss, ReindexLeavesAUsableIndex) {
    cutPowerThroughout("reindex", {[](WorkArea& a) { a.reindex(); }});
}

// An index file left from before the last change (a rename of the new one
// that never reached the disk) is not trusted even though every record
// number in it is valid and the table's update mark is clear.
TEST(PowerLoss, AnOlderIndexIsNoticedByItsChangeCount) {
    MemoryFileSystem fs = startingTables();
    const QByteArray oldCdx = *fs.contents("/mem/ORV.CDX");
    {
        DataEngine engine;
        engine.setFileSystem(fs);
        engine.use(kTable, "R");
        WorkArea& a = engine.cur();
        a.go(10);
        a.replaceField(0, "aaa first now");
    }
    fs.put("/mem/ORV.CDX", oldCdx);
    DataEngine engine;
    engine.setFileSystem(fs);
    engine.use(kTable, "R");
    WorkArea& a = engine.cur();
    a.setOrder(a.tagArea("FROM"));
    a.goTop();
    EXPECT_EQ(a.recNo(), 10u);
    EXPECT_EQ(a.fieldBytes(0).trimmed(), "aaa first now");
}

// The memory file system itself: flushed data and entries survive a power
// cut, the rest does not (or partly, when asked).
TEST(PowerLoss, MemoryFileSystemForgetsWhatWasNotFlushed) {
    MemoryFileSystem fs;
    {
        auto f = fs.create("/d/a");
        f->writeAt(0, "hello", 5);
        f->sync();
        f->writeAt(0, "J", 1);
    }
    fs.syncFolder("/d");
    {
        auto g = fs.create("/d/b");
        g->writeAt(0, "x", 1);
        g->sync();
    }
    ASSERT_TRUE(fs.rename("/d/b", "/d/a2"));
    fs.powerLoss();
    EXPECT_EQ(fs.contents("/d/a").value_or("?"), "hello");
    EXPECT_FALSE(fs.exists("/d/b"));
    EXPECT_FALSE(fs.exists("/d/a2"));

    // A frozen disk takes nothing more, though the program still sees its writes.
    fs.setChangeBudget(1);
    {
        auto f = fs.open("/d/a", true);
        f->writeAt(0, "H", 1);
        f->sync();
        EXPECT_TRUE(fs.frozen());
        char c = 0;
        ASSERT_TRUE(f->readAt(0, &c, 1));
        EXPECT_EQ(c, 'H');
    }
    fs.powerLoss();
    EXPECT_EQ(fs.contents("/d/a").value_or("?").left(1), "h");

    // A file put there is on the disk as it stands; after a flush the disk
    // keeps the flushed bytes through later changes.
    fs.put("/d/sub/c", "abc");
    {
        auto f = fs.open("/d/sub/c", true);
        f->writeAt(1, "X", 1);
    }
    fs.powerLoss();
    EXPECT_EQ(fs.contents("/d/sub/c").value_or("?"), "abc");
    {
        auto f = fs.open("/d/sub/c", true);
        f->writeAt(1, "Y", 1);
        f->sync();
        f->truncate(1);
        f->writeAt(3, "!", 1);
    }
    EXPECT_EQ(fs.contents("/d/sub/c").value_or("?"), QByteArray("a\0\0!", 4));
    fs.powerLoss();
    EXPECT_EQ(fs.contents("/d/sub/c").value_or("?"), "aYc");

    // A folder's listing and flush take its own entries, not those of a folder inside it.
    EXPECT_EQ(fs.list("/d"), std::vector<QString>{"a"});
    EXPECT_EQ(fs.list("/d/sub"), std::vector<QString>{"c"});
    fs.create("/d/sub/new");
    fs.create("/d/new");
    fs.syncFolder("/d");
    fs.powerLoss();
    EXPECT_TRUE(fs.exists("/d/new"));
    EXPECT_FALSE(fs.exists("/d/sub/new"));
}
