#pragma once
// TOrvComPort: the serial port component windows place on themselves. It
// holds the line settings as properties, opens the dispatcher port on demand
// (AutoOpen), turns negative results into the mapped exceptions, re-publishes
// triggers as events on its own thread, and controls trace and log.
//
//   TOrvComPort port(parent);
//   port.SetComNumber(1);                 // device path from [Modem] Com1 of ORV.INI
//   port.OnTriggerAvail = [](TOrvCustomComPort& cp, uint16_t n) { ... };
//   port.SetOpen(true);                   // or any operation, with AutoOpen
//   port.SendText("AT\r");
//   bool ok = port.WaitForString("OK", 18, true, false);
//
// The fax engine works on PortHandle() through dispatcher.h and never uses the
// events. Port users (AddPortUser) hear 0x7E08 after open and 0x7E09 before
// close; a fax component uses that to end a session whose port goes away.
// A device that disappears while open (unplugged, hung up) fires
// OnTriggerLineError with kLineDeviceLost set, and the component closes itself.
#include "engine/dispatcher.h"
#include "engine/port_types.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

namespace orv {

enum TParity { pNone, pOdd, pEven, pMark, pSpace };
enum TDeviceLayer { dlNone, dlComm, dlFossil, dlWin32, dlWinsock, dlOther };
enum TTapiMode { tmNone, tmAuto, tmOn, tmOff };
enum THWFlowOptions { hwfUseDTR, hwfUseRTS, hwfRequireDSR, hwfRequireCTS };
enum TSWFlowOptions { swfNone, swfReceive, swfTransmit, swfBoth };
enum TTraceLogState { tlOff, tlOn, tlDump, tlAppend, tlClear, tlPause };
enum TDispatcherMode { dNone, dTimer, dCommEvents, dAuto, dWin32 };

// A set of THWFlowOptions; its bits are the dispatcher's hardware flow options.
class THWFlowOptionSet {
public:
    constexpr THWFlowOptionSet() = default;
    constexpr THWFlowOptionSet(std::initializer_list<THWFlowOptions> options) {
        for (auto o : options) bits_ |= 1u << o;
    }
    constexpr bool Contains(THWFlowOptions o) const { return bits_ & (1u << o); }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr unsigned Bits() const { return bits_; }
    constexpr bool operator==(const THWFlowOptionSet&) const = default;

private:
    unsigned bits_ = 0;
};

class TOrvCustomComPort;

// An event property of the component. Assigning a handler (or nullptr) also
// records whether anyone listens, which the port's I/O thread reads: a trigger
// no event of the component listens to is not handed to the component's
// thread at all, so a fax machine running on the port never waits for a busy
// window thread.
template <class F>
class TComPortEvent {
public:
    TComPortEvent(std::atomic<unsigned>& listening, unsigned bit) : listening_(listening), bit_(bit) {}
    TComPortEvent(const TComPortEvent&) = delete;
    TComPortEvent& operator=(F handler) {
        handler_ = std::move(handler);
        if (handler_)
            listening_ |= bit_;
        else
            listening_ &= ~bit_;
        return *this;
    }
    TComPortEvent& operator=(std::nullptr_t) { return *this = F(); }
    explicit operator bool() const { return bool(handler_); }
    // Called through a copy: the handler may delete the component, and with
    // it this event, while it runs.
    template <class... A>
    void operator()(A&&... args) const {
        const F handler = handler_;
        handler(std::forward<A>(args)...);
    }

private:
    F handler_;
    std::atomic<unsigned>& listening_;
    unsigned bit_;
};

using TTriggerEvent = std::function<void(TOrvCustomComPort& CP, uint16_t Msg, uint16_t TriggerHandle, uint16_t Data)>;
using TTriggerAvailEvent = std::function<void(TOrvCustomComPort& CP, uint16_t Count)>;
using TTriggerHandleEvent = std::function<void(TOrvCustomComPort& CP, uint16_t TriggerHandle)>;
using TTriggerDataEvent = TTriggerHandleEvent;
using TTriggerStatusEvent = TTriggerHandleEvent;
using TTriggerTimerEvent = TTriggerHandleEvent;
using TTriggerLineErrorEvent = std::function<void(TOrvCustomComPort& CP, uint16_t Error, bool LineBreak)>;
using TPortNotifyEvent = std::function<void(TOrvCustomComPort& CP)>;
using TWaitCharEvent = std::function<void(TOrvCustomComPort& CP, char C)>;
// A port user: told kMsgPortOpened after open and kMsgPortClosing before close.
using TPortUserProc = std::function<void(TOrvCustomComPort& CP, unsigned Msg)>;

// The component itself: properties, open/close, events, trace and log control.
class TOrvCustomComPort : public QObject {
    Q_OBJECT
public:
    explicit TOrvCustomComPort(QObject* parent = nullptr);
    ~TOrvCustomComPort() override;

    // ---- published properties (defaults in the member initializers below) ----
    TDeviceLayer DeviceLayer() const { return deviceLayer_; }
    void SetDeviceLayer(TDeviceLayer v) { deviceLayer_ = v; }
    uint16_t ComNumber() const { return comNumber_; }
    void SetComNumber(uint16_t v);
    int32_t Baud() const { return baud_; }
    void SetBaud(int32_t v);
    TParity Parity() const { return parity_; }
    void SetParity(TParity v);
    uint16_t DataBits() const { return dataBits_; }
    void SetDataBits(uint16_t v);
    uint16_t StopBits() const { return stopBits_; }
    void SetStopBits(uint16_t v);
    uint16_t InSize() const { return inSize_; }
    void SetInSize(uint16_t v);
    uint16_t OutSize() const { return outSize_; }
    void SetOutSize(uint16_t v);
    bool AutoOpen() const { return autoOpen_; }
    void SetAutoOpen(bool v) { autoOpen_ = v; }
    TDispatcherMode DispatcherMode() const { return dispatcherMode_; }
    void SetDispatcherMode(TDispatcherMode v) { dispatcherMode_ = v; }
    bool Open() const { return handle_ > 0; }
    void SetOpen(bool v);
    bool DTR() const { return dtr_; }
    void SetDTR(bool v);
    bool RTS() const { return rts_; }
    void SetRTS(bool v);
    THWFlowOptionSet HWFlowOptions() const { return hwFlow_; }
    void SetHWFlowOptions(THWFlowOptionSet v);
    TSWFlowOptions SWFlowOptions() const { return swFlow_; }
    void SetSWFlowOptions(TSWFlowOptions v);
    char XOnChar() const { return xonChar_; }
    void SetXOnChar(char v);
    char XOffChar() const { return xoffChar_; }
    void SetXOffChar(char v);
    uint16_t BufferFull() const { return bufferFull_; }
    void SetBufferFull(uint16_t v);
    uint16_t BufferResume() const { return bufferResume_; }
    void SetBufferResume(uint16_t v);
    TTraceLogState Tracing() const { return tracing_; }
    void SetTracing(TTraceLogState v);
    uint16_t TraceSize() const { return traceSize_; }
    void SetTraceSize(uint16_t v);
    QString TraceName() const { return traceName_; }
    void SetTraceName(const QString& v) { traceName_ = v; }
    bool TraceHex() const { return traceHex_; }
    void SetTraceHex(bool v) { traceHex_ = v; }
    TTraceLogState Logging() const { return logging_; }
    void SetLogging(TTraceLogState v);
    uint16_t LogSize() const { return logSize_; }
    void SetLogSize(uint16_t v);
    QString LogName() const { return logName_; }
    void SetLogName(const QString& v) { logName_ = v; }
    bool LogHex() const { return logHex_; }
    void SetLogHex(bool v) { logHex_ = v; }
    bool UseMSRShadow() const { return useMsrShadow_; }
    void SetUseMSRShadow(bool v) { useMsrShadow_ = v; }
    bool UseEventWord() const { return useEventWord_; }
    void SetUseEventWord(bool v) { useEventWord_ = v; }
    uint16_t TriggerLength() const { return triggerLength_; }
    void SetTriggerLength(uint16_t v);
    uint16_t CommNotificationLevel() const { return commNotificationLevel_; }
    void SetCommNotificationLevel(uint16_t v) { commNotificationLevel_ = v; }
    TTapiMode TapiMode() const { return tapiMode_; }
    void SetTapiMode(TTapiMode v) { tapiMode_ = v; }

private:
    // Which trigger events have a handler (bits below); read by the I/O thread.
    std::atomic<unsigned> listening_{0};
    enum : unsigned {
        kHearAll = 1u << 0, kHearAvail = 1u << 1, kHearData = 1u << 2, kHearStatus = 1u << 3,
        kHearTimer = 1u << 4, kHearLineError = 1u << 5, kHearModemStatus = 1u << 6,
        kHearOutFree = 1u << 7, kHearOutUsed = 1u << 8, kHearOutSent = 1u << 9,
    };

public:
    // ---- events (run on the component's thread) ----
    TComPortEvent<TTriggerEvent> OnTrigger{listening_, kHearAll};
    TComPortEvent<TTriggerAvailEvent> OnTriggerAvail{listening_, kHearAvail};
    TComPortEvent<TTriggerDataEvent> OnTriggerData{listening_, kHearData};
    TComPortEvent<TTriggerStatusEvent> OnTriggerStatus{listening_, kHearStatus};
    TComPortEvent<TTriggerTimerEvent> OnTriggerTimer{listening_, kHearTimer};
    TComPortEvent<TTriggerLineErrorEvent> OnTriggerLineError{listening_, kHearLineError};
    TComPortEvent<TPortNotifyEvent> OnTriggerModemStatus{listening_, kHearModemStatus};
    TComPortEvent<TPortNotifyEvent> OnTriggerOutbuffFree{listening_, kHearOutFree};
    TComPortEvent<TPortNotifyEvent> OnTriggerOutbuffUsed{listening_, kHearOutUsed};
    TComPortEvent<TPortNotifyEvent> OnTriggerOutSent{listening_, kHearOutSent};
    TWaitCharEvent OnWaitChar;  // called by WaitForString, not by a trigger

    // ---- hidden state ----
    // The device path: DeviceName when set, else ComNumber's path in ORV.INI
    // ([Modem] Com1..Com6), else /dev/ttyS<ComNumber - 1>.
    QString DeviceName() const { return deviceName_; }
    void SetDeviceName(const QString& path) { deviceName_ = path; }
    QString DevicePath() const;
    // The device operations of DeviceLayer dlOther.
    void SetUserDeviceLayer(std::shared_ptr<SerialDevice> device) { userDevice_ = std::move(device); }
    int AddPortUser(TPortUserProc user);
    void RemovePortUser(int id);
    TPortNotifyEvent OpenNotify;   // after a successful open
    TPortNotifyEvent CloseNotify;  // before close
    // While a form is being built: errors do not raise, SetOpen(true) waits for Loaded().
    void BeginLoading() { loading_ = true; }
    void Loaded();
    // Shows an exception raised by an event handler (default: a warning on stderr).
    static std::function<void(const std::exception&)> ApplicationExceptionHandler;

    // ---- operations (each opens the port first when AutoOpen) ----
    // The dispatcher handle for the fax engine.
    int PortHandle();
    bool HasInput();
    char TakeByte();                          // EBufferIsEmpty when nothing is waiting
    void SendText(const QByteArray& text);    // EOutputBufferTooSmall when it does not fit
    void SendBlock(const void* bytes, size_t count);
    int InputCount();
    int OutputCount();
    int OutputSpace();
    void FlushInBuffer();
    void FlushOutBuffer();
    uint8_t ModemStatus();
    bool CarrierPresent();
    uint16_t LineErrors();

    int AddTimerTrigger();
    int AddStatusTrigger(int type);
    int AddDataTrigger(const QByteArray& match, bool ignoreCase);
    void SetTimerTrigger(int trigger, int32_t ticks, bool enable);
    void SetStatusTrigger(int trigger, uint32_t value, bool enable);
    void RemoveTrigger(int trigger);

    // Consumes received characters (OnWaitChar for each) until target has
    // arrived (true), timeoutTicks pass (false) or the application is shutting
    // down (true). Triggers are held meanwhile; with yield the thread's Qt
    // events are handled while waiting.
    bool WaitForString(const QByteArray& target, int32_t timeoutTicks, bool ignoreCase, bool yield);

    void CreateTrace() { SetTracing(tlOn); }
    void WriteTraceFile() { SetTracing(tlDump); }
    void AppendTraceFile() { SetTracing(tlAppend); }
    void ResetTrace() { SetTracing(tlClear); }
    void DiscardTrace() { SetTracing(tlOff); }
    void ResumeTrace() { SetTracing(tlOn); }
    void PauseTrace() { SetTracing(tlPause); }
    void CreateLog() { SetLogging(tlOn); }
    void WriteLogFile() { SetLogging(tlDump); }
    void AppendLogFile() { SetLogging(tlAppend); }
    void ResetLog() { SetLogging(tlClear); }
    void DiscardLog() { SetLogging(tlOff); }
    void ResumeLog() { SetLogging(tlOn); }
    void PauseLog() { SetLogging(tlPause); }

private:
    int check(int rc) const;       // raises unless loading
    int handleOrOpen();            // opens on demand or raises ECommNotOpen
    void openPort();
    void closePort();
    void reopenIfOpen();
    void applyHardwareFlow();
    void applySoftwareFlow();
    void applyLine();
    void setRecorder(bool trace, TTraceLogState v);
    QString diagnosticPath(const QString& name) const;
    void triggerMessage(unsigned msg, unsigned wParam, uint32_t lParam);
    bool wantsTrigger(unsigned msg, unsigned wParam) const;  // on the I/O thread
    void notifyUsers(unsigned msg);

    TDeviceLayer deviceLayer_ = dlWin32;
    uint16_t comNumber_ = 0;
    int32_t baud_ = 19200;
    TParity parity_ = pNone;
    uint16_t dataBits_ = 8;
    uint16_t stopBits_ = 1;
    uint16_t inSize_ = 4096;
    uint16_t outSize_ = 4096;
    bool autoOpen_ = true;
    TDispatcherMode dispatcherMode_ = dWin32;
    bool dtr_ = true;
    bool rts_ = true;
    THWFlowOptionSet hwFlow_;
    TSWFlowOptions swFlow_ = swfNone;
    char xonChar_ = 17;
    char xoffChar_ = 19;
    uint16_t bufferFull_ = 0;
    uint16_t bufferResume_ = 0;
    TTraceLogState tracing_ = tlOff;
    uint16_t traceSize_ = 10000;
    QString traceName_ = QStringLiteral("ORVPORT.TRC");
    bool traceHex_ = true;
    TTraceLogState logging_ = tlOff;
    uint16_t logSize_ = 10000;
    QString logName_ = QStringLiteral("ORVPORT.LOG");
    bool logHex_ = true;
    bool useMsrShadow_ = true;
    bool useEventWord_ = true;
    uint16_t triggerLength_ = 1;
    uint16_t commNotificationLevel_ = 10;
    TTapiMode tapiMode_ = tmAuto;

    QString deviceName_;
    std::shared_ptr<SerialDevice> userDevice_;
    int handle_ = 0;
    int sink_ = 0;
    std::atomic<int> lineTrigger_{0};  // watches for the device going away
    QPointer<QObject> window_;     // receives the trigger calls of the current open
    std::optional<TriggerTables> savedTriggers_;
    std::vector<std::pair<int, TPortUserProc>> users_;
    int nextUser_ = 1;
    bool loading_ = false;
    bool openPending_ = false;
    bool closing_ = false;
};

// The published face of the component.
class TOrvComPort : public TOrvCustomComPort {
    Q_OBJECT
public:
    using TOrvCustomComPort::TOrvCustomComPort;
};

}  // namespace orv
