#include "ui/widgets/hint.h"

#include <QAction>
#include <QWidget>

namespace orv {

QString HintDisplayText(const QString& hint) {
    QString shown = hint;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

void SetHint(QWidget* control, const QString& hint) {
    control->setToolTip(HintDisplayText(hint));
    control->setStatusTip(hint);
}

void SetHint(QAction* item, const QString& hint) {
    item->setToolTip(HintDisplayText(hint));
    item->setStatusTip(hint);
}

QString Hint(const QWidget* control) { return control->statusTip(); }

}  // namespace orv
