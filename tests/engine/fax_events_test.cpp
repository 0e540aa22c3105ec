// QueuedFaxEvents: the machine's calls run on the host's thread, and a host
// that does not answer in time leaves the machine with safe defaults.
#include <gtest/gtest.h>

#include "engine/fax_events.h"
#include "engine/pty_pair.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <thread>

using namespace orv;
using orv::test::waitUntil;

namespace {

struct Host : FaxEvents {
    std::atomic<int> statuses{0};
    std::atomic<bool> offThread{false};
    std::atomic<int> finished{0};
    void FaxStatus(const FaxProgress&, bool, bool) override {
        if (QThread::currentThread() != qApp->thread()) offThread = true;
        ++statuses;
    }
    void FaxFinish(int code, const FaxProgress&) override { finished = code; }
    bool FaxNext(QByteArray& phone, QString& fax, QString&) override {
        phone = "123";
        fax = "doc.apf";
        return true;
    }
    bool FaxAccept(const FaxProgress&) override { return false; }
    QString FaxName(const FaxProgress&) override { return "mine.apf"; }
};

}  // namespace

TEST(QueuedFaxEvents, CallsRunOnTheHostsThreadOrFallBackToDefaults) {
    QObject receiver;
    Host host;
    QueuedFaxEvents events(&receiver, host, 300);
    bool accepted = true, next = false;
    QString name;
    QByteArray phone;
    QString fax, cover;
    std::atomic<bool> done{false};
    std::thread machine([&] {
        events.FaxStatus({}, true, false);
        next = events.FaxNext(phone, fax, cover);
        accepted = events.FaxAccept({});
        name = events.FaxName({});
        events.FaxFinish(-6005, {});
        done = true;
    });
    ASSERT_TRUE(waitUntil([&] { return done.load() && host.finished == -6005; }));
    machine.join();
    EXPECT_EQ(host.statuses.load(), 1);
    EXPECT_FALSE(host.offThread.load());
    EXPECT_TRUE(next);
    EXPECT_EQ(phone, "123");
    EXPECT_EQ(fax, "doc.apf");
    EXPECT_FALSE(accepted);
    EXPECT_EQ(name, "mine.apf");

    // The host's thread is busy: after the time-out the machine goes on with
    // no next fax, the call accepted and a name of its own.
    done = false;
    std::thread waiting([&] {
        next = events.FaxNext(phone, fax, cover);
        accepted = events.FaxAccept({});
        name = events.FaxName({});
        done = true;
    });
    QElapsedTimer busy;
    busy.start();
    while (!done && busy.elapsed() < 5000) QThread::msleep(10);  // no events handled here
    waiting.join();
    EXPECT_FALSE(next);
    EXPECT_TRUE(accepted);
    EXPECT_TRUE(name.isEmpty());
    QCoreApplication::processEvents();  // the late calls are dropped, not run
}
