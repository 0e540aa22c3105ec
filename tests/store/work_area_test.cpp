#include "store/cdx_format.h"
#include "store/db_error.h"
#include "store_test_util.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::test;

namespace {

int le16(const char* p) { return uint8_t(p[0]) | uint8_t(p[1]) << 8; }

std::vector<DbfField> phoneFields() { return {field("NAME", 'C', 35), field("PHONE", 'C', 25)}; }

void addName(WorkArea& a, const char* name, const char* phone = "") {
    a.appendBlank();
    a.replaceField(0, name);
    a.replaceField(1, phone);
}

QStringList namesInOrder(WorkArea& a) {
    QStringList out;
    for (a.goTop(); !a.eof(); a.skip(1)) out << QString::fromLatin1(a.fieldBytes(0)).trimmed();
    return out;
}

QStringList namesBackwards(WorkArea& a) {
    QStringList out;
    a.goBottom();
    while (!a.bof() && !a.eof()) {
        out << QString::fromLatin1(a.fieldBytes(0)).trimmed();
        a.skip(-1);
    }
    return out;
}

}  // namespace

TEST(WorkArea, CreatesFoxProFilesByteForByte) {
    QTemporaryDir dir;
    const QString path = makeTable(dir, "PHONE.DBF", {field("NAME", 'C', 35)});
    DataEngine engine;
    engine.use(path, "PHONE");
    WorkArea& a = engine.cur();
    for (const char* n : {"Zed", "Alice", "Bob"}) {
        a.appendBlank();
        a.replaceField(0, n);
    }
    a.indexTag("", "NAME", "NAME", false, false, ".NOT.DELETED()");
    engine.closeAll();

    // The worked example of the format: header, descriptor, records, 0x1A.
    const QByteArray dbf = readFile(path);
    ASSERT_EQ(dbf.size(), 174);
    EXPECT_EQ(uint8_t(dbf[0]), 0x03);
    EXPECT_EQ(dbf.mid(4, 8).toHex().toStdString(), std::string("0300000041002400"));
    EXPECT_EQ(uint8_t(dbf[14]), 0);  // no update in progress
    EXPECT_EQ(dbf.mid(28, 4).toHex().toStdString(), std::string("01030000"));
    EXPECT_EQ(dbf.mid(32, 18).toHex().toStdString(), std::string("4e414d4500000000000000" "43" "01000000" "23" "00"));
    EXPECT_EQ(uint8_t(dbf[64]), 0x0D);
    EXPECT_EQ(dbf.mid(65, 6), QByteArray(" Zed  "));
    EXPECT_EQ(uint8_t(dbf[173]), 0x1A);

    const QByteArray cdx = readFile(dir.path() + "/PHONE.CDX");
    ASSERT_EQ(cdx.size(), 0xC00);
    // Bytes 8..11 count the table's changes (big-endian), the same count as
    // in the table's reserved bytes 16..19 (little-endian).
    EXPECT_EQ(cdx.left(8).toHex().toStdString(), std::string("0004000000000000"));
    EXPECT_EQ(cdx.mid(12, 4).toHex().toStdString(), std::string("0a00e001"));
    const uint32_t tableCount = uint8_t(dbf[16]) | uint8_t(dbf[17]) << 8 | uint8_t(dbf[18]) << 16 | uint32_t(uint8_t(dbf[19])) << 24;
    const uint32_t indexCount = uint32_t(uint8_t(cdx[8])) << 24 | uint8_t(cdx[9]) << 16 | uint8_t(cdx[10]) << 8 | uint8_t(cdx[11]);
    EXPECT_NE(tableCount, 0u);
    EXPECT_EQ(tableCount, indexCount);
    EXPECT_EQ(cdx.mid(0x400, 16).toHex().toStdString(), std::string("03000100ffffffffffffffffe101ffff"));
    EXPECT_EQ(cdx.mid(0x410, 11).toHex().toStdString(), std::string("00000f0f100404030006" "60"));
    EXPECT_EQ(cdx.mid(0x5FC, 4), QByteArray("NAME"));
    EXPECT_EQ(cdx.mid(0x600, 16).toHex().toStdString(), std::string("000a0000000000000000000023006801"));
    EXPECT_EQ(cdx.mid(0x7F6, 10).toHex().toStdString(), std::string("000005000f0000000500"));
    EXPECT_EQ(cdx.mid(0x800, 20), QByteArray("NAME\0.NOT.DELETED()\0", 20));
    EXPECT_EQ(cdx.mid(0xA00, 33).toHex().toStdString(), std::string("03000300ffffffffffffffffd401ff0f" "00003f3f0c060603020078030080010080"));
    EXPECT_EQ(cdx.mid(0xBF5, 11), QByteArray("ZedBobAlice"));
}

TEST(WorkArea, NavigationOrdersAndFilters) {
    QTemporaryDir dir;
    const QString path = makeTable(dir, "ORVPB.DBF", phoneFields());
    DataEngine engine;
    engine.settings().deleted = true;
    engine.use(path, "ORVPB");
    WorkArea& a = engine.cur();
    EXPECT_TRUE(a.eof());
    EXPECT_TRUE(a.bof());
    EXPECT_EQ(a.recNo(), 1u);
    for (const char* n : {"Mike", "alice", "Zoe", "Bob", "Bob", "Carol"}) addName(a, n);
    EXPECT_EQ(a.recCount(), 6u);
    EXPECT_EQ(namesInOrder(a), QStringList({"Mike", "alice", "Zoe", "Bob", "Bob", "Carol"}));

    EXPECT_EQ(a.indexTag("", "NAME", "NAME", false, false, ".not. deleted()"), 1);
    EXPECT_EQ(a.indexOrder(), 1);
    // Byte order: upper case before lower case; equal keys by record number.
    EXPECT_EQ(namesInOrder(a), QStringList({"Bob", "Bob", "Carol", "Mike", "Zoe", "alice"}));
    a.goTop();
    EXPECT_EQ(a.recNo(), 4u);
    a.skip(1);
    EXPECT_EQ(a.recNo(), 5u);
    EXPECT_EQ(namesBackwards(a), QStringList({"alice", "Zoe", "Mike", "Carol", "Bob", "Bob"}));

    a.indexTag("", "UPNAME", "UPPER(NAME)", false, true, ".not. deleted()");
    EXPECT_EQ(a.indexOrder(), 2);
    EXPECT_EQ(a.tagArea("upname"), 2);
    EXPECT_EQ(a.tagName(1), "NAME");
    EXPECT_EQ(namesInOrder(a), QStringList({"Zoe", "Mike", "Carol", "Bob", "Bob", "alice"}));

    // Deleting hides the record at once: the FOR condition drops it from the tags.
    a.go(3);
    a.deleteRecord();
    EXPECT_TRUE(a.deleted());
    EXPECT_EQ(namesInOrder(a), QStringList({"Mike", "Carol", "Bob", "Bob", "alice"}));
    EXPECT_EQ(a.queryRecCount(), 5u);
    EXPECT_EQ(a.orderSize(), 5u);
    EXPECT_TRUE(a.orderIsAllVisible());
    a.setOrder(0);
    EXPECT_EQ(namesInOrder(a), QStringList({"Mike", "alice", "Bob", "Bob", "Carol"}));
    engine.settings().deleted = false;
    EXPECT_EQ(namesInOrder(a).size(), 6);
    EXPECT_FALSE(a.orderIsAllVisible() && a.tagCount() == 0);
    engine.settings().deleted = true;

    // A filter that no tag implies is evaluated record by record.
    a.setOrder(1);
    a.setQuery("NAME = 'B' .OR. NAME = 'C'");
    EXPECT_FALSE(a.orderIsAllVisible());
    EXPECT_EQ(namesInOrder(a), QStringList({"Bob", "Bob", "Carol"}));
    EXPECT_EQ(a.queryRecCount(), 3u);
    a.setQuery("");

    // Seek in ascending and descending tags, with and without soft seek.
    EXPECT_TRUE(a.seek("Car"));
    EXPECT_EQ(a.recNo(), 6u);
    EXPECT_FALSE(a.seek("Cb"));
    EXPECT_TRUE(a.eof());
    engine.settings().softSeek = true;
    EXPECT_FALSE(a.seek("Cb"));
    EXPECT_EQ(a.recNo(), 1u);  // Mike follows
    a.setOrder(2);
    EXPECT_TRUE(a.seek("BOB"));
    EXPECT_EQ(a.recNo(), 5u);  // descending: the later Bob first

    // Changing a key moves the record.
    a.setOrder(1);
    a.go(1);
    a.replaceField(0, "Aaron");
    EXPECT_EQ(namesInOrder(a), QStringList({"Aaron", "Bob", "Bob", "Carol", "alice"}));
    a.go(3);
    a.recall();
    EXPECT_EQ(namesInOrder(a), QStringList({"Aaron", "Bob", "Bob", "Carol", "Zoe", "alice"}));
    engine.closeAll();

    // Everything persists.
    engine.use(path, "ORVPB", OpenMode::ReadOnly);
    WorkArea& b = engine.cur();
    EXPECT_EQ(b.tagCount(), 2);
    EXPECT_EQ(b.indexOrder(), 0);
    b.setOrder(b.tagArea("NAME"));
    EXPECT_EQ(namesInOrder(b), QStringList({"Aaron", "Bob", "Bob", "Carol", "Zoe", "alice"}));
    EXPECT_THROW(b.appendBlank(), EDatabase);
}

TEST(WorkArea, MemosRecordsAndLocks) {
    QTemporaryDir dir;
    const QString path = makeTable(dir, "ORVCOV.DBF", {field("DESCRIPT", 'C', 35), field("COVER", 'M', 10)});
    EXPECT_EQ(uint8_t(readFile(path)[0]), 0xF5);
    const QByteArray emptyFpt = readFile(dir.path() + "/ORVCOV.FPT");
    ASSERT_EQ(emptyFpt.size(), 512);
    EXPECT_EQ(emptyFpt.left(8), QByteArray::fromHex("0000000800000040"));

    DataEngine engine;
    engine.use(path, "COV");
    WorkArea& a = engine.cur();
    a.appendBlank();
    a.replaceField(0, "Plain");
    const QByteArray rtf = "{\\rtf1\\ansi Hello \xE9t\xE9}";
    a.replaceMemo(1, rtf);
    EXPECT_EQ(a.fieldBytes(1), QByteArray("         8"));
    EXPECT_EQ(a.getMemo(1), rtf);
    a.replaceMemo(1, QByteArray(200, 'x'));  // appended, never overwritten in place
    EXPECT_EQ(a.fieldBytes(1), QByteArray("         9"));
    EXPECT_EQ(a.getMemo(1), QByteArray(200, 'x'));

    const QString file = dir.path() + "/Eraseme.rtf";
    EXPECT_TRUE(a.memoToFile(1, file));
    EXPECT_EQ(readFile(file), QByteArray(200, 'x'));
    writeFile(file, rtf);
    a.replaceMemoFromFile(1, file);
    EXPECT_EQ(a.getMemo(1), rtf);
    EXPECT_THROW(a.replaceMemoFromFile(1, dir.path() + "/missing.rtf"), EInOutError);
    a.replaceMemo(1, QByteArray());
    EXPECT_EQ(a.fieldBytes(1), QByteArray(10, ' '));
    EXPECT_EQ(a.getMemo(1), QByteArray());

    // Whole records keep their deletion flag; wrong sizes are refused.
    QByteArray rec = a.getRecord();
    rec.replace(1, 5, "Fancy");
    rec[0] = '*';
    a.putRecord(rec);
    EXPECT_FALSE(a.deleted());
    EXPECT_EQ(a.fieldBytes(0).left(5), "Fancy");
    EXPECT_THROW(a.putRecord("short"), EDatabase);
    a.replaceField(0, QByteArray(40, 'y'));  // character fields are cut to their width
    EXPECT_EQ(a.fieldBytes(0), QByteArray(35, 'y'));
    a.go(99);
    EXPECT_TRUE(a.eof());
    EXPECT_EQ(a.recNo(), 2u);
    EXPECT_FALSE(a.memoToFile(1, file));
    EXPECT_THROW(a.replaceField(0, "x"), EDatabase);
    EXPECT_TRUE(a.rlock(1));  // exclusive: no locks needed
    engine.closeAll();

    // Exclusive use keeps others away; shared openers lock records.
    DataEngine other;
    engine.use(path, "COV", OpenMode::Exclusive);
    EXPECT_THROW(other.use(path, "COV", OpenMode::Shared), EDatabase);
    engine.closeAll();
    engine.settings().lockTimeout = 0;
    other.settings().lockTimeout = 0;
    engine.use(path, "COV", OpenMode::Shared);
    other.use(path, "COV", OpenMode::Shared);
    EXPECT_TRUE(engine.cur().rlock(1));
    EXPECT_FALSE(other.cur().rlock(1));
    engine.cur().unlock(1);
    EXPECT_TRUE(other.cur().rlock(1));
    other.cur().go(1);
    other.cur().replaceField(0, "Shared write");
    other.cur().unlock();
    engine.cur().goTop();
    EXPECT_EQ(engine.cur().fieldBytes(0).trimmed(), "Shared write");
    // A write refused for a lock leaves no lock behind.
    EXPECT_TRUE(engine.cur().rlock(1));
    other.cur().go(1);
    try {
        other.cur().replaceField(0, "blocked");
        ADD_FAILURE() << "wrote a locked record";
    } catch (const EDatabase& e) {
        EXPECT_EQ(e.code(), ecDbRecordLocked);
    }
    engine.cur().go(1);
    engine.cur().replaceField(0, "after");
    engine.cur().unlock();
    other.cur().goTop();
    EXPECT_EQ(other.cur().fieldBytes(0).trimmed(), "after");
}

TEST(WorkArea, EngineAreasAliasesAndCreation) {
    QTemporaryDir dir;
    DataEngine engine;
    const QString path = dir.path() + "/my-file.DBF";
    const int pending = engine.createNew(path, "XXXXXXXXXX", kDriverFox, 3);
    ASSERT_NE(pending, 0);
    engine.createField("NAME", 'C', 20, 0);
    engine.createField("WHEN", 'D', 8, 0);
    engine.createField("COUNT", 'N', 5, 0);
    EXPECT_TRUE(engine.createExec());
    EXPECT_EQ(engine.createNew(path, "X", kDriverNtx, 1), 0);

    const int a1 = engine.use(path, "", OpenMode::Shared);
    EXPECT_EQ(engine.area(a1)->alias(), "my_file");
    EXPECT_EQ(engine.makeAlias(path), "my_file_1");
    const int a2 = engine.use(dir.path() + "/my-file.DBF", engine.makeAlias(path), OpenMode::Shared);
    EXPECT_NE(a1, a2);
    EXPECT_EQ(engine.workArea("MY_FILE_1"), a2);
    EXPECT_EQ(engine.select(a1), a2);
    EXPECT_EQ(engine.current(), a1);
    engine.close(a1);
    EXPECT_THROW(engine.cur(), EDatabase);
    EXPECT_EQ(engine.sysProp(1009, 0), 0);
    EXPECT_EQ(engine.sysProp(1009, 5), 0);
    EXPECT_EQ(engine.sysProp(1009, 1), 5);

    // Bad definitions fail with a reason and leave no file.
    const QString bad = dir.path() + "/BAD.DBF";
    engine.createNew(bad, "XXXXXXXXXX", kDriverFox, 1);
    engine.createField("9LIVES", 'C', 10, 0);
    EXPECT_FALSE(engine.createExec());
    EXPECT_TRUE(engine.lastError().contains("9LIVES"));
    engine.createNew(bad, "XXXXXXXXXX", kDriverFox, 2);
    engine.createField("A", 'C', 10, 0);
    EXPECT_FALSE(engine.createExec());  // one field short
    engine.createNew(bad, "XXXXXXXXXX", kDriverFox, 1);
    engine.createField("PIC", 'X', 10, 0);
    EXPECT_FALSE(engine.createExec());
    EXPECT_FALSE(QFile::exists(bad));
}

TEST(WorkArea, BigTagsHaveInteriorPagesAndDateKeys) {
    QTemporaryDir dir;
    const QString path = makeTable(dir, "BIG.DBF", {field("NAME", 'C', 35), field("DAY", 'D', 8)});
    DataEngine engine;
    engine.settings().deleted = true;
    engine.use(path, "BIG");
    WorkArea& a = engine.cur();
    a.beginUpdate();
    for (int i = 0; i < 3000; ++i) {
        a.appendBlank();
        a.replaceField(0, QByteArray("name") + QByteArray::number((i * 7919) % 3000).rightJustified(5, '0'));
        a.replaceField(1, QDate(2020, 1, 1).addDays((i * 37) % 400).toString("yyyyMMdd").toLatin1());
    }
    a.endUpdate();
    a.indexTag("", "NAME", "NAME", false, false, ".not. deleted()");
    a.indexTag("", "DAY", "day", false, true, ".not. deleted()");
    a.go(10);
    a.deleteRecord();
    engine.closeAll();

    const QByteArray cdx = readFile(dir.path() + "/BIG.CDX");
    const auto tags = ReadCdxDirectory(cdx, "BIG.CDX");
    ASSERT_EQ(tags.size(), 2u);
    std::vector<char> keys;
    std::vector<uint32_t> recnos;
    ReadCdxKeys(cdx, tags[0], ' ', keys, recnos, "BIG.CDX");
    EXPECT_EQ(recnos.size(), 2999u);
    EXPECT_EQ(le16(cdx.constData() + tags[0].root), 1) << "root of a 3000-key tag is an interior page";
    keys.clear();
    recnos.clear();
    ReadCdxKeys(cdx, tags[1], '\0', keys, recnos, "BIG.CDX");
    ASSERT_EQ(recnos.size(), 2999u);
    EXPECT_TRUE(tags[1].descending);
    EXPECT_DOUBLE_EQ(DecodeNumericKey(keys.data()), double(JulianDay(2020, 1, 1)));

    // XBase::Index reads both tags in the same order.
    const auto perl = readWithXBaseIndex(dir.path() + "/BIG.CDX", {"NAME:C", "DAY:D"});
    ASSERT_EQ(perl.size(), 2);
    ASSERT_EQ(perl[0].keys.size(), 2999);
    for (int i = 1; i < perl[0].keys.size(); ++i) ASSERT_LE(perl[0].keys[i - 1], perl[0].keys[i]);
    EXPECT_EQ(perl[1].order, 1);
    ASSERT_EQ(perl[1].recnos.size(), 2999);
    for (int i = 0; i < 2999; ++i) ASSERT_EQ(uint32_t(perl[1].recnos[i]), recnos[size_t(i)]);
}

// A tag's keys read back from a file built from them, across many leaves and
// after keys already there; a tag whose keys are out of order (the byte after
// the shared ones decides, or the whole key ties and the record numbers
// decide) is damaged.
TEST(WorkArea, TagKeysReadBackAcrossLeavesAndDisorderIsDamage) {
    auto build = [](const std::vector<QByteArray>& keyList, const std::vector<uint32_t>& recs) {
        std::vector<char> keys;
        for (const QByteArray& k : keyList) keys.insert(keys.end(), k.constBegin(), k.constEnd());
        CdxTagContent tag;
        tag.info.name = "T";
        tag.info.keyLength = int(keyList.front().size());
        tag.info.keyExpr = "NAME";
        tag.keys = keys.data();
        tag.recnos = recs.data();
        tag.count = recs.size();
        return BuildCdxFile({tag}, 100000);
    };
    std::vector<QByteArray> many;
    std::vector<uint32_t> manyRecs;
    for (uint32_t i = 0; i < 5000; ++i) {
        many.push_back(("name" + QByteArray::number(i / 3).rightJustified(6, '0')).leftJustified(12, ' '));
        manyRecs.push_back(i + 1);
    }
    const QByteArray file = build(many, manyRecs);
    const auto dir = ReadCdxDirectory(file, "T.CDX");
    ASSERT_EQ(dir.size(), 1u);
    for (size_t before : {size_t(0), size_t(3)}) {
        std::vector<char> keys(before * 12, 'A');  // sorts before every key read
        std::vector<uint32_t> recnos(before, 0);
        ReadCdxKeys(file, dir[0], ' ', keys, recnos, "T.CDX");
        ASSERT_EQ(recnos.size(), before + 5000);
        ASSERT_EQ(std::vector<uint32_t>(recnos.begin() + long(before), recnos.end()), manyRecs);
        ASSERT_EQ(keys.size(), (before + 5000) * 12);
        EXPECT_EQ(std::string(keys.data(), before * 12), std::string(before * 12, 'A'));
        for (size_t i = 0; i < many.size(); i += 499) ASSERT_EQ(QByteArray(keys.data() + (before + i) * 12, 12), many[i]);
    }

    const struct {
        std::vector<QByteArray> keys;
        std::vector<uint32_t> recs;
        bool ok;
    } cases[] = {
        {{"AB1", "AB2", "AB2", "B  "}, {1, 2, 3, 4}, true},
        {{"AB2", "AB1"}, {1, 2}, false},         // the byte after "AB" decides
        {{"AB ", "A  "}, {1, 2}, false},         // a shorter key after a longer one
        {{"AAA", "AAA"}, {5, 3}, false},         // equal keys: record numbers ascend
        {{"AAA", "AAA"}, {3, 3}, false},
        {{"ZZZ", "AZZ"}, {1, 2}, false},         // nothing shared
    };
    for (const auto& k : cases) {
        const QByteArray f = build(k.keys, k.recs);
        const auto d = ReadCdxDirectory(f, "T.CDX");
        std::vector<char> keys;
        std::vector<uint32_t> recnos;
        if (k.ok) {
            ReadCdxKeys(f, d[0], ' ', keys, recnos, "T.CDX");
            EXPECT_EQ(recnos, k.recs);
        } else {
            EXPECT_THROW(ReadCdxKeys(f, d[0], ' ', keys, recnos, "T.CDX"), EDatabase) << k.keys[0].constData();
        }
    }
}

TEST(WorkArea, ReadsNumericKeyEncoding) {
    char k[8];
    const struct {
        double v;
        const char* hex;
    } cases[] = {{0, "8000000000000000"}, {5, "c014000000000000"}, {123.25, "c05ed00000000000"}, {-2.5, "3ffbffffffffffff"},
                 {2451545, "c142b42c80000000"}};
    for (const auto& c : cases) {
        EncodeNumericKey(c.v, k);
        EXPECT_EQ(QByteArray(k, 8).toHex().toStdString(), std::string(c.hex)) << c.v;
        EXPECT_DOUBLE_EQ(DecodeNumericKey(k), c.v);
    }
}
