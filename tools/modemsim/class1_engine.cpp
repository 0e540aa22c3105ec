#include "class1_engine.h"

#include <cstdlib>
#include <cstring>

#include "line.h"
#include "modem.h"
#include "simulator.h"

namespace orv::modemsim {

namespace {
constexpr uint8_t kDle = 0x10, kEtx = 0x03;
// T.30 wants 75 ms of quiet between receiving a signal and sending one;
// spandsp's T.31 would transmit the moment +FTH/+FTM arrives.
constexpr int64_t kTurnaround = msToSamples(75);
constexpr int kAsciiResultCodes = 1, kNumericResultCodes = 2, kNoResultCodes = 3;
}  // namespace

Class1Engine::Class1Engine(Modem& modem) : Engine(modem) { makeModem(); }

Class1Engine::~Class1Engine() { freeModem(); }

void Class1Engine::makeModem() {
    t31_ = t31_init(nullptr, &Class1Engine::atTx, this, &Class1Engine::control, this, nullptr, nullptr);
    t31_set_transmit_on_idle(t31_, true);
    t31_->at_state.p.echo = 0;  // the front end echoes
    t31_->at_state.fclass_mode = 1;  // AT+FCLASS is the front end's; T.31 must know it is in Class 1
    if (modem_.sim().options().t30Log) {
        span_log_set_level(t31_get_logging_state(t31_), SPAN_LOG_SHOW_SEVERITY | SPAN_LOG_SHOW_PROTOCOL | SPAN_LOG_FLOW);
        span_log_set_tag(t31_get_logging_state(t31_), ("t31-" + std::to_string(modem_.index())).c_str());
    }
}

void Class1Engine::freeModem() {
    // spandsp 0.0.6 never frees the receive queue it made in t31_init.
    if (t31_->rx_queue) queue_free(t31_->rx_queue);
    t31_free(t31_);
    t31_ = nullptr;
}

int Class1Engine::atTx(at_state_t*, void* user, const uint8_t* buf, size_t len) {
    auto* self = static_cast<Class1Engine*>(user);
    if (!self->muted_) self->modem_.emitRaw(std::string(reinterpret_cast<const char*>(buf), len));
    return static_cast<int>(len);
}

int Class1Engine::control(t31_state_t*, void* user, int op, const char* num) {
    auto* self = static_cast<Class1Engine*>(user);
    switch (op) {
    case AT_MODEM_CONTROL_CTS:
        self->cts_ = num != nullptr;
        break;
    case AT_MODEM_CONTROL_HANGUP:
        // T.31 asks to go on-hook (ATH while a transmission was draining).
        self->modem_.engineHangUp();
        break;
    default:
        // AT_MODEM_CONTROL_CALL with no number is spandsp announcing a DTE
        // time-out change; dialling and answering are the front end's.
        break;
    }
    return 0;
}

void Class1Engine::renewAfterCall() {
    // Each call meets a fresh T.31, as a real modem forgets the last call when
    // it hangs up: spandsp's keeps modem state across calls (after a V.17
    // session the next caller's call ended at once with NO CARRIER). Renewed
    // here, never inside T.31's own callbacks, and before the first command
    // after the call, so settings the host gives for the next call stay.
    if (!stale_) return;
    stale_ = false;
    freeModem();
    makeModem();
}

Engine::Result Class1Engine::command(const std::string& cmd) {
    renewAfterCall();
    bool transmit = cmd.rfind("+FTH=", 0) == 0 || cmd.rfind("+FTM=", 0) == 0;
    if (transmit && cmd.find('?') == std::string::npos && online_ && lineSamples_ < lastAudio_ + kTurnaround) {
        held_ = cmd;
        return Result::Handled;
    }
    forward(cmd);
    return Result::Handled;
}

void Class1Engine::forward(const std::string& cmd) {
    auto& p = t31_->at_state.p;
    p.echo = 0;
    p.result_code_format = modem_.quiet() ? kNoResultCodes : modem_.verbose() ? kAsciiResultCodes : kNumericResultCodes;
    std::string line = "AT" + cmd + "\r";
    t31_at_rx(t31_, line.data(), static_cast<int>(line.size()));
}

void Class1Engine::tick() {
    if (!held_.empty() && (!online_ || lineSamples_ >= lastAudio_ + kTurnaround)) {
        std::string cmd = held_;
        held_.clear();
        forward(cmd);
    }
    if (holdAfterFinal_ && mode() != AT_MODE_HDLC) holdAfterFinal_ = false;
}

bool Class1Engine::dataMode() const {
    int m = mode();
    return m == AT_MODE_DELIVERY || m == AT_MODE_HDLC || m == AT_MODE_STUFFED || m == AT_MODE_CONNECTED;
}

bool Class1Engine::acceptsHostData() const {
    if (mode() == AT_MODE_STUFFED) return cts_;
    if (mode() == AT_MODE_HDLC) return !holdAfterFinal_;
    return true;
}

size_t Class1Engine::hostData(const char* data, size_t n) {
    switch (mode()) {
    case AT_MODE_DELIVERY:
        // Any character aborts a reception; T.31 swallows it and says OK.
        t31_at_rx(t31_, data, 1);
        return 1;
    case AT_MODE_CONNECTED:
        return n;  // no data modem behind this; drop it
    case AT_MODE_HDLC:
    case AT_MODE_STUFFED: {
        // T.31 drops whatever follows DLE ETX in the same call, and its
        // transmit buffer overflows without a word: feed it no further than
        // the end of the frame or page, and no more than it has room for.
        size_t limit = n;
        if (mode() == AT_MODE_STUFFED) {
            int queued = t31_->tx.in_bytes - t31_->tx.out_bytes;
            int room = T31_TX_BUF_LEN - 2 - queued;
            if (room <= 0) return 0;
            limit = std::min(limit, static_cast<size_t>(std::min(room, 512)));
        } else {
            limit = std::min<size_t>(limit, 64);
        }
        size_t take = 0;
        bool end = false;
        while (take < limit && !end) {
            uint8_t b = static_cast<uint8_t>(data[take++]);
            if (dle_) {
                dle_ = false;
                end = b == kEtx;
            } else if (b == kDle) {
                dle_ = true;
            }
        }
        bool hdlc = mode() == AT_MODE_HDLC;
        t31_at_rx(t31_, data, static_cast<int>(take));
        if (end && hdlc && t31_->hdlc_tx.final) holdAfterFinal_ = true;
        return take;
    }
    default:
        return 0;
    }
}

void Class1Engine::callConnected(bool originating) {
    renewAfterCall();
    online_ = true;
    lineSamples_ = 0;
    lastAudio_ = -kTurnaround;
    t31_call_event(t31_, originating ? AT_CALL_EVENT_CONNECTED : AT_CALL_EVENT_ANSWERED);
}

void Class1Engine::callDropped() {
    stale_ = true;
    online_ = false;
    held_.clear();
    holdAfterFinal_ = false;
    dle_ = false;
    t31_call_event(t31_, AT_CALL_EVENT_HANGUP);
}

void Class1Engine::hangUp() {
    stale_ = online_ || stale_;
    online_ = false;
    held_.clear();
    holdAfterFinal_ = false;
    dle_ = false;
    muted_ = true;
    t31_call_event(t31_, AT_CALL_EVENT_HANGUP);
    muted_ = false;
}

void Class1Engine::lineTx(int16_t* amp, int n) {
    int len = t31_tx(t31_, amp, n);
    if (len < n) std::memset(amp + len, 0, sizeof(int16_t) * static_cast<size_t>(n - len));
}

void Class1Engine::lineRx(int16_t* amp, int n) {
    for (int i = 0; i < n; ++i) {
        if (std::abs(amp[i]) > 32) {
            lastAudio_ = lineSamples_ + n;
            break;
        }
    }
    lineSamples_ += n;
    t31_rx(t31_, amp, n);
    // A held +FTH/+FTM may go now that the line has been quiet long enough.
    if (!held_.empty() && lineSamples_ >= lastAudio_ + kTurnaround) tick();
}

}  // namespace orv::modemsim
