#include "store/db_error.h"
#include "store/schemas.h"
#include "store/tengine_env.h"
#include "store_test_util.h"
#include "support/temp_home.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::test;

namespace {

void addSent(TTable& t, const char* subject, const QDate& date, const char* time) {
    t.append();
    t.fieldByName("SUBJECT").setAsString(subject);
    t.fieldByName("DATESENT").setAsDate(date);
    t.fieldByName("TIMESENT").setAsString(time);
    t.fieldByName("SENT").setAsBoolean(date.isValid());
    t.post();
}

QStringList subjects(TTable& t) {
    QStringList out;
    if (t.isEmpty()) return out;
    t.first();
    for (;;) {
        out << t.fieldByName("SUBJECT").asString();
        t.next();
        if (t.eof()) break;
    }
    return out;
}

}  // namespace

TEST(TTable, FieldKindsFollowTheTypeLetters) {
    EXPECT_EQ(FieldKindFor('C', 50, 0), TFieldKind::fkString);
    EXPECT_EQ(FieldKindFor('D', 8, 0), TFieldKind::fkDate);
    EXPECT_EQ(FieldKindFor('L', 1, 0), TFieldKind::fkBoolean);
    EXPECT_EQ(FieldKindFor('N', 2, 0), TFieldKind::fkSmallint);
    EXPECT_EQ(FieldKindFor('N', 4, 0), TFieldKind::fkSmallint);
    EXPECT_EQ(FieldKindFor('N', 5, 0), TFieldKind::fkFloat);
    EXPECT_EQ(FieldKindFor('N', 3, 1), TFieldKind::fkFloat);
    EXPECT_EQ(FieldKindFor('M', 10, 0), TFieldKind::fkMemo);
    EXPECT_EQ(FieldKindFor('B', 10, 0), TFieldKind::fkMemo);
    EXPECT_EQ(FieldKindFor('P', 10, 0), TFieldKind::fkMemo);
    try {
        FieldKindFor('G', 10, 0);
        ADD_FAILURE();
    } catch (const EDatabase& e) {
        EXPECT_EQ(e.message(), "Invalid Field Type G");
    }

    // A table with such a field does not open.
    QTemporaryDir dir;
    const QString path = makeTable(dir, "PIC.DBF", {field("NAME", 'C', 10), field("PIC", 'G', 10)});
    TTable t;
    t.setDatabaseName(dir.path());
    t.setTableName("PIC.DBF");
    try {
        t.open();
        ADD_FAILURE() << "opened";
    } catch (const EDatabase& e) {
        EXPECT_EQ(e.message(), "Invalid Field Type G");
    }
    EXPECT_FALSE(t.active());
    EXPECT_EQ(DataEngine::instance().workArea("PIC"), 0);
}

TEST(TTable, SentFaxListAsTheMainWindowUsesIt) {
    TempHome home;
    TEngineEnv env;
    env.setDeleted(true);
    Bound fax;
    ASSERT_TRUE(OpenFaxDBF(fax.table, fax.link));
    EXPECT_TRUE(QFile::exists(home.file("ORV.DBF")));
    EXPECT_TRUE(QFile::exists(home.file("ORV.CDX")));
    EXPECT_TRUE(QFile::exists(home.file("ORV.FPT")));
    EXPECT_EQ(fax.link.Filter(), ".not. deleted()");

    // Empty: current record number = record count + 1.
    EXPECT_EQ(fax.link.currentRecordNumber(), fax.link.recordCount() + 1);
    EXPECT_EQ(fax.link.filteredRecordCount(), 0u);
    EXPECT_EQ(fax.link.currentIndexOrder(), 1);  // the new tag is the order
    EXPECT_EQ(fax.table.IndexName(), "DATESENT");
    fax.link.setOrder(0);  // what SetButtons does for an empty list
    EXPECT_EQ(fax.table.IndexName(), "");

    addSent(fax.table, "old", QDate(2025, 5, 1), "10:00");
    addSent(fax.table, "new", QDate(2026, 1, 2), "09:00");
    addSent(fax.table, "newer same day", QDate(2026, 1, 2), "17:30");
    addSent(fax.table, "never sent", QDate(), "");
    EXPECT_NE(fax.link.currentRecordNumber(), fax.link.recordCount() + 1);
    // SetButtons: not empty and no order -> "DATESENT", first record.
    EXPECT_EQ(fax.link.currentIndexOrder(), 0);
    fax.link.setOrder(fax.link.tagNumber("DATESENT"));
    fax.table.first();
    EXPECT_EQ(fax.table.fieldByName("SUBJECT").asString(), "newer same day");
    EXPECT_EQ(subjects(fax.table), QStringList({"newer same day", "new", "old", "never sent"}));

    // The calculated field and the typed fields.
    fax.table.first();
    EXPECT_EQ(fax.table.fieldByName("SentYesNo").asString(), "Yes");
    EXPECT_EQ(fax.table.fieldByName("SentYesNo").DisplayLabel(), "Sent");
    EXPECT_EQ(fax.table.fieldByName("PAGES").kind(), TFieldKind::fkSmallint);
    EXPECT_EQ(fax.table.fieldByName("DATESENT").asDate(), QDate(2026, 1, 2));
    EXPECT_EQ(fax.table.fieldByName("DATESENT").DisplayLabel(), "Date Sent");
    EXPECT_FALSE(fax.table.fieldByName("RTFCOVER").Visible());
    fax.table.last();
    EXPECT_EQ(fax.table.fieldByName("SentYesNo").asString(), "No ");

    // Edit, post; a subject is cut to its 50 characters.
    fax.table.first();
    fax.table.edit();
    fax.table.fieldByName("SUBJECT").setAsString("[clone] " + QString(60, 'x'));
    fax.table.fieldByName("PAGES").setAsInteger(12);
    EXPECT_THROW(fax.table.fieldByName("PAGES").setAsInteger(123), EDatabase);
    fax.table.post();
    EXPECT_EQ(fax.table.fieldByName("SUBJECT").asString().size(), 50);
    EXPECT_EQ(fax.table.fieldByName("PAGES").asInteger(), 12);
    EXPECT_THROW(fax.table.fieldByName("PAGES").setAsInteger(1), EDatabase);  // not editing
    EXPECT_THROW(fax.table.fieldByName("NOSUCH"), EDatabase);

    // Cancel drops the changes; cancelled appends leave nothing.
    fax.table.edit();
    fax.table.fieldByName("PHONE").setAsString("999");
    fax.table.cancel();
    EXPECT_EQ(fax.table.fieldByName("PHONE").asString(), "");
    const uint32_t before = fax.link.recordCount();
    fax.table.append();
    fax.table.cancel();
    EXPECT_EQ(fax.link.recordCount(), before);

    // Delete: gone from the list and the filtered count, still in the file.
    fax.table.first();
    fax.table.next();  // "new"
    fax.table.deleteRecord();
    EXPECT_EQ(fax.table.fieldByName("SUBJECT").asString(), "old");
    EXPECT_EQ(fax.link.filteredRecordCount(), 3u);
    EXPECT_EQ(fax.link.recordCount(), 4u);
    EXPECT_EQ(subjects(fax.table).size(), 3);
    fax.table.close();

    // Deleting only ORV.CDX: the next open rebuilds the tag; the list is
    // again newest first once SetButtons picks the order.
    QFile::remove(home.file("ORV.CDX"));
    Bound again;
    ASSERT_TRUE(OpenFaxDBF(again.table, again.link));
    EXPECT_TRUE(QFile::exists(home.file("ORV.CDX")));
    EXPECT_EQ(subjects(again.table).size(), 3);
    EXPECT_EQ(subjects(again.table).first().left(7), "[clone]");
    again.table.close();

    // An existing index is used unchanged, and no order is chosen at open.
    Bound third;
    ASSERT_TRUE(OpenFaxDBF(third.table, third.link));
    EXPECT_EQ(third.link.currentIndexOrder(), 0);
}

TEST(TTable, MemosTravelThroughEraseme) {
    TempHome home;
    Bound fax;
    ASSERT_TRUE(OpenFaxDBF(fax.table, fax.link));
    const QString eraseme = home.file("Eraseme.rtf");
    const QByteArray cover = "{\\rtf1 cover}", doc = "{\\rtf1 document}";

    // New fax: append, then the memos go in through the file; the pending
    // insert is posted first and the table is back in edit state after.
    fax.table.append();
    fax.table.fieldByName("SUBJECT").setAsString("with memos");
    writeFile(eraseme, cover);
    fax.link.replaceMemoFromFile("RTFCOVER", eraseme);
    EXPECT_EQ(fax.table.state(), TDataSetState::dsEdit);
    EXPECT_EQ(fax.link.recordCount(), 1u);
    writeFile(eraseme, doc);
    fax.link.replaceMemoFromFile("RTFDOC", eraseme);
    fax.table.fieldByName("RECIPIENT").setAsString("Ann");
    fax.table.post();
    EXPECT_EQ(fax.link.recordCount(), 1u);
    EXPECT_EQ(fax.table.fieldByName("RECIPIENT").asString(), "Ann");
    EXPECT_EQ(fax.table.fieldByName("SUBJECT").asString(), "with memos");

    // Browse state: no post, the engine comes back to where it stood.
    addSent(fax.table, "second", QDate(2026, 2, 1), "12:00");
    fax.link.goToRecord(1);
    EXPECT_EQ(fax.table.fieldByName("SUBJECT").asString(), "with memos");
    writeFile(eraseme, "{\\rtf1 replaced}");
    fax.link.replaceMemoFromFile("RTFCOVER", eraseme);
    EXPECT_EQ(fax.table.state(), TDataSetState::dsBrowse);

    QFile::remove(eraseme);
    ASSERT_TRUE(fax.link.memoToFile("RTFCOVER", eraseme));
    EXPECT_EQ(readFile(eraseme), "{\\rtf1 replaced}");
    ASSERT_TRUE(fax.link.memoToFile("RTFDOC", eraseme));
    EXPECT_EQ(readFile(eraseme), doc);
    EXPECT_EQ(fax.table.fieldByName("RTFDOC").asBytes(), doc);
    EXPECT_FALSE(fax.link.memoToFile("NOSUCH", eraseme));
    EXPECT_THROW(fax.link.replaceMemoFromFile("RTFDOC", home.file("absent.rtf")), EInOutError);
    fax.link.goToRecord(2);
    EXPECT_EQ(fax.table.fieldByName("SUBJECT").asString(), "second");
    EXPECT_EQ(fax.table.fieldByName("RTFCOVER").asBytes(), QByteArray());
}

TEST(TTable, LookupTablesOpenInTagOrder) {
    TempHome home;
    Bound phone;
    ASSERT_TRUE(OpenPhoneDBF(phone.table, phone.link));
    EXPECT_EQ(phone.table.IndexName(), "NAME");
    for (const char* n : {"Walter", "Anna", "Karl"}) {
        phone.table.append();
        phone.table.fieldByName("NAME").setAsString(n);
        phone.table.post();
    }
    QStringList names;
    for (phone.table.first(); !phone.table.eof(); phone.table.next()) {
        names << phone.table.fieldByName("NAME").asString();
        if (names.size() > 5) break;
    }
    EXPECT_EQ(names, QStringList({"Anna", "Karl", "Walter"}));
    EXPECT_EQ(phone.table.fieldByName("PHONE").DisplayLabel(), "Fax #");
    // Opening again while open only sets order and filter.
    EXPECT_TRUE(OpenPhoneDBF(phone.table, phone.link));
    phone.table.close();

    // An unbound link, or a folder that cannot hold the table, fails with false.
    TTable lone;
    TEngineLink unbound;
    EXPECT_FALSE(OpenPhoneDBF(lone, unbound));
    Bound cover;
    EXPECT_FALSE(OpenCoverDBF(cover.table, cover.link, "/proc/no/such/folder/"));
    EXPECT_FALSE(cover.table.active());
}

TEST(TTable, EngineEnvironmentSettings) {
    TEngineEnv env;
    EXPECT_EQ(env.LockTimeout(), 1);
    EXPECT_EQ(env.MemoBlockSize(), 64);
    env.setDateFormat(TDateFormat::German);
    EXPECT_EQ(ShortDateFormat(), "dd.MM.yy");
    env.setCentury(true);
    EXPECT_EQ(ShortDateFormat(), "dd.MM.yyyy");
    EXPECT_EQ(FormatShortDate(QDate(2026, 3, 4)), "04.03.2026");
    const char* expected[] = {"MM/dd/yyyy", "yyyy.MM.dd", "dd/MM/yyyy", "dd/MM/yyyy", "dd.MM.yyyy", "dd-MM-yyyy", "dd-MM-yyyy"};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(TEngineEnv::dateFormatPattern(TDateFormat(i), true), expected[i]);
    EXPECT_EQ(TEngineEnv::dateFormatPattern(TDateFormat::ANSI, false), "yy.MM.dd");
    env.setCentury(false);
    env.setDateFormat(TDateFormat::American);
    SetShortDateFormat(QString());
    env.setExact(true);
    EXPECT_TRUE(DataEngine::instance().settings().exact);
    env.setExact(false);
}
