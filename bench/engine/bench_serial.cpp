// Throughput of the serial port layer through a pseudo-terminal pair, with a
// data-match trigger armed, and the CPU time an idle open port costs.
//
// A pseudo-terminal does not pace bytes at the baud rate, so the figures are
// the layer's own overhead: a real line at 115200 baud carries 11.5 KB/s.
#include "engine/dispatcher.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace orv;

namespace {

constexpr size_t kMegabyte = 1024 * 1024;

struct Pty {
    int master = -1;
    QString slave;
    Pty() {
        int s;
        char name[256];
        if (openpty(&master, &s, name, nullptr, nullptr) != 0) std::abort();
        termios t{};
        tcgetattr(s, &t);
        cfmakeraw(&t);
        tcsetattr(s, TCSANOW, &t);
        close(s);
        slave = QString::fromLocal8Bit(name);
    }
    ~Pty() { close(master); }
};

double cpuMs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// The CPU clock of the port's I/O thread.
clockid_t ioThreadClock(int port) {
    pthread_t thread{};
    CallOnPort(port, [&] { thread = pthread_self(); });
    clockid_t clock{};
    pthread_getcpuclockid(thread, &clock);
    return clock;
}

int openPort(const Pty& pty, const PortOptions& options = {}) {
    const int h = OpenPort(pty.slave, 4, 8192, 8192, 8, 1, kParityNone, 115200, options);
    if (h < 0) std::abort();
    return h;
}

// 1 MB from the far end into the port; a procedure handler on the I/O thread
// takes the bytes on each avail trigger, as the fax engine does, while a
// data-match trigger for "NO CARRIER" watches every byte.
void BM_ReceiveWithDataTrigger(benchmark::State& state) {
    Pty pty;
    const int h = openPort(pty);
    NewDataTrigger(h, "NO CARRIER", true);
    std::mutex mutex;
    std::condition_variable cv;
    size_t received = 0;
    int matches = 0;
    AttachTriggerSink(h, [&](unsigned msg, unsigned, uint32_t) {
        static thread_local uint8_t buf[8192];
        std::lock_guard lock(mutex);
        if (msg == kMsgTriggerData) ++matches;
        if (msg == kMsgTriggerAvail) received += size_t(TakeBlock(h, buf, sizeof buf));
        cv.notify_all();
    });
    std::vector<char> data(kMegabyte, 'x');
    std::memcpy(data.data() + data.size() - 12, "NO CARRIER\r\n", 12);
    const clockid_t io = ioThreadClock(h);
    double ioCpu = 0, processCpu = 0;
    for (auto _ : state) {
        {
            std::lock_guard lock(mutex);
            received = 0;
            matches = 0;
        }
        const double io0 = cpuMs(io), p0 = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
        std::thread writer([&] {
            size_t off = 0;
            while (off < data.size()) {
                const ssize_t n = write(pty.master, data.data() + off, std::min<size_t>(4096, data.size() - off));
                if (n > 0) off += size_t(n);
            }
        });
        {
            std::unique_lock lock(mutex);
            cv.wait(lock, [&] { return received >= data.size() && matches == 1; });
        }
        writer.join();
        ioCpu += cpuMs(io) - io0;
        processCpu += cpuMs(CLOCK_PROCESS_CPUTIME_ID) - p0;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kMegabyte));
    state.counters["io_thread_cpu_ms_per_MB"] = ioCpu / double(state.iterations());
    state.counters["process_cpu_ms_per_MB"] = processCpu / double(state.iterations());
    ClosePort(h);
}
BENCHMARK(BM_ReceiveWithDataTrigger)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// 1 MB from the port to the far end through the 8192-byte transmit ring, paced
// by an output-free status trigger as the fax engine paces page data.
void BM_Transmit(benchmark::State& state) {
    Pty pty;
    const int h = openPort(pty);
    const int outFree = NewStatusTrigger(h, stOutFree);
    std::mutex mutex;
    std::condition_variable cv;
    bool room = false;
    AttachTriggerSink(h, [&](unsigned msg, unsigned w, uint32_t) {
        if (msg != kMsgTriggerStatus || int(w) != outFree) return;
        std::lock_guard lock(mutex);
        room = true;
        cv.notify_all();
    });
    std::vector<char> data(kMegabyte, 'y');
    const clockid_t io = ioThreadClock(h);
    double ioCpu = 0;
    for (auto _ : state) {
        const double io0 = cpuMs(io);
        std::thread reader([&] {
            std::vector<char> buf(65536);
            size_t got = 0;
            while (got < data.size()) {
                const ssize_t n = read(pty.master, buf.data(), buf.size());
                if (n > 0) got += size_t(n);
            }
        });
        size_t off = 0;
        while (off < data.size()) {
            const size_t n = std::min(size_t(OutputSpace(h)), data.size() - off);
            if (n >= 4096 || n == data.size() - off) {
                if (SendBlock(h, data.data() + off, n) == 0) off += n;
                continue;
            }
            std::unique_lock lock(mutex);
            room = false;
            lock.unlock();
            ArmStatusTrigger(h, outFree, 4096, true);
            lock.lock();
            cv.wait(lock, [&] { return room; });
        }
        reader.join();
        ioCpu += cpuMs(io) - io0;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kMegabyte));
    state.counters["io_thread_cpu_ms_per_MB"] = ioCpu / double(state.iterations());
    ClosePort(h);
}
BENCHMARK(BM_Transmit)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// A device whose modem lines can be read, so an armed modem-status trigger polls them.
class LinesDevice : public TtySerialDevice {
public:
    int ReadModemLines(uint8_t* lines) override {
        *lines = kMsrCts | kMsrDsr;
        return 0;
    }
};

// CPU used over 10 s by an open port with nothing to do: avail trigger and an
// unexpired timer armed (arg 0), plus a modem-status trigger as a fax session
// arms it, which polls the lines every tick (arg 1).
void BM_IdleOpenPort10s(benchmark::State& state) {
    Pty pty;
    PortOptions options;
    if (state.range(0) == 1) options.device = std::make_shared<LinesDevice>();
    const int h = openPort(pty, options);
    AttachTriggerSink(h, [](unsigned, unsigned, uint32_t) {});
    const int timer = NewTimerTrigger(h);
    ArmTimerTrigger(h, timer, SecsToTicks(60), true);
    if (state.range(0) == 1) {
        const int modem = NewStatusTrigger(h, stModem);
        ArmStatusTrigger(h, modem, kMsrDcd, true);
    }
    const clockid_t io = ioThreadClock(h);
    double ioCpu = 0, processCpu = 0;
    for (auto _ : state) {
        const double io0 = cpuMs(io), p0 = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
        std::this_thread::sleep_for(std::chrono::seconds(10));
        ioCpu += cpuMs(io) - io0;
        processCpu += cpuMs(CLOCK_PROCESS_CPUTIME_ID) - p0;
    }
    state.counters["io_thread_cpu_ms"] = ioCpu / double(state.iterations());
    state.counters["process_cpu_ms"] = processCpu / double(state.iterations());
    ClosePort(h);
}
BENCHMARK(BM_IdleOpenPort10s)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
