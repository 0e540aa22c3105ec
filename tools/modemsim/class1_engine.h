#pragma once
// Fax Class 1: spandsp's T.31 modem on the line, fed the way it needs to be.
#include <string>

#include "engine.h"
#include "spandsp_access.h"

namespace orv::modemsim {

class Class1Engine : public Engine {
public:
    explicit Class1Engine(Modem& modem);
    ~Class1Engine() override;

    Result command(const std::string& cmd) override;
    bool dataMode() const override;
    size_t hostData(const char* data, size_t n) override;
    bool acceptsHostData() const override;
    bool busy() const override { return !held_.empty(); }

    void callConnected(bool originating) override;
    void callDropped() override;
    void hangUp() override;

    void lineTx(int16_t* amp, int n) override;
    void lineRx(int16_t* amp, int n) override;
    void tick() override;

private:
    static int atTx(at_state_t* s, void* user, const uint8_t* buf, size_t len);
    static int control(t31_state_t* s, void* user, int op, const char* num);
    void forward(const std::string& cmd);
    void makeModem();
    void freeModem();
    void renewAfterCall();
    int mode() const { return t31_->at_state.at_rx_mode; }

    t31_state_t* t31_ = nullptr;
    bool cts_ = true;
    bool muted_ = false;
    bool holdAfterFinal_ = false;  // a final HDLC frame is on its way out
    bool dle_ = false;             // the last byte fed was an unpaired DLE
    bool online_ = false;
    bool stale_ = false;           // a call has ended: the next one gets a fresh T.31
    std::string held_;             // +FTH/+FTM waiting for the turnaround gap
    int64_t lineSamples_ = 0;      // line time this modem has heard
    int64_t lastAudio_ = -1000000;
};

}  // namespace orv::modemsim
