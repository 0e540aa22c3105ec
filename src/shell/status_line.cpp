#include "shell/status_line.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QStatusTipEvent>

#include "ui/widgets/hint.h"

namespace orv {
namespace {

// A guarded pointer: a label that went away with its window reads as none.
QPointer<QLabel>& current() {
    static QPointer<QLabel> label;
    return label;
}

class THintHandler : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::StatusTip)
            if (QLabel* label = CurrentStatusLabel())
                ShowStatusText(label, static_cast<QStatusTipEvent*>(event)->tip());
        return false;  // the event goes on as usual
    }
};

}  // namespace

QLabel* CurrentStatusLabel() { return current().data(); }

void SetCurrentStatusLabel(QLabel* label) { current() = label; }

void InstallHintHandler() {
    static QPointer<THintHandler> handler;
    if (handler || !qApp) return;
    handler = new THintHandler(qApp);
    qApp->installEventFilter(handler);
}

void ShowStatusText(QLabel* label, const QString& text) { label->setText(HintDisplayText(text)); }

TStatusLineScope::TStatusLineScope(QWidget* window, QLabel* label)
    : QObject(window), saved_(CurrentStatusLabel()), own_(label) {
    SetCurrentStatusLabel(label);
    window->installEventFilter(this);
}

TStatusLineScope::~TStatusLineScope() { SetCurrentStatusLabel(saved_); }

bool TStatusLineScope::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::WindowActivate && own_) SetCurrentStatusLabel(own_);
    return false;
}

}  // namespace orv
