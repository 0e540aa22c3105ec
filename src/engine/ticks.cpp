#include "engine/ticks.h"

#include <ctime>

namespace orv {

uint32_t SystemTickClock::Milliseconds() const {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

uint32_t ManualTickClock::Milliseconds() const {
    std::lock_guard lock(mutex_);
    return ms_;
}

int ManualTickClock::Subscribe(std::function<void()> onAdvance) {
    std::lock_guard lock(mutex_);
    subscribers_.emplace_back(nextToken_, std::move(onAdvance));
    return nextToken_++;
}

void ManualTickClock::Unsubscribe(int token) {
    std::lock_guard lock(mutex_);
    std::erase_if(subscribers_, [token](const auto& s) { return s.first == token; });
}

void ManualTickClock::Advance(uint32_t ms) {
    {
        std::lock_guard lock(mutex_);
        ms_ += ms;
    }
    notify();
}

void ManualTickClock::Set(uint32_t ms) {
    {
        std::lock_guard lock(mutex_);
        ms_ = ms;
    }
    notify();
}

void ManualTickClock::notify() {
    std::vector<std::function<void()>> calls;
    {
        std::lock_guard lock(mutex_);
        for (const auto& s : subscribers_) calls.push_back(s.second);
    }
    for (auto& c : calls) c();
}

namespace {
std::mutex clockMutex;
std::shared_ptr<TickClock>& clockSlot() {
    static std::shared_ptr<TickClock> clock = std::make_shared<SystemTickClock>();
    return clock;
}
}  // namespace

std::shared_ptr<TickClock> DefaultTickClock() {
    std::lock_guard lock(clockMutex);
    return clockSlot();
}

void SetDefaultTickClock(std::shared_ptr<TickClock> clock) {
    std::lock_guard lock(clockMutex);
    clockSlot() = clock ? std::move(clock) : std::make_shared<SystemTickClock>();
}

uint32_t CurrentTicks() { return DefaultTickClock()->Ticks(); }

}  // namespace orv
