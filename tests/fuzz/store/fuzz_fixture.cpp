#include "fuzz_fixture.h"

#include "common/orv_error.h"
#include "store/data_engine.h"
#include "store/table_check.h"

#include <QDate>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace orv::fuzz {
namespace {

// The table every input is set against, and the seeds written from it: few
// records (every input pays for walking them) but deep structures. Keys of
// the NOTE tag are 120 bytes of little shared prefix, so a leaf or branch page
// holds only three or four of them and 20 records give a tree of branches
// above the leaves; the short-key tags stay a single leaf. (Twice the records
// gave no more coverage and half the inputs a second.) Six records have memos;
// three of them span many blocks, replacing shorter ones (which leaves freed
// blocks behind).
constexpr int kRecords = 20;

// Memos on a few records only, all among the first kMemoRecords: a damaged
// memo file makes every read of a memo throw, and each exception costs more
// than all the rest of a record's reads.
constexpr int kMemoRecords = 8;
bool hasMemo(int i) { return i == 0 || i == 1 || i == 4 || i == 5 || i == 6 || i == 7; }

QByteArray noteOf(int i) {
    QByteArray note;
    uint32_t x = 2166136261u ^ uint32_t(i * 40503);
    for (int k = 0; k < 120; ++k) {
        x = x * 1103515245u + 12345u;
        note += char('A' + (x >> 16) % 26);
    }
    return note;
}

// The first `records` records of the table; the memo file is the same for
// any count from kMemoRecords on.
Fixture build(int records, bool noteTag) {
    Fixture fx;
    fx.dbf = "/fuzz/T.DBF";
    fx.fpt = "/fuzz/T.FPT";
    fx.cdx = "/fuzz/T.CDX";
    WorkArea::create(fx.dbf, {DbfField::make("NAME", 'C', 10), DbfField::make("DAY", 'D', 8), DbfField::make("N", 'N', 5, 1), DbfField::make("OK", 'L', 1), DbfField::make("MEMO", 'M', 10), DbfField::make("NOTE", 'C', 120)}, 64, fx.files);
    DataEngine engine;
    engine.setFileSystem(fx.files);
    engine.use(fx.dbf, "T");
    WorkArea& a = engine.cur();
    const char* names[] = {"Zed", "Alice", "Bob", "", "Alice"};
    for (int i = 0; i < records; ++i) {
        a.appendBlank();
        a.replaceField(0, i < 5 ? QByteArray(names[i]) : QByteArray::number((i * 7919) % 100003, 36).toUpper());
        if (i != 3) a.replaceField(1, QDate(2026, 1, 1).addDays(i * 13 % 31).toString("yyyyMMdd").toLatin1());
        a.replaceField(2, QByteArray::number(i * 1.5, 'f', 1));
        a.replaceField(3, i % 2 ? "T" : "F");
        if (hasMemo(i)) a.replaceMemo(4, QByteArray("memo ") + QByteArray::number(i) + QByteArray(i * 3, 'x'));
        a.replaceField(5, noteOf(i));
    }
    // Long memos: 2,000 to 6,000 bytes, 32 to 94 blocks of 64.
    for (const auto& [rec, size] : {std::pair{5, 2000}, std::pair{6, 6000}, std::pair{7, 3500}}) {
        a.go(uint32_t(rec + 1));  // record i is number i + 1
        a.replaceMemo(4, QByteArray("long memo ").repeated(size / 10));
    }
    for (uint32_t r : {3u, 12u, 17u}) {
        if (r > uint32_t(records)) continue;
        a.go(r);
        a.deleteRecord();
    }
    a.indexTag("", "NAME", "UPPER(NAME)", false, false, ".NOT.DELETED()");
    a.indexTag("", "DAY", "DAY", false, true, "");
    a.indexTag("", "MIX", "DTOS(DAY)+NAME", false, false, "OK .AND. .NOT. DELETED()");
    if (noteTag) a.indexTag("", "NOTE", "NOTE", false, false, "");
    engine.closeAll();
    fx.goodDbf = *fx.files.contents(fx.dbf);
    fx.goodFpt = *fx.files.contents(fx.fpt);
    fx.goodCdx = *fx.files.contents(fx.cdx);
    return fx;
}

// ORVANE_FUZZ_SEEDS_OUT names a folder (scripts/fuzz seeds sets it to the
// store corpus) that gets the fixture's files, one seed per phase, as
// dbf/deep.<phase>.dbf, fpt/deep.<phase>.fpt and cdx/deep.<phase>.cdx: the
// seeds that start each target at the deep paths.
void writeDeepSeeds(const Fixture& fx, const QString& folder) {
    const std::pair<const char*, const QByteArray*> files[] = {{"dbf", &fx.goodDbf}, {"fpt", &fx.goodFpt}, {"cdx", &fx.goodCdx}};
    for (const auto& [ext, bytes] : files) {
        QDir().mkpath(folder + '/' + ext);
        for (Phase phase : kPhases) {
            QFile f(folder + '/' + ext + "/deep." + phaseName(phase) + '.' + ext);
            if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(char(phase) + *bytes);
        }
    }
}

// The bytes are copied where the sanitizer checks the whole range at once
// (the copy functions are checked), and without a new array per field.
void touch(const char* p, int n) {
    static char sink[65536];
    if (n > 0) std::memcpy(sink, p, size_t(std::min<int>(n, sizeof sink)));
}

// Every order is walked both ways; the fields and memos are read in the
// natural order only (the same reads again in every tag order find nothing new
// and cost most of the time). After a few memos that cannot be read the walk
// reads no more of them: on a damaged table most records then fail the same
// way, and each failure costs an exception.
void readAll(WorkArea& a, Walk walk) {
    int memoFailures = 0;
    for (int order = walk.records ? 0 : 1; order <= (walk.tags ? a.tagCount() : 0); ++order) {
        a.setOrder(order);
        int steps = 0;
        for (a.goTop(); !a.eof() && steps < 2000; a.skip(1), ++steps) {
            touch(a.recordData(), a.recSize());
            if (order > 0) continue;
            for (int f = 0; f < int(a.fields().size()); ++f) {
                const DbfField& field = a.fields()[size_t(f)];
                touch(a.recordData() + field.offset, field.width);
                if (field.isMemo() && memoFailures < 4) {
                    try {
                        (void)a.getMemo(f);
                    } catch (const EOrvException&) {
                        ++memoFailures;
                    }
                }
            }
        }
        // Seeks descend the tree: to its first leaf and to one in the middle.
        if (order > 0) {
            (void)a.seek("A");
            (void)a.seek("M");
        }
        for (a.goBottom(); !a.bof() && !a.eof() && steps < 4000; a.skip(-1), ++steps) (void)a.deleted();
    }
    (void)a.queryRecCount();
}

void change(WorkArea& a) {
    if (a.tagCount() > 0) a.setOrder(1);
    a.goTop();
    if (!a.eof()) {
        a.replaceField(0, "Changed");
        a.deleteRecord();
    }
    a.appendBlank();
    a.replaceField(0, "Appended");
    if (a.hasMemoFile()) {
        for (int f = 0; f < int(a.fields().size()); ++f) {
            if (!a.fields()[size_t(f)].isMemo()) continue;
            a.replaceMemo(f, "a new memo");
            break;
        }
    }
}

}  // namespace

const Fixture& fixture() {
    static const Fixture fx = [] {
        Fixture built = build(kRecords, true);
        const Fixture without = build(kMemoRecords, false);
        if (without.goodFpt != built.goodFpt) std::abort();  // the memo target pairs its table with goodFpt
        built.shortDbf = without.goodDbf;
        built.shortCdx = without.goodCdx;
        if (const char* out = std::getenv("ORVANE_FUZZ_SEEDS_OUT")) writeDeepSeeds(built, QString::fromLocal8Bit(out));
        return built;
    }();
    return fx;
}

const char* phaseName(Phase phase) {
    switch (phase) {
    case Phase::Check: return "check";
    case Phase::Read: return "read";
    case Phase::Change: return "change";
    case Phase::Pack: return "pack";
    }
    return "";
}

Input splitInput(const uint8_t* data, size_t size) {
    if (size == 0) return {Phase::Check, QByteArray()};
    return {kPhases[data[0] & 3], QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1))};
}

std::unique_ptr<MemoryFileSystem> tableFiles(const QByteArray& dbf, const QByteArray& fpt, const QByteArray& cdx) {
    const Fixture& fx = fixture();
    auto fs = std::make_unique<MemoryFileSystem>();
    for (const auto& [path, bytes] : {std::pair{&fx.dbf, &dbf}, std::pair{&fx.fpt, &fpt}, std::pair{&fx.cdx, &cdx}})
        if (!bytes->isNull()) fs->put(*path, *bytes);
    return fs;
}

void exerciseTable(MemoryFileSystem& fs, Phase phase, Walk walk) {
    const Fixture& fx = fixture();
    // The check reports what it finds and never throws.
    if (phase == Phase::Check) {
        (void)CheckTable(fx.dbf, fs);
        return;
    }
    // What reached the "disk" is recorded (a copy of every write) only where
    // the store's crash protocol is busiest, in pack: its renames and folder
    // flushes. Elsewhere the record would be made for nothing.
    if (phase != Phase::Pack) fs.setChangeBudget(0);
    try {
        DataEngine engine;
        engine.setFileSystem(fs);
        switch (phase) {
        case Phase::Check: break;
        case Phase::Read:
            engine.settings().deleted = true;
            engine.use(fx.dbf, "T", OpenMode::ReadOnly);
            readAll(engine.cur(), walk);
            break;
        case Phase::Change:
            engine.use(fx.dbf, "T", OpenMode::Exclusive);
            change(engine.cur());
            readAll(engine.cur(), walk);
            break;
        case Phase::Pack:
            engine.use(fx.dbf, "T", OpenMode::Exclusive);
            if (engine.cur().recCount() < 200) engine.cur().pack();
            readAll(engine.cur(), walk);
            break;
        }
    } catch (const EOrvException&) {
    }
}

}  // namespace orv::fuzz
