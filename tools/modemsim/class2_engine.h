#pragma once
// Fax Class 2 and Class 2.0: our own AT front end over spandsp's T.30 engine.
// The host's page data go to the line as they come (and received page data
// come back as the line delivers them): they are tapped between spandsp's
// modems and its T.30 engine, as a real Class 2 modem passes them through.
#include <map>
#include <string>

#include "engine.h"
#include "spandsp_access.h"
#include "t30_params.h"

namespace orv::modemsim {

class Class2Engine : public Engine {
public:
    Class2Engine(Modem& modem, bool class20);
    ~Class2Engine() override;

    Result command(const std::string& cmd) override;
    bool dataMode() const override;
    size_t hostData(const char* data, size_t n) override;
    bool acceptsHostData() const override;
    bool busy() const override;

    void callConnected(bool originating) override;
    void callDropped() override;
    void hangUp() override;

    void lineTx(int16_t* amp, int n) override;
    void lineRx(int16_t* amp, int n) override;
    bool lineStalled() const override;
    void tick() override;

private:
    // What the host is waiting for, or doing.
    enum class Host {
        Idle,         // command mode, nothing outstanding
        Dialing,      // ATD: waiting for the remote's DIS
        Answering,    // ATA: waiting for the session to be set up
        WaitConnect,  // +FDT or +FDR given, page not ready yet
        SendData,     // streaming page data to the modem
        PageEnded,    // Class 2: page data over, waiting for +FET
        WaitPpr,      // post-page message sent, waiting for the remote's answer
        WaitStart,    // +FDR: CONNECT sent, waiting for DC2
        RecvData,     // streaming received page data to the host
        WaitHangup,   // the last exchange is over; the call is ending
    };

    static int onPhaseB(t30_state_t* s, void* user, int result);
    static int onPhaseD(t30_state_t* s, void* user, int result);
    static void onPhaseE(t30_state_t* s, void* user, int result);
    static int onDocument(t30_state_t* s, void* user, int status);
    static void onFrameIn(void* user, const uint8_t* msg, int len, int ok);
    static void onFrameOut(void* user, const uint8_t* msg, int len);
    static int pageBit(void* user);
    static void pageBitIn(void* user, int bit);

    std::string name(const char* class2Name, const char* class20Name) const { return c20_ ? class20Name : class2Name; }
    void report(const char* class2Name, const char* class20Name, const std::string& value);
    void reportHangup();
    void finishCommand(bool ok);
    Result parameter(const std::string& cmd);
    void startFax(bool originating);
    void stopFax();
    void installTaps();
    bool writePlaceholder(const std::string& path);
    void sendPpr(int ppr);
    void rxByte(uint8_t b);
    void rxPageStart();
    void rxPageEnd();
    void watchForRtc(int bit);
    void pumpToHost();
    uint8_t txOrder(uint8_t b) const;
    uint8_t rxOrder(uint8_t b) const;
    void endOfPageFromHost(int ppm);

    bool c20_;
    Class2Params caps_;           // +FDIS/+FIS and +FDCC/+FCC
    std::string localId_;
    int bitOrder_ = 0;            // +FBOR / +FBO
    int lastPpr_ = 1;
    int hangupStatus_ = -1;       // Class 2 hang-up code once the call has ended
    bool hangupReported_ = false;
    std::map<std::string, std::string> params_;

    // The call.
    fax_state_t* fax_ = nullptr;
    t30_state_t* t30_ = nullptr;
    t30_send_hdlc_handler_t* sendFrame_ = nullptr;
    void* sendFrameUser_ = nullptr;
    bool originating_ = false;
    bool online_ = false;
    bool finished_ = false;
    Host host_ = Host::Idle;
    std::string placeholder_;
    std::string rxFile_;

    // Sending: the host's page as it arrives.
    std::string txPage_;
    size_t txPos_ = 0;
    int txBit_ = 8;
    uint8_t txByte_ = 0;
    bool txDle_ = false;
    bool txEnded_ = false;        // DLE ETX or DLE + post-page character seen
    bool okWhenSent_ = false;     // Class 2: answer the page's DLE ETX once it is on the line
    int ppm_ = -1;                // 0 MPS, 1 EOM, 2 EOP; -1 not known yet
    bool dcsReported_ = false;
    std::string reportedDcs_;

    // Receiving: page data on their way to the host.
    std::string toHost_;          // DLE-stuffed, in the host's bit order
    std::string afterPage_;       // reports that follow the page's DLE ETX
    uint8_t rxAcc_ = 0;
    int rxBits_ = 0;
    bool rxPageActive_ = false;
    bool rxPageDone_ = false;
    bool hostXoff_ = false;
    bool rxRtc_ = false;          // the page's RTC has passed
    int rxZeros_ = 0;
    int rxEols_ = 0;
    int rxDataSinceEol_ = 0;
    bool rxSkipTag_ = false;
    bool rxTwoD_ = false;
    int fet_ = -1;
    std::string rxDcs_;           // +FDCS text of the last DCS received
    bool sessionReported_ = false;
    std::string pendingRemoteId_;
};

}  // namespace orv::modemsim
