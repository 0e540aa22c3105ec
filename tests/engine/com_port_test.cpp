#include <gtest/gtest.h>

#include "common/orv_error.h"
#include "engine/com_port.h"
#include "engine/pty_pair.h"
#include "config/settings.h"
#include "support/temp_home.h"

#include <QElapsedTimer>
#include <QPointer>
#include <atomic>
#include <QThread>

using namespace orv;
using orv::test::PtyPair;
using orv::test::waitUntil;

namespace {

// A component on COM1, which ORV.INI maps to a fresh pseudo-terminal.
struct ComFixture : ::testing::Test {
    orv::test::TempHome home;
    PtyPair pty;
    TOrvComPort port;
    QString savedPath;
    ComFixture() {
        savedPath = AppSettings().portPaths[0];
        AppSettings().portPaths[0] = pty.slavePath();
        port.SetComNumber(1);
        port.SetBaud(115200);
    }
    ~ComFixture() override {
        port.SetOpen(false);
        AppSettings().portPaths[0] = savedPath;
    }
};

}  // namespace

TEST(ComPortDefaults, PublishedProperties) {
    TOrvComPort p;
    EXPECT_EQ(p.DeviceLayer(), dlWin32);
    EXPECT_EQ(p.ComNumber(), 0);
    EXPECT_EQ(p.Baud(), 19200);
    EXPECT_EQ(p.Parity(), pNone);
    EXPECT_EQ(p.DataBits(), 8);
    EXPECT_EQ(p.StopBits(), 1);
    EXPECT_EQ(p.InSize(), 4096);
    EXPECT_EQ(p.OutSize(), 4096);
    EXPECT_TRUE(p.AutoOpen());
    EXPECT_EQ(p.DispatcherMode(), dWin32);
    EXPECT_FALSE(p.Open());
    EXPECT_TRUE(p.DTR());
    EXPECT_TRUE(p.RTS());
    EXPECT_TRUE(p.HWFlowOptions().Empty());
    EXPECT_EQ(p.SWFlowOptions(), swfNone);
    EXPECT_EQ(p.XOnChar(), 17);
    EXPECT_EQ(p.XOffChar(), 19);
    EXPECT_EQ(p.BufferFull(), 0);
    EXPECT_EQ(p.BufferResume(), 0);
    EXPECT_EQ(p.Tracing(), tlOff);
    EXPECT_EQ(p.TraceSize(), 10000);
    EXPECT_EQ(p.TraceName(), "ORVPORT.TRC");
    EXPECT_TRUE(p.TraceHex());
    EXPECT_EQ(p.Logging(), tlOff);
    EXPECT_EQ(p.LogSize(), 10000);
    EXPECT_EQ(p.LogName(), "ORVPORT.LOG");
    EXPECT_TRUE(p.LogHex());
    EXPECT_TRUE(p.UseMSRShadow());
    EXPECT_TRUE(p.UseEventWord());
    EXPECT_EQ(p.TriggerLength(), 1);
    EXPECT_EQ(p.CommNotificationLevel(), 10);
    EXPECT_EQ(p.TapiMode(), tmAuto);
    // No port chosen, no device layer: the mapped exceptions.
    EXPECT_THROW(p.SetOpen(true), ENoPortSelected);
    EXPECT_THROW(p.SendText("AT\r"), ENoPortSelected);
    p.SetComNumber(1);
    p.SetDeviceLayer(dlFossil);
    EXPECT_THROW(p.SetOpen(true), ENullApi);
    p.SetDeviceLayer(dlOther);
    EXPECT_THROW(p.SetOpen(true), ENullApi);
    // Port paths come from ORV.INI; beyond Com6 the serial ports count on.
    EXPECT_EQ(p.DevicePath(), AppSettings().portPaths[0]);
    p.SetComNumber(9);
    EXPECT_EQ(p.DevicePath(), "/dev/ttyS8");
    p.SetDeviceName("/dev/ttyUSB3");
    EXPECT_EQ(p.DevicePath(), "/dev/ttyUSB3");
}

TEST(ComPortDefaults, FlowControlMarks) {
    TOrvComPort p;
    p.SetInSize(8192);
    p.SetHWFlowOptions({hwfUseRTS, hwfRequireCTS});
    EXPECT_EQ(p.BufferFull(), 7372);
    EXPECT_EQ(p.BufferResume(), 819);
    p.SetBufferFull(9000);  // above InSize: 90 % of the value
    EXPECT_EQ(p.BufferFull(), 8100);
    p.SetBufferResume(9000);  // above BufferFull: 10 % of BufferFull
    EXPECT_EQ(p.BufferResume(), 810);
    TOrvComPort s;
    s.SetInSize(8192);
    s.SetSWFlowOptions(swfBoth);
    EXPECT_EQ(s.BufferFull(), 6144);
    EXPECT_EQ(s.BufferResume(), 2048);
}

TEST_F(ComFixture, AutoOpenExclusiveUseAndErrors) {
    port.SetAutoOpen(false);
    EXPECT_THROW(port.SendText("AT\r"), ECommNotOpen);
    port.SetAutoOpen(true);
    port.SendText("AT\r");  // opens on demand
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(pty.read(3), "AT\r");
    TOrvComPort second;
    second.SetComNumber(1);
    try {
        second.SetOpen(true);
        ADD_FAILURE() << "a second open succeeded";
    } catch (const EAlreadyOpen& e) {
        EXPECT_EQ(e.code(), ecAlreadyOpen);
        EXPECT_EQ(e.message(), "ie_Open - device already open");
    }
    EXPECT_FALSE(second.Open());
    EXPECT_THROW(port.TakeByte(), EBufferIsEmpty);
    const QByteArray big(5000, 'x');
    EXPECT_THROW(port.SendText(big), EOutputBufferTooSmall);
    EXPECT_THROW(port.RemoveTrigger(40), EBadTriggerHandle);
    port.SetOpen(false);
    EXPECT_FALSE(port.Open());
    AppSettings().portPaths[1] = "/dev/no-such-tty";
    port.SetComNumber(2);
    EXPECT_THROW(port.SetOpen(true), EBadId);
}

TEST_F(ComFixture, EventsArriveOnTheComponentsThread) {
    std::vector<std::pair<uint16_t, uint16_t>> triggers;
    std::vector<uint16_t> avail, timers;
    bool rightThread = true;
    port.OnTrigger = [&](TOrvCustomComPort& cp, uint16_t msg, uint16_t handle, uint16_t) {
        rightThread = rightThread && QThread::currentThread() == cp.thread();
        triggers.emplace_back(msg, handle);
    };
    port.OnTriggerAvail = [&](TOrvCustomComPort&, uint16_t count) { avail.push_back(count); };
    port.OnTriggerTimer = [&](TOrvCustomComPort&, uint16_t h) { timers.push_back(h); };
    port.SetOpen(true);
    pty.write("RING\r\n");
    ASSERT_TRUE(waitUntil([&] { return !avail.empty(); }));
    EXPECT_EQ(avail.front(), 6);
    const int t = port.AddTimerTrigger();
    port.SetTimerTrigger(t, 1, true);
    ASSERT_TRUE(waitUntil([&] { return !timers.empty(); }));
    EXPECT_EQ(timers.front(), t);
    EXPECT_TRUE(rightThread);
    EXPECT_EQ(triggers.back(), std::make_pair(uint16_t(kMsgTriggerTimer), uint16_t(t)));

    // Status events: output sent.
    int sent = 0;
    port.OnTriggerOutSent = [&](TOrvCustomComPort&) { ++sent; };
    const int s = port.AddStatusTrigger(stOutSent);
    port.SetStatusTrigger(s, 0, true);
    port.SendText("ATA\r");
    ASSERT_TRUE(waitUntil([&] { return sent == 1; }));

    // The trigger tables survive a close.
    port.SetOpen(false);
    port.SetOpen(true);
    EXPECT_EQ(TriggerKind(port.PortHandle(), t), 2);
    EXPECT_EQ(StatusTriggerType(port.PortHandle(), s), stOutSent);

    // An exception from a handler goes to the application's handler.
    QString shown;
    auto previous = TOrvCustomComPort::ApplicationExceptionHandler;
    TOrvCustomComPort::ApplicationExceptionHandler = [&](const std::exception& e) { shown = e.what(); };
    port.OnTriggerAvail = [](TOrvCustomComPort& cp, uint16_t) { cp.TakeByte();
        RaiseOrvError(ecBadArgument); };
    pty.write("x");
    ASSERT_TRUE(waitUntil([&] { return !shown.isEmpty(); }));
    TOrvCustomComPort::ApplicationExceptionHandler = previous;
    EXPECT_EQ(shown, "Bad argument passed to function");
}

TEST_F(ComFixture, TriggersNobodyListensToNeverWaitForTheComponentsThread) {
    port.SetOpen(true);
    const int h = port.PortHandle();
    std::atomic<int> engineCalls{0};
    // The fax engine's procedure handler, attached after the component's window.
    const int sink = AttachTriggerSink(h, [&](unsigned msg, unsigned, uint32_t) {
        if (msg != kMsgTriggerAvail) return;
        while (orv::TakeByte(h) >= 0) {
        }
        ++engineCalls;
    });
    // This (the component's) thread is busy and handles no events: without a
    // listening event the engine's handler still runs at once, not after the
    // window's one-second time-out.
    QElapsedTimer busy;
    busy.start();
    pty.write("RING\r\n");
    while (engineCalls == 0 && busy.elapsed() < 3000) QThread::msleep(5);
    EXPECT_EQ(engineCalls.load(), 1);
    EXPECT_LT(busy.elapsed(), 900);

    // An assigned event gets its triggers on this thread again, before the engine.
    std::vector<int> seen;
    port.OnTriggerAvail = [&](TOrvCustomComPort&, uint16_t count) { seen.push_back(engineCalls.load()); };
    pty.write("x");
    ASSERT_TRUE(waitUntil([&] { return engineCalls == 2; }));
    EXPECT_EQ(seen, std::vector<int>{1});
    port.OnTriggerAvail = nullptr;
    pty.write("y");
    ASSERT_TRUE(waitUntil([&] { return engineCalls == 3; }));
    EXPECT_EQ(seen.size(), 1u);
    DetachTriggerSink(h, sink);
}

TEST_F(ComFixture, ClosingInsideAnEventAndPortUsers) {
    std::vector<unsigned> told;
    const int user = port.AddPortUser([&](TOrvCustomComPort&, unsigned msg) { told.push_back(msg); });
    bool afterClose = false;
    port.OnTriggerAvail = [&](TOrvCustomComPort& cp, uint16_t) {
        cp.SetOpen(false);
        afterClose = !cp.Open();
    };
    port.SetOpen(true);
    pty.write("x");
    ASSERT_TRUE(waitUntil([&] { return afterClose; }));
    EXPECT_EQ(told, (std::vector<unsigned>{kMsgPortOpened, kMsgPortClosing}));
    port.RemovePortUser(user);
    port.OnTriggerAvail = nullptr;
    port.SetOpen(true);  // the device can be opened again at once
    EXPECT_EQ(told.size(), 2u);
}

TEST_F(ComFixture, AWindowMayDeleteItsPortFromInsideAnEvent) {
    // The window closes from inside an event: the component goes with it, and
    // nothing after the handler may touch it (the sanitizer build checks).
    // The general event first, then a particular one; the device can be
    // opened again at once.
    for (const bool inGeneral : {true, false}) {
        SCOPED_TRACE(inGeneral ? "OnTrigger" : "OnTriggerAvail");
        auto* doomed = new TOrvComPort;
        QPointer<TOrvComPort> alive(doomed);
        doomed->SetComNumber(1);
        doomed->SetBaud(115200);
        int avails = 0;
        doomed->OnTrigger = [&](TOrvCustomComPort& cp, uint16_t, uint16_t, uint16_t) {
            if (inGeneral) delete &cp;
        };
        doomed->OnTriggerAvail = [&](TOrvCustomComPort& cp, uint16_t) {
            ++avails;
            delete &cp;
        };
        doomed->SetOpen(true);
        pty.write("x");
        ASSERT_TRUE(waitUntil([&] { return alive.isNull(); }));
        EXPECT_EQ(avails, inGeneral ? 0 : 1);
        port.SetOpen(true);
        EXPECT_TRUE(port.Open());
        port.SetOpen(false);
    }
}

TEST_F(ComFixture, WaitForStringMatchesTimesOutAndReportsCharacters) {
    port.SetOpen(true);
    QByteArray seen;
    port.OnWaitChar = [&](TOrvCustomComPort&, char c) { seen += c; };
    std::thread modem([&] {
        QThread::msleep(30);
        pty.write("AT\r\r\nOoK\r\n");
    });
    EXPECT_TRUE(port.WaitForString("ok", 36, true, false));
    modem.join();
    EXPECT_EQ(seen, "AT\r\r\nOoK");  // consumed up to the match; the retry after "O" still matched
    EXPECT_EQ(port.InputCount(), 2);
    port.FlushInBuffer();
    seen.clear();
    QElapsedTimer waited;
    waited.start();
    EXPECT_FALSE(port.WaitForString("OK", 2, true, true));
    EXPECT_GE(waited.elapsed(), 55);
    pty.write("ABABAC");
    EXPECT_TRUE(port.WaitForString("ABAC", 18, false, false));
    // The far side hangs up: the wait ends at once.
    pty.hangUp();
    waited.restart();
    bool lineError = false;
    port.OnTriggerLineError = [&](TOrvCustomComPort&, uint16_t error, bool) { lineError = error & kLineDeviceLost; };
    EXPECT_FALSE(port.WaitForString("OK", 180, true, false));
    EXPECT_LT(waited.elapsed(), 5000);
    ASSERT_TRUE(waitUntil([&] { return !port.Open(); }));  // closed itself after the line error
    EXPECT_TRUE(lineError);
}

TEST_F(ComFixture, TracingAndLoggingStates) {
    port.SetTracing(tlPause);  // closed: only on or off is kept
    EXPECT_EQ(port.Tracing(), tlOff);
    port.SetTracing(tlOn);
    port.SetLogging(tlOn);
    port.SetTraceName("ORV2.TRC");
    port.SetLogName("ORV2.LOG");
    EXPECT_EQ(port.Tracing(), tlOn);
    port.SetOpen(true);
    EXPECT_EQ(port.Tracing(), tlOn);
    port.SendText("AT\r");
    port.PauseTrace();
    EXPECT_EQ(port.Tracing(), tlPause);
    port.SendText("ATZ\r");
    port.ResumeTrace();
    EXPECT_EQ(port.Tracing(), tlOn);
    port.SetTraceSize(40000);
    EXPECT_EQ(port.TraceSize(), 32760);  // re-created: what was traced is gone
    port.SetLogSize(65535);
    EXPECT_EQ(port.LogSize(), 65520);
    port.SendText("ATA\r");
    port.WriteTraceFile();
    EXPECT_EQ(port.Tracing(), tlOff);
    EXPECT_EQ(home.read("ORV2.TRC"), "Transmit: ATA[0D]\n");
    port.SetTracing(tlClear);  // off: nothing to clear
    port.CreateTrace();
    port.SendText("X");
    port.ResetTrace();
    port.SendText("Y");
    port.SetTraceHex(false);
    port.AppendTraceFile();
    EXPECT_EQ(home.read("ORV2.TRC"), "Transmit: ATA[0D]\nTransmit: Y\n");
    // Closing dumps what is on or paused.
    port.CreateTrace();
    port.SendText("Z");
    port.PauseLog();
    port.SetOpen(false);
    EXPECT_EQ(home.read("ORV2.TRC"), "Transmit: Z\n");
    EXPECT_TRUE(home.read("ORV2.LOG").startsWith("Time      Type      SubType       Data  OtherData\n"));
    EXPECT_EQ(port.Tracing(), tlOff);
    EXPECT_EQ(port.Logging(), tlOff);
    // A trace file that cannot be written raises its file error.
    port.SetTraceName(home.file("missing/x.trc"));
    port.SetOpen(true);
    port.CreateTrace();
    EXPECT_THROW(port.WriteTraceFile(), EInOutError);
    EXPECT_EQ(port.Tracing(), tlOff);
}

TEST_F(ComFixture, LoadingDefersOpenAndErrors) {
    TOrvComPort p;
    p.BeginLoading();
    p.SetComNumber(1);
    p.SetOpen(true);
    EXPECT_FALSE(p.Open());
    p.Loaded();
    EXPECT_TRUE(p.Open());
    p.SetOpen(false);
}
