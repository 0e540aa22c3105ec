#include "support/temp_home.h"

#include <QFile>
#include <cstdlib>

namespace orv::test {

TempHome::TempHome() {
    hadPrevious_ = qEnvironmentVariableIsSet("ORVANE_HOME");
    previous_ = qgetenv("ORVANE_HOME");
    qputenv("ORVANE_HOME", dir_.path().toUtf8());
}

TempHome::~TempHome() {
    if (hadPrevious_)
        qputenv("ORVANE_HOME", previous_);
    else
        qunsetenv("ORVANE_HOME");
}

QString TempHome::path() const { return dir_.path() + "/"; }

QString TempHome::file(const QString& name) const { return path() + name; }

void TempHome::write(const QString& name, const QByteArray& bytes) const {
    QFile f(file(name));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
    f.write(bytes);
}

QByteArray TempHome::read(const QString& name) const {
    QFile f(file(name));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

}  // namespace orv::test
