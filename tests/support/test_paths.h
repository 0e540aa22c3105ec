#pragma once
// Where the tests find the source tree and the built programs (set by ctest).
#include <QString>

namespace orv::test {

QString sourceDir();                    // the repository's top folder
QString binaryDir();                    // the build folder
QString program(const QString& name);  // binaryDir() + "/bin/" + name

}  // namespace orv::test
