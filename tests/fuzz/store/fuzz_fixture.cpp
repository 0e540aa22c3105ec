#include "fuzz_fixture.h"

#include "common/orv_error.h"
#include "store/data_engine.h"
#include "store/table_check.h"

#include <QDate>
#include <QDir>
#include <QFile>

#include <cstdlib>

namespace orv::fuzz {
namespace {

Fixture build() {
    Fixture fx;
    fx.dbf = "/fuzz/T.DBF";
    fx.fpt = "/fuzz/T.FPT";
    fx.cdx = "/fuzz/T.CDX";
    WorkArea::create(fx.dbf, {DbfField::make("NAME", 'C', 10), DbfField::make("DAY", 'D', 8), DbfField::make("N", 'N', 5, 1), DbfField::make("OK", 'L', 1), DbfField::make("MEMO", 'M', 10)}, 64, fx.files);
    DataEngine engine;
    engine.setFileSystem(fx.files);
    engine.use(fx.dbf, "T");
    WorkArea& a = engine.cur();
    const char* names[] = {"Zed", "Alice", "Bob", "", "Alice"};
    for (int i = 0; i < 5; ++i) {
        a.appendBlank();
        a.replaceField(0, names[i]);
        if (i != 3) a.replaceField(1, QDate(2026, 1, 1 + i).toString("yyyyMMdd").toLatin1());
        a.replaceField(2, QByteArray::number(i * 1.5, 'f', 1));
        a.replaceField(3, i % 2 ? "T" : "F");
        if (i != 2) a.replaceMemo(4, QByteArray("memo ") + names[i] + QByteArray(i * 30, 'x'));
    }
    a.go(2);
    a.deleteRecord();
    a.indexTag("", "NAME", "UPPER(NAME)", false, false, ".NOT.DELETED()");
    a.indexTag("", "DAY", "DAY", false, true, "");
    a.indexTag("", "MIX", "DTOS(DAY)+NAME", false, false, "OK .AND. .NOT. DELETED()");
    engine.closeAll();
    fx.goodDbf = *fx.files.contents(fx.dbf);
    fx.goodFpt = *fx.files.contents(fx.fpt);
    fx.goodCdx = *fx.files.contents(fx.cdx);
    return fx;
}

// Seeds that reach the deep paths: 1,500 records give every tag a tree of
// three levels, a few memos span many blocks. Written to the folder named by
// ORVANE_FUZZ_SEEDS_OUT (see scripts/fuzz), as deep.dbf, deep.fpt, deep.cdx.
void writeDeepSeeds(const QString& folder) {
    MemoryFileSystem fs;
    const QString dbf = "/deep/T.DBF";
    WorkArea::create(dbf, {DbfField::make("NAME", 'C', 10), DbfField::make("DAY", 'D', 8), DbfField::make("N", 'N', 5, 1), DbfField::make("OK", 'L', 1), DbfField::make("MEMO", 'M', 10)}, 64, fs);
    DataEngine engine;
    engine.setFileSystem(fs);
    engine.use(dbf, "T");
    WorkArea& a = engine.cur();
    a.beginUpdate();
    for (int i = 0; i < 1500; ++i) {
        a.appendBlank();
        QByteArray rec = a.getRecord();
        const QByteArray name = QByteArray::number((i * 7919) % 100003, 36).toUpper().leftJustified(10, ' ');
        rec.replace(1, 10, name);
        rec.replace(11, 8, QDate(2020, 1, 1).addDays(i % 900).toString("yyyyMMdd").toLatin1());
        rec.replace(19, 5, QByteArray::number((i % 999) / 10.0, 'f', 1).rightJustified(5, ' '));
        rec[24] = i % 3 ? 'T' : 'F';
        if (i % 11 == 0) rec[0] = '*';
        a.putRecord(rec);
        if (i % 50 == 0) a.replaceMemo(4, QByteArray("long memo ").repeated(i < 500 ? 40 : 600));
    }
    a.endUpdate();
    a.indexTag("", "NAME", "UPPER(NAME)", false, false, ".NOT.DELETED()");
    a.indexTag("", "DAY", "DAY", false, true, "");
    a.indexTag("", "MIX", "DTOS(DAY)+NAME", false, false, "OK .AND. .NOT. DELETED()");
    engine.closeAll();
    for (const char* ext : {"dbf", "fpt", "cdx"}) {
        QDir().mkpath(folder + '/' + ext);
        QFile f(folder + '/' + ext + "/deep." + ext);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(*fs.contents("/deep/T." + QByteArray(ext).toUpper()));
    }
}

void readAll(WorkArea& a) {
    for (int order = 0; order <= a.tagCount(); ++order) {
        a.setOrder(order);
        int steps = 0;
        for (a.goTop(); !a.eof() && steps < 2000; a.skip(1), ++steps) {
            (void)a.getRecord();
            for (int f = 0; f < int(a.fields().size()); ++f) {
                (void)a.fieldBytes(f);
                if (a.fields()[size_t(f)].isMemo()) {
                    try {
                        (void)a.getMemo(f);
                    } catch (const EOrvException&) {
                    }
                }
            }
        }
        if (order > 0) (void)a.seek("A");
        for (a.goBottom(); !a.bof() && !a.eof() && steps < 4000; a.skip(-1), ++steps) (void)a.deleted();
    }
    (void)a.queryRecCount();
}

}  // namespace

const Fixture& fixture() {
    static const Fixture fx = [] {
        if (const char* out = std::getenv("ORVANE_FUZZ_SEEDS_OUT")) writeDeepSeeds(QString::fromLocal8Bit(out));
        return build();
    }();
    return fx;
}

std::unique_ptr<MemoryFileSystem> filesWith(const QString& path, const QByteArray& bytes) {
    auto fs = std::make_unique<MemoryFileSystem>(fixture().files);
    if (bytes.isNull()) fs->remove(path);
    else fs->put(path, bytes);
    return fs;
}

void exerciseTable(MemoryFileSystem& fs) {
    const Fixture& fx = fixture();
    (void)CheckTable(fx.dbf, fs);
    try {
        DataEngine engine;
        engine.setFileSystem(fs);
        engine.settings().deleted = true;
        engine.use(fx.dbf, "T", OpenMode::ReadOnly);
        readAll(engine.cur());
    } catch (const EOrvException&) {
    }
    // Writing to what opened: the index kept up to date over damaged files.
    try {
        DataEngine engine;
        engine.setFileSystem(fs);
        engine.use(fx.dbf, "T", OpenMode::Exclusive);
        WorkArea& a = engine.cur();
        if (a.tagCount() > 0) a.setOrder(1);
        a.goTop();
        if (!a.eof()) {
            a.replaceField(0, "Changed");
            a.deleteRecord();
        }
        a.appendBlank();
        a.replaceField(0, "Appended");
        if (a.hasMemoFile()) a.replaceMemo(int(a.fields().size()) - 1, "a new memo");
        if (a.recCount() < 200) a.pack();
        readAll(a);
    } catch (const EOrvException&) {
    }
}

}  // namespace orv::fuzz
