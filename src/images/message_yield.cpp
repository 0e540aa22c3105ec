#include "images/message_yield.h"

#include "common/orv_error.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

namespace orv {
namespace {

class QuitWatcher : public QObject {
public:
    bool sawQuit = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Quit) sawQuit = true;
        return false;  // let the application handle it too
    }
};

}  // namespace

int ProcessPendingMessage() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) return ecOK;
    QuitWatcher watcher;
    app->installEventFilter(&watcher);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    app->removeEventFilter(&watcher);
    return watcher.sawQuit ? ecGotQuitMsg : ecOK;
}

}  // namespace orv
