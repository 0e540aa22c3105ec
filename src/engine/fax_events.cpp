#include "engine/fax_events.h"

#include "common/orv_error.h"

#include <QMetaObject>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace orv {

namespace {
struct PendingCall {
    std::mutex mutex;
    std::condition_variable cv;
    bool started = false;
    bool done = false;
    bool cancelled = false;
};
}  // namespace

QueuedFaxEvents::QueuedFaxEvents(QObject* receiver, FaxEvents& target, int timeoutMs)
    : receiver_(receiver), target_(target), timeoutMs_(timeoutMs) {}

bool QueuedFaxEvents::call(std::function<void()> fn) {
    QObject* receiver = receiver_.data();
    if (!receiver) return false;
    if (QThread::currentThread() == receiver->thread()) {
        fn();
        return true;
    }
    auto pending = std::make_shared<PendingCall>();
    const bool queued = QMetaObject::invokeMethod(
        receiver,
        [pending, fn = std::move(fn)] {
            {
                std::lock_guard lock(pending->mutex);
                if (pending->cancelled) return;  // the machine stopped waiting
                pending->started = true;
            }
            fn();
            {
                std::lock_guard lock(pending->mutex);
                pending->done = true;
            }
            pending->cv.notify_all();
        },
        Qt::QueuedConnection);
    if (!queued) return false;
    std::unique_lock lock(pending->mutex);
    if (pending->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs_), [&] { return pending->done; })) return true;
    // Too late: a call not yet started never runs; one running finishes on its
    // own, writing only into the shared results, which nobody reads any more.
    pending->cancelled = true;
    return false;
}

void QueuedFaxEvents::FaxStatus(const FaxProgress& p, bool first, bool last) {
    call([this, p, first, last] { target_.FaxStatus(p, first, last); });
}

// Log records and errors are posted like the finish: a busy window gets them
// late, never not at all (a lost log call would be a fax missing from the
// history; a lost error one the user never hears of).
void QueuedFaxEvents::post(std::function<void()> fn) {
    QObject* receiver = receiver_.data();
    if (!receiver) return;
    if (QThread::currentThread() == receiver->thread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(receiver, std::move(fn), Qt::QueuedConnection);
}

void QueuedFaxEvents::FaxLog(int logCode, const FaxProgress& p) {
    post([this, logCode, p] { target_.FaxLog(logCode, p); });
}

void QueuedFaxEvents::FaxError(int errorCode, const FaxProgress& p) {
    post([this, errorCode, p] { target_.FaxError(errorCode, p); });
}

void QueuedFaxEvents::FaxFinish(int errorCode, const FaxProgress& p) {
    QObject* receiver = receiver_.data();
    if (!receiver) return;
    // Posted: the machine does not wait for it, and it arrives after every
    // report queued before it.
    QMetaObject::invokeMethod(receiver, [this, errorCode, p] { target_.FaxFinish(errorCode, p); },
                              Qt::QueuedConnection);
}

bool QueuedFaxEvents::FaxNext(QByteArray& phoneNumber, QString& faxFile, QString& coverFile) {
    struct Result {
        QByteArray phone;
        QString fax, cover;
        bool ok = false;
    };
    auto r = std::make_shared<Result>();
    r->phone = phoneNumber;
    r->fax = faxFile;
    r->cover = coverFile;
    nextFailure_ = 0;
    if (!call([this, r] { r->ok = target_.FaxNext(r->phone, r->fax, r->cover); })) {
        // Not "no more faxes": the host may well have had one.
        if (receiver_) nextFailure_ = ecTimeout;
        return false;
    }
    phoneNumber = r->phone;
    faxFile = r->fax;
    coverFile = r->cover;
    return r->ok;
}

bool QueuedFaxEvents::FaxAccept(const FaxProgress& p) {
    auto accept = std::make_shared<bool>(true);
    // Unanswered in time: the call is taken (a fax is never lost to a busy window).
    if (!call([this, p, accept] { *accept = target_.FaxAccept(p); })) return true;
    return *accept;
}

QString QueuedFaxEvents::FaxName(const FaxProgress& p) {
    auto name = std::make_shared<QString>();
    if (!call([this, p, name] { *name = target_.FaxName(p); })) return {};
    return *name;
}

}  // namespace orv
