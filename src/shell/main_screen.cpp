#include "shell/main_screen.h"

#include <QCloseEvent>
#include <QMessageBox>

#include "shell/ini_file.h"
#include "shell/settings.h"
#include "shell/window_placement.h"

namespace orv {

TMainScreen::TMainScreen(QWidget* parent) : QMainWindow(parent) {
    setObjectName("MainScreen");
    setWindowTitle(QStringLiteral("Orvane "));
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(11);
    setFont(f);
    resize(592, 384);
    FormCreate();
}

void TMainScreen::FormCreate() {
    FFirstActivate = true;
    LoadSettings();
}

// The first show stands for the first activation: the placement is applied
// before the window is mapped, so it never jumps.
void TMainScreen::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (FFirstActivate) FormActivate();
}

void TMainScreen::FormActivate() {
    if (!FFirstActivate) return;
    try {
        LoadWindowPlacement(this);
    } catch (const IniWriteError& e) {
        QMessageBox::warning(this, QStringLiteral("Orvane"), QString::fromStdString(e.what()));
    }
    FFirstActivate = false;
}

void TMainScreen::closeEvent(QCloseEvent* event) {
    FormClose();
    QMainWindow::closeEvent(event);
}

void TMainScreen::FormClose() {
    try {
        SaveWindowPlacement(this);
    } catch (const IniWriteError& e) {
        QMessageBox::warning(this, QStringLiteral("Orvane"), QString::fromStdString(e.what()));
    }
}

}  // namespace orv
