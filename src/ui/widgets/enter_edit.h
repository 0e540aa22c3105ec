#pragma once
// TEnterEdit: a single-line edit in which Enter (or the keypad's Enter) moves
// the focus to the next control of the window instead of confirming a dialog;
// the key goes no further. Every other key behaves as in a plain edit.
#include <QLineEdit>

namespace orv {

class TEnterEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TEnterEdit(const QString& objectName, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace orv
