#include "fault_plan.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>

namespace orv::modemsim {

namespace {

std::string upper(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool parseInt(const std::string& s, int& out) {
    if (s.empty() || s.size() > 9) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    out = std::stoi(s);
    return true;
}

}  // namespace

std::string FaultPlan::add(const std::string& rawSpec) {
    std::string spec = trim(rawSpec);
    Fault f;
    // Optional "N:" naming the modem.
    size_t colon = spec.find(':');
    size_t eq = spec.find('=');
    if (colon != std::string::npos && (eq == std::string::npos || colon < eq)) {
        if (!parseInt(spec.substr(0, colon), f.port) || f.port < 1)
            return "bad modem number in fault \"" + rawSpec + "\"";
        spec = spec.substr(colon + 1);
        eq = spec.find('=');
    }
    std::string name = spec.substr(0, eq);
    std::string arg = eq == std::string::npos ? std::string() : spec.substr(eq + 1);
    bool hasArg = eq != std::string::npos;

    static const std::map<std::string, FaultKind> kinds = {
        {"busy", FaultKind::Busy},
        {"no-dialtone", FaultKind::NoDialtone},
        {"no-carrier", FaultKind::NoCarrier},
        {"no-answer", FaultKind::NoAnswer},
        {"silence", FaultKind::Silence},
        {"hangup-page", FaultKind::HangupPage},
        {"carrier-loss-page", FaultKind::CarrierLossPage},
        {"rtn-page", FaultKind::RtnPage},
        {"pin-page", FaultKind::PinPage},
        {"silent-after-page", FaultKind::SilentAfterPage},
        {"ftt", FaultKind::Ftt},
        {"dcn-training", FaultKind::DcnTraining},
        {"mute", FaultKind::Mute},
        {"garbage", FaultKind::Garbage},
        {"slow", FaultKind::Slow},
        {"wrong", FaultKind::Wrong},
        {"unplug", FaultKind::Unplug},
        {"unplug-after", FaultKind::UnplugAfter},
    };
    auto it = kinds.find(name);
    if (it == kinds.end()) return "unknown fault \"" + rawSpec + "\"";
    f.kind = it->second;
    switch (f.kind) {
    case FaultKind::Busy:
    case FaultKind::NoDialtone:
    case FaultKind::NoCarrier:
    case FaultKind::NoAnswer:
        if (hasArg && (!parseInt(arg, f.count) || f.count < 1))
            return "fault \"" + rawSpec + "\" needs a count of 1 or more";
        break;
    case FaultKind::Silence:
    case FaultKind::Ftt:
    case FaultKind::DcnTraining:
        if (hasArg) return "fault \"" + rawSpec + "\" takes no value";
        break;
    case FaultKind::HangupPage:
    case FaultKind::CarrierLossPage:
    case FaultKind::RtnPage:
    case FaultKind::PinPage:
    case FaultKind::SilentAfterPage:
        if (!parseInt(arg, f.number) || f.number < 1)
            return "fault \"" + rawSpec + "\" needs a page number of 1 or more";
        f.count = 1;
        break;
    case FaultKind::Mute:
    case FaultKind::Garbage:
    case FaultKind::Unplug:
        f.text = upper(arg == "*" ? std::string() : arg);
        break;
    case FaultKind::Slow: {
        size_t c = arg.find(':');
        if (!parseInt(arg.substr(0, c), f.number))
            return "fault \"" + rawSpec + "\" needs milliseconds";
        if (c != std::string::npos) f.text = upper(arg.substr(c + 1));
        break;
    }
    case FaultKind::Wrong: {
        // The command text ends at the last colon; the reply follows it.
        size_t c = arg.rfind(':');
        if (c == std::string::npos || c == 0)
            return "fault \"" + rawSpec + "\" needs TEXT:REPLY";
        f.text = upper(arg.substr(0, c));
        f.reply = arg.substr(c + 1);
        break;
    }
    case FaultKind::UnplugAfter:
        if (!parseInt(arg, f.number)) return "fault \"" + rawSpec + "\" needs seconds";
        break;
    }
    faults_.push_back(f);
    return {};
}

std::string FaultPlan::addFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) return "cannot read fault script " + path;
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        ++n;
        line = trim(line.substr(0, line.find('#')));
        if (line.empty()) continue;
        std::string err = add(line);
        if (!err.empty()) return path + ":" + std::to_string(n) + ": " + err;
    }
    return {};
}

std::optional<FaultKind> FaultPlan::takeDialFault(int port) {
    for (auto& f : faults_) {
        bool dial = f.kind == FaultKind::Busy || f.kind == FaultKind::NoDialtone ||
                    f.kind == FaultKind::NoCarrier || f.kind == FaultKind::NoAnswer;
        if (!dial || !applies(f, port) || f.count == 0) continue;
        if (f.count > 0) --f.count;
        return f.kind;
    }
    return std::nullopt;
}

bool FaultPlan::farEndSilent(int port) const { return has(FaultKind::Silence, port); }

bool FaultPlan::has(FaultKind kind, int port) const {
    return std::any_of(faults_.begin(), faults_.end(),
                       [&](const Fault& f) { return f.kind == kind && applies(f, port); });
}

std::optional<FaultKind> FaultPlan::takePageFault(int port, int page, bool consume) {
    for (auto& f : faults_) {
        bool pageFault = f.kind == FaultKind::HangupPage || f.kind == FaultKind::CarrierLossPage ||
                         f.kind == FaultKind::RtnPage || f.kind == FaultKind::PinPage ||
                         f.kind == FaultKind::SilentAfterPage;
        if (!pageFault || !applies(f, port) || f.number != page || f.count == 0) continue;
        if (consume) f.count = 0;
        return f.kind;
    }
    return std::nullopt;
}

bool FaultPlan::matches(const Fault& f, int port, const std::string& command) const {
    return applies(f, port) && (f.text.empty() || command.find(f.text) != std::string::npos);
}

bool FaultPlan::mutes(int port, const std::string& command) const {
    return std::any_of(faults_.begin(), faults_.end(), [&](const Fault& f) {
        return f.kind == FaultKind::Mute && matches(f, port, command);
    });
}

bool FaultPlan::garbles(int port, const std::string& command) const {
    return std::any_of(faults_.begin(), faults_.end(), [&](const Fault& f) {
        return f.kind == FaultKind::Garbage && matches(f, port, command);
    });
}

int FaultPlan::delayMs(int port, const std::string& command) const {
    int ms = 0;
    for (const auto& f : faults_)
        if (f.kind == FaultKind::Slow && matches(f, port, command)) ms = std::max(ms, f.number);
    return ms;
}

std::optional<std::string> FaultPlan::wrongReply(int port, const std::string& command) const {
    for (const auto& f : faults_)
        if (f.kind == FaultKind::Wrong && matches(f, port, command)) return f.reply;
    return std::nullopt;
}

bool FaultPlan::unplugsOn(int port, const std::string& command) const {
    return std::any_of(faults_.begin(), faults_.end(), [&](const Fault& f) {
        return f.kind == FaultKind::Unplug && matches(f, port, command);
    });
}

std::optional<int> FaultPlan::unplugAfterSeconds(int port) const {
    for (const auto& f : faults_)
        if (f.kind == FaultKind::UnplugAfter && applies(f, port)) return f.number;
    return std::nullopt;
}

std::string garbageBytes() {
    // Line noise as a real modem produces it: high-bit bytes and stray
    // controls, without flow-control characters or anything that reads like
    // a response.
    static const char bytes[] = "\xff\x80\xfe\x9b\x01\x07~#\xc3\x8f\x7f";
    return std::string(bytes, sizeof(bytes) - 1);
}

}  // namespace orv::modemsim
