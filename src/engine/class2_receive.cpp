// The receive machine's Class 2 and Class 2.0 states: modem set-up for a call,
// the answer, the session reports (caller's identity, acceptance, session
// parameters), the start of each page and the post-page reports.
#include "common/orv_error.h"
#include "engine/dispatcher.h"
#include "engine/fax_receiver.h"
#include "engine/modem_link.h"

namespace orv {

const FaxReceiver::ClassPhases FaxReceiver::kClass2Phases = {
    &FaxReceiver::InitClass2, &FaxReceiver::BeginClass2Setup, FaxReceiver::stAnswering, true, FaxReceiver::stPostPage,
};

// ---- 1 (end), 3, 4, 5, 7: set-up for a call -------------------------------------------------------------

FaxMachine::Next FaxReceiver::BeginClass2Setup() {
    if (!Command(S().vocab.selectClass)) return Next::Now;
    GoTo(stClassSelected);
    return Next::OnInput;
}

FaxMachine::Next FaxReceiver::ClassSelected() {
    if (const auto next = AwaitOk(ecFaxInitError)) return *next;  // anything but OK: -8073
    return RunDialogue(SwitchToNormalBaud(s_), [this] { return SetAnswerCaps(); });
}

// The rest of 4, at the normal baud.
FaxMachine::Next FaxReceiver::SetAnswerCaps() {
    const FaxSession& s = S();
    QByteArray cmd = s.vocab.setAnswerCaps + "=1,";
    cmd += Class2RateCode(s.desiredBps);
    cmd += ",0,2,0,";
    cmd += s.desiredEcm == '1' ? '1' : '0';
    cmd += ",0,0";
    if (!Command(cmd)) return Next::Now;
    GoTo(s.IsClass2_0() ? stAnswerCapsSet : stSetupDone);
    return Next::OnInput;
}

FaxMachine::Next FaxReceiver::AnswerCapsSet() {
    if (const auto next = AwaitOk(ecFaxInitError)) return *next;  // anything but OK: -8073
    if (!Command("AT+FLO=2")) return Next::Now;
    GoTo(stFlowControlSet);
    return Next::OnInput;
}

FaxMachine::Next FaxReceiver::FlowControlSet() {
    if (const auto next = AwaitOk(ecFaxInitError)) return *next;  // anything but OK: -8073
    if (!Command("AT+FNR=1,1,1,0")) return Next::Now;
    GoTo(stSetupDone);
    return Next::OnInput;
}

FaxMachine::Next FaxReceiver::SetupDone() {
    if (const auto next = AwaitOk(ecFaxInitError)) return *next;  // anything but OK: -8073
    DisarmReplyTimer();
    SetStatus(fsWaitingForCall);
    GoTo(stWaitForCall);
    return Next::OnInput;
}

// ---- 22, 23: answering, the session reports -------------------------------------------------------------

FaxMachine::Next FaxReceiver::Answering() {
    if (const auto next = AwaitLine()) return *next;
    if (IsReport(Line(), S().vocab.connect)) {
        ArmReplyTimer();
        SetStatus(fsCallValidated);
        GoTo(stSessionReports);
        return Next::OnInput;
    }
    ArmTimerTrigger(Port(), S().replyTimer, 0, true);
    return Next::OnInput;
}

FaxMachine::Next FaxReceiver::SessionReports() {
    if (const auto next = AwaitLine()) return *next;
    FaxReceiveSession& s = s_;
    const QByteArray& l = Line();
    if (IsReport(l, s.vocab.transmitId)) {
        ArmReplyTimer();
        s.remoteId = RemoteIdOf(l);
        if (!events_.FaxAccept(Progress())) {
            Command("AT+FKS");
            Log(logReceiveSkip);
            return Fail(ecFileRejected);  // the failure state hangs up
        }
        SetStatus(fsGotRemoteId);
        if (const int rc = CreateFile(); rc < 0) return Fail(rc);
        Log(logReceiveBegin);
        s.pageMode = 2;
        s.pageNumber = 0;
        return Next::OnInput;
    }
    if (IsReport(l, s.vocab.sessionParams)) {
        ArmReplyTimer();
        s.params = DecodeSessionParams(l);
        SetStatus(fsGettingParams);
        return Next::OnInput;
    }
    if (IsResult(l, "OK")) {
        if (!Command("AT+FDR")) return Next::Now;
        GoTo(stWaitPage);
        return Next::OnInput;
    }
    ArmTimerTrigger(Port(), s.replyTimer, 0, true);
    return Next::OnInput;
}

// ---- 24: a page is coming -----------------------------------------------------------------------------------

FaxMachine::Next FaxReceiver::WaitPage() {
    if (const auto next = AwaitLine()) return *next;
    FaxReceiveSession& s = s_;
    const QByteArray& l = Line();
    if (IsReport(l, s.vocab.sessionParams)) {
        ArmReplyTimer();
        s.params = DecodeSessionParams(l);
        SetStatus(fsGettingParams);
        return Next::OnInput;
    }
    if (IsResult(l, "CONNECT")) {
        if (s.options & foSoftwareFlow) SetSoftwareFlow(Port(), 6144, 2048, kSwfReceive);
        GoTo(stPageStart);
        return Next::Now;
    }
    ArmTimerTrigger(Port(), s.replyTimer, 0, true);
    return Next::OnInput;
}

// ---- 33, 34: after a page, after the document ------------------------------------------------------------------

FaxMachine::Next FaxReceiver::PostPage() {
    if (const auto next = AwaitLine()) return *next;
    FaxReceiveSession& s = s_;
    const QByteArray& l = Line();
    if (IsReport(l, s.vocab.pageStatus)) {
        SetStatus(fsGettingPageEnd);
        const char c = FirstValueChar(l);
        if (c == '1' || c == '3' || c == '5') {
            if (const int rc = CompletePage(); rc < 0) return Fail(rc);
        } else if (const int rc = DropPage(); rc < 0) {
            return Fail(rc);
        }
        ArmReplyTimer();
        return Next::OnInput;
    }
    if (IsReport(l, "+FET")) {
        SetStatus(fsGettingDocStatus);
        switch (FirstValueChar(l)) {
        case '0': s.pageMode = 2; break;
        case '1': s.pageMode = 3; break;
        case '2': s.pageMode = 4; break;
        case '3': s.pageMode = 1; break;
        default: s.pageMode = 0; break;
        }
        ArmReplyTimer();
        return Next::OnInput;
    }
    if (IsResult(l, "OK")) {
        if (!Command("AT+FDR")) return Next::Now;
        if (s.pageMode == 4) {
            CloseFile();
            Log(logReceiveOk);
            s.fileName.clear();
            SetStatus(fsGettingHangup);
            GoTo(stDocumentEnd);
        } else {
            GoTo(stWaitPage);
        }
        return Next::OnInput;
    }
    ArmTimerTrigger(Port(), s.replyTimer, 0, true);
    return Next::OnInput;
}

FaxMachine::Next FaxReceiver::DocumentEnd() {
    if (const auto next = AwaitLine(kOwnHangup)) return *next;
    FaxReceiveSession& s = s_;
    const QByteArray& l = Line();
    if (IsReport(l, s.vocab.hangup)) {
        s.hangupCode = HangupCodeOf(l);
        SetStatus(fsGotHangupCode);
        ArmReplyTimer();
        return Next::OnInput;
    }
    if (IsReport(l, "+FET")) {
        SetStatus(fsGettingHangup);
        ArmReplyTimer();
        return Next::OnInput;
    }
    if (IsResult(l, "OK")) {
        DisarmReplyTimer();
        GoTo(stCallDone);
        return Next::Now;
    }
    ArmTimerTrigger(Port(), s.replyTimer, 0, true);
    return Next::OnInput;
}

}  // namespace orv
