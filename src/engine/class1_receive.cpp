// The receive machine's Class 1 states: our own T.30 as the answering
// station. After "ATA": CSI and DIS, the caller's TSI and DCS, the training
// check (CFR or FTT), each page in the negotiated modulation, the post-page
// message answered with MCF, and the caller's DCN. The frames themselves are
// t30_frames.cpp's.
#include "common/orv_error.h"
#include "engine/dispatcher.h"
#include "engine/fax_receiver.h"
#include "engine/modem_link.h"

namespace orv {

namespace {
constexpr int32_t kCallerFramesWaitTicks = 54;  // for the caller's first frames after our DIS
constexpr int kMaxFrameRetries = 3;
constexpr int kMaxCarrierErrors = 20;  // "+FCERROR" answers to AT+FRM before the data carrier comes
// A caller repeats its post-page message three times when it hears nothing,
// each repetition at worst a bad frame (ERROR) or a carrier too short for one
// (NO CARRIER). More failed listens in a row than twice that is a line that
// has gone: a modem that has hung up answers every AT+FRH=3 with ERROR at once.
constexpr int kMaxFailedListens = 6;
constexpr int kTrainingEndMs = 20;
constexpr int kTrainingCheckMs = 1600;  // a training check lasts 1.5 s
constexpr int kMaxTrainingBytes = 16384;  // a training check is 1.5 s; more is not one
}  // namespace

const FaxReceiver::ClassPhases FaxReceiver::kClass1Phases = {
    &FaxReceiver::InitClass1, &FaxReceiver::BeginClass1Setup, FaxReceiver::stC1SendCsi, false,
    FaxReceiver::stC1PageEnded,
};

// ---- the init procedure and set-up ------------------------------------------------------------------------

ModemTask<bool> FaxReceiver::InitClass1() {
    FaxReceiveSession& s = s_;
    s.vocab = {};  // no Class 2 words: no hang-up reports either
    // A modem that fails here is met again by the machine's first state.
    const bool setUp = co_await SetUpClass1Modem();
    if (!setUp) s.class1.modemRates = RateSet{false, true, true, false, false, false, false};
    int best = BestRate(s.class1.modemRates);
    while (best > kMinRateIndex && kRateBps[best] > s.desiredBps) --best;
    s.class1.bestRate = best;
    Trace(QStringLiteral("   Class 1 receiving rates up to %1").arg(kRateBps[best]));
    s.initialized = true;
    DiscardInput(Port());
    co_return true;
}

ModemTask<bool> FaxReceiver::SetUpClass1Modem() {
    FaxReceiveSession& s = s_;
    const bool initOk = co_await SendInitStrings(s);
    if (!initOk) co_return false;
    int rc = co_await ModemCommand(s, "AT+FCLASS=1");
    if (rc != ecOK) co_return false;
    co_await SwitchToNormalBaud(s);
    QList<QByteArray> lines;
    rc = co_await ModemCommand(s, "AT+FRM=?", &lines);
    if (rc != ecOK) co_return false;
    RateSet rates{};
    for (const QByteArray& l : lines)
        if (l.contains(',')) rates = ParseModulationList(l);
    rates[1] = rates[2] = true;
    s.class1.modemRates = rates;
    co_return true;
}

FaxMachine::Next FaxReceiver::BeginClass1Setup() {
    if (!Command("AT+FCLASS=1")) return Next::Now;
    GoTo(stClass1Selected);
    return Next::OnInput;
}

// ---- frames ------------------------------------------------------------------------------------------------

std::optional<FaxMachine::Next> FaxReceiver::OnClass1Frame(bool dcnExpected) {
    FaxReceiveSession& s = s_;
    Class1Link& c = s.class1;
    switch (c.last.Fcf()) {
    case fcfTsi:
        s.remoteId = RemoteIdFromField(c.last.info);
        SetStatus(fsGotRemoteId);
        break;
    case fcfDcs: {
        const auto dcs = DecodeDcs(c.last.info);
        if (!dcs) {
            Trace(QStringLiteral("   DCS that does not decode: ignored"));
            break;
        }
        c.dcs = *dcs;
        c.remoteKnown = true;
        c.modulation = ModulationOf(dcs->rateIndex, dcs->v17);
        c.pageModulation = ModulationOf(dcs->rateIndex, dcs->v17, true);
        s.params = SessionParamsOf(*dcs);
        SetStatus(fsGettingParams);
        break;
    }
    case fcfDcn:
        if (dcnExpected) break;
        return Fail(ecCancelRequested);
    default: break;  // only remembered
    }
    return std::nullopt;
}

FaxMachine::Next FaxReceiver::ReceiveNextFrame() {
    if (!ReceiveFrameCommand()) return Next::Now;
    return Next::OnInput;
}

// ---- 10, 11: our CSI and DIS ----------------------------------------------------------------------------------

FaxMachine::Next FaxReceiver::C1SendCsi() {
    Class1Link& c = S().class1;
    switch (Await(kOwnTimeout)) {
    case Got::Nothing: return Next::OnTrigger;
    case Got::Failed: return Next::Now;
    case Got::Timeout:
        if (c.frameRetries > 0) {
            GoTo(stC1FrameRetry);
            return Next::Now;
        }
        return Fail(ecTimeout);
    case Got::Line: break;
    }
    if (IsResult(Line(), "CONNECT")) {
        SetStatus(fsCallValidated);
        SendFrame(fcfCsi, false, IdField(S().stationId));
        ArmReplyTimer();
        GoTo(stC1SendDis);
        return Next::OnInput;
    }
    if (IsResult(Line(), "RRIER")) return Fail(ecFaxNoCarrier);
    ArmTimerTrigger(Port(), S().replyTimer, 0, true);
    return Next::OnInput;
}

FaxMachine::Next FaxReceiver::C1SendDis() {
    if (const auto next = AwaitLine()) return *next;
    Class1Link& c = S().class1;
    const QByteArray& l = Line();
    if (IsResult(l, "CONNECT")) {
        SendFrame(fcfDis, true, EncodeDis(c.bestRate));
        ArmReplyTimer();
        return Next::OnInput;
    }
    if (IsResult(l, "OK")) {
        // Straight into reception: the caller's answer follows within 75 ms.
        c.lastFinal = false;
        if (!ReceiveFrameCommand()) return Next::Now;
        ArmReplyTimer(kCallerFramesWaitTicks);
        GoTo(stC1AwaitDcs);
        return Next::OnInput;
    }
    ArmTimerTrigger(Port(), S().replyTimer, 0, true);
    return Next::OnInput;
}

// ---- 12..14: the caller's TSI and DCS, or our frames again --------------------------------------------------

FaxMachine::Next FaxReceiver::C1AwaitDcs() {
    FaxReceiveSession& s = s_;
    Class1Link& c = s.class1;
    switch (AwaitClass1(kOwnError | kOwnTimeout)) {
    case Heard::Nothing: return Next::OnTrigger;
    case Heard::Failed: return Next::Now;
    case Heard::Timeout:
        GoTo(stC1FrameRetry);
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
    if (IsResult(l, "ERROR")) return ReceiveNextFrame();  // a frame with a bad check: the caller repeats
    if (IsResult(l, "RRIER")) {
        GoTo(stC1FrameRetry);
        return Next::Now;
    }
    if (!IsResult(l, "OK")) {
        ArmTimerTrigger(Port(), s.replyTimer, 0, true);
        return Next::OnInput;
    }
    if (!c.lastFinal || c.last.Fcf() != fcfDcs || !c.remoteKnown) {
        c.lastFinal = false;
        return ReceiveNextFrame();
    }
    c.lastFinal = false;
    c.refuseTraining = c.dcs.rateIndex > c.bestRate;
    if (c.refuseTraining) {
        // Faster than we take (DesiredBPS): the caller steps down on FTT. The
        // FTT must wait until the caller's 1.5 s training check has ended,
        // or the caller, still sending, never hears it.
        Trace(QStringLiteral("   %1 bit/s is above our limit").arg(kRateBps[c.dcs.rateIndex]));
        if (!c.modemRates[size_t(c.dcs.rateIndex)]) {
            if (!Command("AT+FTH=3", kTrainingCheckMs)) return Next::Now;
            GoTo(stC1SendFtt);
            return Next::OnInput;
        }
    }
    if (s.options & foSoftwareFlow) SetSoftwareFlow(Port(), 6144, 2048, kSwfReceive);
    c.carrierErrors = 0;
    if (!Command("AT+FRM=" + c.modulation)) return Next::Now;
    GoTo(stC1AwaitTraining);
    return Next::OnInput;
}

FaxMachine::Next FaxReceiver::C1FrameRetry() {
    Class1Link& c = S().class1;
    c.frames.Cancel();
    if (++c.frameRetries > kMaxFrameRetries) return Fail(ecTimeout);
    // "AT" ends a frame reception that is still waiting.
    if (!Command("AT")) return Next::Now;
    GoTo(stC1Reopen);
    return Next::OnInput;
}

FaxMachine::Next FaxReceiver::C1Reopen() {
    const Got got = Await(kOwnError | kOwnTimeout);
    if (got == Got::Nothing) return Next::OnTrigger;
    if (got == Got::Failed) return Next::Now;
    if (got == Got::Line && !IsResult(Line(), "OK") && !IsResult(Line(), "ERROR")) return Next::OnInput;
    if (!Command("AT+FTH=3")) return Next::Now;
    GoTo(stC1SendCsi);
    return Next::OnInput;
}

// ---- 15, 16, 18, 19: the training check ---------------------------------------------------------------------

FaxMachine::Next FaxReceiver::C1AwaitTraining() {
    if (const auto next = AwaitLine()) return *next;
    Class1Link& c = S().class1;
    const QByteArray& l = Line();
    if (IsResult(l, "CONNECT")) {
        c.training = {};
        c.trainingDle = false;
        ArmReplyTimer();
        GoTo(stC1TrainingCheck);
        return Next::Now;
    }
    if (l.startsWith("+FCERROR") && ++c.carrierErrors <= kMaxCarrierErrors) {
        // The DCS's own carrier is still on the line: ask again.
        if (!Command("AT+FRM=" + c.modulation)) return Next::Now;
        return Next::OnInput;
    }
    if (l.startsWith("+FCERROR") || IsResult(l, "RRIER")) {
        // The caller sends frames, not training (its DCS again): listen for them.
        GoTo(stC1AwaitDcs);
        return ReceiveNextFrame();
    }
    ArmTimerTrigger(Port(), S().replyTimer, 0, true);
    return Next::OnInput;
}

FaxMachine::Next FaxReceiver::C1TrainingCheck() {
    Class1Link& c = S().class1;
    uint8_t chunk[512];
    bool end = false;
    while (!end) {
        const int n = TakeInput(chunk, sizeof chunk);
        if (n <= 0) break;
        int i = 0;
        for (; i < n && !end; ++i) {
            const uint8_t b = chunk[i];
            if (c.trainingDle) {
                c.trainingDle = false;
                if (b == kEtx) {
                    end = true;
                    continue;
                }
                if (b != kDle) continue;
            } else if (b == kDle) {
                c.trainingDle = true;
                continue;
            }
            if (c.training.Total() < kMaxTrainingBytes) c.training.Add(b);
        }
        if (i < n) PutBack(chunk + i, n - i);
    }
    if (!end) {
        if (ReplyTimerFired()) return Fail(ecTimeout);
        return Next::OnTrigger;
    }
    Trace(QStringLiteral("   training check: %1 bytes, %2 not zero").arg(c.training.Total()).arg(c.training.NonZero()));
    ArmReplyTimer();
    if (c.training.Good() && !c.refuseTraining) {
        GoTo(stC1TrainingDone);
        return Next::OnInput;
    }
    if (!Command("AT+FTH=3", kTrainingEndMs)) return Next::Now;
    GoTo(stC1SendFtt);
    return Next::OnInput;
}

FaxMachine::Next FaxReceiver::C1SendFtt() {
    if (const auto next = AwaitLine()) return *next;
    Class1Link& c = S().class1;
    const QByteArray& l = Line();
    if (IsResult(l, "CONNECT")) {
        SendFrame(fcfFtt, true);
        if (c.dcs.rateIndex <= kMinRateIndex) return Fail(ecFaxTrainError);
        ArmReplyTimer();
        return Next::OnInput;
    }
    if (IsResult(l, "OK")) {
        // The caller steps down and sends DCS again.
        c.lastFinal = false;
        c.remoteKnown = false;
        if (!ReceiveFrameCommand()) return Next::Now;
        ArmReplyTimer(kCallerFramesWaitTicks);
        GoTo(stC1AwaitDcs);
        return Next::OnInput;
    }
    ArmTimerTrigger(Port(), S().replyTimer, 0, true);
    return Next::OnInput;
}

FaxMachine::Next FaxReceiver::C1TrainingDone() {
    if (const auto next = AwaitLine()) return *next;
    FaxReceiveSession& s = s_;
    if (!IsResult(Line(), "RRIER") && !IsResult(Line(), "OK")) {
        ArmTimerTrigger(Port(), s.replyTimer, 0, true);
        return Next::OnInput;
    }
    if (s.options & foSoftwareFlow) SetSoftwareFlow(Port(), 0, 0, kSwfNone);
    if (!Command("AT+FTH=3", kTrainingEndMs)) return Next::Now;
    GoTo(stC1SendCfr);
    return Next::OnInput;
}

// ---- 20, 21: CFR, the call accepted, a page begins --------------------------------------------------------------

FaxMachine::Next FaxReceiver::C1SendCfr() {
    if (const auto next = AwaitLine()) return *next;
    FaxReceiveSession& s = s_;
    const QByteArray& l = Line();
    if (IsResult(l, "CONNECT")) {
        SendFrame(fcfCfr, true);
        ArmReplyTimer();
        return Next::OnInput;
    }
    if (!IsResult(l, "OK")) {
        ArmTimerTrigger(Port(), s.replyTimer, 0, true);
        return Next::OnInput;
    }
    if (s.options & foSoftwareFlow) SetSoftwareFlow(Port(), 6144, 2048, kSwfReceive);
    s.class1.carrierErrors = 0;
    if (!Command("AT+FRM=" + s.class1.pageModulation)) return Next::Now;
    GoTo(stC1AwaitPage);
    if (file_.isOpen()) return Next::OnInput;  // trained again within a call: the same file
    if (!events_.FaxAccept(Progress())) {
        Log(logReceiveSkip);
        return Fail(ecFileRejected);  // the failure state hangs up
    }
    if (const int rc = CreateFile(); rc < 0) return Fail(rc);
    Log(logReceiveBegin);
    s.pageMode = 2;
    s.pageNumber = 0;
    return Next::OnInput;
}

FaxMachine::Next FaxReceiver::C1AwaitPage() {
    if (const auto next = AwaitLine()) return *next;
    const QByteArray& l = Line();
    if (IsResult(l, "CONNECT")) {
        SetStatus(fsGettingParams);
        GoTo(stPageStart);
        return Next::Now;
    }
    if (l.startsWith("+FCERROR") && ++S().class1.carrierErrors <= kMaxCarrierErrors) {
        if (!Command("AT+FRM=" + S().class1.pageModulation)) return Next::Now;
        return Next::OnInput;
    }
    if (l.startsWith("+FCERROR")) {
        // Frames instead of a page: the caller did not hear our CFR or MCF and repeats.
        S().class1.lastFinal = false;
        GoTo(stC1AwaitDcs);
        return ReceiveNextFrame();
    }
    ArmTimerTrigger(Port(), S().replyTimer, 0, true);
    return Next::OnInput;
}

// ---- 27..30: after a page ------------------------------------------------------------------------------------------

FaxMachine::Next FaxReceiver::C1PageEnded() {
    if (const auto next = AwaitLine()) return *next;
    if (!IsResult(Line(), "RRIER") && !IsResult(Line(), "OK")) {
        ArmTimerTrigger(Port(), S().replyTimer, 0, true);
        return Next::OnInput;
    }
    S().class1.lastFinal = false;
    S().class1.failedListens = 0;
    if (!ReceiveFrameCommand()) return Next::Now;
    GoTo(stC1AwaitPostPage);
    return Next::OnInput;
}

FaxMachine::Next FaxReceiver::C1AwaitPostPage() {
    FaxReceiveSession& s = s_;
    Class1Link& c = s.class1;
    switch (AwaitClass1(kOwnError)) {
    case Heard::Nothing: return Next::OnTrigger;
    case Heard::Failed:
    case Heard::Timeout: return Next::Now;
    case Heard::BadFrame: return Next::OnInput;
    case Heard::Frame:
        c.failedListens = 0;
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
        if (++c.failedListens > kMaxFailedListens) {
            Trace(QStringLiteral("   no post-page message: the caller has gone"));
            return Fail(ecFaxSessionError);
        }
        return ReceiveNextFrame();  // the caller repeats
    }
    if (!IsResult(l, "OK")) {
        ArmTimerTrigger(Port(), s.replyTimer, 0, true);
        return Next::OnInput;
    }
    if (!c.lastFinal) return ReceiveNextFrame();
    c.lastFinal = false;
    const uint8_t fcf = c.last.Fcf();
    if (fcf != fcfMps && fcf != fcfEop && fcf != fcfEom) return ReceiveNextFrame();
    c.morePages = fcf == fcfMps;
    SetStatus(fsGettingPageEnd);
    GoTo(stC1PageComplete);
    return Next::Now;
}

FaxMachine::Next FaxReceiver::C1PageComplete() {
    // Every page is kept: the page is judged by whoever reads it.
    if (const int rc = CompletePage(); rc < 0) return Fail(rc);
    if (!Command("AT+FTH=3")) return Next::Now;
    SetStatus(fsGettingDocStatus);
    GoTo(stC1SendMcf);
    return Next::OnInput;
}

FaxMachine::Next FaxReceiver::C1SendMcf() {
    if (const auto next = AwaitLine()) return *next;
    FaxReceiveSession& s = s_;
    Class1Link& c = s.class1;
    const QByteArray& l = Line();
    if (IsResult(l, "CONNECT")) {
        SendFrame(fcfMcf, true);
        ArmReplyTimer();
        return Next::OnInput;
    }
    if (!IsResult(l, "OK")) {
        ArmTimerTrigger(Port(), s.replyTimer, 0, true);
        return Next::OnInput;
    }
    if (c.morePages) {
        // The next page begins after the modem's CONNECT.
        c.carrierErrors = 0;
        if (!Command("AT+FRM=" + c.pageModulation)) return Next::Now;
        s.pageMode = 2;
        GoTo(stC1AwaitPage);
        return Next::OnInput;
    }
    c.lastFinal = false;
    if (!ReceiveFrameCommand()) return Next::Now;
    CloseFile();
    Log(logReceiveOk);
    s.fileName.clear();
    SetStatus(fsGettingHangup);
    GoTo(stC1AwaitDcn);
    return Next::OnInput;
}

// ---- 31, 32: the caller's DCN ----------------------------------------------------------------------------------------

FaxMachine::Next FaxReceiver::C1AwaitDcn() {
    Class1Link& c = S().class1;
    switch (AwaitClass1(kOwnError | kOwnTimeout)) {
    case Heard::Nothing: return Next::OnTrigger;
    case Heard::Failed: return Next::Now;
    case Heard::Timeout:
        GoTo(stCallDone);
        return Next::Now;
    case Heard::BadFrame: return Next::OnInput;
    case Heard::Frame:
        if (const auto next = OnClass1Frame(true)) return *next;
        return Next::OnInput;
    case Heard::Line: break;
    }
    const QByteArray& l = Line();
    if (IsResult(l, "CONNECT")) {
        ArmReplyTimer();
        return Next::OnInput;
    }
    const bool dcn = c.last.Fcf() == fcfDcn;
    // The fax is in: a DCN, or a caller that just hangs up, ends the call.
    if ((IsResult(l, "OK") && c.lastFinal && dcn) || IsResult(l, "RRIER") || IsResult(l, "ERROR")) {
        if (!Command("ATH")) return Next::Now;
        GoTo(stC1HangUp);
        return Next::OnInput;
    }
    if (IsResult(l, "OK")) {
        c.lastFinal = false;
        return ReceiveNextFrame();
    }
    ArmTimerTrigger(Port(), S().replyTimer, 0, true);
    return Next::OnInput;
}

FaxMachine::Next FaxReceiver::C1HangUp() {
    const Got got = Await(kOwnError | kOwnTimeout);
    if (got == Got::Nothing) return Next::OnTrigger;
    if (got == Got::Failed) return Next::Now;
    if (got == Got::Line && !IsResult(Line(), "OK")) return Next::OnInput;
    DisarmReplyTimer();
    SetStatus(fsGotHangupCode);
    GoTo(stCallDone);
    return Next::Now;
}

}  // namespace orv
