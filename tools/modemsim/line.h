#pragma once
// The simulated telephone line between two fax devices. Time on the line is
// counted in audio samples (8000 per second) and advances in 10 ms blocks;
// each block both ends transmit, then each receives what the other sent.
#include <cstdint>

namespace orv::modemsim {

constexpr int kSampleRate = 8000;
constexpr int kBlock = 80;  // samples per 10 ms block

constexpr int64_t msToSamples(int64_t ms) { return ms * kSampleRate / 1000; }

// One end of a call: a simulated modem or the spandsp terminal.
class LineEnd {
public:
    virtual ~LineEnd() = default;
    virtual void lineTx(int16_t* amp, int n) = 0;
    virtual void lineRx(int16_t* amp, int n) = 0;
    // True while this end cannot go on without its host (page data not there
    // yet): the line then stands still instead of sending an underrun.
    virtual bool lineStalled() const { return false; }
    // The far end has gone on-hook; the call is over.
    virtual void lineDropped() = 0;
};

class Call {
public:
    Call(LineEnd* caller, LineEnd* answerer) : a_(caller), b_(answerer) {}

    // Runs one block, unless an end is stalled.
    void tick();
    // `from` hangs up: the other end learns of it after `delaySamples` of line time.
    void hangUp(LineEnd* from, int64_t delaySamples);
    // Advances pending hang-ups; returns true when the call is over.
    bool finished() const { return over_; }
    void advance(int64_t samples);

    LineEnd* caller() const { return a_; }
    LineEnd* answerer() const { return b_; }
    LineEnd* other(const LineEnd* end) const { return end == a_ ? b_ : a_; }
    int64_t lineTime() const { return samples_; }

private:
    LineEnd* a_;
    LineEnd* b_;
    int64_t samples_ = 0;
    LineEnd* hungUpBy_ = nullptr;
    int64_t dropAt_ = -1;
    bool over_ = false;
};

}  // namespace orv::modemsim
