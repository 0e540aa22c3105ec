#pragma once
// A control's hint: the text that pops up beside the mouse and that the
// program's hint handler writes into the status line of the active window
// (see shell/status_line.h). The status tip keeps the hint as written; the
// tool tip shows it with its carriage returns as line breaks.
#include <QString>
class QWidget;
class QAction;

namespace orv {

void SetHint(QWidget* control, const QString& hint);
void SetHint(QAction* item, const QString& hint);
QString Hint(const QWidget* control);

// Text with carriage returns (alone or before a line feed) turned into line
// breaks, the way hints and messages are shown.
QString HintDisplayText(const QString& hint);

}  // namespace orv
