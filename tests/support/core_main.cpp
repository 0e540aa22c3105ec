// main() for headless tests: a QCoreApplication so Qt's event loop and
// queued connections work, then every GoogleTest case.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
