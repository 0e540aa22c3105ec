#pragma once
// What a fax class adds to the modem's AT front end: its +F commands, its data
// modes toward the host and its side of the line during a call.
#include <cstddef>
#include <cstdint>
#include <string>

namespace orv::modemsim {

class Modem;

class Engine {
public:
    enum class Result {
        Ok,       // the modem answers OK (or goes on with the command line)
        Error,    // the modem answers ERROR
        Handled,  // the engine answers itself, now or later
    };

    explicit Engine(Modem& modem) : modem_(modem) {}
    virtual ~Engine() = default;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // An extended command of this class, upper-cased outside quotes, e.g.
    // "+FTH=3" or "+FLID=\"Acme\"".
    virtual Result command(const std::string& cmd) = 0;
    // Host bytes belong to the engine (page data, frames, an abort).
    virtual bool dataMode() const = 0;
    // Consumes host bytes in data mode; returns how many it took.
    virtual size_t hostData(const char* data, size_t n) = 0;
    // False while the engine holds the host back (flow control).
    virtual bool acceptsHostData() const { return true; }
    // True while the engine works on a command and the host must wait.
    virtual bool busy() const { return false; }

    // The call is up: we dialled (originating) or answered.
    virtual void callConnected(bool originating) = 0;
    // The far end went on-hook.
    virtual void callDropped() = 0;
    // Our host hung up (ATH, DTR, reset): forget the call without a word.
    virtual void hangUp() = 0;

    virtual void lineTx(int16_t* amp, int n) = 0;
    virtual void lineRx(int16_t* amp, int n) = 0;
    virtual bool lineStalled() const { return false; }
    // Called every 10 ms of simulated time.
    virtual void tick() {}

protected:
    Modem& modem_;
};

}  // namespace orv::modemsim
