#include "support/test_paths.h"

#include <QtGlobal>

namespace orv::test {

QString sourceDir() { return qEnvironmentVariable("ORVANE_SOURCE_DIR"); }
QString binaryDir() { return qEnvironmentVariable("ORVANE_BINARY_DIR"); }
QString program(const QString& name) { return binaryDir() + "/bin/" + name; }

}  // namespace orv::test
