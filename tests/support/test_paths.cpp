#include "support/test_paths.h"

#include <QFile>
#include <QtGlobal>

namespace orv::test {

QString sourceDir() { return qEnvironmentVariable("ORVANE_SOURCE_DIR"); }
QString binaryDir() { return qEnvironmentVariable("ORVANE_BINARY_DIR"); }
QString program(const QString& name) { return binaryDir() + "/bin/" + name; }

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace orv::test
