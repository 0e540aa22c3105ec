// The simulated modem's AT front end, ringing, DTR and faults, driven over
// its pseudo-terminal the way a fax program drives a serial port.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <termios.h>

#include "e2e/fax_programs.h"
#include "support/modemsim_runner.h"
#include "support/tiff_pages.h"

namespace orv::test {
namespace {

std::string str(const QByteArray& b) { return b.toStdString(); }

class ModemsimModem : public ::testing::Test {
protected:
    bool startSim(const QStringList& extra = {}, int ports = 1, const QString& sendFile = {}) {
        ModemSimRunner::Config c;
        c.extraArgs = extra;
        c.ports = ports;
        c.sendFile = sendFile;
        QString err;
        bool ok = sim_.start(c, &err);
        EXPECT_TRUE(ok) << err.toStdString();
        return ok;
    }
    ModemSimRunner sim_;
};

TEST_F(ModemsimModem, AnswersTheHayesAndFaxClassCommands) {
    ASSERT_TRUE(startSim());
    SerialPeer port(sim_.port(1));
    ASSERT_TRUE(port.isOpen());
    // Echo is on until ATE0.
    port.command("AT");
    EXPECT_EQ(str(port.readUntil("OK\r\n", 3000)), "AT\r\r\nOK\r\n");
    port.command("ATE0Q0V1X4S0=0S2=43");
    EXPECT_EQ(str(port.readUntil("OK\r\n", 3000)), "ATE0Q0V1X4S0=0S2=43\r\r\nOK\r\n");
    port.command("AT+FCLASS=?");
    EXPECT_EQ(str(port.readUntil("OK\r\n", 3000)), "\r\n0,1,2,2.0\r\n\r\nOK\r\n");
    port.command("AT+FCLASS=2.0");
    EXPECT_EQ(str(port.readUntil("OK\r\n", 3000)), "\r\nOK\r\n");
    port.command("AT+FCLASS?");
    EXPECT_EQ(str(port.readUntil("OK\r\n", 3000)), "\r\n2.0\r\n\r\nOK\r\n");
    // Class 2 commands are not Class 2.0 commands.
    port.command("AT+FDIS=1,3,0,2,0,0,0,0");
    EXPECT_EQ(str(port.readUntil("\r\n", 3000) + port.readUntil("\r\n", 3000)), "\r\nERROR\r\n");
    port.command("AT+FIS=1,3,0,2,0,0,0,0");
    EXPECT_EQ(str(port.readUntil("OK\r\n", 3000)), "\r\nOK\r\n");
    port.command("AT+FIS?");
    EXPECT_EQ(str(port.readUntil("OK\r\n", 3000)), "\r\n1,3,0,2,0,0,0,0\r\n\r\nOK\r\n");
    port.command("ATS7=30S7?");
    EXPECT_EQ(str(port.readUntil("OK\r\n", 3000)), "\r\n030\r\n\r\nOK\r\n");
    port.command("AT+FOO");
    EXPECT_EQ(str(port.readUntil("ERROR\r\n", 3000)), "\r\nERROR\r\n");
    // Numeric result codes, then a reset to the factory profile.
    port.command("ATV0");
    EXPECT_EQ(str(port.readUntil("\r", 3000)), "0\r");
    port.command("AT+FOO");
    EXPECT_EQ(str(port.readUntil("\r", 3000)), "4\r");
    port.command("AT&F");
    EXPECT_EQ(str(port.readUntil("OK\r\n", 3000)), "\r\nOK\r\n");
    port.command("AT+FCLASS?");
    EXPECT_TRUE(port.readUntil("OK\r\n", 3000).contains("\r\n0\r\n"));
}

TEST_F(ModemsimModem, OffersOnlyTheClassesAskedFor) {
    ASSERT_TRUE(startSim({"--classes", "2"}));
    SerialPeer port(sim_.port(1));
    port.command("ATE0");
    port.readUntil("OK\r\n", 3000);
    port.command("AT+FCLASS=?");
    EXPECT_EQ(str(port.readUntil("OK\r\n", 3000)), "\r\n0,2\r\n\r\nOK\r\n");
    port.command("AT+FCLASS=1");
    EXPECT_EQ(str(port.readUntil("ERROR\r\n", 3000)), "\r\nERROR\r\n");
}

// An incoming call rings; with S0=2 the Class 2 modem answers on the second
// ring, reports the session, and delivers the page data after DC2 in Class 2
// bit order, which fax2tiff (libtiff) decodes to the page the terminal sent.
TEST_F(ModemsimModem, RingsAutoAnswersAndDeliversClass2PageData) {
    QTemporaryDir work;
    TestDocument doc = makeDocument(work.path(), 1, 5);
    ASSERT_EQ(doc.pages.size(), 1);
    ASSERT_TRUE(startSim({}, 1, doc.allPages));
    SerialPeer port(sim_.port(1));
    port.command("ATE0S0=2");
    port.readUntil("OK\r\n", 3000);
    port.command("AT+FCLASS=2;+FCR=1;+FLID=\"ORVANE TEST\"");
    EXPECT_EQ(str(port.readUntil("OK\r\n", 3000)), "\r\nOK\r\n");
    sim_.command("call 1");
    QByteArray answer = port.readUntil("\r\nOK\r\n", 30000);
    EXPECT_EQ(answer.count("RING"), 2) << str(answer);
    EXPECT_TRUE(answer.contains("+FCON\r\n")) << str(answer);
    EXPECT_TRUE(answer.contains("+FTSI:\"MODEMSIM TERMINAL\"")) << str(answer);
    EXPECT_TRUE(answer.contains("+FDCS:1,")) << str(answer);

    port.command("AT+FDR");
    QByteArray connect = port.readUntil("CONNECT\r\n", 30000);
    ASSERT_TRUE(connect.endsWith("CONNECT\r\n")) << str(connect);
    port.send("\x12");  // DC2: ready for data
    QByteArray data = port.readUntil("+FET:2\r\n\r\nOK\r\n", 30000);
    int end = data.indexOf("\x10\x03");
    ASSERT_GT(end, 0) << "no DLE ETX";
    EXPECT_TRUE(data.mid(end).contains("+FPTS:1")) << str(data.mid(end));
    QByteArray raw;
    for (int i = 0; i < end; ++i) {
        raw += data[i];
        if (data[i] == '\x10') ++i;  // DLE DLE stands for one DLE
    }
    QFile g3(work.filePath("page.g3"));
    ASSERT_TRUE(g3.open(QIODevice::WriteOnly));
    g3.write(raw);
    g3.close();
    // Class 2 delivers the first bit from the line in the most significant place.
    ASSERT_EQ(QProcess::execute("fax2tiff", {"-M", "-1", "-o", work.filePath("page.tif"), work.filePath("page.g3")}), 0);
    auto got = readTiffPages(work.filePath("page.tif"));
    auto sent = readTiffPages(doc.pages[0]);
    ASSERT_EQ(got.size(), 1u);
    // fax2tiff turns the end-of-page code (RTC) into a few white rows.
    EXPECT_EQ(comparePages(sent[0], got[0], 0, true).toStdString(), "");

    port.command("AT+FDR");
    EXPECT_EQ(str(port.readUntil("OK\r\n", 30000)), "\r\n+FHNG:0\r\n\r\nOK\r\n");
    EXPECT_TRUE(sim_.waitForEvent("SENT", 10000).contains("pages=1 status=0"));
}

TEST_F(ModemsimModem, DialFaultsComeInOrderThenTheCallGoesThrough) {
    ASSERT_TRUE(startSim({"--fault", "busy=1", "--fault", "no-dialtone=1", "--fault", "no-answer=1", "--fault",
                          "no-carrier=1"}));
    SerialPeer port(sim_.port(1));
    port.command("ATE0;+FCLASS=2");
    port.readUntil("OK\r\n", 3000);
    for (const char* result : {"BUSY", "NO DIALTONE", "NO ANSWER", "NO CARRIER"}) {
        port.command("ATDT5550100");
        EXPECT_EQ(str(port.readUntil(QByteArray(result) + "\r\n", 10000)), std::string("\r\n") + result + "\r\n");
    }
    // A data call (class 0) finds no data modem at the far end.
    port.command("AT+FCLASS=0;D5550100");
    EXPECT_EQ(str(port.readUntil("NO CARRIER\r\n", 10000)), "\r\nNO CARRIER\r\n");
    port.command("AT+FCLASS=2");
    port.readUntil("OK\r\n", 3000);
    port.command("ATDP5550100");
    QByteArray r = port.readUntil("OK\r\n", 20000);
    EXPECT_TRUE(r.contains("+FCON\r\n") && r.contains("+FDIS:")) << str(r);
    port.command("ATH0");
    EXPECT_EQ(str(port.readUntil("OK\r\n", 3000)), "\r\nOK\r\n");
}

// A far end that answers and stays silent: the Class 2 modem gives up after
// T.30's T1 (35 s of line time) with a hang-up report.
TEST_F(ModemsimModem, SilentFarEndEndsTheDialWithAHangupReport) {
    ASSERT_TRUE(startSim({"--fault", "silence"}));
    SerialPeer port(sim_.port(1));
    port.command("ATE0;+FCLASS=2");
    port.readUntil("OK\r\n", 3000);
    port.command("ATD5550100");
    EXPECT_EQ(str(port.readUntil("NO CARRIER\r\n", 20000)), "\r\n+FHNG:11\r\n\r\nNO CARRIER\r\n");
    port.command("AT");
    EXPECT_EQ(str(port.readUntil("OK\r\n", 3000)), "\r\nOK\r\n");
}

TEST_F(ModemsimModem, SecondModemRingsAndBusyWhenOffHook) {
    ASSERT_TRUE(startSim({}, 2));
    SerialPeer a(sim_.port(1)), b(sim_.port(2));
    a.command("ATE0;+FCLASS=1");
    b.command("ATE0;+FCLASS=1");
    a.readUntil("OK\r\n", 3000);
    b.readUntil("OK\r\n", 3000);
    a.command("ATD1002");
    EXPECT_TRUE(b.readUntil("RING\r\n", 10000).contains("RING")) << "modem 2 did not ring";
    b.command("ATA");
    // Class 1: the answerer sends CED and then its first frame on V.21.
    EXPECT_TRUE(b.readUntil("CONNECT\r\n", 10000).contains("CONNECT"));
    // Modem 2 is now busy for a third caller... dial it from modem 1 again after hanging up.
    a.setSpeed(B0);  // DTR off: modem 1 hangs up without a word
    QByteArray quiet = a.readFor(500);
    EXPECT_FALSE(quiet.contains("OK")) << str(quiet);
    a.setSpeed(B19200);
    a.command("AT");
    EXPECT_EQ(str(a.readUntil("OK\r\n", 3000)), "\r\nOK\r\n");
}

TEST_F(ModemsimModem, MutedGarbledWrongAndSlowResponses) {
    ASSERT_TRUE(startSim({"--fault", "mute=ATI0", "--fault", "wrong=+FCLASS=?:0,1,2", "--fault", "garbage=ATI3",
                          "--fault", "slow=2000:ATL"}));
    SerialPeer port(sim_.port(1));
    port.command("ATE0");
    port.readUntil("OK\r\n", 3000);
    port.command("ATI0");
    EXPECT_EQ(str(port.readFor(800)), "");
    port.command("AT+FCLASS=?");
    EXPECT_EQ(str(port.readUntil("0,1,2\r\n", 3000)), "\r\n0,1,2\r\n");
    port.command("ATI3");
    QByteArray g = port.readUntil("OK\r\n", 3000);
    EXPECT_TRUE(g.startsWith("\xff\x80")) << str(g);
    EXPECT_TRUE(g.endsWith("\r\nOK\r\n"));
    // 2000 ms of line time at 8x: about 250 ms.
    port.command("ATL");
    EXPECT_EQ(str(port.readFor(100)), "");
    EXPECT_EQ(str(port.readUntil("OK\r\n", 3000)), "\r\nOK\r\n");
}

TEST_F(ModemsimModem, UnpluggedModemClosesItsPort) {
    ASSERT_TRUE(startSim({"--fault", "unplug=+FCLASS=1"}));
    SerialPeer port(sim_.port(1));
    port.command("ATE0");
    port.readUntil("OK\r\n", 3000);
    port.command("AT+FCLASS=1");
    EXPECT_FALSE(sim_.waitForEvent("UNPLUGGED 1", 5000).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(sim_.port(1)));
    EXPECT_EQ(str(port.readFor(300)), "");
}

TEST_F(ModemsimModem, ShutsDownCleanlyAndRemovesItsLinks) {
    ASSERT_TRUE(startSim({}, 2));
    EXPECT_TRUE(QFileInfo(sim_.port(1)).isSymLink());
    EXPECT_TRUE(sim_.stop());
    EXPECT_FALSE(QFileInfo::exists(sim_.port(1)) || QFileInfo(sim_.port(1)).isSymLink());
    EXPECT_FALSE(QFileInfo(sim_.port(2)).isSymLink());
}

}  // namespace
}  // namespace orv::test
