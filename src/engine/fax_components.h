#pragma once
// The fax components: what a window places on itself to send or receive faxes.
//
//   TOrvCustomAbstractFax        properties, events and read-only values every fax component has
//    +- TOrvAbstractFax          (the published face)
//        +- TOrvCustomSendFax    sending: dialling, header line, the send queue (OnFaxNext)
//        |   +- TOrvSendFax
//        +- TOrvCustomReceiveFax receiving: answering, file names, accepting calls
//            +- TOrvReceiveFax
//   TOrvAbstractFaxStatus        a status display the component drives (windows implement it)
//   TOrvFaxLog                   the fax history file (fax_log.h)
//
//   TOrvComPort port(this);  port.SetComNumber(1);
//   TOrvSendFax fax(this);   // links itself to the first port, status display and log found on its owner
//   fax.SetPhoneNumber("5551234");  fax.SetFaxFile("/tmp/letter.apf");
//   fax.OnFaxFinish = [](TOrvCustomAbstractFax&, int ErrorCode) { ... };
//   fax.BeginSend();         // checks the port (raises), then runs on the port's thread
//
// Every event runs on the component's own thread: the engine reaches it only
// through queued calls to its hidden "orvFaxHandler" object, and a session's
// modem set-up runs on a thread of its own, so nothing here re-enters the
// caller's event loop. A handler may delete the component, even from inside
// an event: a running session is then aborted and ends on its own.
//
// The components link no widgets: the status display is an abstract
// component that a window library implements (transmit/fax_status.h).
#include "engine/com_port.h"
#include "engine/fax_events.h"
#include "engine/fax_log.h"
#include "engine/fax_types.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <initializer_list>
#include <memory>

namespace orv {

class TOrvCustomAbstractFax;
class TOrvAbstractFaxStatus;
struct FaxSession;
struct FaxCore;

using TModemString = QString;
using TStationID = QString;
using TPassString = QString;

// A set of fax classes (what QueryClassSupport finds).
class TFaxClassSet {
public:
    constexpr TFaxClassSet() = default;
    constexpr TFaxClassSet(std::initializer_list<TFaxClass> classes) {
        for (auto c : classes) bits_ |= 1u << c;
    }
    constexpr bool Contains(TFaxClass c) const { return bits_ & (1u << c); }
    constexpr void Insert(TFaxClass c) { bits_ |= 1u << c; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr bool operator==(const TFaxClassSet&) const = default;

private:
    unsigned bits_ = 0;
};

using TFaxStatusEvent = std::function<void(TOrvCustomAbstractFax& CP, bool First, bool Last)>;
using TFaxLogEvent = std::function<void(TOrvCustomAbstractFax& CP, TFaxLogCode LogCode)>;
using TFaxErrorEvent = std::function<void(TOrvCustomAbstractFax& CP, int ErrorCode)>;
using TFaxFinishEvent = std::function<void(TOrvCustomAbstractFax& CP, int ErrorCode)>;
using TFaxNextEvent = std::function<void(TOrvCustomAbstractFax& CP, TPassString& APhoneNumber, TPassString& AFaxFile,
                                         TPassString& ACoverFile)>;
using TFaxAcceptEvent = std::function<void(TOrvCustomAbstractFax& CP, bool& Accept)>;
using TFaxNameEvent = std::function<void(TOrvCustomAbstractFax& CP, TPassString& Name)>;

// Where a status display's window appears.
enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter };

// ---- the status display -------------------------------------------------------------

// What a fax component drives at each status report. A window library
// derives the real display (a window) from it; the derived class makes its
// window in CreateDisplay, which its constructor calls.
class TOrvAbstractFaxStatus : public QObject {
    Q_OBJECT
public:
    // Placed on an owner whose fax component has no display yet: it becomes that display.
    explicit TOrvAbstractFaxStatus(QObject* owner = nullptr);

    TPosition Position() const { return position_; }
    void SetPosition(TPosition v) { position_ = v; DisplayPropertiesChanged(); }
    bool Ctl3D() const { return ctl3d_; }
    void SetCtl3D(bool v) { ctl3d_ = v; DisplayPropertiesChanged(); }
    bool Visible() const { return visible_; }
    void SetVisible(bool v) { visible_ = v; DisplayPropertiesChanged(); }
    TOrvCustomAbstractFax* Fax() const;
    void SetFax(TOrvCustomAbstractFax* fax);

    virtual void CreateDisplay() = 0;
    virtual void DestroyDisplay() = 0;
    virtual void UpdateDisplay(bool First, bool Last) = 0;

protected:
    // Position, Ctl3D or Visible changed: forward them to the display window.
    virtual void DisplayPropertiesChanged() {}

private:
    TPosition position_ = poScreenCenter;
    bool ctl3d_ = true;
    bool visible_ = false;
    QPointer<QObject> fax_;  // a TOrvCustomAbstractFax
};

class TOrvCustomAbstractFax : public QObject {
    Q_OBJECT
public:
    ~TOrvCustomAbstractFax() override;

    // ---- properties (published by TOrvAbstractFax) ----
    int32_t InitBaud() const { return initBaud_; }
    void SetInitBaud(int32_t v) { initBaud_ = v; }
    int32_t NormalBaud() const { return normalBaud_; }
    void SetNormalBaud(int32_t v) { normalBaud_ = v; }
    TFaxClass FaxClass() const { return faxClass_; }
    void SetFaxClass(TFaxClass v) { faxClass_ = v; }
    TModemString ModemInit() const { return modemInit_; }
    void SetModemInit(const TModemString& v) { modemInit_ = v; }
    TStationID StationID() const { return stationId_; }
    void SetStationID(const TStationID& v) { stationId_ = v.left(20); }
    TOrvCustomComPort* ComPort() const { return comPort_; }
    // Gives the port the line settings a fax session needs.
    void SetComPort(TOrvCustomComPort* port);
    TOrvAbstractFaxStatus* StatusDisplay() const { return statusDisplay_; }
    void SetStatusDisplay(TOrvAbstractFaxStatus* display);
    TOrvFaxLog* FaxLog() const { return faxLog_; }
    void SetFaxLog(TOrvFaxLog* log);
    QString FaxFile() const { return faxFile_; }
    void SetFaxFile(const QString& v) { faxFile_ = v; }
    bool AbortNoConnect() const { return abortNoConnect_; }
    void SetAbortNoConnect(bool v) { abortNoConnect_ = v; }
    bool ExitOnError() const { return exitOnError_; }
    void SetExitOnError(bool v) { exitOnError_ = v; }
    bool SoftwareFlow() const { return softwareFlow_; }
    void SetSoftwareFlow(bool v) { softwareFlow_ = v; }
    uint16_t StatusInterval() const { return statusInterval_; }
    void SetStatusInterval(uint16_t v) { statusInterval_ = v; }
    uint16_t DesiredBPS() const { return desiredBps_; }
    void SetDesiredBPS(uint16_t v) { desiredBps_ = v; }
    bool DesiredECM() const { return desiredEcm_; }
    void SetDesiredECM(bool v) { desiredEcm_ = v; }
    QString FaxFileExt() const { return faxFileExt_; }
    void SetFaxFileExt(const QString& v) { faxFileExt_ = v; }

    TFaxStatusEvent OnFaxStatus;
    TFaxLogEvent OnFaxLog;
    TFaxErrorEvent OnFaxError;
    TFaxFinishEvent OnFaxFinish;

    // ---- read-only values (as of the last report of the session) ----
    int ProgressCode() const { return progress_.status; }
    int LastError() const { return lastError_; }
    QString RemoteStationID() const { return QString::fromLatin1(progress_.remoteId); }
    int ConnectBPS() const { return progress_.bps; }
    bool FineResolution() const { return progress_.fine; }
    bool WidePage() const { return progress_.wide; }
    bool ErrorCorrection() const { return progress_.ecm; }
    int ModemHangupCode() const { return progress_.hangupCode; }
    int PageTotal() const { return progress_.pageTotal; }
    int PageNumber() const { return progress_.pageNumber; }
    qint64 PageBytes() const { return progress_.pageBytes; }
    qint64 BytesDone() const { return std::max<qint64>(0, progress_.bytesDone); }
    static QString ProgressText(int code);

    // True from BeginSend/BeginReceive to the finish event.
    bool InProgress() const;
    // Ends the running session: status 42, error -6005, hang-up, finish.
    void AbortSession();
    // The classes the modem offers ("AT+FCLASS=?", no reset); empty when the
    // modem does not answer. Needs the port (raises as the port check does).
    // While a session runs: the result of the last query.
    TFaxClassSet QueryClassSupport();

    // Receives every line of protocol trace of the sessions (optional).
    std::function<void(const QString& text)> Trace;

protected:
    explicit TOrvCustomAbstractFax(QObject* owner);

    // ---- the operations the engine's messages call (in this order) ----
    virtual void DoFaxStatus(bool First, bool Last);
    virtual void DoFaxLog(TFaxLogCode LogCode);
    virtual void DoFaxError(int ErrorCode);
    virtual void DoFaxFinish(int ErrorCode);
    // Send: the next fax of the queue (true with a phone number). Receive: accept the call.
    virtual bool DoFaxNext(QString& phoneNumber, QString& faxFile, QString& coverFile) { return false; }
    virtual bool DoFaxAccept() { return true; }
    // Receive: the name of the file to receive into (empty: the engine's naming).
    virtual QString DoFaxName() { return {}; }

    // The port check of both starts; returns the port's handle.
    int CheckPort();
    // Fills the settings every session shares into s.
    void FillSession(FaxSession& s, int port) const;
    // Runs a session: the core takes the record and the machine made for it.
    void StartSession(std::unique_ptr<FaxSession> session, bool sending);
    // Who the search for a port, display and log looks through (the owner).
    void LinkFromOwner();

    FaxProgress progress_;
    int lastError_ = 0;
    QString faxFile_;

private:
    friend struct FaxCore;
    void onProgress(const FaxProgress& p);
    void onStatus(const FaxProgress& p, bool first, bool last);
    void onLog(int code, const FaxProgress& p);
    void onError(int code, const FaxProgress& p);
    void onFinish(int code, const FaxProgress& p);
    bool onNext(QString& phone, QString& faxFile, QString& coverFile);
    bool onAccept(const FaxProgress& p);
    QString onName(const FaxProgress& p);

    int32_t initBaud_ = 0;
    int32_t normalBaud_ = 0;
    TFaxClass faxClass_ = fcDetect;
    TModemString modemInit_;
    TStationID stationId_;
    QPointer<TOrvCustomComPort> comPort_;
    QPointer<TOrvAbstractFaxStatus> statusDisplay_;
    QPointer<TOrvFaxLog> faxLog_;
    bool abortNoConnect_ = false;
    bool exitOnError_ = false;
    bool softwareFlow_ = false;
    uint16_t statusInterval_ = 1;
    uint16_t desiredBps_ = 9600;
    bool desiredEcm_ = false;
    QString faxFileExt_ = QStringLiteral("APF");
    TFaxClassSet lastClasses_;

    std::unique_ptr<FaxCore> core_;  // the running (or last) session
};

class TOrvAbstractFax : public TOrvCustomAbstractFax {
    Q_OBJECT
protected:
    using TOrvCustomAbstractFax::TOrvCustomAbstractFax;
};

// ---- sending ----------------------------------------------------------------------

class TOrvCustomSendFax : public TOrvAbstractFax {
    Q_OBJECT
public:
    explicit TOrvCustomSendFax(QObject* owner = nullptr);

    bool BlindDial() const { return blindDial_; }
    void SetBlindDial(bool v) { blindDial_ = v; }
    bool DetectBusy() const { return detectBusy_; }
    void SetDetectBusy(bool v) { detectBusy_ = v; }
    bool ToneDial() const { return toneDial_; }
    void SetToneDial(bool v) { toneDial_ = v; }
    TModemString DialPrefix() const { return dialPrefix_; }
    void SetDialPrefix(const TModemString& v) { dialPrefix_ = v; }
    uint16_t DialWait() const { return dialWait_; }
    void SetDialWait(uint16_t v) { dialWait_ = v; }
    uint16_t DialAttempts() const { return dialAttempts_; }
    void SetDialAttempts(uint16_t v) { dialAttempts_ = v; }
    uint16_t DialRetryWait() const { return dialRetryWait_; }
    void SetDialRetryWait(uint16_t v) { dialRetryWait_ = v; }
    uint16_t MaxSendCount() const { return maxSendCount_; }
    void SetMaxSendCount(uint16_t v) { maxSendCount_ = v; }
    uint16_t BufferMinimum() const { return bufferMinimum_; }
    void SetBufferMinimum(uint16_t v) { bufferMinimum_ = v; }
    QString HeaderLine() const { return headerLine_; }
    void SetHeaderLine(const QString& v) { headerLine_ = v; }
    QString CoverFile() const { return coverFile_; }
    void SetCoverFile(const QString& v) { coverFile_ = v; }
    QString PhoneNumber() const { return phoneNumber_; }
    void SetPhoneNumber(const QString& v) { phoneNumber_ = v; }
    bool SafeMode() const { return safeMode_; }
    void SetSafeMode(bool v) { safeMode_ = v; }
    QString HeaderSender() const { return headerSender_; }
    void SetHeaderSender(const QString& v) { headerSender_ = v; }
    QString HeaderRecipient() const { return headerRecipient_; }
    void SetHeaderRecipient(const QString& v) { headerRecipient_ = v; }
    QString HeaderTitle() const { return headerTitle_; }
    void SetHeaderTitle(const QString& v) { headerTitle_ = v; }
    // Attempts made for the fax in progress, plus one.
    int DialAttempt() const { return std::max(1, progress_.dialAttempt); }

    TFaxNextEvent OnFaxNext;

    // Checks the port (raises EPortNotAssigned, ECannotUseWithWinSock,
    // ECommNotOpen, EOutputBufferTooSmall, ...) and starts sending. Without
    // OnFaxNext the queue is this component's own PhoneNumber, FaxFile and
    // CoverFile, once.
    void BeginSend();

protected:
    bool DoFaxNext(QString& phoneNumber, QString& faxFile, QString& coverFile) override;

private:
    bool blindDial_ = false;
    bool detectBusy_ = true;
    bool toneDial_ = true;
    TModemString dialPrefix_;
    uint16_t dialWait_ = 60;
    uint16_t dialAttempts_ = 3;
    uint16_t dialRetryWait_ = 60;
    uint16_t maxSendCount_ = 50;
    uint16_t bufferMinimum_ = 1000;
    QString headerLine_;
    QString coverFile_;
    QString phoneNumber_;
    bool safeMode_ = true;
    QString headerSender_, headerRecipient_, headerTitle_;
    bool ownValuesGiven_ = false;  // the queue without OnFaxNext handed out this component's fax
};

class TOrvSendFax : public TOrvCustomSendFax {
    Q_OBJECT
public:
    using TOrvCustomSendFax::TOrvCustomSendFax;
};

// ---- receiving --------------------------------------------------------------------

class TOrvCustomReceiveFax : public TOrvAbstractFax {
    Q_OBJECT
public:
    explicit TOrvCustomReceiveFax(QObject* owner = nullptr);

    uint16_t AnswerOnRing() const { return answerOnRing_; }
    void SetAnswerOnRing(uint16_t v) { answerOnRing_ = v; }
    bool FaxAndData() const { return faxAndData_; }
    void SetFaxAndData(bool v) { faxAndData_ = v; }
    bool OneFax() const { return oneFax_; }
    void SetOneFax(bool v) { oneFax_ = v; }
    bool ConstantStatus() const { return constantStatus_; }
    void SetConstantStatus(bool v) { constantStatus_ = v; }
    QString DestinationDir() const { return destinationDir_; }
    void SetDestinationDir(const QString& v) { destinationDir_ = v; }
    // 1 "FAX" + number, 2 month/day + number, other: a fixed name.
    int FileNamingMode() const { return fileNamingMode_; }
    void SetFileNamingMode(int v) { fileNamingMode_ = v; }

    TFaxAcceptEvent OnFaxAccept;
    TFaxNameEvent OnFaxName;

    // Checks the port as BeginSend does and starts waiting for calls.
    void BeginReceive();

protected:
    bool DoFaxAccept() override;
    QString DoFaxName() override;

private:
    uint16_t answerOnRing_ = 1;
    bool faxAndData_ = false;
    bool oneFax_ = false;
    bool constantStatus_ = false;
    QString destinationDir_;
    int fileNamingMode_ = 1;
};

class TOrvReceiveFax : public TOrvCustomReceiveFax {
    Q_OBJECT
public:
    using TOrvCustomReceiveFax::TOrvCustomReceiveFax;
};

}  // namespace orv
