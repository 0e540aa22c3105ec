#include "ui/widgets/align_label.h"

#include "ui/widgets/tcolor.h"

namespace orv {

TAlignLabel::TAlignLabel(const QString& objectName, QWidget* parent, Qt::Alignment alignment)
    : QLabel(parent) {
    setObjectName(objectName);
    setAlignment(alignment);
    setWordWrap(true);
    setTextFormat(Qt::PlainText);
    setAutoFillBackground(true);
    // Long hints wrap or are cut; they never widen the window.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void TAlignLabel::setColors(const QColor& background, const QColor& text) {
    QPalette p = palette();
    p.setColor(QPalette::Window, background);
    p.setColor(QPalette::WindowText, text);
    setPalette(p);
}

TAlignLabel* TAlignLabel::statusLine(QWidget* parent, int height) {
    auto* l = new TAlignLabel(QStringLiteral("status"), parent);
    l->setColors(FromTColor(clSilver), FromTColor(clBlue));
    l->setFixedHeight(height);
    l->setFrameShape(QFrame::NoFrame);
    return l;
}

}  // namespace orv
