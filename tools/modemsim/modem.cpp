#include "modem.h"

#include <cctype>
#include <cstring>

#include "class1_engine.h"
#include "class2_engine.h"
#include "simulator.h"

namespace orv::modemsim {

namespace {

const char* resultText(ResultCode c) {
    switch (c) {
    case ResultCode::Ok: return "OK";
    case ResultCode::Connect: return "CONNECT";
    case ResultCode::Ring: return "RING";
    case ResultCode::NoCarrier: return "NO CARRIER";
    case ResultCode::Error: return "ERROR";
    case ResultCode::NoDialtone: return "NO DIALTONE";
    case ResultCode::Busy: return "BUSY";
    case ResultCode::NoAnswer: return "NO ANSWER";
    }
    return "ERROR";
}

// Upper-cases a command line except inside double quotes.
std::string upperOutsideQuotes(const std::string& s) {
    std::string out = s;
    bool quoted = false;
    for (auto& c : out) {
        if (c == '"') quoted = !quoted;
        if (!quoted) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '\r') out += "<CR>";
        else if (c == '\n') out += "<LF>";
        else if (c >= 32 && c < 127) out += static_cast<char>(c);
        else {
            char b[8];
            std::snprintf(b, sizeof b, "<%02X>", c);
            out += b;
        }
    }
    return out;
}

constexpr const char* kManufacturer = "Orvane";
constexpr const char* kModel = "modemsim fax modem";
constexpr const char* kRevision = "1.0";

}  // namespace

Modem::Modem(Simulator& sim, int index, const PortConfig& config, std::unique_ptr<PtyPort> port)
    : sim_(sim), index_(index), config_(config), port_(std::move(port)) {
    resetProfile();
}

Modem::~Modem() = default;

void Modem::trace(const std::string& what) const {
    if (sim_.options().trace) std::fprintf(stderr, "[modem%d %8.3f] %s\n", index_, sim_.now() / double(kSampleRate), what.c_str());
}

void Modem::resetProfile() {
    echo_ = true;
    quiet_ = false;
    verbose_ = true;
    xLevel_ = 4;
    std::memset(sregs_, 0, sizeof sregs_);
    sregs_[2] = 43;
    sregs_[3] = 13;
    sregs_[4] = 10;
    sregs_[5] = 8;
    sregs_[6] = 2;
    sregs_[7] = 50;
    sregs_[8] = 2;
    sregs_[10] = 14;
}

// ---- host side -------------------------------------------------------------

bool Modem::wantsHostBytes() const {
    if (unplugged_) return false;
    if (engine_ && engine_->dataMode() && !engine_->acceptsHostData()) return false;
    return inBuf_.size() < 2048;
}

void Modem::serviceHost() {
    if (unplugged_) return;
    char buf[1024];
    while (wantsHostBytes()) {
        size_t n = port_->read(buf, sizeof buf);
        if (n == 0) break;
        if (port_->dtrLow()) continue;  // a modem with DTR off ignores its host
        inBuf_.append(buf, n);
        processHostBytes();
    }
    processHostBytes();
}

void Modem::processHostBytes() {
    while (!inBuf_.empty() && !unplugged_) {
        if (engine_ && engine_->dataMode()) {
            if (!engine_->acceptsHostData()) return;
            size_t n = engine_->hostData(inBuf_.data(), inBuf_.size());
            inBuf_.erase(0, n);
            if (n == 0) return;
            continue;
        }
        if (hook_ == Hook::Dialing && pending_) {
            // As on a real modem, any character aborts a dial in progress.
            inBuf_.erase(0, 1);
            trace("dial aborted by the host");
            hangUpLocally();
            emitResult(ResultCode::NoCarrier);
            continue;
        }
        if (pending_ || (engine_ && engine_->busy())) return;  // the host waits for the result
        char c = inBuf_[0];
        inBuf_.erase(0, 1);
        acceptChar(c);
    }
}

void Modem::acceptChar(char raw) {
    char c = static_cast<char>(raw & 0x7F);
    if (echo_) emitRaw(std::string(1, raw));
    if (!inLine_) {
        // Wait for "AT" (or "A/"), ignoring whatever comes before it.
        if (lineBuf_.empty()) {
            if (c == 'A' || c == 'a') lineBuf_ = "A";
            return;
        }
        if (c == 'T' || c == 't') {
            lineBuf_ = "AT";
            inLine_ = true;
        } else if (c == '/') {
            lineBuf_.clear();
            if (!lastLine_.empty()) commandLine(lastLine_);
        } else {
            lineBuf_ = (c == 'A' || c == 'a') ? "A" : "";
        }
        return;
    }
    if (c == static_cast<char>(sregs_[3])) {
        std::string line = lineBuf_;
        lineBuf_.clear();
        inLine_ = false;
        lastLine_ = line;
        commandLine(line);
    } else if (c == static_cast<char>(sregs_[5])) {
        if (lineBuf_.size() > 2) lineBuf_.pop_back();
    } else if (c >= 32 && c < 127) {
        if (lineBuf_.size() < 255) lineBuf_ += c;
    }
    // Other control characters (LF among them) are ignored.
}

void Modem::commandLine(const std::string& line) {
    std::string up = upperOutsideQuotes(line);
    trace("<- " + line);
    auto& faults = sim_.faults();
    if (faults.unplugsOn(index_, up)) {
        unplug();
        return;
    }
    if (faults.mutes(index_, up)) {
        trace("(fault) no response");
        return;
    }
    if (auto reply = faults.wrongReply(index_, up)) {
        trace("(fault) wrong response");
        emitRaw(verbose_ ? "\r\n" + *reply + "\r\n" : *reply + "\r\n");
        return;
    }
    if (faults.garbles(index_, up)) {
        trace("(fault) garbage");
        emitRaw(garbageBytes());
    }
    if (int ms = faults.delayMs(index_, up); ms > 0) {
        pending_ = true;
        delayed_.emplace_back(sim_.now() + msToSamples(ms), line);
        return;
    }
    execute(line);
}

void Modem::execute(const std::string& line) {
    std::string up = upperOutsideQuotes(line);
    size_t pos = 2;
    while (pos < up.size()) {
        if (!runCommand(up, pos)) return;
    }
    emitResult(ResultCode::Ok);
}

bool Modem::runCommand(const std::string& up, size_t& pos) {
    auto number = [&](int def) {
        if (pos >= up.size() || !std::isdigit(static_cast<unsigned char>(up[pos]))) return def;
        int v = 0;
        while (pos < up.size() && std::isdigit(static_cast<unsigned char>(up[pos])) && v < 100000)
            v = v * 10 + (up[pos++] - '0');
        return v;
    };
    auto error = [&] {
        emitResult(ResultCode::Error);
        return false;
    };
    char c = up[pos++];
    switch (c) {
    case ' ':
    case ';':
        return true;
    case '+': {
        // Extended command: runs to an unquoted ';' or the end of the line.
        size_t start = pos - 1;
        bool quoted = false;
        while (pos < up.size() && (quoted || up[pos] != ';')) {
            if (up[pos] == '"') quoted = !quoted;
            ++pos;
        }
        std::string cmd = up.substr(start, pos - start);
        if (pos < up.size()) ++pos;
        switch (extended(cmd)) {
        case Engine::Result::Ok: return true;
        case Engine::Result::Error: return error();
        case Engine::Result::Handled: return false;
        }
        return false;
    }
    case 'A':
        answer();
        return false;
    case 'D':
        dial(up.substr(pos));
        pos = up.size();
        return false;
    case 'E': echo_ = number(0) != 0; return true;
    case 'Q': quiet_ = number(0) != 0; return true;
    case 'V': verbose_ = number(0) != 0; return true;
    case 'X': xLevel_ = number(0); return true;
    case 'L': case 'M': case 'B': case 'C': case 'N': case 'W': case 'Y': case 'P': case 'T':
        number(0);
        return true;
    case 'I': {
        int n = number(0);
        if (n == 0) emitInfo("MODEMSIM");
        else if (n == 3) emitInfo(std::string(kModel) + " " + kRevision);
        else emitInfo(kManufacturer);
        return true;
    }
    case 'H':
        if (number(0) == 0) hangUpLocally();
        return true;
    case 'O':
        return error();  // no data connection to return to
    case 'Z':
        number(0);
        hangUpLocally();
        resetProfile();
        class_ = FaxClass::Data;
        engine_.reset();
        return true;
    case 'S': {
        int reg = number(-1);
        if (reg < 0 || reg > 99) return error();
        if (pos < up.size() && up[pos] == '?') {
            ++pos;
            char b[8];
            std::snprintf(b, sizeof b, "%03d", sregs_[reg]);
            emitInfo(b);
            return true;
        }
        if (pos < up.size() && up[pos] == '=') {
            ++pos;
            int v = number(0);
            if (v > 255) return error();
            sregs_[reg] = v;
            return true;
        }
        return true;  // "Sn" selects a register; nothing more to do
    }
    case '&': {
        if (pos >= up.size()) return error();
        char f = up[pos++];
        number(0);
        if (f == 'F') {
            hangUpLocally();
            resetProfile();
            class_ = FaxClass::Data;
            engine_.reset();
        }
        return true;
    }
    case '\\': case '%':
        if (pos < up.size()) ++pos;
        number(0);
        return true;
    default:
        return error();
    }
}

Engine::Result Modem::extended(const std::string& cmd) {
    const auto& o = sim_.options();
    if (cmd.rfind("+FCLASS", 0) == 0) {
        std::string rest = cmd.substr(7);
        if (rest == "=?") {
            std::string list = "0";
            if (o.class1) list += ",1";
            if (o.class2) list += ",2";
            if (o.class20) list += ",2.0";
            emitInfo(list);
            return Engine::Result::Ok;
        }
        if (rest == "?") {
            emitInfo(class_ == FaxClass::Class20 ? "2.0" : std::to_string(static_cast<int>(class_)));
            return Engine::Result::Ok;
        }
        if (rest.size() > 1 && rest[0] == '=')
            return setClass(rest.substr(1)) ? Engine::Result::Ok : Engine::Result::Error;
        return Engine::Result::Error;
    }
    if (cmd == "+FMFR?" || cmd == "+FMI?" || cmd == "+GMI") {
        emitInfo(kManufacturer);
        return Engine::Result::Ok;
    }
    if (cmd == "+FMDL?" || cmd == "+FMM?" || cmd == "+GMM") {
        emitInfo(kModel);
        return Engine::Result::Ok;
    }
    if (cmd == "+FREV?" || cmd == "+FMR?" || cmd == "+GMR") {
        emitInfo(kRevision);
        return Engine::Result::Ok;
    }
    if (cmd == "+GCAP") {
        emitInfo("+GCAP: +FCLASS");
        return Engine::Result::Ok;
    }
    if (!engine_) return Engine::Result::Error;
    return engine_->command(cmd);
}

bool Modem::setClass(const std::string& value) {
    const auto& o = sim_.options();
    FaxClass want;
    if (value == "0") want = FaxClass::Data;
    else if (value == "1" && o.class1) want = FaxClass::Class1;
    else if (value == "2" && o.class2) want = FaxClass::Class2;
    else if (value == "2.0" && o.class20) want = FaxClass::Class20;
    else return false;
    if (hook_ == Hook::Online || hook_ == Hook::Dialing) return false;
    if (want == class_ && (engine_ || want == FaxClass::Data)) return true;
    engine_.reset();
    class_ = want;
    if (want == FaxClass::Class1) engine_ = std::make_unique<Class1Engine>(*this);
    else if (want != FaxClass::Data) engine_ = std::make_unique<Class2Engine>(*this, want == FaxClass::Class20);
    return true;
}

// ---- responses -------------------------------------------------------------

void Modem::emitResult(ResultCode code) {
    if (quiet_) return;
    if (verbose_) emitRaw(std::string("\r\n") + resultText(code) + "\r\n");
    else emitRaw(std::to_string(static_cast<int>(code)) + "\r");
}

void Modem::emitInfo(const std::string& text) {
    emitRaw(verbose_ ? "\r\n" + text + "\r\n" : text + "\r\n");
}

void Modem::emitRaw(const std::string& bytes) {
    if (unplugged_ || bytes.empty()) return;
    if (sim_.options().trace && bytes.size() < 200) {
        bool echo = bytes.size() == 1 && echo_;
        if (!echo) trace("-> " + printable(bytes));
    }
    port_->write(bytes);
}

// ---- calls -----------------------------------------------------------------

void Modem::dial(const std::string& dialString) {
    std::string num;
    bool commandDial = false;
    for (char ch : dialString) {
        if (std::isdigit(static_cast<unsigned char>(ch)) || ch == '*' || ch == '#') num += ch;
        else if (ch == ';') commandDial = true;
        // T, P, W, commas, spaces and the rest only shape the dialling.
    }
    if (commandDial) {
        emitResult(ResultCode::Ok);
        return;
    }
    if (hook_ == Hook::Online || hook_ == Hook::Dialing) {
        emitResult(ResultCode::Error);
        return;
    }
    trace("dialling " + num);
    hook_ = Hook::Dialing;
    pending_ = true;
    sim_.dial(this, num);
}

void Modem::dialFailed(ResultCode code) {
    if (hook_ != Hook::Dialing) return;
    hook_ = Hook::OnHook;
    pending_ = false;
    emitResult(code);
    processHostBytes();
}

void Modem::answer() {
    if (hook_ != Hook::Ringing || class_ == FaxClass::Data || !engine_) {
        emitResult(ResultCode::NoCarrier);
        return;
    }
    pending_ = true;
    if (!sim_.answer(this)) {
        pending_ = false;
        hook_ = Hook::OnHook;
        emitResult(ResultCode::NoCarrier);
    }
}

void Modem::ringIn() {
    if (hook_ != Hook::OnHook && hook_ != Hook::Ringing) return;
    hook_ = Hook::Ringing;
    ++ringCount_;
    sregs_[1] = ringCount_;
    emitResult(ResultCode::Ring);
    if (sregs_[0] > 0 && ringCount_ >= sregs_[0] && !pending_) answer();
}

void Modem::ringStopped() {
    if (hook_ == Hook::Ringing) hook_ = Hook::OnHook;
    ringCount_ = 0;
    sregs_[1] = 0;
}

void Modem::callConnected(Call* call, bool originating) {
    call_ = call;
    hook_ = Hook::Online;
    ringCount_ = 0;
    sregs_[1] = 0;
    pending_ = false;
    trace(originating ? "call answered by the far end" : "call answered");
    if (!engine_) {
        // Class 0: there is no data modem behind this one.
        hangUpLocally();
        emitResult(ResultCode::NoCarrier);
        return;
    }
    engine_->callConnected(originating);
    processHostBytes();
}

void Modem::hangUpLocally() {
    if (hook_ == Hook::Dialing) sim_.cancelDial(this);
    if (hook_ == Hook::Online && call_) sim_.hangUp(this);
    if (engine_) engine_->hangUp();
    call_ = nullptr;
    if (hook_ != Hook::Ringing) hook_ = Hook::OnHook;
    pending_ = false;
}

void Modem::engineHangUp() {
    if (hook_ == Hook::Online && call_) sim_.hangUp(this);
    call_ = nullptr;
    hook_ = Hook::OnHook;
}

void Modem::lineDropped() {
    trace("the far end hung up");
    call_ = nullptr;
    if (hook_ == Hook::Online) hook_ = Hook::OnHook;
    if (engine_) engine_->callDropped();
}

void Modem::lineTx(int16_t* amp, int n) {
    if (engine_) engine_->lineTx(amp, n);
    else std::memset(amp, 0, sizeof(int16_t) * static_cast<size_t>(n));
}

void Modem::lineRx(int16_t* amp, int n) {
    if (engine_) engine_->lineRx(amp, n);
}

bool Modem::lineStalled() const { return engine_ && engine_->lineStalled(); }

// ---- time, DTR, unplugging --------------------------------------------------

void Modem::tick() {
    if (unplugged_) return;
    bool low = port_->dtrLow();
    if (low && !dtrLow_) dtrDropped();
    dtrLow_ = low;
    while (!delayed_.empty() && delayed_.front().first <= sim_.now()) {
        std::string line = delayed_.front().second;
        delayed_.pop_front();
        pending_ = !delayed_.empty();
        execute(line);
    }
    if (engine_) engine_->tick();
    processHostBytes();
}

void Modem::dtrDropped() {
    // &D2: dropping DTR hangs up and returns to command mode without a word.
    trace("DTR dropped");
    hangUpLocally();
    delayed_.clear();
    pending_ = false;
    inBuf_.clear();
    lineBuf_.clear();
    inLine_ = false;
}

void Modem::unplug() {
    if (unplugged_) return;
    trace("unplugged");
    hangUpLocally();
    engine_.reset();
    unplugged_ = true;
    port_->unplug();
    sim_.event("UNPLUGGED " + std::to_string(index_));
}

}  // namespace orv::modemsim
