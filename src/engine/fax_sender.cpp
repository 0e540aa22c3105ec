// The send machine's frame: the states every fax class shares, the init
// procedure and the helpers of the page pump. Class 2 / 2.0 states: class2_send.cpp.
#include "engine/fax_sender.h"

#include "common/cp1252.h"
#include "common/orv_error.h"
#include "engine/dispatcher.h"
#include "engine/fax_text_line.h"
#include "engine/modem_link.h"
#include "images/fax_font.h"

#include <QStringDecoder>

namespace orv {

const FaxStateName FaxSender::kStateNames[] = {
    {stNextFax, "NextFax"},
    {stFirstPage, "FirstPage"},
    {stClass1Selected, "Class1Selected"},
    {stClassSelected, "ClassSelected"},
    {stLocalIdSet, "LocalIdSet"},
    {stFlowControlSet, "FlowControlSet"},
    {stSetCapabilities, "SetCapabilities"},
    {stCapabilitiesSet, "CapabilitiesSet"},
    {stDial, "Dial"},
    {stRedialWait, "RedialWait"},
    {stC1AwaitDis, "AwaitDis"},
    {stC1SendTsi, "SendTsi"},
    {stC1SendDcs, "SendDcs"},
    {stC1StartTraining, "StartTraining"},
    {stC1SendTcf, "SendTcf"},
    {stC1TcfSent, "TcfSent"},
    {stC1AwaitCfr, "AwaitCfr"},
    {stC1StartPage, "StartPage"},
    {stC1PageSent, "PageDataSent"},
    {stC1PostPage, "PostPage"},
    {stC1SendPostPage, "SendPostPage"},
    {stC1PostPageSent, "PostPageSent"},
    {stC1AwaitMcf, "AwaitPostPageResponse"},
    {stC1SendDcn, "SendDcn"},
    {stC1DcnSent, "DcnSent"},
    {stC1HangUp, "HangUp"},
    {stDialResult, "DialResult"},
    {stNegotiate, "Negotiate"},
    {stWaitXon, "WaitXon"},
    {stWaitOutputFree, "WaitOutputFree"},
    {stPageStart, "PageStart"},
    {stCoverStart, "CoverStart"},
    {stTextCover, "TextCover"},
    {stPageDataStart, "PageDataStart"},
    {stPageData, "PageData"},
    {stPageSent, "PageSent"},
    {stPageEnded, "PageEnded"},
    {stPageEndAnswered, "PageEndAnswered"},
    {stPageStatus, "PageStatus"},
    {stPageRetry, "PageRetry"},
    {stNextPage, "NextPage"},
    {stPageResult, "PageResult"},
    {stFaxSent, "FaxSent"},
    {stQueueEmpty, "QueueEmpty"},
    {stFaxFailed, "FaxFailed"},
    {stSessionOver, "SessionOver"},
    {0, nullptr},
};

namespace {
constexpr int kPieceSize = 4096;   // bytes read from a page per piece, and the free space a piece needs
constexpr int32_t kFdtWaitTicks = 546;   // 30 s for CONNECT after AT+FDT
// One blank line of 1728 pixels as stored (fill bits and EOL, white run, fill).
constexpr char kLeadLine[6] = {'\x00', '\x80', '\xB2', '\x59', '\x01', '\x00'};
}  // namespace

FaxSender::FaxSender(FaxSendSession& session, FaxEvents& events) : FaxMachine(session, events), s_(session) {}

FaxSender::~FaxSender() { shutDown(); }

QString FaxSender::StateName(int state) const {
    for (const FaxStateName* n = kStateNames; n->name; ++n)
        if (n->state == state) return QString::fromLatin1(n->name);
    return {};
}

int FaxSender::HangupReportError() const { return ecFaxBadModemResult; }

FaxProgress FaxSender::Progress() const {
    FaxProgress p = FaxMachine::Progress();
    p.dialAttempt = s_.dialAttempt + 1;
    p.pageTotal = s_.totalPages;
    p.pageNumber = s_.sendingCover ? 0 : s_.page;
    p.pageBytes = s_.bytesInPage;
    // While the page goes out, what still waits in the port is not sent yet;
    // after it, what waits there is the end of page or the next command.
    const int waiting = inPageData_ && PortIsOpen(Port()) ? std::max(0, OutputCount(Port())) : 0;
    p.bytesDone = std::max<qint64>(0, s_.bytesSent - waiting - out_.size());
    p.faxFile = s_.faxFile;
    p.phoneNumber = s_.phoneNumber;
    return p;
}

// ---- the init procedure ----------------------------------------------------------------------

ModemTask<> FaxSender::Init() {
    FaxSendSession& s = s_;
    s.initialized = false;
    GoTo(stNextFax);
    s.status = fsInitializing;
    s.error = 0;
    ReportStatus(true, false);
    s.page = 1;
    s.totalPages = 0;
    s.coverCount = 0;
    s.sendingCover = false;
    s.remoteId.clear();
    s.faxFile.clear();
    s.coverFile.clear();
    s.phoneNumber.clear();
    s.dialAttempt = 0;
    SetLineParams(Port(), 19200, kNoChangeParity, kNoChangeDataBits, kNoChangeStopBits);
    SetModemLines(Port(), true, true);
    const int rc = co_await DetectFaxClass(s, true);
    if (rc != ecOK) {
        ReportError(ecFaxBadModemResult);
        co_return;
    }
    const bool initOk = co_await SendInitStrings(s);
    if (!initOk) {
        ReportError(ecFaxBadModemResult);
        co_return;
    }
    const bool classOk = co_await (this->*Phases().init)();
    if (!classOk) co_return;
    s.initialized = true;
}

const FaxSender::ClassPhases& FaxSender::Phases() const {
    return s_.IsClass1() ? kClass1Phases : kClass2Phases;
}

// ---- driver ---------------------------------------------------------------------------------------

FaxMachine::Next FaxSender::Step() {
    switch (S().state) {
    case stNextFax: return NextFax();
    case stFirstPage: return FirstPage();
    case stClass1Selected: return Class1Selected();
    case stClassSelected: return ClassSelected();
    case stLocalIdSet: return LocalIdSet();
    case stFlowControlSet: return FlowControlSet();
    case stSetCapabilities: return SetCapabilities();
    case stCapabilitiesSet: return CapabilitiesSet();
    case stDial: return Dial();
    case stRedialWait: return RedialWait();
    case stC1AwaitDis: return C1AwaitDis();
    case stC1SendTsi: return C1SendTsi();
    case stC1SendDcs: return C1SendDcs();
    case stC1StartTraining: return C1StartTraining();
    case stC1SendTcf: return C1SendTcf();
    case stC1TcfSent: return C1TcfSent();
    case stC1AwaitCfr: return C1AwaitCfr();
    case stC1StartPage: return C1StartPage();
    case stC1PageSent: return C1PageSent();
    case stC1PostPage: return C1PostPage();
    case stC1SendPostPage: return C1SendPostPage();
    case stC1PostPageSent: return C1PostPageSent();
    case stC1AwaitMcf: return C1AwaitMcf();
    case stC1SendDcn: return C1SendDcn();
    case stC1DcnSent: return C1DcnSent();
    case stC1HangUp: return C1HangUp();
    case stDialResult: return DialResult();
    case stNegotiate: return Negotiate();
    case stWaitXon: return WaitXon();
    case stWaitOutputFree: return WaitOutputFree();
    case stPageStart: return PageStart();
    case stCoverStart: return CoverStart();
    case stTextCover: return TextCover();
    case stPageDataStart: return PageDataStart();
    case stPageData: return PageData();
    case stPageSent: return PageSent();
    case stPageEnded: return PageEnded();
    case stPageEndAnswered: return PageEndAnswered();
    case stPageStatus: return PageStatus();
    case stPageRetry: return PageRetry();
    case stNextPage: return NextPage();
    case stPageResult: return PageResult();
    case stFaxSent: return FaxSent();
    case stQueueEmpty: return QueueEmpty();
    case stFaxFailed: return FaxFailed();
    case stSessionOver: return SessionOver();
    default: return Fail(ecNotSupported);  // not a state of this machine
    }
}

void FaxSender::EnterAbort() {
    ReportError(ecCancelRequested);
    GoTo(stFaxFailed);
}

// ---- 1: the next fax of the queue --------------------------------------------------------------

FaxMachine::Next FaxSender::NextFax() {
    FaxSendSession& s = s_;
    QByteArray phone;
    QString faxFile, coverFile;
    if (!events_.FaxNext(phone, faxFile, coverFile) || phone.isEmpty()) {
        if (const int failure = events_.FaxNextFailure(); failure < 0) {
            // The host did not say what comes next in time: an error, not an empty queue.
            ReportError(failure);
            ReportStatus(false, true);
            GoTo(stSessionOver);
            FinishSession();
            return Next::OnTrigger;
        }
        GoTo(stQueueEmpty);
        return Next::Now;
    }
    s.phoneNumber = phone.left(40);
    // File names keep their case: on this system the case is part of the name.
    s.faxFile = faxFile;
    s.coverFile = coverFile;
    Log(logSendBegin);
    s.dialAttempt = 0;
    s.page = 1;
    s.bytesSent = 0;
    s.bytesInPage = 0;
    s.coverCount = 0;
    s.sendingCover = false;
    s.pageRetries = 0;
    s.hangupCode = 0;
    s.remoteId.clear();
    s.totalPages = 0;
    CloseFiles();
    out_.clear();
    if (!s.faxFile.isEmpty()) {
        if (const int rc = fax_.open(s.faxFile); rc < 0) return Fail(rc);
        s.totalPages = fax_.pageCount();
    } else if (s.coverFile.isEmpty()) {
        return Fail(ecNoFilename);
    }
    if (s.options & foSoftwareFlow) SetSoftwareFlow(Port(), 0, 0, kSwfNone);
    GoTo(stFirstPage);
    return Next::Now;
}

// ---- 2: the first page decides the resolution ------------------------------------------------------

FaxMachine::Next FaxSender::FirstPage() {
    FaxSendSession& s = s_;
    s.stationId = s.stationId.toUpper().left(20);
    if (!s.coverFile.isEmpty()) {
        s.coverCount = 1;
        s.sendingCover = true;
        s.coverIsApf = s.coverFile.contains(QLatin1Char('.') + s.faxFileExt, Qt::CaseInsensitive);
    }
    pageFine_ = pageWide_ = false;
    if (!s.faxFile.isEmpty()) {
        if (const int rc = ReadPageHeader(fax_, 1); rc < 0) return Fail(rc);
    } else if (s.coverIsApf) {
        ApfReader cover;
        ApfPageHeader ph;
        int rc = cover.open(s.coverFile);
        if (rc == ecOK) rc = cover.seekPage(1, ph);
        if (rc < 0) return Fail(rc);
        pageFine_ = ph.highRes();
        pageWide_ = ph.wide();
    }
    firstPageFine_ = pageFine_;
    firstPageWide_ = pageWide_;
    SetStatus(fsInitializing);
    return (this->*Phases().setup)();
}

// ---- 3: Class 1 selected -----------------------------------------------------------------------------

FaxMachine::Next FaxSender::Class1Selected() {
    if (const auto next = AwaitOk(ecFaxInitError)) return *next;
    GoTo(stDial);
    return Next::Now;
}

// ---- 9, 10: dialling --------------------------------------------------------------------------------

FaxMachine::Next FaxSender::Dial() {
    FaxSendSession& s = s_;
    const QByteArray cmd = "ATD" + QByteArray(s.toneDial ? "T" : "P") + s.dialPrefix + s.phoneNumber;
    s.class1.ResetCall();
    if (Phases().framesAfterDial) s.class1.frames.Expect();
    if (!Command(cmd)) return Next::Now;
    ArmReplyTimer(s.dialWait);
    SetStatus(fsDialing);
    GoTo(Phases().dialResult);
    return Next::OnInput;
}

FaxMachine::Next FaxSender::RedialWait() {
    switch (Await(kOwnError | kOwnHangup | kOwnTimeout)) {
    case Got::Timeout:
        GoTo(stDial);
        return Next::Now;
    case Got::Line: return Next::OnInput;  // nothing is expected while waiting
    case Got::Failed: return Next::Now;
    case Got::Nothing: return Next::OnTrigger;
    }
    return Next::OnTrigger;
}

FaxMachine::Next FaxSender::BusyOrNoAnswer() {
    FaxSendSession& s = s_;
    ++s.dialAttempt;
    if (s.dialAttempts != 0 && s.dialAttempt >= s.dialAttempts) {
        ReportStatus(false, false);
        if (s.options & foAbortNoConnect) return Fail(ecFaxBusy);
        // Busy to the end: this fax fails, the queue goes on (the modem is on-hook).
        CloseFiles();
        ReportError(ecFaxBusy);
        Log(logSendFail);
        SetStatus(fsInitializing);
        GoTo(stNextFax);
        return Next::Now;
    }
    SetStatus(fsBusyWaiting);
    ArmReplyTimer(s.dialRetryWait);
    GoTo(stRedialWait);
    return Next::OnTrigger;
}

// ---- 22, 23: the page begins --------------------------------------------------------------------------

FaxMachine::Next FaxSender::WaitOutputFree() {
    if (WatchDataModeReplies()) return Next::Now;
    const int outSize = OutputSpace(Port()) + OutputCount(Port());
    if (TriggerFired(S().outFreeTrigger) || OutputSpace(Port()) >= std::min(kPieceSize, outSize)) {
        SetStatus(fsSendingPage);
        if (S().options & foSoftwareFlow) SetSoftwareFlow(Port(), 0, 0, kSwfTransmit);
        GoTo(stPageStart);
        return Next::Now;
    }
    if (ReplyTimerFired()) return Fail(ecTimeout);
    return Next::OnTrigger;
}

FaxMachine::Next FaxSender::PageStart() {
    FaxSendSession& s = s_;
    inPageData_ = true;
    if (LoadFaxFont().isEmpty()) return Fail(ecFontFileNotFound);
    const int minScan = s.params.minScanBytes;
    QByteArray lead;
    for (int i = 0; i < 8; ++i) {
        lead.append(kLeadLine, sizeof kLeadLine);
        if (minScan >= 7) lead.append(QByteArray(minScan - 5, '\0'));
    }
    Queue(lead);
    PadOutputQueue();
    if (!s.headerLine.isEmpty()) {
        const QByteArray text = toCp1252(ExpandTags(s.headerLine));
        Queue(EncodeTextRows(text, true, pageFine_, pageWide_ ? 2048 : 1728, minScan));
        PadOutputQueue();
    }
    GoTo(s.sendingCover ? stCoverStart : stPageDataStart);
    return Next::Now;
}

// ---- 24, 25: the cover --------------------------------------------------------------------------------

int FaxSender::OpenCover() {
    FaxSendSession& s = s_;
    if (s.coverIsApf) {
        coverApf_.close();
        if (const int rc = coverApf_.open(s.coverFile); rc < 0) return rc;
        return ReadPageHeader(coverApf_, 1);
    }
    coverText_.close();
    coverText_.setFileName(s.coverFile);
    if (!coverText_.exists()) return ecFileNotFound;
    if (!coverText_.open(QIODevice::ReadOnly)) return FileErrorCode(coverText_, ecAccessDenied);
    return ecOK;
}

FaxMachine::Next FaxSender::CoverStart() {
    FaxSendSession& s = s_;
    s.bytesSent = 0;
    if (const int rc = OpenCover(); rc < 0) return Fail(rc);
    if (s.coverIsApf) {
        GoTo(stPageDataStart);
        return Next::Now;
    }
    // A text page's image size is known only once it is drawn: counting the
    // text file's bytes against the image bytes sent would show the page done
    // at once. The bar stays at 0; "Bytes transferred" counts the image bytes.
    s.bytesInPage = 0;
    ArmReplyTimer(s.pageDataTimeout);
    ArmOutputFree(PumpLevel());
    SetStatus(fsSendingPage);
    GoTo(stTextCover);
    return Next::OnTrigger;
}

FaxMachine::Next FaxSender::TextCover() {
    FaxSendSession& s = s_;
    if (WatchDataModeReplies()) return Next::Now;
    const bool room = TriggerFired(s.outFreeTrigger);
    if (!room) {
        if (ReplyTimerFired()) return Fail(ecTimeout);
        return Next::OnTrigger;
    }
    const int minScan = s.params.minScanBytes;
    while (FlushQueue() && !coverText_.atEnd() && OutputSpace(Port()) > kPieceSize) {
        QByteArray raw = coverText_.readLine(256);
        if (coverText_.error() != QFileDevice::NoError) return Fail(FileErrorCode(coverText_, ecDiskRead));
        while (raw.endsWith('\n') || raw.endsWith('\r')) raw.chop(1);
        // Plain text is Windows-1252, unless it is valid UTF-8 (what editors here write).
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString line = utf8(raw);
        if (utf8.hasError()) line = fromCp1252(raw);
        Queue(EncodeTextRows(toCp1252(ExpandTags(line)), false, pageFine_, pageWide_ ? 2048 : 1728, minScan,
                             &s.bytesSent));
    }
    const bool done = coverText_.atEnd() && FlushQueue();
    if (done) Queue(EncodeEndOfPage(minScan, &s.bytesSent));
    return AwaitPumpRoom(done);
}

FaxMachine::Next FaxSender::AwaitPumpRoom(bool pageDone) {
    ArmReplyTimer(s_.pageDataTimeout);
    if (!pageDone) {
        ArmOutputFree(PumpLevel());
        return Next::OnTrigger;
    }
    (this->*Phases().dataDone)();
    ArmOutputUsed(0);
    GoTo(stPageSent);
    return Next::OnTrigger;
}

// ---- 26, 27, 28: page data ---------------------------------------------------------------------------

FaxMachine::Next FaxSender::PageDataStart() {
    FaxSendSession& s = s_;
    source_ = s.sendingCover ? &coverApf_ : &fax_;
    s.bytesSent = 0;
    s.bytesInPage = pageHeader_.imageLength;
    MarkStatusChanged();
    ArmReplyTimer(s.pageDataTimeout);
    ArmOutputFree(PumpLevel());
    GoTo(stPageData);
    return Next::OnTrigger;
}

int FaxSender::PumpLevel() const {
    // Fire when the pump has work: no more than BufferMinimum bytes waiting and
    // room for a piece. A level that is always met would keep the port's
    // thread delivering this trigger instead of writing the data out.
    const int outSize = OutputSpace(Port()) + OutputCount(Port());
    return std::min(outSize, std::max(kPieceSize, outSize - s_.bufferMinimum));
}

int FaxSender::ReadPiece() {
    FaxSendSession& s = s_;
    QByteArray piece;
    if (pageHeader_.lengthWords()) {
        uint8_t word[2];
        if (source_->read(reinterpret_cast<char*>(word), 2) != 2) return ecDeviceReadFault;
        const int length = word[0] | (word[1] << 8);
        const int take = std::min(length, kApfMaxRecordLength);
        piece.resize(take);
        if (source_->read(piece.data(), take) != take) return ecDeviceReadFault;
        if (length > take) {
            QFile& f = source_->file();
            if (!f.seek(f.pos() + (length - take))) return ecDeviceReadFault;
        }
        if (piece.size() < s.params.minScanBytes) piece.append(QByteArray(s.params.minScanBytes - piece.size(), '\0'));
        s.bytesSent += length + 2;
    } else {
        const qint64 want = std::min<qint64>(kPieceSize, s.bytesInPage - s.bytesSent);
        piece.resize(want);
        const qint64 got = source_->read(piece.data(), want);
        if (got < 0) return int(got);
        if (got == 0) return ecDeviceReadFault;
        piece.resize(got);
        s.bytesSent += got;
    }
    QByteArray doubled;
    doubled.reserve(piece.size() + 64);
    AppendDleDoubled(doubled, piece.constData(), piece.size());
    Queue(doubled);
    return ecOK;
}

FaxMachine::Next FaxSender::PageData() {
    FaxSendSession& s = s_;
    if (WatchDataModeReplies()) return Next::Now;
    if (!TriggerFired(s.outFreeTrigger)) {
        if (ReplyTimerFired()) return Fail(ecTimeout);
        return Next::OnTrigger;
    }
    for (int i = 0; i < s.maxSendCount; ++i) {
        if (!FlushQueue()) break;
        if (QueuedBytes() > s.bufferMinimum || OutputSpace(Port()) < kPieceSize) break;
        if (s.bytesSent >= s.bytesInPage) break;
        if (const int rc = ReadPiece(); rc < 0) return Fail(rc);
    }
    return AwaitPumpRoom(s.bytesSent >= s.bytesInPage);
}

FaxMachine::Next FaxSender::PageSent() {
    FaxSendSession& s = s_;
    if (WatchDataModeReplies()) return Next::Now;
    TriggerFired(s.outFreeTrigger);
    if (!FlushQueue()) {
        ArmOutputFree(PumpLevel());
        if (ReplyTimerFired()) return Fail(ecTimeout);
        return Next::OnTrigger;
    }
    if (!TriggerFired(s.outUsedTrigger) && OutputCount(Port()) > 0) {
        ArmOutputUsed(0);
        if (ReplyTimerFired()) return Fail(ecTimeout);
        return Next::OnTrigger;
    }
    if (s.options & foSoftwareFlow) SetSoftwareFlow(Port(), 0, 0, kSwfNone);
    SetStatus(fsSendingPage);
    return (this->*Phases().pageSent)();
}

// ---- 42, 44: the next page, the fax is through --------------------------------------------------------------

bool FaxSender::MorePages() const {
    return !s_.faxFile.isEmpty() && (s_.sendingCover || s_.page < s_.totalPages);
}

int FaxSender::ReadPageHeader(ApfReader& reader, int page) {
    ApfPageHeader ph;
    if (const int rc = reader.seekPage(page, ph); rc < 0) return rc;
    pageHeader_ = ph;
    pageFine_ = ph.highRes();
    pageWide_ = ph.wide();
    return ecOK;
}

int FaxSender::AdvancePage() {
    FaxSendSession& s = s_;
    if (s.sendingCover) {
        CloseCover();
        s.sendingCover = false;
        s.coverFile.clear();  // the fax file's page number stays 1
    } else {
        ++s.page;
    }
    s.bytesSent = 0;
    return ReadPageHeader(fax_, s.page);
}

FaxMachine::Next FaxSender::NextPage() {
    if (!MorePages()) {
        GoTo(stFaxSent);
        return Next::Now;
    }
    if (const int rc = AdvancePage(); rc < 0) return Fail(rc);
    if (!Command("AT+FDT")) return Next::Now;
    ArmReplyTimer(kFdtWaitTicks);
    GoTo(stNegotiate);
    return Next::OnInput;
}

FaxMachine::Next FaxSender::FaxSent() {
    FaxSendSession& s = s_;
    CloseFiles();
    s.pageRetries = 0;
    s.sendingCover = false;
    SetStatus(fsFinished);
    Log(logSendOk);
    return RunDialogue(SwitchToInitBaud(s), [this] {
        GoTo(stNextFax);
        return Next::Now;
    });
}

// ---- 45, 46, 47: the end -----------------------------------------------------------------------------------

FaxMachine::Next FaxSender::QueueEmpty() {
    ReportStatus(false, true);
    GoTo(stSessionOver);
    FinishSession();
    return Next::OnTrigger;
}

FaxMachine::Next FaxSender::FaxFailed() {
    FaxSendSession& s = s_;
    CloseFiles();
    out_.clear();
    DisarmReplyTimer();
    Log(logSendFail);
    const bool gone = PortGone();
    // Page data still queued would only reach the modem as commands.
    if (!gone && inPageData_) DiscardOutput(Port());
    inPageData_ = false;
    return RunDialogue(EndFailedCall(s, false, gone), [this] { return FaxFailedEnd(); });
}

// The rest of 46, when the modem has hung up.
FaxMachine::Next FaxSender::FaxFailedEnd() {
    FaxSendSession& s = s_;
    const bool gone = PortGone();
    const bool aborted = s.error == ecCancelRequested && s.status == fsUserAbort;
    if (gone || aborted || (s.options & (foExitOnError | foAbortNoConnect))) {
        if (aborted) s.status = fsUserAbort;
        ReportStatus(false, true);
        GoTo(stSessionOver);
        FinishSession();
        return Next::OnTrigger;
    }
    GoTo(stNextFax);
    return Next::Now;
}

FaxMachine::Next FaxSender::SessionOver() { return Next::OnTrigger; }

// ---- helpers ---------------------------------------------------------------------------------------------------

void FaxSender::CloseCover() {
    coverApf_.close();
    coverText_.close();
    if (source_ == &coverApf_) source_ = nullptr;
}

void FaxSender::CloseFiles() {
    CloseCover();
    fax_.close();
    source_ = nullptr;
}

QString FaxSender::ExpandTags(const QString& text) const {
    const FaxSendSession& s = s_;
    HeaderTagValues v;
    FillDateAndTime(v);
    v.sender = s.headerSender;
    v.recipient = s.headerRecipient;
    v.title = s.headerTitle;
    v.stationId = QString::fromLatin1(s.stationId);
    v.totalPages = s.totalPages + s.coverCount;
    v.pageNumber = s.coverCount == 0 ? s.page : s.sendingCover ? 1 : s.page + 1;
    return ExpandHeaderTags(text, v);
}

void FaxSender::Queue(const QByteArray& bytes) {
    out_.append(bytes);
    FlushQueue();
}

bool FaxSender::FlushQueue() {
    if (out_.isEmpty()) return true;
    const int room = OutputSpace(Port());
    if (room <= 0) return false;
    const int n = std::min<int>(room, int(out_.size()));
    if (SendBlock(Port(), out_.constData(), size_t(n)) == ecOK) out_.remove(0, n);
    return out_.isEmpty();
}

int FaxSender::QueuedBytes() const { return std::max(0, OutputCount(Port())) + int(out_.size()); }

void FaxSender::PadOutputQueue() {
    const int waiting = QueuedBytes();
    if (waiting <= s_.bufferMinimum) Queue(QByteArray(s_.bufferMinimum - waiting + 1, '\0'));
}

bool FaxSender::WatchDataModeReplies() {
    while (TakeLine()) {
        const QByteArray& l = Line();
        if (IsReport(l, S().vocab.hangup)) {
            S().hangupCode = HangupCodeOf(l);
            Fail(ecFaxSessionError);
            return true;
        }
        if (IsResult(l, "ERROR") || IsResult(l, "RRIER")) {
            Fail(ecFaxSessionError);
            return true;
        }
    }
    return false;
}

}  // namespace orv
