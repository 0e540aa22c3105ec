#pragma once
// TSplashform: the About window: the program's picture, its version lines and
// an OK button (hidden until showOkButton(): the window can also stand alone
// as a splash). Stays on top of the other windows.
#include <QDialog>

class QPushButton;

namespace orv {

class TSplashform : public QDialog {
    Q_OBJECT
public:
    explicit TSplashform(QWidget* parent = nullptr);
    void showOkButton();

private:
    QPushButton* OKButton = nullptr;
};

}  // namespace orv
