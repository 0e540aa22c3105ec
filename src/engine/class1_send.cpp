// The send machine's Class 1 states: our own T.30 as the calling station.
// Phase B (the remote's CSI and DIS, our TSI and DCS, the training check and
// its answer), the start of each page in the negotiated modulation, the
// post-page exchange (MPS or EOP, answered by MCF, RTP or RTN) and the release
// (DCN). The frames themselves are t30_frames.cpp's.
#include "common/orv_error.h"
#include "engine/dispatcher.h"
#include "engine/fax_sender.h"
#include "engine/modem_link.h"
#include "engine/t30_frames.h"

namespace orv {

namespace {
constexpr int kTurnaroundMs = 200;      // between receiving a signal and sending one
constexpr int kRetrainMs = 500;         // before a post-page message is sent again
constexpr int32_t kPostPageWaitTicks = 54;  // for the answer to a post-page message
constexpr int32_t kHangUpTicks = 26;
constexpr int kMaxPostPageTries = 3;
constexpr int kMaxPageResends = 3;      // a page the remote rejected (RTN) is sent again at most this often
constexpr int kMaxTrainings = 6;        // DCS and TCF at most this often without an answer
}  // namespace

const FaxSender::ClassPhases FaxSender::kClass1Phases = {
    &FaxSender::InitClass1, &FaxSender::BeginClass1Setup, FaxSender::stC1AwaitDis, true,
    &FaxSender::Class1DataDone, &FaxSender::Class1PageSent,
};

// ---- the init procedure, set-up, page-data ends ---------------------------------------------------

ModemTask<bool> FaxSender::InitClass1() {
    FaxSession& s = S();
    s.vocab = {};  // no Class 2 words: no hang-up reports either
    co_await SwitchToNormalBaud(s);
    QList<QByteArray> lines;
    int rc = co_await ModemCommand(s, "AT+FCLASS=1");
    if (rc == ecOK) rc = co_await ModemCommand(s, "AT+FTM=?", &lines);
    if (rc != ecOK) {
        ReportError(ecFaxBadModemResult);
        co_return false;
    }
    RateSet rates{};
    for (const QByteArray& l : lines)
        if (l.contains(',')) rates = ParseModulationList(l);
    rates[1] = rates[2] = true;  // V.27 ter is every fax modem's
    s.class1.modemRates = rates;
    s.class1.bestRate = BestRate(rates);
    Trace(QStringLiteral("   Class 1 sending rates up to %1").arg(kRateBps[s.class1.bestRate]));
    co_return true;
}

FaxMachine::Next FaxSender::BeginClass1Setup() {
    if (!Command("AT+FCLASS=1")) return Next::Now;
    GoTo(stClass1Selected);
    return Next::OnInput;
}

void FaxSender::Class1DataDone() { Queue(QByteArray(kDleEtx, 2)); }

FaxMachine::Next FaxSender::Class1PageSent() {
    // The modem says OK when the last bit is on the line; its buffer may hold
    // seconds of data at a low rate.
    ArmReplyTimer(s_.pageDataTimeout);
    GoTo(stC1PageSent);
    return Next::OnInput;
}

// ---- frames -------------------------------------------------------------------------------------

std::optional<FaxMachine::Next> FaxSender::OnClass1Frame() {
    FaxSession& s = S();
    Class1Link& c = s.class1;
    switch (c.last.Fcf()) {
    case fcfCsi:
        s.remoteId = RemoteIdFromField(c.last.info);
        SetStatus(fsGotRemoteId);
        break;
    case fcfDis: {
        const auto caps = DecodeDis(c.last.info);
        if (!caps) {
            Trace(QStringLiteral("   DIS too short: ignored"));
            break;
        }
        if ((pageFine_ && !caps->fine) || (pageWide_ && !caps->wide)) return Fail(ecFaxBadMachine);
        c.remote = *caps;
        c.remoteKnown = true;
        c.dcs = {};
        c.dcs.rateIndex = ChooseRate(c.modemRates, caps->rates, s.desiredBps);
        if (c.dcs.rateIndex == 0) c.dcs.rateIndex = kMinRateIndex;
        c.dcs.scanTimeCode = caps->scanTimeCode;
        SetStatus(fsGettingParams);
        break;
    }
    case fcfDcn: return Fail(ecCancelRequested);
    default: break;  // only remembered
    }
    return std::nullopt;
}

// ---- 11: the remote's identity and capabilities -------------------------------------------------------

FaxMachine::Next FaxSender::C1AwaitDis() {
    Class1Link& c = S().class1;
    switch (AwaitClass1(kOwnError)) {
    case Heard::Nothing: return Next::OnTrigger;
    case Heard::Failed:
    case Heard::Timeout: return Next::Now;
    case Heard::BadFrame: return Next::OnInput;
    case Heard::Frame:
        if (const auto next = OnClass1Frame()) return *next;
        return Next::OnInput;
    case Heard::Line: break;
    }
    const QByteArray& l = Line();
    if (IsResult(l, "CONNECT")) {
        ArmReplyTimer();
        return Next::OnInput;
    }
    if (IsResult(l, "OK")) {
        if (c.lastFinal && c.remoteKnown) {
            c.lastFinal = false;
            if (!Command("AT+FTH=3", kTurnaroundMs)) return Next::Now;
            GoTo(stC1SendTsi);
            return Next::OnInput;
        }
        // More frames of the message, or a DIS that did not decode: the next one.
        c.lastFinal = false;
        if (!ReceiveFrameCommand()) return Next::Now;
        return Next::OnInput;
    }
    if (IsResult(l, "ERROR") || (c.haveFrame && IsResult(l, "RRIER"))) {
        // A frame with a bad check, or none came: the remote repeats its DIS.
        if (!ReceiveFrameCommand()) return Next::Now;
        return Next::OnInput;
    }
    if (IsResult(l, "BUSY") || IsResult(l, "ANSWER")) return BusyOrNoAnswer();
    if (IsResult(l, "VOICE")) return Fail(ecFaxVoiceCall);
    if (IsResult(l, "NO DIAL")) return Fail(ecFaxNoDialTone);
    if (IsResult(l, "RRIER")) return Fail(ecFaxNoCarrier);
    ArmTimerTrigger(Port(), S().replyTimer, 0, true);
    return Next::OnInput;
}

// ---- 12..17: TSI, DCS, the training check, CFR or FTT ---------------------------------------------------

FaxMachine::Next FaxSender::C1SendTsi() {
    if (const auto next = AwaitLine()) return *next;
    if (!IsResult(Line(), "CONNECT")) {
        ArmTimerTrigger(Port(), S().replyTimer, 0, true);
        return Next::OnInput;
    }
    SendFrame(fcfTsi | kT30XBit, false, IdField(S().stationId));
    ArmReplyTimer();
    GoTo(stC1SendDcs);
    return Next::OnInput;
}

FaxMachine::Next FaxSender::C1SendDcs() {
    if (const auto next = AwaitLine()) return *next;
    FaxSession& s = S();
    Class1Link& c = s.class1;
    if (!IsResult(Line(), "CONNECT")) {
        ArmTimerTrigger(Port(), s.replyTimer, 0, true);
        return Next::OnInput;
    }
    c.dcs.fine = pageFine_;
    c.dcs.wide = pageWide_;
    c.dcs.v17 = c.dcs.rateIndex >= 5;
    c.modulation = ModulationOf(c.dcs.rateIndex, c.dcs.v17);
    c.pageModulation = ModulationOf(c.dcs.rateIndex, c.dcs.v17, true);
    s.params = SessionParamsOf(c.dcs);
    SendFrame(fcfDcs | kT30XBit, true, EncodeDcs(c.dcs));
    ArmReplyTimer();
    GoTo(stC1StartTraining);
    return Next::OnInput;
}

FaxMachine::Next FaxSender::C1StartTraining() {
    if (const auto next = AwaitLine()) return *next;
    if (!IsResult(Line(), "OK")) {
        ArmTimerTrigger(Port(), S().replyTimer, 0, true);
        return Next::OnInput;
    }
    if (!Command("AT+FTM=" + S().class1.modulation)) return Next::Now;
    GoTo(stC1SendTcf);
    return Next::OnInput;
}

FaxMachine::Next FaxSender::C1SendTcf() {
    if (const auto next = AwaitLine()) return *next;
    FaxSession& s = S();
    if (!IsResult(Line(), "CONNECT")) {
        ArmTimerTrigger(Port(), s.replyTimer, 0, true);
        return Next::OnInput;
    }
    if (s.options & foSoftwareFlow) SetSoftwareFlow(Port(), 0, 0, kSwfTransmit);
    const QByteArray tcf = TrainingCheck(s.params.bps);
    Trace(QStringLiteral("   training check: %1 bytes at %2").arg(tcf.size() - 2).arg(s.params.bps));
    Queue(tcf);
    ArmReplyTimer();
    GoTo(stC1TcfSent);
    return Next::OnInput;
}

FaxMachine::Next FaxSender::C1TcfSent() {
    FlushQueue();
    if (const auto next = AwaitLine()) return *next;
    FaxSession& s = S();
    if (!IsResult(Line(), "OK")) {
        ArmTimerTrigger(Port(), s.replyTimer, 0, true);
        return Next::OnInput;
    }
    if (s.options & foSoftwareFlow) SetSoftwareFlow(Port(), 0, 0, kSwfNone);
    // Receiving needs no guard time: the answer's preamble must not be missed.
    s.class1.trainingOk = false;
    s.class1.lastFinal = false;
    if (!ReceiveFrameCommand()) return Next::Now;
    GoTo(stC1AwaitCfr);
    return Next::OnInput;
}

FaxMachine::Next FaxSender::Retrain(int pauseMs) {
    Class1Link& c = S().class1;
    if (++c.frameRetries > kMaxTrainings) return Fail(ecTimeout);
    if (!Command("AT+FTH=3", pauseMs)) return Next::Now;
    // TSI and DCS again: a new phase B (the far end wants the whole command).
    GoTo(stC1SendTsi);
    return Next::OnInput;
}

FaxMachine::Next FaxSender::C1AwaitCfr() {
    Class1Link& c = S().class1;
    switch (AwaitClass1(kOwnError)) {
    case Heard::Nothing: return Next::OnTrigger;
    case Heard::Failed:
    case Heard::Timeout: return Next::Now;
    case Heard::BadFrame: return Next::OnInput;
    case Heard::Frame:
        if (const auto next = OnClass1Frame()) return *next;
        if (c.last.Fcf() == fcfCfr) c.trainingOk = true;
        return Next::OnInput;
    case Heard::Line: break;
    }
    const QByteArray& l = Line();
    if (IsResult(l, "CONNECT")) {
        ArmReplyTimer();
        return Next::OnInput;
    }
    if (IsResult(l, "ERROR") || IsResult(l, "RRIER")) {
        // No answer that could be read: DCS and TCF once more.
        return Retrain(kTurnaroundMs);
    }
    if (!IsResult(l, "OK")) {
        ArmTimerTrigger(Port(), S().replyTimer, 0, true);
        return Next::OnInput;
    }
    if (!c.lastFinal) {
        if (!ReceiveFrameCommand()) return Next::Now;
        return Next::OnInput;
    }
    c.lastFinal = false;
    if (c.trainingOk) {
        c.frameRetries = 0;
        if (!Command("AT+FTM=" + c.pageModulation, kTurnaroundMs)) return Next::Now;
        GoTo(stC1StartPage);
        return Next::OnInput;
    }
    if (c.last.Fcf() == fcfFtt) {
        const int lower = StepDown(c.dcs.rateIndex, c.modemRates, c.remote.rates);
        Trace(QStringLiteral("   training failed at %1").arg(kRateBps[c.dcs.rateIndex]));
        if (lower == 0) return Fail(ecFaxTrainError);
        c.dcs.rateIndex = lower;
        --c.frameRetries;  // a step down is progress, not a repeat
    }
    // FTT, or the remote repeated its DIS: DCS and TCF again.
    return Retrain(kTurnaroundMs);
}

// ---- 18: a page in the negotiated modulation --------------------------------------------------------

FaxMachine::Next FaxSender::C1StartPage() {
    if (const auto next = AwaitLine(kOwnError)) return *next;
    // A modem that cannot start the page has lost the call.
    if (IsResult(Line(), "ERROR") || IsResult(Line(), "RRIER")) return Fail(ecFaxSessionError);
    if (!IsResult(Line(), "CONNECT")) {
        ArmTimerTrigger(Port(), S().replyTimer, 0, true);
        return Next::OnInput;
    }
    // A Class 1 modem sends no XON: the data go at once (the modem fills
    // the line until they come).
    ArmOutputFree(PumpLevel());
    ArmReplyTimer(S().pageDataTimeout);
    GoTo(stWaitOutputFree);
    return Next::Now;
}

// ---- 29..34: the post-page exchange ------------------------------------------------------------------

FaxMachine::Next FaxSender::C1PageSent() {
    if (const auto next = AwaitLine(kOwnError)) return *next;
    if (!IsResult(Line(), "OK")) {
        // The line went while the page was on its way.
        if (IsResult(Line(), "RRIER") || IsResult(Line(), "ERROR")) return Fail(ecFaxSessionError);
        ArmTimerTrigger(Port(), S().replyTimer, 0, true);
        return Next::OnInput;
    }
    inPageData_ = false;
    S().class1.postPageRetries = 0;
    SetStatus(fsSendingEop);
    GoTo(stC1PostPage);
    return Next::Now;
}

FaxMachine::Next FaxSender::C1PostPage() {
    Class1Link& c = S().class1;
    if (++c.postPageRetries > kMaxPostPageTries) return Fail(ecTimeout);
    // The first message follows the page after the turnaround; a repeat waits longer.
    if (!Command("AT+FTH=3", c.postPageRetries == 1 ? kTurnaroundMs : kRetrainMs)) return Next::Now;
    GoTo(stC1SendPostPage);
    return Next::OnInput;
}

FaxMachine::Next FaxSender::C1SendPostPage() {
    if (const auto next = AwaitLine(kOwnError)) return *next;
    if (!IsResult(Line(), "CONNECT")) {
        ArmTimerTrigger(Port(), S().replyTimer, 0, true);
        return Next::OnInput;
    }
    SendFrame((MorePages() ? fcfMps : fcfEop) | kT30XBit, true);
    ArmReplyTimer();
    GoTo(stC1PostPageSent);
    return Next::OnInput;
}

FaxMachine::Next FaxSender::C1PostPageSent() {
    if (const auto next = AwaitLine()) return *next;
    if (!IsResult(Line(), "OK")) {
        ArmTimerTrigger(Port(), S().replyTimer, 0, true);
        return Next::OnInput;
    }
    S().class1.lastFinal = false;
    if (!ReceiveFrameCommand()) return Next::Now;
    ArmReplyTimer(kPostPageWaitTicks);
    GoTo(stC1AwaitMcf);
    return Next::OnInput;
}

int FaxSender::RewindPage() {
    FaxSendSession& s = s_;
    s.bytesSent = 0;
    if (s.sendingCover && !s.coverIsApf) {
        coverText_.close();  // opened again when the page starts
        return ecOK;
    }
    return s.sendingCover ? ReadPageHeader(coverApf_, 1) : ReadPageHeader(fax_, s.page);
}

FaxMachine::Next FaxSender::C1AwaitMcf() {
    FaxSendSession& s = s_;
    Class1Link& c = s.class1;
    switch (AwaitClass1(kOwnError | kOwnTimeout)) {
    case Heard::Nothing: return Next::OnTrigger;
    case Heard::Failed: return Next::Now;
    case Heard::Timeout:
        // No answer: a character ends the modem's frame reception, and the
        // post-page message goes again.
        c.frames.Cancel();
        SendText(Port(), " ");
        GoTo(stC1PostPage);
        return Next::Now;
    case Heard::BadFrame: return Next::OnInput;
    case Heard::Frame:
        if (const auto next = OnClass1Frame()) return *next;
        return Next::OnInput;
    case Heard::Line: break;
    }
    const QByteArray& l = Line();
    if (IsResult(l, "CONNECT")) {
        ArmReplyTimer();
        return Next::OnInput;
    }
    if (IsResult(l, "ERROR") || IsResult(l, "RRIER")) {
        GoTo(stC1PostPage);
        return Next::Now;
    }
    if (!IsResult(l, "OK")) {
        ArmTimerTrigger(Port(), s.replyTimer, 0, true);
        return Next::OnInput;
    }
    if (!c.lastFinal) {
        if (!ReceiveFrameCommand()) return Next::Now;
        return Next::OnInput;
    }
    c.lastFinal = false;
    switch (c.last.Fcf()) {
    case fcfMcf:
    case fcfRtp: {
        SetStatus(fsPageAccepted);
        c.pageResends = 0;
        const bool retrain = c.last.Fcf() == fcfRtp;
        if (!MorePages()) {
            if (!Command("AT+FTH=3", kTurnaroundMs)) return Next::Now;
            GoTo(stC1SendDcn);
            return Next::OnInput;
        }
        if (const int rc = AdvancePage(); rc < 0) return Fail(rc);
        if (retrain) {
            c.frameRetries = 0;
            return Retrain(kTurnaroundMs);
        }
        if (!Command("AT+FTM=" + c.pageModulation, kTurnaroundMs)) return Next::Now;
        GoTo(stC1StartPage);
        return Next::OnInput;
    }
    case fcfRtn: {
        SetStatus(fsPageError);
        if (++c.pageResends > kMaxPageResends) return Fail(ecFaxPageError);
        Trace(QStringLiteral("   page rejected: sending it again (%1 of %2)").arg(c.pageResends).arg(kMaxPageResends));
        if (const int rc = RewindPage(); rc < 0) return Fail(rc);
        // A rejected page is a sign of a poor line: a lower rate if there is one.
        if (const int lower = StepDown(c.dcs.rateIndex, c.modemRates, c.remote.rates); lower > 0)
            c.dcs.rateIndex = lower;
        c.frameRetries = 0;
        return Retrain(kTurnaroundMs);
    }
    default:
        // PIN, PIP, CRP or what we do not know: the message goes again.
        GoTo(stC1PostPage);
        return Next::Now;
    }
}

// ---- 35..37: the release ----------------------------------------------------------------------------

FaxMachine::Next FaxSender::C1SendDcn() {
    if (const auto next = AwaitLine()) return *next;
    if (!IsResult(Line(), "CONNECT")) {
        ArmTimerTrigger(Port(), S().replyTimer, 0, true);
        return Next::OnInput;
    }
    SendFrame(fcfDcn | kT30XBit, true);
    ArmReplyTimer();
    GoTo(stC1DcnSent);
    return Next::OnInput;
}

FaxMachine::Next FaxSender::C1DcnSent() {
    if (const auto next = AwaitLine()) return *next;
    if (!IsResult(Line(), "OK")) {
        ArmTimerTrigger(Port(), S().replyTimer, 0, true);
        return Next::OnInput;
    }
    if (!Command("ATH")) return Next::Now;
    ArmReplyTimer(kHangUpTicks);
    GoTo(stC1HangUp);
    return Next::OnInput;
}

FaxMachine::Next FaxSender::C1HangUp() {
    switch (Await(kOwnTimeout | kOwnError)) {
    case Got::Nothing: return Next::OnTrigger;
    case Got::Failed: return Next::Now;
    case Got::Timeout:
        return RunDialogue(HangUpModem(S(), false), [this] {
            GoTo(stFaxSent);
            return Next::Now;
        });
    case Got::Line: break;
    }
    if (IsResult(Line(), "OK")) {
        DisarmReplyTimer();
        GoTo(stFaxSent);
        return Next::Now;
    }
    ArmTimerTrigger(Port(), S().replyTimer, 0, true);
    return Next::OnInput;
}

}  // namespace orv
