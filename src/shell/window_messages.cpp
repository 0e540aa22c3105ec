#include "shell/window_messages.h"

#include <QMetaObject>
#include <QWidget>

namespace orv {

void PostToWindow(QObject* receiver, std::function<void()> work) {
    QMetaObject::invokeMethod(receiver, std::move(work), Qt::QueuedConnection);
}

void PostCloseWindow(QWidget* window) {
    PostToWindow(window, [window] { window->close(); });
}

}  // namespace orv
