// PDF to fax pages: a 20-page text PDF converted at fine resolution by the
// converter (Poppler rendering, thresholding, Modified Huffman coding, APF
// writing) and, in the same run, by Ghostscript's tiffg3 device at 204 x 196
// dpi (a benchmark-only peer). The pages/s counter compares the two.
#include "images/fax_converter.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr int kPages = 20;

// A text PDF written by hand: 20 A4 pages of 50 lines of 11-point Helvetica.
QByteArray textPdf() {
    std::mt19937 rng(7);
    const char* words[] = {"invoice", "amount", "payable", "within", "thirty", "days", "please", "remit", "to",
                           "account", "number", "reference", "the", "quick", "brown", "fox", "delivery", "order"};
    QByteArray out = "%PDF-1.4\n";
    std::vector<qint64> offsets;
    auto obj = [&](const QByteArray& body) {
        offsets.push_back(out.size());
        out += QByteArray::number(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    QByteArray kids;
    for (int i = 0; i < kPages; ++i) kids += QByteArray::number(4 + 2 * i) + " 0 R ";
    obj("<< /Type /Catalog /Pages 2 0 R >>");
    obj("<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(kPages) + " >>");
    obj("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    for (int p = 0; p < kPages; ++p) {
        QByteArray c = "BT /F1 11 Tf 14 TL 56 780 Td\n";
        for (int l = 0; l < 50; ++l) {
            QByteArray line;
            for (int w = 0; w < 12; ++w) line += QByteArray(words[rng() % std::size(words)]) + ' ';
            c += "(" + line + ") Tj T*\n";
        }
        c += "ET";
        obj("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595.276 841.89] /Resources << /Font << /F1 3 0 R >> >> "
            "/Contents " + QByteArray::number(5 + 2 * p) + " 0 R >>");
        obj("<< /Length " + QByteArray::number(c.size()) + " >>\nstream\n" + c + "\nendstream");
    }
    const qint64 xref = out.size();
    out += "xref\n0 " + QByteArray::number(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (qint64 o : offsets) out += QByteArray::number(o).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size " + QByteArray::number(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           QByteArray::number(xref) + "\n%%EOF\n";
    return out;
}

struct Files {
    QTemporaryDir dir;
    QString pdf = dir.filePath("text20.pdf");
    Files() {
        QFile f(pdf);
        if (f.open(QIODevice::WriteOnly)) f.write(textPdf());
    }
};

Files& files() {
    static Files f;
    return f;
}

void BM_OrvanePdfToApf(benchmark::State& state) {
    const QString out = files().dir.filePath("out.apf");
    for (auto _ : state) {
        orv::TOrvCustomFaxConverter cvt;
        cvt.setInputDocumentType(orv::idPdf);
        cvt.setOptions(0);
        cvt.setLeftMargin(0);
        cvt.setResolution(orv::frHigh);
        cvt.setDocumentFile(files().pdf);
        cvt.setOutFileName(out);
        if (cvt.convert() != 0) {
            state.SkipWithError("conversion failed");
            break;
        }
    }
    state.counters["pages/s"] = benchmark::Counter(double(kPages) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_OrvanePdfToApf)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void BM_GhostscriptTiffG3(benchmark::State& state) {
    if (QStandardPaths::findExecutable("gs").isEmpty()) {
        state.SkipWithError("Ghostscript (gs) is not installed");
        return;
    }
    const QString out = files().dir.filePath("gs.tif");
    for (auto _ : state) {
        QProcess gs;
        gs.start("gs", {"-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=tiffg3", "-r204x196",
                        "-sOutputFile=" + out, files().pdf});
        if (!gs.waitForFinished(120000) || gs.exitCode() != 0) {
            state.SkipWithError("gs failed");
            break;
        }
    }
    state.counters["pages/s"] = benchmark::Counter(double(kPages) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GhostscriptTiffG3)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
