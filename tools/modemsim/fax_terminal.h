#pragma once
// The far end that is not a simulated modem: spandsp's fax terminal, which
// receives into a TIFF file or sends one, and plays the far-end faults.
#include <functional>
#include <string>

#include "fault_plan.h"
#include "line.h"
#include "spandsp_access.h"

namespace orv::modemsim {

struct TerminalResult {
    bool sending = false;
    std::string file;
    int pages = 0;
    int status = 0;  // spandsp T.30 completion code
    std::string text;
};

class FaxTerminal : public LineEnd {
public:
    struct Config {
        bool calling = false;      // the terminal placed the call
        std::string sendFile;      // send this TIFF ...
        std::string receiveFile;   // ... or receive into this one
        std::string ident;
        int port = 0;              // the modem on the other end, for its faults
        bool t30Log = false;
        int maxRate = 14400;       // the fastest modem family offered: V.27 ter (4800), V.29 (9600), V.17
    };
    // `hangUp` is called when the terminal goes on-hook (fax over or a fault),
    // `finished` once with the outcome.
    FaxTerminal(const Config& config, FaultPlan& faults, std::function<void()> hangUp,
                std::function<void(const TerminalResult&)> finished);
    ~FaxTerminal() override;
    FaxTerminal(const FaxTerminal&) = delete;
    FaxTerminal& operator=(const FaxTerminal&) = delete;

    void lineTx(int16_t* amp, int n) override;
    void lineRx(int16_t* amp, int n) override;
    void lineDropped() override;

private:
    static void onPhaseE(t30_state_t* s, void* user, int result);
    static void onFrame(void* user, const uint8_t* msg, int len, int ok);
    static void onSendFrame(void* user, const uint8_t* msg, int len);
    void checkPageFaults();
    void finish(int status);
    int currentPage() const;

    Config config_;
    FaultPlan& faults_;
    std::function<void()> hangUp_;
    std::function<void(const TerminalResult&)> finished_;
    fax_state_t* fax_ = nullptr;
    t30_state_t* t30_ = nullptr;
    t30_send_hdlc_handler_t* sendFrame_ = nullptr;
    void* sendFrameUser_ = nullptr;
    bool silent_ = false;      // plays "silence" or has lost its carrier
    bool done_ = false;
    int64_t inPageSamples_ = 0;
    int pageOfState_ = 0;
    bool pinPending_ = false;
};

}  // namespace orv::modemsim
