#include "engine/fax_components.h"

#include "common/orv_error.h"
#include "engine/com_port.h"
#include "engine/dispatcher.h"
#include "engine/fax_log.h"
#include "engine/fax_port.h"
#include "engine/fax_receiver.h"
#include "engine/fax_sender.h"
#include "engine/modem_link.h"

#include <QCoreApplication>
#include <thread>

namespace orv {

namespace {
constexpr int kMinimumOutSize = 8192;  // the page pump needs this much room

// Runs a handler of the application through a copy of it: the handler may
// delete the component, and with it the event it was called from. Its
// exceptions go to the application's exception handler, never into the event
// loop. False when the handler deleted the component.
template <class H, class... A>
bool runHandler(QObject* component, const H& event, A&&... args) {
    QPointer<QObject> alive(component);
    const H handler = event;
    try {
        handler(std::forward<A>(args)...);
    } catch (const std::exception& e) {
        TOrvCustomComPort::ApplicationExceptionHandler(e);
    }
    return !alive.isNull();
}
}  // namespace

// One session of a component: the session record, the machine, the hidden
// handler object the engine's calls arrive at, and the port-user link. It
// outlives its component when the component goes while the session runs:
// the session is then aborted and the core deletes itself once it finished.
struct FaxCore : FaxEvents {
    FaxCore(TOrvCustomAbstractFax* owner, bool sending) : owner(owner), sending(sending) {
        handler.setObjectName(QStringLiteral("orvFaxHandler"));
        events = std::make_unique<QueuedFaxEvents>(&handler, *this);
    }
    ~FaxCore() override {
        machine.reset();
        if (port && portUser) port->RemovePortUser(portUser);
    }

    // Hands a core over for deletion at a moment when none of its calls runs.
    static void Release(std::unique_ptr<FaxCore> core) {
        core->owner = nullptr;
        FaxCore* c = core.release();
        if (c->machine && c->machine->Running() && !c->finished) {
            c->deleteWhenFinished = true;
            c->machine->Abort();
            return;
        }
        if (c->inCall == 0 && (!c->machine || !c->machine->Running()))
            delete c;  // none of its calls is running: nothing can touch it any more
        else
            c->deleteLater();
    }
    void deleteLater() {
        if (auto* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, [this] { delete this; }, Qt::QueuedConnection);
        else
            delete this;
    }

    void watchPort(TOrvCustomComPort* p) {
        port = p;
        portUser = p->AddPortUser([this](TOrvCustomComPort&, unsigned msg) {
            if (msg != kMsgPortClosing) return;
            // The session ends once the port is closed (the machine then runs
            // its last steps here, the port's thread being gone); waiting for
            // the port's thread now would mean waiting inside the close.
            QMetaObject::invokeMethod(
                &handler,
                [this] {
                    if (machine && machine->Running()) machine->PortClosing();
                },
                Qt::QueuedConnection);
        });
    }

    // ---- FaxEvents: every call arrives on the handler's (the component's) thread ----
    void FaxStatus(const FaxProgress& p, bool first, bool last) override {
        CallScope scope(inCall);
        if (owner) owner->onStatus(p, first, last);
    }
    void FaxLog(int logCode, const FaxProgress& p) override {
        CallScope scope(inCall);
        if (owner) owner->onLog(logCode, p);
    }
    void FaxError(int errorCode, const FaxProgress& p) override {
        CallScope scope(inCall);
        if (owner) owner->onError(errorCode, p);
    }
    void FaxFinish(int errorCode, const FaxProgress& p) override {
        CallScope scope(inCall);
        finished = true;
        if (owner) {
            owner->onFinish(errorCode, p);  // may delete the owner, and so release this core
            return;
        }
        if (deleteWhenFinished) {
            deleteWhenFinished = false;
            deleteLater();
        }
    }
    bool FaxNext(QByteArray& phoneNumber, QString& faxFile, QString& coverFile) override {
        CallScope scope(inCall);
        if (!owner || !sending) return false;
        QString phone;
        const bool more = owner->onNext(phone, faxFile, coverFile);
        phoneNumber = phone.toLatin1().left(40);
        return more && !phoneNumber.isEmpty();
    }
    bool FaxAccept(const FaxProgress& p) override {
        CallScope scope(inCall);
        return owner ? owner->onAccept(p) : false;
    }
    QString FaxName(const FaxProgress& p) override {
        CallScope scope(inCall);
        return owner ? owner->onName(p) : QString();
    }

    // Counts the calls in progress (a handler inside one may release the core).
    struct CallScope {
        int& depth;
        explicit CallScope(int& d) : depth(d) { ++depth; }
        ~CallScope() { --depth; }
    };

    TOrvCustomAbstractFax* owner;
    const bool sending;
    QObject handler;
    std::unique_ptr<QueuedFaxEvents> events;
    std::unique_ptr<FaxSession> session;
    std::unique_ptr<FaxMachine> machine;
    QPointer<TOrvCustomComPort> port;
    int portUser = 0;
    bool finished = false;
    bool deleteWhenFinished = false;
    int inCall = 0;
};

// ---- TOrvAbstractFaxStatus -------------------------------------------------------------------

TOrvAbstractFaxStatus::TOrvAbstractFaxStatus(QObject* owner) : QObject(owner) {
    if (!owner) return;
    for (auto* fax : owner->findChildren<TOrvCustomAbstractFax*>())
        if (!fax->StatusDisplay()) {
            fax->SetStatusDisplay(this);
            break;
        }
}

TOrvCustomAbstractFax* TOrvAbstractFaxStatus::Fax() const {
    return static_cast<TOrvCustomAbstractFax*>(fax_.data());
}

void TOrvAbstractFaxStatus::SetFax(TOrvCustomAbstractFax* fax) { fax_ = fax; }

// ---- TOrvCustomAbstractFax -------------------------------------------------------------------

TOrvCustomAbstractFax::TOrvCustomAbstractFax(QObject* owner) : QObject(owner) {}

TOrvCustomAbstractFax::~TOrvCustomAbstractFax() {
    if (statusDisplay_ && statusDisplay_->Fax() == this) statusDisplay_->SetFax(nullptr);
    if (faxLog_ && faxLog_->Fax() == this) faxLog_->SetFax(nullptr);
    if (core_) FaxCore::Release(std::move(core_));
}

void TOrvCustomAbstractFax::SetComPort(TOrvCustomComPort* port) {
    comPort_ = port;
    if (port) ApplyFaxPortSettings(*port);
}

void TOrvCustomAbstractFax::SetStatusDisplay(TOrvAbstractFaxStatus* display) {
    if (statusDisplay_ && statusDisplay_->Fax() == this) statusDisplay_->SetFax(nullptr);
    statusDisplay_ = display;
    if (display) display->SetFax(this);
}

void TOrvCustomAbstractFax::SetFaxLog(TOrvFaxLog* log) {
    if (faxLog_ && faxLog_->Fax() == this) faxLog_->SetFax(nullptr);
    faxLog_ = log;
    if (log) log->SetFax(this);
}

void TOrvCustomAbstractFax::LinkFromOwner() {
    QObject* owner = parent();
    if (!owner) return;
    if (!comPort_) {
        const auto ports = owner->findChildren<TOrvCustomComPort*>();
        if (!ports.isEmpty()) SetComPort(ports.first());
    }
    if (!statusDisplay_) {
        for (auto* d : owner->findChildren<TOrvAbstractFaxStatus*>())
            if (!d->Fax()) {
                SetStatusDisplay(d);
                break;
            }
    }
    if (!faxLog_) {
        for (auto* l : owner->findChildren<TOrvFaxLog*>())
            if (!l->Fax()) {
                SetFaxLog(l);
                break;
            }
    }
}

QString TOrvCustomAbstractFax::ProgressText(int code) { return FaxStatusText(code); }

bool TOrvCustomAbstractFax::InProgress() const { return core_ && !core_->finished; }

void TOrvCustomAbstractFax::AbortSession() {
    if (core_ && core_->machine && !core_->finished) core_->machine->Abort();
}

int TOrvCustomAbstractFax::CheckPort() {
    LinkFromOwner();  // a port placed on the owner after this component
    if (!comPort_) RaiseOrvError(ecPortNotAssigned);
    if (comPort_->DeviceLayer() == dlWinsock) RaiseOrvError(ecCannotUseWithWinSock);
    const int handle = comPort_->PortHandle();  // opens the port when AutoOpen allows, else raises
    if (comPort_->OutSize() < kMinimumOutSize) RaiseOrvError(ecOutputBufferTooSmall);
    return handle;
}

TFaxClassSet TOrvCustomAbstractFax::QueryClassSupport() {
    if (InProgress()) return lastClasses_;
    FaxSession s;
    s.port = CheckPort();
    s.trace = Trace;
    // On a thread of its own: the synchronous dialogue never runs this
    // thread's event loop, so no window handler re-enters here meanwhile.
    FaxClassSupport c;
    std::thread query([&] { c = QueryFaxClasses(s, false); });
    query.join();
    TFaxClassSet set;
    if (c.class1) set.Insert(fcClass1);
    if (c.class2) set.Insert(fcClass2);
    if (c.class2_0) set.Insert(fcClass2_0);
    lastClasses_ = set;
    return set;
}

void TOrvCustomAbstractFax::FillSession(FaxSession& s, int port) const {
    s.port = port;
    s.faxClass = faxClass_;
    s.options = (abortNoConnect_ ? foAbortNoConnect : 0u) | (exitOnError_ ? foExitOnError : 0u) |
                (softwareFlow_ ? foSoftwareFlow : 0u);
    s.statusInterval = statusInterval_;
    s.stationId = stationId_.toLatin1().left(20);
    s.faxFileExt = faxFileExt_;
    s.SetModemInit(modemInit_.toLatin1());
    s.desiredBps = desiredBps_;
    s.desiredEcm = desiredEcm_ ? '1' : '0';
    s.normalBaud = normalBaud_;
    s.SetInitBaud(initBaud_);
    s.trace = Trace;
}

void TOrvCustomAbstractFax::StartSession(std::unique_ptr<FaxSession> session, bool sending) {
    auto core = std::make_unique<FaxCore>(this, sending);
    core->session = std::move(session);
    if (sending)
        core->machine = std::make_unique<FaxSender>(static_cast<FaxSendSession&>(*core->session), *core->events);
    else
        core->machine = std::make_unique<FaxReceiver>(static_cast<FaxReceiveSession&>(*core->session), *core->events);
    core->watchPort(comPort_);
    if (core_) FaxCore::Release(std::move(core_));  // the last session's, finished
    core_ = std::move(core);
    progress_ = {};
    lastError_ = 0;
    // Last: a failure to start is reported at once, and its handler may delete this component.
    core_->machine->StartAsync();
}

// ---- the engine's calls ------------------------------------------------------------------------

void TOrvCustomAbstractFax::onProgress(const FaxProgress& p) {
    progress_ = p;
    if (p.error != 0) lastError_ = p.error;
}

void TOrvCustomAbstractFax::onStatus(const FaxProgress& p, bool first, bool last) {
    onProgress(p);
    DoFaxStatus(first, last);
}

void TOrvCustomAbstractFax::onLog(int code, const FaxProgress& p) {
    onProgress(p);
    if (code == logReceiveBegin && !p.faxFile.isEmpty()) faxFile_ = p.faxFile;
    DoFaxLog(TFaxLogCode(code));
}

void TOrvCustomAbstractFax::onError(int code, const FaxProgress& p) {
    onProgress(p);
    lastError_ = code;
    DoFaxError(code);
}

void TOrvCustomAbstractFax::onFinish(int code, const FaxProgress& p) {
    onProgress(p);
    DoFaxFinish(code);
}

bool TOrvCustomAbstractFax::onNext(QString& phone, QString& faxFile, QString& coverFile) {
    return DoFaxNext(phone, faxFile, coverFile);
}

bool TOrvCustomAbstractFax::onAccept(const FaxProgress& p) {
    onProgress(p);
    return DoFaxAccept();
}

QString TOrvCustomAbstractFax::onName(const FaxProgress& p) {
    onProgress(p);
    return DoFaxName();
}

void TOrvCustomAbstractFax::DoFaxStatus(bool First, bool Last) {
    if (statusDisplay_) {
        TOrvAbstractFaxStatus* display = statusDisplay_;
        if (!runHandler(this, [&] { display->UpdateDisplay(First, Last); })) return;
    }
    if (OnFaxStatus) runHandler(this, OnFaxStatus, *this, First, Last);
}

void TOrvCustomAbstractFax::DoFaxLog(TFaxLogCode LogCode) {
    if (faxLog_) {
        TOrvFaxLog* log = faxLog_;
        try {
            log->UpdateLog(LogCode);
        } catch (const EOrvException& e) {
            // The fax itself is not lost: the failure goes to the port's log
            // and to the application, and the session goes on.
            if (comPort_ && comPort_->Open())
                AddLogEntry(comPort_->PortHandle(), ltError, lsNone, uint16_t(-e.code()), QByteArray(e.what()));
            TOrvCustomComPort::ApplicationExceptionHandler(e);
        }
    }
    if (OnFaxLog && !runHandler(this, OnFaxLog, *this, LogCode)) return;
    if (LogCode == logReceiveOk || LogCode == logReceiveSkip || LogCode == logReceiveFail) faxFile_.clear();
}

void TOrvCustomAbstractFax::DoFaxError(int ErrorCode) {
    if (OnFaxError) runHandler(this, OnFaxError, *this, ErrorCode);
}

void TOrvCustomAbstractFax::DoFaxFinish(int ErrorCode) {
    if (OnFaxFinish) runHandler(this, OnFaxFinish, *this, ErrorCode);
}

// ---- TOrvCustomSendFax ----------------------------------------------------------------------------

TOrvCustomSendFax::TOrvCustomSendFax(QObject* owner) : TOrvAbstractFax(owner) {
    setObjectName(QStringLiteral("OrvSendFax"));
    LinkFromOwner();
}

void TOrvCustomSendFax::BeginSend() {
    if (InProgress()) RaiseOrvError(ecModemBusy);
    const int port = CheckPort();
    auto s = std::make_unique<FaxSendSession>();
    FillSession(*s, port);
    s->defaultInit = SelectInitString(blindDial_, detectBusy_);
    s->blindDial = blindDial_;
    s->detectBusy = detectBusy_;
    s->toneDial = toneDial_;
    s->dialPrefix = dialPrefix_.toLatin1();
    s->dialWait = SecsToTicks(dialWait_);
    s->dialAttempts = dialAttempts_;
    s->dialRetryWait = SecsToTicks(dialRetryWait_);
    s->maxSendCount = maxSendCount_;
    s->bufferMinimum = bufferMinimum_;
    s->headerLine = headerLine_;
    s->headerSender = headerSender_;
    s->headerRecipient = headerRecipient_;
    s->headerTitle = headerTitle_;
    s->safeMode = safeMode_;
    ownValuesGiven_ = false;
    StartSession(std::move(s), true);
}

bool TOrvCustomSendFax::DoFaxNext(QString& phoneNumber, QString& faxFile, QString& coverFile) {
    if (OnFaxNext) {
        QString phone, fax, cover;
        if (!runHandler(this, OnFaxNext, *this, phone, fax, cover)) return false;
        phoneNumber_ = phone;
        faxFile_ = fax;
        coverFile_ = cover;
    } else if (ownValuesGiven_) {
        phoneNumber.clear();
        faxFile.clear();
        coverFile.clear();
        return false;
    }
    ownValuesGiven_ = true;
    phoneNumber = phoneNumber_;
    faxFile = faxFile_;
    coverFile = coverFile_;
    return !phoneNumber.isEmpty();
}

// ---- TOrvCustomReceiveFax ---------------------------------------------------------------------------

TOrvCustomReceiveFax::TOrvCustomReceiveFax(QObject* owner) : TOrvAbstractFax(owner) {
    setObjectName(QStringLiteral("OrvReceiveFax"));
    LinkFromOwner();
}

void TOrvCustomReceiveFax::BeginReceive() {
    if (InProgress()) RaiseOrvError(ecModemBusy);
    const int port = CheckPort();
    auto s = std::make_unique<FaxReceiveSession>();
    FillSession(*s, port);
    s->answerOnRing = answerOnRing_;
    s->faxAndData = faxAndData_;
    s->oneFax = oneFax_;
    s->constantStatus = constantStatus_;
    s->destinationDir = destinationDir_;
    s->fileNamingMode = fileNamingMode_;
    StartSession(std::move(s), false);
}

bool TOrvCustomReceiveFax::DoFaxAccept() {
    bool accept = true;
    if (OnFaxAccept) runHandler(this, OnFaxAccept, *this, accept);
    return accept;
}

QString TOrvCustomReceiveFax::DoFaxName() {
    if (!OnFaxName) return {};  // the engine names the file by FileNamingMode
    QString name = faxFile_;
    if (!runHandler(this, OnFaxName, *this, name)) return name;
    faxFile_ = name;
    return name;
}

}  // namespace orv
