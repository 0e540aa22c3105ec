// The send machine against a scripted Class 2 / 2.0 modem: what it sends,
// what it reports, and how it fails. Time is a manual tick clock and guard
// times are instant, so every case runs the same way every time.
#include <gtest/gtest.h>

#include "common/cp1252.h"
#include "common/orv_error.h"
#include "engine/fax_sender.h"
#include "engine/fax_test_support.h"
#include "engine/fax_text_line.h"
#include "engine/modem_link.h"

#include <QFile>
#include <QTemporaryDir>

using namespace orv;
using namespace orv::test;

namespace {

const QByteArray kOk = "\r\nOK\r\n";
const QByteArray kDial = "\r\n+FCON\r\n\r\n+FCSI: \"REMOTE 1\"\r\n\r\n+FDIS:1,5,0,2,0,0,0,0\r\n\r\nOK\r\n";
const QByteArray kConnect2 = "\r\n+FDCS: 0,3,0,2,0,0,0,0\r\n\r\nCONNECT\r\n\x11";
const QByteArray kConnect20 = "\r\n+FCS:0,3,0,2,0,0,0,0\r\n\r\nCONNECT\r\n";

// The page data of line records, without their length words.
QByteArray recordPayload(const QByteArray& data) {
    QByteArray out;
    for (qsizetype i = 0; i + 2 <= data.size();) {
        const int n = uint8_t(data[i]) | (uint8_t(data[i + 1]) << 8);
        out.append(data.mid(i + 2, n));
        i += 2 + n;
    }
    return out;
}

// The header line as it must appear in the page data (DLE doubling undone).
QByteArray headerRows(const QString& text) {
    return undoubleDle(EncodeTextRows(toCp1252(text), true, false, 1728, 0));
}

// A session whose modem script the test writes from its first command (the
// init string included).
struct BareCase {
    MachinePort port;
    FaxSendSession s;
    RecordingEvents events;
    explicit BareCase(TFaxClass faxClass = fcClass2) {
        port.prepare(s);
        s.faxClass = faxClass;
    }
};

// A session whose script starts after the default init string.
struct SendCase : BareCase {
    std::unique_ptr<FaxSender> sender;
    ScriptedModem& modem = port.modem;

    SendCase(TFaxClass faxClass = fcClass2) : BareCase(faxClass) {
        s.stationId = "orvane test";
        expectInit(modem);
    }
    // Starts the script and the machine; true when it runs.
    bool start() {
        modem.start();
        sender = std::make_unique<FaxSender>(s, events);
        const int rc = sender->Start();
        events.port = port.handle;
        return rc == 0;
    }
    void class2Setup(const QByteArray& caps = "AT+FDIS=0,3,0,2,0,0,0,0") {
        modem.expect("AT+FCLASS=2").expect("AT+FLID=\"ORVANE TEST\"").expect(caps);
    }
    void class20Setup(const QByteArray& caps = "AT+FIS=0,3,0,2,0,0,0,0") {
        modem.expect("AT+FCLASS=2.0").expect("AT+FLI=\"ORVANE TEST\"").expect("AT+FLO=2").expect("AT+FNR=1,1,1,0")
            .expect(caps);
    }
    QString folder() const { return dir.path(); }
    QTemporaryDir dir;
};

}  // namespace

TEST(FaxSender, Class2SendsHeaderLineAndPagesThenFinishes) {
    SendCase c;
    const QString doc = makeApf(c.folder() + "/doc.apf", 2, 30, false);
    c.s.headerLine = "$F page $P of $N";
    c.s.headerSender = "ACME";
    c.events.queue << RecordingEvents::Fax{"5551234", doc, {}};
    c.class2Setup();
    c.modem.expect("ATDT5551234", kDial)
        .expect("AT+FDT", kConnect2)
        .data(kOk)
        .expect("AT+FET=0", "\r\n+FPTS:1\r\n\r\nOK\r\n")
        .expect("AT+FDT", kConnect2)
        .data(kOk)
        .expect("AT+FET=2", "\r\n+FPTS:1,2200,0,0\r\n\r\n+FHNG:0\r\n\r\nOK\r\n");
    ASSERT_TRUE(c.start());
    ASSERT_TRUE(c.events.waitFinish());
    EXPECT_EQ(c.modem.mismatch(), "");
    EXPECT_EQ(c.events.finishCode(), 0);
    EXPECT_EQ(c.events.logs(), (QList<int>{logSendBegin, logSendOk}));
    EXPECT_TRUE(c.events.errors().isEmpty());
    const auto statuses = c.events.statuses();
    ASSERT_FALSE(statuses.isEmpty());
    EXPECT_TRUE(statuses.first().first);
    EXPECT_EQ(statuses.first().code, fsInitializing);
    EXPECT_TRUE(statuses.last().last);
    // Changes are reported once per trigger, so a status may be overtaken by the next.
    for (int code : {fsDialing, fsSendingPage, fsSendingEop, fsPageAccepted, fsFinished})
        EXPECT_TRUE(c.events.statusCodes().contains(code)) << code;
    EXPECT_EQ(c.events.lastProgress().remoteId, "REMOTE 1");
    EXPECT_TRUE(c.events.allOnPortThread());
    EXPECT_FALSE(c.sender->Running());
    EXPECT_EQ(IsBusy(c.port.handle), 0);

    // Each page: eight blank lead lines, the header with its tags filled in,
    // then the page's own data exactly, ended with DLE ETX.
    const QList<QByteArray> pages = c.modem.pages();
    ASSERT_EQ(pages.size(), 2);
    EXPECT_EQ(c.modem.pageEnds(), QByteArray("\x03\x03"));
    for (int p = 0; p < 2; ++p) {
        EXPECT_TRUE(pages[p].startsWith(QByteArray("\x00\x80\xB2\x59\x01\x00", 6)));
        EXPECT_TRUE(pages[p].contains(headerRows(QStringLiteral("ACME page %1 of 2").arg(p + 1)))) << p;
        EXPECT_TRUE(pages[p].endsWith(recordPayload(apfPageData(doc, p + 1)))) << p;
    }
}

TEST(FaxSender, Class20TextCoverPageNumbersAndRetransmissionAfterPageStatusQuery) {
    SendCase c(fcClass2_0);
    const QString doc = makeApf(c.folder() + "/doc.apf", 1, 20, false);
    const QString cover = c.folder() + "/cover.txt";
    QFile f(cover);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("To: $R\nPages: $N\n");
    f.close();
    c.s.headerLine = "$F page $P of $N, $p/$N";
    c.s.headerSender = "ACME";
    c.s.headerRecipient = "Bob";
    c.events.queue << RecordingEvents::Fax{"42", doc, cover};
    c.class20Setup();
    c.modem.expect("ATDT42", "\r\n+FCO\r\n\r\n+FIS:1,5,0,2,0,0,0,0\r\n\r\nOK\r\n")
        .expect("AT+FDT", kConnect20)
        .data(kOk)  // the cover, ended with DLE ","
        .expect("AT+FDT", kConnect20)
        .data("\r\nERROR\r\n")  // the page is refused (RTN) ...
        .expect("AT+FPS?", "\r\n2\r\n\r\nOK\r\n")  // ... its status comes as a value line before OK
        .expect("AT+FDT", kConnect20)
        .data("\r\n+FHS:00\r\n\r\nOK\r\n");
    ASSERT_TRUE(c.start());
    ASSERT_TRUE(c.events.waitFinish());
    EXPECT_EQ(c.modem.mismatch(), "");
    EXPECT_EQ(c.events.finishCode(), 0) << ErrorMessage(c.events.finishCode()).toStdString();
    EXPECT_EQ(c.events.logs(), (QList<int>{logSendBegin, logSendOk}));
    EXPECT_TRUE(c.events.statusCodes().contains(fsPageError));
    const QList<QByteArray> pages = c.modem.pages();
    ASSERT_EQ(pages.size(), 3);
    EXPECT_EQ(c.modem.pageEnds(), QByteArray(",.."));
    // The cover counts as page 1; a tag runs to the next blank, so "$N," and
    // "$p/$N" are single tags.
    EXPECT_TRUE(pages[0].contains(headerRows("ACME page 1 of 2 1")));
    EXPECT_TRUE(pages[0].contains(undoubleDle(EncodeTextRows("To: Bob", false, false, 1728, 0))));
    EXPECT_TRUE(pages[0].contains(undoubleDle(EncodeTextRows("Pages: 2", false, false, 1728, 0))));
    EXPECT_TRUE(pages[1].contains(headerRows("ACME page 2 of 2 2")));
    EXPECT_EQ(pages[1], pages[2]);  // the same page again
    EXPECT_TRUE(pages[2].endsWith(recordPayload(apfPageData(doc, 1))));
}

TEST(FaxSender, Class2GivesUpAfterTheThirdNegativePageStatusInARow) {
    SendCase c;
    const QString doc = makeApf(c.folder() + "/doc.apf", 1, 10, false);
    c.events.queue << RecordingEvents::Fax{"7", doc, {}};
    c.class2Setup();
    c.modem.expect("ATDT7", kDial);
    for (int i = 0; i < 3; ++i)
        c.modem.expect("AT+FDT", kConnect2).data(kOk).expect("AT+FET=2", "\r\n+FPTS:2\r\n\r\nOK\r\n");
    c.modem.expect("AT+FKS").expect("ATH0");
    ASSERT_TRUE(c.start());
    ASSERT_TRUE(c.events.waitFinish());
    ASSERT_TRUE(c.modem.waitDone());
    EXPECT_EQ(c.modem.mismatch(), "");
    EXPECT_EQ(c.modem.pages().size(), 3);
    EXPECT_EQ(c.events.finishCode(), ecFaxSessionError);
    EXPECT_EQ(c.events.errors(), QList<int>{ecFaxSessionError});
    EXPECT_EQ(c.events.logs(), (QList<int>{logSendBegin, logSendFail}));
    EXPECT_EQ(c.events.nextCalls(), 2);  // without ExitOnError the queue went on (and was empty)
}

TEST(FaxSender, BusyNumberIsRedialledThenSkippedAndTheQueueGoesOn) {
    SendCase c;
    const QString doc = makeApf(c.folder() + "/doc.apf", 1, 10, false);
    c.s.dialAttempts = 3;
    c.s.dialRetryWait = SecsToTicks(60);
    c.events.queue << RecordingEvents::Fax{"7", doc, {}} << RecordingEvents::Fax{"8", {}, {}};
    c.class2Setup();
    c.modem.expect("ATDT7", "\r\nBUSY\r\n").gate(1).expect("ATDT7", "\r\nNO ANSWER\r\n").gate(2)
        .expect("ATDT7", "\r\nBUSY\r\n")
        // The second fax has neither fax file nor cover: it fails at once, and
        // the line is hung up; the busy one was not (the modem is on-hook).
        .expect("ATH0");
    ASSERT_TRUE(c.start());
    for (int gate : {1, 2}) {
        ASSERT_TRUE(waitUntil([&] { return c.modem.atGate(gate) && c.sender->CurrentState() == FaxSender::stRedialWait; }));
        EXPECT_TRUE(c.events.statusCodes().contains(fsBusyWaiting) || gate == 2);
        c.port.advanceTicks(uint32_t(SecsToTicks(59)));
        EXPECT_EQ(c.sender->CurrentState(), FaxSender::stRedialWait);  // not yet
        c.modem.release(gate);
        c.port.advanceTicks(uint32_t(SecsToTicks(1) + 1));
    }
    ASSERT_TRUE(c.events.waitFinish());
    ASSERT_TRUE(c.modem.waitDone());
    EXPECT_EQ(c.modem.mismatch(), "");
    EXPECT_EQ(c.events.errors(), (QList<int>{ecFaxBusy, ecNoFilename}));
    EXPECT_EQ(c.events.logs(), (QList<int>{logSendBegin, logSendFail, logSendBegin, logSendFail}));
    EXPECT_EQ(c.events.finishCode(), ecNoFilename);
    EXPECT_EQ(c.modem.commands().count("ATH0"), 1);
}

TEST(FaxSender, EachDialOrNegotiationFailureHasItsOwnCode) {
    struct Case {
        const char* name;
        QByteArray dialReply;
        int code;
        bool fine = false;
    };
    const Case cases[] = {
        {"voice", "\r\nVOICE\r\n", ecFaxVoiceCall},
        {"no dial tone", "\r\nNO DIALTONE\r\n", ecFaxNoDialTone},
        {"no carrier", "\r\nNO CARRIER\r\n", ecFaxNoCarrier},
        {"error", "\r\nERROR\r\n", ecFaxBadModemResult},
        {"hang-up report", "\r\n+FHNG:11\r\n", ecFaxBadModemResult},
        {"remote without fine", "\r\n+FCON\r\n\r\n+FDIS:0,3,0,2,0,0,0,0\r\n", ecFaxBadMachine, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        SendCase c;
        c.s.options = foExitOnError;
        const QString doc = makeApf(c.folder() + "/doc.apf", 1, 10, k.fine);
        c.events.queue << RecordingEvents::Fax{"9", doc, {}};
        c.class2Setup(k.fine ? "AT+FDIS=1,3,0,2,0,0,0,0" : "AT+FDIS=0,3,0,2,0,0,0,0");
        c.modem.expect("ATDT9", k.dialReply).expect("ATH0");
        ASSERT_TRUE(c.start());
        ASSERT_TRUE(c.events.waitFinish());
        ASSERT_TRUE(c.modem.waitDone());
        EXPECT_EQ(c.modem.mismatch(), "");
        EXPECT_EQ(c.events.finishCode(), k.code);
        EXPECT_EQ(c.events.errors(), QList<int>{k.code});
        EXPECT_EQ(c.events.logs(), (QList<int>{logSendBegin, logSendFail}));
        EXPECT_EQ(c.events.nextCalls(), 1);  // ExitOnError: no second fax asked for
        EXPECT_TRUE(c.events.statuses().last().last);
        if (QByteArray(k.name) == "hang-up report") {
            EXPECT_EQ(c.events.lastProgress().hangupCode, 11);
        }
    }
}

TEST(FaxSender, PageStatusAndHangUpCodesDecideTheOutcome) {
    struct Case {
        const char* name;
        QByteArray afterFet;
        int code;
    };
    const Case cases[] = {
        {"interrupt", "\r\n+FPTS:4\r\n", ecCancelRequested},
        {"unknown status", "\r\n+FPTS:9\r\n", ecFaxPageError},
        {"unexpected line", "\r\n+FXYZ\r\n", ecFaxPageError},
        // A call that ended with an error is no success, whatever follows.
        {"error hang-up then OK", "\r\n+FPTS:1\r\n\r\n+FHNG:52\r\n\r\nOK\r\n", ecFaxSessionError},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        SendCase c;
        const QString doc = makeApf(c.folder() + "/doc.apf", 1, 10, false);
        c.events.queue << RecordingEvents::Fax{"9", doc, {}};
        c.class2Setup();
        c.modem.expect("ATDT9", kDial).expect("AT+FDT", kConnect2).data(kOk).expect("AT+FET=2", k.afterFet)
            .expect("ATH0");
        ASSERT_TRUE(c.start());
        ASSERT_TRUE(c.events.waitFinish());
        ASSERT_TRUE(c.modem.waitDone());
        EXPECT_EQ(c.modem.mismatch(), "");
        EXPECT_EQ(c.events.finishCode(), k.code);
        EXPECT_EQ(c.events.logs(), (QList<int>{logSendBegin, logSendFail}));
    }
}

TEST(FaxSender, HangUpReportDuringPageDataFailsAtOnce) {
    SendCase c;
    const QString doc = makeApf(c.folder() + "/doc.apf", 1, 400, false);
    c.s.options = foExitOnError;
    c.events.queue << RecordingEvents::Fax{"9", doc, {}};
    c.class2Setup();
    // The far end hangs up while the page flows: the report and ERROR come
    // back in the middle of the data.
    c.modem.expect("ATDT9", kDial).expect("AT+FDT", kConnect2).say("\r\n+FHNG:43\r\n\r\nERROR\r\n");
    ASSERT_TRUE(c.start());
    ASSERT_TRUE(c.events.waitFinish());
    EXPECT_EQ(c.modem.mismatch(), "");
    EXPECT_EQ(c.events.finishCode(), ecFaxSessionError);
    EXPECT_EQ(c.events.lastProgress().hangupCode, 43);
    EXPECT_EQ(c.events.logs(), (QList<int>{logSendBegin, logSendFail}));
}

TEST(FaxSender, DleDoublingNeverOverflowsThePortAndEveryByteArrives) {
    SendCase c(fcClass2_0);
    // Pages held as streams full of DLE bytes: a 4096-byte piece doubles to 8192.
    const QString doc = makeApf(c.folder() + "/doc.apf", 2, 0, false, true);
    c.s.bufferMinimum = 3000;
    c.events.queue << RecordingEvents::Fax{"9", doc, {}};
    c.class20Setup();
    c.modem.expect("ATDT9", "\r\n+FCO\r\n\r\n+FIS:1,5,0,2,0,0,0,0\r\n\r\nOK\r\n")
        .expect("AT+FDT", kConnect20).data(kOk)
        .expect("AT+FDT", kConnect20).data("\r\n+FHS:00\r\n\r\nOK\r\n");
    ASSERT_TRUE(c.start());
    ASSERT_TRUE(c.events.waitFinish());
    EXPECT_EQ(c.modem.mismatch(), "");
    EXPECT_EQ(c.events.finishCode(), 0);
    const QList<QByteArray> pages = c.modem.pages();
    ASSERT_EQ(pages.size(), 2);
    for (int p = 0; p < 2; ++p) {
        const QByteArray data = apfPageData(doc, p + 1);
        ASSERT_EQ(data.count('\x10') > 5000, true);
        EXPECT_TRUE(pages[p].endsWith(data)) << p;
        EXPECT_TRUE(c.modem.rawPages()[p].contains(QByteArray(10000, '\x10')));  // sent doubled
    }
    EXPECT_EQ(c.modem.pageEnds(), QByteArray(",."));
}

TEST(FaxSender, SilentModemTimesOutAndAbortEndsTheSession) {
    {
        SendCase c;
        c.s.dialWait = SecsToTicks(60);
        const QString doc = makeApf(c.folder() + "/doc.apf", 1, 10, false);
        c.events.queue << RecordingEvents::Fax{"9", doc, {}};
        c.class2Setup();
        c.modem.expect("ATDT9", "").gate(1);  // then nothing
        ASSERT_TRUE(c.start());
        ASSERT_TRUE(waitUntil([&] { return c.modem.atGate(1); }));
        ASSERT_TRUE(waitUntil([&] { return c.sender->CurrentState() == FaxSender::stDialResult; }));
        c.port.advanceTicks(uint32_t(SecsToTicks(60) - 1));
        EXPECT_TRUE(c.sender->Running());
        c.port.advanceTicks(2);
        c.modem.release(1);
        ASSERT_TRUE(c.events.waitFinish());
        EXPECT_EQ(c.events.finishCode(), ecTimeout);
        EXPECT_TRUE(c.events.allOnPortThread());
    }
    {
        SendCase c;
        const QString doc = makeApf(c.folder() + "/doc.apf", 1, 10, false);
        c.events.queue << RecordingEvents::Fax{"9", doc, {}} << RecordingEvents::Fax{"10", doc, {}};
        c.class2Setup();
        c.modem.expect("ATDT9", "").gate(1);
        ASSERT_TRUE(c.start());
        ASSERT_TRUE(waitUntil([&] { return c.modem.atGate(1) && c.sender->CurrentState() == FaxSender::stDialResult; }));
        // From this (not the port's) thread: the machine is stopped on its own.
        c.sender->Abort();
        ASSERT_TRUE(c.events.waitFinish());
        c.modem.release(1);
        EXPECT_EQ(c.events.finishCode(), ecCancelRequested);
        EXPECT_EQ(c.events.statuses().last().code, fsUserAbort);
        EXPECT_TRUE(c.events.statuses().last().last);
        EXPECT_EQ(c.events.nextCalls(), 1);  // the rest of the queue is not sent
        EXPECT_TRUE(c.events.allOnPortThread());
        EXPECT_EQ(IsBusy(c.port.handle), 0);
    }
}

TEST(FaxSender, MissingOrBrokenFilesFailTheFaxNotTheProgram) {
    SendCase c;
    const QString notApf = c.folder() + "/not.apf";
    QFile f(notApf);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(100, 'x'));
    f.close();
    c.events.queue << RecordingEvents::Fax{"1", c.folder() + "/missing.apf", {}} << RecordingEvents::Fax{"2", notApf, {}};
    c.modem.expect("ATH0").expect("ATH0");
    // Between sessions the port runs at the init baud, during them at the normal one.
    c.s.SetInitBaud(38400);
    EXPECT_EQ(CurrentLineSettings(c.port.handle).baud, 38400);
    c.s.normalBaud = 57600;
    ASSERT_TRUE(c.start());
    ASSERT_TRUE(c.events.waitFinish());
    EXPECT_EQ(c.events.errors(), (QList<int>{ecFileNotFound, ecFaxBadFormat}));
    EXPECT_EQ(c.events.finishCode(), ecFaxBadFormat);
    EXPECT_EQ(CurrentLineSettings(c.port.handle).baud, 38400);
}

TEST(FaxSender, AModemThatNeverAnswersTheInitStringEndsTheSessionBeforeItRuns) {
    BareCase c(fcDetect);
    c.s.replyTimeout = 2;
    c.port.modem.gate(1).start();  // answers nothing to the two resets' init strings
    FaxSender sender(c.s, c.events);
    std::thread clock([&] {
        // The synchronous commands wait on the port clock.
        for (int i = 0; i < 200 && !c.events.waitFinish(5); ++i) c.port.clock->AdvanceTicks(1);
    });
    EXPECT_EQ(sender.Start(), ecFaxBadModemResult);
    clock.join();
    c.port.modem.release(1);
    EXPECT_EQ(c.events.finishCode(), ecFaxBadModemResult);
    EXPECT_FALSE(sender.Running());
    EXPECT_EQ(IsBusy(c.port.handle), 0);
    EXPECT_EQ(TriggerKind(c.port.handle, c.s.replyTimer), 0);
}

TEST(FaxSender, AnAbortDuringTheInitProcedureWaitsForItAndThenEndsTheSession) {
    BareCase c;
    c.events.queue << RecordingEvents::Fax{"1", "never.apf", {}};
    // The modem holds back its answer to the init string while the abort comes.
    c.port.modem.gate(1).expect("ATE0Q0V1X4S0=0S2=43").expect("ATH0");
    c.port.modem.start();
    FaxSender sender(c.s, c.events);
    std::thread user([&] {
        while (!c.port.modem.atGate(1)) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // Start() is in its init procedure
        sender.Abort();
        c.port.modem.release(1);
    });
    EXPECT_EQ(sender.Start(), 0);  // the port's thread kept reading for it
    user.join();
    ASSERT_TRUE(c.events.waitFinish());
    EXPECT_EQ(c.events.finishCode(), ecCancelRequested);
    EXPECT_EQ(c.events.nextCalls(), 0);
    EXPECT_TRUE(c.port.modem.waitDone());
    EXPECT_EQ(c.port.modem.mismatch(), "");
}

TEST(FaxSender, GuardTimesAreTimersOnThePortClockAndThePortsThreadServesOthersMeanwhile) {
    SendCase c;
    c.s.delay = nullptr;  // the machine's own timers keep the guard times
    c.s.options = foExitOnError;
    const QString doc = makeApf(c.folder() + "/doc.apf", 1, 10, false);
    c.events.queue << RecordingEvents::Fax{"9", doc, {}};
    c.class2Setup();
    c.modem.expect("ATDT9", "\r\nNO CARRIER\r\n").expect("ATH0");
    ASSERT_TRUE(c.start());
    ASSERT_TRUE(c.modem.waitDone());
    // The hang-up now waits 1000 ms after "ATH0" on the port's clock, which
    // stands still: the session stays in it, and the port's thread runs other
    // work and answers progress queries at once.
    std::atomic<bool> ran{false};
    ASSERT_EQ(PostToPort(c.port.handle, [&] { ran = c.sender->Running(); }), 0);
    ASSERT_TRUE(waitUntil([&] { return ran.load(); }));
    EXPECT_EQ(c.sender->CurrentProgress().error, ecFaxNoCarrier);
    const uint32_t guardTicks = (kEscapeGuardMs + kMsPerTick - 1) / kMsPerTick;
    c.port.advanceTicks(guardTicks - 1);
    EXPECT_TRUE(c.sender->Running());
    EXPECT_FALSE(c.events.waitFinish(50));
    c.port.advanceTicks(1);
    ASSERT_TRUE(c.events.waitFinish());
    EXPECT_EQ(c.events.finishCode(), ecFaxNoCarrier);
    EXPECT_EQ(IsBusy(c.port.handle), 0);
}

TEST(FaxSender, AnAsyncStartIsCutShortByAnAbortOrTheMachinesEndWhileItsModemSaysNothing) {
    {
        BareCase c;
        c.events.queue << RecordingEvents::Fax{"1", "never.apf", {}};
        c.port.modem.gate(1);  // the init string is never answered
        c.port.modem.start();
        FaxSender sender(c.s, c.events);
        ASSERT_EQ(sender.StartAsync(), 0);
        ASSERT_TRUE(waitUntil([&] { return c.port.modem.atGate(1); }));
        sender.Abort();
        ASSERT_TRUE(c.events.waitFinish());
        c.port.modem.release(1);
        EXPECT_EQ(c.events.finishCode(), ecCancelRequested);
        EXPECT_EQ(c.events.statuses().last().code, fsUserAbort);
        EXPECT_EQ(c.events.nextCalls(), 0);
        EXPECT_FALSE(sender.Running());
        EXPECT_EQ(IsBusy(c.port.handle), 0);
    }
    {
        // Destroyed while its init dialogue waits for the modem: the port is
        // given back and nothing of the machine runs afterwards.
        BareCase c;
        c.port.modem.gate(1);
        c.port.modem.start();
        auto sender = std::make_unique<FaxSender>(c.s, c.events);
        ASSERT_EQ(sender->StartAsync(), 0);
        ASSERT_TRUE(waitUntil([&] { return c.port.modem.atGate(1); }));
        sender.reset();
        EXPECT_EQ(IsBusy(c.port.handle), 0);
        c.port.modem.release(1);
        c.port.advanceTicks(uint32_t(SecsToTicks(120)));
        std::atomic<bool> idle{false};
        ASSERT_EQ(PostToPort(c.port.handle, [&] { idle = true; }), 0);
        ASSERT_TRUE(waitUntil([&] { return idle.load(); }));
        EXPECT_FALSE(c.events.waitFinish(20));
    }
}
