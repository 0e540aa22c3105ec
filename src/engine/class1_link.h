#pragma once
// What a Class 1 session keeps beside the session record: the modem's rates,
// the negotiated parameters, the frame being assembled and the last frame
// received, and the counters of the T.30 exchanges.
#include "engine/t30_frames.h"

namespace orv {

struct Class1Link {
    RateSet modemRates{};          // what the modem can send or receive at
    int bestRate = 0;              // the highest of them (receive: capped at DesiredBPS)
    T30Capabilities remote;        // from the remote's DIS (send)
    bool remoteKnown = false;      // a DIS was decoded
    T30Dcs dcs;                    // the session's parameters (sent or received)
    QByteArray modulation = "96";  // "+FTM="/"+FRM=" code of the training check
    QByteArray pageModulation = "96";  // ... and of the pages (V.17: short training)
    FrameAssembler frames;         // the frame being received
    T30Frame last;                 // the last frame received
    bool lastFinal = false;        // ... and it ended its message (cleared when acted on)
    bool haveFrame = false;        // a frame was received since the flag was cleared
    bool trainingOk = false;       // CFR received
    int postPageRetries = 0;       // post-page messages sent without an answer
    int frameRetries = 0;          // receive: CSI/DIS repeated
    int carrierErrors = 0;         // receive: "+FCERROR" answers to this AT+FRM
    int failedListens = 0;         // receive: AT+FRH=3 answered ERROR/NO CARRIER since the last frame
    int pageResends = 0;           // send: a page sent again after RTN
    bool morePages = false;        // receive: the last post-page message was MPS
    TrainingCounter training;      // receive: the training check
    bool refuseTraining = false;   // receive: the DCS asks for more than DesiredBPS: FTT after the check
    bool trainingDle = false;      // receive: the last training byte was a DLE
    // An AT+FTH/+FTM/+FRM not yet answered with CONNECT, and whether it has
    // been sent again: a modem still delivering a reception takes the first
    // character of a command for the end of it, answers OK and drops the rest.
    QByteArray unanswered;
    bool resent = false;

    void ResetCall() {
        remote = {};
        remoteKnown = false;
        dcs = {};
        frames.Cancel();
        last = {};
        lastFinal = haveFrame = trainingOk = morePages = trainingDle = refuseTraining = resent = false;
        unanswered.clear();
        postPageRetries = frameRetries = pageResends = carrierErrors = failedListens = 0;
        training = {};
    }
};

}  // namespace orv
