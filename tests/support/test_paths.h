#pragma once
// Where the tests find the source tree and the built programs (set by ctest),
// and a whole file's bytes.
#include <QByteArray>
#include <QString>

namespace orv::test {

QString sourceDir();                    // the repository's top folder
QString binaryDir();                    // the build folder
QString program(const QString& name);  // binaryDir() + "/bin/" + name
QByteArray readFile(const QString& path);  // empty when it cannot be read

}  // namespace orv::test
