#pragma once
// TButtonPanel: the coloured bar (teal by default, 45 pixels high, single
// border) that holds a window's picture buttons from left to right.
#include <QFrame>

#include "ui/widgets/tcolor.h"

class QHBoxLayout;

namespace orv {

class TPictureButton;

class TButtonPanel : public QFrame {
    Q_OBJECT
public:
    explicit TButtonPanel(const QString& objectName, QWidget* parent = nullptr,
                          std::uint32_t color = clButtonBarTeal, int height = 45);

    // Creates a picture button with white caption text at the right end of the row.
    TPictureButton* addButton(const QString& objectName, const QString& caption, const QString& hint,
                              const QString& picture);

private:
    QHBoxLayout* row_;
};

}  // namespace orv
