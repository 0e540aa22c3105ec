#pragma once
// Answers the modal windows a test's action opens, one step after another.
// Each step gets the active modal window and returns true when it handled it
// (usually by pressing a button); false leaves the window for a later tick.
// A modal window that appears with no step left is closed and counted in
// unexpected(), so a test never hangs in a box nobody answers.
#include "ui/widgets/picture_button.h"

#include <gtest/gtest.h>

#include <QPointer>
#include <QString>
#include <QWidget>
#include <deque>
#include <functional>

namespace orv::test {

class ModalDriver {
public:
    using Step = std::function<bool(QWidget* modal)>;

    ModalDriver& then(Step step);
    // Runs action (which may block in modal loops) and keeps the event loop
    // going until every step ran or timeoutMs passed. True when all steps ran.
    bool run(const std::function<void()>& action, int timeoutMs = 10000);
    int unexpected() const { return unexpected_; }
    QStringList unexpectedTitles() const { return unexpectedTitles_; }

private:
    void tick();

    std::deque<Step> steps_;
    int unexpected_ = 0;
    QStringList unexpectedTitles_;
    bool timedOut_ = false;
};

// The first child of type T with the given object name; fails the test when absent.
template <class T>
T* child(const QObject* parent, const char* name) {
    T* c = parent->findChild<T*>(QString::fromLatin1(name));
    if (!c) ADD_FAILURE() << "no child " << name;
    return c;
}

// The picture button with the given object name.
inline TPictureButton* button(const QWidget* w, const char* name) { return child<TPictureButton>(w, name); }

}  // namespace orv::test
