// The work Orvane itself does between Send pressed on a 3-page fax and the
// first byte of page data on the port, without the simulated line's time:
//   BM_CreateFaxFile3Pages   the fax file from the record's two texts (cover + 2 pages)
//   BM_OpenResetQuery        port open, modem reset (AT&F, ATE0), fax class query, close,
//                            against modemsim (commands answer at once; no line time)
// What follows (dialling, the T.30 handshake) is line time of the modem.
#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextBlockFormat>
#include <QTextCursor>

#include <benchmark/benchmark.h>

#include "config/settings.h"
#include "engine/com_port.h"
#include "engine/fax_components.h"
#include "richtext/rich_text_document.h"
#include "richtext/rich_text_helpers.h"
#include "shell/main_screen.h"
#include "shell/rich_text_memo.h"

namespace {

using namespace orv;

// modemsim beside this program, on a pseudo-terminal in a temporary folder.
class Modemsim {
public:
    bool start() {
        if (!dir_.isValid()) return false;
        port_ = dir_.filePath("ttyFAX0");
        proc_.setProgram(QCoreApplication::applicationDirPath() + "/../../bin/modemsim");
        if (!QFile::exists(proc_.program())) proc_.setProgram(QCoreApplication::applicationDirPath() + "/modemsim");
        proc_.setArguments({"--speed", "100", port_});
        proc_.start();
        if (!proc_.waitForStarted(5000)) return false;
        QByteArray out;
        while (!out.contains("READY") && proc_.waitForReadyRead(5000)) out += proc_.readAllStandardOutput();
        return out.contains("READY");
    }
    ~Modemsim() {
        proc_.terminate();
        proc_.waitForFinished(3000);
    }
    QString port() const { return port_; }

private:
    QTemporaryDir dir_;
    QProcess proc_;
    QString port_;
};

void BM_CreateFaxFile3Pages(benchmark::State& state) {
    QTemporaryDir home;
    qputenv("ORVANE_HOME", home.path().toUtf8());
    QFile ini(home.filePath("ORV.INI"));
    if (!ini.open(QIODevice::WriteOnly)) return state.SkipWithError("no ORV.INI");
    ini.write("[Modem]\nComPort=0\n");
    ini.close();
    TMainScreen w;
    RichTextDocument cover, doc;
    // The default font of new faxes (Arial 12), as the fax editor gives them.
    ApplyDefaultFont(cover, Settings{});
    ApplyDefaultFont(doc, Settings{});
    QTextCursor(cover.document()).insertText("Fax\n\nTo: Jane Roe\nFrom: Demo User\nPages: 3");
    QTextCursor c(doc.document());
    for (int p = 0; p < 2; ++p) {
        if (p > 0) RichTextDocument::insertPageBreak(c);
        for (int l = 0; l < 40; ++l) {
            // Later paragraphs of a page do not inherit the page break of its first.
            if (l > 0) c.insertBlock(QTextBlockFormat(), c.charFormat());
            c.insertText(QStringLiteral("Page %1, line %2: the quick brown fox jumps over the lazy dog.").arg(p + 1).arg(l));
        }
    }
    TTable& t = w.faxTable();
    t.append();
    SaveRichText(cover, "RTFCOVER", w.faxLink());
    SaveRichText(doc, "RTFDOC", w.faxLink());
    t.post();
    for (auto _ : state) {
        const QString file = w.CreateFaxFile();
        if (file.isEmpty() || w.FaxPages() != 3)
            return state.SkipWithError(qPrintable(QStringLiteral("%1 pages in \"%2\"").arg(w.FaxPages()).arg(file)));
        state.PauseTiming();
        QFile::remove(file);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CreateFaxFile3Pages)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_OpenResetQuery(benchmark::State& state) {
    Modemsim sim;
    if (!sim.start()) return state.SkipWithError("modemsim did not start");
    QObject owner;
    TOrvComPort port(&owner);
    TOrvSendFax fax(&owner);
    fax.SetComPort(&port);
    port.SetDeviceName(sim.port());
    port.SetAutoOpen(false);
    port.SetHWFlowOptions({hwfUseRTS, hwfRequireCTS});
    for (auto _ : state) {
        port.SetOpen(true);
        port.SendText("AT&F\r");
        bool ok = port.WaitForString("OK", 18, true, false);
        port.SendText("ATE0\r");
        ok = ok && port.WaitForString("OK", 18, true, false);
        const TFaxClassSet classes = fax.QueryClassSupport();
        port.SetOpen(false);
        if (!ok || classes.Empty()) return state.SkipWithError("the modem did not answer");
    }
}
BENCHMARK(BM_OpenResetQuery)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
