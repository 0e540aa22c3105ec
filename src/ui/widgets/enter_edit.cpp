#include "ui/widgets/enter_edit.h"

#include <QKeyEvent>

namespace orv {

TEnterEdit::TEnterEdit(const QString& objectName, QWidget* parent) : QLineEdit(parent) {
    setObjectName(objectName);
}

void TEnterEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        focusNextChild();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

}  // namespace orv
