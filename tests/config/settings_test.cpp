#include <gtest/gtest.h>

#include "config/ini_file.h"
#include "config/program_folder.h"
#include "config/settings.h"
#include "support/temp_home.h"

using namespace orv;
using orv::test::TempHome;

TEST(Settings, ProgramFolderFollowsOrvaneHomeAndEndsInASlash) {
    TempHome home;
    EXPECT_EQ(ProgramFolder(), home.path());
    EXPECT_EQ(IniFilePath(), home.path() + "ORV.INI");
    qputenv("ORVANE_HOME", (home.path() + "sub/deeper").toUtf8());
    EXPECT_EQ(ProgramFolder(), home.path() + "sub/deeper/");
    EXPECT_TRUE(EnsureProgramFolder());
    EXPECT_TRUE(QFileInfo(home.path() + "sub/deeper").isDir());
}

TEST(Settings, AFileWithoutKeysGivesEveryDefault) {
    TempHome home;
    Settings s;
    s.comPort = 3;
    s.fontName = "x";
    s.load(IniFile(IniFilePath()));
    const Settings d;
    EXPECT_EQ(s.comPort, -1);  // never configured
    EXPECT_EQ(s.answerOnRing, 1);
    EXPECT_EQ(s.dialAttempts, 3);
    EXPECT_EQ(s.retryWait, 60);
    EXPECT_EQ(s.timeout, 60);
    EXPECT_EQ(s.faxClass, 0);
    EXPECT_EQ(s.toneOrPulse, 0);
    EXPECT_FALSE(s.atStartup);
    EXPECT_FALSE(s.blindDial);
    EXPECT_EQ(s.fontName, "Arial");
    EXPECT_EQ(s.fontSize, 10);
    EXPECT_EQ(s.wav, "");
    EXPECT_EQ(s.portPaths[0], "/dev/ttyS0");
    EXPECT_EQ(s.portPaths[2], "/dev/ttyUSB0");
    EXPECT_EQ(s.portPaths[5], "/dev/ttyACM1");
    EXPECT_EQ(s.portPath(), "");
}

TEST(Settings, SaveWritesEveryKeyInItsOrderAndLoadReadsThemBack) {
    TempHome home;
    Settings s;
    s.wav = "/usr/share/sounds/fax.wav";
    s.atStartup = true;
    s.answerOnRing = 5;  // outside 1..3 is kept as it is
    s.fax = "+1 555 0100";
    s.name = "Ann";
    s.dialPrefix = "9,";
    s.initString = "AT&K3";
    s.dialAttempts = 4;
    s.retryWait = 30;
    s.blindDial = true;
    s.comPort = 2;
    s.faxClass = 3;
    s.toneOrPulse = 1;
    s.timeout = 90;
    s.fontName = "Liberation Serif";
    s.fontSize = 12;
    s.fontBold = true;
    s.fontItalic = false;
    s.fontUnderline = true;
    s.portPaths[2] = "/dev/ttyUSB3";
    AppSettings() = s;
    SaveSettings();

    EXPECT_EQ(home.read("ORV.INI"),
              QByteArray("[Receive]\n"
                         "Wav=/usr/share/sounds/fax.wav\n"
                         "AtStartup=1\n"
                         "AnswerOnRing=5\n"
                         "\n"
                         "[User]\n"
                         "Fax=+1 555 0100\n"
                         "Name=Ann\n"
                         "\n"
                         "[Dialing]\n"
                         "DialPrefix=9,\n"
                         "DialAttempts=4\n"
                         "RetryWait=30\n"
                         "BlindDial=1\n"
                         "ToneOrPulse=1\n"
                         "Timeout=90\n"
                         "\n"
                         "[Modem]\n"
                         "InitString=AT&K3\n"
                         "ComPort=2\n"
                         "FaxClass=3\n"
                         "Com1=/dev/ttyS0\n"
                         "Com2=/dev/ttyS1\n"
                         "Com3=/dev/ttyUSB3\n"
                         "Com4=/dev/ttyUSB1\n"
                         "Com5=/dev/ttyACM0\n"
                         "Com6=/dev/ttyACM1\n"
                         "\n"
                         "[Default Font]\n"
                         "Name=Liberation Serif\n"
                         "Size=12\n"
                         "Bold=1\n"
                         "Italic=0\n"
                         "Underline=1\n"));

    AppSettings() = Settings();
    LoadSettings();
    const Settings& r = AppSettings();
    EXPECT_EQ(r.wav, s.wav);
    EXPECT_EQ(r.atStartup, true);
    EXPECT_EQ(r.answerOnRing, 5);
    EXPECT_EQ(r.fax, s.fax);
    EXPECT_EQ(r.name, "Ann");
    EXPECT_EQ(r.dialPrefix, "9,");
    EXPECT_EQ(r.initString, "AT&K3");
    EXPECT_EQ(r.dialAttempts, 4);
    EXPECT_EQ(r.retryWait, 30);
    EXPECT_EQ(r.blindDial, true);
    EXPECT_EQ(r.comPort, 2);
    EXPECT_EQ(r.faxClass, 3);
    EXPECT_EQ(r.toneOrPulse, 1);
    EXPECT_EQ(r.timeout, 90);
    EXPECT_EQ(r.fontName, "Liberation Serif");
    EXPECT_EQ(r.fontSize, 12);
    EXPECT_TRUE(r.fontBold);
    EXPECT_FALSE(r.fontItalic);
    EXPECT_TRUE(r.fontUnderline);
    EXPECT_EQ(r.portPath(), "/dev/ttyUSB3");
}

TEST(Settings, HandWrittenValuesFollowTheReadingRules) {
    TempHome home;
    home.write("ORV.INI",
               "[dialing]\nretrywait=0x1E\ntimeout=later\nblinddial=2\n"
               "[Modem]\nComPort=1\n[Default Font]\nBold=maybe\n");
    Settings s;
    s.load(IniFile(IniFilePath()));
    EXPECT_EQ(s.retryWait, 30);
    EXPECT_EQ(s.timeout, 60);
    EXPECT_TRUE(s.blindDial);
    EXPECT_FALSE(s.fontBold);
    EXPECT_EQ(s.portPath(), "/dev/ttyS1");
}

TEST(Settings, ASaveStopsAtTheRefusedWrite) {
    TempHome home;
    AppSettings() = Settings();
    qputenv("ORVANE_HOME", (home.path() + "no/such/folder").toUtf8());
    EXPECT_THROW(SaveSettings(), IniWriteError);
}
