#pragma once
// The program's own window messages. A posted message becomes a queued call on
// the receiving window: it runs from the event loop after the current work,
// and is dropped when the window is gone by then.
#include <functional>

class QObject;
class QWidget;

namespace orv {

inline constexpr int WM_USER = 0x400;
inline constexpr int WM_CLOSEWINDOW = WM_USER + 42;       // 1066: the window closes itself
inline constexpr int WM_PLAYRECEIVESOUND = WM_USER + 43;  // 1067: play the received-fax sound

// WM_CLOSEWINDOW: the window closes through its normal close path (close query included).
void PostCloseWindow(QWidget* window);

// Runs work on receiver's thread once the event loop gets to it.
void PostToWindow(QObject* receiver, std::function<void()> work);

}  // namespace orv
