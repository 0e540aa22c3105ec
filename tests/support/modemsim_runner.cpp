#include "support/modemsim_runner.h"

#include <QDeadlineTimer>
#include <QFile>
#include <csignal>
#include <sys/prctl.h>

#include "support/test_paths.h"

namespace orv::test {

ModemSimRunner::ModemSimRunner() = default;

ModemSimRunner::~ModemSimRunner() { stop(); }

bool ModemSimRunner::start(const Config& config, QString* error) {
    ports_ = config.ports;
    portPaths_ = config.portPaths;
    QStringList args;
    args << "--speed" << QString::number(config.speed) << "--receive-dir" << folder();
    if (!config.sendFile.isEmpty()) args << "--send" << config.sendFile;
    if (config.trace) args << "--trace";
    args << config.extraArgs;
    for (int i = 1; i <= config.ports; ++i) args << port(i);
    process_.setStandardErrorFile(file("modemsim.log"));
    // Should the test crash, modemsim goes with it instead of lingering.
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process_.start(program("modemsim"), args);
    if (!process_.waitForStarted(5000)) {
        if (error) *error = "modemsim did not start: " + process_.errorString();
        return false;
    }
    if (waitForEvent("READY", 10000).isEmpty()) {
        if (error) *error = "modemsim did not get ready: " + traceLog();
        return false;
    }
    return true;
}

bool ModemSimRunner::stop() {
    if (process_.state() == QProcess::NotRunning) return process_.exitStatus() == QProcess::NormalExit;
    ::kill(static_cast<pid_t>(process_.processId()), SIGTERM);
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(2000);
        return false;
    }
    readEvents();
    return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
}

QString ModemSimRunner::port(int n) const {
    if (n >= 1 && n <= portPaths_.size()) return portPaths_[n - 1];
    return folder() + "/ttyFAX" + QString::number(n);
}

QString ModemSimRunner::folder() const { return dir_.path(); }

void ModemSimRunner::command(const QString& line) {
    process_.write((line + "\n").toUtf8());
    process_.waitForBytesWritten(1000);
}

void ModemSimRunner::readEvents() {
    partial_ += QString::fromUtf8(process_.readAllStandardOutput());
    int nl;
    while ((nl = partial_.indexOf('\n')) >= 0) {
        events_ << partial_.left(nl);
        partial_.remove(0, nl + 1);
    }
}

QString ModemSimRunner::waitForEvent(const QString& prefix, int timeoutMs, int from) {
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        readEvents();
        for (int i = from; i < events_.size(); ++i)
            if (events_[i].startsWith(prefix)) return events_[i];
        if (deadline.hasExpired() || process_.state() == QProcess::NotRunning) return {};
        process_.waitForReadyRead(static_cast<int>(qMin<qint64>(deadline.remainingTime(), 200)));
    }
}

QStringList ModemSimRunner::receivedFiles() const {
    QStringList files;
    for (const auto& e : events_)
        if (e.startsWith("RECEIVED ")) files << e.section(' ', 1, 1);
    return files;
}

QString ModemSimRunner::traceLog() const {
    QFile f(folder() + "/modemsim.log");
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll());
}

}  // namespace orv::test
