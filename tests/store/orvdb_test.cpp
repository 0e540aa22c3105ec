#include "store/schemas.h"
#include "store_test_util.h"
#include "support/temp_home.h"
#include "support/test_paths.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::test;

TEST(Orvdb, InfoListCheckPackReindex) {
    TempHome home;
    {
        Bound b;
        TTable& t = b.table;
        ASSERT_TRUE(OpenPhoneDBF(t, b.link));
        for (const char* n : {"Young", "Adams", "Moss"}) {
            t.append();
            t.fieldByName("NAME").setAsString(n);
            t.fieldByName("PHONE").setAsString("555");
            t.post();
        }
        t.first();
        t.next();  // Moss
        t.deleteRecord();
    }
    const QString orvdb = program("orvdb");
    const QString table = home.file("ORVPB.DBF");
    QByteArray out;
    ASSERT_EQ(runProgram(orvdb, {"info", table}, &out), 0);
    EXPECT_TRUE(out.contains("Version: 0x03")) << out.constData();
    EXPECT_TRUE(out.contains("Records: 3"));
    EXPECT_TRUE(out.contains("NAME       C   35"));
    EXPECT_TRUE(out.contains("key NAME  for .not. deleted()  ascending  (2 keys)")) << out.constData();

    ASSERT_EQ(runProgram(orvdb, {"list", table, "--tag", "name"}, &out), 0);
    EXPECT_EQ(out, "#\tDEL\tNAME\tPHONE\n2\t\tAdams\t555\n1\t\tYoung\t555\n");
    ASSERT_EQ(runProgram(orvdb, {"list", table, "--deleted"}, &out), 0);
    EXPECT_TRUE(out.contains("3\t*\tMoss\t555"));
    EXPECT_EQ(runProgram(orvdb, {"list", table, "--tag", "nope"}, &out), 1);

    ASSERT_EQ(runProgram(orvdb, {"check", table}, &out), 0) << out.constData();
    // Break the index: check lists the problem and exits 1.
    QByteArray cdx = readFile(home.file("ORVPB.CDX"));
    cdx[0xA00 + 24] = 3;  // Adams's entry now names Moss's (deleted) record
    writeFile(home.file("ORVPB.CDX"), cdx);
    ASSERT_EQ(runProgram(orvdb, {"check", table}, &out), 1);
    EXPECT_TRUE(out.contains("tag NAME: entry 1 is record 3, expected record 2")) << out.constData();

    ASSERT_EQ(runProgram(orvdb, {"reindex", table}, &out), 0);
    ASSERT_EQ(runProgram(orvdb, {"check", table}, &out), 0) << out.constData();
    ASSERT_EQ(runProgram(orvdb, {"pack", table}, &out), 0);
    EXPECT_TRUE(out.contains("2 records, 1 removed")) << out.constData();
    ASSERT_EQ(runProgram(orvdb, {"list", table}, &out), 0);
    EXPECT_EQ(out, "#\tDEL\tNAME\tPHONE\n1\t\tYoung\t555\n2\t\tAdams\t555\n");

    writeFile(home.file("BROKEN.DBF"), "not a table at all, really not");
    QByteArray err;
    EXPECT_EQ(runProgram(orvdb, {"info", home.file("BROKEN.DBF")}, &out, &err), 1);
    EXPECT_TRUE(err.contains("Not a FoxPro table")) << err.constData();
    EXPECT_EQ(runProgram(orvdb, {"check", home.file("BROKEN.DBF")}, &out), 1);
    EXPECT_EQ(runProgram(orvdb, {"frobnicate", table}, &out), 2);
}
