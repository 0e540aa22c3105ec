#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QThread>

#include "config/program_folder.h"
#include "shell/single_instance.h"
#include "support/temp_home.h"
#include "support/test_paths.h"

using namespace orv;
using orv::test::TempHome;

namespace {

// True once a copy of Orvane answers on the folder's socket.
bool waitUntilListening(int timeoutMs = 15000) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        QLocalSocket s;
        s.connectToServer(TSingleInstance::serverName(ProgramFolder()));
        if (s.waitForConnected(200)) return true;
        QThread::msleep(50);
    }
    return false;
}

void startOrvane(QProcess& p) {
    p.setProgram(orv::test::program("orvane"));
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start();
    ASSERT_TRUE(p.waitForStarted(5000));
}

}  // namespace

TEST(SingleInstance, ASecondStartAsksTheFirstCopyToComeForwardAndEnds) {
    TempHome home;
    TSingleInstance first;
    ASSERT_TRUE(first.acquire());
    EXPECT_FALSE(first.alreadyRunning());
    QSignalSpy raised(&first, &TSingleInstance::activateRequested);

    QProcess second;
    startOrvane(second);
    EXPECT_TRUE(raised.wait(15000));
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(raised.count(), 1);
    // It opened nothing in the folder: no settings written, no receive folder.
    EXPECT_FALSE(QFile::exists(home.file("ORV.INI")));
    EXPECT_FALSE(QFile::exists(home.file("receive")));

    // A stray client that sends nothing, or garbage, raises nothing.
    QLocalSocket stray;
    stray.connectToServer(TSingleInstance::serverName(ProgramFolder()));
    ASSERT_TRUE(stray.waitForConnected(2000));
    stray.write(QByteArray(200, 'x'));
    stray.flush();
    QSignalSpy none(&first, &TSingleInstance::activateRequested);
    EXPECT_FALSE(none.wait(300));
}

TEST(SingleInstance, OneCopyPerFolderAndACrashedCopysLockIsTakenOver) {
    TempHome home;
    home.write("ORV.INI", "[Modem]\nComPort=0\n");  // no first-run window
    QProcess a;
    startOrvane(a);
    ASSERT_TRUE(waitUntilListening());
    // The main window is made after the guard: wait for its receive folder.
    QElapsedTimer clock;
    clock.start();
    while (!QFile::exists(home.file("receive")) && clock.elapsed() < 10000) QThread::msleep(20);
    EXPECT_TRUE(QFile::exists(home.file("receive")));

    QProcess b;
    startOrvane(b);
    ASSERT_TRUE(b.waitForFinished(15000));
    EXPECT_EQ(b.exitCode(), 0);
    EXPECT_EQ(a.state(), QProcess::Running);

    // In this process too the folder is taken.
    TSingleInstance here;
    EXPECT_FALSE(here.acquire());
    EXPECT_TRUE(here.alreadyRunning());

    // A copy killed outright leaves its lock file and socket behind...
    a.kill();
    ASSERT_TRUE(a.waitForFinished(5000));
    EXPECT_TRUE(QFile::exists(home.file("orvane.lock")));
    // ...and the next start takes them over and runs.
    QProcess c;
    startOrvane(c);
    ASSERT_TRUE(waitUntilListening());
    QThread::msleep(200);
    EXPECT_EQ(c.state(), QProcess::Running);
    c.kill();
    c.waitForFinished(5000);
}

TEST(SingleInstance, EachFolderHasItsOwnName) {
    EXPECT_NE(TSingleInstance::serverName("/a/"), TSingleInstance::serverName("/b/"));
    EXPECT_EQ(TSingleInstance::serverName("/a/"), TSingleInstance::serverName("/a/"));
    EXPECT_LT(TSingleInstance::serverName("/a/very/long/folder/name/that/goes/on/and/on/").size(), 40);
}
