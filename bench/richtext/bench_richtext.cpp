// Fax pages from rich text: load a 20-page RTF letter and paint every page at
// 200 dpi onto a 1666 x 2156 page, thresholded to one bit per pixel, as fax
// file creation does before encoding. Counters give seconds per page.
#include "../support/sample_letter.h"
#include "richtext/rich_text_document.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

namespace {

using orv::bench::kPages;
using orv::bench::letter;
constexpr int kPageWidth = 1666, kPageHeight = 2156, kOffset = 49;

// Paints every page; returns the page count.
int paintAll(orv::RichTextDocument& doc, QImage& canvas) {
    int pages = 0;
    int continuation = 0;
    do {
        canvas.fill(Qt::white);
        QPainter painter(&canvas);
        continuation = doc.paintPage(painter, kOffset, kOffset, kPageWidth - kOffset, kPageHeight - kOffset, continuation);
        painter.end();
        const QImage mono = canvas.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither | Qt::MonoOnly);
        benchmark::DoNotOptimize(mono.constBits());
        ++pages;
    } while (continuation > 0);
    return pages;
}

void BM_LoadRtf(benchmark::State& state) {
    const QByteArray rtf = letter();
    for (auto _ : state) {
        orv::RichTextDocument doc;
        doc.loadRtf(rtf);
        benchmark::DoNotOptimize(doc.characterCount());
    }
    state.SetBytesProcessed(state.iterations() * rtf.size());
}
BENCHMARK(BM_LoadRtf)->Unit(benchmark::kMillisecond);

// Load, lay out and paint all pages: the whole rendering of one fax document.
void BM_LoadAndPaint20Pages(benchmark::State& state) {
    const QByteArray rtf = letter();
    QImage canvas(kPageWidth, kPageHeight, QImage::Format_RGB32);
    int pages = 0;
    for (auto _ : state) {
        orv::RichTextDocument doc;
        doc.loadRtf(rtf);
        doc.setZoom(orv::ZoomForDpi(200));
        pages = paintAll(doc, canvas);
    }
    if (pages != kPages) state.SkipWithError("the letter did not give 20 pages");
    state.counters["pages"] = pages;
    state.counters["s_per_page"] =
        benchmark::Counter(pages, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LoadAndPaint20Pages)->Unit(benchmark::kMillisecond);

// Painting only (the document already laid out for 200 dpi).
void BM_Paint20Pages(benchmark::State& state) {
    orv::RichTextDocument doc;
    doc.loadRtf(letter());
    doc.setZoom(orv::ZoomForDpi(200));
    QImage canvas(kPageWidth, kPageHeight, QImage::Format_RGB32);
    int pages = paintAll(doc, canvas);
    for (auto _ : state) pages = paintAll(doc, canvas);
    state.counters["s_per_page"] =
        benchmark::Counter(pages, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Paint20Pages)->Unit(benchmark::kMillisecond);

}  // namespace

#include "../support/gui_benchmark_main.h"
