#include "fuzz_fixture.h"

#include "common/orv_error.h"
#include "store/data_engine.h"
#include "store/table_check.h"

#include <QDate>
#include <QDir>
#include <QFile>

#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace orv::fuzz {
namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

Fixture build() {
    Fixture fx;
    char tmpl[] = "/tmp/orvane-fuzz-store-XXXXXX";
    if (!::mkdtemp(tmpl)) std::abort();
    fx.dir = QString::fromLocal8Bit(tmpl);
    fx.dbf = fx.dir + "/T.DBF";
    fx.fpt = fx.dir + "/T.FPT";
    fx.cdx = fx.dir + "/T.CDX";
    WorkArea::create(fx.dbf, {DbfField::make("NAME", 'C', 10), DbfField::make("DAY", 'D', 8), DbfField::make("N", 'N', 5, 1), DbfField::make("OK", 'L', 1), DbfField::make("MEMO", 'M', 10)}, 64);
    DataEngine engine;
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
    fx.goodDbf = readAll(fx.dbf);
    fx.goodFpt = readAll(fx.fpt);
    fx.goodCdx = readAll(fx.cdx);
    // The exit handler must not touch the fixture: it was registered while the
    // fixture was being built, so it runs after the fixture's destructor. A
    // plain character array is never destroyed.
    static char dirToRemove[sizeof tmpl];
    std::memcpy(dirToRemove, tmpl, sizeof tmpl);
    std::atexit([] { QDir(QString::fromLocal8Bit(dirToRemove)).removeRecursively(); });
    return fx;
}

}  // namespace

const Fixture& fixture() {
    static const Fixture fx = build();
    return fx;
}

void writeBytes(const QString& path, const uint8_t* data, size_t size) {
    writeBytes(path, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
    f.write(bytes);
}

void exerciseTable() {
    const Fixture& fx = fixture();
    (void)CheckTable(fx.dbf);
    try {
        DataEngine engine;
        engine.settings().deleted = true;
        engine.use(fx.dbf, "T", OpenMode::ReadOnly);
        WorkArea& a = engine.cur();
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
    } catch (const EOrvException&) {
    }
}

}  // namespace orv::fuzz
