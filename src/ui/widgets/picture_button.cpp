#include "ui/widgets/picture_button.h"

#include <QFile>

#include "ui/widgets/hint.h"

namespace orv {

QIcon PictureIcon(const QString& name) {
    const QString path = QStringLiteral(":/icons/%1.png").arg(name);
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

TPictureButton::TPictureButton(const QString& objectName, const QString& caption, const QString& hint,
                               const QString& picture, QWidget* parent)
    : QToolButton(parent) {
    setObjectName(objectName);
    setText(caption);
    SetHint(this, hint);
    setAutoRaise(true);
    setFocusPolicy(Qt::TabFocus);
    if (!picture.isEmpty()) setIcon(PictureIcon(picture));
    setIconSize(QSize(24, 24));
    setToolButtonStyle(icon().isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonTextUnderIcon);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    setMinimumWidth(56);
}

void TPictureButton::setCaptionColor(const QColor& color) {
    QPalette p = palette();
    for (auto role : {QPalette::ButtonText, QPalette::WindowText}) {
        p.setColor(QPalette::Active, role, color);
        p.setColor(QPalette::Inactive, role, color);
        // Dimmed, but still readable on a dark bar.
        QColor dim = color;
        dim.setAlpha(110);
        p.setColor(QPalette::Disabled, role, dim);
    }
    setPalette(p);
}

}  // namespace orv
