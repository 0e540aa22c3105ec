#pragma once
// Command line of modemsim.
#include <string>
#include <vector>

#include "fault_plan.h"

namespace orv::modemsim {

struct PortConfig {
    std::string path;    // symlink that points at the pseudo-terminal
    std::string number;  // dialling this number rings the modem
};

struct ScheduledCall {
    int port = 1;         // 1-based modem number
    double seconds = 0;   // line time after start
};

struct Options {
    std::vector<PortConfig> ports;
    double speed = 1.0;
    bool class1 = true, class2 = true, class20 = true;
    std::string sendFile;      // TIFF the spandsp terminal sends
    std::string receiveDir = ".";
    std::string terminalId = "MODEMSIM TERMINAL";
    int terminalMaxRate = 14400;  // the terminal offers V.27 ter up to 4800, V.29 up to 9600, V.17 above
    std::vector<ScheduledCall> calls;
    FaultPlan faults;
    bool trace = false;        // AT traffic and call events on stderr
    bool t30Log = false;       // spandsp's protocol log on stderr
    bool showHelp = false;
    bool showVersion = false;
};

// Parses argv; returns an error text (empty on success).
std::string parseOptions(int argc, char** argv, Options& out);
const char* helpText();

}  // namespace orv::modemsim
