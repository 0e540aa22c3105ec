#include "engine/com_port.h"

#include "common/cp1252.h"
#include "common/orv_error.h"
#include "config/program_folder.h"
#include "config/settings.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QPointer>

namespace orv {

std::function<void(const std::exception&)> TOrvCustomComPort::ApplicationExceptionHandler =
    [](const std::exception& e) { qWarning("Orvane: %s", e.what()); };

TOrvCustomComPort::TOrvCustomComPort(QObject* parent) : QObject(parent) {}

TOrvCustomComPort::~TOrvCustomComPort() {
    if (!Open()) return;
    try {
        closePort();
    } catch (const std::exception& e) {
        ApplicationExceptionHandler(e);
    }
}

int TOrvCustomComPort::check(int rc) const {
    if (rc < 0 && !loading_) RaiseOrvError(rc);
    return rc;
}

QString TOrvCustomComPort::DevicePath() const {
    if (!deviceName_.isEmpty()) return deviceName_;
    if (comNumber_ == 0) return {};
    if (comNumber_ <= AppSettings().portPaths.size()) return AppSettings().portPaths[comNumber_ - 1];
    return QStringLiteral("/dev/ttyS%1").arg(comNumber_ - 1);
}

QString TOrvCustomComPort::diagnosticPath(const QString& name) const {
    return QDir::isAbsolutePath(name) ? name : ProgramFolder() + name;
}

// ---- open and close ------------------------------------------------------------------

void TOrvCustomComPort::SetOpen(bool v) {
    if (loading_) {
        openPending_ = v;
        return;
    }
    if (v == Open()) return;
    if (v)
        openPort();
    else
        closePort();
}

void TOrvCustomComPort::Loaded() {
    loading_ = false;
    if (openPending_) {
        openPending_ = false;
        SetOpen(true);
    }
}

int TOrvCustomComPort::handleOrOpen() {
    if (!Open()) {
        if (!autoOpen_) RaiseOrvError(ecCommNotOpen);
        openPort();
    }
    return handle_;
}

int TOrvCustomComPort::PortHandle() { return handleOrOpen(); }

void TOrvCustomComPort::openPort() {
    if (deviceName_.isEmpty() && comNumber_ == 0) RaiseOrvError(ecNoPortSelected);
    PortOptions options;
    if (deviceLayer_ == dlOther) {
        if (!userDevice_) RaiseOrvError(ecNullApi);
        options.device = userDevice_;
    } else if (deviceLayer_ != dlWin32) {
        RaiseOrvError(ecNullApi);
    }
    const int handle = OpenPort(DevicePath(), dispatcherMode_, inSize_, outSize_, dataBits_, stopBits_, parity_,
                                baud_, options);
    check(handle);
    if (handle < 0) return;
    handle_ = handle;
    try {
        // Re-apply what the properties say, in their published order.
        const TTraceLogState tracing = tracing_, logging = logging_;
        tracing_ = logging_ = tlOff;
        if (tracing == tlOn) SetTracing(tlOn);
        if (logging == tlOn) SetLogging(tlOn);
        applyHardwareFlow();
        applySoftwareFlow();
        check(SetXonXoffChars(handle_, uint8_t(xonChar_), uint8_t(xoffChar_)));
        check(SetAvailLevel(handle_, triggerLength_));
        check(SetModemLines(handle_, dtr_, deviceLayer_ == dlFossil ? true : rts_));
        // UseMSRShadow, UseEventWord and CommNotificationLevel set options the threaded layer does not read.

        window_ = new QObject(this);
        window_->setObjectName(QStringLiteral("orvComWindow"));
        sink_ = check(AttachTriggerSink(
            handle_, window_.data(), [this](unsigned msg, unsigned w, uint32_t l) { triggerMessage(msg, w, l); },
            [this](unsigned msg, unsigned w) { return wantsTrigger(msg, w); }));
        if (savedTriggers_) check(RestoreTriggers(handle_, *savedTriggers_));
        const int lineTrigger = NewStatusTrigger(handle_, stLine);
        lineTrigger_ = lineTrigger;
        if (lineTrigger > 0) ArmStatusTrigger(handle_, lineTrigger, 0, true);  // mask 0: only a lost device
    } catch (...) {
        ClosePort(handle_);
        handle_ = 0;
        delete window_.data();
        throw;
    }
    notifyUsers(kMsgPortOpened);
    if (OpenNotify) OpenNotify(*this);
}

void TOrvCustomComPort::closePort() {
    if (!Open() || closing_) return;
    closing_ = true;
    std::exception_ptr first;
    auto keep = [&first](auto&& f) {
        try {
            f();
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    };
    keep([&] { notifyUsers(kMsgPortClosing); });
    keep([&] {
        if (CloseNotify) CloseNotify(*this);
    });
    // A trace or log that is on or paused goes to its file now.
    keep([&] { SetTracing(tlDump); });
    keep([&] { SetLogging(tlDump); });
    if (lineTrigger_ > 0) DropTrigger(handle_, lineTrigger_);
    lineTrigger_ = 0;
    TriggerTables tables;
    if (SaveTriggers(handle_, &tables) == ecOK) savedTriggers_ = tables;
    DetachTriggerSink(handle_, sink_);
    sink_ = 0;
    if (window_) window_->deleteLater();  // we may be inside one of its calls
    window_ = nullptr;
    ClosePort(handle_);
    handle_ = 0;
    closing_ = false;
    if (first && !loading_) std::rethrow_exception(first);
}

void TOrvCustomComPort::reopenIfOpen() {
    if (!Open()) return;
    closePort();
    openPort();
}

int TOrvCustomComPort::AddPortUser(TPortUserProc user) {
    users_.emplace_back(nextUser_, std::move(user));
    return nextUser_++;
}

void TOrvCustomComPort::RemovePortUser(int id) {
    std::erase_if(users_, [id](const auto& u) { return u.first == id; });
}

void TOrvCustomComPort::notifyUsers(unsigned msg) {
    const auto users = users_;  // a user may remove itself
    for (const auto& u : users) u.second(*this, msg);
}

// ---- line properties ---------------------------------------------------------------------

void TOrvCustomComPort::SetComNumber(uint16_t v) {
    if (v == comNumber_) return;
    comNumber_ = v;
    reopenIfOpen();
}

void TOrvCustomComPort::applyLine() {
    if (Open()) check(SetLineParams(handle_, baud_, parity_, dataBits_, stopBits_));
}

void TOrvCustomComPort::SetBaud(int32_t v) {
    baud_ = v;
    applyLine();
}

void TOrvCustomComPort::SetParity(TParity v) {
    parity_ = v;
    applyLine();
}

void TOrvCustomComPort::SetDataBits(uint16_t v) {
    dataBits_ = v;
    applyLine();
}

void TOrvCustomComPort::SetStopBits(uint16_t v) {
    stopBits_ = v;
    applyLine();
}

void TOrvCustomComPort::SetInSize(uint16_t v) {
    if (v == inSize_) return;
    inSize_ = v;
    reopenIfOpen();
}

void TOrvCustomComPort::SetOutSize(uint16_t v) {
    if (v == outSize_) return;
    outSize_ = v;
    reopenIfOpen();
}

void TOrvCustomComPort::SetDTR(bool v) {
    dtr_ = v;
    if (Open()) check(SetModemLines(handle_, dtr_, rts_));
}

void TOrvCustomComPort::SetRTS(bool v) {
    rts_ = v;
    if (Open() && deviceLayer_ != dlFossil) check(SetModemLines(handle_, dtr_, rts_));
}

void TOrvCustomComPort::applyHardwareFlow() {
    int full = bufferFull_, resume = bufferResume_;
    DefaultFlowLimits(true, !hwFlow_.Empty(), inSize_, &full, &resume);
    bufferFull_ = uint16_t(full);
    bufferResume_ = uint16_t(resume);
    if (Open()) check(SetHardwareFlow(handle_, full, resume, hwFlow_.Bits()));
}

void TOrvCustomComPort::applySoftwareFlow() {
    int full = bufferFull_, resume = bufferResume_;
    DefaultFlowLimits(false, swFlow_ != swfNone, inSize_, &full, &resume);
    bufferFull_ = uint16_t(full);
    bufferResume_ = uint16_t(resume);
    if (Open()) check(SetSoftwareFlow(handle_, full, resume, swFlow_));
}

void TOrvCustomComPort::SetHWFlowOptions(THWFlowOptionSet v) {
    hwFlow_ = v;
    applyHardwareFlow();
}

void TOrvCustomComPort::SetSWFlowOptions(TSWFlowOptions v) {
    swFlow_ = v;
    applySoftwareFlow();
}

void TOrvCustomComPort::SetXOnChar(char v) {
    xonChar_ = v;
    if (Open()) check(SetXonXoffChars(handle_, uint8_t(xonChar_), uint8_t(xoffChar_)));
}

void TOrvCustomComPort::SetXOffChar(char v) {
    xoffChar_ = v;
    if (Open()) check(SetXonXoffChars(handle_, uint8_t(xonChar_), uint8_t(xoffChar_)));
}

void TOrvCustomComPort::SetBufferFull(uint16_t v) {
    bufferFull_ = v > inSize_ ? uint16_t(v * 90 / 100) : v;
    if (!hwFlow_.Empty()) applyHardwareFlow();
    if (swFlow_ != swfNone) applySoftwareFlow();
}

void TOrvCustomComPort::SetBufferResume(uint16_t v) {
    bufferResume_ = v > bufferFull_ ? uint16_t(bufferFull_ * 10 / 100) : v;
    if (!hwFlow_.Empty()) applyHardwareFlow();
    if (swFlow_ != swfNone) applySoftwareFlow();
}

void TOrvCustomComPort::SetTriggerLength(uint16_t v) {
    triggerLength_ = v;
    if (Open()) check(SetAvailLevel(handle_, v));
}

// ---- trace and log -----------------------------------------------------------------------

void TOrvCustomComPort::setRecorder(bool trace, TTraceLogState v) {
    TTraceLogState& state = trace ? tracing_ : logging_;
    if (!Open()) {
        state = v == tlOn ? tlOn : tlOff;
        return;
    }
    const bool active = state == tlOn || state == tlPause;
    const QString file = diagnosticPath(trace ? traceName_ : logName_);
    const bool hex = trace ? traceHex_ : logHex_;
    switch (v) {
    case tlOff:
        if (active) {
            trace ? orv::DiscardTrace(handle_) : DiscardDispatchLog(handle_);
            state = tlOff;
        }
        break;
    case tlOn:
        if (state == tlPause) {
            check(trace ? orv::ResumeTrace(handle_) : ResumeDispatchLog(handle_));
        } else {
            check(trace ? orv::CreateTrace(handle_, traceSize_) : CreateDispatchLog(handle_, logSize_));
        }
        state = tlOn;
        break;
    case tlDump:
    case tlAppend:
        if (active) {
            state = tlOff;  // the buffer is gone whether or not the file could be written
            check(trace ? orv::WriteTraceFile(handle_, file, v == tlAppend, hex)
                        : WriteDispatchLog(handle_, file, v == tlAppend, hex));
        }
        break;
    case tlClear:
        if (active) check(trace ? orv::ResetTrace(handle_) : ResetDispatchLog(handle_));
        break;
    case tlPause:
        if (state == tlOn) {
            check(trace ? orv::PauseTrace(handle_) : PauseDispatchLog(handle_));
            state = tlPause;
        }
        break;
    }
}

void TOrvCustomComPort::SetTracing(TTraceLogState v) { setRecorder(true, v); }
void TOrvCustomComPort::SetLogging(TTraceLogState v) { setRecorder(false, v); }

void TOrvCustomComPort::SetTraceSize(uint16_t v) {
    traceSize_ = v > kMaxTraceEntries ? kMaxTraceEntries : v;
    if (Open() && (tracing_ == tlOn || tracing_ == tlPause)) {
        orv::DiscardTrace(handle_);
        tracing_ = tlOff;
        SetTracing(tlOn);
    }
}

void TOrvCustomComPort::SetLogSize(uint16_t v) {
    logSize_ = v > kMaxLogBytes ? kMaxLogBytes : v;
    if (Open() && (logging_ == tlOn || logging_ == tlPause)) {
        DiscardDispatchLog(handle_);
        logging_ = tlOff;
        SetLogging(tlOn);
    }
}

// ---- data -----------------------------------------------------------------------------------

bool TOrvCustomComPort::HasInput() { return orv::HasInput(handleOrOpen()); }

char TOrvCustomComPort::TakeByte() { return char(check(orv::TakeByte(handleOrOpen()))); }

void TOrvCustomComPort::SendText(const QByteArray& text) { check(orv::SendText(handleOrOpen(), text)); }

void TOrvCustomComPort::SendBlock(const void* bytes, size_t count) {
    check(orv::SendBlock(handleOrOpen(), bytes, count));
}

int TOrvCustomComPort::InputCount() { return check(orv::InputCount(handleOrOpen())); }
int TOrvCustomComPort::OutputCount() { return check(orv::OutputCount(handleOrOpen())); }
int TOrvCustomComPort::OutputSpace() { return check(orv::OutputSpace(handleOrOpen())); }
void TOrvCustomComPort::FlushInBuffer() { check(DiscardInput(handleOrOpen())); }
void TOrvCustomComPort::FlushOutBuffer() { check(DiscardOutput(handleOrOpen())); }
uint8_t TOrvCustomComPort::ModemStatus() { return uint8_t(check(ReadModemStatus(handleOrOpen()))); }
bool TOrvCustomComPort::CarrierPresent() { return check(orv::CarrierPresent(handleOrOpen())) == 1; }
uint16_t TOrvCustomComPort::LineErrors() { return uint16_t(check(ReadLineErrors(handleOrOpen()))); }

int TOrvCustomComPort::AddTimerTrigger() { return check(NewTimerTrigger(handleOrOpen())); }
int TOrvCustomComPort::AddStatusTrigger(int type) { return check(NewStatusTrigger(handleOrOpen(), type)); }
int TOrvCustomComPort::AddDataTrigger(const QByteArray& match, bool ignoreCase) {
    return check(NewDataTrigger(handleOrOpen(), match, ignoreCase));
}
void TOrvCustomComPort::SetTimerTrigger(int trigger, int32_t ticks, bool enable) {
    check(ArmTimerTrigger(handleOrOpen(), trigger, ticks, enable));
}
void TOrvCustomComPort::SetStatusTrigger(int trigger, uint32_t value, bool enable) {
    check(ArmStatusTrigger(handleOrOpen(), trigger, value, enable));
}
void TOrvCustomComPort::RemoveTrigger(int trigger) { check(DropTrigger(handleOrOpen(), trigger)); }


bool TOrvCustomComPort::WaitForString(const QByteArray& target, int32_t timeoutTicks, bool ignoreCase,
                                      bool yield) {
    const int h = handleOrOpen();
    if (target.isEmpty()) return true;
    QByteArray want = target;
    if (ignoreCase)
        for (auto& c : want) c = char(upperCp1252(uint8_t(c)));
    // Longest proper prefix that is also a suffix, so a mismatch never skips a
    // match that began inside the characters already seen.
    std::vector<int> border(size_t(want.size()), 0);
    for (int i = 1, k = 0; i < want.size(); ++i) {
        while (k > 0 && want[i] != want[k]) k = border[size_t(k - 1)];
        if (want[i] == want[k]) ++k;
        border[size_t(i)] = k;
    }
    TickTimer timer;
    timer.Start(PortTicks(h), uint32_t(timeoutTicks < 0 ? 0 : timeoutTicks));
    const bool wasHeld = SetDispatchHold(h, true) == 1;
    struct Restore {
        int h;
        bool held;
        ~Restore() { SetDispatchHold(h, held); }
    } restore{h, wasHeld};

    int matched = 0;
    for (;;) {
        int b;
        while ((b = orv::TakeByte(h)) >= 0) {
            if (OnWaitChar) OnWaitChar(*this, char(b));
            const char c = char(ignoreCase ? upperCp1252(uint8_t(b)) : uint8_t(b));
            while (matched > 0 && c != want[matched]) matched = border[size_t(matched - 1)];
            if (c == want[matched]) ++matched;
            if (matched == want.size()) return true;
        }
        if (b != ecBufferIsEmpty) check(b);
        if (QCoreApplication::closingDown()) return true;
        const uint32_t left = timer.Remaining(PortTicks(h));
        if (left == 0) return false;
        if (DeviceLost(h)) return false;
        if (yield) QCoreApplication::processEvents();
        const uint32_t ms = left * kMsPerTick;
        WaitForInput(h, int(yield ? std::min<uint32_t>(ms, 20) : std::min<uint32_t>(ms, kMsPerTick)));
    }
}

// ---- triggers --------------------------------------------------------------------------------

bool TOrvCustomComPort::wantsTrigger(unsigned msg, unsigned wParam) const {
    const unsigned hear = listening_;
    if (hear & kHearAll) return true;
    switch (msg) {
    case kMsgTriggerAvail: return hear & kHearAvail;
    case kMsgTriggerData: return hear & kHearData;
    case kMsgTriggerTimer: return hear & kHearTimer;
    case kMsgTriggerStatus: {
        const int lineTrigger = lineTrigger_;
        if (lineTrigger > 0 && int(wParam) == lineTrigger) return true;  // ours: the device may be gone
        if (hear & kHearStatus) return true;
        switch (StatusTriggerType(handle_, int(wParam))) {
        case stModem: return hear & kHearModemStatus;
        case stLine: return hear & kHearLineError;
        case stOutFree: return hear & kHearOutFree;
        case stOutUsed: return hear & kHearOutUsed;
        case stOutSent: return hear & kHearOutSent;
        default: return false;
        }
    }
    default: return true;
    }
}

void TOrvCustomComPort::triggerMessage(unsigned msg, unsigned wParam, uint32_t lParam) {
    if (!Open() || PortOfLParam(lParam) != handle_) return;
    // A handler may delete this component (its window closed): nothing of it
    // is touched after that.
    const QPointer<TOrvCustomComPort> alive(this);
    try {
        if (OnTrigger) {
            OnTrigger(*this, uint16_t(msg), uint16_t(wParam), uint16_t(lParam & 0xFFFF));
            if (!alive) return;
        }
        switch (msg) {
        case kMsgTriggerAvail:
            if (OnTriggerAvail) OnTriggerAvail(*this, uint16_t(wParam));
            break;
        case kMsgTriggerData:
            if (OnTriggerData) OnTriggerData(*this, uint16_t(wParam));
            break;
        case kMsgTriggerTimer:
            if (OnTriggerTimer) OnTriggerTimer(*this, uint16_t(wParam));
            break;
        case kMsgTriggerStatus: {
            if (int(wParam) == lineTrigger_) {
                const int errors = ReadLineErrors(handle_);
                if (errors > 0 && OnTriggerLineError) OnTriggerLineError(*this, uint16_t(errors), errors & kLineBreak);
                if (!alive) return;
                if (errors < 0 || (errors & kLineDeviceLost))
                    closePort();  // the device is gone: close cleanly, writing trace and log
                else
                    ArmStatusTrigger(handle_, lineTrigger_, 0, true);
                break;
            }
            if (OnTriggerStatus) OnTriggerStatus(*this, uint16_t(wParam));
            if (!alive) return;
            switch (StatusTriggerType(handle_, int(wParam))) {
            case stModem:
                if (OnTriggerModemStatus) OnTriggerModemStatus(*this);
                break;
            case stLine:
                if (OnTriggerLineError) {
                    const int errors = ReadLineErrors(handle_);
                    OnTriggerLineError(*this, uint16_t(errors < 0 ? 0 : errors), errors > 0 && (errors & kLineBreak));
                }
                break;
            case stOutFree:
                if (OnTriggerOutbuffFree) OnTriggerOutbuffFree(*this);
                break;
            case stOutUsed:
                if (OnTriggerOutbuffUsed) OnTriggerOutbuffUsed(*this);
                break;
            case stOutSent:
                if (OnTriggerOutSent) OnTriggerOutSent(*this);
                break;
            }
            break;
        }
        default: break;
        }
    } catch (const std::exception& e) {
        ApplicationExceptionHandler(e);
    }
}

}  // namespace orv
