// The work area: opening and closing through its pieces, the change
// protocol that orders their writes, and the record, field and memo reads
// and writes. The pieces are TableFile, IndexSet, RecordCursor and PackTable
// (see work_area.h).
#include "store/work_area.h"

#include "common/atomic_file.h"
#include "store/db_error.h"
#include "store/table_pack.h"
#include "store/work_area_internal.h"

#include <QFile>

#include <cerrno>
#include <cstring>

namespace orv {
using namespace detail;

WorkArea::WorkArea() : index_(table_, [this] { flush(); }), cursor_(table_, index_) {}

std::unique_ptr<WorkArea> WorkArea::open(const QString& path, const QString& alias, OpenMode mode, EngineSettings* settings,
                                         FileSystem& fs) {
    std::unique_ptr<WorkArea> a(new WorkArea);
    a->alias_ = alias;
    a->table_.open(fs, path, mode, settings);
    a->index_.loadStructural();
    a->cursor_.goTop();
    return a;
}

void WorkArea::create(const QString& path, std::vector<DbfField> fields, int memoBlockSize, FileSystem& fs) {
    TableFile::create(path, std::move(fields), memoBlockSize, fs);
}

WorkArea::~WorkArea() {
    try {
        close();
    } catch (...) {
        // The transaction byte stays set; the next open rebuilds the index.
    }
}

void WorkArea::close() {
    if (!table_.isOpen()) return;
    batch_ = 0;
    std::exception_ptr failure;
    try {
        flush();
    } catch (...) {
        failure = std::current_exception();
    }
    table_.close();
    index_.releaseTags();
    if (failure) std::rethrow_exception(failure);
}

// ---- changes ---------------------------------------------------------------------------------

void WorkArea::requireWritable() const {
    if (table_.readOnly())
        ThrowDbError(ecDbReadOnly, table_.name() + (table_.header().isVisualFoxPro() ? QStringLiteral(" (a Visual FoxPro table)") : QString()));
    const std::vector<UnusableTag>& unusable = index_.unusable();
    if (!unusable.empty())
        ThrowDbError(ecDbReadOnly, table_.name() + QStringLiteral(": index tag %1 cannot be kept up to date (%2)")
                                                      .arg(QString::fromLatin1(unusable.front().info.name), unusable.front().reason));
}

void WorkArea::beginChange() {
    requireWritable();
    if (table_.shared()) {
        table_.lockForUpdate();
        cursor_.refresh();
    }
    table_.markChanging();
}

void WorkArea::abortChange() {
    if (batch_ == 0) table_.unlockUpdate();
}

void WorkArea::endChange() {
    if (batch_ == 0) {
        flush();
        table_.unlockUpdate();
    }
}

void WorkArea::beginUpdate() { ++batch_; }

void WorkArea::endUpdate() {
    if (batch_ > 0 && --batch_ == 0) {
        flush();
        table_.unlockUpdate();
    }
}

void WorkArea::flush() {
    if (!table_.isOpen() || table_.readOnly()) return;
    const bool indexChanged = index_.anyDirty();
    if (!table_.changing() && !indexChanged) return;
    table_.commitRecords(indexChanged);
    // Every open index file carries the new count, changed or not.
    if (indexChanged) index_.markAllDirty();
    index_.writeFiles();
    table_.endCommit();
}

bool WorkArea::rlock(uint32_t recno) { return table_.rlock(recno); }

void WorkArea::unlock(uint32_t recno) { table_.unlock(recno); }

void WorkArea::lockCurrent() {
    if (!table_.rlock(recNo())) ThrowDbError(ecDbRecordLocked, table_.name() + QStringLiteral(": record %1").arg(recNo()));
}

// ---- navigation, order and filter: the cursor's ----------------------------------------------

void WorkArea::goTop() { cursor_.goTop(); }
void WorkArea::goBottom() { cursor_.goBottom(); }
void WorkArea::skip(long n) { cursor_.skip(n); }
void WorkArea::go(uint32_t recno) { cursor_.go(recno); }
bool WorkArea::seek(const QByteArray& keyBytes) { return cursor_.seek(keyBytes); }
int WorkArea::setOrder(int order) { return cursor_.setOrder(order); }
void WorkArea::setQuery(const QByteArray& expr) { cursor_.setQuery(expr); }
uint32_t WorkArea::queryRecCount() const { return cursor_.queryRecCount(); }
size_t WorkArea::orderPositionOf(uint32_t recno) const { return cursor_.orderPositionOf(recno); }

// ---- indexes: the index set's ----------------------------------------------------------------

int WorkArea::tagArea(const QByteArray& name) const { return index_.tagArea(name); }
QByteArray WorkArea::tagName(int order) const { return index_.tagName(order); }
QString WorkArea::structuralIndexPath() const { return index_.structuralPath(); }
void WorkArea::openIndex(const QString& indexFile) { index_.openFile(indexFile); }

int WorkArea::indexTag(const QString& indexFile, const QByteArray& tagName, const QByteArray& keyExpr, bool unique,
                       bool descending, const QByteArray& forExpr) {
    requireWritable();
    IndexSet::NewTag def = index_.defineTag(indexFile, tagName, keyExpr, unique, descending, forExpr);
    int order = 0;
    change([&] {
        order = index_.addTag(std::move(def));
        cursor_.setOrder(order);
    });
    return order;
}

void WorkArea::closeIndexes() {
    flush();
    index_.forget();
    cursor_.setOrder(0);
}

void WorkArea::reindex() {
    requireWritable();
    change([&] {
        index_.rebuildAll(0, 100);
        index_.markAllDirty();
    });
    table_.report(100);
}

void WorkArea::pack() {
    requireWritable();
    if (table_.mode() != OpenMode::Exclusive) ThrowDbError(ecDbTableInUse, table_.name() + QStringLiteral(": packing needs exclusive use"));
    flush();
    table_.report(0);
    const int packEnd = index_.count() > 0 ? 80 : 100;
    PackTable(table_, packEnd);
    // Every tag is rebuilt for the new record numbers.
    index_.rebuildAll(packEnd, 100);
    const std::vector<QString>& files = index_.paths();
    if (files.empty() || files[0] != index_.structuralPath()) table_.header().flags &= uint8_t(~kDbfFlagStructuralCdx);
    flush();
    cursor_.forgetPosition();
    cursor_.goTop();
    table_.report(100);
}

// ---- records ------------------------------------------------------------------------------------

void WorkArea::writeRecord(uint32_t recno, const char* data, const char* old, qint64 length) {
    table_.writeRecord(recno, data, length);
    index_.updateKeys(recno, old, data, batch_ > 0);
}

QByteArray WorkArea::getRecord() const { return QByteArray(recordData(), recSize()); }

void WorkArea::putRecord(const QByteArray& record) {
    cursor_.requireRecord();
    if (record.size() != recSize())
        ThrowDbError(ecDbValueDoesNotFit, table_.name() + QStringLiteral(": a record has %1 bytes, not %2").arg(recSize()).arg(record.size()));
    change([&] {
        lockCurrent();
        const QByteArray old(recordAt(recNo()), recSize());
        QByteArray now = record;
        now[0] = old[0];
        writeRecord(recNo(), now.constData(), old.constData(), recSize());
    });
}

void WorkArea::appendBlank() {
    change([&] {
        const uint32_t r = table_.appendBlank();
        index_.updateKeys(r, nullptr, table_.blankRecord(), batch_ > 0);
        cursor_.setCurrent(r);
        cursor_.forgetPosition();
    });
}

void WorkArea::deleteRecord() {
    cursor_.requireRecord();
    if (recordAt(recNo())[0] == kDbfDeleted) return;
    QByteArray now(recordAt(recNo()), recSize());
    now[0] = char(kDbfDeleted);
    change([&] {
        lockCurrent();
        const QByteArray old(recordAt(recNo()), recSize());
        writeRecord(recNo(), now.constData(), old.constData(), 1);
    });
}

void WorkArea::recall() {
    cursor_.requireRecord();
    if (recordAt(recNo())[0] != kDbfDeleted) return;
    QByteArray now(recordAt(recNo()), recSize());
    now[0] = char(kDbfLive);
    change([&] {
        lockCurrent();
        const QByteArray old(recordAt(recNo()), recSize());
        writeRecord(recNo(), now.constData(), old.constData(), 1);
    });
}

// ---- fields and memos --------------------------------------------------------------------------

QByteArray WorkArea::fieldBytes(int field) const {
    const DbfField& f = fields()[size_t(field)];
    return QByteArray(recordData() + f.offset, f.width);
}

void WorkArea::replaceField(int field, const QByteArray& bytes) {
    cursor_.requireRecord();
    if (field < 0 || field >= int(fields().size())) ThrowDbError(ecDbNoSuchField, table_.name() + QStringLiteral(": field %1").arg(field + 1));
    const DbfField& f = fields()[size_t(field)];
    QByteArray value = bytes;
    if (value.size() > f.width) {
        if (f.type != 'C')
            ThrowDbError(ecDbValueDoesNotFit, QStringLiteral("%1 in %2: \"%3\"").arg(QString::fromLatin1(f.name), table_.name(), QString::fromLatin1(bytes)));
        value.truncate(f.width);
    }
    if (value.size() < f.width) {
        const QByteArray pad(f.width - value.size(), ' ');
        value = (f.type == 'N' || f.type == 'F') ? pad + value : value + pad;
    }
    QByteArray now(recordAt(recNo()), recSize());
    std::memcpy(now.data() + f.offset, value.constData(), size_t(f.width));
    putRecord(now);
}

uint32_t WorkArea::memoBlock(const char* record, int field) const { return table_.memoBlock(record, field); }

QByteArray WorkArea::readMemo(uint32_t block) const {
    if (block == 0) return {};
    if (!hasMemoFile()) ThrowDbError(ecDbDamagedMemo, table_.name() + QStringLiteral(": no memo file"));
    return table_.memo().read(block);
}

QByteArray WorkArea::getMemo(int field) const {
    if (eof()) return {};
    if (field < 0 || field >= int(fields().size()) || !fields()[size_t(field)].isMemo())
        ThrowDbError(ecDbNoSuchField, table_.name() + QStringLiteral(": no memo field %1").arg(field + 1));
    return readMemo(memoBlock(recordAt(recNo()), field));
}

void WorkArea::replaceMemo(int field, const QByteArray& data) {
    cursor_.requireRecord();
    if (field < 0 || field >= int(fields().size()) || !fields()[size_t(field)].isMemo())
        ThrowDbError(ecDbNoSuchField, table_.name() + QStringLiteral(": no memo field %1").arg(field + 1));
    if (!hasMemoFile()) ThrowDbError(ecDbDamagedMemo, table_.name() + QStringLiteral(": no memo file"));
    change([&] {
        const DbfField& f = fields()[size_t(field)];
        QByteArray now(recordAt(recNo()), recSize());
        QByteArray pointer(f.width, ' ');
        if (!data.isEmpty()) pointer = QByteArray::number(table_.appendMemo(data, batch_ > 0)).rightJustified(f.width, ' ');
        std::memcpy(now.data() + f.offset, pointer.constData(), size_t(f.width));
        lockCurrent();
        const QByteArray old(recordAt(recNo()), recSize());
        writeRecord(recNo(), now.constData(), old.constData(), recSize());
    });
}

bool WorkArea::memoToFile(int field, const QString& filePath) const {
    if (eof()) return false;
    try {
        return WriteFileAtomically(filePath, getMemo(field));
    } catch (const EOrvException&) {
        return false;
    }
}

void WorkArea::replaceMemoFromFile(int field, const QString& filePath) {
    QFile f(filePath);
    if (!f.open(QIODevice::ReadOnly)) {
        errno = f.exists() ? EACCES : ENOENT;
        ThrowIoError(QStringLiteral("cannot read"), filePath);
    }
    replaceMemo(field, f.readAll());
}

}  // namespace orv
