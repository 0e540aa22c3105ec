#pragma once
// One open port of the dispatcher: its record (rings, line settings, modem
// status, triggers, handlers, user slots, trace and log) and its I/O thread.
// Internal to the engine; callers use the functions of dispatcher.h.
#include "engine/byte_ring.h"
#include "engine/port_types.h"
#include "engine/serial_device.h"
#include "engine/ticks.h"
#include "engine/trace_log.h"
#include "engine/triggers.h"

#include <QPointer>
#include <QObject>
#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace orv {

class SerialPort : public std::enable_shared_from_this<SerialPort> {
public:
    struct Handler {
        int id = 0;
        bool window = false;
        QPointer<QObject> target;
        TriggerProc proc;
        TriggerFilter filter;  // windows only: which triggers they want
        bool deleted = false;
    };
    // A window delivery the I/O thread is waiting for.
    struct PendingCall {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
        bool cancelled = false;
    };

    SerialPort(int inSize, int outSize, std::shared_ptr<SerialDevice> device,
               std::shared_ptr<TickClock> clock);
    ~SerialPort();

    int Start();               // opens the I/O thread
    void Stop();               // stops and joins it (from another thread)
    void Wake();               // makes the I/O thread re-check everything
    bool OnIoThread() const { return std::this_thread::get_id() == ioId_.load(); }
    bool ServicePass() { return servicePass(); }
    // Writes the transmit ring out now (on the I/O thread) or waits for the
    // I/O thread to (elsewhere); returns the bytes still waiting.
    int Drain(int timeoutMs);
    bool ready = false;                // open completed (guarded by the table lock)
    bool finished = false;             // FinishClose ran (guarded by the table lock)
    bool closeAfterWindowCall = false; // ClosePort from inside a window handler
    uint32_t SinceOpenMs() const { return clock->Milliseconds() - openMs_; }

    // Under mutex:
    void Log(uint8_t type, uint8_t subType, uint16_t data, const uint8_t* extra = nullptr, size_t count = 0);
    StatusContext Status() const;
    void RefreshModemStatus();   // reads the lines, sets delta bits, logs a change
    void RefreshLineCounts();
    void ClampCounters();        // after bytes were taken

    int handle = 0;  // set once the slot is reserved, before the thread starts
    const int inSize, outSize;
    QString deviceName;
    std::shared_ptr<SerialDevice> device;
    std::shared_ptr<TickClock> clock;

    mutable std::mutex mutex;
    std::condition_variable inputCv;      // input arrived, device lost or closing
    std::condition_variable deliveryCv;   // a procedure delivery ended
    ByteRing rx{kDispatchBufferSize};
    ByteRing tx;
    LineSettings line;
    bool dtr = true, rts = true;
    bool modemLinesSupported = true;
    bool countsSupported = true;
    uint8_t msr = 0;
    uint16_t lineErrors = 0;
    LineCounts counts;
    TriggerTables triggers;
    size_t unreported = 0;   // received bytes not yet reported by an avail message
    size_t unscanned = 0;    // newest bytes of rx not yet fed to the data triggers
    uint64_t bytesWritten = 0;
    std::vector<std::shared_ptr<Handler>> handlers;
    int nextHandlerId = 1;
    std::array<void*, kUserSlots> user{};
    bool busy = false;
    bool userHold = false;
    bool delivering = false;
    bool deliveringProc = false;
    bool deviceLost = false;
    bool closeRequested = false;   // ClosePort from inside a handler
    bool stopping = false;
    std::unique_ptr<TraceBuffer> trace;
    std::unique_ptr<DispatchLog> log;
    std::deque<std::function<void()>> posted;
    std::shared_ptr<PendingCall> currentCall;

    // A pause in the output: the bytes from stream position `at` (counted
    // like bytesWritten) on go out `ms` after everything before them was
    // written. The I/O thread holds them back; nobody sleeps meanwhile.
    struct OutputPause {
        uint64_t at = 0;
        uint32_t ms = 0;
        bool started = false;
        uint32_t endsAt = 0;  // realMs() once started
    };
    std::deque<OutputPause> pauses;
    // Under mutex: a pause before the bytes queued next.
    void QueueOutputPause(uint32_t ms);
    // Under mutex: the bytes of tx that may be written now; *waitMs is the
    // time until a pause that holds the rest ends (-1 when none does).
    size_t WritableNow(int* waitMs);

private:
    void run();
    bool servicePass();        // one trigger check; true when a trigger fired
    void deliver(unsigned msg, unsigned wParam, uint16_t data, uint8_t logSub, uint16_t logData);
    void deliverToWindow(const std::shared_ptr<Handler>& h, unsigned msg, unsigned wParam, uint32_t lParam);
    void readDevice();
    void writeDevice();
    void loseDevice(int err);  // under mutex
    void runPosted();
    int pollTimeout(bool* modemPoll);   // under mutex

    std::thread io_;
    std::atomic<std::thread::id> ioId_{};
    int wakeFd_ = -1;
    std::atomic<bool> stop_{false};
    uint32_t openMs_ = 0;
    uint32_t lastModemPollMs_ = 0;
    bool asleep_ = false;
    int clockToken_ = 0;

    friend int ClosePort(int);
    friend void FinishClose(const std::shared_ptr<SerialPort>&);
};

// The port behind a handle, or null.
std::shared_ptr<SerialPort> FindPort(int handle);
// A free handle for a port being opened (-2009 when all 50 are taken), its
// release when the open failed, and the mark that makes FindPort see it.
int ReserveSlot(const std::shared_ptr<SerialPort>& port);
void ReleaseSlot(int handle, const SerialPort* port);
void MarkReady(const std::shared_ptr<SerialPort>& port);
// Removes a port from the table and releases it (joins unless on its own thread).
void FinishClose(const std::shared_ptr<SerialPort>& port);
// The port whose trigger handler the calling thread is running, if any.
SerialPort* DeliveringPort();

}  // namespace orv
