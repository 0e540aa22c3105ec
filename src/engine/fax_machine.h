#pragma once
// FaxMachine: the session driver under the send and receive state machines.
//
// Start() allocates the session's six triggers on the port, parks the session
// in user slot 2, marks the port busy and hands the machine to the port's I/O
// thread: there the init procedure (a modem dialogue) runs first, then every
// trigger of the session (received data, the reply and status timers, output
// space, modem lines) runs the current state, and states run one after the
// other until one has to wait. Everything the machine does happens on the I/O
// thread, including Abort() and PortClosing(), which are handed over to it.
//
// A state that needs a modem dialogue with pauses in it (the hang-up and its
// escape guard times, a baud switch) runs it with RunDialogue: the dialogue's
// waits become timer and input triggers, so nothing sleeps on the I/O thread,
// and the state's remainder runs when the dialogue is over.
//
// Time is the port's tick clock (reply and page timers are port timer
// triggers) plus the session's delay function for guard times, so a test with
// a ManualTickClock and an instant delay runs a whole session deterministically.
//
// A machine reports through FaxEvents (see fax_events.h). Destroy it from a
// thread other than the port's I/O thread (not from inside a direct FaxEvents
// call); its destructor waits for a running step to return.
#include "engine/fax_events.h"
#include "engine/fax_session.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace orv {

// A state's number and name, for traces and logs.
struct FaxStateName {
    int state;
    const char* name;
};

class FaxMachine {
public:
    virtual ~FaxMachine();
    FaxMachine(const FaxMachine&) = delete;
    FaxMachine& operator=(const FaxMachine&) = delete;

    // Starts the session and waits (running no events) until the init
    // procedure is over. 0 when the machine runs; otherwise the error that
    // ended it at once (reported through FaxError and FaxFinish as well). An
    // Abort() meanwhile is taken up when the init procedure is over.
    int Start();
    // Starts the session and returns at once: 0 when the init procedure was
    // started; an init failure arrives as FaxError and FaxFinish. Abort() cuts
    // the init procedure short: the session then ends with status 42 and
    // error -6005.
    int StartAsync();
    // Cancels the session (status 42, error -6005): the machine hangs up and
    // finishes. Safe from any thread; the work is done on the I/O thread.
    void Abort();
    // The port is about to close, or its device is gone: the session ends now
    // (error -2007). Returns when it has.
    void PortClosing();

    bool Running() const { return running_; }
    // What the host would see now (taken on the port's thread while the machine runs).
    FaxProgress CurrentProgress();
    int CurrentState() const { return stateCopy_; }
    // The state's name ("" for a number the machine does not have).
    virtual QString StateName(int state) const = 0;

protected:
    // What the driver does after a state: run the next state at once, run it
    // only when received bytes are waiting, or wait for the next trigger.
    enum class Next { Now, OnInput, OnTrigger };
    // What a waiting state got.
    enum class Got { Nothing, Line, Timeout, Failed };
    // Rules a state handles itself instead of the common ones.
    enum : unsigned { kOwnError = 1, kOwnHangup = 2, kOwnTimeout = 4 };

    FaxMachine(FaxSession& session, FaxEvents& events);

    // The init procedure, a dialogue run first on the I/O thread. An error it
    // stores in the session ends the session before the states run.
    virtual ModemTask<> Init() = 0;
    // Runs the current state once (I/O thread).
    virtual Next Step() = 0;
    // The user aborted: status and error are set; enter the failure state.
    virtual void EnterAbort() = 0;
    // The state a failed step goes to, and the codes of the common rules.
    virtual int FailState() const = 0;
    virtual int HangupReportError() const = 0;
    // The snapshot the host sees.
    virtual FaxProgress Progress() const;

    // ---- for states ----
    FaxSession& S() const { return session_; }
    int Port() const { return session_.port; }
    void GoTo(int state);
    // The report trace: a line of the protocol.
    void Trace(const QString& text) const;

    // Received bytes: those put back first, then the port's. TakeInput returns
    // the count taken (0 when nothing waits); PutBack returns bytes a state
    // read but does not own (a report behind page data) for the next state.
    int TakeInput(uint8_t* buffer, int max);
    int NextInputByte();  // -1 when nothing waits
    void PutBack(const uint8_t* bytes, int count);
    bool InputWaiting() const;
    // Assembles a response line from the waiting bytes; true with Line() set.
    bool TakeLine();
    const QByteArray& Line() const { return session_.line.Line(); }
    // A line, a reply time-out, or nothing yet. Unless the state owns the rule:
    // "ERROR" reports -8071, a hang-up report stores its code and reports
    // HangupReportError(), a time-out reports -6006; each goes to FailState().
    Got Await(unsigned own = 0);
    // Await for states that only act on a line: empty when one came (Line()),
    // else what the state returns (wait for input, or go on after a failure).
    std::optional<Next> AwaitLine(unsigned own = 0);
    // For set-up commands: empty on "OK"; any other line (an "ERROR"
    // included) reports elseCode and goes to FailState().
    std::optional<Next> AwaitOk(int elseCode);
    // The trigger that woke this step fired (each is consumed by asking).
    bool ReplyTimerFired();
    bool TriggerFired(int trigger);

    // Sends a command and arms the reply timer; a port error fails the state.
    // extraPauseMs lengthens the pause before it (a Class 1 turnaround).
    bool Command(const QByteArray& command, int extraPauseMs = 0);
    // Runs a modem dialogue between states: the machine waits for it (timers
    // and input, nothing sleeps), then then() runs as the rest of the state.
    // An abort meanwhile is taken up after it.
    Next RunDialogue(ModemTask<> dialogue, std::function<Next()> then);
    void ArmReplyTimer(int32_t ticks = 0);  // 0: the reply timeout
    void DisarmReplyTimer();
    void ArmOutputFree(int level);
    void ArmOutputUsed(int level);

    // ---- Class 1 (class1_link.cpp) ----
    // What a Class 1 state heard: a line, or an HDLC frame (S().class1.last)
    // when one was expected (AT+FRH=3, the dial and answer).
    enum class Heard { Nothing, Line, Frame, BadFrame, Timeout, Failed };
    // Like Await: unless the state owns the rule, "ERROR" reports -8071 and a
    // time-out -6006, each going to FailState(). A frame is traced by name.
    Heard AwaitClass1(unsigned own = 0);
    // Frame reception: "AT+FRH=3", the next frame expected.
    bool ReceiveFrameCommand();
    // Sends one frame after CONNECT to "AT+FTH=3" (after the 20 ms frame lead).
    void SendFrame(uint8_t fcf, bool final, const QByteArray& info = {});

    void SetStatus(int status);
    void MarkStatusChanged() { statusChanged_ = true; }
    void ReportStatus(bool first, bool last);
    void ReportError(int code);
    // ReportError, then the failure state.
    Next Fail(int code);
    void Log(int logCode);
    // Releases the triggers and the port and tells the host; the machine is over.
    void FinishSession();
    bool Finished() const { return finished_; }
    // The port is closing or its device is gone: no more modem dialogue.
    bool PortGone() const;

    // Waits for a step running on the I/O thread and ends the session; no
    // step runs afterwards. The destructor of each derived machine calls it
    // first: a step calls the derived machine's functions, so it must not
    // run once that part is being destroyed.
    void shutDown();

    FaxSession& session_;
    FaxEvents& events_;

private:
    struct Guard {
        std::recursive_mutex mutex;
        FaxMachine* machine = nullptr;
    };

    // A dialogue the machine runs instead of a state until it is over.
    struct Dialogue {
        ModemTask<> task;
        std::function<Next()> then;
        bool cancellable = false;  // an abort ends it at once (the init of StartAsync)
        bool started = false;
    };

    int start(bool async);
    int prepareStart();          // the common first half of Start and StartAsync (guard held)
    void beginInit();            // on the I/O thread: the trigger sink, then the init dialogue
    Next afterInit();            // the init procedure is over: hand over to the states or finish
    void initOver(int result);   // lets a waiting Start() return
    std::optional<Next> pumpDialogue();  // empty while the dialogue waits
    void onTrigger(unsigned msg, unsigned wParam, uint32_t lParam);
    void runStates();
    void abortNow();
    void portGone();
    void takePending();          // an abort or a closing port asked for meanwhile
    int allocateTriggers();
    void releaseTriggers();

    std::shared_ptr<Guard> guard_;
    int sink_ = 0;
    int fired_ = 0;              // the trigger handle that woke this step (0: none or avail)
    QByteArray putBack_;
    bool statusChanged_ = false;
    bool finished_ = false;
    bool portGone_ = false;
    std::atomic<bool> running_{false};
    std::atomic<bool> abortPending_{false};
    std::atomic<bool> portGonePending_{false};
    std::atomic<int> stateCopy_{0};
    std::atomic<bool> inInit_{false};  // Init runs; a cancelled dialogue's errors are not reported
    bool asyncInit_ = false;           // started by StartAsync: an abort cuts the init short
    std::optional<Dialogue> dialogue_;
    std::mutex initMutex_;             // Start() waits for the init procedure
    std::condition_variable initCv_;
    bool initPending_ = false;
    int initResult_ = 0;
};

}  // namespace orv
