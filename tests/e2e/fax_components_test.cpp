// The fax components through the modem simulator: the send queue with and
// without OnFaxNext, busy numbers, accepting and refusing calls, the port
// check, handlers that delete the component or answer too late, and the
// records the fax history file gets for each of them.
#include <gtest/gtest.h>

#include "common/orv_error.h"
#include "e2e/fax_pages.h"
#include "e2e/fax_programs.h"
#include "engine/fax_components.h"
#include "support/modemsim_runner.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <memory>

namespace orv::test {
namespace {

// Runs the event loop until cond holds or timeoutMs pass.
template <class F>
bool waitFor(F cond, int timeoutMs = 60000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!cond()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

// Waits until the terminal has received n faxes.
bool waitForReceived(ModemSimRunner& sim, int n) {
    QDeadlineTimer deadline(30000);
    while (sim.receivedFiles().size() < n && !deadline.hasExpired()) sim.waitForEvent("RECEIVED", 500, sim.events().size());
    return sim.receivedFiles().size() == n;
}

QString readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromLatin1(f.readAll());
}

// A date and time as the history writes them (any locale's digits and separators).
const QString kDt = QStringLiteral("\\S+ [^\\r\\n]+");

// A window with its port, send component and log, as the send window has them.
struct SendForm {
    std::unique_ptr<QObject> owner = std::make_unique<QObject>();
    QObject& form = *owner;
    TOrvComPort* port;
    TOrvSendFax* fax;
    TOrvFaxLog* log;
    QList<int> logs, errors;
    int finishes = 0;
    int finishCode = 1;

    SendForm(const QString& device, const QString& history) {
        port = new TOrvComPort(&form);
        port->SetDeviceName(device);
        log = new TOrvFaxLog(&form);
        log->SetFaxHistoryName(history);
        fax = new TOrvSendFax(&form);
        fax->SetStationID("orvane test");
        fax->SetDialRetryWait(1);
        if (qEnvironmentVariableIsSet("ORVANE_TEST_TRACE"))
            fax->Trace = [](const QString& t) { fprintf(stderr, "  %s\n", qPrintable(t)); };
        fax->OnFaxLog = [this](TOrvCustomAbstractFax&, TFaxLogCode c) { logs << c; };
        fax->OnFaxError = [this](TOrvCustomAbstractFax&, int c) { errors << c; };
        fax->OnFaxFinish = [this](TOrvCustomAbstractFax&, int c) {
            ++finishes;
            finishCode = c;
        };
    }
    ~SendForm() {
        owner.reset();
        QCoreApplication::processEvents();  // what the components handed over for deletion
    }
    bool waitFinish(int n = 1) { return waitFor([&] { return finishes >= n; }, 120000); }
};

struct Fixture {
    QTemporaryDir work;
    ModemSimRunner sim;
    QString doc;
    QString history;
    bool start(const QStringList& extra = {}) {
        doc = makeTextApf(work.filePath("letter.apf"), 1, 10, false);
        history = work.filePath("ORVFAX.HIS");
        ModemSimRunner::Config config;
        config.extraArgs = extra;
        QString err;
        const bool ok = !doc.isEmpty() && sim.start(config, &err);
        if (!ok) ADD_FAILURE() << err.toStdString();
        return ok;
    }
};

TEST(FaxComponents, WithoutOnFaxNextTheOwnFaxIsSentOnceAndAgainOnTheNextBeginSend) {
    Fixture f;
    ASSERT_TRUE(f.start());
    SendForm w(f.sim.port(1), f.history);
    EXPECT_EQ(w.fax->ComPort(), w.port);  // found on the owner, given the fax line settings
    EXPECT_EQ(w.port->OutSize(), 8192);
    EXPECT_EQ(w.fax->FaxLog(), w.log);
    EXPECT_EQ(w.log->Fax(), w.fax);
    w.fax->SetPhoneNumber("5551234");
    w.fax->SetFaxFile(f.doc);
    w.fax->BeginSend();
    EXPECT_TRUE(w.fax->InProgress());
    ASSERT_TRUE(w.waitFinish()) << f.sim.traceLog().right(2000).toStdString();
    EXPECT_EQ(w.finishCode, 0) << ErrorMessage(w.finishCode).toStdString();
    EXPECT_EQ(w.logs, (QList<int>{logSendBegin, logSendOk}));
    EXPECT_EQ(w.fax->RemoteStationID(), "MODEMSIM TERMINAL");
    EXPECT_EQ(w.fax->PageTotal(), 1);
    EXPECT_FALSE(w.fax->InProgress());

    w.fax->BeginSend();
    ASSERT_TRUE(w.waitFinish(2));
    EXPECT_EQ(w.finishCode, 0);
    EXPECT_EQ(w.logs, (QList<int>{logSendBegin, logSendOk, logSendBegin, logSendOk}));
    EXPECT_TRUE(waitForReceived(f.sim, 2));

    // Two records per fax; the finished record is followed by an empty line.
    const QString one = "Transmit " + QRegularExpression::escape(f.doc) + " to 5551234 started at " + kDt +
                        "\\r\\nTransmit to MODEMSIM TERMINAL finished OK at " + kDt + " \\d+\\r\\n\\r\\n";
    const QRegularExpression whole("\\A" + one + one + "\\z");
    const QString text = readAll(f.history);
    EXPECT_TRUE(whole.match(text).hasMatch()) << text.toStdString();
}

TEST(FaxComponents, AnOnFaxNextQueueSendsEachFaxAndEndsAtAnEmptyNumber) {
    Fixture f;
    ASSERT_TRUE(f.start());
    SendForm w(f.sim.port(1), f.history);
    QStringList numbers{"5550001", "5550002", "5550003", ""};
    QStringList asked;
    w.fax->OnFaxNext = [&](TOrvCustomAbstractFax&, QString& phone, QString& fax, QString& cover) {
        EXPECT_TRUE(phone.isEmpty() && fax.isEmpty() && cover.isEmpty());
        phone = numbers.value(asked.size());
        asked << phone;
        fax = f.doc;
    };
    w.fax->BeginSend();
    ASSERT_TRUE(w.waitFinish()) << f.sim.traceLog().right(2000).toStdString();
    EXPECT_EQ(w.finishCode, 0);
    EXPECT_EQ(asked, numbers);
    EXPECT_EQ(w.logs, (QList<int>{1, 2, 1, 2, 1, 2}));
    EXPECT_TRUE(waitForReceived(f.sim, 3));
    EXPECT_EQ(w.fax->PhoneNumber(), "");  // the handler's last answer
    EXPECT_EQ(readAll(f.history).count("finished OK"), 3);
}

TEST(FaxComponents, ABusyNumberWritesTheFailureWithItsReasonAndAnEmptyLine) {
    Fixture f;
    ASSERT_TRUE(f.start({"--fault", "busy"}));
    SendForm w(f.sim.port(1), f.history);
    w.fax->SetPhoneNumber("5551234");
    w.fax->SetFaxFile(f.doc);
    w.fax->SetDialAttempts(2);
    w.fax->BeginSend();
    ASSERT_TRUE(w.waitFinish());
    EXPECT_EQ(w.logs, (QList<int>{logSendBegin, logSendFail}));
    EXPECT_TRUE(w.errors.contains(ecFaxBusy));
    EXPECT_EQ(w.fax->LastError(), ecFaxBusy);
    const QRegularExpression record("\\ATransmit " + QRegularExpression::escape(f.doc) + " to 5551234 started at " +
                                    kDt + "\\r\\nTransmit failed at " + kDt +
                                    "\\r\\n  \\(Called fax number was busy\\) \\d+\\r\\n\\r\\n\\z");
    const QString text = readAll(f.history);
    EXPECT_TRUE(record.match(text).hasMatch()) << text.toStdString();
}

TEST(FaxComponents, ThePortCheckRaisesBeforeAnythingStarts) {
    QObject form;
    TOrvSendFax alone(&form);
    EXPECT_THROW(alone.BeginSend(), EPortNotAssigned);

    Fixture f;
    ASSERT_TRUE(f.start());
    SendForm w(f.sim.port(1), f.history);
    w.port->SetOutSize(4096);
    w.fax->SetPhoneNumber("1");
    EXPECT_THROW(w.fax->BeginSend(), EOutputBufferTooSmall);
    EXPECT_FALSE(w.fax->InProgress());
    w.port->SetOpen(false);
    w.port->SetOutSize(8192);
    w.port->SetDeviceLayer(dlWinsock);
    EXPECT_THROW(w.fax->BeginSend(), ECannotUseWithWinSock);
    w.port->SetDeviceLayer(dlWin32);
    w.port->SetAutoOpen(false);
    EXPECT_THROW(w.fax->BeginSend(), ECommNotOpen);
}

TEST(FaxComponents, AHandlerMayDeleteTheComponentInsideAnEvent) {
    Fixture f;
    ASSERT_TRUE(f.start());
    auto w = std::make_unique<SendForm>(f.sim.port(1), f.history);
    QPointer<TOrvSendFax> fax = w->fax;
    fax->SetPhoneNumber("5551234");
    fax->SetFaxFile(f.doc);
    int statuses = 0;
    fax->OnFaxStatus = [&](TOrvCustomAbstractFax& cp, bool, bool) {
        ++statuses;
        if (cp.ProgressCode() == fsDialing) delete &cp;  // the window closed while dialling
    };
    fax->BeginSend();
    ASSERT_TRUE(waitFor([&] { return fax.isNull(); }));
    // The session is aborted and hangs up; the port is given back.
    const int handle = w->port->PortHandle();
    ASSERT_TRUE(waitFor([&] { return IsBusy(handle) == 0; }, 30000));
    EXPECT_GE(statuses, 1);
    EXPECT_TRUE(w->logs.isEmpty() || w->logs == QList<int>{logSendBegin});
    // The port works on: another component sends through it.
    TOrvSendFax second(&w->form);
    if (qEnvironmentVariableIsSet("ORVANE_TEST_TRACE"))
        second.Trace = [](const QString& t) { fprintf(stderr, "  %s\n", qPrintable(t)); };
    int code = 1;
    bool done = false;
    second.OnFaxFinish = [&](TOrvCustomAbstractFax&, int c) {
        code = c;
        done = true;
    };
    second.SetPhoneNumber("5551234");
    second.SetFaxFile(f.doc);
    second.BeginSend();
    ASSERT_TRUE(waitFor([&] { return done; }, 120000));
    EXPECT_EQ(code, 0) << ErrorMessage(code).toStdString();
}

// A status display that counts its reports, so the window's display goes with it.
struct CountingDisplay : TOrvAbstractFaxStatus {
    using TOrvAbstractFaxStatus::TOrvAbstractFaxStatus;
    int updates = 0;
    void CreateDisplay() override {}
    void DestroyDisplay() override {}
    void UpdateDisplay(bool, bool) override { ++updates; }
};

TEST(FaxComponents, AWindowMayCloseFromInsideAnyOfItsEvents) {
    // The window (its port, status display, history log and send component)
    // is deleted from inside each kind of event; nothing may touch what it
    // freed (the sanitizer build checks), the session ends and hangs up, and
    // the line works on for the next window.
    Fixture f;
    ASSERT_TRUE(f.start({"--fault", "busy"}));
    enum Where { InFirstStatus, InSendBegin, InError, InFinish, InNext };
    for (const Where where : {InFirstStatus, InSendBegin, InError, InFinish, InNext}) {
        SCOPED_TRACE(int(where));
        auto form = std::make_unique<QObject>();
        auto* port = new TOrvComPort(form.get());
        port->SetDeviceName(f.sim.port(1));
        new CountingDisplay(form.get());
        auto* log = new TOrvFaxLog(form.get());
        log->SetFaxHistoryName(f.history);
        auto* fax = new TOrvSendFax(form.get());
        ASSERT_NE(fax->StatusDisplay(), nullptr);
        fax->SetPhoneNumber("5551234");
        fax->SetFaxFile(f.doc);
        fax->SetDialAttempts(1);  // the busy fault: a dial that fails with an error
        bool closed = false;
        int afterClose = 0;  // a handler goes on after closing the window, using what it captured
        const auto close = [&] {
            if (closed) return;
            closed = true;
            form.reset();
        };
        fax->OnFaxStatus = [&](TOrvCustomAbstractFax&, bool first, bool) {
            if (where == InFirstStatus && first) close();
            if (closed) ++afterClose;
        };
        fax->OnFaxLog = [&](TOrvCustomAbstractFax&, TFaxLogCode c) {
            if (where == InSendBegin && c == logSendBegin) close();
            if (closed) ++afterClose;
        };
        fax->OnFaxError = [&](TOrvCustomAbstractFax&, int) {
            if (where == InError) close();
            if (closed) ++afterClose;
        };
        fax->OnFaxFinish = [&](TOrvCustomAbstractFax&, int) {
            if (where == InFinish) close();
            if (closed) ++afterClose;
        };
        if (where == InNext)
            fax->OnFaxNext = [&](TOrvCustomAbstractFax&, QString& phone, QString& file, QString&) {
                phone = "5551234";
                file = f.doc;
                close();
                if (closed) ++afterClose;
            };
        fax->BeginSend();
        ASSERT_TRUE(waitFor([&] { return closed; }, 120000)) << f.sim.traceLog().right(2000).toStdString();
        EXPECT_EQ(afterClose, 1);  // the closing handler itself; none of the gone window's after it
        // What the components handed over for deletion goes once the session is over.
        QCoreApplication::processEvents();
    }
    // The line is free again: a window opened now reaches the busy number and
    // is told so.
    SendForm w(f.sim.port(1), f.history);
    w.fax->SetPhoneNumber("5551234");
    w.fax->SetFaxFile(f.doc);
    w.fax->SetDialAttempts(1);
    w.fax->BeginSend();
    ASSERT_TRUE(w.waitFinish()) << f.sim.traceLog().right(2000).toStdString();
    EXPECT_EQ(w.finishCode, ecFaxBusy) << ErrorMessage(w.finishCode).toStdString();
}

TEST(FaxComponents, AnOnFaxNextThatTakesTwoSecondsIsAnErrorNotAnEmptyQueue) {
    Fixture f;
    ASSERT_TRUE(f.start());
    SendForm w(f.sim.port(1), f.history);
    int asked = 0;
    w.fax->OnFaxNext = [&](TOrvCustomAbstractFax&, QString& phone, QString& fax, QString&) {
        ++asked;
        QThread::msleep(2000);
        phone = "5551234";
        fax = f.doc;
    };
    w.fax->BeginSend();
    ASSERT_TRUE(w.waitFinish());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(w.finishCode, ecTimeout);
    EXPECT_EQ(w.errors, QList<int>{ecTimeout});
    EXPECT_TRUE(w.logs.isEmpty());
    EXPECT_TRUE(f.sim.receivedFiles().isEmpty());
}

TEST(FaxComponents, AReceiveComponentAcceptsOrRefusesCalls) {
    QTemporaryDir work;
    const TestDocument doc = makeDocument(work.path(), 1, 8);
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.sendFile = doc.allPages;
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    const QString inbox = work.filePath("inbox");
    ASSERT_TRUE(QDir().mkpath(inbox));
    const QString history = work.filePath("ORVFAX.HIS");

    for (const bool accept : {true, false}) {
        SCOPED_TRACE(accept ? "accept" : "refuse");
        QObject form;
        auto* port = new TOrvComPort(&form);
        port->SetDeviceName(sim.port(1));
        auto* log = new TOrvFaxLog(&form);
        log->SetFaxHistoryName(history);
        auto* fax = new TOrvReceiveFax(&form);
        fax->SetDestinationDir(inbox);
        fax->SetOneFax(true);
        fax->SetExitOnError(true);
        QList<int> logs;
        QString remoteSeen, fileAtBegin;
        bool called = false, finished = false;
        int finishCode = 1;
        if (!accept)
            fax->OnFaxAccept = [&](TOrvCustomAbstractFax& cp, bool& ok) {
                remoteSeen = cp.RemoteStationID();
                ok = false;
            };
        fax->OnFaxStatus = [&](TOrvCustomAbstractFax& cp, bool, bool) {
            if (cp.ProgressCode() == fsWaitingForCall && !called) {
                called = true;
                sim.command("call 1");
            }
        };
        fax->OnFaxLog = [&](TOrvCustomAbstractFax& cp, TFaxLogCode c) {
            logs << c;
            if (c == logReceiveBegin) fileAtBegin = cp.FaxFile();
        };
        fax->OnFaxFinish = [&](TOrvCustomAbstractFax&, int c) {
            finishCode = c;
            finished = true;
        };
        fax->BeginReceive();
        if (!accept) {
            // A refused call ends with the skip record; the receive mode then stops it.
            ASSERT_TRUE(waitFor([&] { return logs.contains(logReceiveSkip); }, 120000)) << sim.traceLog().right(2000).toStdString();
            fax->AbortSession();
            ASSERT_TRUE(waitFor([&] { return finished; }, 60000));
            EXPECT_EQ(remoteSeen, "MODEMSIM TERMINAL");
            EXPECT_EQ(logs, QList<int>{logReceiveSkip});
        } else {
            ASSERT_TRUE(waitFor([&] { return finished; }, 120000)) << sim.traceLog().right(2000).toStdString();
            EXPECT_EQ(finishCode, 0) << ErrorMessage(finishCode).toStdString();
            EXPECT_EQ(logs, (QList<int>{logReceiveBegin, logReceiveOk}));
            EXPECT_EQ(fileAtBegin, inbox + "/FAX0001.APF");
            EXPECT_EQ(fax->FaxFile(), "");  // cleared after the end-of-fax record
        }
        if (accept) sim.waitForEvent("SENT", 20000);  // the terminal is through with the first call
    }
    const QRegularExpression records("\\AReceive " + QRegularExpression::escape(inbox) +
                                     "/FAX0001\\.APF from MODEMSIM TERMINAL started at " + kDt +
                                     "\\r\\nReceive finished OK at " + kDt + "\\r\\n\\r\\nReceive skipped at " + kDt +
                                     "\\r\\n\\r\\n\\z");
    const QString text = readAll(history);
    EXPECT_TRUE(records.match(text).hasMatch()) << text.toStdString();
}

}  // namespace
}  // namespace orv::test
