#pragma once
// A control's hint: the text that pops up beside the mouse and that the
// program's hint handler writes into the status line of the active window
// (see shell/status_line.h). Kept as the widget's tool tip and status tip.
#include <QString>
class QWidget;
class QAction;

namespace orv {

void SetHint(QWidget* control, const QString& hint);
void SetHint(QAction* item, const QString& hint);
QString Hint(const QWidget* control);

}  // namespace orv
