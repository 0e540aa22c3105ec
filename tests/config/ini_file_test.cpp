#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <sys/resource.h>

#include "config/ini_file.h"
#include "support/temp_home.h"

using namespace orv;
using orv::test::TempHome;

TEST(IniFile, MissingFileSectionOrKeyGivesTheDefault) {
    TempHome home;
    IniFile ini(home.file("ORV.INI"));
    EXPECT_EQ(ini.readString("User", "Name", "dflt"), "dflt");
    EXPECT_EQ(ini.readInteger("Dialing", "Timeout", 60), 60);
    EXPECT_TRUE(ini.readBool("Receive", "AtStartup", true));

    home.write("ORV.INI", "[User]\nFax=123\n");
    EXPECT_EQ(ini.readString("User", "Name", "dflt"), "dflt");
    EXPECT_EQ(ini.readString("Other", "Fax", "dflt"), "dflt");
    EXPECT_EQ(ini.readString("User", "Fax", "dflt"), "123");
}

TEST(IniFile, NamesCompareWithoutCaseAndValuesAreTrimmedAndUnquoted) {
    TempHome home;
    home.write("ORV.INI",
               "; a comment\n"
               "[user]\r\n"
               "  NAME  =   Ann Smith  \r\n"
               "Quoted=\"  padded  \"\r\n"
               "Single='x'\r\n"
               "Empty=\r\n"
               "[User]\r\n"
               "Name=second section is never used\r\n");
    IniFile ini(home.file("ORV.INI"));
    EXPECT_EQ(ini.readString("User", "name", "?"), "Ann Smith");
    EXPECT_EQ(ini.readString("USER", "Quoted", "?"), "  padded  ");
    EXPECT_EQ(ini.readString("User", "Single", "?"), "x");
    EXPECT_EQ(ini.readString("User", "Empty", "?"), "");  // present but empty is not the default
}

TEST(IniFile, LongStringsAreCutTo1023Characters) {
    TempHome home;
    home.write("ORV.INI", "[Receive]\nWav=" + QByteArray(3000, 'w') + "\n");
    IniFile ini(home.file("ORV.INI"));
    EXPECT_EQ(ini.readString("Receive", "Wav", "").size(), 1023);

    ini.writeString("Receive", "Wav", QString(1023, 'a'));
    EXPECT_EQ(ini.readString("Receive", "Wav", ""), QString(1023, 'a'));
}

TEST(IniFile, IntegersAreDecimalOrHexAndBadTextGivesTheDefault) {
    EXPECT_EQ(IniFile::parseInteger("0x1E", 7), 30);
    EXPECT_EQ(IniFile::parseInteger("0X1e", 7), 30);
    EXPECT_EQ(IniFile::parseInteger("0xFFFFFFFF", 7), -1);
    EXPECT_EQ(IniFile::parseInteger("0x", 7), 7);       // two characters: not hex, not a number
    EXPECT_EQ(IniFile::parseInteger("0x1G", 7), 7);
    EXPECT_EQ(IniFile::parseInteger("0x123456789", 7), 7);
    EXPECT_EQ(IniFile::parseInteger("-42", 7), -42);
    EXPECT_EQ(IniFile::parseInteger("+5", 7), 5);
    EXPECT_EQ(IniFile::parseInteger("12abc", 7), 7);
    EXPECT_EQ(IniFile::parseInteger("", 7), 7);
    EXPECT_EQ(IniFile::parseInteger("99999999999", 7), 7);  // beyond 32 bits

    TempHome home;
    home.write("ORV.INI", "[Dialing]\nRetryWait=0x1E\nTimeout=soon\n");
    IniFile ini(home.file("ORV.INI"));
    EXPECT_EQ(ini.readInteger("Dialing", "RetryWait", 60), 30);
    EXPECT_EQ(ini.readInteger("Dialing", "Timeout", 60), 60);
}

TEST(IniFile, BooleansAreIntegersAndAnyNonZeroIsTrue) {
    TempHome home;
    home.write("ORV.INI", "[B]\nTwo=2\nZero=0\nMinus=-1\nText=yes\n");
    IniFile ini(home.file("ORV.INI"));
    EXPECT_TRUE(ini.readBool("B", "Two", false));
    EXPECT_FALSE(ini.readBool("B", "Zero", true));
    EXPECT_TRUE(ini.readBool("B", "Minus", false));
    EXPECT_TRUE(ini.readBool("B", "Text", true));  // not a number: the default
    EXPECT_FALSE(ini.readBool("B", "Text", false));

    ini.writeBool("B", "Zero", true);
    ini.writeBool("B", "Two", false);
    EXPECT_EQ(ini.readString("B", "Zero", ""), "1");
    EXPECT_EQ(ini.readString("B", "Two", ""), "0");
}

TEST(IniFile, WritesKeepEverythingElseAndAddSectionsAtTheEnd) {
    TempHome home;
    const QByteArray before =
        "; kept comment\r\n"
        "[Plugins]\r\n"
        "Foo = bar\r\n"
        "\r\n"
        "[modem]\r\n"
        "comport=2\r\n"
        "Unknown=kept\r\n"
        "\r\n"
        "[Tail]\r\n"
        "x=1\r\n";
    home.write("ORV.INI", before);
    IniFile ini(home.file("ORV.INI"));
    ini.writeInteger("Modem", "ComPort", 4);     // existing key, other spelling
    ini.writeString("MODEM", "InitString", "AT&K3");  // new key in an existing section
    ini.writeString("User", "Name", "Zoë");      // new section
    EXPECT_EQ(home.read("ORV.INI"),
              QByteArray("; kept comment\r\n"
                         "[Plugins]\r\n"
                         "Foo = bar\r\n"
                         "\r\n"
                         "[modem]\r\n"
                         "comport=4\r\n"
                         "Unknown=kept\r\n"
                         "InitString=AT&K3\r\n"
                         "\r\n"
                         "[Tail]\r\n"
                         "x=1\r\n"
                         "\r\n"
                         "[User]\r\n"
                         "Name=Zo\xC3\xAB\r\n"));
    EXPECT_EQ(ini.readString("user", "name", ""), QString::fromUtf8("Zoë"));
}

TEST(IniFile, Windows1252TextFromAnOlderFileIsRead) {
    TempHome home;
    home.write("ORV.INI", "[User]\nName=Ren\xE9 \x80\n");
    EXPECT_EQ(IniFile(home.file("ORV.INI")).readString("User", "Name", ""), QString::fromUtf8("René €"));
}

TEST(IniFile, ARefusedWriteRaisesAndLeavesThePreviousFileIntact) {
    TempHome home;
    {
        IniFile ini(home.file("missing/ORV.INI"));
        try {
            ini.writeString("User", "Name", "x");
            ADD_FAILURE() << "no error for a folder that does not exist";
        } catch (const IniWriteError& e) {
            EXPECT_EQ(QString::fromStdString(e.what()), "Unable to write to " + home.file("missing/ORV.INI"));
        }
    }

    // A full disk, played by a file-size limit that holds for root too.
    const QByteArray before = "[User]\nName=old\n";
    home.write("ORV.INI", before);
    IniFile ini(home.file("ORV.INI"));
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 20;
    setrlimit(RLIMIT_FSIZE, &small);
    bool raised = false;
    try {
        ini.writeString("User", "Name", QString(200, 'n'));
    } catch (const IniWriteError& e) {
        raised = true;
        EXPECT_EQ(e.path(), home.file("ORV.INI"));
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(raised);
    EXPECT_EQ(home.read("ORV.INI"), before);
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files), QStringList{"ORV.INI"});  // no stray temporary
}
