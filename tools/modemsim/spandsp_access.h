#pragma once
// spandsp with its internal structures: the simulator reaches into the T.30,
// T.31 and modem state of spandsp 0.0.6 to tap page data between the line
// modems and the T.30 engine, and to steer a far end into faults.
#define SPANDSP_EXPOSE_INTERNAL_STRUCTURES
#include <spandsp.h>

namespace orv::modemsim {

// spandsp 0.0.6 keeps these T.30 state numbers private to t30.c; the
// simulator only compares against the few it needs.
enum T30State {
    kT30StateFDocNonEcm = 10,      // receiving page data
    kT30StateFPostDocNonEcm = 11,  // page data over, waiting for the post-page message
    kT30StateI = 19,               // sending page data
    kT30StateCallFinished = 30,
};

}  // namespace orv::modemsim
