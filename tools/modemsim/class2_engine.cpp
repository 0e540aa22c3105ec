#include "class2_engine.h"

#include <cstring>
#include <tiffio.h>

#include "line.h"
#include "modem.h"
#include "simulator.h"

namespace orv::modemsim {

namespace {

constexpr uint8_t kDle = 0x10, kEtx = 0x03, kXon = 0x11, kDc2 = 0x12, kXoff = 0x13, kCan = 0x18;
constexpr size_t kTxBufferLimit = 64 * 1024;  // host page data held before flow control
constexpr size_t kTxLowWater = 64;            // below this the line waits for the host
enum Ppm { kMps = 0, kEom = 1, kEop = 2 };

std::string unquote(const std::string& v) {
    std::string s = v;
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
    return s.substr(0, 20);
}

int pprOf(int fcf) {
    switch (fcf & 0xFE) {
    case T30_MCF: return 1;
    case T30_RTN: return 2;
    case T30_RTP: return 3;
    case T30_PIN: return 4;
    case T30_PIP: return 5;
    default: return 2;
    }
}

}  // namespace

Class2Engine::Class2Engine(Modem& modem, bool class20) : Engine(modem), c20_(class20) {
    std::string dir = modem.sim().scratchDir();
    placeholder_ = dir + "/page-" + std::to_string(modem.index()) + ".tif";
    rxFile_ = dir + "/rx-" + std::to_string(modem.index()) + ".tif";
}

Class2Engine::~Class2Engine() { stopFax(); }

// ---- responses -------------------------------------------------------------

void Class2Engine::report(const char* class2Name, const char* class20Name, const std::string& value) {
    modem_.emitInfo(value.empty() ? name(class2Name, class20Name) : name(class2Name, class20Name) + ":" + value);
}

void Class2Engine::reportHangup() {
    if (hangupReported_ || hangupStatus_ < 0) return;
    hangupReported_ = true;
    char code[8];
    std::snprintf(code, sizeof code, c20_ ? "%02d" : "%d", hangupStatus_);
    report("+FHNG", "+FHS", code);
}

void Class2Engine::finishCommand(bool ok) {
    host_ = Host::Idle;
    modem_.emitResult(ok ? ResultCode::Ok : ResultCode::Error);
}

// ---- commands --------------------------------------------------------------

Engine::Result Class2Engine::command(const std::string& cmd) {
    auto is = [&](const char* n2, const char* n20) { return cmd == name(n2, n20); };
    if (is("+FDT", "+FDT")) {
        if (!online_ || !originating_) {
            if (finished_ && !hangupReported_) {
                reportHangup();
                return Result::Error;
            }
            return Result::Error;
        }
        if (host_ != Host::Idle) return Result::Error;
        if (finished_) {
            reportHangup();
            return Result::Error;
        }
        host_ = Host::WaitConnect;
        tick();
        return Result::Handled;
    }
    if (is("+FDR", "+FDR")) {
        if (host_ != Host::Idle) return Result::Error;
        if (!online_ && !finished_) return Result::Error;
        host_ = Host::WaitConnect;
        tick();
        return Result::Handled;
    }
    if (cmd.rfind("+FET=", 0) == 0) {
        int v = cmd.size() == 6 ? cmd[5] - '0' : -1;
        if (v < 0 || v > 2 || host_ != Host::PageEnded || okWhenSent_) return Result::Error;
        ppm_ = v;
        host_ = Host::WaitPpr;
        return Result::Handled;
    }
    if (is("+FK", "+FKS")) {
        if (online_ && !finished_) {
            host_ = Host::WaitHangup;
            t30_terminate(t30_);
            return Result::Handled;
        }
        return Result::Ok;
    }
    if (is("+FIP", "+FIP") || cmd.rfind("+FIP=", 0) == 0) {
        caps_ = Class2Params{};
        localId_.clear();
        bitOrder_ = 0;
        params_.clear();
        return Result::Ok;
    }
    return parameter(cmd);
}

Engine::Result Class2Engine::parameter(const std::string& cmd) {
    size_t op = cmd.find_first_of("=?");
    std::string n = cmd.substr(0, op);
    std::string rest = op == std::string::npos ? std::string() : cmd.substr(op);
    bool query = rest == "?";
    bool range = rest == "=?";
    std::string value = (!query && !range && rest.size() > 1) ? rest.substr(1) : std::string();
    if (op == std::string::npos) return Result::Error;

    // Capabilities and session parameters.
    if (n == name("+FDIS", "+FIS") || n == name("+FDCC", "+FCC")) {
        if (range) {
            modem_.emitInfo("(0,1),(0-5),(0-2),(0-2),(0,1),(0-2),(0),(0-7)");
            return Result::Ok;
        }
        if (query) {
            modem_.emitInfo(caps_.text());
            return Result::Ok;
        }
        if (!caps_.parse(value)) return Result::Error;
        if (t30_) applyCapabilities(t30_, caps_);
        return Result::Ok;
    }
    if (n == name("+FDCS", "+FCS")) {
        if (!query) return Result::Error;
        modem_.emitInfo(originating_ && t30_ ? decodeDcs(t30_->dcs_frame, T30_MAX_DIS_DTC_DCS_LEN).text()
                                             : rxDcs_.empty() ? caps_.text() : rxDcs_);
        return Result::Ok;
    }
    if (n == name("+FLID", "+FLI") || n == name("+FCIG", "+FPI")) {
        bool local = n == name("+FLID", "+FLI");
        if (range) {
            modem_.emitInfo("(20),(32-127)");
            return Result::Ok;
        }
        if (query) {
            modem_.emitInfo("\"" + (local ? localId_ : params_[n]) + "\"");
            return Result::Ok;
        }
        if (local) localId_ = unquote(value);
        else params_[n] = unquote(value);
        if (t30_ && local) t30_set_tx_ident(t30_, localId_.c_str());
        return Result::Ok;
    }
    if (n == name("+FBOR", "+FBO")) {
        if (range) {
            modem_.emitInfo(c20_ ? "(0-3)" : "(0-3)");
            return Result::Ok;
        }
        if (query) {
            modem_.emitInfo(std::to_string(bitOrder_));
            return Result::Ok;
        }
        if (value.size() != 1 || value[0] < '0' || value[0] > '3') return Result::Error;
        bitOrder_ = value[0] - '0';
        return Result::Ok;
    }
    if (n == name("+FPTS", "+FPS")) {
        if (query) {
            modem_.emitInfo(std::to_string(lastPpr_));
            return Result::Ok;
        }
        if (range) {
            modem_.emitInfo("(1-5)");
            return Result::Ok;
        }
        // The page status the host wants sent; the simulated modem has
        // already judged the page, as many real ones do.
        return value.empty() ? Result::Error : Result::Ok;
    }
    if (n == name("+FHNG", "+FHS")) {
        if (!query) return Result::Error;
        char code[8];
        std::snprintf(code, sizeof code, c20_ ? "%02d" : "%d", hangupStatus_ < 0 ? 0 : hangupStatus_);
        modem_.emitInfo(code);
        return Result::Ok;
    }
    // Parameters the simulator stores and reports but does not act on.
    static const char* const class2Params[] = {"+FCR", "+FAA", "+FCQ", "+FPHCTO", "+FBUG", "+FECM", "+FSPL", "+FLPL",
                                               "+FMINSP", "+FREL", "+FTBC", "+FRBC", "+FBADLIN", "+FBADMUL",
                                               "+FCTCRTY", "+FAXERR", "+FWDFC", "+FVRFC", "+FLNFC", "+FDFFC", nullptr};
    static const char* const class20Params[] = {"+FCR", "+FAA", "+FCQ", "+FCT", "+FLO", "+FNR", "+FIE", "+FSP",
                                                "+FLP", "+FMS", "+FRQ", "+FEA", "+FAP", "+FND", "+FSA", "+FPA",
                                                "+FPW", "+FIT", "+FPR", "+FPP", "+FRY", "+FBS", "+FFC", "+FCQ", nullptr};
    for (const char* const* p = c20_ ? class20Params : class2Params; *p; ++p) {
        if (n != *p) continue;
        if (range) {
            modem_.emitInfo("(0-255)");
        } else if (query) {
            auto it = params_.find(n);
            modem_.emitInfo(it == params_.end() ? "0" : it->second);
        } else {
            if (value.empty()) return Result::Error;
            params_[n] = value;
        }
        return Result::Ok;
    }
    return Result::Error;
}

// ---- the call --------------------------------------------------------------

bool Class2Engine::writePlaceholder(const std::string& path) {
    // spandsp's T.30 takes the page format for its DCS from a TIFF file; the
    // page data themselves come from the host.
    TIFF* t = TIFFOpen(path.c_str(), "w");
    if (!t) return false;
    static const int widths[3] = {1728, 2048, 2432};
    uint32_t width = static_cast<uint32_t>(widths[caps_.wd() > 2 ? 0 : caps_.wd()]);
    std::vector<uint8_t> row(width / 8, 0);
    for (int page = 0; page < 2; ++page) {
        TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, 4);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_LSB2MSB);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(t, TIFFTAG_XRESOLUTION, 204.0f);
        TIFFSetField(t, TIFFTAG_YRESOLUTION, caps_.vr() ? 196.0f : 98.0f);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 4);
        TIFFSetField(t, TIFFTAG_PAGENUMBER, page, 2);
        for (uint32_t r = 0; r < 4; ++r) TIFFWriteScanline(t, row.data(), r, 0);
        TIFFWriteDirectory(t);
    }
    TIFFClose(t);
    return true;
}

void Class2Engine::startFax(bool originating) {
    stopFax();
    originating_ = originating;
    fax_ = fax_init(nullptr, originating);
    t30_ = fax_get_t30_state(fax_);
    fax_set_transmit_on_idle(fax_, true);
    t30_set_tx_ident(t30_, localId_.c_str());
    applyCapabilities(t30_, caps_);
    // A page answered with RTN is sent again, with the data the host sends again.
    t30_->retransmit_capable = 1;
    if (originating) {
        writePlaceholder(placeholder_);
        t30_set_tx_file(t30_, placeholder_.c_str(), -1, -1);
    } else {
        t30_set_rx_file(t30_, rxFile_.c_str(), -1);
    }
    t30_set_phase_b_handler(t30_, &Class2Engine::onPhaseB, this);
    t30_set_phase_d_handler(t30_, &Class2Engine::onPhaseD, this);
    t30_set_phase_e_handler(t30_, &Class2Engine::onPhaseE, this);
    t30_set_document_handler(t30_, &Class2Engine::onDocument, this);
    sendFrame_ = t30_->send_hdlc_handler;
    sendFrameUser_ = t30_->send_hdlc_user_data;
    t30_->send_hdlc_handler = &Class2Engine::onFrameOut;
    t30_->send_hdlc_user_data = this;
    if (modem_.sim().options().t30Log) {
        span_log_set_level(t30_get_logging_state(t30_), SPAN_LOG_SHOW_SEVERITY | SPAN_LOG_SHOW_PROTOCOL | SPAN_LOG_FLOW);
        span_log_set_tag(t30_get_logging_state(t30_), ("class2-" + std::to_string(modem_.index())).c_str());
    }
    online_ = true;
    finished_ = false;
    hangupStatus_ = -1;
    hangupReported_ = false;
    txPage_.clear();
    txPos_ = 0;
    txBit_ = 8;
    txDle_ = false;
    txEnded_ = false;
    okWhenSent_ = false;
    ppm_ = -1;
    dcsReported_ = false;
    reportedDcs_.clear();
    toHost_.clear();
    afterPage_.clear();
    rxBits_ = 0;
    rxPageActive_ = rxPageDone_ = hostXoff_ = false;
    fet_ = -1;
    rxDcs_.clear();
    sessionReported_ = false;
}

void Class2Engine::stopFax() {
    if (fax_) {
        if (!finished_) {
            finished_ = true;  // no reports: the host has left the call
            t30_set_phase_e_handler(t30_, nullptr, nullptr);
            t30_terminate(t30_);
        }
        fax_free(fax_);
    }
    fax_ = nullptr;
    t30_ = nullptr;
    online_ = false;
}

void Class2Engine::callConnected(bool originating) {
    startFax(originating);
    if (originating) {
        host_ = Host::Dialing;  // OK follows the remote's DIS
    } else {
        host_ = Host::Answering;
        report("+FCON", "+FCO", "");
    }
}

void Class2Engine::callDropped() {
    online_ = false;
    if (t30_ && !finished_) t30_terminate(t30_);  // reports through phase E
}

void Class2Engine::hangUp() {
    stopFax();
    host_ = Host::Idle;
    hangupStatus_ = -1;
}

// ---- spandsp callbacks -----------------------------------------------------

int Class2Engine::onPhaseB(t30_state_t*, void* user, int result) {
    auto* self = static_cast<Class2Engine*>(user);
    if (self->originating_ && (result & 0xFE) == T30_DIS && self->host_ == Host::Dialing) {
        self->report("+FCON", "+FCO", "");
        const char* id = t30_get_rx_ident(self->t30_);
        if (id && *id) self->report("+FCSI", "+FCI", std::string("\"") + id + "\"");
        self->report("+FDIS", "+FIS", decodeDis(self->t30_->far_dis_dtc_frame, T30_MAX_DIS_DTC_DCS_LEN).text());
        self->finishCommand(true);
    }
    return T30_ERR_OK;
}

int Class2Engine::onPhaseD(t30_state_t*, void* user, int result) {
    auto* self = static_cast<Class2Engine*>(user);
    if (self->originating_) {
        // The remote's answer to our post-page message.
        int ppr = pprOf(result);
        self->lastPpr_ = ppr;
        bool good = ppr == 1 || ppr == 3;
        int ppm = self->ppm_;
        self->txPage_.clear();
        self->txPos_ = 0;
        self->txBit_ = 8;
        self->txEnded_ = false;
        self->txDle_ = false;
        self->ppm_ = -1;
        // Keep spandsp on the first page of the placeholder file.
        self->t30_->t4.tx.current_page = 0;
        if (!self->c20_) self->report("+FPTS", "+FPS", std::to_string(ppr));
        if (good && ppm == kEop) {
            self->host_ = Host::WaitHangup;  // +FHNG and OK follow the disconnect
        } else if (self->c20_) {
            self->finishCommand(good);
        } else {
            self->finishCommand(true);
        }
    } else {
        // The post-page message for the page just received.
        switch (result & 0xFE) {
        case T30_MPS: self->fet_ = 0; break;
        case T30_EOM: self->fet_ = 1; break;
        case T30_EOP: self->fet_ = 2; break;
        default: self->fet_ = 0; break;
        }
    }
    return T30_ERR_OK;
}

void Class2Engine::onPhaseE(t30_state_t*, void* user, int result) {
    auto* self = static_cast<Class2Engine*>(user);
    self->finished_ = true;
    self->hangupStatus_ = hangupCode(result);
    if (self->rxPageActive_) self->rxPageEnd();
    self->modem_.trace(std::string("fax over: ") + t30_completion_code_to_str(result));
    switch (self->host_) {
    case Host::Dialing:
    case Host::Answering:
        self->reportHangup();
        self->host_ = Host::Idle;
        self->modem_.emitResult(ResultCode::NoCarrier);
        break;
    case Host::WaitHangup:
    case Host::WaitPpr:
    case Host::PageEnded:
    case Host::SendData:
        self->reportHangup();
        self->finishCommand(self->hangupStatus_ == 0);
        break;
    case Host::RecvData:
        // The page already ended (carrier down): the host reads DLE ETX and
        // then waits for the call's end, which it gets now.
        self->pumpToHost();
        break;
    case Host::WaitConnect:
    case Host::WaitStart:
    case Host::Idle:
        break;  // reported when the host asks next (see tick)
    }
    self->modem_.engineHangUp();
    self->online_ = false;
}

int Class2Engine::onDocument(t30_state_t*, void* user, int) {
    // Another document follows when the host ended the page with EOM.
    return static_cast<Class2Engine*>(user)->ppm_ == kEom;
}

void Class2Engine::onFrameIn(void* user, const uint8_t* msg, int len, int ok) {
    auto* self = static_cast<Class2Engine*>(user);
    if (msg && len >= 3 && ok && (msg[2] & 0xFE) == T30_DCS) self->rxDcs_ = decodeDcs(msg, len).text();
    t30_hdlc_accept(self->t30_, msg, len, ok);
}

void Class2Engine::onFrameOut(void* user, const uint8_t* msg, int len) {
    auto* self = static_cast<Class2Engine*>(user);
    if (msg && len >= 3 && !self->originating_) {
        int fcf = msg[2] & 0xFE;
        if (fcf == T30_CFR) {
            // Training accepted: the session is set up.
            if (self->host_ == Host::Answering) {
                const char* id = t30_get_rx_ident(self->t30_);
                if (id && *id) self->report("+FTSI", "+FTI", std::string("\"") + id + "\"");
                self->report("+FDCS", "+FCS", self->rxDcs_);
                self->sessionReported_ = true;
                self->finishCommand(true);
            } else {
                self->sessionReported_ = false;  // a retrain: report again with the next page
            }
        } else if (fcf == T30_MCF || fcf == T30_RTN || fcf == T30_RTP || fcf == T30_PIN || fcf == T30_PIP) {
            self->sendPpr(pprOf(fcf));
        }
    }
    self->sendFrame_(self->sendFrameUser_, msg, len);
}

void Class2Engine::sendPpr(int ppr) {
    lastPpr_ = ppr;
    char b[64];
    std::snprintf(b, sizeof b, "%s:%d", name("+FPTS", "+FPS").c_str(), ppr);
    afterPage_ = b;
    afterPage_ += '\n';
    std::snprintf(b, sizeof b, "+FET:%d", fet_ < 0 ? 0 : fet_);
    afterPage_ += b;
    pumpToHost();
}

// ---- page data ---------------------------------------------------------------

uint8_t Class2Engine::txOrder(uint8_t b) const {
    // Both classes take the host's bytes in line order, least significant bit first.
    return (bitOrder_ & 1) ? reverseBits(b) : b;
}

uint8_t Class2Engine::rxOrder(uint8_t b) const {
    // Class 2 modems deliver received data with the first bit from the line in
    // the most significant place (the long-standing Class 2 practice that fax
    // programs expect); Class 2.0 keeps line order. +FBOR/+FBO bit 0 flips it.
    bool reversed = c20_ ? (bitOrder_ & 1) != 0 : (bitOrder_ & 1) == 0;
    return reversed ? reverseBits(b) : b;
}

int Class2Engine::pageBit(void* user) {
    auto* self = static_cast<Class2Engine*>(user);
    if (self->t30_->state != kT30StateI) return t30_non_ecm_get_bit(self->t30_);
    if (self->txBit_ >= 8) {
        if (self->txPos_ < self->txPage_.size()) {
            self->txByte_ = self->txOrder(static_cast<uint8_t>(self->txPage_[self->txPos_++]));
            self->txBit_ = 0;
        } else if (self->txEnded_ && self->okWhenSent_) {
            self->okWhenSent_ = false;
            self->modem_.emitResult(ResultCode::Ok);
            return 0;
        } else if (self->txEnded_ && self->ppm_ >= 0) {
            // The page is over: tell spandsp which post-page message to send.
            auto& tiff = self->t30_->t4.tx.tiff;
            tiff.stop_page = self->ppm_ == kMps ? self->t30_->t4.tx.current_page + 1 : self->t30_->t4.tx.current_page;
            return SIG_STATUS_END_OF_DATA;
        } else {
            return 0;  // fill while the host catches up
        }
    }
    return (self->txByte_ >> self->txBit_++) & 1;
}

void Class2Engine::pageBitIn(void* user, int bit) {
    auto* self = static_cast<Class2Engine*>(user);
    bool page = self->t30_->state == kT30StateFDocNonEcm;
    if (bit < 0) {
        if (page && bit == SIG_STATUS_TRAINING_SUCCEEDED) self->rxPageStart();
        if (bit == SIG_STATUS_CARRIER_DOWN && self->rxPageActive_) self->rxPageEnd();
    } else if (self->rxPageActive_ && !self->rxRtc_) {
        self->rxAcc_ = static_cast<uint8_t>(self->rxAcc_ | (bit & 1) << self->rxBits_);
        if (++self->rxBits_ == 8) {
            self->rxByte(self->rxAcc_);
            self->rxAcc_ = 0;
            self->rxBits_ = 0;
        }
        self->watchForRtc(bit & 1);
    }
    t30_non_ecm_put_bit(self->t30_, bit);
}

void Class2Engine::watchForRtc(int bit) {
    // The page ends with RTC, six EOLs in a row (each followed by a tag bit in
    // two-dimensional coding). Like a real modem, pass nothing after it: what
    // follows is only the noise of the carrier going down.
    if (rxSkipTag_) {
        rxSkipTag_ = false;
        return;
    }
    if (bit == 0) {
        ++rxZeros_;
        return;
    }
    bool eol = rxZeros_ >= 11;
    bool adjacent = eol && rxEols_ > 0 && rxDataSinceEol_ == 0;
    rxZeros_ = 0;
    if (!eol) {
        ++rxDataSinceEol_;
        return;
    }
    rxEols_ = adjacent ? rxEols_ + 1 : 1;
    rxDataSinceEol_ = 0;
    rxSkipTag_ = rxTwoD_;
    if (rxEols_ >= 6) {
        rxRtc_ = true;
        if (rxBits_ > 0) rxByte(rxAcc_);  // the last bits of RTC, padded with zeros
        rxAcc_ = 0;
        rxBits_ = 0;
    }
}

void Class2Engine::rxPageStart() {
    rxRtc_ = false;
    rxZeros_ = 0;
    rxEols_ = 0;
    rxDataSinceEol_ = 0;
    rxSkipTag_ = false;
    rxTwoD_ = !rxDcs_.empty() && rxDcs_.size() > 8 && rxDcs_[8] == '1';
    rxPageActive_ = true;
    rxPageDone_ = false;
    rxAcc_ = 0;
    rxBits_ = 0;
    toHost_.clear();
    afterPage_.clear();
    pumpToHost();
}

void Class2Engine::rxByte(uint8_t b) {
    b = rxOrder(b);
    toHost_ += static_cast<char>(b);
    if (b == kDle) toHost_ += static_cast<char>(kDle);
    if (toHost_.size() >= 256) pumpToHost();
}

void Class2Engine::rxPageEnd() {
    rxPageActive_ = false;
    rxPageDone_ = true;
    toHost_ += static_cast<char>(kDle);
    toHost_ += static_cast<char>(kEtx);
    pumpToHost();
}

void Class2Engine::pumpToHost() {
    if (originating_) return;
    if (host_ == Host::WaitConnect && (rxPageActive_ || rxPageDone_)) {
        if (!sessionReported_) {
            report("+FDCS", "+FCS", rxDcs_);
            sessionReported_ = true;
        }
        modem_.emitResult(ResultCode::Connect);
        host_ = Host::WaitStart;
        return;
    }
    if (host_ != Host::RecvData || hostXoff_) return;
    if (!toHost_.empty()) {
        modem_.emitRaw(toHost_);
        toHost_.clear();
    }
    if (rxPageDone_ && afterPage_.empty() && finished_) {
        // The call ended before the page could be judged.
        rxPageDone_ = false;
        reportHangup();
        finishCommand(false);
        return;
    }
    if (rxPageDone_ && !afterPage_.empty()) {
        size_t nl = afterPage_.find('\n');
        modem_.emitInfo(afterPage_.substr(0, nl));
        modem_.emitInfo(afterPage_.substr(nl + 1));
        afterPage_.clear();
        rxPageDone_ = false;
        finishCommand(true);
    }
}

void Class2Engine::endOfPageFromHost(int ppm) {
    txEnded_ = true;
    if (ppm < 0) {
        // Class 2: OK once the data are on the line, then +FET follows.
        host_ = Host::PageEnded;
        okWhenSent_ = true;
    } else {
        ppm_ = ppm;
        host_ = Host::WaitPpr;
    }
}

// ---- host data ---------------------------------------------------------------

bool Class2Engine::dataMode() const {
    return host_ == Host::SendData || host_ == Host::WaitStart || host_ == Host::RecvData;
}

bool Class2Engine::acceptsHostData() const {
    if (host_ == Host::SendData) return txPage_.size() - txPos_ < kTxBufferLimit;
    return true;
}

bool Class2Engine::busy() const {
    if (host_ == Host::PageEnded) return okWhenSent_;
    return host_ != Host::Idle && !dataMode();
}

size_t Class2Engine::hostData(const char* data, size_t n) {
    if (host_ == Host::WaitStart || host_ == Host::RecvData) {
        // Only flow control and the start and cancel characters mean anything here.
        for (size_t i = 0; i < n; ++i) {
            uint8_t c = static_cast<uint8_t>(data[i]);
            if (c == kDc2 || (c == kXon && host_ == Host::WaitStart)) {
                host_ = Host::RecvData;
                hostXoff_ = false;
            } else if (c == kXoff) {
                hostXoff_ = true;
            } else if (c == kXon) {
                hostXoff_ = false;
            } else if (c == kCan && t30_ && !finished_) {
                t30_terminate(t30_);
            }
        }
        pumpToHost();
        return n;
    }
    size_t i = 0;
    if (txPos_ > 0 && txPos_ == txPage_.size()) {
        txPage_.clear();
        txPos_ = 0;
    }
    while (i < n && host_ == Host::SendData) {
        uint8_t c = static_cast<uint8_t>(data[i++]);
        if (!txDle_) {
            if (c == kDle) txDle_ = true;
            else txPage_ += static_cast<char>(c);
            continue;
        }
        txDle_ = false;
        switch (c) {
        case kDle: txPage_ += static_cast<char>(kDle); break;
        case kEtx: endOfPageFromHost(-1); break;
        case ',': endOfPageFromHost(kMps); break;
        case ';': endOfPageFromHost(kEom); break;
        case '.': endOfPageFromHost(kEop); break;
        default: break;  // other escapes carry nothing for the line
        }
    }
    return i;
}

// ---- line --------------------------------------------------------------------

void Class2Engine::installTaps() {
    // fax.c re-arms its modems with T.30's own handlers whenever it switches
    // between them; put our taps back before every block.
    auto& m = fax_->modems;
    if (m.hdlc_rx.frame_handler == t30_hdlc_accept) {
        m.hdlc_rx.frame_handler = &Class2Engine::onFrameIn;
        m.hdlc_rx.frame_user_data = this;
    }
    auto& f = m.fast_modems;
    if (f.v17_tx.get_bit == t30_non_ecm_get_bit) v17_tx_set_get_bit(&f.v17_tx, &Class2Engine::pageBit, this);
    if (f.v29_tx.get_bit == t30_non_ecm_get_bit) v29_tx_set_get_bit(&f.v29_tx, &Class2Engine::pageBit, this);
    if (f.v27ter_tx.get_bit == t30_non_ecm_get_bit) v27ter_tx_set_get_bit(&f.v27ter_tx, &Class2Engine::pageBit, this);
    if (f.v17_rx.put_bit == t30_non_ecm_put_bit) v17_rx_set_put_bit(&f.v17_rx, &Class2Engine::pageBitIn, this);
    if (f.v29_rx.put_bit == t30_non_ecm_put_bit) v29_rx_set_put_bit(&f.v29_rx, &Class2Engine::pageBitIn, this);
    if (f.v27ter_rx.put_bit == t30_non_ecm_put_bit) v27ter_rx_set_put_bit(&f.v27ter_rx, &Class2Engine::pageBitIn, this);
}

void Class2Engine::lineTx(int16_t* amp, int n) {
    if (!fax_ || finished_) {
        std::memset(amp, 0, sizeof(int16_t) * static_cast<size_t>(n));
        return;
    }
    installTaps();
    int len = fax_tx(fax_, amp, n);
    if (len < n) std::memset(amp + len, 0, sizeof(int16_t) * static_cast<size_t>(n - len));
}

void Class2Engine::lineRx(int16_t* amp, int n) {
    if (!fax_ || finished_) return;
    installTaps();
    fax_rx(fax_, amp, n);
}

bool Class2Engine::lineStalled() const {
    if (!fax_ || finished_ || !originating_ || t30_->state != kT30StateI) return false;
    size_t buffered = txPage_.size() - txPos_;
    if (!txEnded_) return buffered < kTxLowWater;
    // Waiting for +FET; but a Class 2 page's OK still has to come from the bit
    // pump, which a stalled line would never call again.
    return buffered == 0 && txBit_ >= 8 && ppm_ < 0 && !okWhenSent_;
}

void Class2Engine::tick() {
    if (host_ == Host::WaitConnect) {
        if (originating_ && fax_ && !finished_ && t30_->state == kT30StateI) {
            std::string dcs = decodeDcs(t30_->dcs_frame, T30_MAX_DIS_DTC_DCS_LEN).text();
            if (!dcsReported_ || dcs != reportedDcs_) {
                report("+FDCS", "+FCS", dcs);
                dcsReported_ = true;
                reportedDcs_ = dcs;
            }
            modem_.emitResult(ResultCode::Connect);
            if (!c20_) modem_.emitRaw(std::string(1, static_cast<char>(kXon)));
            host_ = Host::SendData;
        } else if (!originating_) {
            pumpToHost();
            if (host_ == Host::WaitConnect && finished_ && !rxPageActive_ && !rxPageDone_) {
                reportHangup();
                finishCommand(hangupStatus_ == 0);
            }
        } else if (finished_) {
            reportHangup();
            finishCommand(false);
        }
    }
    if (fax_ && finished_ && host_ == Host::Idle && !online_) {
        // The call is over and nobody waits for it: let spandsp go.
        fax_free(fax_);
        fax_ = nullptr;
        t30_ = nullptr;
    }
}

}  // namespace orv::modemsim
