#pragma once
// ChooseDefaultFont: the font dialog behind "Set Default Font". It re-reads
// ORV.INI, presets the dialog from the [Default Font] keys, and when the user
// confirms stores name, size, bold, italic and underline and saves the
// settings at once. Returns true when the font was changed and saved.
// Throws IniWriteError when ORV.INI cannot be written.
class QWidget;
class QFont;

namespace orv {

struct Settings;

bool ChooseDefaultFont(QWidget* parent);

// The default font as the settings describe it.
QFont DefaultFontOf(const Settings& settings);

}  // namespace orv
