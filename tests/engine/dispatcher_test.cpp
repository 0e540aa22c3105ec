#include <gtest/gtest.h>

#include "common/orv_error.h"
#include "engine/dispatcher.h"
#include "engine/pty_pair.h"
#include "support/temp_home.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QThread>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orv;
using orv::test::PtyPair;
using orv::test::waitUntil;

namespace {

struct Fired {
    unsigned msg;
    unsigned wParam;
    unsigned data;
    bool operator==(const Fired&) const = default;
};

// Records what a procedure handler receives, on the I/O thread.
struct Recorder {
    std::mutex mutex;
    std::vector<Fired> fired;
    TriggerProc proc() {
        return [this](unsigned msg, unsigned w, uint32_t l) {
            std::lock_guard lock(mutex);
            fired.push_back({msg, w, l & 0xFFFF});
        };
    }
    std::vector<Fired> take() {
        std::lock_guard lock(mutex);
        return std::exchange(fired, {});
    }
    size_t size() {
        std::lock_guard lock(mutex);
        return fired.size();
    }
};

int openPty(const PtyPair& pty, int outSize = 4096, std::shared_ptr<TickClock> clock = nullptr,
            std::shared_ptr<SerialDevice> device = nullptr) {
    PortOptions options;
    options.clock = std::move(clock);
    options.device = std::move(device);
    return OpenPort(pty.slavePath(), 4, 4096, outSize, 8, 1, kParityNone, 115200, options);
}

QByteArray randomBytes(int n) {
    QByteArray b(n, 0);
    for (auto& c : b) c = char(QRandomGenerator::global()->bounded(256));
    return b;
}

// A real pty whose modem lines and failures the test controls.
class FaultyDevice : public TtySerialDevice {
public:
    std::atomic<int> lines{kMsrCts | kMsrDsr};
    std::atomic<int> readError{0};
    std::atomic<int> writeError{0};
    int ReadModemLines(uint8_t* out) override {
        *out = uint8_t(lines.load());
        return 0;
    }
    ssize_t Read(uint8_t* b, size_t n) override {
        if (readError) return -readError;
        return TtySerialDevice::Read(b, n);
    }
    ssize_t Write(const uint8_t* b, size_t n) override {
        if (writeError) return -writeError;
        return TtySerialDevice::Write(b, n);
    }
};

// A port on a FaultyDevice with a Recorder attached.
struct FaultyPort {
    PtyPair pty;
    std::shared_ptr<FaultyDevice> device = std::make_shared<FaultyDevice>();
    Recorder rec;
    int h = openPty(pty, 4096, nullptr, device);
    FaultyPort() { AttachTriggerSink(h, rec.proc()); }
};

}  // namespace

TEST(Dispatcher, DataThroughBothRingsAt115200) {
    PtyPair pty;
    const int h = openPty(pty);
    ASSERT_GT(h, 0) << ErrorMessage(h).toStdString();
    int32_t baud;
    int parity, dataBits, stopBits;
    GetLineParams(h, &baud, &parity, &dataBits, &stopBits);
    EXPECT_EQ(baud, 115200);
    EXPECT_EQ(dataBits, 8);

    // Out: more than the 4096-byte transmit ring, in blocks the ring takes whole.
    const QByteArray out = randomBytes(64 * 1024);
    QByteArray got;
    for (int pos = 0; pos < out.size();) {
        const int n = std::min<int>(1000, int(out.size()) - pos);
        const int rc = SendBlock(h, out.constData() + pos, size_t(n));
        if (rc == ecOutputBufferTooSmall) {
            got += pty.read(1, 50);
            continue;
        }
        ASSERT_EQ(rc, 0);
        pos += n;
    }
    got += pty.read(int(out.size() - got.size()));
    EXPECT_EQ(got, out);

    // In: more than the 8192-byte receive ring; the reader keeps up.
    const QByteArray in = randomBytes(64 * 1024);
    QByteArray received;
    std::thread writer([&] { pty.write(in); });
    char buf[3000];
    while (received.size() < in.size()) {
        if (WaitForInput(h, 2000) == 0) break;
        const int n = TakeBlock(h, buf, sizeof buf);
        received.append(buf, n);
    }
    writer.join();
    EXPECT_EQ(received, in);
    EXPECT_FALSE(HasInput(h));
    EXPECT_EQ(TakeByte(h), ecBufferIsEmpty);
    EXPECT_EQ(PeekByte(h, 1), ecBufferIsEmpty);
    pty.write("abc");
    ASSERT_TRUE(waitUntil([&] { return InputCount(h) == 3; }));
    EXPECT_EQ(PeekByte(h, 3), 'c');
    EXPECT_EQ(TakeByte(h), 'a');
    EXPECT_EQ(DiscardInput(h), 0);
    EXPECT_EQ(InputCount(h), 0);
    EXPECT_EQ(ClosePort(h), 0);
    EXPECT_EQ(InputCount(h), ecBadHandle);
    EXPECT_EQ(ClosePort(h), ecBadHandle);
}

TEST(Dispatcher, FullTransmitRingRefusesABlockWhole) {
    PtyPair pty;  // nobody reads the master: the pty fills, then our ring
    const int h = openPty(pty, 1000);
    ASSERT_GT(h, 0);
    const QByteArray chunk(1000, 'x');
    ASSERT_TRUE(waitUntil([&] {
        const int space = OutputSpace(h);
        if (space > 0) SendBlock(h, chunk.constData(), size_t(space));
        return OutputSpace(h) == 0 && OutputCount(h) == 1000;
    }, 10000));
    EXPECT_EQ(SendByte(h, 'y'), ecOutputBufferTooSmall);
    EXPECT_EQ(SendBlock(h, chunk.constData(), 2), ecOutputBufferTooSmall);
    EXPECT_EQ(OutputCount(h), 1000);
    EXPECT_EQ(DiscardOutput(h), 0);
    EXPECT_EQ(OutputCount(h), 0);
    EXPECT_EQ(OutputSpace(h), 1000);
    ClosePort(h);
}

TEST(Dispatcher, AvailAndDataTriggersFireInOrderWithTheirData) {
    PtyPair pty;
    const int h = openPty(pty);
    ASSERT_GT(h, 0);
    Recorder rec;
    ASSERT_GT(AttachTriggerSink(h, rec.proc()), 0);
    const int match = NewDataTrigger(h, "abac", true);
    ASSERT_GE(match, 2);
    EXPECT_EQ(NewDataTrigger(h, QByteArray(65, 'x'), false), ecTriggerTooLong);

    // Hold dispatch while the bytes arrive, so they are checked in one pass.
    EXPECT_EQ(SetDispatchHold(h, true), 0);
    pty.write("xxABABACyy");
    ASSERT_TRUE(waitUntil([&] { return InputCount(h) == 10; }));
    EXPECT_EQ(rec.size(), 0u);
    EXPECT_EQ(SetDispatchHold(h, false), 1);
    ASSERT_TRUE(waitUntil([&] { return rec.size() == 3; }));
    EXPECT_EQ(rec.take(), (std::vector<Fired>{{kMsgTriggerAvail, 8, 0},
                                              {kMsgTriggerData, unsigned(match), 4},
                                              {kMsgTriggerAvail, 10, 0}}));
    // Unconsumed bytes come again in the next count; an avail level waits for enough new ones.
    EXPECT_EQ(SetAvailLevel(h, 3), 0);
    pty.write("12");
    QThread::msleep(100);
    EXPECT_EQ(rec.size(), 0u);
    pty.write("3");
    ASSERT_TRUE(waitUntil([&] { return rec.size() == 1; }));
    EXPECT_EQ(rec.take(), (std::vector<Fired>{{kMsgTriggerAvail, 13, 0}}));
    EXPECT_EQ(DropTrigger(h, kAvailTrigger), 0);
    EXPECT_EQ(GetAvailLevel(h), 0);
    pty.write("ABAC");
    ASSERT_TRUE(waitUntil([&] { return rec.size() == 1; }));
    EXPECT_EQ(rec.take(), (std::vector<Fired>{{kMsgTriggerData, unsigned(match), 4}}));
    ClosePort(h);
}

TEST(Dispatcher, TimersFollowTheInjectedClockInSlotOrder) {
    PtyPair pty;
    auto clock = std::make_shared<ManualTickClock>(1000 * 55);
    const int h = openPty(pty, 4096, clock);
    ASSERT_GT(h, 0);
    Recorder rec;
    AttachTriggerSink(h, rec.proc());
    const int a = NewTimerTrigger(h), b = NewTimerTrigger(h), c = NewTimerTrigger(h);
    ASSERT_EQ(ArmTimerTrigger(h, a, 5, true), 0);
    ArmTimerTrigger(h, b, 3, true);
    ArmTimerTrigger(h, c, 5, true);
    EXPECT_EQ(ArmTimerTrigger(h, 40, 5, true), ecBadTriggerHandle);
    EXPECT_EQ(PortTicks(h), 1000u);
    clock->AdvanceTicks(2);
    SyncTriggers(h);
    EXPECT_EQ(rec.size(), 0u);
    clock->AdvanceTicks(1);
    SyncTriggers(h);
    EXPECT_EQ(rec.take(), (std::vector<Fired>{{kMsgTriggerTimer, unsigned(b), 0}}));
    clock->AdvanceTicks(2);
    SyncTriggers(h);
    EXPECT_EQ(rec.take(), (std::vector<Fired>{{kMsgTriggerTimer, unsigned(a), 0}, {kMsgTriggerTimer, unsigned(c), 0}}));
    // A handler re-arming its timer with 0 keeps the length.
    std::atomic<int> rearmed{0};
    const int sink = AttachTriggerSink(h, [&](unsigned msg, unsigned w, uint32_t) {
        if (msg == kMsgTriggerTimer && int(w) == b && rearmed++ == 0) ArmTimerTrigger(h, b, 0, true);
    });
    ArmTimerTrigger(h, b, 0, true);
    clock->AdvanceTicks(3);
    SyncTriggers(h);
    clock->AdvanceTicks(3);
    SyncTriggers(h);
    EXPECT_EQ(rearmed.load(), 2);
    EXPECT_EQ(DetachTriggerSink(h, sink), 0);
    EXPECT_EQ(DetachTriggerSink(h, sink), ecBadArgument);
    ClosePort(h);
}

TEST(Dispatcher, TimerOnTheRealClockFiresWithoutBusyWaiting) {
    PtyPair pty;
    const int h = openPty(pty);
    ASSERT_GT(h, 0);
    Recorder rec;
    AttachTriggerSink(h, rec.proc());
    const int t = NewTimerTrigger(h);
    QElapsedTimer elapsed;
    elapsed.start();
    ArmTimerTrigger(h, t, 2, true);
    ASSERT_TRUE(waitUntil([&] { return rec.size() == 1; }));
    EXPECT_GE(elapsed.elapsed(), 55);  // at least one whole tick
    EXPECT_EQ(rec.take(), (std::vector<Fired>{{kMsgTriggerTimer, unsigned(t), 0}}));
    ClosePort(h);
}

TEST(Dispatcher, StatusTriggersForOutputModemLinesAndLineErrors) {
    FaultyPort port;
    auto& [pty, device, rec, h] = port;
    ASSERT_GT(h, 0);
    EXPECT_EQ(NewStatusTrigger(h, 6), ecBadArgument);
    const int sent = NewStatusTrigger(h, stOutSent), used = NewStatusTrigger(h, stOutUsed),
              freeT = NewStatusTrigger(h, stOutFree), modem = NewStatusTrigger(h, stModem);
    EXPECT_EQ(StatusTriggerType(h, modem), stModem);
    EXPECT_EQ(TriggerKind(h, sent), 4);

    ArmStatusTrigger(h, freeT, 4000, true);  // already true: fires at once with its level
    ASSERT_TRUE(waitUntil([&] { return rec.size() == 1; }));
    EXPECT_EQ(rec.take(), (std::vector<Fired>{{kMsgTriggerStatus, unsigned(freeT), 4000}}));

    ArmStatusTrigger(h, sent, 0, true);
    SyncTriggers(h);
    EXPECT_EQ(rec.size(), 0u);  // nothing was sent since it was armed
    SendText(h, "ATZ\r");
    ASSERT_TRUE(waitUntil([&] { return rec.size() == 1; }));
    EXPECT_EQ(rec.take(), (std::vector<Fired>{{kMsgTriggerStatus, unsigned(sent), 0}}));
    EXPECT_EQ(pty.read(4), "ATZ\r");
    ArmStatusTrigger(h, used, 2, true);
    ASSERT_TRUE(waitUntil([&] { return rec.size() == 1; }));
    EXPECT_EQ(rec.take(), (std::vector<Fired>{{kMsgTriggerStatus, unsigned(used), 2}}));

    // Carrier comes up: the modem-status trigger fires, the MSR shows DCD with its delta bit.
    EXPECT_EQ(CarrierPresent(h), 0);
    ArmStatusTrigger(h, modem, kMsrDcd, true);
    device->lines = kMsrCts | kMsrDsr | kMsrDcd;
    ASSERT_TRUE(waitUntil([&] { return rec.size() == 1; }));
    EXPECT_EQ(rec.take(), (std::vector<Fired>{{kMsgTriggerStatus, unsigned(modem), 0}}));
    EXPECT_EQ(CarrierPresent(h), 1);
    device->lines = kMsrCts | kMsrDsr;
    EXPECT_EQ(ReadModemStatus(h), kMsrCts | kMsrDsr | kMsrDeltaDcd);
    EXPECT_EQ(ReadModemStatus(h), kMsrCts | kMsrDsr);

    // A write error: the device is gone, the line-error trigger fires, sending fails.
    const int line = NewStatusTrigger(h, stLine);
    ArmStatusTrigger(h, line, kLsOverrun, true);
    device->writeError = EIO;
    SendText(h, "AT\r");
    ASSERT_TRUE(waitUntil([&] { return rec.size() >= 1; }));
    EXPECT_EQ(rec.take().front(), (Fired{kMsgTriggerStatus, unsigned(line), 0}));
    EXPECT_TRUE(DeviceLost(h));
    EXPECT_EQ(ReadLineErrors(h), kLineDeviceLost);
    EXPECT_EQ(SendText(h, "AT\r"), ecPutBlockFail);
    EXPECT_EQ(OutputCount(h), 0);
    EXPECT_EQ(ClosePort(h), 0);
}

TEST(Dispatcher, HangUpAndUnplugBecomeALineErrorAndAQuickClose) {
    for (int variant = 0; variant < 2; ++variant) {
        FaultyPort port;
        auto& [pty, device, rec, h] = port;
        ASSERT_GT(h, 0);
        const int line = NewStatusTrigger(h, stLine);
        ArmStatusTrigger(h, line, 0, true);
        const int timer = NewTimerTrigger(h);
        if (variant == 0) {
            pty.hangUp();  // the far side closes: POLLHUP and EIO
        } else {
            device->readError = ENXIO;  // a USB adapter pulled out
            pty.write("x");
        }
        ASSERT_TRUE(waitUntil([&] { return rec.size() == 1; }));
        EXPECT_EQ(rec.take(), (std::vector<Fired>{{kMsgTriggerStatus, unsigned(line), 0}}));
        EXPECT_EQ(WaitForInput(h, 5000), 0);  // returns at once
        // Timers still run, so a state machine can time out and finish.
        ArmTimerTrigger(h, timer, 1, true);
        ASSERT_TRUE(waitUntil([&] { return rec.size() == 1; }));
        QElapsedTimer closing;
        closing.start();
        EXPECT_EQ(ClosePort(h), 0);
        EXPECT_LT(closing.elapsed(), 200);
        EXPECT_FALSE(PortIsOpen(h));
    }
}

TEST(Dispatcher, CloseFromInsideAHandlerHappensAfterItReturns) {
    PtyPair pty;
    const int h = openPty(pty);
    ASSERT_GT(h, 0);
    std::atomic<int> afterClose{-99};
    std::atomic<bool> done{false};
    AttachTriggerSink(h, [&](unsigned msg, unsigned, uint32_t) {
        if (msg != kMsgTriggerAvail || done) return;
        EXPECT_EQ(ClosePort(h), 0);
        afterClose = InputCount(h);  // still open until the handler returns
        done = true;
    });
    pty.write("RING\r\n");
    ASSERT_TRUE(waitUntil([&] { return done && !PortIsOpen(h); }));
    EXPECT_EQ(afterClose.load(), 6);
}

TEST(Dispatcher, PostAndCallRunOnTheIoThread) {
    PtyPair pty;
    const int h = openPty(pty);
    ASSERT_GT(h, 0);
    EXPECT_FALSE(OnPortThread(h));
    std::atomic<bool> onThread{false};
    EXPECT_EQ(CallOnPort(h, [&] { onThread = OnPortThread(h); }), 0);
    EXPECT_TRUE(onThread.load());
    std::atomic<int> posted{0};
    EXPECT_EQ(PostToPort(h, [&] { posted = OnPortThread(h) ? 1 : 2; }), 0);
    ASSERT_TRUE(waitUntil([&] { return posted != 0; }));
    EXPECT_EQ(posted.load(), 1);
    // A handler that blocks the I/O thread keeps SetDispatchHold waiting until it returns.
    std::atomic<bool> inHandler{false}, release{false};
    AttachTriggerSink(h, [&](unsigned, unsigned, uint32_t) {
        inHandler = true;
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    pty.write("x");
    ASSERT_TRUE(waitUntil([&] { return inHandler.load(); }));
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        release = true;
    });
    QElapsedTimer held;
    held.start();
    EXPECT_EQ(SetDispatchHold(h, true), 0);
    EXPECT_GE(held.elapsed(), 40);
    releaser.join();
    EXPECT_EQ(SetDispatchHold(h, false), 1);
    // A caller on the main thread only waits: its own queued events (a window
    // handler that might delete what the caller is using) run after the call.
    bool handlerRan = false, ranDuringCall = true;
    QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { handlerRan = true; }, Qt::QueuedConnection);
    EXPECT_EQ(CallOnPort(h, [] {}), 0);
    ranDuringCall = handlerRan;
    ASSERT_TRUE(waitUntil([&] { return handlerRan; }));
    EXPECT_FALSE(ranDuringCall);
    ClosePort(h);
    EXPECT_EQ(PostToPort(h, [] {}), ecBadHandle);
    EXPECT_EQ(CallOnPort(h, [] {}), ecBadHandle);
}

TEST(Dispatcher, UserSlotsBusyFlagAndLineParams) {
    PtyPair pty;
    const int h = openPty(pty);
    ASSERT_GT(h, 0);
    int session = 7;
    EXPECT_EQ(ParkClientData(h, 2, &session), 0);
    void* back = nullptr;
    EXPECT_EQ(FetchClientData(h, 2, &back), 0);
    EXPECT_EQ(back, &session);
    EXPECT_EQ(ParkClientData(h, 11, &session), ecBadArgument);
    EXPECT_EQ(FetchClientData(h, 0, &back), ecBadArgument);
    EXPECT_EQ(IsBusy(h), 0);
    SetBusy(h, true);
    EXPECT_EQ(IsBusy(h), 1);
    EXPECT_EQ(SetLineParams(h, 19200, kNoChangeParity, 7, 0), 0);
    int32_t baud;
    int parity, dataBits, stopBits;
    GetLineParams(h, &baud, &parity, &dataBits, &stopBits);
    EXPECT_EQ(baud, 19200);
    EXPECT_EQ(parity, kParityNone);
    EXPECT_EQ(dataBits, 7);
    EXPECT_EQ(stopBits, 1);  // 0 counts as 1
    EXPECT_EQ(SetLineParams(h, 12345, kNoChangeParity, kNoChangeDataBits, kNoChangeStopBits), ecNotSupported);
    EXPECT_EQ(SetLineParams(h, kNoChangeBaud, kParityEven, kNoChangeDataBits, 5), 0);
    GetLineParams(h, &baud, &parity, &dataBits, &stopBits);
    EXPECT_EQ(baud, 19200);
    EXPECT_EQ(parity, kParityEven);
    EXPECT_EQ(stopBits, 2);  // above 2 counts as 2
    EXPECT_EQ(SetHardwareFlow(h, 7372, 819, kHwfUseRTS | kHwfRequireCTS), 0);
    LineSettings line = CurrentLineSettings(h);
    EXPECT_TRUE(line.rtsHandshake && line.outxCtsFlow);
    EXPECT_EQ(line.xoffLim, 0);  // BufferFull above InSize leaves no room
    EXPECT_EQ(SetSoftwareFlow(h, 3072, 1024, kSwfBoth), 0);
    line = CurrentLineSettings(h);
    EXPECT_TRUE(line.inX && line.outX);
    EXPECT_EQ(line.xoffLim, 1024);
    EXPECT_EQ(line.xonLim, 1024);
    EXPECT_EQ(SetXonXoffChars(h, 0x11, 0x13), 0);
    EXPECT_EQ(SetModemLines(h, false, true), 0);  // a pty has no lines; no error
    PtyPair other;
    EXPECT_EQ(OpenPort(other.slavePath(), 4, 4096, 4096, 8, 1, 0, 12345), ecBaudRate);
    EXPECT_EQ(OpenPort(other.slavePath(), 4, 4096, 4096, 9, 1, 0, 19200), ecByteSize);
    int full = 0, resume = 0;
    DefaultFlowLimits(true, true, 8192, &full, &resume);
    EXPECT_EQ(full, 7372);
    EXPECT_EQ(resume, 819);
    full = resume = 0;
    DefaultFlowLimits(false, true, 8192, &full, &resume);
    EXPECT_EQ(full, 6144);
    EXPECT_EQ(resume, 2048);
    ClosePort(h);
}

TEST(Dispatcher, OpenErrorsExclusiveUseAndThePortTable) {
    EXPECT_EQ(OpenPort("/dev/no-such-tty", 4, 4096, 4096, 8, 1, 0, 19200), ecBadId);
    EXPECT_EQ(OpenPort("/dev/null", 4, 4096, 4096, 8, 1, 0, 19200), ecBadId);  // not a serial device
    EXPECT_EQ(SendByte(0, 'x'), ecBadHandle);
    EXPECT_EQ(SendByte(51, 'x'), ecBadHandle);

    std::vector<std::unique_ptr<PtyPair>> ptys;
    std::vector<int> handles;
    for (int i = 0; i < kMaxPorts; ++i) {
        ptys.push_back(std::make_unique<PtyPair>());
        const int h = openPty(*ptys.back());
        ASSERT_GT(h, 0) << i;
        handles.push_back(h);
    }
    EXPECT_EQ(*std::max_element(handles.begin(), handles.end()), kMaxPorts);
    PtyPair extra;
    EXPECT_EQ(openPty(extra), ecNoHandles);
    ClosePort(handles[0]);

    // The port is ours alone: a second open, here or in another program, is refused.
    EXPECT_EQ(openPty(*ptys[1]), ecAlreadyOpen);
    const pid_t child = fork();
    if (child == 0) {
        TtySerialDevice other;
        _exit(other.Open(ptys[1]->slavePath()) == ecAlreadyOpen ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (size_t i = 1; i < handles.size(); ++i) ClosePort(handles[i]);
    // Closed, it can be opened again.
    const int again = openPty(*ptys[1]);
    EXPECT_GT(again, 0);
    ClosePort(again);
}

TEST(Dispatcher, PermissionDeniedNamesTheDialoutGroup) {
    PtyPair pty;
    const QByteArray path = pty.slavePath().toLocal8Bit();
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    if (child == 0) {
        // As a user without rights to the device (root drops to "nobody").
        if (geteuid() == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
        } else {
            chmod(path.constData(), 0);
        }
        TtySerialDevice device;
        const int rc = device.Open(QString::fromLocal8Bit(path));
        if (write(pipeFds[1], &rc, sizeof rc) != sizeof rc) _exit(3);
        _exit(0);
    }
    close(pipeFds[1]);
    int rc = 0;
    ASSERT_EQ(read(pipeFds[0], &rc, sizeof rc), ssize_t(sizeof rc));
    close(pipeFds[0]);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(rc, ecPermissionDenied);
    EXPECT_TRUE(ErrorMessage(rc).contains("dialout group"));
    EXPECT_NE(ErrorMessage(rc), ErrorMessage(ecAlreadyOpen));
    EXPECT_EQ(SerialOpenErrorCode(EACCES), ecPermissionDenied);
    EXPECT_EQ(SerialOpenErrorCode(EBUSY), ecAlreadyOpen);
    EXPECT_EQ(SerialOpenErrorCode(ENOENT), ecBadId);
    EXPECT_EQ(SerialOpenErrorCode(ENXIO), ecBadId);
}

TEST(Dispatcher, TraceAndLogFilesByteForByte) {
    orv::test::TempHome home;
    PtyPair pty;
    auto clock = std::make_shared<ManualTickClock>(0);
    const int h = openPty(pty, 4096, clock);
    ASSERT_GT(h, 0);
    EXPECT_EQ(CreateTrace(h, 32761), ecBadArgument);
    EXPECT_EQ(WriteTraceFile(h, home.file("X.TRC"), false, true), ecTracingNotEnabled);
    EXPECT_EQ(PauseDispatchLog(h), ecLoggingNotEnabled);
    ASSERT_EQ(CreateTrace(h, 100), 0);
    ASSERT_EQ(CreateDispatchLog(h, 10000), 0);
    CallOnPort(h, [] {});  // the I/O thread is past its first poll set-up: it logs "sleep" next
    Recorder rec;
    AttachTriggerSink(h, rec.proc());

    SendText(h, "AT\r");
    EXPECT_EQ(pty.read(3), "AT\r");
    pty.write("OK\r\n");
    ASSERT_TRUE(waitUntil([&] { return rec.size() == 1; }));
    CallOnPort(h, [h] { PauseDispatchLog(h); });
    char buf[8];
    EXPECT_EQ(TakeBlock(h, buf, sizeof buf), 4);
    PauseTrace(h);
    SendText(h, "not traced");
    ResumeTrace(h);
    SendByte(h, ' ');

    ASSERT_EQ(WriteTraceFile(h, home.file("ORV2.TRC"), false, true), 0);
    EXPECT_EQ(home.read("ORV2.TRC"), "Transmit: AT[0D]\n\nReceive: OK[0D][0A]\n\nTransmit: [20]\n");
    EXPECT_EQ(ResetTrace(h), ecTracingNotEnabled);  // the dump freed the buffer
    ASSERT_EQ(WriteDispatchLog(h, home.file("ORV2.LOG"), false, true), 0);
    EXPECT_EQ(home.read("ORV2.LOG"), QByteArray("Time      Type      SubType       Data  OtherData\n"
                                                "----      ----      -------       ----  ---------\n"
                                                "00000000  thread    sleep         FFFF  \n"
                                                "00000000  thread    wake          0000  \n"
                                                "00000000  dispatch  writecom      0003  AT[0D]\n"
                                                "00000000  thread    sleep         FFFF  \n"
                                                "00000000  thread    wake          0000  \n"
                                                "00000000  dispatch  readcom       0004  OK[0D][0A]\n"
                                                "00000000  trigger   avail         0004  \n"
                                                "00000000  thread    sleep         FFFF  \n"));
    // Appending adds to the file; the decimal rendering differs.
    CreateTrace(h, 10);
    SendText(h, "\r");
    ASSERT_EQ(WriteTraceFile(h, home.file("ORV2.TRC"), true, false), 0);
    EXPECT_TRUE(home.read("ORV2.TRC").endsWith("Transmit: [20]\nTransmit: [13]\n"));
    ClosePort(h);
}

TEST(Dispatcher, WindowHandlersRunOnTheirThreadAndTimeOutAfterOneSecond) {
    PtyPair pty;
    const int h = openPty(pty);
    ASSERT_GT(h, 0);
    QObject window;  // lives on this (the main) thread
    std::atomic<int> windowCalls{0};
    std::atomic<bool> windowOnMain{true};
    AttachTriggerSink(h, &window, [&](unsigned msg, unsigned, uint32_t) {
        if (msg != kMsgTriggerAvail) return;
        windowOnMain = windowOnMain && QThread::currentThread() == window.thread();
        ++windowCalls;
    });
    QElapsedTimer since;
    std::atomic<qint64> procAt{-1};
    AttachTriggerSink(h, [&](unsigned msg, unsigned, uint32_t) {
        if (msg == kMsgTriggerAvail && procAt < 0) procAt = since.elapsed();
    });

    // The main thread is busy: the I/O thread waits one second for the window, then goes on.
    since.start();
    pty.write("x");
    QThread::msleep(2500);
    EXPECT_GE(procAt.load(), 900);
    EXPECT_LT(procAt.load(), 2500);
    EXPECT_EQ(windowCalls.load(), 0);
    ASSERT_TRUE(waitUntil([&] { return windowCalls == 1; }));  // delivered late, not lost
    EXPECT_TRUE(windowOnMain.load());

    // Waiting for the I/O thread from the main thread keeps window deliveries going.
    TakeByte(h);
    pty.write("y");
    ASSERT_TRUE(waitUntil([&] { return InputCount(h) == 1; }));
    QElapsedTimer call;
    call.start();
    std::atomic<bool> ran{false};
    EXPECT_EQ(CallOnPort(h, [&] { ran = true; }), 0);
    EXPECT_TRUE(ran.load());
    EXPECT_LT(call.elapsed(), 900);
    ClosePort(h);
}

TEST(Dispatcher, DrainOutputWritesWhileAHandlerOnTheIoThreadWaits) {
    PtyPair pty;
    const int h = openPty(pty);
    ASSERT_GT(h, 0);
    std::atomic<bool> seenBeforeReturn{false};
    std::atomic<int> left{-1};
    std::atomic<bool> handlerDone{false};
    AttachTriggerSink(h, [&](unsigned msg, unsigned, uint32_t) {
        if (msg != kMsgTriggerAvail) return;
        while (TakeByte(h) >= 0) {
        }
        // "+++" must be on the line before the handler pauses and goes on.
        SendText(h, "+++");
        left = DrainOutput(h, 1000);
        seenBeforeReturn = pty.read(3, 1000) == "+++";
        SendText(h, "ATH0\r");
        handlerDone = true;
    });
    pty.write("x");
    // Only the handler reads the pseudo-terminal until it is done: two readers
    // at once would race for the "+++".
    ASSERT_TRUE(waitUntil([&] { return handlerDone.load(); }));
    EXPECT_EQ(left.load(), 0);
    EXPECT_EQ(pty.read(5), "ATH0\r");
    EXPECT_TRUE(seenBeforeReturn.load());
    // From another thread it waits for the I/O thread.
    SendText(h, "AT\r");
    EXPECT_EQ(DrainOutput(h, 1000), 0);
    EXPECT_EQ(OutputCount(h), 0);
    EXPECT_EQ(DrainOutput(99, 10), ecBadHandle);
    ClosePort(h);
}

TEST(Dispatcher, APauseBeforeATextHoldsItBackWhileTheIoThreadGoesOn) {
    PtyPair pty;
    const int h = openPty(pty);
    ASSERT_GT(h, 0);
    // What was queued before the pause goes out at once; the text waits.
    ASSERT_EQ(SendText(h, "ATZ\r"), 0);
    ASSERT_EQ(SendTextAfterPause(h, "AT+FCLASS=?\r", 60000), 0);
    EXPECT_EQ(pty.read(4), "ATZ\r");
    // The I/O thread is not asleep in the pause: calls and handlers run.
    bool ran = false;
    EXPECT_EQ(CallOnPort(h, [&] { ran = true; }), 0);
    EXPECT_TRUE(ran);
    std::atomic<int> fromHandler{1};
    ASSERT_EQ(PostToPort(h, [&] { fromHandler = SendTextAfterPause(h, "ATH\r", 60000); }), 0);
    ASSERT_TRUE(waitUntil([&] { return fromHandler.load() != 1; }));
    EXPECT_EQ(fromHandler.load(), 0);
    EXPECT_EQ(OutputCount(h), 16);    // both held, in their order
    EXPECT_EQ(pty.read(1, 300), "");  // nothing of them on the line
    // Discarding the output drops the pauses with their bytes.
    EXPECT_EQ(DiscardOutput(h), 0);
    EXPECT_EQ(SendText(h, "AT\r"), 0);
    EXPECT_EQ(pty.read(3), "AT\r");

    // A short pause: the text comes no sooner than the pause after what went before.
    QElapsedTimer sinceQueued;
    sinceQueued.start();
    ASSERT_EQ(SendTextAfterPause(h, "ATE0\r", 150), 0);
    ASSERT_EQ(SendText(h, "ATV1\r"), 0);  // follows the held text
    EXPECT_EQ(pty.read(10), "ATE0\rATV1\r");
    EXPECT_GE(sinceQueued.elapsed(), 150);
    // Draining waits for held output, from another thread and on the I/O thread itself.
    ASSERT_EQ(SendTextAfterPause(h, "B", 100), 0);
    EXPECT_EQ(DrainOutput(h, 10000), 0);
    EXPECT_EQ(pty.read(1), "B");
    int left = -1;
    EXPECT_EQ(CallOnPort(h, [&] {
                  SendTextAfterPause(h, "C", 100);
                  left = DrainOutput(h, 10000);
              }),
              0);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(pty.read(1), "C");
    EXPECT_EQ(SendTextAfterPause(99, "x", 10), ecBadHandle);
    ClosePort(h);
}
