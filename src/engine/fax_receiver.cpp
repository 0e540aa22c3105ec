// The receive machine's frame: the init procedure, the states every class
// shares (call set-up, waiting and answering, page data, the end of a call)
// and the received file. Class 2 / 2.0 states: class2_receive.cpp.
#include "engine/fax_receiver.h"

#include "common/orv_error.h"
#include "engine/dispatcher.h"
#include "engine/modem_link.h"
#include "engine/receive_names.h"
#include "engine/t30_frames.h"

namespace orv {

const FaxStateName FaxReceiver::kStateNames[] = {
    {stCallSetup, "CallSetup"},
    {stClass1Selected, "Class1Selected"},
    {stClassSelected, "ClassSelected"},
    {stAnswerCapsSet, "AnswerCapsSet"},
    {stFlowControlSet, "FlowControlSet"},
    {stSetupDone, "SetupDone"},
    {stWaitForCall, "WaitForCall"},
    {stAnswer, "Answer"},
    {stC1SendCsi, "SendCsi"},
    {stC1SendDis, "SendDis"},
    {stC1AwaitDcs, "AwaitDcs"},
    {stC1FrameRetry, "FrameRetry"},
    {stC1Reopen, "Reopen"},
    {stC1AwaitTraining, "AwaitTraining"},
    {stC1TrainingCheck, "TrainingCheck"},
    {stC1SendFtt, "SendFtt"},
    {stC1TrainingDone, "TrainingDone"},
    {stC1SendCfr, "SendCfr"},
    {stC1AwaitPage, "AwaitPage"},
    {stC1PageEnded, "PageEnded"},
    {stC1AwaitPostPage, "AwaitPostPage"},
    {stC1PageComplete, "PageComplete"},
    {stC1SendMcf, "SendMcf"},
    {stC1AwaitDcn, "AwaitDcn"},
    {stC1HangUp, "HangUp"},
    {stAnswering, "Answering"},
    {stSessionReports, "SessionReports"},
    {stWaitPage, "WaitPage"},
    {stPageStart, "PageStart"},
    {stPageData, "PageData"},
    {stPostPage, "PostPage"},
    {stDocumentEnd, "DocumentEnd"},
    {stCallDone, "CallDone"},
    {stCallFailed, "CallFailed"},
    {stSessionOver, "SessionOver"},
    {0, nullptr},
};

namespace {
constexpr int kWriteBlock = 4096;
constexpr int kMaxBytesPerPass = 10000;
}  // namespace

FaxReceiver::FaxReceiver(FaxReceiveSession& session, FaxEvents& events)
    : FaxMachine(session, events), s_(session) {}

FaxReceiver::~FaxReceiver() { shutDown(); }

QString FaxReceiver::StateName(int state) const {
    for (const FaxStateName* n = kStateNames; n->name; ++n)
        if (n->state == state) return QString::fromLatin1(n->name);
    return {};
}

int FaxReceiver::HangupReportError() const { return ecFaxSessionError; }

FaxProgress FaxReceiver::Progress() const {
    FaxProgress p = FaxMachine::Progress();
    p.pageNumber = s_.pageNumber;
    p.bytesDone = s_.bytesOnPage;
    p.faxFile = s_.fileName;
    return p;
}

// ---- the init procedure ------------------------------------------------------------------------

ModemTask<> FaxReceiver::Init() {
    FaxReceiveSession& s = s_;
    s.initialized = false;
    GoTo(stCallSetup);
    s.error = 0;
    s.status = 0;
    s.firstStatusReported = false;
    const int rc = co_await DetectFaxClass(s, true);
    if (rc != ecOK) {
        ReportError(ecFaxBadModemResult);
        co_return;
    }
    co_await (this->*Phases().init)();
}

const FaxReceiver::ClassPhases& FaxReceiver::Phases() const {
    return s_.IsClass1() ? kClass1Phases : kClass2Phases;
}

ModemTask<bool> FaxReceiver::InitClass2() {
    FaxReceiveSession& s = s_;
    s.vocab = Class2Vocabulary::For(s.faxClass);
    // A modem that fails here is met again by the machine's first state.
    co_await SetUpClass2Modem();
    s.initialized = true;
    DiscardInput(Port());
    co_return true;
}

ModemTask<bool> FaxReceiver::SetUpClass2Modem() {
    FaxReceiveSession& s = s_;
    const bool initOk = co_await SendInitStrings(s);
    if (!initOk) co_return false;
    int rc = co_await ModemCommand(s, s.vocab.selectClass);
    if (rc != ecOK) co_return false;
    co_await SwitchToNormalBaud(s);
    rc = co_await ModemCommand(s, "AT+FCR=1");
    if (rc != ecOK) co_return false;
    rc = co_await ModemCommand(s, s.vocab.setLocalId + "=\"" + s.stationId.toUpper().left(20) + "\"");
    if (rc != ecOK) co_return false;
    co_return co_await ModemCommand(s, QByteArray("AT+FAA=") + (s.faxAndData ? '1' : '0')) == ecOK;
}

// ---- driver ---------------------------------------------------------------------------------------

FaxMachine::Next FaxReceiver::Step() {
    switch (S().state) {
    case stCallSetup: return CallSetup();
    case stClass1Selected: return Class1Selected();
    case stClassSelected: return ClassSelected();
    case stAnswerCapsSet: return AnswerCapsSet();
    case stFlowControlSet: return FlowControlSet();
    case stSetupDone: return SetupDone();
    case stWaitForCall: return WaitForCall();
    case stAnswer: return Answer();
    case stC1SendCsi: return C1SendCsi();
    case stC1SendDis: return C1SendDis();
    case stC1AwaitDcs: return C1AwaitDcs();
    case stC1FrameRetry: return C1FrameRetry();
    case stC1Reopen: return C1Reopen();
    case stC1AwaitTraining: return C1AwaitTraining();
    case stC1TrainingCheck: return C1TrainingCheck();
    case stC1SendFtt: return C1SendFtt();
    case stC1TrainingDone: return C1TrainingDone();
    case stC1SendCfr: return C1SendCfr();
    case stC1AwaitPage: return C1AwaitPage();
    case stC1PageEnded: return C1PageEnded();
    case stC1AwaitPostPage: return C1AwaitPostPage();
    case stC1PageComplete: return C1PageComplete();
    case stC1SendMcf: return C1SendMcf();
    case stC1AwaitDcn: return C1AwaitDcn();
    case stC1HangUp: return C1HangUp();
    case stAnswering: return Answering();
    case stSessionReports: return SessionReports();
    case stWaitPage: return WaitPage();
    case stPageStart: return PageStart();
    case stPageData: return PageData();
    case stPostPage: return PostPage();
    case stDocumentEnd: return DocumentEnd();
    case stCallDone: return CallDone();
    case stCallFailed: return CallFailed();
    case stSessionOver: return SessionOver();
    default: return Fail(ecNotSupported);  // not a state of this machine
    }
}

void FaxReceiver::EnterAbort() {
    ReportError(ecCancelRequested);
    GoTo(stCallFailed);
}

// ---- 1, 2: a new call ------------------------------------------------------------------------------

FaxMachine::Next FaxReceiver::CallSetup() {
    FaxReceiveSession& s = s_;
    writeBuffer_.clear();
    afterDle_ = false;
    s.line.Clear();
    s.pageMode = 3;
    s.pageNumber = 0;
    s.ringCount = 0;
    s.bytesOnPage = 0;
    s.remoteId.clear();
    s.fileName.clear();
    s.hangupCode = 0;
    if (s.constantStatus && !s.firstStatusReported) {
        ReportStatus(true, false);
        s.firstStatusReported = true;
    }
    if (s.options & foSoftwareFlow) SetSoftwareFlow(Port(), 0, 0, kSwfNone);
    SetModemLines(Port(), true, true);
    s.class1.ResetCall();
    return (this->*Phases().setup)();
}

FaxMachine::Next FaxReceiver::Class1Selected() {
    if (const auto next = AwaitLine(kOwnError)) return *next;
    if (!IsResult(Line(), "OK")) return Fail(ecFaxInitError);
    DisarmReplyTimer();
    return RunDialogue(SwitchToNormalBaud(s_), [this] {
        SetStatus(fsWaitingForCall);
        GoTo(stWaitForCall);
        return Next::OnInput;
    });
}

// ---- 8, 9: waiting for a call, answering -----------------------------------------------------------------

FaxMachine::Next FaxReceiver::WaitForCall() {
    if (const auto next = AwaitLine()) return *next;
    FaxReceiveSession& s = s_;
    const QByteArray& l = Line();
    if (IsResult(l, "RING")) {
        ++s.ringCount;
        if (s.ringCount < s.answerOnRing) return Next::OnInput;
        s.pageMode = 3;
        if (!s.firstStatusReported) {
            ReportStatus(true, false);
            s.firstStatusReported = true;
        }
        ArmReplyTimer();
        GoTo(stAnswer);
        return Next::Now;
    }
    if (IsResult(l, "NO C")) {
        SetStatus(fsNoConnect);
        return Next::OnInput;
    }
    if (IsResult(l, "CONNECT")) return Fail(ecFaxDataCall);
    if (IsResult(l, "VOICE")) return Fail(ecFaxVoiceCall);
    ArmReplyTimer();
    return Next::OnInput;
}

FaxMachine::Next FaxReceiver::Answer() {
    FaxReceiveSession& s = s_;
    if (!Command("ATA")) return Next::Now;
    ArmReplyTimer(s.dialWait);
    s.localTimer.Start(PortTicks(Port()), uint32_t(s.dialWait));
    SetStatus(fsAnswering);
    GoTo(Phases().answering);
    return Next::OnInput;
}

// ---- 25, 26: a page ---------------------------------------------------------------------------------------

uint16_t FaxReceiver::PageFlags() const {
    return uint16_t((s_.params.fine ? pfHighRes : 0) | (s_.params.wide ? pfWide : 0));
}

FaxMachine::Next FaxReceiver::PageStart() {
    FaxReceiveSession& s = s_;
    ++s.pageNumber;
    int rc = ecOK;
    if (s.pageMode == 3 || !file_.isOpen()) {
        // A new document: a file of its own.
        if (file_.isOpen()) {
            CloseFile();
            Log(logReceiveOk);
        }
        s.pageNumber = 1;
        rc = CreateFile();
        if (rc == ecOK) Log(logReceiveBegin);
    }
    if (rc == ecOK) rc = file_.beginPage(PageFlags());
    if (rc < 0) return Fail(rc);
    s.pageMode = 2;
    writeBuffer_.clear();
    afterDle_ = false;
    ArmReplyTimer();
    s.bytesOnPage = 0;
    if (Phases().readyByte) {
        const char dc2 = '\x12';
        SendBlock(Port(), &dc2, 1);  // ready for the data
    }
    SetStatus(fsGettingPage);
    GoTo(stPageData);
    return Next::OnInput;
}

FaxMachine::Next FaxReceiver::PageData() {
    FaxReceiveSession& s = s_;
    const bool reverse = s.faxClass == fcClass2;  // Class 2 modems deliver the first bit in bit 7
    uint8_t chunk[512];
    int taken = 0;
    bool pageEnd = false;
    while (!pageEnd && taken < kMaxBytesPerPass) {
        const int n = TakeInput(chunk, sizeof chunk);
        if (n <= 0) break;
        int i = 0;
        for (; i < n && !pageEnd; ++i) {
            uint8_t b = chunk[i];
            if (afterDle_) {
                // What follows a DLE: ETX ends the page, anything else is data
                // (DLE DLE is one DLE). The DLE may have ended the last read.
                afterDle_ = false;
                if (b == kEtx) {
                    pageEnd = true;
                    continue;
                }
            } else if (b == kDle) {
                afterDle_ = true;
                continue;
            }
            writeBuffer_.append(char(reverse ? ReverseBits(b) : b));
            ++s.bytesOnPage;
        }
        taken += i;
        // Bytes after the page end are the modem's reports, for the next state.
        if (i < n) PutBack(chunk + i, n - i);
        if (writeBuffer_.size() >= kWriteBlock) {
            if (const int rc = FlushWrites(); rc < 0) return Fail(rc);
        }
    }
    if (!pageEnd) {
        if (taken > 0) {
            ArmReplyTimer();  // 10 s without data end the call
        } else if (ReplyTimerFired()) {
            return Fail(ecTimeout);
        }
        return taken >= kMaxBytesPerPass ? Next::OnInput : Next::OnTrigger;
    }
    if (const int rc = FlushWrites(); rc < 0) return Fail(rc);
    SetStatus(fsGettingPage);
    ArmReplyTimer();
    if (s.options & foSoftwareFlow) SetSoftwareFlow(Port(), 0, 0, kSwfNone);
    GoTo(Phases().pageEnded);
    return Next::Now;
}

// ---- 35, 36, 37: the end of a call ---------------------------------------------------------------------------

FaxMachine::Next FaxReceiver::CallDone() {
    return RunDialogue(SwitchToInitBaud(s_), [this] { return CallDoneEnd(); });
}

// The rest of 35, at the init baud.
FaxMachine::Next FaxReceiver::CallDoneEnd() {
    FaxReceiveSession& s = s_;
    if (s.oneFax) {
        if (s.firstStatusReported && !s.constantStatus) ReportStatus(false, true);
        GoTo(stSessionOver);
        FinishSession();
        return Next::OnTrigger;
    }
    if (!s.constantStatus) {
        ReportStatus(false, true);
        s.firstStatusReported = false;
    }
    GoTo(stCallSetup);
    return Next::Now;
}

FaxMachine::Next FaxReceiver::CallFailed() {
    FaxReceiveSession& s = s_;
    DisarmReplyTimer();
    if (file_.isOpen()) {
        // What arrived stays: the page in progress is kept as received.
        CloseFile();
        Log(logReceiveFail);
    }
    return RunDialogue(EndFailedCall(s, true, PortGone()), [this] { return CallFailedEnd(); });
}

// The rest of 36, when the modem has hung up.
FaxMachine::Next FaxReceiver::CallFailedEnd() {
    FaxReceiveSession& s = s_;
    const bool gone = PortGone();
    const bool aborted = s.error == ecCancelRequested && s.status == fsUserAbort;
    if ((s.firstStatusReported && !s.constantStatus) || aborted || gone) {
        ReportStatus(false, true);
        s.firstStatusReported = false;
    }
    if (gone || aborted || (s.options & foExitOnError)) {
        GoTo(stSessionOver);
        FinishSession();
        return Next::OnTrigger;
    }
    GoTo(stCallSetup);
    return Next::Now;
}

FaxMachine::Next FaxReceiver::SessionOver() { return Next::OnTrigger; }

// ---- the file ---------------------------------------------------------------------------------------------------

int FaxReceiver::CreateFile() {
    FaxReceiveSession& s = s_;
    QString name = events_.FaxName(Progress());
    if (name.isEmpty()) name = NextReceiveFileName(s.destinationDir, s.fileNamingMode, s.faxFileExt);
    // Never over an existing file: the name is claimed first (a taken name
    // becomes its first free variant).
    if (const int rc = ClaimNewFile(name); rc < 0) {
        s.error = rc;
        return rc;
    }
    if (const int rc = file_.create(name, s.remoteId.leftJustified(20, ' ', true), true); rc < 0) {
        QFile::remove(name);
        s.error = rc;
        return rc;
    }
    s.fileName = name;
    Trace(QStringLiteral("   receiving into %1").arg(name));
    return ecOK;
}

int FaxReceiver::FlushWrites() {
    if (writeBuffer_.isEmpty() || !file_.pageOpen()) {
        writeBuffer_.clear();
        return ecOK;
    }
    const int rc = file_.writeData(writeBuffer_.constData(), writeBuffer_.size());
    writeBuffer_.clear();
    return rc;
}

int FaxReceiver::CompletePage() {
    if (!file_.pageOpen()) return ecOK;  // nothing in progress: nothing to count
    if (const int rc = FlushWrites(); rc < 0) return rc;
    file_.setStationId(s_.remoteId.leftJustified(20, ' ', true), true);
    return file_.endPage();
}

int FaxReceiver::DropPage() {
    writeBuffer_.clear();
    if (!file_.pageOpen()) return ecOK;
    // The page is not in the file, so not in the count either.
    if (s_.pageNumber > 0) --s_.pageNumber;
    return file_.dropPage();
}

void FaxReceiver::CloseFile() {
    if (!file_.isOpen()) return;
    if (const int rc = CompletePage(); rc < 0) ReportError(rc);
    if (const int rc = file_.finish(); rc < 0) ReportError(rc);
}

}  // namespace orv
