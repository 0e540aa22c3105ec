// The main window with 100,000 sent faxes: opening and painting it, scrolling
// the list to its end, and deleting one fax (the list and the enabling rules
// following). Runs on Qt's offscreen platform unless another is chosen.
#include "shell/db_grid.h"
#include "shell/main_screen.h"
#include "store/data_engine.h"
#include "store/schemas.h"
#include "store/table_model.h"

#include <QApplication>
#include <QDate>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace orv;

namespace {

constexpr int kRecords = 100000;

QTemporaryDir& home() {
    static QTemporaryDir dir;
    return dir;
}

// ORV.DBF with its tag and kRecords faxes (no memos) in the program folder.
void makeTable() {
    const QString folder = home().path() + "/";
    QFile ini(folder + "ORV.INI");
    if (!ini.open(QIODevice::WriteOnly)) std::abort();
    ini.write("[Modem]\nComPort=0\n");
    ini.close();
    TEngineLink maker;
    if (!MakeFaxDBF(maker, folder)) std::abort();
    DataEngine engine;
    engine.use(folder + "ORV.DBF", "ORV");
    WorkArea& a = engine.cur();
    a.indexTag("", "DATESENT", "DTOS(DATESENT)+TIMESENT", false, true, ".not. deleted()");
    QByteArray rec(a.recSize(), ' ');
    auto put = [&](const char* name, const QByteArray& value) {
        const DbfField& f = a.fields()[size_t(a.fieldIndex(name))];
        rec.replace(f.offset, f.width, value.leftJustified(f.width, ' ', true));
    };
    a.beginUpdate();
    for (int i = 0; i < kRecords; ++i) {
        a.appendBlank();
        rec.fill(' ');
        put("SUBJECT", "Quarterly figures " + QByteArray::number(i));
        put("SENT", "T");
        put("DATESENT", QDate(1900, 1, 1).addDays(i).toString("yyyyMMdd").toLatin1());
        put("TIMESENT", "12:00");
        put("RECIPIENT", "Recipient " + QByteArray::number(i % 997));
        put("PHONE", "555-" + QByteArray::number(1000 + i % 9000));
        a.putRecord(rec);
    }
    a.endUpdate();
    engine.closeAll();
}

void BM_MainWindowOpensAndPaints(benchmark::State& state) {
    for (auto _ : state) {
        TMainScreen w;
        w.show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(w.grab());
        if (w.findChild<TDBGrid*>("FaxGrid")->tableModel()->rowCount() != kRecords) state.SkipWithError("rows");
        w.close();
    }
}
BENCHMARK(BM_MainWindowOpensAndPaints)->Unit(benchmark::kMillisecond);

void BM_ScrollToTheEndAndPaint(benchmark::State& state) {
    TMainScreen w;
    w.show();
    QApplication::processEvents();
    auto* grid = w.findChild<TDBGrid*>("FaxGrid");
    bool end = false;
    for (auto _ : state) {
        end = !end;
        grid->verticalScrollBar()->setValue(end ? grid->verticalScrollBar()->maximum() : 0);
        benchmark::DoNotOptimize(grid->grab());
    }
    w.close();
}
BENCHMARK(BM_ScrollToTheEndAndPaint)->Unit(benchmark::kMillisecond);

// What Delete does after the user said Yes.
void BM_DeleteOneFax(benchmark::State& state) {
    TMainScreen w;
    w.show();
    QApplication::processEvents();
    for (auto _ : state) {
        w.faxTable().deleteRecord();
        w.faxTable().refresh();
        w.SetButtons();
        QApplication::processEvents();
    }
    w.close();
}
BENCHMARK(BM_DeleteOneFax)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("ORVANE_HOME", home().path().toLocal8Bit());
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    makeTable();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
