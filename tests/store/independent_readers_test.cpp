// Every table the program writes is read back by independent software:
// python3-dbfread for the tables and memos, Perl's XBase::Index for the tags.
#include "store/schemas.h"
#include "store_test_util.h"
#include "support/temp_home.h"

#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::test;

namespace {

void addFax(TTable& t, const QString& subject, const QDate& date, const QString& time, bool sent, const QByteArray& cover) {
    t.append();
    t.fieldByName("SUBJECT").setAsString(subject);
    t.fieldByName("RECIPIENT").setAsString(QString::fromUtf8("Jürgen ") + subject);
    t.fieldByName("PHONE").setAsString("555-0100");
    if (date.isValid()) t.fieldByName("DATESENT").setAsDate(date);
    t.fieldByName("TIMESENT").setAsString(time);
    t.fieldByName("SENT").setAsBoolean(sent);
    t.fieldByName("PAGES").setAsInteger(3);
    t.fieldByName("LASTRESULT").setAsString(sent ? "Sent" : "Cancelled");
    t.fieldByName("RTFCOVER").setAsBytes(cover);
    t.fieldByName("RTFDOC").setAsBytes(cover + " doc");
    t.post();
}

QStringList fieldList(const QJsonObject& o) {
    QStringList out;
    for (const QJsonValue& f : o["fields"].toArray()) {
        const QJsonArray a = f.toArray();
        out << QStringLiteral("%1 %2 %3 %4").arg(a[0].toString(), a[1].toString()).arg(a[2].toInt()).arg(a[3].toInt());
    }
    return out;
}

}  // namespace

TEST(IndependentReaders, SentFaxTableAndItsTag) {
    TempHome home;
    Bound fax;
    ASSERT_TRUE(OpenFaxDBF(fax.table, fax.link));
    const QByteArray rtf = "{\\rtf1\\ansi\\deff0 {\\fonttbl{\\f0 Arial;}} caf\xE9 \\par }";
    addFax(fax.table, "march", QDate(2026, 3, 1), "14:05", true, rtf);
    addFax(fax.table, "january late", QDate(2026, 1, 10), "23:59", true, rtf);
    addFax(fax.table, "january early", QDate(2026, 1, 10), "08:00", true, rtf);
    addFax(fax.table, "unsent", QDate(), "", false, rtf);
    addFax(fax.table, "doomed", QDate(2026, 2, 2), "10:00", true, rtf);
    fax.table.deleteRecord();  // the current record: "doomed"
    fax.table.close();

    const QJsonObject d = readWithDbfread(home.file("ORV.DBF"));
    EXPECT_EQ(d["dbversion"].toInt(), 0xF5);
    EXPECT_EQ(d["numrecords"].toInt(), 5);
    EXPECT_EQ(fieldList(d), QStringList({"SUBJECT C 50 0", "SENT L 1 0", "DATESENT D 8 0", "TIMESENT C 5 0", "RECIPIENT C 35 0",
                                         "PHONE C 25 0", "PAGES N 2 0", "LASTRESULT C 100 0", "RTFCOVER M 10 0", "RTFDOC M 10 0"}));
    const QJsonArray live = d["records"].toArray();
    ASSERT_EQ(live.size(), 4);
    EXPECT_EQ(live[0].toObject()["SUBJECT"].toString(), "march");
    EXPECT_EQ(live[0].toObject()["RECIPIENT"].toString(), QString::fromUtf8("Jürgen march"));
    EXPECT_EQ(live[0].toObject()["DATESENT"].toString(), "2026-03-01");
    EXPECT_EQ(live[0].toObject()["SENT"].toBool(), true);
    EXPECT_EQ(live[0].toObject()["PAGES"].toInt(), 3);
    EXPECT_EQ(live[0].toObject()["RTFCOVER"].toString(), QString::fromLatin1(rtf));
    EXPECT_EQ(live[0].toObject()["RTFDOC"].toString(), QString::fromLatin1(rtf + " doc"));
    EXPECT_TRUE(live[3].toObject()["DATESENT"].isNull());
    EXPECT_EQ(live[3].toObject()["SENT"].toBool(), false);
    const QJsonArray deleted = d["deleted"].toArray();
    ASSERT_EQ(deleted.size(), 1);
    EXPECT_EQ(deleted[0].toObject()["SUBJECT"].toString(), "doomed");

    QStringList names;
    const auto tags = readWithXBaseIndex(home.file("ORV.CDX"), {"DATESENT:C"}, &names);
    EXPECT_EQ(names, QStringList({"DATESENT"}));
    ASSERT_EQ(tags.size(), 1);
    EXPECT_EQ(tags[0].keyExpr, "DTOS(DATESENT)+TIMESENT");
    EXPECT_EQ(tags[0].forExpr, ".not. deleted()");
    EXPECT_EQ(tags[0].order, 1);  // descending
    EXPECT_EQ(tags[0].options, 0x68);
    EXPECT_EQ(tags[0].keyLength, 13);
    // Stored ascending; the deleted record is absent; the unsent (blank) key first.
    EXPECT_EQ(tags[0].keys, QStringList({"", "2026011008:00", "2026011023:59", "2026030114:05"}));
    EXPECT_EQ(tags[0].recnos, QList<int>({4, 3, 2, 1}));
}

TEST(IndependentReaders, OtherTablesAndTheirTags) {
    TempHome home;
    Bound rec, cover, phone;
    ASSERT_TRUE(OpenRecFaxDBF(rec.table, rec.link));
    ASSERT_TRUE(OpenCoverDBF(cover.table, cover.link));
    ASSERT_TRUE(OpenPhoneDBF(phone.table, phone.link));
    for (int i = 0; i < 3; ++i) {
        rec.table.append();
        rec.table.fieldByName("DATEREC").setAsDate(QDate(2025, 12, 30 + i > 31 ? 31 : 30 + i));
        rec.table.fieldByName("TIMEREC").setAsString(QString("1%1:00").arg(i));
        rec.table.fieldByName("FROM").setAsString(QString("+1 555 000%1").arg(i));
        rec.table.fieldByName("PAGES").setAsInteger(i + 1);
        rec.table.fieldByName("FAXFILE").setAsString(QString("FAX000%1.APF").arg(i));
        rec.table.post();
    }
    for (const char* name : {"Zulu", "Alpha", "Mike"}) {
        phone.table.append();
        phone.table.fieldByName("NAME").setAsString(name);
        phone.table.fieldByName("PHONE").setAsString("1");
        phone.table.post();
        cover.table.append();
        cover.table.fieldByName("DESCRIPT").setAsString(QString("cover ") + name);
        cover.table.fieldByName("COVER").setAsString("{\\rtf1 *RECIPIENT*}");
        cover.table.post();
    }
    phone.table.first();  // Alpha
    phone.table.deleteRecord();
    rec.table.close();
    cover.table.close();
    phone.table.close();

    const QJsonObject r = readWithDbfread(home.file("ORVREC.DBF"));
    EXPECT_EQ(r["dbversion"].toInt(), 0x03);
    EXPECT_EQ(fieldList(r), QStringList({"DATEREC D 8 0", "TIMEREC C 5 0", "FROM C 20 0", "PAGES N 2 0", "FAXFILE C 12 0", "NOTES C 60 0"}));
    EXPECT_EQ(r["records"].toArray()[2].toObject()["FAXFILE"].toString(), "FAX0002.APF");
    auto tags = readWithXBaseIndex(home.file("ORVREC.CDX"), {"DATETIME:C"});
    ASSERT_EQ(tags.size(), 1);
    EXPECT_EQ(tags[0].keyExpr, "DTOS(DATEREC)+TIMEREC");
    EXPECT_EQ(tags[0].order, 1);
    EXPECT_EQ(tags[0].keys, QStringList({"2025123010:00", "2025123111:00", "2025123112:00"}));

    const QJsonObject p = readWithDbfread(home.file("ORVPB.DBF"));
    EXPECT_EQ(fieldList(p), QStringList({"NAME C 35 0", "PHONE C 25 0"}));
    EXPECT_EQ(p["deleted"].toArray().size(), 1);
    tags = readWithXBaseIndex(home.file("ORVPB.CDX"), {"NAME:C"});
    ASSERT_EQ(tags.size(), 1);
    EXPECT_EQ(tags[0].order, 0);
    EXPECT_EQ(tags[0].forExpr, ".not. deleted()");
    EXPECT_EQ(tags[0].keys, QStringList({"Mike", "Zulu"}));
    EXPECT_EQ(tags[0].recnos, QList<int>({3, 1}));

    const QJsonObject c = readWithDbfread(home.file("ORVCOV.DBF"));
    EXPECT_EQ(c["dbversion"].toInt(), 0xF5);
    EXPECT_EQ(c["records"].toArray()[1].toObject()["COVER"].toString(), "{\\rtf1 *RECIPIENT*}");
    tags = readWithXBaseIndex(home.file("ORVCOV.CDX"), {"DESCRIPT:C"});
    ASSERT_EQ(tags.size(), 1);
    EXPECT_EQ(tags[0].keys, QStringList({"cover Alpha", "cover Mike", "cover Zulu"}));
}
