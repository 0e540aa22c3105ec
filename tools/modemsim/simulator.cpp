#include "simulator.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace orv::modemsim {

namespace {

volatile sig_atomic_t gStopSignal = 0;
int gSignalPipe[2] = {-1, -1};

void onSignal(int) {
    gStopSignal = 1;
    if (gSignalPipe[1] >= 0) {
        char c = 1;
        [[maybe_unused]] ssize_t n = ::write(gSignalPipe[1], &c, 1);
    }
}

// Timing of call set-up, in simulated time.
constexpr int64_t kDialTime = msToSamples(1500);     // dialling until the far end rings
constexpr int64_t kRingPeriod = msToSamples(6000);   // RING every 6 s
constexpr int64_t kTerminalAnswer = msToSamples(2000); // the terminal answers after one ring
constexpr int64_t kFaultTime = msToSamples(3000);    // BUSY, NO DIALTONE ... arrive after this
constexpr int64_t kHangupDelay = msToSamples(300);   // until the other end notices a hang-up

}  // namespace

Simulator::Simulator(Options options) : options_(std::move(options)) { scheduled_ = options_.calls; }

Simulator::~Simulator() {
    sessions_.clear();
    modems_.clear();
    if (!scratch_.empty()) {
        if (DIR* d = opendir(scratch_.c_str())) {
            while (dirent* e = readdir(d)) {
                std::string n = e->d_name;
                if (n != "." && n != "..") ::unlink((scratch_ + "/" + n).c_str());
            }
            closedir(d);
        }
        ::rmdir(scratch_.c_str());
    }
}

void Simulator::event(const std::string& line) {
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
    if (options_.trace) std::fprintf(stderr, "[event %8.3f] %s\n", now_ / double(kSampleRate), line.c_str());
}

std::string Simulator::start() {
    // Catch SIGTERM before the links exist, so a stop right after READY
    // still removes them.
    if (::pipe(gSignalPipe) != 0) return std::string("cannot create a pipe: ") + std::strerror(errno);
    struct sigaction sa{};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    char tmpl[] = "/tmp/modemsim-XXXXXX";
    if (!mkdtemp(tmpl)) return std::string("cannot create a scratch folder: ") + std::strerror(errno);
    scratch_ = tmpl;
    if (!options_.sendFile.empty() && ::access(options_.sendFile.c_str(), R_OK) != 0)
        return "cannot read " + options_.sendFile;
    struct stat st{};
    if (::stat(options_.receiveDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return "no folder " + options_.receiveDir;
    for (size_t i = 0; i < options_.ports.size(); ++i) {
        std::string err;
        auto port = PtyPort::open(options_.ports[i].path, err);
        if (!port) return err;
        modems_.push_back(std::make_unique<Modem>(*this, static_cast<int>(i + 1), options_.ports[i], std::move(port)));
        if (auto secs = options_.faults.unplugAfterSeconds(static_cast<int>(i + 1)))
            unplugAt_.emplace_back(msToSamples(int64_t(*secs) * 1000), static_cast<int>(i + 1));
    }
    std::string ready = "READY";
    for (const auto& m : modems_) ready += " " + m->port()->linkPath();
    event(ready);
    return {};
}

// ---- calls -----------------------------------------------------------------

Modem* Simulator::modemByNumber(const std::string& number) {
    for (auto& m : modems_)
        if (m->number() == number && !m->unplugged()) return m.get();
    return nullptr;
}

Simulator::Session* Simulator::sessionOf(const Modem* m) {
    for (auto& s : sessions_)
        if (!s->call->finished() && (s->caller == m || s->answerer == m)) return s.get();
    return nullptr;
}

std::string Simulator::nextReceiveFile() const {
    for (int n = 1; n < 10000; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "/fax-%04d.tif", n);
        std::string path = options_.receiveDir + name;
        if (::access(path.c_str(), F_OK) != 0) return path;
    }
    return options_.receiveDir + "/fax-overflow.tif";
}

void Simulator::dial(Modem* from, const std::string& number) {
    Setup s;
    s.from = from;
    event("CALL " + std::to_string(from->index()) + " " + number);
    if (auto fault = options_.faults.takeDialFault(from->index())) {
        s.nextEvent = now_ + kFaultTime;
        switch (*fault) {
        case FaultKind::Busy: s.failure = ResultCode::Busy; break;
        case FaultKind::NoDialtone: s.failure = ResultCode::NoDialtone; break;
        case FaultKind::NoAnswer: s.failure = ResultCode::NoAnswer; break;
        default: s.failure = ResultCode::NoCarrier; break;
        }
        setups_.push_back(s);
        return;
    }
    Modem* to = modemByNumber(number);
    if (to == from) {
        s.failure = ResultCode::Busy;
        s.nextEvent = now_ + kFaultTime;
    } else if (to) {
        if (!to->onHook() || sessionOf(to) ||
            std::any_of(setups_.begin(), setups_.end(), [&](const Setup& o) { return o.to == to; })) {
            s.failure = ResultCode::Busy;
            s.nextEvent = now_ + kFaultTime;
        } else {
            s.to = to;
            s.nextEvent = now_ + kDialTime;
            s.giveUpAt = now_ + msToSamples(60000);
        }
    } else {
        s.nextEvent = now_ + kDialTime + kTerminalAnswer;  // the terminal answers
    }
    setups_.push_back(s);
}

void Simulator::cancelDial(Modem* from) {
    for (auto it = setups_.begin(); it != setups_.end(); ++it) {
        if (it->from == from) {
            if (it->to && it->ringing) it->to->ringStopped();
            setups_.erase(it);
            return;
        }
    }
}

void Simulator::terminalCalls(int port, const std::string& file) {
    if (port < 1 || port > static_cast<int>(modems_.size())) {
        event("ERROR no modem " + std::to_string(port));
        return;
    }
    std::string send = file.empty() ? options_.sendFile : file;
    if (send.empty() || ::access(send.c_str(), R_OK) != 0) {
        event("ERROR nothing to send (give --send FILE or call N FILE)");
        return;
    }
    Modem* to = modems_[static_cast<size_t>(port - 1)].get();
    event("CALL terminal " + to->number());
    if (to->unplugged() || !to->onHook() || sessionOf(to)) {
        event("BUSY " + std::to_string(port));
        return;
    }
    Setup s;
    s.to = to;
    s.sendFile = send;
    s.nextEvent = now_ + msToSamples(500);
    s.giveUpAt = now_ + msToSamples(120000);
    setups_.push_back(s);
}

bool Simulator::answer(Modem* modem) {
    for (auto it = setups_.begin(); it != setups_.end(); ++it) {
        if (it->to == modem && it->ringing) {
            Setup s = *it;
            setups_.erase(it);
            connect(s);
            return true;
        }
    }
    return false;
}

void Simulator::connect(Setup& s) {
    auto session = std::make_unique<Session>();
    Session* sp = session.get();
    if (s.from && s.to) {
        sp->caller = s.from;
        sp->answerer = s.to;
        sp->call = std::make_unique<Call>(s.from, s.to);
        sessions_.push_back(std::move(session));
        s.from->callConnected(sp->call.get(), true);
        s.to->callConnected(sp->call.get(), false);
        return;
    }
    Modem* modem = s.from ? s.from : s.to;
    FaxTerminal::Config c;
    c.calling = s.from == nullptr;
    c.sendFile = s.sendFile;
    if (c.sendFile.empty()) c.receiveFile = nextReceiveFile();
    c.ident = options_.terminalId;
    c.port = modem->index();
    c.t30Log = options_.t30Log;
    c.maxRate = options_.terminalMaxRate;
    sp->terminal = std::make_unique<FaxTerminal>(
        c, options_.faults,
        [sp] {
            if (sp->call) sp->call->hangUp(sp->terminal.get(), kHangupDelay);
        },
        [this](const TerminalResult& r) {
            std::ostringstream o;
            o << (r.sending ? "SENT " : "RECEIVED ") << r.file << " pages=" << r.pages << " status=" << r.status << " "
              << r.text;
            event(o.str());
        });
    if (s.from) {
        sp->caller = s.from;
        sp->call = std::make_unique<Call>(s.from, sp->terminal.get());
    } else {
        sp->answerer = s.to;
        sp->call = std::make_unique<Call>(sp->terminal.get(), s.to);
    }
    sessions_.push_back(std::move(session));
    modem->callConnected(sp->call.get(), s.from != nullptr);
}

void Simulator::hangUp(Modem* modem) {
    if (Session* s = sessionOf(modem)) s->call->hangUp(modem, kHangupDelay);
}

// ---- time ------------------------------------------------------------------

void Simulator::tick() {
    now_ += kBlock;
    for (auto& s : sessions_) s->call->tick();
    for (auto& m : modems_) m->tick();

    // Calls being set up.
    for (size_t i = 0; i < setups_.size();) {
        Setup& s = setups_[i];
        if (now_ < s.nextEvent) {
            ++i;
            continue;
        }
        if (s.failure != ResultCode::Ok) {
            Modem* from = s.from;
            ResultCode f = s.failure;
            setups_.erase(setups_.begin() + static_cast<long>(i));
            from->dialFailed(f);
            continue;
        }
        if (!s.to) {  // the terminal answers
            Setup copy = s;
            setups_.erase(setups_.begin() + static_cast<long>(i));
            connect(copy);
            continue;
        }
        if (now_ >= s.giveUpAt) {
            Setup copy = s;
            setups_.erase(setups_.begin() + static_cast<long>(i));
            copy.to->ringStopped();
            if (copy.from) copy.from->dialFailed(ResultCode::NoAnswer);
            else event("NOANSWER " + std::to_string(copy.to->index()));
            continue;
        }
        s.ringing = true;
        s.nextEvent = now_ + kRingPeriod;
        Modem* to = s.to;
        to->ringIn();  // may answer at once, which removes this setup
        if (i < setups_.size() && setups_[i].to == to) ++i;
    }

    // Finished calls.
    for (size_t i = 0; i < sessions_.size();) {
        if (sessions_[i]->call->finished()) sessions_.erase(sessions_.begin() + static_cast<long>(i));
        else ++i;
    }

    for (auto it = unplugAt_.begin(); it != unplugAt_.end();) {
        if (now_ >= it->first) {
            modems_[static_cast<size_t>(it->second - 1)]->unplug();
            it = unplugAt_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = scheduled_.begin(); it != scheduled_.end();) {
        if (now_ >= msToSamples(static_cast<int64_t>(it->seconds * 1000))) {
            int port = it->port;
            it = scheduled_.erase(it);
            terminalCalls(port, {});
        } else {
            ++it;
        }
    }
}

// ---- control on standard input ---------------------------------------------

void Simulator::serviceStdin() {
    char buf[512];
    ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n <= 0) {
        stdinOpen_ = false;
        return;
    }
    stdinBuf_.append(buf, static_cast<size_t>(n));
    size_t nl;
    while ((nl = stdinBuf_.find('\n')) != std::string::npos) {
        std::string line = stdinBuf_.substr(0, nl);
        stdinBuf_.erase(0, nl + 1);
        command(line);
    }
}

void Simulator::command(const std::string& line) {
    std::istringstream in(line);
    std::string verb;
    in >> verb;
    if (verb.empty()) return;
    if (verb == "quit") {
        stop_ = true;
    } else if (verb == "call") {
        int port = 0;
        std::string file;
        in >> port >> file;
        terminalCalls(port, file);
    } else if (verb == "fault") {
        std::string spec;
        in >> spec;
        std::string err = options_.faults.add(spec);
        event(err.empty() ? "OK fault " + spec : "ERROR " + err);
    } else if (verb == "unplug") {
        int port = 0;
        in >> port;
        if (port >= 1 && port <= static_cast<int>(modems_.size())) modems_[static_cast<size_t>(port - 1)]->unplug();
        else event("ERROR no modem " + std::to_string(port));
    } else {
        event("ERROR unknown command " + verb);
    }
}

// ---- event loop --------------------------------------------------------------

int Simulator::run() {

    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(10.0 / options_.speed));
    auto next = Clock::now() + period;
    while (!stop_ && !gStopSignal) {
        std::vector<pollfd> fds;
        fds.push_back({gSignalPipe[0], POLLIN, 0});
        if (stdinOpen_) fds.push_back({STDIN_FILENO, POLLIN, 0});
        std::vector<Modem*> polled;
        for (auto& m : modems_) {
            if (m->unplugged()) continue;
            short ev = 0;
            if (m->wantsHostBytes()) ev |= POLLIN;
            if (m->port()->hasPendingOutput()) ev |= POLLOUT;
            fds.push_back({m->port()->masterFd(), ev, 0});
            polled.push_back(m.get());
        }
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
        int rc = ::poll(fds.data(), fds.size(), wait > 0 ? static_cast<int>(wait) : 0);
        if (rc < 0 && errno != EINTR) break;
        size_t k = 1;
        if (stdinOpen_) {
            if (fds[k].revents & (POLLIN | POLLHUP)) serviceStdin();
            ++k;
        }
        for (Modem* m : polled) {
            short rev = fds[k++].revents;
            if (m->unplugged()) continue;
            if (rev & POLLOUT) m->port()->flush();
            if (rev & POLLIN) m->serviceHost();
        }
        // Catch up on simulated time, but never run away after a long stall.
        int steps = 0;
        while (Clock::now() >= next && steps < 50 && !stop_) {
            tick();
            next += period;
            ++steps;
        }
        if (Clock::now() > next + period * 20) next = Clock::now() + period;
    }
    ::close(gSignalPipe[0]);
    ::close(gSignalPipe[1]);
    gSignalPipe[0] = gSignalPipe[1] = -1;
    return 0;
}

}  // namespace orv::modemsim
