// The fax viewer and printer on a 100-page fine fax: opening to the first
// page painted, paging, zooming, rotating, loading the whole fax, and printing
// every page to PDF (through the fax printer and through Save as PDF).
// Goals: open to first page painted <= 100 ms, next page <= 20 ms, zoom change
// <= 20 ms, rotate 90 degrees <= 30 ms.
#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "images/fax_pdf_writer.h"
#include "images/fax_printer_widget.h"
#include "images/fax_viewer_widget.h"
#include "images/page_helpers.h"

using namespace orv;

namespace {

struct Fixture {
    QTemporaryDir dir;
    QString fax;
    Fixture() {
        fax = dir.filePath("hundred.apf");
        std::vector<test::Page> pages;
        for (unsigned i = 0; i < 100; ++i) pages.push_back(test::makePage(test::PageKind::Text, 1728, 2200, i));
        test::writeApf(fax, pages, 1728, true);
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// A viewer as the Fax Viewer window has it, shown on the offscreen screen.
struct ShownViewer {
    TOrvFaxViewer viewer;
    ShownViewer() {
        viewer.setAutoScaleMode(asHalfWidth);
        viewer.resize(594, 291);
        viewer.show();
        QCoreApplication::processEvents();
    }
    void paint() { viewer.viewer()->viewport()->repaint(); }
};

void BM_OpenToFirstPagePainted(benchmark::State& state) {
    ShownViewer v;
    for (auto _ : state) {
        v.viewer.setFileName(QString());
        v.viewer.setFileName(fixture().fax);
        v.paint();
    }
}
BENCHMARK(BM_OpenToFirstPagePainted)->Unit(benchmark::kMillisecond);

void BM_NextPage(benchmark::State& state) {
    ShownViewer v;
    v.viewer.setFileName(fixture().fax);
    int page = 1;
    for (auto _ : state) {
        page = page % 100 + 1;
        v.viewer.setCurrentPage(page);
        v.paint();
    }
}
BENCHMARK(BM_NextPage)->Unit(benchmark::kMillisecond);

void BM_ZoomChange(benchmark::State& state) {
    ShownViewer v;
    v.viewer.setFileName(fixture().fax);
    bool half = false;
    for (auto _ : state) {
        half = !half;
        v.viewer.BeginUpdate();
        v.viewer.setScaling(true);
        v.viewer.setHorizMult(half ? 50 : 150);
        v.viewer.setVertMult(half ? 50 : 150);
        v.viewer.setHorizDiv(100);
        v.viewer.setVertDiv(100);
        v.viewer.EndUpdate();
        v.paint();
    }
}
BENCHMARK(BM_ZoomChange)->Unit(benchmark::kMillisecond);

void BM_Rotate90(benchmark::State& state) {
    ShownViewer v;
    v.viewer.setFileName(fixture().fax);
    int r = 0;
    for (auto _ : state) {
        r = (r + 1) % 4;
        v.viewer.setRotation(r);
        v.paint();
    }
}
BENCHMARK(BM_Rotate90)->Unit(benchmark::kMillisecond);

void BM_LoadWholeFax(benchmark::State& state) {
    ShownViewer v;
    for (auto _ : state) {
        v.viewer.setFileName(QString());
        v.viewer.setLoadWholeFax(false);
        v.viewer.setFileName(fixture().fax);
        v.viewer.setLoadWholeFax(true);
    }
    state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_LoadWholeFax)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PrintHundredPagesToPdf(benchmark::State& state) {
    QTemporaryDir out;
    QObject owner;
    auto* printer = new TOrvFaxPrinter(&owner);
    printer->printer().setOutputFormat(QPrinter::PdfFormat);
    printer->printer().setOutputFileName(out.filePath("print.pdf"));
    printer->setFileName(fixture().fax);
    for (auto _ : state) printer->PrintFax();
    state.SetItemsProcessed(state.iterations() * 100);  // pages per second
}
BENCHMARK(BM_PrintHundredPagesToPdf)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_SaveHundredPagesAsPdf(benchmark::State& state) {
    QTemporaryDir out;
    for (auto _ : state) WriteFaxAsPdf(fixture().fax, out.filePath("saved.pdf"));
    state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_SaveHundredPagesAsPdf)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    fixture();  // the 100-page fax is written before any timing
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
