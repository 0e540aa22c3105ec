#include "line.h"

#include <algorithm>

namespace orv::modemsim {

void Call::tick() {
    if (over_) return;
    if (!hungUpBy_ && (a_->lineStalled() || b_->lineStalled())) return;
    int16_t fromA[kBlock];
    int16_t fromB[kBlock];
    std::fill(fromA, fromA + kBlock, 0);
    std::fill(fromB, fromB + kBlock, 0);
    // A hung-up end sends nothing more.
    if (hungUpBy_ != a_) a_->lineTx(fromA, kBlock);
    if (hungUpBy_ != b_) b_->lineTx(fromB, kBlock);
    if (hungUpBy_ != a_) a_->lineRx(fromB, kBlock);
    if (hungUpBy_ != b_) b_->lineRx(fromA, kBlock);
    samples_ += kBlock;
    advance(0);
}

void Call::hangUp(LineEnd* from, int64_t delaySamples) {
    if (over_ || hungUpBy_) return;
    hungUpBy_ = from;
    dropAt_ = samples_ + delaySamples;
}

void Call::advance(int64_t samples) {
    samples_ += samples;
    if (!over_ && hungUpBy_ && samples_ >= dropAt_) {
        over_ = true;
        other(hungUpBy_)->lineDropped();
    }
}

}  // namespace orv::modemsim
