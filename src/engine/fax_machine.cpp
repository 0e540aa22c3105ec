#include "engine/fax_machine.h"

#include "common/orv_error.h"
#include "engine/dispatcher.h"
#include "engine/modem_link.h"

#include <cstring>

namespace orv {

FaxMachine::FaxMachine(FaxSession& session, FaxEvents& events)
    : session_(session), events_(events), guard_(std::make_shared<Guard>()) {
    guard_->machine = this;
}

FaxMachine::~FaxMachine() { shutDown(); }

void FaxMachine::shutDown() {
    std::lock_guard lock(guard_->mutex);  // waits for a step running on the I/O thread
    if (!guard_->machine) return;         // done already, by the derived machine's destructor
    guard_->machine = nullptr;
    dialogue_.reset();  // a dialogue left suspended goes with its frames
    session_.dialogueWait = {};
    initOver(ecCancelRequested);
    if (running_ && !finished_) {
        // Destroyed mid-session: give the port back without a word to the host.
        if (sink_ > 0) DetachTriggerSink(Port(), sink_);
        releaseTriggers();
        SetBusy(Port(), false);
        ParkClientData(Port(), kFaxSessionSlot, nullptr);
        running_ = false;
    }
}

// ---- start --------------------------------------------------------------------------

int FaxMachine::allocateTriggers() {
    FaxSession& s = session_;
    SetAvailLevel(Port(), 1);
    s.replyTimer = NewTimerTrigger(Port());
    s.statusTimer = NewTimerTrigger(Port());
    s.outFreeTrigger = NewStatusTrigger(Port(), stOutFree);
    s.outUsedTrigger = NewStatusTrigger(Port(), stOutUsed);
    s.modemTrigger = NewStatusTrigger(Port(), stModem);
    for (int* t : {&s.replyTimer, &s.statusTimer, &s.outFreeTrigger, &s.outUsedTrigger, &s.modemTrigger}) {
        if (*t < 0) {
            *t = 0;
            releaseTriggers();
            return ecNoMoreTriggers;
        }
    }
    return ecOK;
}

void FaxMachine::releaseTriggers() {
    FaxSession& s = session_;
    for (int* t : {&s.replyTimer, &s.statusTimer, &s.outFreeTrigger, &s.outUsedTrigger, &s.modemTrigger}) {
        if (*t > 0) DropTrigger(Port(), *t);
        *t = 0;
    }
}

int FaxMachine::prepareStart() {
    if (running_) return ecBadArgument;
    finished_ = false;
    portGone_ = false;
    abortPending_ = false;
    portGonePending_ = false;
    statusChanged_ = false;
    fired_ = 0;
    session_.error = 0;
    if (!session_.cancel) session_.cancel = std::make_shared<std::atomic<bool>>(false);
    *session_.cancel = false;
    if (!PortIsOpen(Port())) {
        ReportError(ecCommNotOpen);
        events_.FaxFinish(ecCommNotOpen, Progress());
        return ecCommNotOpen;
    }
    running_ = true;
    if (const int rc = allocateTriggers(); rc < 0) {
        ReportError(rc);
        FinishSession();
        return rc;
    }
    ParkClientData(Port(), kFaxSessionSlot, &session_);
    SetBusy(Port(), true);
    return ecOK;
}

int FaxMachine::start(bool async) {
    {
        std::lock_guard lock(guard_->mutex);
        if (const int rc = prepareStart(); rc < 0) return rc;
        asyncInit_ = async;
        std::lock_guard wait(initMutex_);
        initPending_ = true;
        initResult_ = 0;
    }
    std::weak_ptr<Guard> weak = guard_;
    const int posted = PostToPort(Port(), [weak] {
        if (auto g = weak.lock()) {
            std::lock_guard lock(g->mutex);
            if (g->machine && !g->machine->finished_) g->machine->beginInit();
        }
    });
    if (posted != ecOK) {
        std::lock_guard lock(guard_->mutex);
        ReportError(ecCommNotOpen);
        FinishSession();
        return ecCommNotOpen;
    }
    if (async || OnPortThread(Port())) return ecOK;
    std::unique_lock wait(initMutex_);
    initCv_.wait(wait, [this] { return !initPending_; });
    return initResult_;
}

int FaxMachine::Start() { return start(false); }

int FaxMachine::StartAsync() { return start(true); }

void FaxMachine::beginInit() {
    std::weak_ptr<Guard> weak = guard_;
    sink_ = AttachTriggerSink(Port(), [weak](unsigned msg, unsigned wParam, uint32_t lParam) {
        if (auto g = weak.lock()) {
            std::lock_guard lock(g->mutex);
            if (g->machine) g->machine->onTrigger(msg, wParam, lParam);
        }
    });
    inInit_ = true;
    dialogue_.emplace(Dialogue{Init(), [this] { return afterInit(); }, asyncInit_, false});
    runStates();
}

FaxMachine::Next FaxMachine::afterInit() {
    inInit_ = false;
    if (portGone_ || !PortIsOpen(Port()) || DeviceLost(Port())) {
        // The port closed or its device went while the modem was being set up.
        if (!portGone_) Trace(QStringLiteral("   the port went away"));
        portGone_ = true;
        initOver(ecCommNotOpen);
        return Fail(ecCommNotOpen);
    }
    if (session_.Cancelled() && abortPending_.exchange(false)) {
        // Aborted while the modem was being set up: whatever the cut-off
        // dialogue left in the session, the user's abort is the outcome.
        Trace(QStringLiteral("   user abort"));
        session_.status = fsUserAbort;
        ReportError(ecCancelRequested);
        ReportStatus(false, true);
        FinishSession();
        return Next::OnTrigger;
    }
    if (session_.error != 0) {
        ReportStatus(false, true);
        FinishSession();
        return Next::OnTrigger;
    }
    ArmTimerTrigger(Port(), session_.statusTimer, SecsToTicks(std::max(1, session_.statusInterval)), true);
    initOver(ecOK);
    return Next::Now;
}

void FaxMachine::initOver(int result) {
    std::lock_guard lock(initMutex_);
    if (!initPending_) return;
    initPending_ = false;
    initResult_ = result;
    initCv_.notify_all();
}

// ---- dialogues between states ------------------------------------------------------------------

FaxMachine::Next FaxMachine::RunDialogue(ModemTask<> dialogue, std::function<Next()> then) {
    dialogue_.emplace(Dialogue{std::move(dialogue), std::move(then), false, false});
    return Next::Now;  // the driver starts it
}

std::optional<FaxMachine::Next> FaxMachine::pumpDialogue() {
    Dialogue& d = *dialogue_;
    FaxSession& s = session_;
    if (!d.started) {
        d.started = true;
        d.task.start();
    } else {
        DialogueWait& w = s.dialogueWait;
        const bool timerFired = ReplyTimerFired();
        const bool cut = s.Cancelled() || DeviceLost(Port());
        if (w.kind == DialogueWait::Time && !timerFired && !cut) return std::nullopt;
        // Input: any trigger may have brought it; the dialogue looks again.
        w.timedOut = w.kind == DialogueWait::Input && timerFired;
        if (w.handle) w.handle.resume();
    }
    if (!d.task.done()) {
        if (s.dialogueWait.kind == DialogueWait::Time) {
            const int ticks = std::max(1, int((uint32_t(s.dialogueWait.ms) + kMsPerTick - 1) / kMsPerTick));
            ArmTimerTrigger(Port(), s.replyTimer, ticks, true);
        }
        return std::nullopt;
    }
    const std::function<Next()> then = std::move(d.then);
    ModemTask<> over = std::move(d.task);
    dialogue_.reset();
    over.result();
    return then();
}

// ---- abort and a closing port ------------------------------------------------------------

namespace {
// Runs fn on the machine unless another thread holds it (the caller's thread
// during the init procedure): then the pending flag set before is taken up
// by the machine's next step. Never blocks the port's thread.
template <class Guard, class F>
auto onMachine(std::weak_ptr<Guard> weak, F fn) {
    return [weak, fn] {
        auto g = weak.lock();
        if (!g) return;
        std::unique_lock lock(g->mutex, std::try_to_lock);
        if (lock.owns_lock() && g->machine) fn(*g->machine);
    };
}
}  // namespace

void FaxMachine::Abort() {
    if (!running_) return;
    abortPending_ = true;
    // An init procedure of StartAsync is cut short; one of Start runs to its
    // end and the first step takes the abort up, as does a hang-up.
    auto work = onMachine(std::weak_ptr<Guard>(guard_), [](FaxMachine& m) { m.takePending(); });
    if (PostToPort(Port(), work) != ecOK) work();  // the port's thread is gone: nothing runs there any more
}

void FaxMachine::takePending() {
    if (abortPending_ || portGonePending_) runStates();
}

void FaxMachine::abortNow() {
    if (!running_ || finished_) return;
    Trace(QStringLiteral("   user abort"));
    session_.status = fsUserAbort;
    session_.error = ecCancelRequested;
    EnterAbort();
    runStates();
}

void FaxMachine::PortClosing() {
    if (!running_) return;
    portGonePending_ = true;
    auto work = onMachine(std::weak_ptr<Guard>(guard_), [](FaxMachine& m) { m.takePending(); });
    if (CallOnPort(Port(), work) != ecOK) work();
}

void FaxMachine::portGone() {
    if (!running_ || finished_ || portGone_) return;
    portGone_ = true;
    Trace(QStringLiteral("   the port went away"));
    if (dialogue_) {
        // The dialogue's waits end at once, and what follows it runs (the
        // states see PortGone()).
        *session_.cancel = true;
        runStates();
        if (finished_) return;
    }
    // The failure state keeps what was received and ends the session; with no
    // modem to talk to it does not hang up.
    Fail(ecCommNotOpen);
    runStates();
    if (!finished_) {
        ReportStatus(false, true);
        FinishSession();
    }
}

bool FaxMachine::PortGone() const { return portGone_ || DeviceLost(Port()); }

FaxProgress FaxMachine::CurrentProgress() {
    FaxProgress p;
    bool taken = false;
    std::weak_ptr<Guard> weak = guard_;
    if (running_) {
        CallOnPort(Port(), [&, weak] {
            if (auto g = weak.lock()) {
                std::lock_guard lock(g->mutex);
                if (g->machine) {
                    p = Progress();
                    taken = true;
                }
            }
        });
    }
    if (!taken) {
        std::lock_guard lock(guard_->mutex);
        p = Progress();
    }
    return p;
}

// ---- clocking --------------------------------------------------------------------------------

void FaxMachine::onTrigger(unsigned msg, unsigned wParam, uint32_t) {
    if (finished_) return;
    const FaxSession& s = session_;
    const int t = int(wParam);
    bool ours = msg == kMsgTriggerAvail;
    if (msg == kMsgTriggerTimer) ours = t == s.replyTimer || t == s.statusTimer;
    if (msg == kMsgTriggerStatus) ours = t == s.outFreeTrigger || t == s.outUsedTrigger || t == s.modemTrigger;
    if (DeviceLost(Port())) {
        portGone();
        return;
    }
    if (!ours || portGone_) return;
    fired_ = msg == kMsgTriggerAvail ? 0 : t;
    if (msg == kMsgTriggerTimer && t == s.statusTimer) {
        fired_ = 0;
        statusChanged_ = true;  // a report at every status interval, changed or not
    }
    runStates();
}

void FaxMachine::runStates() {
    for (;;) {
        if (finished_) break;
        if (portGonePending_.exchange(false)) {
            portGone();  // runs the states itself
            return;
        }
        if (abortPending_ && dialogue_ && dialogue_->cancellable) {
            *session_.cancel = true;  // the dialogue runs to its end at once
        } else if (abortPending_ && !dialogue_) {
            abortPending_ = false;
            abortNow();  // runs the states itself
            return;
        }
        Next next;
        if (dialogue_) {
            const std::optional<Next> after = pumpDialogue();
            if (!after) break;
            next = *after;
        } else {
            next = Step();
        }
        stateCopy_ = session_.state;
        if (finished_) break;
        if (next == Next::Now) continue;
        if (next == Next::OnInput && InputWaiting()) continue;
        break;
    }
    fired_ = 0;
    if (statusChanged_ && !finished_) {
        ReportStatus(false, false);
        ArmTimerTrigger(Port(), session_.statusTimer, SecsToTicks(std::max(1, session_.statusInterval)), true);
    }
}

// ---- helpers for states ---------------------------------------------------------------------

void FaxMachine::GoTo(int state) {
    if (state != session_.state)
        Trace(QStringLiteral("   state %1 %2").arg(state).arg(StateName(state)));
    session_.state = state;
    stateCopy_ = state;
}

void FaxMachine::Trace(const QString& text) const { TraceFax(session_, text); }

int FaxMachine::TakeInput(uint8_t* buffer, int max) {
    if (!putBack_.isEmpty()) {
        const int n = std::min<int>(max, int(putBack_.size()));
        std::memcpy(buffer, putBack_.constData(), size_t(n));
        putBack_.remove(0, n);
        return n;
    }
    return std::max(0, TakeBlock(Port(), buffer, size_t(max)));
}

int FaxMachine::NextInputByte() {
    uint8_t b;
    return TakeInput(&b, 1) == 1 ? b : -1;
}

void FaxMachine::PutBack(const uint8_t* bytes, int count) {
    putBack_.prepend(reinterpret_cast<const char*>(bytes), count);
}

bool FaxMachine::InputWaiting() const { return !putBack_.isEmpty() || InputCount(Port()) > 0; }

bool FaxMachine::TakeLine() {
    int b;
    while ((b = NextInputByte()) >= 0) {
        if (session_.line.Feed(uint8_t(b))) {
            Trace(QStringLiteral("<- %1").arg(QString::fromLatin1(Line())));
            return true;
        }
    }
    return false;
}

FaxMachine::Got FaxMachine::Await(unsigned own) {
    if (TakeLine()) {
        const QByteArray& l = Line();
        Class1Link& c1 = session_.class1;
        if (!c1.unanswered.isEmpty()) {
            // A bare OK to a Class 1 transmit or receive command: the modem
            // was still in a reception and ended it instead. Once, the
            // command goes again; otherwise the reply timer would run out.
            if (IsResult(l, "OK") && !c1.resent) {
                c1.resent = true;
                Trace(QStringLiteral("   the modem ended a reception instead; again"));
                const int rc = SendModemCommand(session_, c1.unanswered);
                if (rc < 0) {
                    Fail(DeviceLost(Port()) ? ecCommNotOpen : rc);
                    return Got::Failed;
                }
                return Got::Nothing;
            }
            c1.unanswered.clear();
        }
        if (!(own & kOwnError) && IsResult(l, "ERROR")) {
            Fail(ecFaxBadModemResult);
            return Got::Failed;
        }
        if (!(own & kOwnHangup) && IsReport(l, session_.vocab.hangup)) {
            session_.hangupCode = HangupCodeOf(l);
            Fail(HangupReportError());
            return Got::Failed;
        }
        return Got::Line;
    }
    if (ReplyTimerFired()) {
        Trace(QStringLiteral("   reply timer expired"));
        if (own & kOwnTimeout) return Got::Timeout;
        Fail(ecTimeout);
        return Got::Failed;
    }
    return Got::Nothing;
}

std::optional<FaxMachine::Next> FaxMachine::AwaitLine(unsigned own) {
    switch (Await(own)) {
    case Got::Nothing: return Next::OnTrigger;
    case Got::Line: return std::nullopt;
    case Got::Failed:
    case Got::Timeout: break;
    }
    return Next::Now;
}

std::optional<FaxMachine::Next> FaxMachine::AwaitOk(int elseCode) {
    if (const auto next = AwaitLine(kOwnError)) return next;
    if (IsResult(Line(), "OK")) return std::nullopt;
    return Fail(elseCode);
}

bool FaxMachine::ReplyTimerFired() { return TriggerFired(session_.replyTimer); }

bool FaxMachine::TriggerFired(int trigger) {
    if (trigger <= 0 || fired_ != trigger) return false;
    fired_ = 0;
    return true;
}

bool FaxMachine::Command(const QByteArray& command, int extraPauseMs) {
    if (fired_ == session_.replyTimer) fired_ = 0;  // an old expiry means nothing for the new command
    Class1Link& c1 = session_.class1;
    const bool class1Data = (command.startsWith("AT+FTH=") || command.startsWith("AT+FTM=") || command.startsWith("AT+FRM=")) &&
                            !command.endsWith('?');
    c1.unanswered = class1Data ? command : QByteArray();
    c1.resent = false;
    const int rc = SendModemCommand(session_, command, extraPauseMs);
    if (rc < 0) {
        Fail(DeviceLost(Port()) ? ecCommNotOpen : rc);
        return false;
    }
    return true;
}

void FaxMachine::ArmReplyTimer(int32_t ticks) {
    if (fired_ == session_.replyTimer) fired_ = 0;
    ArmTimerTrigger(Port(), session_.replyTimer, ticks > 0 ? ticks : session_.replyTimeout, true);
}

void FaxMachine::DisarmReplyTimer() {
    if (fired_ == session_.replyTimer) fired_ = 0;
    ArmTimerTrigger(Port(), session_.replyTimer, 0, false);
}

void FaxMachine::ArmOutputFree(int level) {
    if (fired_ == session_.outFreeTrigger) fired_ = 0;
    ArmStatusTrigger(Port(), session_.outFreeTrigger, uint32_t(level), true);
}

void FaxMachine::ArmOutputUsed(int level) {
    if (fired_ == session_.outUsedTrigger) fired_ = 0;
    ArmStatusTrigger(Port(), session_.outUsedTrigger, uint32_t(level), true);
}

void FaxMachine::SetStatus(int status) {
    session_.status = status;
    statusChanged_ = true;
}

void FaxMachine::ReportStatus(bool first, bool last) {
    statusChanged_ = false;
    events_.FaxStatus(Progress(), first, last);
}

void FaxMachine::ReportError(int code) {
    if (inInit_ && session_.Cancelled()) {
        // A dialogue the user's abort cut off: its failure is not news.
        session_.error = code;
        return;
    }
    Trace(QStringLiteral("   error %1 %2").arg(code).arg(ErrorMessage(code)));
    session_.error = code;
    events_.FaxError(code, Progress());
}

FaxMachine::Next FaxMachine::Fail(int code) {
    ReportError(code);
    GoTo(FailState());
    return Next::Now;
}

void FaxMachine::Log(int logCode) { events_.FaxLog(logCode, Progress()); }

void FaxMachine::FinishSession() {
    if (finished_) return;
    finished_ = true;
    if (sink_ > 0) DetachTriggerSink(Port(), sink_);
    sink_ = 0;
    releaseTriggers();
    SetBusy(Port(), false);
    ParkClientData(Port(), kFaxSessionSlot, nullptr);
    session_.modemInitialized = false;
    running_ = false;
    initOver(session_.error);
    Trace(QStringLiteral("   finished: %1").arg(session_.error));
    events_.FaxFinish(session_.error, Progress());
}

FaxProgress FaxMachine::Progress() const {
    FaxProgress p;
    p.status = session_.status;
    p.error = session_.error;
    p.remoteId = session_.remoteId;
    p.bps = session_.params.bps;
    p.fine = session_.params.fine;
    p.wide = session_.params.wide;
    p.ecm = session_.params.ecm;
    p.hangupCode = session_.hangupCode;
    return p;
}

}  // namespace orv
