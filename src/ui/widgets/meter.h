#pragma once
// TOrvMeter: a segmented progress bar in a sunken frame. Position runs from
// min to max; the bar is drawn as blocks `step` pixels apart, and the last
// block may be cut short to meet the frame exactly.
#include <QWidget>

namespace orv {

// Which blocks a meter of the given width shows: `full` blocks of `step`
// pixels (block i covers x from i * step + 2 to (i + 1) * step) and then a
// block `partial` pixels wide (0: none).
struct MeterSegments {
    int full = 0;
    int partial = 0;
};
MeterSegments ComputeMeterSegments(int width, int min, int max, int position, int step);

class TOrvMeter : public QWidget {
    Q_OBJECT
public:
    explicit TOrvMeter(const QString& objectName, QWidget* parent = nullptr);

    int min() const { return min_; }
    int max() const { return max_; }
    int position() const { return position_; }
    int step() const { return step_; }
    void setRange(int min, int max);
    void setPosition(int position);
    // Block width in pixels; at least 1.
    void setStep(int step);
    MeterSegments segments() const { return ComputeMeterSegments(width(), min_, max_, position_, step_); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
    int step_ = 10;
};

}  // namespace orv
