#include "options.h"

#include <cstdlib>
#include <cstring>

namespace orv::modemsim {

namespace {

bool parseDouble(const std::string& s, double& out) {
    if (s.empty()) return false;
    char* end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return end && *end == '\0';
}

std::string parseClasses(const std::string& list, Options& o) {
    o.class1 = o.class2 = o.class20 = false;
    size_t pos = 0;
    while (pos <= list.size()) {
        size_t comma = list.find(',', pos);
        std::string c = list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        if (c == "1")
            o.class1 = true;
        else if (c == "2")
            o.class2 = true;
        else if (c == "2.0")
            o.class20 = true;
        else
            return "unknown fax class \"" + c + "\" (use 1, 2 and 2.0)";
        if (comma == std::string::npos) break;
        pos = comma + 1;
    }
    return {};
}

}  // namespace

const char* helpText() {
    return R"(Usage: modemsim [options] PORT[=NUMBER]...

Simulates Hayes fax modems (Class 1, 2 and 2.0) on pseudo-terminals. Each PORT
is the path of a symbolic link that modemsim creates to its pseudo-terminal;
open it like a serial port. Dialling NUMBER (default 1001 for the first port,
1002 for the second, ...) rings that modem, so two fax programs can fax each
other. Any other number reaches the built-in fax terminal (spandsp), which
receives into TIFF files or sends a TIFF file.

When the ports are ready modemsim prints one line "READY <port> ..." on
standard output. It runs until SIGTERM, SIGINT or "quit" on standard input, and
removes its links on the way out.

Options:
  -s, --speed X          run the line X times faster than real time (default 1;
                         4 to 8 keeps a two-page fax to a few seconds)
  -c, --classes LIST     fax classes the modems offer: any of 1,2,2.0
                         (default 1,2,2.0)
  -f, --send FILE        TIFF file (G3, 1728 or 2048 pixels wide) that the
                         terminal sends when it is called or calls
  -r, --receive-dir DIR  folder for faxes the terminal receives, named
                         fax-0001.tif, fax-0002.tif, ... (default: .)
      --terminal-id ID   station identity of the terminal
                         (default "MODEMSIM TERMINAL")
      --terminal-max-rate BPS
                         the terminal offers modems up to this rate: 4800
                         (V.27 ter), 9600 (and V.29) or 14400 (and V.17;
                         the default)
      --call N[@SECONDS] the terminal calls modem N (1-based) after SECONDS of
                         line time (default 0) and sends --send FILE
      --fault SPEC       play a fault (repeatable; see below)
      --faults FILE      read fault specs from FILE, one per line, # comments
  -v, --trace            log AT commands, responses and call events on stderr
      --t30-log          log spandsp's T.30 protocol on stderr
  -h, --help             show this text
      --version          show the version

Exit status: 0 after a clean shut-down, 1 when a port cannot be made or the
simulation fails, 2 for wrong usage.

Fault specs (prefix with "N:" to aim at modem N only, e.g. "2:busy"):
  busy[=K] no-dialtone[=K] no-carrier[=K] no-answer[=K]
                         the next K dials (default: all) end with that result
  silence                the far end answers and then never sends a signal
  hangup-page=N          the far end hangs up during page N
  carrier-loss-page=N    the far end's signal stops during page N
  rtn-page=N, pin-page=N the far end answers page N with RTN or PIN (once)
  silent-after-page=N    the far end never answers the message after page N
  ftt                    the far end answers every training check with FTT
  dcn-training           the far end answers the training check with DCN
  mute=TEXT              no response to commands containing TEXT (* = all)
  garbage=TEXT           garbage bytes before the response to such commands
  slow=MS[:TEXT]         responses come MS milliseconds (line time) late
  wrong=TEXT:REPLY       the line REPLY instead of the real result
  unplug=TEXT            the modem is unplugged (pty closed, link removed)
                         when a command containing TEXT arrives
  unplug-after=SECONDS   the modem is unplugged after SECONDS of line time

Commands on standard input (one per line):
  call N [FILE]          the terminal calls modem N (sending FILE or --send)
  fault SPEC             add a fault
  unplug N               unplug modem N
  quit                   shut down

Events on standard output, one per line: READY, CALL, RECEIVED <file>
pages=<n> status=<code> <text>, SENT pages=<n> status=<code> <text>, UNPLUGGED.
)";
}

std::string parseOptions(int argc, char** argv, Options& o) {
    auto value = [&](int& i, const std::string& name, std::string& out) -> bool {
        if (i + 1 >= argc) return false;
        out = argv[++i];
        (void)name;
        return true;
    };
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        std::string v;
        if (a == "-h" || a == "--help") {
            o.showHelp = true;
        } else if (a == "--version") {
            o.showVersion = true;
        } else if (a == "-s" || a == "--speed") {
            if (!value(i, a, v) || !parseDouble(v, o.speed) || o.speed < 0.1 || o.speed > 100)
                return "--speed needs a factor between 0.1 and 100";
        } else if (a == "-c" || a == "--classes") {
            if (!value(i, a, v)) return "--classes needs a list";
            std::string err = parseClasses(v, o);
            if (!err.empty()) return err;
        } else if (a == "-f" || a == "--send") {
            if (!value(i, a, o.sendFile)) return "--send needs a file";
        } else if (a == "-r" || a == "--receive-dir") {
            if (!value(i, a, o.receiveDir)) return "--receive-dir needs a folder";
        } else if (a == "--terminal-id") {
            if (!value(i, a, o.terminalId)) return "--terminal-id needs a text";
        } else if (a == "--terminal-max-rate") {
            double r = 0;
            if (!value(i, a, v) || !parseDouble(v, r) || (r != 4800 && r != 9600 && r != 14400))
                return "--terminal-max-rate takes 4800, 9600 or 14400";
            o.terminalMaxRate = static_cast<int>(r);
        } else if (a == "--call") {
            if (!value(i, a, v)) return "--call needs a modem number";
            ScheduledCall c;
            size_t at = v.find('@');
            double n = 0;
            if (!parseDouble(v.substr(0, at), n) || n < 1) return "--call needs a modem number";
            c.port = static_cast<int>(n);
            if (at != std::string::npos && (!parseDouble(v.substr(at + 1), c.seconds) || c.seconds < 0))
                return "--call N@SECONDS needs seconds";
            o.calls.push_back(c);
        } else if (a == "--fault") {
            if (!value(i, a, v)) return "--fault needs a spec";
            std::string err = o.faults.add(v);
            if (!err.empty()) return err;
        } else if (a == "--faults") {
            if (!value(i, a, v)) return "--faults needs a file";
            std::string err = o.faults.addFile(v);
            if (!err.empty()) return err;
        } else if (a == "-v" || a == "--trace") {
            o.trace = true;
        } else if (a == "--t30-log") {
            o.t30Log = true;
        } else if (!a.empty() && a[0] == '-') {
            return "unknown option " + a;
        } else {
            PortConfig p;
            size_t eq = a.find('=');
            p.path = a.substr(0, eq);
            p.number = eq == std::string::npos ? std::to_string(1001 + o.ports.size()) : a.substr(eq + 1);
            if (p.path.empty() || p.number.empty()) return "bad port \"" + a + "\"";
            o.ports.push_back(p);
        }
    }
    if (!o.showHelp && !o.showVersion && o.ports.empty()) return "no port given (see --help)";
    if (!o.class1 && !o.class2 && !o.class20) return "--classes names no class";
    for (const auto& c : o.calls)
        if (c.port > static_cast<int>(o.ports.size())) return "--call names modem " + std::to_string(c.port) + ", which does not exist";
    return {};
}

}  // namespace orv::modemsim
