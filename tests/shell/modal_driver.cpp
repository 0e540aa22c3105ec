#include <gtest/gtest.h>

#include "shell/modal_driver.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

namespace orv::test {

ModalDriver& ModalDriver::then(Step step) {
    steps_.push_back(std::move(step));
    return *this;
}

void ModalDriver::tick() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    if (timedOut_ || steps_.empty()) {
        ++unexpected_;
        unexpectedTitles_ << modal->windowTitle();
        if (auto* d = qobject_cast<QDialog*>(modal)) d->reject(); else modal->close();
        return;
    }
    // The step leaves the queue before it runs: it may open a further modal
    // window, which the following step answers from inside this one.
    Step step = std::move(steps_.front());
    steps_.pop_front();
    if (!step(modal)) steps_.push_front(std::move(step));
}

bool ModalDriver::run(const std::function<void()>& action, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (clock.elapsed() > timeoutMs) timedOut_ = true;
        tick();
    });
    timer.start();
    action();
    while (!steps_.empty() && clock.elapsed() < timeoutMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    // Whatever the action posted still runs, and any box it opens is caught.
    for (int i = 0; i < 10; ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return steps_.empty();
}

}  // namespace orv::test
