// What an interrupted run leaves behind must open again with nothing lost,
// and damaged files must give clear errors, never a crash.
#include "store/db_error.h"
#include "store/table_check.h"
#include "store_test_util.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orv;
using namespace orv::test;

namespace {

struct Fixture {
    QTemporaryDir dir;
    QString path;
    Fixture() {
        path = makeTable(dir, "ORVREC.DBF", {field("FROM", 'C', 20), field("NOTES", 'M', 10)});
        DataEngine engine;
        engine.use(path, "R");
        WorkArea& a = engine.cur();
        for (const char* from : {"delta", "alpha", "charlie", "bravo"}) {
            a.appendBlank();
            a.replaceField(0, from);
            a.replaceMemo(1, QByteArray("note of ") + from);
        }
        a.indexTag("", "FROM", "FROM", false, false, ".not. deleted()");
    }
    QString cdx() const { return dir.path() + "/ORVREC.CDX"; }
    QString fpt() const { return dir.path() + "/ORVREC.FPT"; }

    QStringList order() const {
        DataEngine engine;
        engine.settings().deleted = true;
        engine.use(path, "R");
        WorkArea& a = engine.cur();
        a.setOrder(a.tagArea("FROM"));
        QStringList out;
        for (a.goTop(); !a.eof(); a.skip(1)) out << QString::fromLatin1(a.fieldBytes(0)).trimmed() + "=" + QString::fromLatin1(a.getMemo(1));
        return out;
    }
};

// Runs body in a child process; body ends by calling die() (SIGKILL, no clean-up).
void die() { ::kill(::getpid(), SIGKILL); }

void crashAfter(const std::function<void()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        try {
            body();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "child failed: %s\n", e.what());
            ::_exit(3);
        }
        ::kill(::getpid(), SIGKILL);
        ::_exit(4);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child ended with " << WEXITSTATUS(status);
}

}  // namespace

TEST(CrashSafety, KilledInsideAnUpdateLosesNothing) {
    Fixture fx;
    // A batch that appends a record but never writes its index: the table
    // keeps its "update in progress" byte, and the next open rebuilds the tag.
    crashAfter([&] {
        DataEngine engine;
        engine.use(fx.path, "R");
        WorkArea& a = engine.cur();
        a.beginUpdate();
        a.appendBlank();
        a.replaceField(0, "aardvark");
        a.replaceMemo(1, "late note");
        a.go(1);
        a.deleteRecord();
        die();
    });
    EXPECT_EQ(uint8_t(readFile(fx.path)[14]), 1);
    EXPECT_FALSE(CheckTable(fx.path).problems.isEmpty());
    EXPECT_EQ(fx.order(), QStringList({"aardvark=late note", "alpha=note of alpha", "bravo=note of bravo", "charlie=note of charlie"}));
    EXPECT_EQ(uint8_t(readFile(fx.path)[14]), 0);
    EXPECT_TRUE(CheckTable(fx.path).problems.isEmpty()) << CheckTable(fx.path).problems.join("\n").toStdString();
}

TEST(CrashSafety, MissingStaleOrDamagedIndexIsRebuilt) {
    Fixture fx;
    const QByteArray good = readFile(fx.cdx());

    // Missing: the table opens without tags and no longer announces one.
    QFile::remove(fx.cdx());
    {
        DataEngine engine;
        engine.use(fx.path, "R");
        EXPECT_EQ(engine.cur().tagCount(), 0);
    }
    EXPECT_EQ(readFile(fx.path)[28] & 1, 0);
    EXPECT_TRUE(CheckTable(fx.path).problems.isEmpty());

    // Stale: an index from before two more records were appended.
    writeFile(fx.cdx(), good);
    {
        DataEngine engine;
        engine.use(fx.path, "R");
        WorkArea& a = engine.cur();
        a.closeIndexes();
        a.appendBlank();
        a.replaceField(0, "echo");
    }
    writeFile(fx.cdx(), good);
    {
        // Keys pointing past the table, or a leaf cut short, are damage too.
        QByteArray wrong = good;
        wrong[0xA00 + 24] = char(0x7F);  // first entry's record number
        writeFile(fx.cdx(), wrong);
        EXPECT_FALSE(CheckTable(fx.path).problems.isEmpty());
    }
    EXPECT_EQ(fx.order().size(), 5);
    EXPECT_TRUE(CheckTable(fx.path).problems.isEmpty()) << CheckTable(fx.path).problems.join("\n").toStdString();

    // Damaged beyond reading the tag definitions: set aside, table opens.
    writeFile(fx.cdx(), QByteArray(1024, 'x'));
    {
        DataEngine engine;
        engine.use(fx.path, "R");
        EXPECT_EQ(engine.cur().tagCount(), 0);
    }
    EXPECT_FALSE(QFile::exists(fx.cdx()));
    EXPECT_TRUE(QFile::exists(fx.cdx() + ".bad"));
}

TEST(CrashSafety, InterruptedPackRollsForwardOrBack) {
    Fixture fx;
    {
        DataEngine engine;
        engine.use(fx.path, "R");
        engine.cur().go(2);
        engine.cur().deleteRecord();
    }
    const QByteArray oldDbf = readFile(fx.path), oldFpt = readFile(fx.fpt());

    // Killed before the commit point: leftovers are discarded, old table intact.
    writeFile(fx.path + ".tmp", "partial");
    writeFile(fx.fpt() + ".new", "partial");
    EXPECT_EQ(fx.order().size(), 3);
    EXPECT_FALSE(QFile::exists(fx.path + ".tmp"));
    EXPECT_FALSE(QFile::exists(fx.fpt() + ".new"));
    EXPECT_EQ(readFile(fx.path).left(14), oldDbf.left(14));

    // Make a real pack's files, then pretend we died between the renames.
    QTemporaryDir other;
    QFile::copy(fx.path, other.path() + "/ORVREC.DBF");
    QFile::copy(fx.fpt(), other.path() + "/ORVREC.FPT");
    {
        DataEngine engine;
        engine.use(other.path() + "/ORVREC.DBF", "O");
        engine.cur().pack();
        EXPECT_EQ(engine.cur().recCount(), 3u);
    }
    writeFile(fx.path + ".new", readFile(other.path() + "/ORVREC.DBF"));
    writeFile(fx.fpt(), readFile(other.path() + "/ORVREC.FPT"));  // the memo file was already renamed
    EXPECT_EQ(fx.order(), QStringList({"bravo=note of bravo", "charlie=note of charlie", "delta=note of delta"}));
    EXPECT_FALSE(QFile::exists(fx.path + ".new"));
    {
        DataEngine engine;
        engine.use(fx.path, "R");
        EXPECT_EQ(engine.cur().recCount(), 3u);
    }
    EXPECT_TRUE(CheckTable(fx.path).problems.isEmpty()) << CheckTable(fx.path).problems.join("\n").toStdString();
    EXPECT_NE(oldFpt.size(), 0);
}

TEST(CrashSafety, DamagedTablesAndMemosGiveClearErrors) {
    Fixture fx;
    const QByteArray dbf = readFile(fx.path);
    auto expectOpenError = [&](const QByteArray& bytes, int code, const char* mentions) {
        writeFile(fx.path, bytes);
        DataEngine engine;
        try {
            engine.use(fx.path, "R");
            ADD_FAILURE() << "opened: " << mentions;
        } catch (const EDatabase& e) {
            EXPECT_EQ(e.code(), code) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains("ORVREC.DBF")) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QLatin1String(mentions))) << e.message().toStdString();
        }
    };
    expectOpenError(QByteArray(), ecDbNotATable, "shorter than a table header");
    expectOpenError(QByteArray("\x77") + dbf.mid(1), ecDbNotATable, "version byte 0x77");
    QByteArray manyRecords = dbf;
    manyRecords[5] = char(0x10);  // 4096 + 4 records announced
    expectOpenError(manyRecords, ecDbDamagedTable, "records announced");
    QByteArray badHeader = dbf;
    badHeader[8] = 5, badHeader[9] = 0;
    expectOpenError(badHeader, ecDbDamagedTable, "header length 5");
    QByteArray zeroWidth = dbf;
    zeroWidth[32 + 16] = 0;
    expectOpenError(zeroWidth, ecDbDamagedTable, "width 0");
    writeFile(fx.path, dbf);

    // A memo pointer beyond the memo file: a clear error on reading that memo
    // only, and the check reports the same words for it.
    const QByteArray fpt = readFile(fx.fpt());
    QString readError;
    writeFile(fx.fpt(), fpt.left(600));
    {
        DataEngine engine;
        engine.use(fx.path, "R");
        WorkArea& a = engine.cur();
        a.go(4);
        try {
            a.getMemo(1);
            ADD_FAILURE() << "read a memo past the end";
        } catch (const EDatabase& e) {
            EXPECT_EQ(e.code(), ecDbDamagedMemo);
            EXPECT_TRUE(e.message().contains("ORVREC.FPT"));
            readError = e.message();
        }
        EXPECT_FALSE(a.memoToFile(1, fx.dir.path() + "/out.rtf"));
        a.go(1);
        EXPECT_EQ(a.getMemo(1), "note of delta");
    }
    const TableCheckResult check = CheckTable(fx.path);
    EXPECT_FALSE(check.problems.isEmpty());
    EXPECT_FALSE(readError.isEmpty());
    EXPECT_TRUE(check.problems.join('\n').contains("record 4, NOTES: " + readError)) << check.problems.join('\n').toStdString();

    QFile::remove(fx.fpt());
    try {
        DataEngine engine;
        engine.use(fx.path, "R");
        ADD_FAILURE() << "opened without its memo file";
    } catch (const EDatabase& e) {
        EXPECT_TRUE(e.message().contains("ORVREC.FPT is missing"));
    }
}
