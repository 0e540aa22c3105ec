#include "store/rebuild.h"
#include "store/table_check.h"
#include "store_test_util.h"
#include "support/temp_home.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::test;

namespace {

void addSent(TTable& t, const QString& subject, const QDate& date, const char* time) {
    t.append();
    t.fieldByName("SUBJECT").setAsString(subject);
    t.fieldByName("DATESENT").setAsDate(date);
    t.fieldByName("TIMESENT").setAsString(time);
    t.fieldByName("RTFCOVER").setAsString("{\\rtf1 " + subject + "}");
    t.post();
}

}  // namespace

TEST(Rebuild, PacksAndRebuildsAllFourTables) {
    TempHome home;
    DataEngine::instance().settings().deleted = true;
    Bound fax, rec, phone, cover;
    ASSERT_TRUE(OpenFaxDBF(fax.table, fax.link));
    ASSERT_TRUE(OpenRecFaxDBF(rec.table, rec.link));
    // Thousands of records in one update, so the index is written once.
    fax.table.workArea()->beginUpdate();
    for (int i = 0; i < 2100; ++i) addSent(fax.table, QString("fax %1").arg(i), QDate(2026, 1, 1).addDays(i % 50), i % 2 ? "09:00" : "18:00");
    // Mark every third deleted.
    fax.link.setOrder(0);
    for (uint32_t r = 1; r <= 2100; r += 3) {
        fax.link.goToRecord(r);
        fax.table.deleteRecord();
    }
    fax.table.workArea()->endUpdate();
    rec.table.append();
    rec.table.fieldByName("FROM").setAsString("sender");
    rec.table.post();
    const qint64 fptBefore = QFile(home.file("ORV.FPT")).size();

    QStringList steps;
    QList<int> progress;
    RebuildCallbacks cb;
    cb.step = [&](const QString& s) { steps << s; };
    cb.progress = [&](int p) { progress << p; };
    fax.table.disableControls();
    const bool ok = RebuildIndexes({&fax.table, &fax.link, &rec.table, &rec.link, &phone.table, &phone.link, &cover.table, &cover.link}, cb);
    fax.table.enableControls();
    EXPECT_TRUE(ok);
    EXPECT_EQ(steps, QStringList({"", "Removing FAX file records marked for deletion", "Rebuilding FAX file indexes", "",
                                  "Removing Received FAX records marked for deletion", "Rebuilding Received FAX indexes",
                                  "Removing PHONE file records marked for deletion", "Rebuilding PHONE file indexes",
                                  "Removing COVER file records marked for deletion", "Rebuilding COVER file indexes"}));
    ASSERT_FALSE(progress.isEmpty());
    for (int p : progress) EXPECT_TRUE(p >= 0 && p <= 100) << p;
    EXPECT_TRUE(progress.contains(100));
    EXPECT_TRUE(std::any_of(progress.begin(), progress.end(), [](int p) { return p > 0 && p < 100; }));

    // Deleted records are gone, the others closed up, memos compacted.
    EXPECT_EQ(fax.link.recordCount(), 1400u);
    EXPECT_EQ(fax.link.filteredRecordCount(), 1400u);
    EXPECT_LT(QFile(home.file("ORV.FPT")).size(), fptBefore);
    fax.link.goToRecord(1);
    EXPECT_EQ(fax.table.fieldByName("SUBJECT").asString(), "fax 1");
    EXPECT_EQ(fax.table.fieldByName("RTFCOVER").asString(), "{\\rtf1 fax 1}");
    EXPECT_EQ(fax.link.currentIndexOrder(), 1);
    EXPECT_EQ(fax.table.IndexName(), "DATESENT");
    // The sent tag now keys on the date alone: newest day first, and within
    // a day the index's order of equal keys (later records first), not the time.
    fax.table.first();
    QDate last = fax.table.fieldByName("DATESENT").asDate();
    int count = 0;
    for (; !fax.table.eof(); fax.table.next(), ++count) {
        const QDate d = fax.table.fieldByName("DATESENT").asDate();
        ASSERT_LE(d, last);
        last = d;
    }
    EXPECT_EQ(count, 1400);

    // The phone and cover tables did not exist: made, packed, indexed, closed.
    EXPECT_TRUE(QFile::exists(home.file("ORVPB.DBF")));
    EXPECT_TRUE(QFile::exists(home.file("ORVCOV.CDX")));
    EXPECT_FALSE(phone.table.active());
    EXPECT_FALSE(cover.table.active());
    fax.table.close();
    rec.table.close();
    for (const char* t : {"ORV.DBF", "ORVREC.DBF", "ORVPB.DBF", "ORVCOV.DBF"})
        EXPECT_TRUE(CheckTable(home.file(t)).problems.isEmpty()) << t << CheckTable(home.file(t)).problems.join("\n").toStdString();
    const auto tags = readWithXBaseIndex(home.file("ORV.CDX"), {"DATESENT:D"});
    ASSERT_EQ(tags.size(), 1);
    EXPECT_EQ(tags[0].keyExpr, "datesent");
    EXPECT_EQ(tags[0].order, 1);
    EXPECT_EQ(tags[0].keys.size(), 1400);
}

TEST(Rebuild, FailureLeavesTheTableUsable) {
    TempHome home;
    Bound cover;
    ASSERT_TRUE(OpenCoverDBF(cover.table, cover.link));
    cover.table.append();
    cover.table.fieldByName("DESCRIPT").setAsString("kept");
    cover.table.fieldByName("COVER").setAsString("text");
    cover.table.post();
    // A memo file cut short makes the pack fail half-way.
    QFile(home.file("ORVCOV.FPT")).resize(512);
    QStringList steps;
    RebuildCallbacks cb;
    cb.step = [&](const QString& s) { steps << s; };
    EXPECT_FALSE(PackAndReindex(cover.link, CoverSchema(), QString(), cb));
    EXPECT_EQ(steps, QStringList({"Removing COVER file records marked for deletion"}));
    EXPECT_FALSE(QFile::exists(home.file("ORVCOV.DBF.tmp")));
    EXPECT_FALSE(QFile::exists(home.file("ORVCOV.FPT.new")));
    cover.table.close();
    // The next open builds the missing tag; the record is still there.
    Bound again;
    ASSERT_TRUE(OpenCoverDBF(again.table, again.link));
    EXPECT_TRUE(QFile::exists(home.file("ORVCOV.CDX")));
    EXPECT_EQ(again.table.fieldByName("DESCRIPT").asString(), "kept");
}
