// The work area itself: creating tables, closing, and the record, field and
// memo reads and writes. Its other jobs live beside it: work_area_table_file,
// work_area_index_set, work_area_cursor and work_area_pack.
#include "store/work_area.h"

#include "common/atomic_file.h"
#include "store/db_error.h"
#include "store/work_area_internal.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace orv {
using namespace detail;

QString SiblingPath(const QString& tablePath, const QString& extension, const FileSystem& fs) {
    const QFileInfo fi(tablePath);
    const QString dir = fi.path() + '/';
    const QString base = fi.completeBaseName();
    const QString suffix = fi.suffix();
    const bool lower = !suffix.isEmpty() && suffix == suffix.toLower();
    const QString preferred = dir + base + '.' + (lower ? extension.toLower() : extension.toUpper());
    if (fs.exists(preferred)) return preferred;
    for (const QString& alt : {dir + base + '.' + extension.toUpper(), dir + base + '.' + extension.toLower()})
        if (fs.exists(alt)) return alt;
    return preferred;
}

void WorkArea::create(const QString& path, std::vector<DbfField> fields, int memoBlockSize, FileSystem& fs) {
    if (fields.empty()) ThrowDbError(ecDbBadDefinition, fileName(path) + QStringLiteral(": no fields"));
    DbfHeader h;
    for (DbfField& f : fields) {
        f.name = f.name.trimmed().toUpper();
        f.type = char(std::toupper(static_cast<unsigned char>(f.type)));
        if (f.type == 'D') f.width = 8;
        if (f.type == 'L') f.width = 1;
        if (f.isMemo()) f.width = 10;
        const QString why = CheckFieldDefinition(f);
        if (!why.isEmpty()) ThrowDbError(ecDbBadDefinition, fileName(path) + QStringLiteral(": ") + why);
        for (const DbfField& g : h.fields)
            if (g.name == f.name) ThrowDbError(ecDbBadDefinition, fileName(path) + QStringLiteral(": field %1 twice").arg(QString::fromLatin1(f.name)));
        h.fields.push_back(f);
    }
    if (h.fields.size() > 255) ThrowDbError(ecDbBadDefinition, fileName(path) + QStringLiteral(": more than 255 fields"));
    AssignFieldOffsets(h);
    if (h.recordLength > 65500) ThrowDbError(ecDbBadDefinition, fileName(path) + QStringLiteral(": record longer than 65500 bytes"));
    h.version = h.hasMemoFields() ? kDbfVersionFoxMemo : kDbfVersionFox;
    h.codePage = kDbfCodePage1252;
    StampUpdateDate(h, QDate::currentDate());
    QString error;
    if (h.hasMemoFields()) {
        const QString memoPath = SiblingPath(path, QStringLiteral("FPT"), fs);
        if (!ReplaceFileDurably(fs, memoPath, MemoFile::emptyFile(MemoBlockSizeFromSetting(memoBlockSize)), &error))
            throw EInOutError(ecDiskWrite, error);
    }
    // An index file of an earlier table of this name would not match the new one.
    fs.remove(SiblingPath(path, QStringLiteral("CDX"), fs));
    QByteArray bytes = BuildDbfHeader(h);
    bytes.append(char(kDbfEof));
    if (!ReplaceFileDurably(fs, path, bytes, &error)) throw EInOutError(ecDiskWrite, error);
}

WorkArea::~WorkArea() {
    try {
        close();
    } catch (...) {
        // The transaction byte stays set; the next open rebuilds the index.
    }
}

void WorkArea::close() {
    if (!dbf_.isOpen()) return;
    batch_ = 0;
    std::exception_ptr failure;
    try {
        flush();
    } catch (...) {
        failure = std::current_exception();
    }
    unlock(0);
    unmap();
    memo_.close();
    dbf_.close();
    tags_.clear();
    if (failure) std::rethrow_exception(failure);
}

void WorkArea::report(int percent) const {
    if (settings_ && settings_->gauge) settings_->gauge(std::clamp(percent, 0, 100));
}

void WorkArea::requireWritable() const {
    if (mode_ == OpenMode::ReadOnly)
        ThrowDbError(ecDbReadOnly, fileName(path_) + (header_.isVisualFoxPro() ? QStringLiteral(" (a Visual FoxPro table)") : QString()));
    if (!unusable_.empty())
        ThrowDbError(ecDbReadOnly, fileName(path_) + QStringLiteral(": index tag %1 cannot be kept up to date (%2)")
                                                       .arg(QString::fromLatin1(unusable_.front().info.name), unusable_.front().reason));
}

void WorkArea::requireRecord() const {
    if (eof_ || recno_ < 1 || recno_ > header_.recordCount) ThrowDbError(ecDbNoRecord, fileName(path_));
}

void WorkArea::writeRecord(uint32_t recno, const char* data, const char* old) {
    dbf_.writeAt(header_.recordOffset(recno), data, header_.recordLength);
    dataWritten_ = true;
    updateIndexes(recno, old, data);
}

void WorkArea::putRecord(const QByteArray& record) {
    requireRecord();
    if (record.size() != header_.recordLength)
        ThrowDbError(ecDbValueDoesNotFit, fileName(path_) + QStringLiteral(": a record has %1 bytes, not %2").arg(header_.recordLength).arg(record.size()));
    change([&] {
        if (!rlock(recno_)) ThrowDbError(ecDbRecordLocked, fileName(path_) + QStringLiteral(": record %1").arg(recno_));
        const QByteArray old(recordAt(recno_), header_.recordLength);
        QByteArray now = record;
        now[0] = old[0];
        writeRecord(recno_, now.constData(), old.constData());
    });
}

void WorkArea::appendBlank() {
    change([&] {
        const uint32_t r = header_.recordCount + 1;
        if (r == 0) ThrowDbError(ecDbBadDefinition, fileName(path_) + QStringLiteral(": table full"));
        const qint64 offset = header_.recordOffset(r);
        std::vector<char> bytes(blank_);
        bytes.push_back(char(kDbfEof));
        dbf_.writeAt(offset, bytes.data(), qint64(bytes.size()));
        dataWritten_ = true;
        header_.recordCount = r;
        writeFixedHeader();
        fileSize_ = std::max(fileSize_, offset + qint64(bytes.size()));
        if (fileSize_ > qint64(mapLen_)) mapFile();
        updateIndexes(r, nullptr, blank_.data());
        ++indexVersion_;
        setCurrent(r);
        posValid_ = false;
    });
}

void WorkArea::deleteRecord() {
    requireRecord();
    if (recordAt(recno_)[0] == kDbfDeleted) return;
    QByteArray now(recordAt(recno_), header_.recordLength);
    now[0] = char(kDbfDeleted);
    putFlag(now);
}

void WorkArea::recall() {
    requireRecord();
    if (recordAt(recno_)[0] != kDbfDeleted) return;
    QByteArray now(recordAt(recno_), header_.recordLength);
    now[0] = char(kDbfLive);
    putFlag(now);
}

void WorkArea::putFlag(const QByteArray& now) {
    change([&] {
        if (!rlock(recno_)) ThrowDbError(ecDbRecordLocked, fileName(path_) + QStringLiteral(": record %1").arg(recno_));
        const QByteArray old(recordAt(recno_), header_.recordLength);
        dbf_.writeAt(header_.recordOffset(recno_), now.constData(), 1);
        dataWritten_ = true;
        updateIndexes(recno_, old.constData(), now.constData());
    });
}

QByteArray WorkArea::fieldBytes(int field) const {
    const DbfField& f = header_.fields[size_t(field)];
    return QByteArray(recordData() + f.offset, f.width);
}

void WorkArea::replaceField(int field, const QByteArray& bytes) {
    requireRecord();
    if (field < 0 || field >= int(header_.fields.size())) ThrowDbError(ecDbNoSuchField, fileName(path_) + QStringLiteral(": field %1").arg(field + 1));
    const DbfField& f = header_.fields[size_t(field)];
    QByteArray value = bytes;
    if (value.size() > f.width) {
        if (f.type != 'C')
            ThrowDbError(ecDbValueDoesNotFit, QStringLiteral("%1 in %2: \"%3\"").arg(QString::fromLatin1(f.name), fileName(path_), QString::fromLatin1(bytes)));
        value.truncate(f.width);
    }
    if (value.size() < f.width) {
        const QByteArray pad(f.width - value.size(), ' ');
        value = (f.type == 'N' || f.type == 'F') ? pad + value : value + pad;
    }
    QByteArray now(recordAt(recno_), header_.recordLength);
    std::memcpy(now.data() + f.offset, value.constData(), size_t(f.width));
    putRecord(now);
}

uint32_t WorkArea::memoBlock(const char* record, int field) const {
    const DbfField& f = header_.fields[size_t(field)];
    const char* p = record + f.offset;
    if (f.binaryMemo) {
        return uint32_t(uint8_t(p[0])) | uint32_t(uint8_t(p[1])) << 8 | uint32_t(uint8_t(p[2])) << 16 | uint32_t(uint8_t(p[3])) << 24;
    }
    uint64_t v = 0;
    bool digits = false;
    for (int i = 0; i < f.width; ++i) {
        const char c = p[i];
        if (c == ' ' || c == '\0') {
            if (digits) break;
            continue;
        }
        if (c < '0' || c > '9') ThrowDbError(ecDbDamagedTable, fileName(path_) + QStringLiteral(": memo pointer of %1 is not a number").arg(QString::fromLatin1(f.name)));
        v = v * 10 + uint64_t(c - '0');
        digits = true;
        if (v > 0xFFFFFFFFull) ThrowDbError(ecDbDamagedTable, fileName(path_) + QStringLiteral(": memo pointer of %1 is too large").arg(QString::fromLatin1(f.name)));
    }
    return uint32_t(v);
}

QByteArray WorkArea::readMemo(uint32_t block) const {
    if (block == 0) return {};
    if (!memo_.isOpen()) ThrowDbError(ecDbDamagedMemo, fileName(path_) + QStringLiteral(": no memo file"));
    return memo_.read(block);
}

QByteArray WorkArea::getMemo(int field) const {
    if (eof_) return {};
    if (field < 0 || field >= int(header_.fields.size()) || !header_.fields[size_t(field)].isMemo())
        ThrowDbError(ecDbNoSuchField, fileName(path_) + QStringLiteral(": no memo field %1").arg(field + 1));
    const uint32_t block = memoBlock(recordAt(recno_), field);
    if (block == 0) return {};
    if (!memo_.isOpen()) ThrowDbError(ecDbDamagedMemo, fileName(path_) + QStringLiteral(": no memo file"));
    return memo_.read(block);
}

void WorkArea::replaceMemo(int field, const QByteArray& data) {
    requireRecord();
    if (field < 0 || field >= int(header_.fields.size()) || !header_.fields[size_t(field)].isMemo())
        ThrowDbError(ecDbNoSuchField, fileName(path_) + QStringLiteral(": no memo field %1").arg(field + 1));
    if (!memo_.isOpen()) ThrowDbError(ecDbDamagedMemo, fileName(path_) + QStringLiteral(": no memo file"));
    change([&] {
        const DbfField& f = header_.fields[size_t(field)];
        QByteArray now(recordAt(recno_), header_.recordLength);
        QByteArray pointer(f.width, ' ');
        if (!data.isEmpty()) {
            const uint32_t block = memo_.append(data);
            memoWritten_ = true;
            // The memo reaches the disk before the record points at it.
            if (batch_ == 0) memo_.sync(), memoWritten_ = false;
            pointer = QByteArray::number(block).rightJustified(f.width, ' ');
        }
        std::memcpy(now.data() + f.offset, pointer.constData(), size_t(f.width));
        if (!rlock(recno_)) ThrowDbError(ecDbRecordLocked, fileName(path_) + QStringLiteral(": record %1").arg(recno_));
        const QByteArray old(recordAt(recno_), header_.recordLength);
        writeRecord(recno_, now.constData(), old.constData());
    });
}

bool WorkArea::memoToFile(int field, const QString& filePath) const {
    if (eof_) return false;
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
