#include "engine/triggers.h"

#include "common/cp1252.h"
#include "common/orv_error.h"

namespace orv {
namespace {

constexpr int kKindTimer = 2, kKindData = 3, kKindStatus = 4;

}  // namespace

TriggerTables::TriggerTables() = default;

int TriggerTables::allocHandle(int kind, int slot) {
    for (size_t i = 0; i < map_.size(); ++i) {
        if (map_[i].kind == 0) {
            map_[i] = {kind, slot};
            return int(i) + kFirstTriggerHandle;
        }
    }
    return ecNoMoreTriggers;
}

int TriggerTables::KindOf(int handle) const {
    if (handle < kFirstTriggerHandle || handle > kLastTriggerHandle) return 0;
    return map_[size_t(handle - kFirstTriggerHandle)].kind;
}

int TriggerTables::StatusTypeOf(int handle) const {
    if (KindOf(handle) != kKindStatus) return 0;
    return status_[size_t(map_[size_t(handle - kFirstTriggerHandle)].slot)].type;
}

uint32_t TriggerTables::StatusValueOf(int handle) const {
    if (KindOf(handle) != kKindStatus) return 0;
    return status_[size_t(map_[size_t(handle - kFirstTriggerHandle)].slot)].value;
}

int TriggerTables::NewTimer() {
    for (size_t s = 0; s < timers_.size(); ++s) {
        if (timers_[s].handle) continue;
        const int h = allocHandle(kKindTimer, int(s));
        if (h < 0) return h;
        timers_[s] = TimerSlot{};
        timers_[s].handle = h;
        return h;
    }
    return ecNoMoreTriggers;
}

int TriggerTables::NewStatus(int type) {
    if (type < stModem || type > stOutSent) return ecBadArgument;
    for (size_t s = 0; s < status_.size(); ++s) {
        if (status_[s].handle) continue;
        const int h = allocHandle(kKindStatus, int(s));
        if (h < 0) return h;
        status_[s] = StatusSlot{};
        status_[s].handle = h;
        status_[s].type = type;
        return h;
    }
    return ecNoMoreTriggers;
}

int TriggerTables::NewData(const QByteArray& match, bool ignoreCase) {
    if (match.isEmpty()) return ecBadArgument;
    if (match.size() > kMaxDataTriggerLength) return ecTriggerTooLong;
    for (size_t s = 0; s < data_.size(); ++s) {
        if (data_[s].handle) continue;
        const int h = allocHandle(kKindData, int(s));
        if (h < 0) return h;
        DataSlot& d = data_[s];
        d = DataSlot{};
        d.handle = h;
        d.ignoreCase = ignoreCase;
        d.match = match;
        d.table.assign(256, 0);
        for (int i = 0; i < match.size(); ++i) {
            const uint8_t c = uint8_t(match[i]);
            if (ignoreCase) {
                const uint8_t up = upperCp1252(c);
                d.match[i] = char(up);
                for (int v = 0; v < 256; ++v)
                    if (upperCp1252(uint8_t(v)) == up) d.table[size_t(v)] |= uint64_t(1) << i;
            } else {
                d.table[c] |= uint64_t(1) << i;
            }
        }
        ++dataCount_;
        return h;
    }
    return ecNoMoreTriggers;
}

int TriggerTables::Drop(int handle) {
    if (handle == kAvailTrigger) {
        availLevel = 0;
        return ecOK;
    }
    const int kind = KindOf(handle);
    if (!kind) return ecBadTriggerHandle;
    MapEntry& m = map_[size_t(handle - kFirstTriggerHandle)];
    switch (kind) {
    case kKindTimer: timers_[size_t(m.slot)] = TimerSlot{}; break;
    case kKindData:
        data_[size_t(m.slot)] = DataSlot{};
        --dataCount_;
        break;
    case kKindStatus: status_[size_t(m.slot)] = StatusSlot{}; break;
    }
    m = MapEntry{};
    return ecOK;
}

int TriggerTables::ArmTimer(int handle, uint32_t ticks, bool enable, uint32_t nowTicks) {
    if (KindOf(handle) != kKindTimer) return ecBadTriggerHandle;
    TimerSlot& t = timers_[size_t(map_[size_t(handle - kFirstTriggerHandle)].slot)];
    t.enabled = enable;
    if (enable) t.timer.Start(nowTicks, ticks == 0 ? t.timer.length : ticks);
    else if (ticks != 0) t.timer.length = ticks > kMaxTimerTicks ? kMaxTimerTicks : ticks;
    return ecOK;
}

int TriggerTables::ArmStatus(int handle, uint32_t value, bool enable, const StatusContext& now) {
    if (KindOf(handle) != kKindStatus) return ecBadTriggerHandle;
    StatusSlot& s = status_[size_t(map_[size_t(handle - kFirstTriggerHandle)].slot)];
    s.enabled = enable;
    s.value = s.type == stLine ? LineErrorMask(value) : value;
    s.msrState = now.msr;
    s.sentMark = now.bytesWritten;
    return ecOK;
}

bool TriggerTables::AnyTimerEnabled() const {
    for (const auto& t : timers_)
        if (t.handle && t.enabled) return true;
    return false;
}

bool TriggerTables::AnyModemStatusEnabled() const {
    for (const auto& s : status_)
        if (s.handle && s.enabled && s.type == stModem) return true;
    return false;
}

int64_t TriggerTables::TicksToNextTimer(uint32_t nowTicks) const {
    int64_t best = -1;
    for (const auto& t : timers_) {
        if (!t.handle || !t.enabled) continue;
        const int64_t left = t.timer.Remaining(nowTicks);
        if (best < 0 || left < best) best = left;
    }
    return best;
}

int TriggerTables::TakeExpiredTimer(uint32_t nowTicks) {
    for (auto& t : timers_) {
        if (t.handle && t.enabled && t.timer.Expired(nowTicks)) {
            t.enabled = false;
            return t.handle;
        }
    }
    return 0;
}

int TriggerTables::TakeFiredStatus(const StatusContext& now) {
    for (auto& s : status_) {
        if (!s.handle || !s.enabled) continue;
        bool fire = false;
        switch (s.type) {
        case stModem: {
            // A delta bit in the mask watches its line; the delta bits themselves are transient.
            const unsigned lines = (s.value & 0xF0) | ((s.value & 0x0F) << 4);
            fire = ((now.msr ^ s.msrState) & lines & 0xF0) != 0;
            break;
        }
        case stLine: fire = (now.lineErrors & (s.value | kLineDeviceLost)) != 0; break;
        case stOutFree: fire = now.outSize - now.outCount >= s.value; break;
        case stOutUsed: fire = now.outCount <= s.value; break;
        case stOutSent: fire = now.outCount == 0 && now.bytesWritten > s.sentMark; break;
        }
        if (fire) {
            s.enabled = false;
            return s.handle;
        }
    }
    return 0;
}

void TriggerTables::FeedData(uint8_t byte, std::vector<int>& matched) {
    if (!dataCount_) return;
    for (auto& d : data_) {
        if (!d.handle) continue;
        d.partial = ((d.partial << 1) | 1) & d.table[byte];
        if (d.partial & (uint64_t(1) << (d.match.size() - 1))) {
            d.partial = 0;  // the next match starts after this one
            d.matched = true;
            matched.push_back(d.handle);
        }
    }
}

int TriggerTables::DataLength(int handle) const {
    if (KindOf(handle) != kKindData) return 0;
    return int(data_[size_t(map_[size_t(handle - kFirstTriggerHandle)].slot)].match.size());
}

void TriggerTables::Clear() {
    const uint16_t level = availLevel;
    *this = TriggerTables();
    availLevel = level;
}

}  // namespace orv
