#include "engine/serial_port.h"

#include "common/orv_error.h"

#include <QMetaObject>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <future>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace orv {
namespace {

thread_local SerialPort* tlsDelivering = nullptr;

// Modem lines are polled on real time even when the trigger clock is manual.
uint32_t realMs() {
    static const SystemTickClock clock;
    return clock.Milliseconds();
}

uint8_t deltaBits(uint8_t before, uint8_t after) {
    uint8_t d = 0;
    if ((before ^ after) & kMsrCts) d |= kMsrDeltaCts;
    if ((before ^ after) & kMsrDsr) d |= kMsrDeltaDsr;
    if ((before & kMsrRi) && !(after & kMsrRi)) d |= kMsrTrailingRi;
    if ((before ^ after) & kMsrDcd) d |= kMsrDeltaDcd;
    return d;
}

// A pseudo-terminal has no modem lines: it reads as a cable with CTS and DSR up and no carrier.
constexpr uint8_t kLinesWithoutModem = kMsrCts | kMsrDsr;

}  // namespace

SerialPort* DeliveringPort() { return tlsDelivering; }

SerialPort::SerialPort(int inSize, int outSize, std::shared_ptr<SerialDevice> device,
                       std::shared_ptr<TickClock> clock)
    : inSize(inSize), outSize(outSize), device(std::move(device)), clock(std::move(clock)),
      tx(size_t(outSize)) {}

SerialPort::~SerialPort() {
    if (io_.joinable()) {
        stop_ = true;
        Wake();
        if (OnIoThread())
            io_.detach();
        else
            io_.join();
    }
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void SerialPort::Wake() {
    if (wakeFd_ < 0) return;
    const uint64_t one = 1;
    ssize_t n;
    do n = ::write(wakeFd_, &one, sizeof one);
    while (n < 0 && errno == EINTR);
}

int SerialPort::Start() {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) return ecInternal;
    openMs_ = clock->Milliseconds();
    lastModemPollMs_ = realMs();
    {
        std::lock_guard lock(mutex);
        uint8_t lines = 0;
        if (device->ReadModemLines(&lines) == ecOK) {
            msr = lines;
        } else {
            modemLinesSupported = false;
            msr = kLinesWithoutModem;
        }
        if (device->ReadLineCounts(&counts) != ecOK) countsSupported = false;
    }
    std::weak_ptr<SerialPort> weak = weak_from_this();
    clockToken_ = clock->Subscribe([weak] {
        if (auto p = weak.lock()) p->Wake();
    });
    auto started = std::make_shared<std::promise<void>>();
    std::future<void> ready = started->get_future();
    try {
        io_ = std::thread([self = shared_from_this(), started] {
            self->ioId_ = std::this_thread::get_id();
            {
                std::lock_guard lock(self->mutex);
                self->Log(ltThread, lsStart, 0);  // only a log made before the thread starts sees this
            }
            started->set_value();
            self->run();
        });
    } catch (const std::system_error&) {
        return ecInternal;
    }
    if (ready.wait_for(std::chrono::milliseconds(3000)) != std::future_status::ready) return ecInternal;
    return ecOK;
}

void SerialPort::Log(uint8_t type, uint8_t subType, uint16_t data, const uint8_t* extra, size_t count) {
    if (!log || !log->Recording()) return;
    if (asleep_ && !(type == ltThread && subType == lsSleep)) {
        asleep_ = false;
        log->Add(ltThread, lsWake, SinceOpenMs(), 0);
    }
    log->Add(type, subType, SinceOpenMs(), data, extra, count);
}

StatusContext SerialPort::Status() const {
    StatusContext c;
    c.msr = msr;
    c.lineErrors = lineErrors;
    c.outCount = tx.Count();
    c.outSize = size_t(outSize);
    c.bytesWritten = bytesWritten;
    return c;
}

void SerialPort::RefreshModemStatus() {
    if (!modemLinesSupported || deviceLost) {
        msr &= 0xF0;
        return;
    }
    uint8_t lines = 0;
    if (device->ReadModemLines(&lines) != ecOK) {
        modemLinesSupported = false;
        return;
    }
    const uint8_t delta = deltaBits(msr & 0xF0, lines);
    msr = uint8_t(lines | delta);
    if (delta) Log(ltDispatch, lsModemStatus, msr);
}

void SerialPort::RefreshLineCounts() {
    if (!countsSupported || deviceLost) return;
    LineCounts now;
    if (device->ReadLineCounts(&now) != ecOK) {
        countsSupported = false;
        return;
    }
    uint16_t flags = 0;
    if (now.overrun != counts.overrun) flags |= kLineOverrun;
    if (now.parity != counts.parity) flags |= kLineParity;
    if (now.framing != counts.framing) flags |= kLineFraming;
    if (now.brk != counts.brk) flags |= kLineBreak;
    counts = now;
    if (flags) {
        lineErrors |= flags;
        Log(ltDispatch, lsLineStatus, lineErrors);
    }
}

void SerialPort::ClampCounters() {
    const size_t n = rx.Count();
    unreported = std::min(unreported, n);
    unscanned = std::min(unscanned, n);
}

void SerialPort::loseDevice(int err) {
    if (deviceLost) return;
    Log(ltError, lsNone, uint16_t(err));
    deviceLost = true;
    lineErrors |= kLineDeviceLost;
    Log(ltDispatch, lsLineStatus, lineErrors);
    const uint8_t before = msr & 0xF0;
    msr = deltaBits(before, 0);
    if (before) Log(ltDispatch, lsModemStatus, msr);
    tx.Clear();
    pauses.clear();
    device->Close();
    inputCv.notify_all();
}

void SerialPort::readDevice() {
    std::lock_guard lock(mutex);
    bool got = false;
    while (!deviceLost) {
        const auto [p, room] = rx.FreeSpan();
        if (room == 0) break;
        const ssize_t n = device->Read(p, room);
        if (n > 0) {
            rx.CommitWrite(size_t(n));
            unreported += size_t(n);
            unscanned += size_t(n);
            Log(ltDispatch, lsReadCom, uint16_t(n), p, size_t(n));
            got = true;
            continue;
        }
        if (n == -EAGAIN || n == -EWOULDBLOCK) break;
        // End of file or an error on a tty: the other side hung up or the device is gone.
        loseDevice(n == 0 ? EIO : int(-n));
    }
    if (got) {
        RefreshLineCounts();
        inputCv.notify_all();
    }
}

namespace {
// The clock counts whole milliseconds, the current one already partly gone:
// one more, so that a pause is never shorter than asked.
uint32_t pauseEnd(uint32_t ms) { return realMs() + ms + 1; }
}  // namespace

void SerialPort::QueueOutputPause(uint32_t ms) {
    OutputPause pause;
    pause.at = bytesWritten + tx.Count();
    pause.ms = ms;
    if (tx.Empty() && pauses.empty()) {
        // Nothing goes out before it: the pause starts now.
        pause.started = true;
        pause.endsAt = pauseEnd(ms);
    }
    pauses.push_back(pause);
}

size_t SerialPort::WritableNow(int* waitMs) {
    *waitMs = -1;
    while (!pauses.empty()) {
        OutputPause& p = pauses.front();
        if (bytesWritten < p.at) return size_t(std::min<uint64_t>(p.at - bytesWritten, tx.Count()));
        const uint32_t now = realMs();
        if (!p.started) {
            p.started = true;
            p.endsAt = pauseEnd(p.ms);
        }
        const int32_t left = int32_t(p.endsAt - now);
        if (left > 0) {
            *waitMs = left;
            return 0;
        }
        pauses.pop_front();
    }
    return tx.Count();
}

void SerialPort::writeDevice() {
    std::lock_guard lock(mutex);
    while (!tx.Empty() && !deviceLost) {
        int pauseWait;
        const size_t allowed = WritableNow(&pauseWait);
        if (allowed == 0) break;  // a pause holds the rest back
        auto [p, count] = tx.DataSpan();
        count = std::min(count, allowed);
        const ssize_t n = device->Write(p, count);
        if (n > 0) {
            Log(ltDispatch, lsWriteCom, uint16_t(n), p, size_t(n));
            tx.Consume(size_t(n));
            bytesWritten += uint64_t(n);
            continue;
        }
        if (n == 0 || n == -EAGAIN || n == -EWOULDBLOCK) break;
        loseDevice(int(-n));
    }
}

int SerialPort::Drain(int timeoutMs) {
    const uint32_t start = realMs();
    for (;;) {
        int fd = -1;
        {
            std::lock_guard lock(mutex);
            if (tx.Empty() || deviceLost || stopping) return int(tx.Count());
            fd = device->Fd();
        }
        const int left = timeoutMs - int(realMs() - start);
        if (left <= 0) break;
        if (OnIoThread()) {
            // A handler on this thread waits for its own output: write it here.
            writeDevice();
            int pauseWait;
            {
                std::lock_guard lock(mutex);
                if (tx.Empty() || deviceLost) return int(tx.Count());
                WritableNow(&pauseWait);
            }
            if (pauseWait >= 0) {
                // A pause holds the rest: the device is writable, so waiting for that would spin.
                ::poll(nullptr, 0, std::min(left, pauseWait));
                continue;
            }
            pollfd pfd{fd, POLLOUT, 0};
            ::poll(&pfd, 1, std::min(left, 20));
        } else {
            Wake();
            ::poll(nullptr, 0, std::min(left, 5));
        }
    }
    std::lock_guard lock(mutex);
    return int(tx.Count());
}

int SerialPort::pollTimeout(bool* modemPoll) {
    int timeout = -1;
    if (!userHold && clock->Realtime()) {
        const uint32_t ms = clock->Milliseconds();
        const int64_t left = triggers.TicksToNextTimer((ms & 0x7FFFFFFFu) / kMsPerTick);
        if (left == 0) {
            timeout = 0;
        } else if (left > 0) {
            const int64_t wait = left * kMsPerTick - int64_t((ms & 0x7FFFFFFFu) % kMsPerTick) + 1;
            timeout = int(std::min<int64_t>(wait, INT_MAX));
        }
    }
    *modemPoll = false;
    if (!userHold && modemLinesSupported && !deviceLost && triggers.AnyModemStatusEnabled()) {
        *modemPoll = true;
        const uint32_t since = realMs() - lastModemPollMs_;
        const int wait = since >= kMsPerTick ? 0 : int(kMsPerTick - since);
        timeout = timeout < 0 ? wait : std::min(timeout, wait);
    }
    return timeout;
}

void SerialPort::run() {
    while (!stop_) {
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {-1, 0, 0}};
        bool modemPoll = false;
        int timeout;
        int pauseWait;
        {
            std::lock_guard lock(mutex);
            if (closeRequested) break;
            timeout = posted.empty() ? pollTimeout(&modemPoll) : 0;
            const int fd = deviceLost ? -1 : device->Fd();
            short events = 0;
            if (!rx.Full()) events |= POLLIN;
            // Output held back by a pause is written when the pause ends, not when the device can take it.
            pauseWait = -1;
            if (!tx.Empty() && WritableNow(&pauseWait) > 0) events |= POLLOUT;
            if (pauseWait >= 0) timeout = timeout < 0 ? pauseWait : std::min(timeout, pauseWait);
            if (fd >= 0 && events) fds[1] = {fd, events, 0};
            if (timeout != 0 && !asleep_ && log && log->Recording()) {
                Log(ltThread, lsSleep, uint16_t(timeout < 0 ? 0xFFFF : std::min(timeout / int(kMsPerTick), 0xFFFF)));
                asleep_ = true;
            }
        }
        const int r = ::poll(fds, 2, timeout);
        if (r < 0 && errno != EINTR) {
            std::lock_guard lock(mutex);
            Log(ltError, lsNone, uint16_t(errno));
        }
        if (fds[0].revents & POLLIN) {
            uint64_t v;
            while (::read(wakeFd_, &v, sizeof v) < 0 && errno == EINTR) {
            }
        }
        if (stop_) break;
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) readDevice();
        // Data queued while we slept is written at once; poll() waits only when the device is full.
        if ((fds[1].revents & POLLOUT) || (fds[0].revents & POLLIN) || pauseWait >= 0) writeDevice();
        if (modemPoll) {
            std::lock_guard lock(mutex);
            const uint32_t now = realMs();
            if (now - lastModemPollMs_ >= kMsPerTick) {
                lastModemPollMs_ = now;
                RefreshModemStatus();
            }
        }
        while (!stop_ && servicePass()) {
        }
        runPosted();
    }
    bool selfClose;
    {
        std::lock_guard lock(mutex);
        Log(ltThread, lsExit, 0);
        selfClose = closeRequested;
    }
    // A close asked for by a handler on this thread ends here, after the handler returned.
    if (selfClose && !stop_) FinishClose(shared_from_this());
}

void SerialPort::runPosted() {
    for (;;) {
        std::function<void()> fn;
        {
            std::lock_guard lock(mutex);
            if (posted.empty() || closeRequested || stop_) return;
            fn = std::move(posted.front());
            posted.pop_front();
        }
        try {
            fn();
        } catch (...) {
            std::lock_guard lock(mutex);
            Log(ltError, lsNone, uint16_t(ecInternal & 0xFFFF));
        }
    }
}

bool SerialPort::servicePass() {
    struct Message {
        unsigned msg;
        unsigned wParam;
        uint16_t data;
        uint8_t logSub;
        uint16_t logData;
    };
    std::vector<Message> out;
    {
        std::lock_guard lock(mutex);
        if (userHold || stopping || closeRequested) return false;
        ClampCounters();
        const uint16_t level = triggers.availLevel;
        if (unscanned > 0 && triggers.HasDataTriggers()) {
            const size_t count = rx.Count();
            std::vector<int> matched;
            while (unscanned > 0) {
                const size_t pos = count - unscanned;
                --unscanned;
                triggers.FeedData(uint8_t(rx.Peek(pos)), matched);
                if (matched.empty()) continue;
                // The bytes up to the match are announced first, when enough of them are new.
                const size_t fresh = unreported > unscanned ? unreported - unscanned : 0;
                if (level > 0 && fresh >= level) {
                    out.push_back({kMsgTriggerAvail, unsigned(pos + 1), 0, lsAvail, uint16_t(pos + 1)});
                    unreported = unscanned;
                }
                for (int h : matched)
                    out.push_back({kMsgTriggerData, unsigned(h), uint16_t(triggers.DataLength(h)), lsData,
                                   uint16_t(h)});
                break;
            }
        } else {
            unscanned = 0;
        }
        if (out.empty() && level > 0 && unreported >= level) {
            const size_t count = rx.Count() - unscanned;
            if (count > 0) {
                out.push_back({kMsgTriggerAvail, unsigned(count), 0, lsAvail, uint16_t(count)});
                unreported = unscanned;
            }
        }
        if (out.empty()) {
            if (const int h = triggers.TakeExpiredTimer(clock->Ticks()))
                out.push_back({kMsgTriggerTimer, unsigned(h), 0, lsTimer, uint16_t(h)});
        }
        if (out.empty()) {
            const StatusContext ctx = Status();
            if (const int h = triggers.TakeFiredStatus(ctx)) {
                const int type = triggers.StatusTypeOf(h);
                const uint16_t data =
                    type == stOutFree || type == stOutUsed ? uint16_t(triggers.StatusValueOf(h)) : 0;
                out.push_back({kMsgTriggerStatus, unsigned(h), data, lsStatus, uint16_t(h)});
            }
        }
        if (out.empty()) return false;
    }
    for (const Message& m : out) {
        if (stop_) break;
        deliver(m.msg, m.wParam, m.data, m.logSub, m.logData);
    }
    return true;
}

void SerialPort::deliver(unsigned msg, unsigned wParam, uint16_t data, uint8_t logSub, uint16_t logData) {
    std::vector<std::shared_ptr<Handler>> list;
    {
        std::lock_guard lock(mutex);
        delivering = true;
        deliveringProc = true;
        list = handlers;
        Log(ltTrigger, logSub, logData);
    }
    const uint32_t lParam = TriggerLParam(handle, data);
    for (const auto& h : list) {
        {
            std::lock_guard lock(mutex);
            if (h->deleted || stopping) continue;
        }
        if (h->window) {
            if (!h->filter || h->filter(msg, wParam)) deliverToWindow(h, msg, wParam, lParam);
            continue;
        }
        SerialPort* const previous = tlsDelivering;
        tlsDelivering = this;
        try {
            h->proc(msg, wParam, lParam);
        } catch (...) {
            std::lock_guard lock(mutex);
            Log(ltError, lsNone, uint16_t(ecInternal & 0xFFFF));
        }
        tlsDelivering = previous;
        if (stop_) break;
    }
    {
        std::lock_guard lock(mutex);
        delivering = false;
        deliveringProc = false;
        std::erase_if(handlers, [](const auto& h) { return h->deleted; });
    }
    deliveryCv.notify_all();
}

void SerialPort::deliverToWindow(const std::shared_ptr<Handler>& h, unsigned msg, unsigned wParam,
                                 uint32_t lParam) {
    QObject* target = h->target.data();
    if (!target) return;
    auto call = std::make_shared<PendingCall>();
    {
        std::lock_guard lock(mutex);
        if (stopping) return;
        currentCall = call;
        // The window's thread may hold dispatch now: it is not blocked by this delivery.
        deliveringProc = false;
    }
    deliveryCv.notify_all();
    std::weak_ptr<SerialPort> weak = weak_from_this();
    TriggerProc proc = h->proc;
    const bool posted = QMetaObject::invokeMethod(
        target,
        [call, proc, msg, wParam, lParam, weak] {
            {
                std::lock_guard lock(call->mutex);
                if (call->cancelled) return;
            }
            auto port = weak.lock();
            if (!port) return;
            SerialPort* const previous = tlsDelivering;
            tlsDelivering = port.get();
            try {
                proc(msg, wParam, lParam);
            } catch (...) {
                std::lock_guard lock(port->mutex);
                port->Log(ltError, lsNone, uint16_t(ecInternal & 0xFFFF));
            }
            tlsDelivering = previous;
            bool closeNow;
            {
                std::lock_guard lock(port->mutex);
                closeNow = port->closeAfterWindowCall;
            }
            {
                std::lock_guard lock(call->mutex);
                call->done = true;
            }
            call->cv.notify_all();
            if (closeNow) FinishClose(port);
        },
        Qt::QueuedConnection);
    if (posted) {
        std::unique_lock lock(call->mutex);
        call->cv.wait_for(lock, std::chrono::milliseconds(kHandlerTimeoutMs),
                          [&] { return call->done || call->cancelled; });
    }
    std::lock_guard lock(mutex);
    currentCall.reset();
    deliveringProc = true;
}

// ---- the port table ------------------------------------------------------------------

namespace {
struct PortTable {
    std::mutex mutex;
    std::array<std::shared_ptr<SerialPort>, kMaxPorts> ports;
};
// Never destroyed: I/O threads may still look ports up while the program exits.
PortTable& table() {
    static PortTable* t = new PortTable;
    return *t;
}
}  // namespace

std::shared_ptr<SerialPort> FindPort(int handle) {
    if (handle < 1 || handle > kMaxPorts) return nullptr;
    PortTable& t = table();
    std::lock_guard lock(t.mutex);
    auto p = t.ports[size_t(handle - 1)];
    return p && p->ready && !p->finished ? p : nullptr;
}

int ReserveSlot(const std::shared_ptr<SerialPort>& port) {
    PortTable& t = table();
    std::lock_guard lock(t.mutex);
    for (size_t i = 0; i < t.ports.size(); ++i) {
        if (!t.ports[i]) {
            t.ports[i] = port;
            return int(i) + 1;
        }
    }
    return ecNoHandles;
}

void ReleaseSlot(int handle, const SerialPort* port) {
    PortTable& t = table();
    std::lock_guard lock(t.mutex);
    if (t.ports[size_t(handle - 1)].get() == port) t.ports[size_t(handle - 1)].reset();
}

void MarkReady(const std::shared_ptr<SerialPort>& port) {
    PortTable& t = table();
    std::lock_guard lock(t.mutex);
    port->ready = true;
}

void FinishClose(const std::shared_ptr<SerialPort>& port) {
    {
        PortTable& t = table();
        std::lock_guard lock(t.mutex);
        if (port->finished) return;
        port->finished = true;
        auto& slot = t.ports[size_t(port->handle - 1)];
        if (slot == port) slot.reset();
    }
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(port->mutex);
        port->stopping = true;
        if (port->currentCall) {
            std::lock_guard callLock(port->currentCall->mutex);
            port->currentCall->cancelled = true;
            port->currentCall->cv.notify_all();
        }
        dropped.swap(port->posted);
    }
    port->stop_ = true;
    port->Wake();
    port->inputCv.notify_all();
    port->deliveryCv.notify_all();
    if (port->io_.joinable()) {
        if (port->OnIoThread())
            port->io_.detach();
        else
            port->io_.join();
    }
    port->clock->Unsubscribe(port->clockToken_);
    {
        std::lock_guard lock(port->mutex);
        port->device->Close();
        port->handlers.clear();
    }
    dropped.clear();  // callers waiting in CallOnPort learn that theirs will not run
}

}  // namespace orv
