#pragma once
// Running one of our programs (or a peer such as python3) from a test, to its end.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace orv::test {

struct ProgramRun {
    int exitCode = -1;  // -1: it did not start, crashed or ran past the time-out (then killed)
    QByteArray out, err;
    QString outText() const { return QString::fromLocal8Bit(out); }
    QString errText() const { return QString::fromLocal8Bit(err); }
};

// leakChecks false switches LeakSanitizer off in the child (for programs whose
// exit-time allocations are not the test's business).
ProgramRun runProgram(const QString& program, const QStringList& args, int timeoutMs = 120000,
                      bool leakChecks = true);
// Our orvfax program of this build.
ProgramRun orvfax(const QStringList& args, int timeoutMs = 120000);

}  // namespace orv::test
