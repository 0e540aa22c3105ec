#pragma once
// Remembered window positions in ORV.INI, and centring of dialogs.
//
// A window remembers its place in the section named after its class (see
// PlacementSection): the main window, the fax editor, the cover-sheet editor
// and the view/print window. Every other dialog is centred each time it opens.
#include <QString>
class QWidget;

namespace orv {

// Reads the window's section: never saved -> CenterWindow; otherwise the
// rectangle is pulled back onto the screen, applied, and the window is
// maximized when it was. The placement is saved again at once.
void LoadWindowPlacement(QWidget* window);

// Writes Left, Top, Right, Bottom of the normal (restored) rectangle and Maximized.
// Throws IniWriteError when ORV.INI cannot be written.
void SaveWindowPlacement(QWidget* window);

// SaveWindowPlacement for a window that is closing: a failure to write
// ORV.INI is shown to the user instead of thrown, so the window still closes.
void SaveWindowPlacementOnClose(QWidget* window);

// The main window is centred on the screen; any other window is centred on
// the screen when the main window is maximized, otherwise over the main window.
void CenterWindow(QWidget* window);

// The program's main window (class TMainScreen), or nullptr before it exists.
QWidget* FindMainWindow();

// The class name a window's placement section is named after (without namespace).
QString WindowClassName(const QWidget* window);

}  // namespace orv
