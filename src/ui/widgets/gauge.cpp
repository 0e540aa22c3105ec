#include "ui/widgets/gauge.h"

#include <QPainter>
#include <algorithm>

namespace orv {

TGauge::TGauge(const QString& objectName, QWidget* parent) : QWidget(parent) {
    setObjectName(objectName);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TGauge::setRange(int min, int max) {
    min_ = std::min(min, max);
    max_ = std::max(min, max);
    setProgress(progress_);
}

void TGauge::setProgress(int value) {
    value = std::clamp(value, min_, max_);
    if (value == progress_) return;
    progress_ = value;
    update();
}

int TGauge::percentDone() const {
    if (max_ <= min_) return 0;
    return int((qint64(progress_) - min_) * 100 / (qint64(max_) - min_));
}

QSize TGauge::sizeHint() const { return {200, fontMetrics().height() + 8}; }

void TGauge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect frame = rect();
    p.setPen(palette().color(QPalette::Dark));
    p.setBrush(Qt::white);
    p.drawRect(frame.adjusted(0, 0, -1, -1));

    const QRect inner = frame.adjusted(1, 1, -1, -1);
    const int filled = max_ > min_ ? int(qint64(inner.width()) * (progress_ - min_) / (max_ - min_)) : 0;
    const QRect bar(inner.left(), inner.top(), filled, inner.height());
    const QColor barColor = palette().color(QPalette::Highlight);
    p.fillRect(bar, barColor);

    const QString text = QStringLiteral("%1%").arg(percentDone());
    p.setPen(Qt::black);
    p.drawText(inner, Qt::AlignCenter, text);
    p.setClipRect(bar);
    p.setPen(palette().color(QPalette::HighlightedText));
    p.drawText(inner, Qt::AlignCenter, text);
}

}  // namespace orv
