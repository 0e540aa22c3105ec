// The orvfax program: convert, info, decode and join, and its errors.
#include "support/run_program.h"
#include "support/test_paths.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using orv::test::orvfax;

TEST(Orvfax, ConvertInfoDecodeJoin) {
    QTemporaryDir dir;
    QFile t(dir.filePath("letter.txt"));
    ASSERT_TRUE(t.open(QIODevice::WriteOnly));
    t.write("Dear reader,\n\nthis is a fax.\n");
    t.close();
    const QString apf = dir.filePath("letter.apf");
    orv::test::ProgramRun r = orvfax({"convert", t.fileName(), apf, "--fine", "--station", "+1 555 0100"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    r = orvfax({"info", apf});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("station id:   \"+1 555 0100\"")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("pages:        1"));
    EXPECT_TRUE(r.out.contains("page 1: flags 0x5 (fine, 1728, records)")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("lines 96")) << r.out.toStdString();  // 3 text lines x 32 rows

    // By default one row per coded line at the full width.
    const QString pbm = dir.filePath("p1.pbm");
    r = orvfax({"decode", apf, "1", pbm});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QImage img(pbm);
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.size(), QSize(1728, 96));
    bool anyBlack = false;
    for (int x = 50; x < 400 && !anyBlack; ++x)
        for (int y = 0; y < 32; ++y) anyBlack = anyBlack || qGray(img.pixel(x, y)) < 128;
    EXPECT_TRUE(anyBlack);
    EXPECT_EQ(qGray(img.pixel(10, 10)), 255);
    r = orvfax({"decode", apf, "1", dir.filePath("p1.png"), "--crop", "--scale", "1/2"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QImage(dir.filePath("p1.png")).height(), 48);

    // Standard resolution, then join the two files.
    const QString stdFile = dir.filePath("std.apf");
    ASSERT_EQ(orvfax({"convert", t.fileName(), stdFile, "--type", "text"}).exitCode, 0);
    r = orvfax({"decode", stdFile, "1", dir.filePath("s.pbm"), "--aspect", "double-height"});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(QImage(dir.filePath("s.pbm")).height(), 96);
    r = orvfax({"join", apf, stdFile});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    r = orvfax({"info", apf});
    EXPECT_TRUE(r.out.contains("pages:        2"));
    EXPECT_TRUE(r.out.contains("page 2: flags 0x4 (standard, 1728, records)")) << r.out.toStdString();

    // Errors: the code's message and a non-zero exit.
    r = orvfax({"info", dir.filePath("missing.apf")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("File not found")) << r.err.toStdString();
    r = orvfax({"info", t.fileName()});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("File is not an APF file"));
    r = orvfax({"decode", apf, "3", pbm});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("File is not an APF file"));
    r = orvfax({"convert", t.fileName(), dir.filePath("x.apf"), "--type", "tiff"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("Unsupported graphics file format")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("x.apf")));
    EXPECT_EQ(orvfax({"frobnicate"}).exitCode, 2);
}

}  // namespace
