#pragma once
// The simulator: the modems on their pseudo-terminals, the calls between
// them and the spandsp terminal, simulated time, and the event loop.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fax_terminal.h"
#include "line.h"
#include "modem.h"
#include "options.h"

namespace orv::modemsim {

class Simulator {
public:
    explicit Simulator(Options options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Creates the ports; returns an error text or "".
    std::string start();
    // Runs until stopped; returns the exit code.
    int run();
    void requestStop() { stop_ = true; }

    int64_t now() const { return now_; }
    const Options& options() const { return options_; }
    FaultPlan& faults() { return options_.faults; }
    const std::string& scratchDir() const { return scratch_; }
    void event(const std::string& line);

    // Services for the modems.
    void dial(Modem* from, const std::string& number);
    void cancelDial(Modem* from);
    bool answer(Modem* modem);
    void hangUp(Modem* modem);

    // The terminal calls modem `port` (1-based), sending `file` (or --send).
    void terminalCalls(int port, const std::string& file);

private:
    struct Session {
        std::unique_ptr<Call> call;
        std::unique_ptr<FaxTerminal> terminal;
        Modem* caller = nullptr;   // null when the terminal called
        Modem* answerer = nullptr; // null when the terminal answered
    };
    // A call being set up: dial tone, ringing, faults.
    struct Setup {
        Modem* from = nullptr;     // dialling modem, or null for the terminal
        Modem* to = nullptr;       // modem being rung, or null for the terminal
        std::string sendFile;      // the terminal calls with this file
        int64_t nextEvent = 0;
        int64_t giveUpAt = 0;
        ResultCode failure = ResultCode::Ok;  // a dial fault to report at nextEvent
        bool ringing = false;
    };

    void tick();
    void serviceStdin();
    void command(const std::string& line);
    void connect(Setup& s);
    Session* sessionOf(const Modem* m);
    std::string nextReceiveFile() const;
    Modem* modemByNumber(const std::string& number);

    Options options_;
    std::vector<std::unique_ptr<Modem>> modems_;
    std::vector<std::unique_ptr<Session>> sessions_;
    std::vector<Setup> setups_;
    std::vector<std::pair<int64_t, int>> unplugAt_;
    std::vector<ScheduledCall> scheduled_;
    std::string scratch_;
    std::string stdinBuf_;
    bool stdinOpen_ = true;
    int64_t now_ = 0;
    bool stop_ = false;
};

}  // namespace orv::modemsim
