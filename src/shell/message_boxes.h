#pragma once
// The program's message boxes and its beep. Each box is modal over the window
// the user works in (the open dialog, else the active window).
#include <QString>
#include <exception>

namespace orv {

// Caption "Information", information icon, OK.
void ShowInfo(const QString& text);
// The plain message box: the application's title as caption, no icon, OK.
void ShowMessage(const QString& text);
// Question icon, Yes and No; true when Yes was chosen. Yes is the default button.
bool AskYesNo(const QString& text, const QString& caption);
// The same with No as the default button (deletions ask this way).
bool AskYesNoDefaultNo(const QString& text, const QString& caption);
// An error that stopped an operation (a refused write of ORV.INI, say):
// caption "Orvane", error icon, OK.
void ShowError(const QString& text);
void ShowException(const std::exception& e);
// The simple beep of a command that found no record to work on.
void Beep();

}  // namespace orv
