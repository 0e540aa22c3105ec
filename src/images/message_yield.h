#pragma once
// Lets the event loop breathe during long conversions and decodes that run on
// the GUI thread: processes the events that are pending now and reports
// whether a request to quit the application came by meanwhile.
namespace orv {

// 0, or -1003 (ecGotQuitMsg) when a quit request was seen. The quit request is
// not swallowed: it still reaches the application's own event loop. Does
// nothing without a QCoreApplication or outside its thread.
int ProcessPendingMessage();

}  // namespace orv
