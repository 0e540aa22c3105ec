// The receive machine against a scripted Class 2 / 2.0 modem: answering,
// DLE handling and bit order, good and bad pages, file names, and calls that
// break off. Time is a manual tick clock; guard times are instant.
#include <gtest/gtest.h>

#include "common/orv_error.h"
#include "engine/fax_receiver.h"
#include "engine/fax_test_support.h"
#include "images/apf_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace orv;
using namespace orv::test;

namespace {

const QByteArray kDleEtxBytes("\x10\x03", 2);
const QByteArray kDc2("\x12", 1);

struct ReceiveCase {
    MachinePort port;
    FaxReceiveSession s;
    RecordingEvents events;
    std::unique_ptr<FaxReceiver> receiver;
    ScriptedModem& modem = port.modem;
    QTemporaryDir dir;

    explicit ReceiveCase(TFaxClass faxClass = fcClass2) {
        port.prepare(s);
        s.faxClass = faxClass;
        s.stationId = "orvane";
        s.destinationDir = dir.path();
    }
    // The init procedure's commands and the first call set-up.
    void setup(bool class20 = false) {
        const QByteArray select = class20 ? "AT+FCLASS=2.0" : "AT+FCLASS=2";
        modem.expect(select).expect("AT+FCR=1").expect(class20 ? "AT+FLI=\"ORVANE\"" : "AT+FLID=\"ORVANE\"")
            .expect("AT+FAA=0");
        callSetup(class20);
    }
    void callSetup(bool class20) {
        modem.expect(class20 ? "AT+FCLASS=2.0" : "AT+FCLASS=2");
        if (class20)
            modem.expect("AT+FCC=1,3,0,2,0,0,0,0").expect("AT+FLO=2").expect("AT+FNR=1,1,1,0");
        else
            modem.expect("AT+FDCC=1,3,0,2,0,0,0,0");
    }
    // One page: CONNECT, the host's DC2, the data and what follows them.
    void page(const QByteArray& data, const QByteArray& after) {
        modem.expect("AT+FDR", "\r\nCONNECT\r\n").waitByte('\x12').say(data + after);
    }
    bool start() {
        modem.start();
        receiver = std::make_unique<FaxReceiver>(s, events);
        const int rc = receiver->Start();
        events.port = port.handle;
        return rc == 0;
    }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files, QDir::Name); }
};

QByteArray pageData(const QString& file, int page, ApfPageHeader* header = nullptr, qint64* offset = nullptr) {
    ApfReader r;
    ApfPageHeader ph;
    QByteArray data;
    if (r.open(file) != 0 || r.readPage(page, ph, data) != 0) return "<unreadable>";
    if (header) *header = ph;
    if (offset) *offset = r.pageDataOffset();
    return data;
}

}  // namespace

TEST(FaxReceiver, Class2AnswersOnTheThirdRingKeepsGoodPagesAndDropsBadOnes) {
    ReceiveCase c;
    c.s.answerOnRing = 3;
    c.s.oneFax = true;
    expectInit(c.modem);
    c.setup();
    c.modem.say("\r\nRING\r\n\r\nRING\r\n\r\nNO CARRIER\r\n").gate(1).say("\r\nRING\r\n")
        .expect("ATA", "\r\n+FCON\r\n\r\n+FTSI: \"SENDER 9\"\r\n\r\n+FDCS:0,3,0,2,0,0,0,0\r\n\r\nOK\r\n");
    // DLE DLE is one DLE; DLE ETX ends the page; Class 2 bytes come bit-reversed.
    c.page(QByteArray("\x10\x10\x41", 3) + kDleEtxBytes, "\r\n+FPTS:1\r\n\r\n+FET:0\r\n\r\nOK\r\n");
    c.page(QByteArray("\x55\x66\x77", 3) + kDleEtxBytes, "\r\n+FPTS:2\r\n\r\n+FET:0\r\n\r\nOK\r\n");
    c.page(QByteArray("\x01\x02\x10\x10\x80", 5) + kDleEtxBytes, "\r\n+FPTS: 1\r\n\r\n+FET:2\r\n\r\nOK\r\n");
    c.modem.expect("AT+FDR", "\r\n+FHNG:0\r\n\r\nOK\r\n");
    ASSERT_TRUE(c.start());
    // Two rings (and a caller that gave up) leave the machine waiting.
    ASSERT_TRUE(waitUntil([&] { return c.modem.atGate(1) && c.events.statusCodes().contains(fsNoConnect); }));
    EXPECT_FALSE(c.modem.commands().contains("ATA"));
    c.modem.release(1);
    ASSERT_TRUE(c.events.waitFinish());
    EXPECT_EQ(c.modem.mismatch(), "");
    EXPECT_EQ(c.events.finishCode(), 0);
    EXPECT_EQ(c.events.logs(), (QList<int>{logReceiveBegin, logReceiveOk}));
    EXPECT_TRUE(c.events.allOnPortThread());
    EXPECT_EQ(c.events.lastProgress().pageNumber, 2);  // the dropped page is not counted
    EXPECT_EQ(c.events.lastProgress().remoteId, "SENDER 9");
    EXPECT_TRUE(c.events.statuses().last().last);

    ASSERT_EQ(c.files(), QStringList{"FAX0001.APF"});
    const QString file = c.dir.filePath("FAX0001.APF");
    ApfReader r;
    ASSERT_EQ(r.open(file), 0);
    EXPECT_EQ(r.pageCount(), 2);
    EXPECT_EQ(r.header().stationId, QByteArray("SENDER 9").leftJustified(20, ' '));
    ApfPageHeader ph;
    qint64 offset = 0;
    EXPECT_EQ(pageData(file, 1, &ph), QByteArray("\x08\x82", 2));
    EXPECT_EQ(ph.pageFlags, 0);
    // The bad page was cut off: the third page's header took its place.
    EXPECT_EQ(pageData(file, 2, &ph, &offset), QByteArray("\x80\x40\x08\x01", 4));
    EXPECT_EQ(offset, kApfFileHeaderSize + 2 * kApfPageHeaderSize + 2);
    EXPECT_EQ(QFileInfo(file).size(), offset + 4);
}

TEST(FaxReceiver, Class20DetectedStoresBytesAsTheyComeAndFollowsADleAcrossReads) {
    ReceiveCase c(fcDetect);
    c.s.oneFax = true;
    c.s.answerOnRing = 1;
    expectDetection(c.modem, "0,1,2,2.0");
    c.setup(true);
    c.modem.say("\r\nRING\r\n")
        .expect("ATA", "\r\n+FCO\r\n\r\n+FTI:\"FAR\"\r\n\r\n+FCS:1,5,0,2,0,0,0,0\r\n\r\nOK\r\n")
        .expect("AT+FDR", "\r\nCONNECT\r\n").waitByte('\x12')
        .say(QByteArray("\x01\x10\x10\x02\x10", 5))  // ends on the first DLE of a pair
        .gate(1)
        .say(QByteArray("\x10\x05", 2) + kDleEtxBytes + "\r\n+FPS:1\r\n\r\n+FET:0\r\n\r\nOK\r\n")
        .expect("AT+FDR", "\r\nCONNECT\r\n").waitByte('\x12')
        .say(QByteArray("\x07\x10", 2))  // ends on the DLE of DLE ETX
        .gate(2)
        .say(QByteArray("\x03", 1) + "\r\n+FPS:1\r\n\r\n+FET:2\r\n\r\nOK\r\n")
        .expect("AT+FDR", "\r\n+FHS:00\r\n\r\nOK\r\n");
    ASSERT_TRUE(c.start());
    for (const auto& [gate, stored] : {std::pair{1, 3}, std::pair{2, 1}}) {
        // Wait until the machine has taken the first part, holding the lone DLE.
        ASSERT_TRUE(waitUntil([&, gate = gate, stored = stored] {
            return c.modem.atGate(gate) && c.receiver->CurrentState() == FaxReceiver::stPageData &&
                   c.receiver->CurrentProgress().bytesDone == stored;
        }));
        c.modem.release(gate);
    }
    ASSERT_TRUE(c.events.waitFinish());
    EXPECT_EQ(c.modem.mismatch(), "");
    EXPECT_EQ(c.events.finishCode(), 0);
    const QString file = c.dir.filePath("FAX0001.APF");
    ApfPageHeader ph;
    EXPECT_EQ(pageData(file, 1, &ph), QByteArray("\x01\x10\x02\x10\x05", 5));
    EXPECT_EQ(ph.pageFlags, pfHighRes);
    EXPECT_EQ(pageData(file, 2), QByteArray("\x07", 1));
}

TEST(FaxReceiver, ARefusedCallIsSkippedWithoutAFile) {
    ReceiveCase c;
    c.s.options = foExitOnError;
    c.events.accept = false;
    expectInit(c.modem);
    c.setup();
    c.modem.say("\r\nRING\r\n")
        .expect("ATA", "\r\n+FCON\r\n\r\n+FTSI:\"JUNK FAX\"\r\n")
        .expect("AT+FKS")
        .expect("+++")
        .expect("ATH");
    ASSERT_TRUE(c.start());
    ASSERT_TRUE(c.events.waitFinish());
    ASSERT_TRUE(c.modem.waitDone());
    EXPECT_EQ(c.modem.mismatch(), "");
    EXPECT_EQ(c.events.finishCode(), ecFileRejected);
    EXPECT_EQ(c.events.logs(), QList<int>{logReceiveSkip});
    EXPECT_TRUE(c.files().isEmpty());
}

TEST(FaxReceiver, ACallThatBreaksOffLeavesAValidFileOfWhatArrived) {
    struct Case {
        const char* name;
        QByteArray after;   // what follows the partial page
        bool silence;
        int code;
    };
    const Case cases[] = {
        {"caller hangs up", kDleEtxBytes + "\r\n+FHNG:70\r\n\r\nERROR\r\n", false, ecFaxSessionError},
        {"line goes quiet", {}, true, ecTimeout},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ReceiveCase c;
        c.s.options = foExitOnError;
        expectInit(c.modem);
        c.setup();
        c.modem.say("\r\nRING\r\n")
            .expect("ATA", "\r\n+FCON\r\n\r\n+FTSI:\"A\"\r\n\r\nOK\r\n");
        c.page(QByteArray("\x01\x02\x03", 3), k.after);
        ASSERT_TRUE(c.start());
        if (k.silence) {
            ASSERT_TRUE(waitUntil([&] {
                return c.modem.waitDone(1) && c.receiver->CurrentState() == FaxReceiver::stPageData &&
                       c.receiver->CurrentProgress().bytesDone == 3;
            }));
            c.port.advanceTicks(181);
            EXPECT_TRUE(c.receiver->Running());
            c.port.advanceTicks(1);
        }
        ASSERT_TRUE(c.events.waitFinish());
        EXPECT_EQ(c.events.finishCode(), k.code);
        EXPECT_EQ(c.events.logs(), (QList<int>{logReceiveBegin, logReceiveFail}));
        ASSERT_EQ(c.files(), QStringList{"FAX0001.APF"});
        const QString file = c.dir.filePath("FAX0001.APF");
        ApfReader r;
        ASSERT_EQ(r.open(file), 0);
        EXPECT_EQ(r.pageCount(), 1);
        EXPECT_EQ(pageData(file, 1), QByteArray("\x80\x40\xC0", 3));
        if (!k.silence) {
            EXPECT_EQ(c.events.lastProgress().hangupCode, 70);
        }
    }
}

TEST(FaxReceiver, AFailureAfterADroppedPageCountsOnlyTheGoodPages) {
    ReceiveCase c;
    c.s.options = foExitOnError;
    expectInit(c.modem);
    c.setup();
    c.modem.say("\r\nRING\r\n").expect("ATA", "\r\n+FCON\r\n\r\n+FTSI:\"A\"\r\n\r\nOK\r\n");
    c.page(QByteArray("\x11", 1) + kDleEtxBytes, "\r\n+FPTS:1\r\n\r\n+FET:0\r\n\r\nOK\r\n");
    c.page(QByteArray("\x22", 1) + kDleEtxBytes, "\r\n+FPTS:2\r\n\r\n+FET:0\r\n\r\nOK\r\n");
    c.modem.expect("AT+FDR", "\r\n+FHNG:50\r\n");
    ASSERT_TRUE(c.start());
    ASSERT_TRUE(c.events.waitFinish());
    EXPECT_EQ(c.events.finishCode(), ecFaxSessionError);
    EXPECT_EQ(c.events.lastProgress().pageNumber, 1);
    const QString file = c.dir.filePath("FAX0001.APF");
    ApfReader r;
    ASSERT_EQ(r.open(file), 0);
    EXPECT_EQ(r.pageCount(), 1);
    EXPECT_EQ(pageData(file, 1), QByteArray("\x88", 1));
    EXPECT_EQ(QFileInfo(file).size(), kApfFileHeaderSize + kApfPageHeaderSize + 1);
}

TEST(FaxReceiver, ReceivedFilesNeverReplaceExistingOnes) {
    struct Case {
        const char* name;
        QStringList existing;
        QString given;      // FaxName's answer ("" lets the engine name it)
        QString expected;
    };
    const Case cases[] = {
        {"next number", {"FAX0001.APF", "FAX0003.APF"}, {}, "FAX0002.APF"},
        {"given name taken", {"mine.apf"}, "mine.apf", "mine-1.apf"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ReceiveCase c;
        c.s.oneFax = true;
        for (const QString& e : k.existing) {
            QFile f(c.dir.filePath(e));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("keep me");
        }
        if (!k.given.isEmpty()) c.events.name = c.dir.filePath(k.given);
        expectInit(c.modem);
        c.setup();
        c.modem.say("\r\nRING\r\n").expect("ATA", "\r\n+FCON\r\n\r\n+FTSI:\"A\"\r\n\r\nOK\r\n");
        c.page(QByteArray("\x01", 1) + kDleEtxBytes, "\r\n+FPTS:1\r\n\r\n+FET:2\r\n\r\nOK\r\n");
        c.modem.expect("AT+FDR", "\r\n+FHNG:0\r\n\r\nOK\r\n");
        ASSERT_TRUE(c.start());
        ASSERT_TRUE(c.events.waitFinish());
        EXPECT_EQ(c.events.finishCode(), 0);
        for (const QString& e : k.existing) {
            QFile f(c.dir.filePath(e));
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            EXPECT_EQ(f.readAll(), "keep me") << e.toStdString();
        }
        ApfReader r;
        EXPECT_EQ(r.open(c.dir.filePath(k.expected)), 0);
        EXPECT_EQ(r.pageCount(), 1);
    }
}

TEST(FaxReceiver, AbortWhileWaitingAndAVanishingPortEndTheSession) {
    {
        ReceiveCase c;
        expectInit(c.modem);
        c.setup();
        c.modem.expect("+++").expect("ATH");
        ASSERT_TRUE(c.start());
        ASSERT_TRUE(waitUntil([&] { return c.receiver->CurrentState() == FaxReceiver::stWaitForCall; }));
        c.receiver->Abort();
        ASSERT_TRUE(c.events.waitFinish());
        ASSERT_TRUE(c.modem.waitDone());
        EXPECT_EQ(c.modem.mismatch(), "");
        EXPECT_EQ(c.events.finishCode(), ecCancelRequested);
        EXPECT_TRUE(c.events.statuses().last().last);
        EXPECT_TRUE(c.events.allOnPortThread());
    }
    {
        ReceiveCase c;
        expectInit(c.modem);
        c.setup();
        c.modem.say("\r\nRING\r\n").expect("ATA", "\r\n+FCON\r\n\r\n+FTSI:\"A\"\r\n\r\nOK\r\n")
            .expect("AT+FDR", "\r\nCONNECT\r\n").waitByte('\x12').say("\x01\x02").vanish();
        ASSERT_TRUE(c.start());
        // The status timer notices the lost device within its interval.
        ASSERT_TRUE(waitUntil([&] {
            if (c.modem.waitDone(1)) c.port.advanceTicks(18);
            return c.events.waitFinish(1);
        }));
        EXPECT_EQ(c.events.finishCode(), ecCommNotOpen);
        EXPECT_FALSE(c.receiver->Running());
        // The page so far is kept.
        ApfReader r;
        ASSERT_EQ(r.open(c.dir.filePath("FAX0001.APF")), 0);
        EXPECT_EQ(r.pageCount(), 1);
    }
}

TEST(FaxReceiver, StatusIsReportedEveryIntervalAndADestroyedMachineGivesThePortBack) {
    ReceiveCase c;
    expectInit(c.modem);
    c.setup();
    ASSERT_TRUE(c.start());
    ASSERT_TRUE(waitUntil([&] { return c.receiver->CurrentState() == FaxReceiver::stWaitForCall; }));
    c.port.advanceTicks(18);  // the waiting status itself may still be pending
    const int before = int(c.events.statuses().size());
    c.port.advanceTicks(17);
    EXPECT_EQ(c.events.statuses().size(), before);
    c.port.advanceTicks(1);
    EXPECT_EQ(c.events.statuses().size(), before + 1);
    EXPECT_EQ(c.events.statuses().last().code, fsWaitingForCall);
    c.port.advanceTicks(18);
    EXPECT_EQ(c.events.statuses().size(), before + 2);
    EXPECT_EQ(IsBusy(c.port.handle), 1);
    void* parked = nullptr;
    FetchClientData(c.port.handle, kFaxSessionSlot, &parked);
    EXPECT_EQ(parked, &c.s);

    const int replyTimer = c.s.replyTimer;
    c.receiver.reset();  // a host going away in the middle of a session
    EXPECT_EQ(IsBusy(c.port.handle), 0);
    EXPECT_EQ(TriggerKind(c.port.handle, replyTimer), 0);
    FetchClientData(c.port.handle, kFaxSessionSlot, &parked);
    EXPECT_EQ(parked, nullptr);
    c.modem.say("\r\nRING\r\n");  // nobody answers, nothing breaks
    c.port.advanceTicks(100);
    EXPECT_TRUE(PortIsOpen(c.port.handle));
}
