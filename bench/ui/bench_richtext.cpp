// Fax pages from rich text: load a 20-page RTF letter and paint every page at
// 200 dpi onto a 1666 x 2156 page, thresholded to one bit per pixel, as fax
// file creation does before encoding. Counters give seconds per page.
#include "ui/richtext/rich_text_document.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kPages = 20;
constexpr int kPageWidth = 1666, kPageHeight = 2156, kOffset = 49;

// Twenty pages: eight paragraphs of body text per page in Arial 11 with some
// bold, italic and a centred heading, a page break after each page.
QByteArray letter() {
    QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}{\\f1\\froman\\fcharset0 Times New Roman;}}"
        "{\\colortbl;\\red0\\green0\\blue0;}"
        "\\paperw12240\\paperh15840\\margl720\\margr720\\margt720\\margb720\r\n";
    const QByteArray sentence =
        "The quick brown fox jumps over the lazy dog while the fax modem negotiates its speed, "
        "and the caf\\'e9 on the corner prints the \\b receipts\\b0  in \\i italic\\i0  type. ";
    for (int page = 0; page < kPages; ++page) {
        if (page > 0) rtf += "\\page ";
        rtf += "\\pard\\qc\\sa240\\f1\\fs32\\b Section " + QByteArray::number(page + 1) + "\\b0\\par\r\n";
        for (int p = 0; p < 8; ++p) {
            rtf += "\\pard\\qj\\fi360\\sa120\\f0\\fs22 ";
            for (int s = 0; s < 3; ++s) rtf += sentence;
            rtf += "\\par\r\n";
        }
    }
    rtf += "}";
    return rtf;
}

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

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
