#include "engine/modem_link.h"

#include "common/orv_error.h"
#include "engine/dispatcher.h"

#include <QList>

#include <chrono>
#include <thread>

namespace orv {

QByteArray SelectInitString(bool blindDial, bool detectBusy) {
    const char x = detectBusy ? (blindDial ? '3' : '4') : (blindDial ? '1' : '2');
    return QByteArray("ATE0Q0V1X") + x + "S0=0S2=43";
}

void FaxSession::SetModemInit(const QByteArray& init) {
    QByteArray s = init.trimmed().toUpper().left(40);
    if (!s.isEmpty() && !s.startsWith('A')) s = ("AT" + s).left(40);
    modemInit = s;
}

void FaxSession::SetInitBaud(int32_t baud) {
    initBaud = baud;
    if (baud == 0 || !PortIsOpen(port)) return;
    int32_t current = 0;
    if (GetLineParams(port, &current, nullptr, nullptr, nullptr) == ecOK) baudBeforeInit = current;
    RunBlocking(*this, SwitchToInitBaud(*this));
}

void FaxDelay(FaxSession& s, int ms) {
    // A pause is a pause on the line: what was sent before it goes out first
    // (on the port's own thread, where a session with a test clock calls
    // this, DrainOutput writes it there and then).
    if (PortIsOpen(s.port)) DrainOutput(s.port, kDrainLimitMs);
    if (ms <= 0 || s.Cancelled()) return;
    if (s.delay) {
        s.delay(ms);
        return;
    }
    // In slices, so a cancelled init procedure does not sit out its pauses.
    for (int left = ms; left > 0 && !s.Cancelled(); left -= 20)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(left, 20)));
}

void TraceFax(FaxSession& s, const QString& text) {
    if (s.trace) s.trace(text);
}

namespace {

bool frameCommand(const QByteArray& c) { return c.startsWith("AT+FTH=3") || c.startsWith("AT+FTM="); }

// A Class 1 reception starts at once: the far end begins 75 ms after its last
// signal, and a modem that is told later misses the training that starts the
// data (or the flags before a frame).
bool receiveCommand(const QByteArray& c) {
    return c.startsWith("AT+FRH=") || (c.startsWith("AT+FRM=") && !c.endsWith('?'));
}

// What a sent command looks like in the trace.
QString printable(const QByteArray& bytes) {
    QString out;
    for (char c : bytes) {
        const uint8_t b = uint8_t(c);
        if (b >= 32 && b < 127)
            out += QChar(c);
        else
            out += QStringLiteral("<%1>").arg(b, 2, 16, QChar('0'));
    }
    return out;
}

}  // namespace

int SendAfterPause(FaxSession& s, const QByteArray& bytes, int pauseMs) {
    if (s.delay || pauseMs <= 0) {
        // A session with its own delay function (a test's clock) keeps the pause in its hands.
        FaxDelay(s, pauseMs);
        return SendText(s.port, bytes);
    }
    // The port holds the bytes back for the pause; the port's thread (where
    // the machines run) goes on meanwhile instead of sleeping.
    return SendTextAfterPause(s.port, bytes, pauseMs);
}

int SendModemCommand(FaxSession& s, const QByteArray& command, int extraPauseMs) {
    const int pause = (receiveCommand(command) ? 0 : frameCommand(command) ? kPreFrameCommandDelayMs : kPreCommandDelayMs) +
                      std::max(0, extraPauseMs);
    TraceFax(s, QStringLiteral("-> %1").arg(printable(command)));
    const int rc = SendAfterPause(s, command + '\r', pause);
    if (s.replyTimer > 0) ArmTimerTrigger(s.port, s.replyTimer, s.replyTimeout, true);
    s.localTimer.Start(PortTicks(s.port), uint32_t(s.replyTimeout));
    return rc;
}

ModemTask<int> ModemCommand(FaxSession& s, QByteArray command, QList<QByteArray>* reports) {
    int rc = SendModemCommand(s, command);
    QByteArray line;
    bool done = rc < 0;
    while (!done) {
        int b;
        bool gotLine = false;
        while (!gotLine && (b = TakeByte(s.port)) >= 0) {
            if (b == '\r' || b == '\n') {
                gotLine = !line.isEmpty();
            } else if (b >= 32 && line.size() < LineAssembler::kMaxLine) {
                line.append(char(b));
            }
        }
        if (gotLine) {
            const QByteArray l = TrimLine(line);
            line.clear();
            TraceFax(s, QStringLiteral("<- %1").arg(printable(l)));
            if (l == command) continue;  // the modem echoing it (whatever the command says)
            if (IsResult(l, "ERROR")) {
                rc = ecFaxBadModemResult;
                done = true;
            } else if (IsResult(l, "OK")) {
                rc = ecOK;
                done = true;
            } else if (reports) {
                reports->append(l);
            }
            continue;
        }
        if (DeviceLost(s.port)) {
            rc = ecPutBlockFail;
            break;
        }
        if (s.Cancelled()) {
            rc = ecCancelRequested;
            break;
        }
        bool timedOut = s.localTimer.Remaining(PortTicks(s.port)) == 0;
        if (!timedOut) timedOut = co_await DialogueWake::Input(s);
        if (timedOut) {
            TraceFax(s, QStringLiteral("   no answer"));
            rc = ecTimeout;
            break;
        }
    }
    DiscardInput(s.port);
    co_return rc;
}

int SyncCommand(FaxSession& s, const QByteArray& command, QList<QByteArray>* reports) {
    return RunBlocking(s, ModemCommand(s, command, reports));
}

// ---- the dialogues' waits and their blocking driver ------------------------------------------------

bool DialogueWake::await_ready() {
    if (s_.Cancelled() || DeviceLost(s_.port)) return true;
    if (kind_ == DialogueWait::Input) return false;
    // A pause is a pause on the line: what was sent before it goes out first
    // (from the port's own thread DrainOutput writes it itself).
    if (PortIsOpen(s_.port)) DrainOutput(s_.port, kDrainLimitMs);
    if (ms_ <= 0) return true;
    if (s_.delay) {
        s_.delay(ms_);
        return true;
    }
    return false;
}

void DialogueWake::await_suspend(std::coroutine_handle<> h) { s_.dialogueWait = {kind_, ms_, false, h}; }

bool DialogueWake::await_resume() {
    const bool timedOut = s_.dialogueWait.timedOut;
    s_.dialogueWait = {};
    return kind_ == DialogueWait::Input && timedOut;
}

void DriveBlocking(FaxSession& s, const std::function<void()>& start, const std::function<bool()>& done) {
    const bool wasHeld = SetDispatchHold(s.port, true) == 1;
    start();
    while (!done()) {
        DialogueWait& w = s.dialogueWait;
        if (!w.handle) break;  // cannot happen: a task that is not done waits for something
        if (w.kind == DialogueWait::Time) {
            FaxDelay(s, w.ms);
        } else {
            const uint32_t left = s.localTimer.Remaining(PortTicks(s.port));
            if (WaitForInput(s.port, int(std::min<uint32_t>(left * kMsPerTick, kMsPerTick))) <= 0)
                w.timedOut = s.localTimer.Remaining(PortTicks(s.port)) == 0;
        }
        w.handle.resume();
    }
    SetDispatchHold(s.port, wasHeld);
}

ModemTask<bool> SendInitStrings(FaxSession& s) {
    if (s.modemInitialized) co_return true;
    if (!s.modemInit.isEmpty()) {
        const int rc = co_await ModemCommand(s, s.modemInit);
        if (rc != ecOK) co_return false;
    }
    const int rc = co_await ModemCommand(s, s.defaultInit);
    if (rc != ecOK) co_return false;
    s.modemInitialized = true;
    co_return true;
}

ModemTask<> ResetModemByDtr(FaxSession& s) {
    DrainOutput(s.port, kDrainLimitMs);  // a last command (AT+FKS) goes out first
    DiscardInput(s.port);
    SetModemLines(s.port, false, false);
    co_await DialogueWake::Pause(s, kDtrDropMs);
    SetModemLines(s.port, true, true);
    co_await DialogueWake::Pause(s, kDtrDropMs);
}

namespace {
// "+++" between guard times, then the hang-up command; input is flushed.
ModemTask<> escapeAndHangUp(FaxSession& s, const char* hangUp) {
    co_await DialogueWake::Pause(s, kEscapeGuardMs);
    SendText(s.port, "+++");
    co_await DialogueWake::Pause(s, kEscapeGuardMs);
    SendText(s.port, hangUp);
    co_await DialogueWake::Pause(s, kEscapeGuardMs);
    DiscardInput(s.port);
}
}  // namespace

ModemTask<> HangUpModem(FaxSession& s, bool receiveSide) {
    if (!PortIsOpen(s.port) || DeviceLost(s.port)) co_return;
    TraceFax(s, QStringLiteral("   hanging up"));
    if (receiveSide) {
        co_await ResetModemByDtr(s);  // what was queued (AT+FKS) goes out first
        co_await escapeAndHangUp(s, "ATH\r");
        co_return;
    }
    if (CarrierPresent(s.port) == 1) {
        co_await escapeAndHangUp(s, "ATH0\r");
        if (CarrierPresent(s.port) == 1) co_await ResetModemByDtr(s);
        co_return;
    }
    SendText(s.port, "ATH0\r");
    co_await DialogueWake::Pause(s, kEscapeGuardMs);
    DiscardInput(s.port);
}

namespace {
ModemTask<> switchBaud(FaxSession& s, int32_t baud) {
    if (s.initBaud == 0 || baud == 0 || !PortIsOpen(s.port)) co_return;
    int32_t current = 0;
    GetLineParams(s.port, &current, nullptr, nullptr, nullptr);
    if (current == baud) co_return;
    co_await DialogueWake::Pause(s, kBaudSwitchTicks * int(kMsPerTick));
    SetLineParams(s.port, baud, kNoChangeParity, kNoChangeDataBits, kNoChangeStopBits);
}
}  // namespace

ModemTask<> SwitchToNormalBaud(FaxSession& s) { return switchBaud(s, s.normalBaud ? s.normalBaud : s.baudBeforeInit); }

ModemTask<> SwitchToInitBaud(FaxSession& s) { return switchBaud(s, s.initBaud); }

ModemTask<> EndFailedCall(FaxSession& s, bool receiveSide, bool portGone) {
    if (!portGone) co_await HangUpModem(s, receiveSide);
    co_await SwitchToInitBaud(s);
}

ModemTask<FaxClassSupport> AskFaxClasses(FaxSession& s, bool reset) {
    FaxClassSupport none;
    if (reset) {
        bool ok = false;
        for (int attempt = 0; attempt < 2 && !ok; ++attempt) {
            co_await ResetModemByDtr(s);
            ok = co_await ModemCommand(s, s.defaultInit) == ecOK;
        }
        if (!ok) co_return none;
    }
    QList<QByteArray> reports;
    const int rc = co_await ModemCommand(s, "AT+FCLASS=?", &reports);
    if (rc != ecOK) co_return none;
    // The class list is the last report (a modem may echo or chat before it).
    for (auto it = reports.rbegin(); it != reports.rend(); ++it) {
        const FaxClassSupport c = ParseClassList(*it);
        if (c.any()) co_return c;
    }
    co_return none;
}

FaxClassSupport QueryFaxClasses(FaxSession& s, bool reset) { return RunBlocking(s, AskFaxClasses(s, reset)); }

ModemTask<int> DetectFaxClass(FaxSession& s, bool reset) {
    if (s.faxClass != fcUnknown && s.faxClass != fcDetect) co_return ecOK;
    s.faxClass = fcDetect;
    const FaxClassSupport c = co_await AskFaxClasses(s, reset);
    s.classSupport = c;
    if (c.class2_0) s.faxClass = fcClass2_0;
    else if (c.class2) s.faxClass = fcClass2;
    else if (c.class1) s.faxClass = fcClass1;
    else co_return ecFaxBadModemResult;
    TraceFax(s, QStringLiteral("   fax class %1").arg(s.faxClass == fcClass2_0 ? "2.0" : s.faxClass == fcClass2 ? "2" : "1"));
    co_return ecOK;
}

}  // namespace orv
