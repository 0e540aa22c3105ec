#pragma once
// ModemTask: a modem dialogue written as straight-line code (a C++ coroutine)
// that waits without blocking. A dialogue -- the modem's set-up, the class
// query, the hang-up with its escape guard times, a DTR reset -- says what it
// waits for with `co_await` (a pause on the line, or more input), and
// whoever drives it decides how that wait is met:
//   - a running fax machine (FaxMachine::RunDialogue) on the port's I/O
//     thread: the wait becomes a timer or an input trigger, and the thread
//     goes on serving the port meanwhile;
//   - RunBlocking(), outside a session (orvfax, a class query on a thread of
//     its own): the caller's thread waits for input or sleeps.
//
//   ModemTask<int> Ask(FaxSession& s) { co_return co_await ModemCommand(s, "AT"); }
//   int rc = RunBlocking(s, Ask(s));
//
// A task starts when it is awaited or driven, and a task awaited by another
// resumes it when it ends. Arguments are taken by value (a coroutine outlives
// the call that made it).
//
// Await only in a statement or an initialiser (`const int rc = co_await X;`),
// never inside an if, while or || condition: g++ 12 builds such a coroutine
// so that it never resumes after the awaited task ends (clang does not).
#include <coroutine>
#include <exception>
#include <functional>
#include <optional>
#include <utility>

namespace orv {

struct FaxSession;

// What a suspended dialogue waits for; kept in its session so the driver
// knows what wakes it.
struct DialogueWait {
    enum Kind { None, Input, Time };
    Kind kind = None;
    int ms = 0;                          // Time: how long
    bool timedOut = false;               // Input: set by the driver when the reply timer ran out
    std::coroutine_handle<> handle;      // the innermost suspended dialogue
};

namespace detail {
struct PromiseBase {
    std::coroutine_handle<> continuation;
    std::exception_ptr error;
    std::suspend_always initial_suspend() noexcept { return {}; }
    struct Final {
        bool await_ready() noexcept { return false; }
        template <class P>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<P> h) noexcept {
            const auto next = h.promise().continuation;
            return next ? next : std::noop_coroutine();
        }
        void await_resume() noexcept {}
    };
    Final final_suspend() noexcept { return {}; }
    void unhandled_exception() { error = std::current_exception(); }
};

template <class T>
struct Promise : PromiseBase {
    std::optional<T> value;
    void return_value(T v) { value = std::move(v); }
    T take() {
        if (error) std::rethrow_exception(error);
        return std::move(*value);
    }
};

template <>
struct Promise<void> : PromiseBase {
    void return_void() {}
    void take() {
        if (error) std::rethrow_exception(error);
    }
};
}  // namespace detail

template <class T = void>
class [[nodiscard]] ModemTask {
public:
    struct promise_type : detail::Promise<T> {
        ModemTask get_return_object() { return ModemTask(std::coroutine_handle<promise_type>::from_promise(*this)); }
    };

    ModemTask(ModemTask&& other) noexcept : h_(std::exchange(other.h_, {})) {}
    ModemTask& operator=(ModemTask&& other) noexcept {
        if (this != &other) {
            if (h_) h_.destroy();
            h_ = std::exchange(other.h_, {});
        }
        return *this;
    }
    ModemTask(const ModemTask&) = delete;
    ModemTask& operator=(const ModemTask&) = delete;
    ~ModemTask() {
        if (h_) h_.destroy();
    }

    // ---- awaited by another task ----
    bool await_ready() const noexcept { return false; }
    std::coroutine_handle<> await_suspend(std::coroutine_handle<> caller) noexcept {
        h_.promise().continuation = caller;
        return h_;
    }
    T await_resume() { return h_.promise().take(); }

    // ---- driven from outside ----
    // Runs the task up to its first wait (or its end).
    void start() { h_.resume(); }
    bool done() const { return !h_ || h_.done(); }
    // The result of a task that is done.
    T result() { return h_.promise().take(); }

private:
    explicit ModemTask(std::coroutine_handle<promise_type> h) : h_(h) {}
    std::coroutine_handle<promise_type> h_;
};

// A dialogue's wait: more input (or the reply time-out), or a pause of ms on
// the line (what was queued before it goes out first). Ready at once when the
// session is cancelled or its device is gone, so a cancelled dialogue runs to
// its end without waiting; a session with its own delay function (a test's
// clock) has the pause made there.
class DialogueWake {
public:
    static DialogueWake Input(FaxSession& s) { return DialogueWake(s, DialogueWait::Input, 0); }
    static DialogueWake Pause(FaxSession& s, int ms) { return DialogueWake(s, DialogueWait::Time, ms); }

    bool await_ready();
    void await_suspend(std::coroutine_handle<> h);
    // Input: whether the driver found the reply timer run out.
    bool await_resume();

private:
    DialogueWake(FaxSession& s, DialogueWait::Kind kind, int ms) : s_(s), kind_(kind), ms_(ms) {}
    FaxSession& s_;
    DialogueWait::Kind kind_;
    int ms_;
};

// Drives a task to its end on the caller's thread, with the port's triggers
// held: input is waited for, pauses are slept (in slices, so a cancel ends
// them). For use off the port's I/O thread, outside a running session.
void DriveBlocking(FaxSession& s, const std::function<void()>& start, const std::function<bool()>& done);

template <class T>
T RunBlocking(FaxSession& s, ModemTask<T> task) {
    DriveBlocking(s, [&] { task.start(); }, [&] { return task.done(); });
    return task.result();
}

}  // namespace orv
