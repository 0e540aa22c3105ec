#pragma once
// TPictureButton: a flat button with a picture above its caption, as on the
// teal button bars. The caption may carry an '&' mnemonic (Alt+letter clicks
// it); the hint shows as a tool tip and in the status line.
//
//   auto* b = new TPictureButton("SendButton", "&Send", "Send the currently selected fax", "send", bar);
//   b->setCaptionColor(Qt::white);
#include <QToolButton>

namespace orv {

class TPictureButton : public QToolButton {
    Q_OBJECT
public:
    // picture: the name of a picture in the program's resources (":/icons/<name>.png"),
    // or empty for a caption-only button.
    TPictureButton(const QString& objectName, const QString& caption, const QString& hint,
                   const QString& picture, QWidget* parent = nullptr);

    QString caption() const { return text(); }
    // The caption's colour; disabled buttons show it dimmed.
    void setCaptionColor(const QColor& color);
};

// The picture named name from the program's resources; a null icon when there is none.
QIcon PictureIcon(const QString& name);

}  // namespace orv
