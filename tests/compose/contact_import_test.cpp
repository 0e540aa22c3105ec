// Contacts from vCard and CSV files into the phone book, through the parser
// and through `orvdb import-phonebook`, the table read back with dbfread.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>

#include "compose/contact_import.h"
#include "store/schemas.h"
#include "store/store_test_util.h"
#include "support/temp_home.h"
#include "support/test_paths.h"

using namespace orv;
using namespace orv::test;

namespace {

QByteArray fixture(const char* name) { return readFile(sourceDir() + "/tests/compose/data/" + name); }

QStringList names(const QJsonArray& records) {
    QStringList out;
    for (const QJsonValue& r : records) out << r.toObject()["NAME"].toString() + " / " + r.toObject()["PHONE"].toString();
    return out;
}

}  // namespace

TEST(ContactImport, VCardVersionsFoldingQuotedPrintableFaxChoiceAndSkips) {
    const ContactFile f = ParseContacts(fixture("contacts.vcf"));
    ASSERT_TRUE(f.ok) << f.error.toStdString();
    EXPECT_EQ(f.format, "vCard");
    QStringList got;
    for (const ImportedContact& c : f.contacts) got << c.name + " / " + c.number;
    EXPECT_EQ(got, QStringList({
                       // 4.0: tel URI of the TEL typed fax, without its ;ext= parameter
                       "Ann Example / +1-555-555-0100",
                       // 3.0: a folded FN, UTF-8, TYPE=WORK,FAX
                       QString::fromUtf8("Jörg Müller-Lüdenscheidt von und zu Oberammergau / +49 30 1234568"),
                       // 2.1: quoted-printable UTF-8 with a soft line break, bare FAX parameter
                       QString::fromUtf8("Åsa Åström, Fakturering / 08-123 45 67"),
                       // no fax: the first TEL; an escaped comma in FN
                       "Smith, Bob / 555 0111",
                       // no FN: the organisation
                       "Example Widgets Inc. / 555 0123",
                       "Dan Longnumber / +1 (555) 555-0100 extension 4711",
                   }));
    ASSERT_EQ(f.skipped.size(), 2);
    EXPECT_EQ(f.skipped[0].name, "Carol Nophone");
    EXPECT_EQ(f.skipped[0].index, 5);
    EXPECT_TRUE(f.skipped[0].reason.contains("no telephone number"));
    EXPECT_EQ(f.skipped[1].name, "Eve Truncated");
    EXPECT_TRUE(f.skipped[1].reason.contains("END:VCARD"));

    // A TEL marked preferred wins among several fax numbers; CRLF or LF alike.
    const ContactFile pref = ParseVCards("BEGIN:VCARD\nVERSION:3.0\nFN:P\nTEL;TYPE=fax:1\nTEL;TYPE=fax,pref:2\nEND:VCARD\n");
    ASSERT_EQ(pref.contacts.size(), 1);
    EXPECT_EQ(pref.contacts[0].number, "2");
    // A nested card (vCard 2.1 AGENT) is no contact of its own.
    const ContactFile nested = ParseVCards(
        "BEGIN:VCARD\r\nFN:Boss\r\nAGENT:\r\nBEGIN:VCARD\r\nFN:Agent\r\nTEL:9\r\nEND:VCARD\r\nTEL;FAX:1\r\nEND:VCARD\r\n");
    ASSERT_EQ(nested.contacts.size(), 1);
    EXPECT_EQ(nested.contacts[0].name, "Boss");
    EXPECT_EQ(nested.contacts[0].number, "1");
}

TEST(ContactImport, CsvHeadersQuotedCommasAndBadFiles) {
    const ContactFile f = ParseContacts(fixture("contacts.csv"));
    ASSERT_TRUE(f.ok) << f.error.toStdString();
    EXPECT_EQ(f.format, "CSV");
    QStringList got;
    for (const ImportedContact& c : f.contacts) got << c.name + " / " + c.number;
    EXPECT_EQ(got, QStringList({"Ann Example / 555 0100", "Widgets, Gadgets & Co / 555 0200",
                                QString::fromUtf8("François Multi Line / 555 0400")}));
    ASSERT_EQ(f.skipped.size(), 2);
    EXPECT_EQ(f.skipped[0].name, QString::fromUtf8("Zoë Nofax"));
    EXPECT_TRUE(f.skipped[0].reason.contains("no fax number"));
    EXPECT_EQ(f.skipped[0].line, 4);
    EXPECT_TRUE(f.skipped[1].reason.contains("no name"));
    EXPECT_EQ(f.skipped[1].line, 8);  // the quoted line break counts

    // Semicolons (as European spreadsheets write), a "Name" column, header case ignored.
    const ContactFile semi = ParseContactsCsv("NAME;FAX NUMBER\n\"Dee; Dee\";555 0600\n");
    ASSERT_TRUE(semi.ok);
    ASSERT_EQ(semi.contacts.size(), 1);
    EXPECT_EQ(semi.contacts[0].name, "Dee; Dee");
    EXPECT_EQ(semi.contacts[0].number, "555 0600");
    // Google's "Phone N - Type / Value" pairs.
    const ContactFile google = ParseContactsCsv(
        "Name,Phone 1 - Type,Phone 1 - Value,Phone 2 - Type,Phone 2 - Value\nGee,Mobile,555 1,Work Fax,555 2 ::: 555 3\n");
    ASSERT_EQ(google.contacts.size(), 1);
    EXPECT_EQ(google.contacts[0].number, "555 2");
    // Windows-1252 bytes, as older exports are written.
    const ContactFile ansi = ParseContactsCsv("Name,Fax\n\xC5sa,1\n");
    ASSERT_EQ(ansi.contacts.size(), 1);
    EXPECT_EQ(ansi.contacts[0].name, QString::fromUtf8("Åsa"));

    for (const QByteArray& bad : {QByteArray(), QByteArray("\n\n"), QByteArray("Name,Fax\n\"open,1\n"),
                                  QByteArray("Email,Notes\na@b,c\n"), QByteArray("Name,Email\nA,a@b\n"),
                                  QByteArray("\x00\x01\x02garbage", 10)}) {
        const ContactFile r = ParseContacts(bad);
        EXPECT_FALSE(r.ok) << bad.toStdString();
        EXPECT_FALSE(r.error.isEmpty());
    }
}

TEST(ContactImport, OrvdbAppendsCutsReportsAndWritesNothingForAnUnreadableFile) {
    TempHome home;
    {
        Bound b;
        ASSERT_TRUE(OpenPhoneDBF(b.table, b.link));
        b.table.append();
        b.table.fieldByName("NAME").setAsString("Already There");
        b.table.fieldByName("PHONE").setAsString("555 0000");
        b.table.post();
    }
    const QString orvdb = program("orvdb");
    const QString table = home.file("ORVPB.DBF");
    QByteArray out, err;
    ASSERT_EQ(runProgram(orvdb, {"import-phonebook", table, sourceDir() + "/tests/compose/data/contacts.vcf"}, &out, &err), 0)
        << err.constData();
    const QString report = QString::fromUtf8(out);
    EXPECT_TRUE(report.contains("ORVPB.DBF: 6 entries added from contacts.vcf (vCard)")) << report.toStdString();
    EXPECT_TRUE(report.contains("skipped contact 5 (line 29) \"Carol Nophone\": it has no telephone number (TEL)")) << report.toStdString();
    EXPECT_TRUE(report.contains("the file ends before its END:VCARD"));
    EXPECT_TRUE(report.contains("name cut to 35 characters"));
    EXPECT_TRUE(report.contains("number cut to 25 characters"));

    QJsonArray records = readWithDbfread(table)["records"].toArray();
    ASSERT_EQ(records.size(), 7);
    const QStringList stored = names(records);
    EXPECT_EQ(stored[0], "Already There / 555 0000");
    EXPECT_EQ(stored[2], QString::fromUtf8("Jörg Müller-Lüdenscheidt von und zu / +49 30 1234568"));
    EXPECT_EQ(stored[6], "Dan Longnumber / +1 (555) 555-0100 extensi");
    EXPECT_EQ(QString::fromUtf8("Jörg Müller-Lüdenscheidt von und zu").size(), 35);

    // The same file again adds nothing: every contact is already there.
    ASSERT_EQ(runProgram(orvdb, {"import-phonebook", table, sourceDir() + "/tests/compose/data/contacts.vcf"}, &out), 0);
    EXPECT_TRUE(out.contains("0 entries added")) << out.constData();
    EXPECT_TRUE(out.contains("it is already in the phone book"));

    // The CSV file: quoted commas kept.
    ASSERT_EQ(runProgram(orvdb, {"import-phonebook", table, sourceDir() + "/tests/compose/data/contacts.csv"}, &out), 0);
    EXPECT_TRUE(out.contains("3 entries added from contacts.csv (CSV)")) << out.constData();
    records = readWithDbfread(table)["records"].toArray();
    EXPECT_TRUE(names(records).contains("Widgets, Gadgets & Co / 555 0200"));
    ASSERT_EQ(runProgram(orvdb, {"check", table}, &out), 0) << out.constData();

    // A file that cannot be parsed at all: an error, and the table untouched.
    const QByteArray before = readFile(table);
    writeFile(home.file("broken.csv"), "Name,Fax\n\"never closed,555\n");
    ASSERT_EQ(runProgram(orvdb, {"import-phonebook", table, home.file("broken.csv")}, &out, &err), 1);
    EXPECT_TRUE(err.contains("line 2: a quoted field is not closed")) << err.constData();
    EXPECT_EQ(readFile(table), before);
    ASSERT_EQ(runProgram(orvdb, {"import-phonebook", table, home.file("missing.vcf")}, &out, &err), 1);
    EXPECT_EQ(readFile(table), before);

    // A phone book that does not exist yet is made (with its index).
    const QString fresh = home.path() + "sub";
    ASSERT_TRUE(QDir().mkpath(fresh));
    ASSERT_EQ(runProgram(orvdb, {"import-phonebook", fresh + "/ORVPB.DBF", sourceDir() + "/tests/compose/data/contacts.csv"}, &out, &err), 0)
        << err.constData();
    EXPECT_EQ(readWithDbfread(fresh + "/ORVPB.DBF")["records"].toArray().size(), 3);
    EXPECT_TRUE(QFile::exists(fresh + "/ORVPB.CDX"));
}
