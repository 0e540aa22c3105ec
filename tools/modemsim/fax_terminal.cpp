#include "fax_terminal.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace orv::modemsim {

namespace {
// How far into a page the "hang up during page N" and "carrier loss" faults strike.
constexpr int64_t kPageFaultDelay = msToSamples(700);
}

FaxTerminal::FaxTerminal(const Config& config, FaultPlan& faults, std::function<void()> hangUp,
                         std::function<void(const TerminalResult&)> finished)
    : config_(config), faults_(faults), hangUp_(std::move(hangUp)), finished_(std::move(finished)) {
    fax_ = fax_init(nullptr, config.calling);
    t30_ = fax_get_t30_state(fax_);
    fax_set_transmit_on_idle(fax_, true);
    t30_set_tx_ident(t30_, config.ident.c_str());
    int modems = T30_SUPPORT_V27TER;
    if (config.maxRate > 4800) modems |= T30_SUPPORT_V29;
    if (config.maxRate > 9600) modems |= T30_SUPPORT_V17;
    t30_set_supported_modems(t30_, modems);
    t30_set_supported_compressions(t30_, T30_SUPPORT_T4_1D_COMPRESSION | T30_SUPPORT_T4_2D_COMPRESSION);
    t30_set_supported_resolutions(t30_, T30_SUPPORT_STANDARD_RESOLUTION | T30_SUPPORT_FINE_RESOLUTION |
                                            T30_SUPPORT_SUPERFINE_RESOLUTION | T30_SUPPORT_R8_RESOLUTION);
    t30_set_supported_image_sizes(t30_, T30_SUPPORT_US_LETTER_LENGTH | T30_SUPPORT_US_LEGAL_LENGTH |
                                            T30_SUPPORT_UNLIMITED_LENGTH | T30_SUPPORT_215MM_WIDTH |
                                            T30_SUPPORT_255MM_WIDTH | T30_SUPPORT_303MM_WIDTH);
    t30_set_ecm_capability(t30_, false);
    if (!config.sendFile.empty()) t30_set_tx_file(t30_, config.sendFile.c_str(), -1, -1);
    if (!config.receiveFile.empty()) t30_set_rx_file(t30_, config.receiveFile.c_str(), -1);
    t30_set_phase_e_handler(t30_, &FaxTerminal::onPhaseE, this);
    // Our own frames pass through a hook, so a fault can change the answer to a page.
    sendFrame_ = t30_->send_hdlc_handler;
    sendFrameUser_ = t30_->send_hdlc_user_data;
    t30_->send_hdlc_handler = &FaxTerminal::onSendFrame;
    t30_->send_hdlc_user_data = this;
    if (config.t30Log) {
        span_log_set_level(t30_get_logging_state(t30_), SPAN_LOG_SHOW_SEVERITY | SPAN_LOG_SHOW_PROTOCOL | SPAN_LOG_FLOW);
        span_log_set_tag(t30_get_logging_state(t30_), "terminal");
    }
    silent_ = faults_.farEndSilent(config.port);
}

FaxTerminal::~FaxTerminal() {
    if (!fax_) return;
    if (!done_) {
        // Shutting down mid-call: close the file and report, but nobody is
        // left to hang up.
        t30_set_phase_e_handler(t30_, nullptr, nullptr);
        t30_terminate(t30_);
        hangUp_ = [] {};
        finish(T30_ERR_CALLDROPPED);
    }
    fax_free(fax_);
}

int FaxTerminal::currentPage() const {
    return (t30_->state == kT30StateI ? t30_->tx_page_number : t30_->rx_page_number) + 1;
}

void FaxTerminal::lineTx(int16_t* amp, int n) {
    if (silent_ || done_) {
        std::memset(amp, 0, sizeof(int16_t) * static_cast<size_t>(n));
        return;
    }
    int len = fax_tx(fax_, amp, n);
    if (len < n) std::memset(amp + len, 0, sizeof(int16_t) * static_cast<size_t>(n - len));
    checkPageFaults();
}

void FaxTerminal::lineRx(int16_t* amp, int n) {
    if (silent_ || done_) return;
    // fax.c re-arms the HDLC receiver with T.30's own handler whenever it
    // changes modems; route the frames through our hook again.
    if (fax_->modems.hdlc_rx.frame_handler == t30_hdlc_accept) {
        fax_->modems.hdlc_rx.frame_handler = &FaxTerminal::onFrame;
        fax_->modems.hdlc_rx.frame_user_data = this;
    }
    fax_rx(fax_, amp, n);
}

void FaxTerminal::checkPageFaults() {
    bool inPage = t30_->state == kT30StateI || t30_->state == kT30StateFDocNonEcm;
    if (!inPage) {
        inPageSamples_ = 0;
        return;
    }
    int page = currentPage();
    if (page != pageOfState_) {
        pageOfState_ = page;
        inPageSamples_ = 0;
    }
    inPageSamples_ += kBlock;
    if (inPageSamples_ < kPageFaultDelay) return;
    auto fault = faults_.takePageFault(config_.port, page, false);
    if (fault == FaultKind::HangupPage) {
        faults_.takePageFault(config_.port, page, true);
        silent_ = true;
        finish(T30_ERR_CALLDROPPED);
        hangUp_();
    } else if (fault == FaultKind::CarrierLossPage) {
        faults_.takePageFault(config_.port, page, true);
        silent_ = true;  // off the air, but still off-hook
    }
}

void FaxTerminal::onFrame(void* user, const uint8_t* msg, int len, int ok) {
    auto* self = static_cast<FaxTerminal*>(user);
    if (len < 3 || !ok) {
        t30_hdlc_accept(self->t30_, msg, len, ok);
        return;
    }
    std::vector<uint8_t> frame(msg, msg + len);
    uint8_t fcf = frame[2] & 0xFE;
    if (fcf == T30_MPS || fcf == T30_EOP || fcf == T30_EOM) {
        int page = self->t30_->rx_page_number + 1;
        auto fault = self->faults_.takePageFault(self->config_.port, page, false);
        if (fault == FaultKind::SilentAfterPage) {
            // Heard, never answered: the caller repeats its message into silence.
            self->faults_.takePageFault(self->config_.port, page, true);
            self->silent_ = true;
            return;
        }
        if (fault == FaultKind::RtnPage || fault == FaultKind::PinPage) {
            self->faults_.takePageFault(self->config_.port, page, true);
            // Judge the page unreadable, so spandsp answers RTN itself and
            // drops the page (a PIN is that RTN, rewritten on its way out).
            // After the last page spandsp would close the file and start a
            // new one on the retrain, so it hears MPS there and the page
            // comes again.
            self->t30_->t4.rx.t4_t6_rx.bad_rows = 1 << 20;
            if (fcf != T30_MPS) frame[2] = static_cast<uint8_t>(T30_MPS | (frame[2] & 1));
            self->pinPending_ = fault == FaultKind::PinPage;
        }
    }
    t30_hdlc_accept(self->t30_, frame.data(), len, ok);
}

void FaxTerminal::onSendFrame(void* user, const uint8_t* msg, int len) {
    auto* self = static_cast<FaxTerminal*>(user);
    if (msg && len >= 3 && (msg[2] & 0xFE) == T30_CFR) {
        // The training check judged bad (FTT) or refused (DCN) by a fault.
        const int port = self->config_.port;
        const bool ftt = self->faults_.has(FaultKind::Ftt, port);
        if (ftt || self->faults_.has(FaultKind::DcnTraining, port)) {
            std::vector<uint8_t> frame(msg, msg + len);
            frame[2] = static_cast<uint8_t>((ftt ? T30_FTT : T30_DCN) | (frame[2] & 1));
            self->sendFrame_(self->sendFrameUser_, frame.data(), len);
            return;
        }
    }
    if (self->pinPending_ && msg && len >= 3 && (msg[2] & 0xFE) == T30_RTN) {
        self->pinPending_ = false;
        std::vector<uint8_t> frame(msg, msg + len);
        frame[2] = static_cast<uint8_t>(T30_PIN | (frame[2] & 1));
        self->sendFrame_(self->sendFrameUser_, frame.data(), len);
        return;
    }
    self->sendFrame_(self->sendFrameUser_, msg, len);
}

void FaxTerminal::onPhaseE(t30_state_t*, void* user, int result) {
    auto* self = static_cast<FaxTerminal*>(user);
    self->finish(result);
    // Go on-hook a moment after the last frame.
    self->hangUp_();
}

void FaxTerminal::finish(int status) {
    if (done_) return;
    done_ = true;
    t30_stats_t stats{};
    t30_get_transfer_statistics(t30_, &stats);
    TerminalResult r;
    r.sending = !config_.sendFile.empty();
    r.file = r.sending ? config_.sendFile : config_.receiveFile;
    r.pages = r.sending ? stats.pages_tx : stats.pages_rx;
    r.status = status;
    r.text = t30_completion_code_to_str(status);
    if (status == T30_ERR_CALLDROPPED && !r.sending) {
        // Close the file so the pages received so far are readable.
        t30_terminate(t30_);
        t30_get_transfer_statistics(t30_, &stats);
        r.pages = stats.pages_rx;
    }
    finished_(r);
}

void FaxTerminal::lineDropped() {
    if (!done_) {
        t30_terminate(t30_);  // reports through the phase E handler
        finish(T30_ERR_CALLDROPPED);
    }
}

}  // namespace orv::modemsim
