#include "support/run_program.h"

#include "support/test_paths.h"

#include <QProcess>

namespace orv::test {

ProgramRun runProgram(const QString& program, const QStringList& args, int timeoutMs, bool leakChecks) {
    QProcess p;
    if (!leakChecks) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ASAN_OPTIONS", "detect_leaks=0");
        p.setProcessEnvironment(env);
    }
    p.start(program, args);
    ProgramRun r;
    if (!p.waitForStarted(10000)) return r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
    }
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    if (p.exitStatus() == QProcess::NormalExit) r.exitCode = p.exitCode();
    return r;
}

ProgramRun orvfax(const QStringList& args, int timeoutMs) { return runProgram(program("orvfax"), args, timeoutMs); }

}  // namespace orv::test
