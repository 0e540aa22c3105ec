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
    SwitchToInitBaud(*this);
}

void FaxDelay(FaxSession& s, int ms) {
    // A pause is a pause on the line: what was sent before it goes out first
    // (the machines run on the port's own thread, which would otherwise
    // write it only after them).
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

int SendModemCommand(FaxSession& s, const QByteArray& command) {
    const int pause = receiveCommand(command) ? 0 : frameCommand(command) ? kPreFrameCommandDelayMs : kPreCommandDelayMs;
    int rc;
    if (s.delay || pause == 0) {
        // A session with its own delay function (a test's clock) keeps the pause in its hands.
        FaxDelay(s, pause);
        TraceFax(s, QStringLiteral("-> %1").arg(printable(command)));
        rc = SendText(s.port, command + '\r');
    } else {
        // The port holds the command back for the pause; the port's thread
        // (where the machines run) goes on meanwhile instead of sleeping.
        TraceFax(s, QStringLiteral("-> %1").arg(printable(command)));
        rc = SendTextAfterPause(s.port, command + '\r', pause);
    }
    if (s.replyTimer > 0) ArmTimerTrigger(s.port, s.replyTimer, s.replyTimeout, true);
    s.localTimer.Start(PortTicks(s.port), uint32_t(s.replyTimeout));
    return rc;
}

int SyncCommand(FaxSession& s, const QByteArray& command, QList<QByteArray>* reports) {
    const bool wasHeld = SetDispatchHold(s.port, true) == 1;
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
        const uint32_t left = s.localTimer.Remaining(PortTicks(s.port));
        if (left == 0) {
            TraceFax(s, QStringLiteral("   no answer"));
            rc = ecTimeout;
            break;
        }
        // No event loop runs here (a window handler re-entering a half-set-up
        // session is worse than a window that waits); the fax components run
        // this dialogue on a thread of their own.
        WaitForInput(s.port, int(std::min<uint32_t>(left * kMsPerTick, kMsPerTick)));
    }
    DiscardInput(s.port);
    SetDispatchHold(s.port, wasHeld);
    return rc;
}

void ResetModemByDtr(FaxSession& s) {
    DrainOutput(s.port, kDrainLimitMs);  // a last command (AT+FKS) goes out first
    DiscardInput(s.port);
    SetModemLines(s.port, false, false);
    FaxDelay(s, kDtrDropMs);
    SetModemLines(s.port, true, true);
    FaxDelay(s, kDtrDropMs);
}

namespace {
// "+++" between guard times, then the hang-up command; input is flushed.
void escapeAndHangUp(FaxSession& s, const char* hangUp) {
    FaxDelay(s, kEscapeGuardMs);
    SendText(s.port, "+++");
    FaxDelay(s, kEscapeGuardMs);
    SendText(s.port, hangUp);
    FaxDelay(s, kEscapeGuardMs);
    DiscardInput(s.port);
}
}  // namespace

void HangUpModem(FaxSession& s, bool receiveSide) {
    if (!PortIsOpen(s.port) || DeviceLost(s.port)) return;
    TraceFax(s, QStringLiteral("   hanging up"));
    if (receiveSide) {
        ResetModemByDtr(s);  // what was queued (AT+FKS) goes out first
        escapeAndHangUp(s, "ATH\r");
        return;
    }
    if (CarrierPresent(s.port) == 1) {
        escapeAndHangUp(s, "ATH0\r");
        if (CarrierPresent(s.port) == 1) ResetModemByDtr(s);
        return;
    }
    SendText(s.port, "ATH0\r");
    FaxDelay(s, kEscapeGuardMs);
    DiscardInput(s.port);
}

namespace {
void switchBaud(FaxSession& s, int32_t baud) {
    if (s.initBaud == 0 || baud == 0 || !PortIsOpen(s.port)) return;
    int32_t current = 0;
    GetLineParams(s.port, &current, nullptr, nullptr, nullptr);
    if (current == baud) return;
    FaxDelay(s, kBaudSwitchTicks * int(kMsPerTick));
    SetLineParams(s.port, baud, kNoChangeParity, kNoChangeDataBits, kNoChangeStopBits);
}
}  // namespace

void SwitchToNormalBaud(FaxSession& s) { switchBaud(s, s.normalBaud ? s.normalBaud : s.baudBeforeInit); }

void SwitchToInitBaud(FaxSession& s) { switchBaud(s, s.initBaud); }

FaxClassSupport QueryFaxClasses(FaxSession& s, bool reset) {
    FaxClassSupport none;
    if (reset) {
        bool ok = false;
        for (int attempt = 0; attempt < 2 && !ok; ++attempt) {
            ResetModemByDtr(s);
            ok = SyncCommand(s, s.defaultInit) == ecOK;
        }
        if (!ok) return none;
    }
    QList<QByteArray> reports;
    if (SyncCommand(s, "AT+FCLASS=?", &reports) != ecOK) return none;
    // The class list is the last report (a modem may echo or chat before it).
    for (auto it = reports.rbegin(); it != reports.rend(); ++it) {
        const FaxClassSupport c = ParseClassList(*it);
        if (c.any()) return c;
    }
    return none;
}

int DetectFaxClass(FaxSession& s, bool reset) {
    if (s.faxClass != fcUnknown && s.faxClass != fcDetect) return ecOK;
    s.faxClass = fcDetect;
    const FaxClassSupport c = QueryFaxClasses(s, reset);
    s.classSupport = c;
    if (c.class2_0) s.faxClass = fcClass2_0;
    else if (c.class2) s.faxClass = fcClass2;
    else if (c.class1) s.faxClass = fcClass1;
    else return ecFaxBadModemResult;
    TraceFax(s, QStringLiteral("   fax class %1").arg(s.faxClass == fcClass2_0 ? "2.0" : s.faxClass == fcClass2 ? "2" : "1"));
    return ecOK;
}

}  // namespace orv
