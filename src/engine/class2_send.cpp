// The send machine's Class 2 and Class 2.0 states: modem set-up, the dial
// result, negotiation, the start of page data (Class 2 waits for XON), and the
// page-end exchange with its retransmissions.
#include "common/orv_error.h"
#include "engine/dispatcher.h"
#include "engine/fax_sender.h"
#include "engine/modem_link.h"
#include "engine/t30_frames.h"

namespace orv {

namespace {
constexpr int32_t kXonWaitTicks = 18;
constexpr int32_t kFdtWaitTicks = 546;
constexpr int kMaxPageRetries = 2;
constexpr uint8_t kXon = 0x11;
}  // namespace

// ---- 2 (end), 4..8: set-up ---------------------------------------------------------------------------

const FaxSender::ClassPhases FaxSender::kClass2Phases = {
    &FaxSender::InitClass2, &FaxSender::BeginClass2Setup, FaxSender::stDialResult, false,
    &FaxSender::Class2DataDone, &FaxSender::EndClass2Page,
};

ModemTask<bool> FaxSender::InitClass2() {
    S().vocab = Class2Vocabulary::For(S().faxClass);
    co_await SwitchToNormalBaud(S());
    co_return true;
}

FaxMachine::Next FaxSender::BeginClass2Setup() {
    if (!Command(S().vocab.selectClass)) return Next::Now;
    GoTo(stClassSelected);
    return Next::OnInput;
}

FaxMachine::Next FaxSender::ClassSelected() {
    if (const auto next = AwaitOk(ecFaxInitError)) return *next;  // anything but OK: -8073
    if (!Command(S().vocab.setLocalId + "=\"" + S().stationId + "\"")) return Next::Now;
    GoTo(S().IsClass2_0() ? stLocalIdSet : stSetCapabilities);
    return Next::OnInput;
}

FaxMachine::Next FaxSender::LocalIdSet() {
    if (const auto next = AwaitOk(ecFaxInitError)) return *next;  // anything but OK: -8073
    if (!Command("AT+FLO=2")) return Next::Now;
    GoTo(stFlowControlSet);
    return Next::OnInput;
}

FaxMachine::Next FaxSender::FlowControlSet() {
    if (const auto next = AwaitOk(ecFaxInitError)) return *next;  // anything but OK: -8073
    if (!Command("AT+FNR=1,1,1,0")) return Next::Now;
    GoTo(stSetCapabilities);
    return Next::OnInput;
}

FaxMachine::Next FaxSender::SetCapabilities() {
    if (const auto next = AwaitOk(ecFaxInitError)) return *next;  // anything but OK: -8073
    const FaxSession& s = S();
    QByteArray cmd = s.vocab.setCapabilities + '=';
    cmd += firstPageFine_ ? '1' : '0';
    cmd += ',';
    cmd += Class2RateCode(s.desiredBps);
    cmd += ',';
    cmd += firstPageWide_ ? '1' : '0';
    cmd += ",2,0,";
    cmd += s.desiredEcm == '1' ? '1' : '0';
    cmd += ",0,0";
    if (!Command(cmd)) return Next::Now;
    GoTo(stCapabilitiesSet);
    return Next::OnInput;
}

FaxMachine::Next FaxSender::CapabilitiesSet() {
    if (const auto next = AwaitOk(ecFaxInitError)) return *next;  // anything but OK: -8073
    GoTo(stDial);
    return Next::Now;
}

// ---- 19: the dial result ------------------------------------------------------------------------------

FaxMachine::Next FaxSender::DialResult() {
    if (const auto next = AwaitLine()) return *next;
    const QByteArray& l = Line();
    const FaxSession& s = S();
    if (IsReport(l, s.vocab.connect)) {
        ArmReplyTimer();
        S().line.Clear();
        GoTo(stNegotiate);
        return Next::OnInput;
    }
    if (IsResult(l, "BUSY") || IsResult(l, "ANSWER")) return BusyOrNoAnswer();
    if (IsResult(l, "VOICE")) return Fail(ecFaxVoiceCall);
    if (IsResult(l, "NO DIAL")) return Fail(ecFaxNoDialTone);
    // NO CARRIER: the call did not come about. Waiting on would only end in a
    // time-out; the modem has already given up.
    if (IsResult(l, "RRIER")) return Fail(ecFaxNoCarrier);
    ArmReplyTimer(s_.dialWait);
    return Next::OnInput;
}

// ---- 20, 21: negotiation and the start of page data ------------------------------------------------------

FaxMachine::Next FaxSender::Negotiate() {
    if (const auto next = AwaitLine()) return *next;
    const QByteArray& l = Line();
    FaxSession& s = S();
    const auto rearm = [&] { ArmTimerTrigger(Port(), s.replyTimer, 0, true); };  // the length it had
    if (IsReport(l, s.vocab.remoteCaps)) {
        s.remote = DecodeRemoteCaps(l);
        if ((pageWide_ && !s.remote.wide) || (pageFine_ && !s.remote.fine)) return Fail(ecFaxBadMachine);
        SetStatus(fsGettingParams);
        rearm();
        return Next::OnInput;
    }
    if (IsReport(l, s.vocab.calledId)) {
        s.remoteId = RemoteIdOf(l);
        SetStatus(fsGotRemoteId);
        rearm();
        return Next::OnInput;
    }
    if (IsReport(l, s.vocab.sessionParams)) {
        s.params = DecodeSessionParams(l);
        SetStatus(fsGettingParams);
        rearm();
        return Next::OnInput;
    }
    if (IsResult(l, "OK")) {
        if (!Command("AT+FDT")) return Next::Now;
        ArmReplyTimer(kFdtWaitTicks);
        s.localTimer.Start(PortTicks(Port()), kFdtWaitTicks);
        return Next::OnInput;
    }
    if (IsResult(l, "CONNECT")) {
        if (s.IsClass2_0()) {
            ArmOutputFree(PumpLevel());
            ArmReplyTimer(s.pageDataTimeout);
            GoTo(stWaitOutputFree);
            return Next::Now;
        }
        ArmReplyTimer(kXonWaitTicks);
        GoTo(stWaitXon);
        return Next::Now;
    }
    rearm();
    return Next::OnInput;
}

FaxMachine::Next FaxSender::WaitXon() {
    int b;
    bool go = false;
    while (!go && (b = NextInputByte()) >= 0) go = b == kXon;
    // Without XON within a second the data go anyway.
    if (go || ReplyTimerFired()) {
        ArmOutputFree(PumpLevel());
        ArmReplyTimer(S().pageDataTimeout);
        GoTo(stWaitOutputFree);
        return Next::Now;
    }
    return Next::OnTrigger;
}

// ---- 28 (end), 38..43: the page-end exchange --------------------------------------------------------------

FaxMachine::Next FaxSender::EndClass2Page() {
    if (S().IsClass2_0()) {
        const char end[2] = {'\x10', MorePages() ? ',' : '.'};
        SendBlock(Port(), end, 2);
    } else {
        SendBlock(Port(), kDleEtx, 2);
    }
    GoTo(stPageEnded);
    return Next::Now;
}

FaxMachine::Next FaxSender::PageEnded() {
    inPageData_ = false;
    S().line.Clear();
    ArmReplyTimer(S().pageDataTimeout);
    SetStatus(fsSendingEop);
    exchangeHangup_ = -1;
    GoTo(S().IsClass2_0() ? stPageResult : stPageEndAnswered);
    return Next::OnInput;
}

FaxMachine::Next FaxSender::PageEndAnswered() {
    if (const auto next = AwaitLine(kOwnError | kOwnHangup)) return *next;
    // Anything but OK after the page, a hang-up report included, is a broken session.
    if (IsReport(Line(), S().vocab.hangup)) S().hangupCode = HangupCodeOf(Line());
    if (!IsResult(Line(), "OK")) return Fail(ecFaxSessionError);
    if (!Command(QByteArray("AT+FET=") + (MorePages() ? '0' : '2'))) return Next::Now;
    ArmReplyTimer(S().pageDataTimeout);
    GoTo(stPageStatus);
    return Next::OnInput;
}

FaxMachine::Next FaxSender::PageStatus() {
    if (const auto next = AwaitLine(kOwnHangup | kOwnError)) return *next;
    const QByteArray& l = Line();
    FaxSession& s = S();
    const auto rearm = [&] { ArmTimerTrigger(Port(), s.replyTimer, 0, true); };
    if (IsReport(l, s.vocab.hangup)) {
        s.hangupCode = HangupCodeOf(l);
        exchangeHangup_ = s.hangupCode;
        rearm();
        return Next::OnInput;
    }
    if (IsReport(l, s.vocab.pageStatus)) {
        switch (FirstValueChar(l)) {
        case '1':
        case '3':
            SetStatus(fsPageAccepted);
            s_.pageRetries = 0;
            rearm();
            return Next::OnInput;
        case '2':
            SetStatus(fsPageError);
            rearm();
            GoTo(stPageRetry);
            return Next::OnInput;
        case '4':
        case '5': return Fail(ecCancelRequested);
        default: return Fail(ecFaxPageError);
        }
    }
    if (IsResult(l, "OK")) {
        // A call that ended with an error code did not deliver the fax, even
        // when the modem still says OK.
        if (exchangeHangup_ > 0) return Fail(ecFaxSessionError);
        GoTo(stNextPage);
        return Next::Now;
    }
    if (IsResult(l, "ERROR")) return Fail(exchangeHangup_ > 0 ? ecFaxSessionError : ecFaxBadModemResult);
    return Fail(ecFaxPageError);
}

FaxMachine::Next FaxSender::PageRetry() {
    if (const auto next = AwaitLine()) return *next;
    const QByteArray& l = Line();
    FaxSendSession& s = s_;
    if (IsResult(l, "OK")) {
        if (++s.pageRetries > kMaxPageRetries) {
            Command("AT+FKS");
            return Fail(ecFaxSessionError);
        }
        // The same page once more: back to its start.
        if (s.sendingCover && !s.coverIsApf) {
            coverText_.close();  // opened again when the page starts
        } else {
            const int rc = s.sendingCover ? ReadPageHeader(coverApf_, 1) : ReadPageHeader(fax_, s.page);
            if (rc < 0) return Fail(rc);
        }
        if (!Command("AT+FDT")) return Next::Now;
        ArmReplyTimer(kFdtWaitTicks);
        GoTo(stNegotiate);
        return Next::OnInput;
    }
    // Class 2.0 answers "AT+FPS?" with the page status value before its OK.
    const QByteArray value = s.IsClass2_0() ? (IsReport(l, s.vocab.pageStatus) ? ReportValue(l) : l) : QByteArray();
    if (!value.isEmpty() && value[0] >= '0' && value[0] <= '9') {
        if (value[0] == '4' || value[0] == '5') return Fail(ecCancelRequested);
        ArmTimerTrigger(Port(), s.replyTimer, 0, true);
        return Next::OnInput;
    }
    return Fail(ecFaxSessionError);
}

FaxMachine::Next FaxSender::PageResult() {
    if (const auto next = AwaitLine(kOwnError | kOwnHangup)) return *next;
    const QByteArray& l = Line();
    FaxSession& s = S();
    if (IsResult(l, "OK")) {
        if (exchangeHangup_ > 0) return Fail(ecFaxSessionError);
        SetStatus(fsPageAccepted);
        s_.pageRetries = 0;
        GoTo(stNextPage);
        return Next::Now;
    }
    if (IsResult(l, "ERROR")) {
        // After a hang-up report the call is gone: nothing to send again.
        if (exchangeHangup_ > 0) return Fail(ecFaxSessionError);
        if (!Command("AT+FPS?")) return Next::Now;
        ArmReplyTimer(s.pageDataTimeout);
        SetStatus(fsPageError);
        GoTo(stPageRetry);
        return Next::OnInput;
    }
    if (IsReport(l, s.vocab.hangup)) {
        s.hangupCode = HangupCodeOf(l);
        exchangeHangup_ = s.hangupCode;
        ArmTimerTrigger(Port(), s.replyTimer, 0, true);
        return Next::OnInput;
    }
    return Fail(ecFaxPageError);
}

}  // namespace orv
