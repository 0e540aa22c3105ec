#pragma once
// Faults the simulator plays on demand: dial results, a far end that hangs up,
// loses its carrier or rejects a page, and a modem that stays silent, answers
// late, answers wrongly, sends garbage or is unplugged.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orv::modemsim {

enum class FaultKind {
    Busy,            // dial result BUSY
    NoDialtone,      // dial result NO DIALTONE
    NoCarrier,       // dial result NO CARRIER (the far end answers without a fax tone)
    NoAnswer,        // dial result NO ANSWER
    Silence,         // the far end answers and then stays silent
    HangupPage,      // the far end hangs up during page N
    CarrierLossPage, // the far end's signal stops during page N
    RtnPage,         // the far end answers page N with RTN (once)
    PinPage,         // the far end answers page N with PIN (once)
    SilentAfterPage, // the far end never answers the message after page N
    Ftt,             // the far end answers every training check with FTT
    DcnTraining,     // the far end answers the training check with DCN
    Mute,            // no response to commands containing the text
    Garbage,         // garbage bytes before the response to commands containing the text
    Slow,            // responses delayed by N ms of line time
    Wrong,           // a wrong response line instead of the real result
    Unplug,          // the modem is unplugged when a command containing the text arrives
    UnplugAfter,     // the modem is unplugged N seconds (line time) after start
};

struct Fault {
    FaultKind kind{};
    int port = 0;        // 1-based modem number; 0 = every modem
    int count = -1;      // dial faults: how many dials it hits (-1 = all); page faults: 1
    int number = 0;      // page number, milliseconds or seconds
    std::string text;    // command text to match ("" matches every command)
    std::string reply;   // Wrong: the reply line
};

class FaultPlan {
public:
    // Parses one spec, e.g. "busy", "busy=2", "2:rtn-page=1", "mute=+FDT",
    // "wrong=+FCLASS=?:0,1", "slow=400", "slow=400:ATA". Returns an error text
    // or an empty string.
    std::string add(const std::string& spec);
    // Reads a script: one spec per line, '#' starts a comment.
    std::string addFile(const std::string& path);

    // The dial result fault for modem `port`, consumed by the dial.
    std::optional<FaultKind> takeDialFault(int port);
    bool farEndSilent(int port) const;
    // Whether modem `port`'s far end plays `kind` (Ftt, DcnTraining).
    bool has(FaultKind kind, int port) const;
    // The far-end fault for page `page` of a call on modem `port`, if any;
    // RTN and PIN faults are consumed.
    std::optional<FaultKind> takePageFault(int port, int page, bool consume);
    bool mutes(int port, const std::string& command) const;
    bool garbles(int port, const std::string& command) const;
    int delayMs(int port, const std::string& command) const;
    std::optional<std::string> wrongReply(int port, const std::string& command) const;
    bool unplugsOn(int port, const std::string& command) const;
    std::optional<int> unplugAfterSeconds(int port) const;

    const std::vector<Fault>& faults() const { return faults_; }

private:
    bool applies(const Fault& f, int port) const { return f.port == 0 || f.port == port; }
    bool matches(const Fault& f, int port, const std::string& command) const;
    std::vector<Fault> faults_;
};

// Garbage that a faulty modem puts on the line to the host: fixed, so runs repeat.
std::string garbageBytes();

}  // namespace orv::modemsim
