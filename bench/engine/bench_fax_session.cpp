// Faxes over the simulated line: our engine against efax, the same pages
// through the same modemsim modem (line at 4x real time): one page in
// Class 2, and one and three pages in Class 1 (our T.30 against efax -o1),
// both sides at up to 14400 bit/s.
//
//   wall_ours, wall_efax   seconds from start to the session's end
//   wall_ratio             wall_ours / wall_efax (below 1: we are faster)
//   cpu_ours_ms            CPU time of this process for the session (all threads)
//   cpu_efax_ms            CPU time of the efax process
//
// The page is made once by efax's own converter (efix) and converted to APF
// with our converter, so both programs send the same pixels. Neither adds a
// header line. Needs efax, efix and tiffcp (scripts/packages), and modemsim.
#include "engine/dispatcher.h"
#include "engine/fax_sender.h"
#include "images/apf_file.h"
#include "images/fax_converter.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orv;

namespace {

double cpuMs(const rusage& r) {
    return (double(r.ru_utime.tv_sec) + double(r.ru_stime.tv_sec)) * 1e3 +
           (double(r.ru_utime.tv_usec) + double(r.ru_stime.tv_usec)) / 1e3;
}

double selfCpuMs() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return cpuMs(r);
}

// modemsim with one modem, for the whole benchmark.
struct Simulator {
    QTemporaryDir dir;
    QProcess process;
    QString port;
    QString error;

    bool start() {
        port = dir.filePath("ttyFAX1");
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(QStringLiteral(ORVANE_BIN_DIR "/modemsim"),
                      {"--speed", "4", "--receive-dir", dir.path(), port});
        if (!process.waitForStarted(5000)) return false;
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (!out.contains("READY") && t.elapsed() < 10000) {
            process.waitForReadyRead(200);
            out += process.readAllStandardOutput();
        }
        return out.contains("READY");
    }
    // Waits for the terminal's report of the fax it received.
    bool received(int timeoutMs) {
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            out += process.readAllStandardOutput();
            if (out.contains("RECEIVED")) return out.contains("status=0");
            process.waitForReadyRead(200);
        }
        return false;
    }
    ~Simulator() {
        process.terminate();
        if (!process.waitForFinished(5000)) process.kill();
    }
};

struct Document {
    QTemporaryDir dir;
    QString tiff, apf, apf3;
    bool make() {
        const QString txt = dir.filePath("page.txt");
        QFile f(txt);
        if (!f.open(QIODevice::WriteOnly)) return false;
        for (int l = 1; l <= 60; ++l)
            f.write(QStringLiteral("Line %1: the quick brown fox jumps over the lazy dog, 0123456789 %2\n")
                        .arg(l).arg(l * 7919 % 1000).toLatin1());
        f.close();
        tiff = dir.filePath("page.tif");
        const QString raw = dir.filePath("raw.tif");
        if (QProcess::execute("efix", {"-itext", "-otiffg3", "-n", tiff, txt}) != 0) return false;
        if (QProcess::execute("tiffcp", {"-c", "none", tiff, raw}) != 0) return false;
        TOrvFaxConverter cvt;
        cvt.setInputDocumentType(idTiff);
        cvt.setOptions(0);
        cvt.setLeftMargin(0);
        cvt.setResolution(frHigh);
        cvt.setDocumentFile(raw);
        apf = dir.filePath("page.apf");
        cvt.setOutFileName(apf);
        if (cvt.convert() != 0) return false;
        apf3 = dir.filePath("pages3.apf");
        if (!QFile::copy(apf, apf3)) return false;
        return AppendApfFile(apf3, apf) == 0 && AppendApfFile(apf3, apf) == 0;
    }
};

class Events : public FaxEvents {
public:
    QString file;
    bool FaxNext(QByteArray& phone, QString& fax, QString&) override {
        if (given_) return false;
        given_ = true;
        phone = "5551234";
        fax = file;
        return true;
    }
    void FaxFinish(int code, const FaxProgress&) override {
        std::lock_guard lock(mutex_);
        code_ = code;
        done_ = true;
        cv_.notify_all();
    }
    int wait() {
        std::unique_lock lock(mutex_);
        cv_.wait_for(lock, std::chrono::seconds(120), [&] { return done_; });
        return done_ ? code_ : -1;
    }

private:
    bool given_ = false;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    int code_ = 0;
};

// Our engine: wall seconds and CPU ms, or a negative wall time on failure.
std::pair<double, double> sendOurs(const QString& port, const QString& apf, TFaxClass faxClass) {
    const int h = OpenPort(port, 4, 8192, 8192, 8, 1, kParityNone, 19200);
    if (h < 0) return {-1, 0};
    FaxSendSession s;
    s.port = h;
    s.faxClass = faxClass;
    s.desiredBps = 14400;
    Events events;
    events.file = apf;
    const double cpu0 = selfCpuMs();
    QElapsedTimer t;
    t.start();
    int code;
    {
        FaxSender sender(s, events);
        sender.Start();
        code = events.wait();
    }
    const double wall = double(t.nsecsElapsed()) / 1e9;
    const double cpu = selfCpuMs() - cpu0;
    ClosePort(h);
    return {code == 0 ? wall : -1, cpu};
}

// efax in its own process: wall seconds and its CPU ms.
std::pair<double, double> sendEfax(const QString& port, const QString& tiff, int pages, const char* classOption) {
    QElapsedTimer t;
    t.start();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 1);
        dup2(null, 2);
        const QByteArray p = port.toLocal8Bit(), f = tiff.toLocal8Bit();
        const char* files[3] = {f.constData(), pages > 1 ? f.constData() : nullptr, pages > 2 ? f.constData() : nullptr};
        execlp("efax", "efax", "-d", p.constData(), classOption, "-h", "", "-t", "5551234", files[0], files[1], files[2],
               nullptr);
        _exit(127);
    }
    int status = 0;
    rusage r{};
    wait4(pid, &status, 0, &r);
    const double wall = double(t.nsecsElapsed()) / 1e9;
    const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return {ok ? wall : -1, cpuMs(r)};
}

// state.range(0): 2 Class 2, 1 Class 1; state.range(1): pages (1 or 3).
void BM_FaxOursVersusEfax(benchmark::State& state) {
    const bool class1 = state.range(0) == 1;
    const int pages = int(state.range(1));
    Document doc;
    if (!doc.make()) {
        state.SkipWithError("could not make the page (efix, tiffcp, converter)");
        return;
    }
    Simulator sim;
    if (!sim.start()) {
        state.SkipWithError("modemsim did not start");
        return;
    }
    double oursWall = 0, efaxWall = 0, oursCpu = 0, efaxCpu = 0;
    int runs = 0;
    for (auto _ : state) {
        const auto [ow, oc] = sendOurs(sim.port, pages == 3 ? doc.apf3 : doc.apf, class1 ? fcClass1 : fcClass2);
        if (ow < 0 || !sim.received(30000)) {
            state.SkipWithError("our fax did not go through");
            return;
        }
        const auto [ew, ec] = sendEfax(sim.port, doc.tiff, pages, class1 ? "-o1" : "-o2");
        if (ew < 0 || !sim.received(30000)) {
            state.SkipWithError("efax's fax did not go through");
            return;
        }
        state.SetIterationTime(ow);
        oursWall += ow;
        oursCpu += oc;
        efaxWall += ew;
        efaxCpu += ec;
        ++runs;
    }
    if (runs == 0) return;
    state.counters["wall_ours"] = oursWall / runs;
    state.counters["wall_efax"] = efaxWall / runs;
    state.counters["wall_ratio"] = oursWall / efaxWall;
    state.counters["cpu_ours_ms"] = oursCpu / runs;
    state.counters["cpu_efax_ms"] = efaxCpu / runs;
}
BENCHMARK(BM_FaxOursVersusEfax)
    ->ArgNames({"class", "pages"})
    ->Args({2, 1})
    ->Args({1, 1})
    ->Args({1, 3})
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
