#include "ui/widgets/meter.h"

#include <QPainter>
#include <algorithm>

namespace orv {

MeterSegments ComputeMeterSegments(int width, int min, int max, int position, int step) {
    MeterSegments s;
    // An empty range, a zero step or a frame with no room inside shows nothing
    // rather than dividing by zero.
    if (max <= min || step <= 0 || width < 5 || position <= min) return s;
    position = std::min(position, max);
    s.full = int(qint64(position - min) * ((width - 3) / step) / (qint64(max) - min)) + 1;
    if (s.full * step > width - 4) {
        s.full = (width - 4) / step;
        s.partial = (width - 4) % step;
    }
    return s;
}

TOrvMeter::TOrvMeter(const QString& objectName, QWidget* parent) : QWidget(parent) {
    setObjectName(objectName);
}

void TOrvMeter::setRange(int min, int max) {
    min_ = min;
    max_ = max;
    update();
}

void TOrvMeter::setPosition(int position) {
    if (position == position_) return;
    position_ = position;
    update();
}

void TOrvMeter::setStep(int step) {
    step_ = std::max(1, step);
    update();
}

void TOrvMeter::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int w = width(), h = height();
    // Sunken frame: shadow on the top and left, highlight on the bottom and right.
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(0, 0, w - 1, 0);
    p.drawLine(0, 0, 0, h - 1);
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(0, h - 1, w - 1, h - 1);
    p.drawLine(w - 1, 0, w - 1, h - 1);

    const MeterSegments s = segments();
    const QColor bar = palette().color(QPalette::Highlight);
    const int top = 2, bottom = h - 2;
    for (int i = 0; i < s.full; ++i) p.fillRect(QRect(QPoint(i * step_ + 2, top), QPoint((i + 1) * step_ - 1, bottom - 1)), bar);
    if (s.partial > 0) p.fillRect(s.full * step_ + 2, top, s.partial, bottom - top, bar);
}

}  // namespace orv
