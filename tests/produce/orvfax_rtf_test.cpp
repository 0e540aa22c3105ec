// orvfax convert letter.rtf: a user faxing an RTF letter from the command line.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/run_program.h"
#include "support/test_paths.h"

namespace {

using orv::test::orvfax;

}  // namespace

TEST(OrvfaxRtf, ConvertsAnRtfLetterPageByPage) {
    QTemporaryDir dir;
    QFile rtf(dir.filePath("letter.rtf"));
    ASSERT_TRUE(rtf.open(QIODevice::WriteOnly));
    rtf.write("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
              "\\paperw12240\\paperh15840\\margl1440\\margr1440\\margt1440\\margb1440"
              "\\f0\\fs24 Dear Sir,\\par Here is the first page.\\page The second page.\\par}");
    rtf.close();
    const QString apf = dir.filePath("letter.apf");
    orv::test::ProgramRun r = orvfax({"convert", rtf.fileName(), apf, "--station", "+1 555 0100"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("2 page(s)")) << r.out.toStdString();
    r = orvfax({"info", apf});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains("\"+1 555 0100\"")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("page 2: flags 0x5 (fine, 1728, records)")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("lines 2156")) << r.out.toStdString();
    // Nothing but the result is left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot),
              (QStringList{"letter.apf", "letter.rtf"}));

    // A missing input: the file error, a non-zero exit, no output file.
    r = orvfax({"convert", dir.filePath("gone.rtf"), dir.filePath("gone.apf")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("(-2)")) << r.err.toStdString();  // file not found
    EXPECT_FALSE(QFile::exists(dir.filePath("gone.apf")));
}
