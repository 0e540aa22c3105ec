#include <gtest/gtest.h>

#include "common/orv_error.h"
#include "engine/byte_ring.h"
#include "engine/ticks.h"
#include "engine/triggers.h"

using namespace orv;

TEST(Ticks, ConversionsWrapAndManualClock) {
    EXPECT_EQ(SecsToTicks(10), 182);
    EXPECT_EQ(SecsToTicks(60), 1092);
    EXPECT_EQ(SecsToTicks(1), 18);
    EXPECT_EQ(TicksToSecs(182), 10);
    EXPECT_EQ(TicksToSecs(1092), 60);
    EXPECT_EQ(TicksBetween(kMaxTimerTicks - 1, 2), 4u);
    TickTimer t;
    t.Start(kMaxTimerTicks - 2, 5);
    EXPECT_EQ(t.expiry, 2u);
    EXPECT_FALSE(t.Expired(kMaxTimerTicks));
    EXPECT_FALSE(t.Expired(1));
    EXPECT_TRUE(t.Expired(2));
    t.Start(0, 0xFFFFFFFFu);
    EXPECT_EQ(t.length, kMaxTimerTicks);

    ManualTickClock clock(0x7FFFFFFFu - 10);
    EXPECT_EQ(clock.Ticks(), (0x7FFFFFFFu - 10) / 55);
    clock.Advance(11);  // the millisecond counter passes 0x7FFFFFFF: ticks start again at 0
    EXPECT_EQ(clock.Ticks(), 0u);
    int calls = 0;
    const int token = clock.Subscribe([&] { ++calls; });
    clock.AdvanceTicks(2);
    EXPECT_EQ(clock.Ticks(), 2u);
    clock.Unsubscribe(token);
    clock.Advance(1);
    EXPECT_EQ(calls, 1);
}

TEST(ByteRingTest, FillsExactlyFailsWholeAndWraps) {
    ByteRing r(8);
    const uint8_t five[5] = {1, 2, 3, 4, 5};
    EXPECT_TRUE(r.WriteAll(five, 5));
    EXPECT_EQ(r.Take(), 1);
    EXPECT_EQ(r.Take(), 2);
    const uint8_t more[5] = {6, 7, 8, 9, 10};
    EXPECT_TRUE(r.WriteAll(more, 5));  // exactly the free space, across the end
    EXPECT_TRUE(r.Full());
    EXPECT_EQ(r.Count(), 8u);
    EXPECT_FALSE(r.WriteAll(more, 1));
    EXPECT_EQ(r.Count(), 8u);
    EXPECT_EQ(r.Peek(0), 3);
    EXPECT_EQ(r.Peek(7), 10);
    EXPECT_EQ(r.Peek(8), -1);
    uint8_t out[8];
    EXPECT_EQ(r.Read(out, 8), 8u);
    EXPECT_EQ(out[0], 3);
    EXPECT_EQ(out[7], 10);
    EXPECT_TRUE(r.Empty());
    EXPECT_EQ(r.Take(), -1);
}

TEST(TriggerTablesTest, HandlesSlotsAndErrors) {
    TriggerTables t;
    std::vector<int> timers;
    for (int i = 0; i < kTimerSlots; ++i) timers.push_back(t.NewTimer());
    EXPECT_EQ(timers.front(), 2);
    EXPECT_EQ(timers.back(), 11);
    EXPECT_EQ(t.NewTimer(), ecNoMoreTriggers);
    EXPECT_EQ(t.NewStatus(6), ecBadArgument);
    EXPECT_EQ(t.NewStatus(0), ecBadArgument);
    EXPECT_EQ(t.NewData(QByteArray(kMaxDataTriggerLength + 1, 'x'), false), ecTriggerTooLong);
    EXPECT_EQ(t.NewData("", false), ecBadArgument);
    const int s = t.NewStatus(stOutFree);
    EXPECT_EQ(s, 12);
    EXPECT_EQ(t.KindOf(s), 4);
    EXPECT_EQ(t.StatusTypeOf(s), stOutFree);
    EXPECT_EQ(t.Drop(timers[3]), 0);
    EXPECT_EQ(t.KindOf(timers[3]), 0);
    EXPECT_EQ(t.Drop(timers[3]), ecBadTriggerHandle);
    EXPECT_EQ(t.Drop(99), ecBadTriggerHandle);
    EXPECT_EQ(t.NewTimer(), timers[3]);  // the freed handle and slot come back
    EXPECT_EQ(t.Drop(kAvailTrigger), 0);
    EXPECT_EQ(t.availLevel, 0);
    EXPECT_EQ(t.ArmTimer(s, 5, true, 0), ecBadTriggerHandle);
}

TEST(TriggerTablesTest, TimersExpireInSlotOrderAndKeepTheirLength) {
    TriggerTables t;
    const int a = t.NewTimer(), b = t.NewTimer(), c = t.NewTimer();
    t.ArmTimer(a, 5, true, 100);
    t.ArmTimer(b, 3, true, 100);
    t.ArmTimer(c, 5, true, 100);
    EXPECT_EQ(t.TicksToNextTimer(100), 3);
    EXPECT_EQ(t.TakeExpiredTimer(102), 0);
    EXPECT_EQ(t.TakeExpiredTimer(103), b);
    EXPECT_EQ(t.TakeExpiredTimer(103), 0);  // fired timers are disabled
    EXPECT_EQ(t.TakeExpiredTimer(105), a);
    EXPECT_EQ(t.TakeExpiredTimer(105), c);
    EXPECT_EQ(t.TicksToNextTimer(105), -1);
    t.ArmTimer(b, 0, true, 200);  // 0 keeps the length of 3
    EXPECT_EQ(t.TakeExpiredTimer(202), 0);
    EXPECT_EQ(t.TakeExpiredTimer(203), b);
    t.ArmTimer(a, 1, true, 300);
    t.ArmTimer(a, 0, false, 300);
    EXPECT_EQ(t.TakeExpiredTimer(400), 0);
}

TEST(TriggerTablesTest, DataMatchesFollowOverlapsAndCase) {
    TriggerTables t;
    const int abac = t.NewData("abac", true);
    const int ok = t.NewData("OK", false);
    const int aa = t.NewData("aa", false);
    std::vector<int> hits;
    auto feed = [&](const QByteArray& s) {
        hits.clear();
        std::vector<int> m;
        for (char c : s) {
            t.FeedData(uint8_t(c), m);
            for (int h : m) hits.push_back(h);
            m.clear();
        }
    };
    feed("xxABABACyy");  // the candidate starting at the second A is followed
    EXPECT_EQ(hits, std::vector<int>{abac});
    feed("ok Ok OK");
    EXPECT_EQ(hits, std::vector<int>{ok});  // case matters without ignoreCase
    feed("aaaa");
    EXPECT_EQ(hits, (std::vector<int>{aa, aa}));  // a match restarts after itself
    const int both = t.NewData("K", false);
    feed("OK");
    EXPECT_EQ(hits, (std::vector<int>{ok, both}));  // slot order
    EXPECT_EQ(t.DataLength(abac), 4);
    t.Drop(abac);
    feed("abac");
    EXPECT_TRUE(hits.empty());
}

TEST(TriggerTablesTest, StatusConditions) {
    TriggerTables t;
    StatusContext ctx;
    ctx.msr = kMsrCts | kMsrDsr;
    ctx.outSize = 4096;
    const int modem = t.NewStatus(stModem), line = t.NewStatus(stLine), freeT = t.NewStatus(stOutFree),
              used = t.NewStatus(stOutUsed), sent = t.NewStatus(stOutSent);
    ctx.outCount = 4000;
    t.ArmStatus(modem, kMsrDcd, true, ctx);
    t.ArmStatus(line, kLsOverrun, true, ctx);
    t.ArmStatus(freeT, 100, true, ctx);
    t.ArmStatus(used, 0, true, ctx);
    t.ArmStatus(sent, 0, true, ctx);
    EXPECT_EQ(t.TakeFiredStatus(ctx), 0);
    ctx.msr |= kMsrRi;  // not in the mask
    EXPECT_EQ(t.TakeFiredStatus(ctx), 0);
    ctx.msr |= kMsrDcd | kMsrDeltaDcd;
    EXPECT_EQ(t.TakeFiredStatus(ctx), modem);
    EXPECT_EQ(t.TakeFiredStatus(ctx), 0);  // disabled until re-armed
    ctx.lineErrors = kLineParity;
    EXPECT_EQ(t.TakeFiredStatus(ctx), 0);
    ctx.lineErrors |= kLineOverrun;
    EXPECT_EQ(t.TakeFiredStatus(ctx), line);
    ctx.outCount = 3996;
    ctx.bytesWritten = 10;
    EXPECT_EQ(t.TakeFiredStatus(ctx), freeT);
    ctx.outCount = 0;
    EXPECT_EQ(t.TakeFiredStatus(ctx), used);
    EXPECT_EQ(t.TakeFiredStatus(ctx), sent);
    // A lost device fires a line-error trigger whatever its mask.
    ctx.lineErrors = kLineDeviceLost;
    t.ArmStatus(line, 0, true, ctx);
    EXPECT_EQ(t.TakeFiredStatus(ctx), line);
    // A delta bit in a modem mask watches its line.
    ctx.msr = kMsrCts;
    t.ArmStatus(modem, kMsrDeltaCts, true, ctx);
    ctx.msr = 0;
    EXPECT_EQ(t.TakeFiredStatus(ctx), modem);
}
