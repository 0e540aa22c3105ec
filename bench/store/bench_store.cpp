// Record store benchmarks on a 100,000-record ORV.DBF with memos:
// append all, build the tag, open and read the first 30 rows in tag order
// (engine and grid model), scan all in tag order, post one fax into the
// large table, pack with 10 % deleted.
#include "store/data_engine.h"
#include "store/schemas.h"
#include "store/table_model.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <map>

#include <benchmark/benchmark.h>

using namespace orv;

namespace {

constexpr int kRecords = 100000;

QTemporaryDir& workDir() {
    static QTemporaryDir dir;
    return dir;
}
QString tablePath(const QString& folder) { return folder + "/ORV.DBF"; }

QByteArray cover(int i) { return "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Cover sheet for fax " + QByteArray::number(i) + "\\par}"; }
QByteArray document(int i) {
    return "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 " + QByteArray(200, 'd') + QByteArray::number(i) + "\\par}";
}

void makeTable(const QString& folder) {
    TEngineLink link;
    if (!MakeFaxDBF(link, folder)) std::abort();
}

// Appends the records the way the program does (append blank, the fields,
// both memos), inside one update so the index is written once.
void appendAll(const QString& folder, bool withTag) {
    DataEngine engine;
    engine.use(tablePath(folder), "ORV");
    WorkArea& a = engine.cur();
    if (withTag) a.indexTag("", "DATESENT", "DTOS(DATESENT)+TIMESENT", false, true, ".not. deleted()");
    const int subject = a.fieldIndex("SUBJECT"), sent = a.fieldIndex("SENT"), date = a.fieldIndex("DATESENT"),
              time = a.fieldIndex("TIMESENT"), recipient = a.fieldIndex("RECIPIENT"), pages = a.fieldIndex("PAGES"),
              rtfCover = a.fieldIndex("RTFCOVER"), rtfDoc = a.fieldIndex("RTFDOC");
    a.beginUpdate();
    QByteArray rec(a.recSize(), ' ');
    auto put = [&](int field, const QByteArray& value, bool right = false) {
        const DbfField& f = a.fields()[size_t(field)];
        const QByteArray v = right ? value.rightJustified(f.width, ' ', true) : value.leftJustified(f.width, ' ', true);
        rec.replace(f.offset, f.width, v);
    };
    for (int i = 0; i < kRecords; ++i) {
        a.appendBlank();
        rec.fill(' ');
        put(subject, "Quarterly figures " + QByteArray::number(i));
        put(sent, "T");
        put(date, QDate(2000, 1, 1).addDays(i / 7).toString("yyyyMMdd").toLatin1());
        put(time, QByteArray::number(8 + i % 10).rightJustified(2, '0') + ":" + QByteArray::number(i % 60).rightJustified(2, '0'));
        put(recipient, "Recipient " + QByteArray::number(i % 997));
        put(pages, QByteArray::number(1 + i % 9), true);
        a.putRecord(rec);
        a.replaceMemo(rtfCover, cover(i));
        a.replaceMemo(rtfDoc, document(i));
    }
    a.endUpdate();
    engine.closeAll();
}

// The 100,000-record table with its tag, made once.
const QString& baseFolder() {
    static const QString folder = [] {
        const QString f = workDir().path() + "/base";
        QDir().mkpath(f);
        makeTable(f);
        appendAll(f, true);
        return f;
    }();
    return folder;
}

void copyTable(const QString& from, const QString& to) {
    QDir(to).removeRecursively();
    QDir().mkpath(to);
    for (const char* name : {"ORV.DBF", "ORV.FPT", "ORV.CDX"}) QFile::copy(from + "/" + name, to + "/" + name);
}

void BM_AppendAll(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        const QString f = workDir().path() + "/append";
        QDir(f).removeRecursively();
        QDir().mkpath(f);
        makeTable(f);
        state.ResumeTiming();
        appendAll(f, false);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_AppendAll)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_BuildTag(benchmark::State& state) {
    const QString f = workDir().path() + "/build";
    copyTable(baseFolder(), f);
    QFile::remove(f + "/ORV.CDX");
    DataEngine engine;
    engine.use(tablePath(f), "ORV");
    for (auto _ : state) engine.cur().indexTag("", "DATESENT", "DTOS(DATESENT)+TIMESENT", false, true, ".not. deleted()");
}
BENCHMARK(BM_BuildTag)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_OpenAndFirst30Rows(benchmark::State& state) {
    const QString f = baseFolder();
    for (auto _ : state) {
        DataEngine engine;
        engine.settings().deleted = true;
        engine.use(tablePath(f), "ORV");
        WorkArea& a = engine.cur();
        a.setQuery(".not. deleted()");
        a.setOrder(a.tagArea("DATESENT"));
        int rows = 0;
        for (a.goTop(); !a.eof() && rows < 30; a.skip(1), ++rows) {
            benchmark::DoNotOptimize(a.getRecord());
        }
        if (rows != 30) state.SkipWithError("fewer than 30 rows");
        engine.closeAll();
    }
}
BENCHMARK(BM_OpenAndFirst30Rows)->Unit(benchmark::kMillisecond);

// The same through the objects the main window uses: OpenFaxDBF, the
// "DATESENT" order and the grid model's first 30 rows of 8 columns.
void BM_OpenAndFirst30RowsInGrid(benchmark::State& state) {
    const QString f = baseFolder();
    DataEngine::instance().settings().deleted = true;
    for (auto _ : state) {
        TTable table;
        TDataSource source;
        TEngineLink link;
        source.setDataSet(&table);
        link.setDataSource(&source);
        if (!OpenFaxDBF(table, link, f)) state.SkipWithError("open failed");
        link.setOrder(link.tagNumber("DATESENT"));
        table.first();
        TableModel model(&source);
        for (int r = 0; r < 30; ++r)
            for (int c = 0; c < model.columnCount(); ++c) benchmark::DoNotOptimize(model.data(model.index(r, c)));
        if (model.rowCount() != kRecords) state.SkipWithError("wrong row count");
        table.close();
    }
}
BENCHMARK(BM_OpenAndFirst30RowsInGrid)->Unit(benchmark::kMillisecond);

void BM_ScanAllInTagOrder(benchmark::State& state) {
    DataEngine engine;
    engine.settings().deleted = true;
    engine.use(tablePath(baseFolder()), "ORV", OpenMode::ReadOnly);
    WorkArea& a = engine.cur();
    a.setQuery(".not. deleted()");
    a.setOrder(a.tagArea("DATESENT"));
    const int subject = a.fieldIndex("SUBJECT");
    for (auto _ : state) {
        int rows = 0;
        for (a.goTop(); !a.eof(); a.skip(1), ++rows) benchmark::DoNotOptimize(a.recordData()[a.fields()[size_t(subject)].offset]);
        if (rows != kRecords) state.SkipWithError("wrong count");
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_ScanAllInTagOrder)->Unit(benchmark::kMillisecond);

// One new fax posted on its own into the 100,000-record table, as the fax
// editor does it: the record, both memos, and the whole index written out.
void BM_PostOneFaxInLargeTable(benchmark::State& state) {
    const QString f = workDir().path() + "/post";
    copyTable(baseFolder(), f);
    DataEngine engine;
    engine.use(tablePath(f), "ORV");
    WorkArea& a = engine.cur();
    const int subject = a.fieldIndex("SUBJECT"), rtfCover = a.fieldIndex("RTFCOVER");
    int i = 0;
    for (auto _ : state) {
        a.beginUpdate();
        a.appendBlank();
        a.replaceField(subject, "posted " + QByteArray::number(++i));
        a.replaceMemo(rtfCover, cover(i));
        a.endUpdate();
    }
}
BENCHMARK(BM_PostOneFaxInLargeTable)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_Pack10PercentDeleted(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        const QString f = workDir().path() + "/pack";
        copyTable(baseFolder(), f);
        DataEngine engine;
        engine.use(tablePath(f), "ORV");
        WorkArea& a = engine.cur();
        a.beginUpdate();
        for (uint32_t r = 1; r <= kRecords; r += 10) {
            a.go(r);
            a.deleteRecord();
        }
        a.endUpdate();
        state.ResumeTiming();
        a.pack();
        state.PauseTiming();
        if (a.recCount() != kRecords - kRecords / 10) state.SkipWithError("wrong count after pack");
        engine.closeAll();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Pack10PercentDeleted)->Unit(benchmark::kMillisecond)->Iterations(3);

// ---- change costs against table size -------------------------------------------
// The same table at 10,000, 100,000 and 1,000,000 records (built once per
// size, memos on every tenth record, the DATESENT tag), and what one change
// costs there: post one record, append one, delete one, open + first 30 rows
// in tag order, pack with 10 % deleted. The cost of a change should not grow
// with the table beyond the depth of the index tree.

const QString& sizedFolder(int records) {
    static std::map<int, QString> folders;
    auto it = folders.find(records);
    if (it != folders.end()) return it->second;
    const QString f = workDir().path() + "/sized" + QString::number(records);
    QDir().mkpath(f);
    makeTable(f);
    DataEngine engine;
    engine.use(tablePath(f), "ORV");
    WorkArea& a = engine.cur();
    const int subject = a.fieldIndex("SUBJECT"), date = a.fieldIndex("DATESENT"), time = a.fieldIndex("TIMESENT"),
              recipient = a.fieldIndex("RECIPIENT"), rtfCover = a.fieldIndex("RTFCOVER");
    a.beginUpdate();
    QByteArray rec(a.recSize(), ' ');
    auto put = [&](int field, const QByteArray& value) {
        const DbfField& fd = a.fields()[size_t(field)];
        rec.replace(fd.offset, fd.width, value.leftJustified(fd.width, ' ', true));
    };
    for (int i = 0; i < records; ++i) {
        a.appendBlank();
        rec.fill(' ');
        put(subject, "Quarterly figures " + QByteArray::number(i));
        put(date, QDate(2000, 1, 1).addDays(i / 7 % 9000).toString("yyyyMMdd").toLatin1());
        put(time, QByteArray::number(8 + i % 10).rightJustified(2, '0') + ":" + QByteArray::number(i % 60).rightJustified(2, '0'));
        put(recipient, "Recipient " + QByteArray::number(i % 997));
        a.putRecord(rec);
        if (i % 10 == 0) a.replaceMemo(rtfCover, cover(i));
    }
    a.endUpdate();
    a.indexTag("", "DATESENT", "DTOS(DATESENT)+TIMESENT", false, true, ".not. deleted()");
    engine.closeAll();
    return folders[records] = f;
}

// A work area open on the sized table for the change benchmarks.
struct SizedTable {
    DataEngine engine;
    WorkArea* a = nullptr;
    explicit SizedTable(int records) {
        engine.use(tablePath(sizedFolder(records)), "ORV");
        a = &engine.cur();
        a->setOrder(a->tagArea("DATESENT"));
    }
};

void BM_SizedPostOne(benchmark::State& state) {
    SizedTable t(int(state.range(0)));
    const int subject = t.a->fieldIndex("SUBJECT");
    uint32_t r = 1;
    for (auto _ : state) {
        t.a->go(r = r * 7919 % t.a->recCount() + 1);
        t.a->replaceField(subject, "changed " + QByteArray::number(r));
    }
}
BENCHMARK(BM_SizedPostOne)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_SizedAppendOne(benchmark::State& state) {
    SizedTable t(int(state.range(0)));
    const int date = t.a->fieldIndex("DATESENT");
    for (auto _ : state) {
        t.a->beginUpdate();
        t.a->appendBlank();
        t.a->replaceField(date, "20260105");
        t.a->endUpdate();
    }
}
BENCHMARK(BM_SizedAppendOne)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_SizedDeleteOne(benchmark::State& state) {
    SizedTable t(int(state.range(0)));
    uint32_t r = 2;
    for (auto _ : state) {
        t.a->go(r = r * 7919 % t.a->recCount() + 1);
        if (t.a->deleted()) t.a->recall();
        else t.a->deleteRecord();
    }
}
BENCHMARK(BM_SizedDeleteOne)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_SizedOpenAndFirst30(benchmark::State& state) {
    const QString f = sizedFolder(int(state.range(0)));
    for (auto _ : state) {
        DataEngine engine;
        engine.settings().deleted = true;
        engine.use(tablePath(f), "ORV");
        WorkArea& a = engine.cur();
        a.setOrder(a.tagArea("DATESENT"));
        int rows = 0;
        for (a.goTop(); !a.eof() && rows < 30; a.skip(1), ++rows) benchmark::DoNotOptimize(a.getRecord());
        if (rows != 30) state.SkipWithError("fewer than 30 rows");
    }
}
BENCHMARK(BM_SizedOpenAndFirst30)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_SizedPack10Percent(benchmark::State& state) {
    const int records = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        const QString f = workDir().path() + "/sizedpack";
        copyTable(sizedFolder(records), f);
        DataEngine engine;
        engine.use(tablePath(f), "ORV");
        WorkArea& a = engine.cur();
        a.beginUpdate();
        for (uint32_t r = 1; r <= a.recCount(); r += 10) a.go(r), a.deleteRecord();
        a.endUpdate();
        state.ResumeTiming();
        a.pack();
        state.PauseTiming();
        engine.closeAll();
        QDir(f).removeRecursively();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SizedPack10Percent)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
