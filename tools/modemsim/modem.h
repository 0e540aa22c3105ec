#pragma once
// A simulated Hayes fax modem: the AT front end shared by every class
// (command lines, echo, result codes, S registers, dialling, ringing and
// auto-answer, DTR), with the fax class behind it as an Engine.
#include <deque>
#include <memory>
#include <string>

#include "engine.h"
#include "line.h"
#include "options.h"
#include "pty_port.h"

namespace orv::modemsim {

class Simulator;

enum class ResultCode { Ok = 0, Connect = 1, Ring = 2, NoCarrier = 3, Error = 4, NoDialtone = 6, Busy = 7, NoAnswer = 8 };

enum class FaxClass { Data = 0, Class1 = 1, Class2 = 2, Class20 = 20 };

class Modem : public LineEnd {
public:
    Modem(Simulator& sim, int index, const PortConfig& config, std::unique_ptr<PtyPort> port);
    ~Modem() override;

    int index() const { return index_; }
    const std::string& number() const { return config_.number; }
    PtyPort* port() const { return port_.get(); }
    bool unplugged() const { return unplugged_; }
    bool onHook() const { return hook_ == Hook::OnHook || hook_ == Hook::Ringing; }

    // Event loop: read what the host wrote and act on it.
    void serviceHost();
    bool wantsHostBytes() const;
    // Every 10 ms of simulated time.
    void tick();

    // From the simulator.
    void ringIn();          // the telephone rings
    void ringStopped();     // the caller gave up
    void callConnected(Call* call, bool originating);
    void dialFailed(ResultCode code);

    // LineEnd
    void lineTx(int16_t* amp, int n) override;
    void lineRx(int16_t* amp, int n) override;
    bool lineStalled() const override;
    void lineDropped() override;

    // For the engines.
    void emitResult(ResultCode code);
    void emitInfo(const std::string& text);  // an information line, e.g. "+FCSI:..."
    void emitRaw(const std::string& bytes);
    void engineHangUp();    // the engine ended the call itself
    Simulator& sim() { return sim_; }
    FaxClass faxClass() const { return class_; }
    bool verbose() const { return verbose_; }
    bool quiet() const { return quiet_; }
    void trace(const std::string& what) const;
    void unplug();

private:
    enum class Hook { OnHook, Ringing, Dialing, Online };

    void processHostBytes();
    void acceptChar(char c);
    void commandLine(const std::string& line);
    void execute(const std::string& line);
    // Runs the commands after "AT"; returns false when the line ends early.
    bool runCommand(const std::string& up, size_t& pos);
    Engine::Result extended(const std::string& cmd);
    void dial(const std::string& dialString);
    void answer();
    void hangUpLocally();
    void resetProfile();
    bool setClass(const std::string& value);
    void dtrDropped();

    Simulator& sim_;
    int index_;
    PortConfig config_;
    std::unique_ptr<PtyPort> port_;
    std::unique_ptr<Engine> engine_;
    FaxClass class_ = FaxClass::Data;
    Hook hook_ = Hook::OnHook;
    Call* call_ = nullptr;

    bool echo_ = true, quiet_ = false, verbose_ = true;
    int xLevel_ = 4;
    int sregs_[100] = {};
    std::string inBuf_;    // host bytes not yet taken
    std::string lineBuf_;  // command line being typed
    bool inLine_ = false;  // "AT" seen
    std::string lastLine_;
    bool pending_ = false; // a command is still running (dial, answer, late reply)
    std::deque<std::pair<int64_t, std::string>> delayed_;
    int ringCount_ = 0;
    bool dtrLow_ = false;
    bool unplugged_ = false;
};

}  // namespace orv::modemsim
