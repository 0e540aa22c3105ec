#pragma once
// main() for benchmarks that lay out text with Qt's fonts: a QGuiApplication
// on the offscreen platform, then every registered benchmark.
#include <QGuiApplication>

#include <benchmark/benchmark.h>

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
