// modemsim: fax modems on pseudo-terminals (see --help).
#include <cstdio>

#include "options.h"
#include "simulator.h"

int main(int argc, char** argv) {
    using namespace orv::modemsim;
    Options options;
    std::string err = parseOptions(argc, argv, options);
    if (options.showVersion && !options.showHelp) {
        std::fputs("modemsim (Orvane) " ORVANE_VERSION "\n", stdout);
        return 0;
    }
    if (options.showHelp) {
        std::fputs(helpText(), stdout);
        return 0;
    }
    if (!err.empty()) {
        std::fprintf(stderr, "modemsim: %s\n", err.c_str());
        return 2;
    }
    Simulator sim(std::move(options));
    err = sim.start();
    if (!err.empty()) {
        std::fprintf(stderr, "modemsim: %s\n", err.c_str());
        return 1;
    }
    return sim.run();
}
