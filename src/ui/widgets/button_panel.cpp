#include "ui/widgets/button_panel.h"

#include <QHBoxLayout>

#include "ui/widgets/picture_button.h"

namespace orv {

TButtonPanel::TButtonPanel(const QString& objectName, QWidget* parent, std::uint32_t color, int height)
    : QFrame(parent), row_(new QHBoxLayout(this)) {
    setObjectName(objectName);
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
    setLineWidth(1);
    setFixedHeight(height);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, FromTColor(color));
    p.setColor(QPalette::WindowText, Qt::black);  // the border line
    setPalette(p);
    row_->setContentsMargins(2, 1, 2, 1);
    row_->setSpacing(1);
    row_->addStretch(1);  // buttons stay packed to the left
}

TPictureButton* TButtonPanel::addButton(const QString& objectName, const QString& caption,
                                        const QString& hint, const QString& picture) {
    auto* b = new TPictureButton(objectName, caption, hint, picture, this);
    b->setCaptionColor(Qt::white);
    // The raised face under the mouse takes the bar's colour, so the white
    // caption stays readable there too.
    QPalette p = b->palette();
    p.setColor(QPalette::Button, palette().color(QPalette::Window));
    b->setPalette(p);
    row_->insertWidget(row_->count() - 1, b);
    return b;
}

}  // namespace orv
