#pragma once
// The trigger tables of one port: 10 timer slots, 20 data-match slots, 10
// status slots and the map from trigger handles 2..41 to them (handle 1 is the
// avail trigger). Pure bookkeeping with no I/O and no locking, so the rules of
// arming, matching and expiry can be tested on their own; the port runs them
// under its lock and delivers what they report.
#include "engine/port_types.h"
#include "engine/ticks.h"

#include <QByteArray>
#include <array>
#include <cstdint>
#include <vector>

namespace orv {

struct TimerSlot {
    int handle = 0;  // 0: slot free
    bool enabled = false;
    TickTimer timer;
};

struct DataSlot {
    int handle = 0;
    QByteArray match;          // upper-cased when ignoreCase
    bool ignoreCase = false;
    uint64_t partial = 0;      // bit i: the last i+1 bytes equal the first i+1 of match
    std::vector<uint64_t> table;  // per byte value: positions of match holding it
    bool matched = false;
};

struct StatusSlot {
    int handle = 0;
    int type = 0;              // StatusTriggerType
    bool enabled = false;
    uint32_t value = 0;        // modem mask, line-error mask or byte level
    uint8_t msrState = 0;      // modem-status lines when armed (type 1)
    uint64_t sentMark = 0;     // bytes written when armed (type 5)
};

// What the status triggers look at.
struct StatusContext {
    uint8_t msr = 0;
    uint16_t lineErrors = 0;
    size_t outCount = 0;       // bytes waiting in the transmit ring
    size_t outSize = 0;
    uint64_t bytesWritten = 0; // total bytes the I/O thread wrote to the device
};

class TriggerTables {
public:
    TriggerTables();

    uint16_t availLevel = 1;

    // Each returns a trigger handle 2..41, or -5001 when no slot or handle is free.
    int NewTimer();
    int NewStatus(int type);  // type 1..5, else -1002
    int NewData(const QByteArray& match, bool ignoreCase);  // -5002 when too long, -1002 when empty
    // 0, or -5003 for a bad handle. Handle 1 sets the avail level to 0.
    int Drop(int handle);

    // ticks 0 keeps the previous length.
    int ArmTimer(int handle, uint32_t ticks, bool enable, uint32_t nowTicks);
    int ArmStatus(int handle, uint32_t value, bool enable, const StatusContext& now);

    // The kind (2 timer, 3 data, 4 status) of a handle, 0 when unused.
    int KindOf(int handle) const;
    int StatusTypeOf(int handle) const;
    uint32_t StatusValueOf(int handle) const;  // the level or mask it was armed with
    bool HasDataTriggers() const { return dataCount_ > 0; }
    bool AnyTimerEnabled() const;
    bool AnyModemStatusEnabled() const;
    // Ticks until the soonest enabled timer expires (0 if one already has), or -1.
    int64_t TicksToNextTimer(uint32_t nowTicks) const;

    // The first expired enabled timer in slot order, disabled; 0 when none.
    int TakeExpiredTimer(uint32_t nowTicks);
    // The first enabled status trigger whose condition holds, disabled; 0 when none.
    int TakeFiredStatus(const StatusContext& now);
    // Feeds one received byte to every data trigger; the handles that matched
    // with it are appended to matched (slot order).
    void FeedData(uint8_t byte, std::vector<int>& matched);
    int DataLength(int handle) const;

    // Everything but the avail level back to free slots.
    void Clear();

private:
    int allocHandle(int kind, int slot);
    struct MapEntry {
        int kind = 0;
        int slot = -1;
    };
    std::array<TimerSlot, kTimerSlots> timers_;
    std::array<DataSlot, kDataSlots> data_;
    std::array<StatusSlot, kStatusSlots> status_;
    std::array<MapEntry, kLastTriggerHandle - kFirstTriggerHandle + 1> map_;
    int dataCount_ = 0;
};

}  // namespace orv
