#include "engine/dispatcher.h"

#include "common/orv_error.h"
#include "engine/serial_port.h"

#include <new>

namespace orv {
namespace {

using Lock = std::lock_guard<std::mutex>;

// Looks the handle up or returns -1001 from the calling operation.
#define ORV_PORT(var, handle)        \
    auto var = FindPort(handle);     \
    if (!var) return ecBadHandle;

int normalizedStopBits(int stopBits) { return stopBits <= 0 ? 1 : stopBits > 2 ? 2 : stopBits; }

}  // namespace

// ---- open and close -----------------------------------------------------------------

int OpenPort(const QString& deviceName, int /*dispatcherMode: always the threaded layer*/, int inSize,
             int outSize, int dataBits, int stopBits, int parity, int32_t baud, const PortOptions& options) {
    if (outSize <= 0 || outSize > 0xFFFF || inSize < 0 || inSize > 0xFFFF) return ecBadArgument;
    std::shared_ptr<SerialPort> port;
    try {
        auto device = options.device ? options.device : std::make_shared<TtySerialDevice>();
        auto clock = options.clock ? options.clock : DefaultTickClock();
        port = std::make_shared<SerialPort>(inSize, outSize, std::move(device), std::move(clock));
    } catch (const std::bad_alloc&) {
        return ecOutOfMemory;
    }
    const int handle = ReserveSlot(port);
    if (handle < 0) return handle;
    port->handle = handle;
    port->deviceName = deviceName;
    int rc = port->device->Open(deviceName);
    if (rc == ecOK) {
        port->line.baud = baud;
        port->line.parity = parity;
        port->line.dataBits = dataBits;
        port->line.stopBits = normalizedStopBits(stopBits);
        rc = port->device->ApplyLine(port->line);
        if (rc == ecOK) {
            port->device->Purge(true, false);  // nothing left over from an earlier user of the line
            rc = port->Start();
        }
        if (rc != ecOK) port->device->Close();
    }
    if (rc != ecOK) {
        FinishClose(port);  // stops a thread that started, frees the slot
        return rc;
    }
    MarkReady(port);
    return handle;
}

int ClosePort(int handle) {
    ORV_PORT(port, handle);
    if (port->OnIoThread()) {
        // From a handler or posted call on the I/O thread: the thread closes the
        // port itself once that returns.
        Lock lock(port->mutex);
        port->closeRequested = true;
        return ecOK;
    }
    if (DeliveringPort() == port.get()) {
        Lock lock(port->mutex);
        port->closeAfterWindowCall = true;
        return ecOK;
    }
    FinishClose(port);
    return ecOK;
}

bool PortIsOpen(int handle) { return FindPort(handle) != nullptr; }

QString PortDeviceName(int handle) {
    auto port = FindPort(handle);
    return port ? port->deviceName : QString();
}

// ---- data ----------------------------------------------------------------------------------

int SendByte(int handle, uint8_t byte) { return SendBlock(handle, &byte, 1); }

namespace {
int queueOutput(int handle, const void* bytes, size_t count, int pauseMs) {
    ORV_PORT(port, handle);
    bool wake;
    {
        Lock lock(port->mutex);
        if (port->deviceLost) return ecPutBlockFail;
        if (count == 0) return ecOK;
        if (count > port->tx.Space()) return ecOutputBufferTooSmall;
        // After a pause the I/O thread must work out when it ends.
        wake = port->tx.Empty() || pauseMs > 0;
        if (pauseMs > 0) port->QueueOutputPause(uint32_t(pauseMs));
        const auto* p = static_cast<const uint8_t*>(bytes);
        port->tx.WriteAll(p, count);
        if (port->trace) port->trace->Add('T', p, count);
    }
    if (wake) port->Wake();
    return ecOK;
}
}  // namespace

int SendBlock(int handle, const void* bytes, size_t count) { return queueOutput(handle, bytes, count, 0); }

int SendText(int handle, const QByteArray& text) { return SendBlock(handle, text.constData(), size_t(text.size())); }

int SendTextAfterPause(int handle, const QByteArray& text, int pauseMs) {
    return queueOutput(handle, text.constData(), size_t(text.size()), std::max(0, pauseMs));
}

bool HasInput(int handle) { return InputCount(handle) > 0; }

int TakeByte(int handle) {
    ORV_PORT(port, handle);
    bool wake;
    int b;
    {
        Lock lock(port->mutex);
        wake = port->rx.Full();
        b = port->rx.Take();
        if (b < 0) return ecBufferIsEmpty;
        if (port->trace) port->trace->Add('R', uint8_t(b));
        port->ClampCounters();
    }
    if (wake) port->Wake();
    return b;
}

int TakeBlock(int handle, void* buffer, size_t max) {
    ORV_PORT(port, handle);
    bool wake;
    size_t n;
    {
        Lock lock(port->mutex);
        wake = port->rx.Full();
        auto* out = static_cast<uint8_t*>(buffer);
        n = port->rx.Read(out, max);
        if (port->trace) port->trace->Add('R', out, n);
        port->ClampCounters();
    }
    if (wake && n) port->Wake();
    return int(n);
}

int PeekByte(int handle, int n) {
    ORV_PORT(port, handle);
    Lock lock(port->mutex);
    if (n < 1) return ecBadArgument;
    const int b = port->rx.Peek(size_t(n - 1));
    return b < 0 ? ecBufferIsEmpty : b;
}

int InputCount(int handle) {
    ORV_PORT(port, handle);
    Lock lock(port->mutex);
    return int(port->rx.Count());
}

int OutputCount(int handle) {
    ORV_PORT(port, handle);
    Lock lock(port->mutex);
    port->RefreshLineCounts();
    return int(port->tx.Count());
}

int OutputSpace(int handle) {
    ORV_PORT(port, handle);
    Lock lock(port->mutex);
    return int(port->tx.Space());
}

int DiscardInput(int handle) {
    ORV_PORT(port, handle);
    {
        Lock lock(port->mutex);
        if (!port->deviceLost) port->device->Purge(true, false);
        port->rx.Clear();
        port->unreported = port->unscanned = 0;
    }
    port->Wake();
    return ecOK;
}

int DiscardOutput(int handle) {
    ORV_PORT(port, handle);
    {
        Lock lock(port->mutex);
        port->tx.Clear();
        port->pauses.clear();
        if (!port->deviceLost) port->device->Purge(false, true);
    }
    port->Wake();
    return ecOK;
}

int DrainOutput(int handle, int timeoutMs) {
    ORV_PORT(port, handle);
    return port->Drain(timeoutMs);
}

int WaitForInput(int handle, int timeoutMs) {
    ORV_PORT(port, handle);
    std::unique_lock lock(port->mutex);
    port->inputCv.wait_for(lock, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
                           [&] { return port->rx.Count() > 0 || port->deviceLost || port->stopping; });
    return int(port->rx.Count());
}

// ---- line ------------------------------------------------------------------------------------

int SetLineParams(int handle, int32_t baud, int parity, int dataBits, int stopBits) {
    ORV_PORT(port, handle);
    Lock lock(port->mutex);
    LineSettings line = port->line;
    if (baud != kNoChangeBaud) line.baud = baud;
    if (parity != kNoChangeParity) line.parity = parity;
    if (dataBits != kNoChangeDataBits) line.dataBits = dataBits;
    if (stopBits != kNoChangeStopBits) line.stopBits = normalizedStopBits(stopBits);
    if (port->deviceLost) {
        port->line = line;
        return ecOK;
    }
    if (port->device->ApplyLine(line) != ecOK) {
        port->device->ApplyLine(port->line);
        return ecNotSupported;
    }
    port->line = line;
    return ecOK;
}

int GetLineParams(int handle, int32_t* baud, int* parity, int* dataBits, int* stopBits) {
    ORV_PORT(port, handle);
    Lock lock(port->mutex);
    if (baud) *baud = port->line.baud;
    if (parity) *parity = port->line.parity;
    if (dataBits) *dataBits = port->line.dataBits;
    if (stopBits) *stopBits = port->line.stopBits;
    return ecOK;
}

LineSettings CurrentLineSettings(int handle) {
    auto port = FindPort(handle);
    if (!port) return {};
    Lock lock(port->mutex);
    return port->line;
}

int SetModemLines(int handle, bool dtr, bool rts) {
    ORV_PORT(port, handle);
    Lock lock(port->mutex);
    port->dtr = dtr;
    port->rts = rts;
    // A pseudo-terminal has no modem lines; the request is remembered and is no error.
    if (!port->deviceLost) port->device->SetModemLines(dtr, rts);
    return ecOK;
}

int ReadModemStatus(int handle) {
    ORV_PORT(port, handle);
    Lock lock(port->mutex);
    port->RefreshModemStatus();
    return port->msr;
}

int CarrierPresent(int handle) {
    const int msr = ReadModemStatus(handle);
    return msr < 0 ? msr : (msr & kMsrDcd) ? 1 : 0;
}

int ReadLineErrors(int handle) {
    ORV_PORT(port, handle);
    Lock lock(port->mutex);
    port->RefreshLineCounts();
    const int flags = port->lineErrors;
    port->lineErrors &= kLineDeviceLost;
    return flags;
}

bool DeviceLost(int handle) {
    auto port = FindPort(handle);
    if (!port) return true;
    Lock lock(port->mutex);
    return port->deviceLost;
}

void DefaultFlowLimits(bool hardware, bool anyOption, int inSize, int* bufferFull, int* bufferResume) {
    if (!anyOption) return;
    if (*bufferFull == 0 || *bufferFull > inSize) *bufferFull = inSize * (hardware ? 90 : 75) / 100;
    if (*bufferResume == 0 || *bufferResume > *bufferFull) *bufferResume = inSize * (hardware ? 10 : 25) / 100;
}

namespace {
int applyLine(SerialPort& port, const LineSettings& line) {
    if (!port.deviceLost && port.device->ApplyLine(line) != ecOK) {
        port.device->ApplyLine(port.line);
        return ecNotSupported;
    }
    port.line = line;
    return ecOK;
}
}  // namespace

int SetHardwareFlow(int handle, int bufferFull, int bufferResume, unsigned options) {
    ORV_PORT(port, handle);
    Lock lock(port->mutex);
    LineSettings line = port->line;
    line.dtrHandshake = options & kHwfUseDTR;
    line.rtsHandshake = options & kHwfUseRTS;
    line.outxDsrFlow = options & kHwfRequireDSR;
    line.outxCtsFlow = options & kHwfRequireCTS;
    if (options) {
        line.xoffLim = uint16_t(std::max(0, port->inSize - bufferFull));
        line.xonLim = uint16_t(std::max(0, bufferResume));
    }
    return applyLine(*port, line);
}

int SetSoftwareFlow(int handle, int bufferFull, int bufferResume, int options) {
    ORV_PORT(port, handle);
    if (options < kSwfNone || options > kSwfBoth) return ecBadArgument;
    Lock lock(port->mutex);
    LineSettings line = port->line;
    line.inX = options == kSwfReceive || options == kSwfBoth;
    line.outX = options == kSwfTransmit || options == kSwfBoth;
    if (options != kSwfNone) {
        line.xoffLim = uint16_t(std::max(0, port->inSize - bufferFull));
        line.xonLim = uint16_t(std::max(0, bufferResume));
    }
    return applyLine(*port, line);
}

int SetXonXoffChars(int handle, uint8_t xon, uint8_t xoff) {
    ORV_PORT(port, handle);
    Lock lock(port->mutex);
    LineSettings line = port->line;
    line.xonChar = xon;
    line.xoffChar = xoff;
    return applyLine(*port, line);
}

// ---- triggers ---------------------------------------------------------------------------------

namespace {
template <class F>
int withTriggers(int handle, bool wake, F f) {
    ORV_PORT(port, handle);
    int rc;
    {
        Lock lock(port->mutex);
        rc = f(*port);
    }
    if (wake && rc >= 0) port->Wake();
    return rc;
}
}  // namespace

int NewTimerTrigger(int handle) {
    return withTriggers(handle, false, [](SerialPort& p) { return p.triggers.NewTimer(); });
}

int NewStatusTrigger(int handle, int type) {
    return withTriggers(handle, false, [type](SerialPort& p) { return p.triggers.NewStatus(type); });
}

int NewDataTrigger(int handle, const QByteArray& match, bool ignoreCase) {
    return withTriggers(handle, false, [&](SerialPort& p) { return p.triggers.NewData(match, ignoreCase); });
}

int ArmTimerTrigger(int handle, int trigger, int32_t ticks, bool enable) {
    if (ticks < 0) return ecBadArgument;
    return withTriggers(handle, true, [&](SerialPort& p) {
        return p.triggers.ArmTimer(trigger, uint32_t(ticks), enable, p.clock->Ticks());
    });
}

int ArmStatusTrigger(int handle, int trigger, uint32_t value, bool enable) {
    return withTriggers(handle, true, [&](SerialPort& p) {
        if (p.triggers.StatusTypeOf(trigger) == stModem) p.RefreshModemStatus();
        return p.triggers.ArmStatus(trigger, value, enable, p.Status());
    });
}

int DropTrigger(int handle, int trigger) {
    return withTriggers(handle, false, [trigger](SerialPort& p) { return p.triggers.Drop(trigger); });
}

int SetAvailLevel(int handle, int level) {
    if (level < 0 || level > 0xFFFF) return ecBadArgument;
    return withTriggers(handle, true, [level](SerialPort& p) {
        p.triggers.availLevel = uint16_t(level);
        return ecOK;
    });
}

int GetAvailLevel(int handle) {
    return withTriggers(handle, false, [](SerialPort& p) { return int(p.triggers.availLevel); });
}

int TriggerKind(int handle, int trigger) {
    return withTriggers(handle, false, [trigger](SerialPort& p) {
        return trigger == kAvailTrigger ? 1 : p.triggers.KindOf(trigger);
    });
}

int StatusTriggerType(int handle, int trigger) {
    return withTriggers(handle, false, [trigger](SerialPort& p) { return p.triggers.StatusTypeOf(trigger); });
}

int SaveTriggers(int handle, TriggerTables* tables) {
    return withTriggers(handle, false, [tables](SerialPort& p) {
        *tables = p.triggers;
        return ecOK;
    });
}

int RestoreTriggers(int handle, const TriggerTables& tables) {
    return withTriggers(handle, true, [&tables](SerialPort& p) {
        p.triggers = tables;
        return ecOK;
    });
}

int AttachTriggerSink(int handle, TriggerProc procedure) {
    if (!procedure) return ecBadArgument;
    ORV_PORT(port, handle);
    Lock lock(port->mutex);
    auto h = std::make_shared<SerialPort::Handler>();
    h->id = port->nextHandlerId++;
    h->proc = std::move(procedure);
    port->handlers.push_back(h);
    return h->id;
}

int AttachTriggerSink(int handle, QObject* window, TriggerProc handler, TriggerFilter filter) {
    if (!window || !handler) return ecBadArgument;
    ORV_PORT(port, handle);
    Lock lock(port->mutex);
    auto h = std::make_shared<SerialPort::Handler>();
    h->id = port->nextHandlerId++;
    h->window = true;
    h->target = window;
    h->proc = std::move(handler);
    h->filter = std::move(filter);
    port->handlers.push_back(h);
    return h->id;
}

int DetachTriggerSink(int handle, int sink) {
    ORV_PORT(port, handle);
    Lock lock(port->mutex);
    for (auto& h : port->handlers) {
        if (h->id == sink && !h->deleted) {
            // Only marked while a trigger is being delivered; unlinked after it.
            h->deleted = true;
            if (!port->delivering) std::erase_if(port->handlers, [](const auto& x) { return x->deleted; });
            return ecOK;
        }
    }
    return ecBadArgument;
}

// ---- the I/O thread ------------------------------------------------------------------------------

int PostToPort(int handle, std::function<void()> fn) {
    ORV_PORT(port, handle);
    {
        Lock lock(port->mutex);
        if (port->stopping) return ecBadHandle;
        port->posted.push_back(std::move(fn));
    }
    port->Wake();
    return ecOK;
}

namespace {
struct CallState {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    bool ran = false;
};
// Set when the posted callable is destroyed, whether it ran or was dropped at close.
struct CallGuard {
    std::shared_ptr<CallState> state;
    ~CallGuard() {
        {
            std::lock_guard lock(state->mutex);
            state->done = true;
        }
        state->cv.notify_all();
    }
};
}  // namespace

int CallOnPort(int handle, std::function<void()> fn) {
    ORV_PORT(port, handle);
    if (port->OnIoThread() || DeliveringPort() == port.get()) {
        // On the I/O thread, or in a window handler the I/O thread is waiting for.
        fn();
        return ecOK;
    }
    auto state = std::make_shared<CallState>();
    {
        auto guard = std::make_shared<CallGuard>();
        guard->state = state;
        const int rc = PostToPort(handle, [guard, fn = std::move(fn)] {
            fn();
            std::lock_guard lock(guard->state->mutex);
            guard->state->ran = true;
        });
        if (rc != ecOK) return rc;
    }
    // The caller only waits, on the GUI thread too: running its events here
    // would let a window handler close or delete what the caller is in the
    // middle of. The wait is short and bounded: the I/O thread waits for the
    // GUI thread only with a time-out (window calls, the fax events).
    std::unique_lock lock(state->mutex);
    state->cv.wait(lock, [&] { return state->done; });
    return state->ran ? ecOK : ecBadHandle;
}

int SyncTriggers(int handle) {
    auto port = FindPort(handle);
    if (!port) return ecBadHandle;
    std::weak_ptr<SerialPort> weak = port;
    port.reset();
    return CallOnPort(handle, [weak] {
        if (auto p = weak.lock())
            while (p->ServicePass()) {
            }
    });
}

bool OnPortThread(int handle) {
    auto port = FindPort(handle);
    return port && port->OnIoThread();
}

// ---- clients -----------------------------------------------------------------------------------

int ParkClientData(int handle, int slot, void* data) {
    ORV_PORT(port, handle);
    if (slot < 1 || slot > kUserSlots) return ecBadArgument;
    Lock lock(port->mutex);
    port->user[size_t(slot - 1)] = data;
    return ecOK;
}

int FetchClientData(int handle, int slot, void** data) {
    ORV_PORT(port, handle);
    if (slot < 1 || slot > kUserSlots || !data) return ecBadArgument;
    Lock lock(port->mutex);
    *data = port->user[size_t(slot - 1)];
    return ecOK;
}

int SetBusy(int handle, bool busy) {
    ORV_PORT(port, handle);
    Lock lock(port->mutex);
    port->busy = busy;
    return ecOK;
}

int IsBusy(int handle) {
    ORV_PORT(port, handle);
    Lock lock(port->mutex);
    return port->busy ? 1 : 0;
}

int SetDispatchHold(int handle, bool hold) {
    ORV_PORT(port, handle);
    bool previous;
    {
        std::unique_lock lock(port->mutex);
        previous = port->userHold;
        port->userHold = hold;
        // Wait for a procedure handler to return, so the caller's synchronous
        // work never overlaps a state machine running on the I/O thread.
        if (hold && !port->OnIoThread() && DeliveringPort() != port.get())
            port->deliveryCv.wait(lock, [&] { return !port->deliveringProc || port->stopping; });
    }
    if (!hold) port->Wake();
    return previous ? 1 : 0;
}

uint32_t PortTicks(int handle) {
    auto port = FindPort(handle);
    return port ? port->clock->Ticks() : CurrentTicks();
}

// ---- trace and log ----------------------------------------------------------------------------

int CreateTrace(int handle, int entries) {
    ORV_PORT(port, handle);
    if (entries < 1 || entries > kMaxTraceEntries) return ecBadArgument;
    try {
        auto trace = std::make_unique<TraceBuffer>(entries);
        Lock lock(port->mutex);
        port->trace = std::move(trace);
    } catch (const std::bad_alloc&) {
        return ecOutOfMemory;
    }
    return ecOK;
}

int WriteTraceFile(int handle, const QString& file, bool append, bool hex) {
    ORV_PORT(port, handle);
    std::unique_ptr<TraceBuffer> trace;
    {
        Lock lock(port->mutex);
        if (!port->trace) return ecTracingNotEnabled;
        trace = std::move(port->trace);
    }
    return WriteDiagnosticFile(file, TraceBuffer::Render(trace->Entries(), hex), append);
}

namespace {
template <class F>
int withTrace(int handle, F f) {
    ORV_PORT(port, handle);
    Lock lock(port->mutex);
    if (!port->trace) return ecTracingNotEnabled;
    f(*port->trace);
    return ecOK;
}
template <class F>
int withLog(int handle, F f) {
    ORV_PORT(port, handle);
    Lock lock(port->mutex);
    if (!port->log) return ecLoggingNotEnabled;
    f(*port->log);
    return ecOK;
}
}  // namespace

int ResetTrace(int handle) { return withTrace(handle, [](TraceBuffer& t) { t.Clear(); }); }
int ResumeTrace(int handle) { return withTrace(handle, [](TraceBuffer& t) { t.SetRecording(true); }); }
int PauseTrace(int handle) { return withTrace(handle, [](TraceBuffer& t) { t.SetRecording(false); }); }

int DiscardTrace(int handle) {
    ORV_PORT(port, handle);
    Lock lock(port->mutex);
    port->trace.reset();
    return ecOK;
}

int CreateDispatchLog(int handle, int bytes) {
    ORV_PORT(port, handle);
    if (bytes < int(DispatchLog::kEntryHeader) || bytes > kMaxLogBytes) return ecBadArgument;
    try {
        auto log = std::make_unique<DispatchLog>(bytes);
        Lock lock(port->mutex);
        port->log = std::move(log);
    } catch (const std::bad_alloc&) {
        return ecOutOfMemory;
    }
    return ecOK;
}

int WriteDispatchLog(int handle, const QString& file, bool append, bool hex) {
    ORV_PORT(port, handle);
    std::unique_ptr<DispatchLog> log;
    {
        Lock lock(port->mutex);
        if (!port->log) return ecLoggingNotEnabled;
        log = std::move(port->log);
    }
    return WriteDiagnosticFile(file, DispatchLog::Render(log->Entries(), hex), append);
}

int ResetDispatchLog(int handle) { return withLog(handle, [](DispatchLog& l) { l.Clear(); }); }
int ResumeDispatchLog(int handle) { return withLog(handle, [](DispatchLog& l) { l.SetRecording(true); }); }
int PauseDispatchLog(int handle) { return withLog(handle, [](DispatchLog& l) { l.SetRecording(false); }); }

int DiscardDispatchLog(int handle) {
    ORV_PORT(port, handle);
    Lock lock(port->mutex);
    port->log.reset();
    return ecOK;
}

int AddLogEntry(int handle, uint8_t type, uint8_t subType, uint16_t data, const QByteArray& extra) {
    ORV_PORT(port, handle);
    Lock lock(port->mutex);
    port->Log(type, subType, data, reinterpret_cast<const uint8_t*>(extra.constData()), size_t(extra.size()));
    return ecOK;
}

}  // namespace orv
