// The pieces of a work area on their own, on files in memory: the order in
// which the table file puts a change on the disk, what a shared table file
// takes from another writer's header, the index set's long-batch rebuild,
// and the cursor keeping its tag when another writer replaces the index.
#include "store/index_set.h"
#include "store/memory_file_system.h"
#include "store/record_cursor.h"
#include "store/table_file.h"
#include "store/work_area.h"
#include "store_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace orv;
using namespace orv::test;

namespace {

const QString kTable = QStringLiteral("/mem/T.DBF");

MemoryFileSystem tableWithRecords(int records) {
    MemoryFileSystem fs;
    TableFile::create(kTable, {field("NAME", 'C', 10), field("N", 'N', 6)}, 64, fs);
    TableFile t;
    t.open(fs, kTable, OpenMode::Exclusive, nullptr);
    t.markChanging();
    for (int i = 1; i <= records; ++i) {
        const uint32_t r = t.appendBlank();
        QByteArray rec(t.recordAt(r), t.header().recordLength);
        const QByteArray n = QByteArray::number((i * 7919) % 1000).rightJustified(6, ' ');
        std::memcpy(rec.data() + t.header().fields[1].offset, n.constData(), 6);
        t.writeRecord(r, rec.constData(), rec.size());
    }
    t.commitRecords(false);
    t.endCommit();
    t.close();
    // The cleared transaction byte is not flushed by a commit; the tests
    // start from a disk that holds it.
    fs.put(kTable, *fs.contents(kTable));
    return fs;
}

QByteArray nameOf(const TableFile& t, uint32_t r) {
    const DbfField& f = t.header().fields[0];
    return QByteArray(t.recordAt(r) + f.offset, f.width).trimmed();
}

}  // namespace

TEST(TableFile, TheMarkReachesTheDiskBeforeTheWritesItGuards) {
    MemoryFileSystem fs = tableWithRecords(3);
    {
        TableFile t;
        t.open(fs, kTable, OpenMode::Exclusive, nullptr);
        EXPECT_FALSE(t.changing());
        t.markChanging();
        EXPECT_TRUE(t.changing());
        QByteArray rec(t.recordAt(2), t.header().recordLength);
        std::memcpy(rec.data() + 1, "CHANGED   ", 10);
        t.writeRecord(2, rec.constData(), rec.size());
        t.close();  // nothing flushed the record
    }
    fs.powerLoss();
    TableFile t;
    t.open(fs, kTable, OpenMode::Exclusive, nullptr);
    EXPECT_NE(t.header().transaction, 0) << "the interrupted change is known, so the next open rebuilds the index";
    EXPECT_EQ(t.header().recordCount, 3u);
    EXPECT_EQ(nameOf(t, 2), QByteArray());
}

TEST(TableFile, ACommitFlushesTheRecordsAndCountsOnlyIndexChanges) {
    MemoryFileSystem fs = tableWithRecords(2);
    uint32_t counter = 0;
    {
        TableFile t;
        t.open(fs, kTable, OpenMode::Exclusive, nullptr);
        counter = t.header().changeCounter;
        t.markChanging();
        QByteArray rec(t.recordAt(1), t.header().recordLength);
        std::memcpy(rec.data() + 1, "FIRST     ", 10);
        t.writeRecord(1, rec.constData(), rec.size());
        t.commitRecords(false);
        EXPECT_EQ(t.header().changeCounter, counter) << "no index changed, so no index file needs the new count";
        t.endCommit();
        EXPECT_FALSE(t.changing());

        t.markChanging();
        t.commitRecords(true);
        EXPECT_EQ(t.header().changeCounter, counter + 1);
        t.close();  // the byte is still set: the index files were never written
    }
    fs.powerLoss();
    TableFile t;
    t.open(fs, kTable, OpenMode::Exclusive, nullptr);
    EXPECT_EQ(nameOf(t, 1), QByteArray("FIRST"));
    EXPECT_EQ(t.header().changeCounter, counter + 1);
    EXPECT_NE(t.header().transaction, 0);
}

TEST(TableFile, ASharedTableTakesTheCountAnotherWriterLeft) {
    MemoryFileSystem fs = tableWithRecords(2);
    TableFile reader, writer;
    reader.open(fs, kTable, OpenMode::Shared, nullptr);
    writer.open(fs, kTable, OpenMode::Shared, nullptr);
    writer.lockForUpdate();
    writer.markChanging();
    const uint32_t r = writer.appendBlank();
    QByteArray rec(writer.recordAt(r), writer.header().recordLength);
    std::memcpy(rec.data() + 1, "APPENDED  ", 10);
    writer.writeRecord(r, rec.constData(), rec.size());
    writer.commitRecords(true);
    writer.endCommit();
    writer.unlockUpdate();

    EXPECT_EQ(reader.header().recordCount, 2u);
    ASSERT_TRUE(reader.refreshHeader());
    EXPECT_EQ(reader.header().recordCount, 3u);
    EXPECT_EQ(reader.header().changeCounter, writer.header().changeCounter);
    EXPECT_EQ(nameOf(reader, 3), QByteArray("APPENDED"));

    TableFile alone;
    MemoryFileSystem other = tableWithRecords(1);
    alone.open(other, kTable, OpenMode::Exclusive, nullptr);
    EXPECT_FALSE(alone.refreshHeader()) << "only a shared table has other writers";
}

TEST(IndexSet, ALongBatchRebuildsTheTagOnceInsteadOfInsertingEveryKey) {
    MemoryFileSystem fs = tableWithRecords(0);
    TableFile t;
    t.open(fs, kTable, OpenMode::Exclusive, nullptr);
    IndexSet index(t, [] {});
    index.loadStructural();
    t.markChanging();
    int order = index.addTag(index.defineTag("", "N", "N", false, false, ""));
    ASSERT_EQ(order, 1);
    const int n = 2500;
    for (int i = 1; i <= n; ++i) {
        const uint32_t r = t.appendBlank();
        QByteArray rec(t.recordAt(r), t.header().recordLength);
        const QByteArray v = QByteArray::number((i * 7919) % 1000).rightJustified(6, ' ');
        std::memcpy(rec.data() + t.header().fields[1].offset, v.constData(), 6);
        t.writeRecord(r, rec.constData(), rec.size());
        index.updateKeys(r, nullptr, rec.constData(), true);
    }
    EXPECT_TRUE(index.stale(0)) << "past 2000 changes in a batch the tag waits for one rebuild";
    EXPECT_TRUE(index.anyDirty());
    index.ensureFresh(order);
    EXPECT_FALSE(index.stale(0));
    const IndexTag& tag = index.tag(order);
    ASSERT_EQ(tag.size(), size_t(n));
    for (size_t i = 1; i < tag.size(); ++i) EXPECT_LE(std::memcmp(tag.keyAt(i - 1), tag.keyAt(i), size_t(tag.keyLength())), 0);

    t.commitRecords(true);
    index.markAllDirty();
    index.writeFiles();
    t.endCommit();
    EXPECT_FALSE(index.anyDirty());
    EXPECT_TRUE(fs.exists(index.structuralPath()));
    EXPECT_TRUE(t.header().flags & kDbfFlagStructuralCdx);
    t.close();

    TableFile again;
    again.open(fs, kTable, OpenMode::ReadOnly, nullptr);
    IndexSet reloaded(again, [] {});
    reloaded.loadStructural();
    ASSERT_EQ(reloaded.count(), 1);
    EXPECT_FALSE(reloaded.stale(0)) << "the file written carries the table's change count";
    EXPECT_TRUE(reloaded.tag(1).entries() == tag.entries());
}

TEST(RecordCursor, KeepsItsTagByNameWhenAnotherWriterReplacesTheIndex) {
    MemoryFileSystem fs = tableWithRecords(20);
    EngineSettings settings;
    auto writer = WorkArea::open(kTable, "W", OpenMode::Shared, &settings, fs);
    writer->indexTag("", "NAME", "NAME", false, false, "");
    writer->indexTag("", "N", "N", false, false, "");
    auto reader = WorkArea::open(kTable, "R", OpenMode::Shared, &settings, fs);
    ASSERT_EQ(reader->tagCount(), 2);
    reader->setOrder(reader->tagArea("N"));
    ASSERT_EQ(reader->indexOrder(), 2);

    // The other writer rebuilds the structural file with the tags the other way round.
    writer->closeIndexes();
    writer->indexTag("", "N", "N", false, false, "");
    writer->indexTag("", "NAME", "NAME", false, false, "");

    reader->goTop();
    ASSERT_EQ(reader->tagCount(), 2);
    EXPECT_EQ(reader->indexOrder(), 1);
    EXPECT_EQ(reader->tagName(reader->indexOrder()), QByteArray("N"));
    // And it walks that tag's order.
    QByteArray previous;
    int seen = 0;
    for (; !reader->eof(); reader->skip()) {
        const QByteArray v = reader->fieldBytes(1);
        EXPECT_LE(previous, v);
        previous = v;
        ++seen;
    }
    EXPECT_EQ(seen, 20);
}

namespace {

std::vector<uint32_t> walkInOrder(WorkArea& a) {
    std::vector<uint32_t> out;
    for (a.goTop(); !a.eof(); a.skip()) out.push_back(a.recNo());
    return out;
}

}  // namespace

TEST(IndexSet, ASharedReaderReadsOnlyThePagesAnotherWriterWrote) {
    MemoryFileSystem fs = tableWithRecords(10000);
    EngineSettings settings;
    auto writer = WorkArea::open(kTable, "W", OpenMode::Shared, &settings, fs);
    writer->indexTag("", "N", "N", false, false, "");
    writer->setOrder(writer->tagArea("N"));
    auto reader = WorkArea::open(kTable, "R", OpenMode::Shared, &settings, fs);
    reader->setOrder(reader->tagArea("N"));
    ASSERT_EQ(walkInOrder(*reader), walkInOrder(*writer));
    const qint64 cdxSize = fs.contents("/mem/T.CDX")->size();
    ASSERT_GT(cdxSize, 32 * 1024);
    std::mt19937 rng(3);
    auto value = [&] { return QByteArray::number(rng() % 1000).rightJustified(6, ' '); };
    // What the reader reads to take up the writer's changes.
    auto catchUpCost = [&] {
        const uint64_t before = fs.bytesRead();
        reader->goTop();
        return qint64(fs.bytesRead() - before);
    };

    // One post: the header and a few pages.
    writer->go(5);
    writer->replaceField(1, "   999");
    EXPECT_LT(catchUpCost(), 4 * 1024);
    EXPECT_EQ(walkInOrder(*reader), walkInOrder(*writer));

    // Many appends and a few posts between two looks: the last leaves
    // split (the file grows), still only the pages written are read.
    for (int i = 0; i < 200; ++i) {
        writer->appendBlank();
        writer->replaceField(1, QByteArray::number(1000 + i).rightJustified(6, ' '));
    }
    for (int i = 0; i < 3; ++i) {
        writer->go(rng() % 10000 + 1);
        writer->replaceField(1, value());
    }
    EXPECT_LT(catchUpCost(), cdxSize / 2);
    EXPECT_EQ(walkInOrder(*reader), walkInOrder(*writer));

    // Changes all over the tag overflow the list in the header: the
    // reader reads the whole file, and still agrees.
    for (int i = 0; i < 300; ++i) {
        writer->go(rng() % 10000 + 1);
        writer->replaceField(1, value());
    }
    EXPECT_GE(catchUpCost(), cdxSize);
    EXPECT_EQ(walkInOrder(*reader), walkInOrder(*writer));

    // So does a new tag, which replaces the file.
    writer->indexTag("", "NAME", "NAME", false, false, "");
    writer->setOrder(writer->tagArea("N"));
    reader->goTop();
    EXPECT_EQ(reader->tagCount(), 2);
    EXPECT_EQ(reader->tagName(reader->indexOrder()), QByteArray("N"));
    EXPECT_EQ(walkInOrder(*reader), walkInOrder(*writer));
}
