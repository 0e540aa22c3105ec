#pragma once
// TAlignLabel: a label that places its text both horizontally and vertically
// and fills its own background: the status line at the bottom of a window
// (silver background, blue text, centred both ways, 32 pixels high).
#include <QLabel>

namespace orv {

class TAlignLabel : public QLabel {
    Q_OBJECT
public:
    explicit TAlignLabel(const QString& objectName, QWidget* parent = nullptr,
                         Qt::Alignment alignment = Qt::AlignCenter);

    void setColors(const QColor& background, const QColor& text);

    // The status line of a window: silver, blue text, centred, the given height.
    static TAlignLabel* statusLine(QWidget* parent, int height = 32);
};

}  // namespace orv
