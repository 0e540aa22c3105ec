#pragma once
// TGauge: a horizontal progress bar from minValue to maxValue (0 to 100 by
// default) with the percentage done written in its middle; the text reads in
// the bar's colour over the empty part and in the background colour over the
// filled part.
#include <QWidget>

namespace orv {

class TGauge : public QWidget {
    Q_OBJECT
public:
    explicit TGauge(const QString& objectName, QWidget* parent = nullptr);

    int minValue() const { return min_; }
    int maxValue() const { return max_; }
    int progress() const { return progress_; }
    // min > max is taken as max, min.
    void setRange(int min, int max);
    // Limited to the range.
    void setProgress(int value);
    // 0 to 100; 0 when the range is empty.
    int percentDone() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int min_ = 0;
    int max_ = 100;
    int progress_ = 0;
};

}  // namespace orv
