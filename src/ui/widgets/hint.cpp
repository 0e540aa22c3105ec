#include "ui/widgets/hint.h"

#include <QAction>
#include <QWidget>

namespace orv {

void SetHint(QWidget* control, const QString& hint) {
    control->setToolTip(hint);
    control->setStatusTip(hint);
}

void SetHint(QAction* item, const QString& hint) {
    item->setToolTip(hint);
    item->setStatusTip(hint);
}

QString Hint(const QWidget* control) { return control->statusTip(); }

}  // namespace orv
