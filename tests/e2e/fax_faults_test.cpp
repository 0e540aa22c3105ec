// Our fax engine against every fault the modem simulator plays: each ends
// with its own code and message (or recovers), never crashes, and leaves no
// descriptor or thread behind; a call that breaks off while we receive leaves
// a valid APF file.
#include <gtest/gtest.h>

#include "common/orv_error.h"
#include "e2e/fax_pages.h"
#include "e2e/fax_programs.h"
#include "e2e/fax_session_runner.h"
#include "images/apf_file.h"
#include "support/modemsim_runner.h"

#include <QRegularExpression>
#include <QTemporaryDir>

namespace orv::test {
namespace {

struct SendFault {
    const char* name;
    QStringList faults;     // modemsim --fault specs
    TFaxClass faxClass;
    int code;               // the session's final code
    int pages = 1;          // pages of the document
    int dials = 1;          // ATD commands the modem sees
    int receivedPages = -1; // pages the terminal keeps (-1: it reports no fax)
};

class FaxEngineSendFaults : public ::testing::TestWithParam<SendFault> {};

TEST_P(FaxEngineSendFaults, EndsWithTheRightCode) {
    const SendFault& f = GetParam();
    QTemporaryDir work;
    const QString doc = makeTextApf(work.filePath("doc.apf"), f.pages, 14, false);
    ASSERT_FALSE(doc.isEmpty());
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    for (const QString& spec : f.faults) config.extraArgs << "--fault" << spec;
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    const int fds = openDescriptors(), threads = runningThreads();

    const SessionResult r = runSend(sim.port(1), "5551234", doc, [&](FaxSendSession& s) {
        s.faxClass = f.faxClass;
        s.dialAttempts = f.dials;
        s.dialRetryWait = SecsToTicks(1);
        s.replyTimeout = SecsToTicks(3);
    });
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.finishCode, f.code) << ErrorMessage(r.finishCode).toStdString() << "\n"
                                     << sim.traceLog().right(2500).toStdString();
    if (f.code != 0) {
        EXPECT_FALSE(ErrorMessage(f.code).isEmpty());
        EXPECT_TRUE(r.errors.contains(f.code));
        EXPECT_EQ(r.logs.last(), logSendFail);
    } else {
        EXPECT_EQ(r.logs, (QList<int>{logSendBegin, logSendOk}));
    }
    EXPECT_EQ(openDescriptors(), fds);
    EXPECT_EQ(runningThreads(), threads);
    EXPECT_EQ(sim.traceLog().count(QRegularExpression("<- ATD")), f.dials) << sim.traceLog().toStdString();
    if (f.receivedPages >= 0) {
        const QString received = sim.waitForEvent("RECEIVED", 20000);
        EXPECT_TRUE(received.contains(QStringLiteral("pages=%1").arg(f.receivedPages))) << received.toStdString();
    }
    sim.stop();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaxEngineSendFaults,
    ::testing::Values(
        SendFault{"BusyToTheEnd", {"busy"}, fcClass2, ecFaxBusy, 1, 2},
        SendFault{"BusyOnceThenThrough", {"busy=1"}, fcClass2_0, ecOK, 1, 2, 1},
        SendFault{"NoAnswer", {"no-answer"}, fcClass2, ecFaxBusy, 1, 1},
        SendFault{"NoDialTone", {"no-dialtone"}, fcClass2_0, ecFaxNoDialTone},
        SendFault{"NoCarrier", {"no-carrier"}, fcClass2, ecFaxNoCarrier},
        SendFault{"SilentFarEnd", {"silence"}, fcClass2_0, ecFaxBadModemResult},
        SendFault{"FarEndHangsUpOnPage2", {"hangup-page=2"}, fcClass2, ecFaxSessionError, 3},
        SendFault{"CarrierLostOnPage1", {"carrier-loss-page=1"}, fcClass2_0, ecFaxSessionError},
        SendFault{"RtnThenResentClass2", {"rtn-page=1"}, fcClass2, ecOK, 2, 1, 2},
        SendFault{"RtnThenResentClass20", {"rtn-page=1"}, fcClass2_0, ecOK, 2, 1, 2},
        SendFault{"PinOnPage1", {"pin-page=1"}, fcClass2, ecCancelRequested},
        SendFault{"MuteSetUp", {"mute=+FDIS"}, fcClass2, ecTimeout, 1, 0},
        SendFault{"GarbageBeforeConnect", {"garbage=+FDT"}, fcClass2, ecOK, 1, 1, 1},
        SendFault{"SlowModem", {"slow=400:+FDT"}, fcClass2_0, ecOK, 1, 1, 1},
        SendFault{"WrongAnswerToFdt", {"wrong=+FDT:ERROR"}, fcClass2, ecFaxBadModemResult},
        SendFault{"UnpluggedWhileSending", {"unplug=+FDT"}, fcClass2_0, ecCommNotOpen}),
    [](const auto& info) { return std::string(info.param.name); });

// The far end hangs up, or the modem is unplugged, while we receive: what
// arrived stays in a valid APF file.
struct ReceiveFault {
    const char* name;
    QString fault;
    int code;
    int wholePages;  // pages that must have come whole
    TFaxClass faxClass = fcClass2;
};

class FaxEngineReceiveFaults : public ::testing::TestWithParam<ReceiveFault> {};

TEST_P(FaxEngineReceiveFaults, KeepsAValidFileOfWhatArrived) {
    QTemporaryDir work;
    const TestDocument doc = makeDocument(work.path(), 2, 40);
    ASSERT_EQ(doc.pages.size(), 2);
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.sendFile = doc.allPages;
    config.extraArgs << "--fault" << GetParam().fault;
    if (GetParam().faxClass == fcClass1) {
        // Our own T.30 answers: 4x line time leaves it the 75 ms to listen.
        config.speed = 4;
        config.extraArgs << "--classes" << "1";
    }
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    const QString inbox = work.filePath("inbox");
    ASSERT_TRUE(QDir().mkpath(inbox));
    const int fds = openDescriptors(), threads = runningThreads();

    const SessionResult r = runReceive(sim.port(1), inbox, [&] { sim.command("call 1"); },
                                       [&](FaxReceiveSession& s) { s.faxClass = GetParam().faxClass; });
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.finishCode, GetParam().code) << ErrorMessage(r.finishCode).toStdString() << "\n"
                                            << sim.traceLog().right(2500).toStdString();
    EXPECT_EQ(r.logs, (QList<int>{logReceiveBegin, logReceiveFail}));
    EXPECT_EQ(openDescriptors(), fds);
    EXPECT_EQ(runningThreads(), threads);
    ASSERT_EQ(r.receivedFiles.size(), 1);
    ApfReader apf;
    ASSERT_EQ(apf.open(r.receivedFiles[0]), 0);
    ASSERT_GE(apf.pageCount(), GetParam().wholePages);
    // Every page the file counts is there in full, the last one as far as it came.
    for (int p = 1; p <= apf.pageCount(); ++p) {
        ApfPageHeader ph;
        QByteArray data;
        EXPECT_EQ(apf.readPage(p, ph, data), 0) << p;
        EXPECT_GT(decodeApfPage(r.receivedFiles[0], p).height, 0) << p;
    }
    // Pages that came whole decode to what the terminal sent.
    for (int p = 0; p < GetParam().wholePages; ++p) {
        const auto sent = readTiffPages(doc.pages[p]);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(comparePages(sent[0], decodeApfPage(r.receivedFiles[0], p + 1)).toStdString(), "");
    }
    sim.stop();
}

INSTANTIATE_TEST_SUITE_P(Faults, FaxEngineReceiveFaults,
                         ::testing::Values(ReceiveFault{"CallerHangsUpOnPage2", "hangup-page=2", ecFaxSessionError, 1},
                                           ReceiveFault{"UnpluggedAtFirstPage", "unplug=+FDR", ecCommNotOpen, 0},
                                           ReceiveFault{"Class1CallerHangsUpOnPage2", "hangup-page=2", ecFaxSessionError, 1,
                                                        fcClass1},
                                           // Off the air but off-hook: nothing more is heard, the reply time runs out.
                                           ReceiveFault{"Class1CallerSilentOnPage2", "carrier-loss-page=2", ecTimeout,
                                                        1, fcClass1}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orv::test
