// Our own T.30 over a Class 1 modem (modemsim: spandsp's T.31) against
// spandsp's fax terminal and against ourselves: faxes sent and received at
// every rate, the rate limited from our side (DesiredBPS) and from the far
// side, pages compared pixel for pixel; RTN, busy, no carrier, a far end that
// hangs up or falls silent after a page, FTT at every rate, DCN in answer to
// the training; stepping down through FTT to 2400 bit/s.
#include <gtest/gtest.h>

#include "common/orv_error.h"
#include "e2e/fax_pages.h"
#include "e2e/fax_programs.h"
#include "e2e/fax_session_runner.h"
#include "images/apf_file.h"
#include "support/modemsim_runner.h"
#include "support/test_paths.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace orv::test {
namespace {

// Line time at 8x real time when we call, 4x when we answer: T.30 leaves the
// answering side 75 ms of line time to start listening, which a busy test
// machine must meet.
constexpr double kSendSpeed = 8;
constexpr double kAnswerSpeed = 4;

struct SendParam {
    const char* name;
    int pages;
    bool fine;
    int desiredBps;
    int farEndMax;   // modemsim --terminal-max-rate
    int expectedBps;
};

class Class1Sends : public ::testing::TestWithParam<SendParam> {};

TEST_P(Class1Sends, PagesArriveAtTheTerminalAsEncoded) {
    const SendParam& p = GetParam();
    QTemporaryDir work;
    const QString doc = makeTextApf(work.filePath("doc.apf"), p.pages, 12, p.fine);
    ASSERT_FALSE(doc.isEmpty());
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.speed = kSendSpeed;
    config.extraArgs << "--classes" << "1" << "--terminal-max-rate" << QString::number(p.farEndMax);
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    const int fds = openDescriptors(), threads = runningThreads();

    QStringList trace;
    const SessionResult r = runSend(sim.port(1), "5551234", doc, [&](FaxSendSession& s) {
        s.faxClass = fcDetect;  // the modem offers Class 1 only: detection picks it
        s.desiredBps = p.desiredBps;
        s.stationId = "orvane class 1";
        s.headerLine = "ORVANE TEST page $P of $N";
        s.trace = [&](const QString& t) { trace << t; };
    });
    ASSERT_TRUE(r.finished);
    ASSERT_EQ(r.finishCode, 0) << ErrorMessage(r.finishCode).toStdString() << trace.join('\n').right(3000).toStdString();
    EXPECT_EQ(r.logs, (QList<int>{logSendBegin, logSendOk}));
    EXPECT_EQ(r.last.remoteId, "MODEMSIM TERMINAL");
    EXPECT_EQ(r.last.bps, p.expectedBps);
    EXPECT_EQ(r.last.fine, p.fine);
    EXPECT_TRUE(trace.contains("   fax class 1"));
    EXPECT_EQ(openDescriptors(), fds);
    EXPECT_EQ(runningThreads(), threads);

    const QString received = sim.waitForEvent("RECEIVED", 20000);
    ASSERT_TRUE(received.contains(QStringLiteral("pages=%1 status=0").arg(p.pages))) << received.toStdString();
    const auto pages = readTiffPages(sim.receivedFiles().value(0), &err);
    ASSERT_EQ(int(pages.size()), p.pages) << err.toStdString();
    const int headerRows = p.fine ? 16 : 8;
    for (int i = 0; i < p.pages; ++i) {
        SCOPED_TRACE(i + 1);
        const BilevelPage sent = decodeApfPage(doc, i + 1);
        ASSERT_GT(sent.height, 100);
        EXPECT_EQ(comparePages(sent, dropTopRows(pages[size_t(i)], kLeadRows + headerRows)).toStdString(), "");
    }
    EXPECT_TRUE(sim.stop());
}

INSTANTIATE_TEST_SUITE_P(Rates, Class1Sends,
                         ::testing::Values(SendParam{"OnePage14400", 1, false, 14400, 14400, 14400},
                                           SendParam{"TwoPagesFine12000", 2, true, 12000, 14400, 12000},
                                           SendParam{"TenPages14400", 10, false, 14400, 14400, 14400},
                                           SendParam{"OnePage9600", 1, false, 9600, 14400, 9600},
                                           SendParam{"OnePageFine7200", 1, true, 7200, 14400, 7200},
                                           SendParam{"OnePage2400", 1, false, 2400, 14400, 2400},
                                           SendParam{"FarEndUpTo4800", 1, true, 14400, 4800, 4800}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ReceiveParam {
    const char* name;
    int desiredBps;
    int farEndMax;
    int expectedBps;
};

class Class1Receives : public ::testing::TestWithParam<ReceiveParam> {};

TEST_P(Class1Receives, TerminalPagesLandInAnApfFile) {
    const ReceiveParam& p = GetParam();
    QTemporaryDir work;
    const TestDocument doc = makeDocument(work.path(), 2, 12);
    ASSERT_EQ(doc.pages.size(), 2);
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.speed = kAnswerSpeed;
    config.sendFile = doc.allPages;
    config.extraArgs << "--classes" << "1" << "--terminal-max-rate" << QString::number(p.farEndMax);
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    const QString inbox = work.filePath("inbox");
    ASSERT_TRUE(QDir().mkpath(inbox));
    const int fds = openDescriptors(), threads = runningThreads();

    QStringList trace;
    const SessionResult r = runReceive(sim.port(1), inbox, [&] { sim.command("call 1"); }, [&](FaxReceiveSession& s) {
        s.faxClass = fcClass1;
        s.desiredBps = p.desiredBps;
        s.stationId = "orvane";
        s.trace = [&](const QString& t) { trace << t; };
    });
    ASSERT_TRUE(r.finished);
    ASSERT_EQ(r.finishCode, 0) << ErrorMessage(r.finishCode).toStdString() << trace.join('\n').right(3000).toStdString();
    EXPECT_EQ(r.logs, (QList<int>{logReceiveBegin, logReceiveOk}));
    EXPECT_EQ(r.last.remoteId, "MODEMSIM TERMINAL");
    EXPECT_EQ(r.last.bps, p.expectedBps);
    EXPECT_EQ(openDescriptors(), fds);
    EXPECT_EQ(runningThreads(), threads);
    ASSERT_EQ(r.receivedFiles, QStringList{inbox + "/FAX0001.APF"});
    ApfReader apf;
    ASSERT_EQ(apf.open(r.receivedFiles[0]), 0);
    ASSERT_EQ(apf.pageCount(), 2);
    EXPECT_EQ(apf.header().stationId, QByteArray("MODEMSIM TERMINAL   "));
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i + 1);
        const auto sent = readTiffPages(doc.pages[i]);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(comparePages(sent[0], decodeApfPage(r.receivedFiles[0], i + 1)).toStdString(), "");
    }
    EXPECT_TRUE(sim.waitForEvent("SENT", 10000).contains("pages=2 status=0"));
    EXPECT_TRUE(sim.stop());
}

// 12000 is below what V.17 offers: our FTT makes the caller step down to it.
INSTANTIATE_TEST_SUITE_P(Rates, Class1Receives,
                         ::testing::Values(ReceiveParam{"At14400", 14400, 14400, 14400},
                                           ReceiveParam{"LimitedTo12000", 12000, 14400, 12000},
                                           ReceiveParam{"LimitedTo7200", 7200, 14400, 7200},
                                           ReceiveParam{"At4800", 4800, 14400, 4800},
                                           ReceiveParam{"At2400", 2400, 14400, 2400},
                                           ReceiveParam{"FarEndUpTo9600", 14400, 9600, 9600}),
                         [](const auto& info) { return std::string(info.param.name); });

struct FaultParam {
    const char* name;
    QStringList faults;
    int code;
    int pages;
    int dials;
    int receivedPages;  // -1: the terminal keeps no fax
    int desiredBps = 9600;
    QStringList traceLines = {};  // lines our trace must hold
};

class Class1SendFaults : public ::testing::TestWithParam<FaultParam> {};

TEST_P(Class1SendFaults, EndsWithTheRightCode) {
    const FaultParam& f = GetParam();
    QTemporaryDir work;
    const QString doc = makeTextApf(work.filePath("doc.apf"), f.pages, 12, false);
    ASSERT_FALSE(doc.isEmpty());
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.speed = kSendSpeed;
    config.extraArgs << "--classes" << "1";
    for (const QString& spec : f.faults) config.extraArgs << "--fault" << spec;
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    const int fds = openDescriptors(), threads = runningThreads();
    QStringList trace;
    const SessionResult r = runSend(sim.port(1), "5551234", doc, [&](FaxSendSession& s) {
        s.faxClass = fcClass1;
        s.desiredBps = f.desiredBps;
        s.dialAttempts = f.dials;
        s.dialRetryWait = SecsToTicks(1);
        s.replyTimeout = SecsToTicks(5);
        s.trace = [&](const QString& t) { trace << t; };
    });
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.finishCode, f.code) << ErrorMessage(r.finishCode).toStdString() << "\n"
                                     << trace.join('\n').right(3000).toStdString();
    if (f.code != 0) {
        EXPECT_TRUE(r.errors.contains(f.code));
        EXPECT_EQ(r.logs.last(), logSendFail);
    } else {
        EXPECT_EQ(r.logs, (QList<int>{logSendBegin, logSendOk}));
    }
    EXPECT_EQ(openDescriptors(), fds);
    EXPECT_EQ(runningThreads(), threads);
    EXPECT_EQ(sim.traceLog().count(QRegularExpression("<- ATD")), f.dials);
    if (f.receivedPages >= 0) {
        const QString received = sim.waitForEvent("RECEIVED", 20000);
        EXPECT_TRUE(received.contains(QStringLiteral("pages=%1").arg(f.receivedPages))) << received.toStdString();
    }
    for (const QString& line : f.traceLines) EXPECT_TRUE(trace.contains(line)) << line.toStdString();
    sim.stop();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, Class1SendFaults,
    ::testing::Values(FaultParam{"BusyToTheEnd", {"busy"}, ecFaxBusy, 1, 2, -1},
                      FaultParam{"NoCarrier", {"no-carrier"}, ecFaxNoCarrier, 1, 1, -1},
                      FaultParam{"NoDialTone", {"no-dialtone"}, ecFaxNoDialTone, 1, 1, -1},
                      FaultParam{"FarEndHangsUpOnPage2", {"hangup-page=2"}, ecFaxSessionError, 3, 1, -1},
                      FaultParam{"RtnThenResent", {"rtn-page=1"}, ecOK, 2, 1, 2, 9600,
                                 {"   page rejected: sending it again (1 of 3)"}},
                      // No answer to MPS: three tries, then the time-out.
                      FaultParam{"SilentAfterPage1", {"silent-after-page=1"}, ecTimeout, 2, 1, -1},
                      // FTT at every rate: down from 14400 to 2400, then the training error.
                      FaultParam{"FttAtEveryRate", {"ftt"}, ecFaxTrainError, 1, 1, -1, 14400,
                                 {"   training failed at 14400", "   training failed at 12000",
                                  "   training failed at 9600", "   training failed at 7200",
                                  "   training failed at 4800", "   training failed at 2400"}},
                      FaultParam{"DcnDuringTraining", {"dcn-training"}, ecCancelRequested, 1, 1, -1}),
    [](const auto& info) { return std::string(info.param.name); });

// Orvane to Orvane through a pair of simulated modems: orvfax receive takes
// at most 12000 bit/s while its DIS offers V.17, so our sender, starting at
// 14400, is answered with FTT and steps down.
TEST(Class1OrvaneToOrvane, StepsDownOnFtt) {
    QTemporaryDir work;
    const QString doc = makeTextApf(work.filePath("doc.apf"), 2, 10, true);
    ASSERT_FALSE(doc.isEmpty());
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.speed = kAnswerSpeed;
    config.ports = 2;
    config.extraArgs << "--classes" << "1";
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    const QString inbox = work.filePath("inbox");
    ASSERT_TRUE(QDir().mkpath(inbox));
    LoggedProgram receiver(program("orvfax"),
                           {"receive", "--port", sim.port(2), "--class", "1", "--speed-limit", "12000", "--once", "--dir",
                            inbox, "--station", "ORVANE RX"},
                           work.filePath("receiver.log"));
    ASSERT_TRUE(receiver.waitForLog("Waiting for incoming call", 30000)) << receiver.log().toStdString();

    QStringList trace;
    const SessionResult r = runSend(sim.port(1), "1002", doc, [&](FaxSendSession& s) {
        s.faxClass = fcClass1;
        s.desiredBps = 14400;
        s.stationId = "ORVANE TX";
        s.trace = [&](const QString& t) { trace << t; };
    });
    ASSERT_TRUE(r.finished);
    ASSERT_EQ(r.finishCode, 0) << ErrorMessage(r.finishCode).toStdString() << trace.join('\n').right(3000).toStdString();
    EXPECT_EQ(r.last.remoteId, "ORVANE RX");
    EXPECT_EQ(r.last.bps, 12000);
    EXPECT_TRUE(trace.contains(QStringLiteral("   training failed at 14400"))) << trace.join('\n').toStdString();
    EXPECT_EQ(receiver.wait(60000), 0) << receiver.log().toStdString();

    ApfReader apf;
    ASSERT_EQ(apf.open(inbox + "/FAX0001.APF"), 0);
    ASSERT_EQ(apf.pageCount(), 2);
    EXPECT_EQ(apf.header().stationId, QByteArray("ORVANE TX           "));
    for (int i = 1; i <= 2; ++i) {
        SCOPED_TRACE(i);
        const BilevelPage sent = decodeApfPage(doc, i);
        const BilevelPage got = decodeApfPage(inbox + "/FAX0001.APF", i);
        EXPECT_EQ(comparePages(sent, dropTopRows(got, kLeadRows)).toStdString(), "");
    }
    EXPECT_TRUE(sim.stop());
}

}  // namespace
}  // namespace orv::test
