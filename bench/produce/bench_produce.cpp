// Fax file creation from rich text: the 20-page sample letter painted at
// 200 dpi and encoded page by page, as a fax is made before it is sent. The
// counter s_per_page is the figure to watch (target: 25 ms a page).
#include "../support/sample_letter.h"
#include "images/fax_converter.h"
#include "produce/fax_file_creation.h"
#include "richtext/rich_text_document.h"

#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

using orv::bench::kPages;
using orv::bench::letter;

void perPage(benchmark::State& state, int pages) {
    if (pages != kPages) state.SkipWithError("the letter did not give 20 pages");
    state.counters["s_per_page"] =
        benchmark::Counter(pages, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The whole pipeline: paint, write "_TMP.BMP", convert to a one-page APF file,
// join the pages.
void BM_CreateFaxFile20Pages(benchmark::State& state) {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    orv::RichTextDocument doc;
    doc.loadRtf(letter());
    orv::TOrvFaxConverter converter;
    int pages = 0;
    for (auto _ : state) {
        QStringList list;
        orv::RenderRichTextPages(doc, list, folder, converter);
        pages = int(list.size());
        QFile::remove(orv::JoinFaxFiles(list));
    }
    perPage(state, pages);
}
BENCHMARK(BM_CreateFaxFile20Pages)->Unit(benchmark::kMillisecond);

// Paint and encode without the temporary bitmap file, for comparison.
void BM_PaintAndEncodeInMemory20Pages(benchmark::State& state) {
    QTemporaryDir dir;
    orv::RichTextDocument doc;
    doc.loadRtf(letter());
    doc.setZoom(orv::ZoomForDpi(200));
    QImage page(orv::kPageBitmapWidth, orv::kPageBitmapHeight, QImage::Format_RGB32);
    int pages = 0;
    for (auto _ : state) {
        pages = 0;
        int continuation = 0;
        do {
            continuation = orv::PaintFaxPage(doc, page, continuation);
            const QImage mono = page.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither | Qt::MonoOnly);
            if (orv::ConvertPageImage(mono, dir.filePath("page.apf"), true) < 0) state.SkipWithError("encode failed");
            ++pages;
        } while (continuation > 0);
    }
    perPage(state, pages);
}
BENCHMARK(BM_PaintAndEncodeInMemory20Pages)->Unit(benchmark::kMillisecond);

}  // namespace

#include "../support/gui_benchmark_main.h"
