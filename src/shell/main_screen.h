#pragma once
// The main window: lives for the whole run and starts every other window.
#include <QMainWindow>

namespace orv {

class TMainScreen : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainScreen(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormActivate();
    void FormClose();

    bool FFirstActivate = true;
};

}  // namespace orv
