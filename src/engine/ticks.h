#pragma once
// Engine time: ticks of 55 ms from a monotonic millisecond clock.
//
// Every trigger timer and every engine timer counts ticks. The tick counter is
// (milliseconds & 0x7FFFFFFF) / 55, so it wraps after kTickWrap ticks; a
// TickTimer measures its length as the ticks elapsed since its start, modulo
// that wrap, so a timer running across the wrap still expires on time.
//
// The clock is injectable: a port takes DefaultTickClock() when it opens, and
// tests install a ManualTickClock with SetDefaultTickClock() so timers fire only
// when the test advances time.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace orv {

inline constexpr uint32_t kMsPerTick = 55;
inline constexpr uint32_t kMaxTimerTicks = 39045157;       // 0x7FFFFFFF / 55
inline constexpr uint32_t kTickWrap = kMaxTimerTicks + 1;  // counter runs 0..kMaxTimerTicks

// seconds × 1675 / 92, and back as (ticks + 9) × 92 / 1675.
constexpr int32_t SecsToTicks(int32_t secs) { return static_cast<int32_t>(int64_t(secs) * 1675 / 92); }
constexpr int32_t TicksToSecs(int32_t ticks) { return static_cast<int32_t>((int64_t(ticks) + 9) * 92 / 1675); }

// A source of milliseconds. Realtime clocks need no wake-ups: ports compute
// their poll() time-outs from them. A manual clock tells its subscribers when
// it was advanced, so a waiting port re-checks its timers at once.
class TickClock {
public:
    virtual ~TickClock() = default;
    virtual uint32_t Milliseconds() const = 0;
    virtual bool Realtime() const = 0;
    // Subscribers are called (from the advancing thread) after each advance.
    virtual int Subscribe(std::function<void()> onAdvance) { return 0; }
    virtual void Unsubscribe(int token) {}

    uint32_t Ticks() const { return (Milliseconds() & 0x7FFFFFFFu) / kMsPerTick; }
};

// CLOCK_MONOTONIC in milliseconds.
class SystemTickClock final : public TickClock {
public:
    uint32_t Milliseconds() const override;
    bool Realtime() const override { return true; }
};

// Time that moves only when Advance() is called: deterministic tests.
class ManualTickClock final : public TickClock {
public:
    explicit ManualTickClock(uint32_t startMs = 0) : ms_(startMs) {}
    uint32_t Milliseconds() const override;
    bool Realtime() const override { return false; }
    int Subscribe(std::function<void()> onAdvance) override;
    void Unsubscribe(int token) override;

    void Advance(uint32_t ms);
    void AdvanceTicks(uint32_t ticks) { Advance(ticks * kMsPerTick); }
    void Set(uint32_t ms);

private:
    void notify();
    mutable std::mutex mutex_;
    uint32_t ms_;
    int nextToken_ = 1;
    std::vector<std::pair<int, std::function<void()>>> subscribers_;
};

// The clock ports take when they open, and CurrentTicks() reads.
std::shared_ptr<TickClock> DefaultTickClock();
// Replaces it (nullptr restores the system clock). Ports already open keep theirs.
void SetDefaultTickClock(std::shared_ptr<TickClock> clock);
// DefaultTickClock()->Ticks()
uint32_t CurrentTicks();

// Ticks from `from` to `to` across the counter's wrap.
constexpr uint32_t TicksBetween(uint32_t from, uint32_t to) {
    return (to + kTickWrap - from % kTickWrap) % kTickWrap;
}

// A start tick and a length; expired once the length has elapsed.
struct TickTimer {
    uint32_t start = 0;
    uint32_t length = 0;   // capped at kMaxTimerTicks
    uint32_t expiry = 0;   // (start + length) on the wrapping counter, for logs and callers

    void Start(uint32_t now, uint32_t ticks) {
        start = now % kTickWrap;
        length = ticks > kMaxTimerTicks ? kMaxTimerTicks : ticks;
        expiry = (start + length) % kTickWrap;
    }
    bool Expired(uint32_t now) const { return TicksBetween(start, now) >= length; }
    uint32_t Remaining(uint32_t now) const {
        const uint32_t gone = TicksBetween(start, now);
        return gone >= length ? 0 : length - gone;
    }
};

}  // namespace orv
