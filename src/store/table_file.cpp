// The .DBF and .FPT of an open table: open and create, the mapped records,
// the header's transaction byte and change counter, shared-mode refresh,
// and the file, update and record locks.
#include "store/table_file.h"

#include "store/db_error.h"
#include "store/table_pack.h"
#include "store/work_area_internal.h"

#include <QDate>
#include <QDateTime>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <unistd.h>

namespace orv {
using namespace detail;

namespace {

// Record r is locked at kLockBase + r; the update lock (one writer at a time) at kLockBase.
constexpr qint64 kLockBase = 0x40000000;

uint32_t le32(const char* p) {
    return uint32_t(uint8_t(p[0])) | uint32_t(uint8_t(p[1])) << 8 | uint32_t(uint8_t(p[2])) << 16 | uint32_t(uint8_t(p[3])) << 24;
}

}  // namespace

QString SiblingPath(const QString& tablePath, const QString& extension, const FileSystem& fs) {
    // The folder, the name without its last extension, and that extension,
    // as QFileInfo splits them (without its file-system calls).
    const qsizetype slash = tablePath.lastIndexOf('/');
    const QStringView name = QStringView(tablePath).mid(slash + 1);
    const qsizetype dot = name.lastIndexOf('.');
    const QStringView suffix = dot < 0 ? QStringView() : name.mid(dot + 1);
    const bool lower = !suffix.isEmpty() && std::none_of(suffix.begin(), suffix.end(), [](QChar c) { return c.isUpper(); });
    // Folder and name up to the new extension's dot (a table in / gives
    // "//", as QFileInfo's path() + '/' did).
    QString stem = slash < 0 ? QStringLiteral("./") : slash == 0 ? QStringLiteral("//") : tablePath.left(slash + 1);
    stem.append(dot < 0 ? name : name.left(dot)).append('.');
    const QString preferred = stem + (lower ? extension.toLower() : extension.toUpper());
    if (fs.exists(preferred)) return preferred;
    for (const QString& alt : {stem + extension.toUpper(), stem + extension.toLower()})
        if (fs.exists(alt)) return alt;
    return preferred;
}

void TableFile::create(const QString& path, std::vector<DbfField> fields, int memoBlockSize, FileSystem& fs) {
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

QString TableFile::name() const { return fileName(path_); }

void TableFile::report(int percent) const {
    if (settings_ && settings_->gauge) settings_->gauge(std::clamp(percent, 0, 100));
}

int TableFile::lockTimeout() const { return std::max(0, settings_ ? settings_->lockTimeout : 1); }

void TableFile::openLocked() {
    const bool exclusive = mode_ == OpenMode::Exclusive;
    if (!dbf_.open(*fs_, path_, mode_ != OpenMode::ReadOnly)) ThrowIoError(QStringLiteral("cannot open"), path_);
    if (!dbf_.lock(exclusive))
        ThrowDbError(ecDbTableInUse, name() + (exclusive ? QStringLiteral(" is open elsewhere") : QStringLiteral(" is open exclusively elsewhere")));
}

void TableFile::open(FileSystem& fs, const QString& path, OpenMode mode, const EngineSettings* settings) {
    fs_ = &fs;
    path_ = path;
    mode_ = mode;
    settings_ = settings;
    const bool writable = mode_ != OpenMode::ReadOnly;
    const bool exclusive = mode_ == OpenMode::Exclusive;
    if (writable && !fs_->exists(path_) && fs_->exists(path_ + ".new")) {
        // Killed between the two renames of a pack: only the new table is left.
        RecoverInterruptedPack(*fs_, path_);
    }
    openLocked();
    // Finishing or discarding an interrupted pack needs the table to itself:
    // a shared open does it only when nobody else has the table open.
    if (writable && PackLeftovers(*fs_, path_) && (exclusive || dbf_.lock(true))) {
        if (RecoverInterruptedPack(*fs_, path_)) openLocked();
        else if (!exclusive) dbf_.lock(false);
    }
    readHeader();
    if (header_.isVisualFoxPro() && mode_ != OpenMode::ReadOnly) mode_ = OpenMode::ReadOnly;

    if (header_.hasMemoFields()) {
        memoPath_ = SiblingPath(path_, QStringLiteral("FPT"), *fs_);
        if (!fs_->exists(memoPath_)) ThrowDbError(ecDbDamagedMemo, fileName(memoPath_) + QStringLiteral(" is missing"));
        memo_.open(*fs_, memoPath_, mode_ != OpenMode::ReadOnly);
    }
    blank_.assign(size_t(header_.recordLength), ' ');
    if (writable && header_.transaction != 0 && (exclusive || dbf_.lock(true))) {
        // An interrupted change may have left part of a new record after the
        // last one the header counts (the count is written after the record).
        const qint64 end = header_.recordOffset(header_.recordCount + 1);
        if (fileSize_ > end + 1) {
            const char eof = char(kDbfEof);
            dbf_.truncate(end);
            dbf_.writeAt(end, &eof, 1);
            dbf_.sync();
            fileSize_ = end + 1;
        }
        if (!exclusive) dbf_.lock(false);
    }
    mapFile();
    flagOnDisk_ = header_.transaction != 0;
}

void TableFile::readHeader() {
    fileSize_ = dbf_.size();
    char fixed[32] = {};
    const qint64 first = std::min<qint64>(fileSize_, 32);
    if (first > 0 && !dbf_.readAt(0, fixed, first)) ThrowIoError(QStringLiteral("cannot read"), path_);
    const int headerLength = uint8_t(fixed[8]) | uint8_t(fixed[9]) << 8;
    QByteArray head(std::max<qint64>(first, std::min<qint64>(fileSize_, headerLength)), '\0');
    if (!head.isEmpty() && !dbf_.readAt(0, head.data(), head.size())) ThrowIoError(QStringLiteral("cannot read"), path_);
    header_ = ParseDbfHeader(head.constData(), head.size(), fileSize_, name());
}

void TableFile::close() {
    unlock(0);
    unmap();
    memo_.close();
    dbf_.close();
}

void TableFile::reopenAfterPack() {
    close();
    if (!dbf_.open(*fs_, path_, true)) ThrowIoError(QStringLiteral("cannot open"), path_);
    dbf_.lock(true);
    fileSize_ = dbf_.size();
    QByteArray head(int(std::min<qint64>(fileSize_, header_.headerLength)), '\0');
    if (!dbf_.readAt(0, head.data(), head.size())) ThrowIoError(QStringLiteral("cannot read"), path_);
    header_ = ParseDbfHeader(head.constData(), head.size(), fileSize_, name());
    if (!memoPath_.isEmpty()) memo_.open(*fs_, memoPath_, true);
    mapFile();
    flagOnDisk_ = true;
}

void TableFile::mapFile() {
    unmap();
    fileSize_ = dbf_.size();
    const size_t page = size_t(::sysconf(_SC_PAGESIZE));
    // Room to grow by half again (at least 64 KiB) before appends remap.
    size_t len = size_t(fileSize_) + std::max(size_t(fileSize_) / 2, size_t(1) << 16);
    len = (len + page - 1) / page * page;
    map_ = dbf_.map(len);
    mapLen_ = len;
}

void TableFile::unmap() {
    if (map_) dbf_.unmap();
    map_ = nullptr;
    mapLen_ = 0;
}

void TableFile::writeFixedHeader() {
    const QByteArray fixed = BuildDbfFixedHeader(header_);
    dbf_.writeAt(0, fixed.constData(), fixed.size());
}

void TableFile::writeRecord(uint32_t recno, const char* data, qint64 length) {
    dbf_.writeAt(header_.recordOffset(recno), data, length);
    dataWritten_ = true;
}

uint32_t TableFile::appendBlank() {
    const uint32_t r = header_.recordCount + 1;
    if (r == 0) ThrowDbError(ecDbBadDefinition, name() + QStringLiteral(": table full"));
    const qint64 offset = header_.recordOffset(r);
    std::vector<char> bytes(blank_);
    bytes.push_back(char(kDbfEof));
    dbf_.writeAt(offset, bytes.data(), qint64(bytes.size()));
    dataWritten_ = true;
    // The count is written after the record, so a crash between leaves the old count.
    header_.recordCount = r;
    writeFixedHeader();
    fileSize_ = std::max(fileSize_, offset + qint64(bytes.size()));
    if (fileSize_ > qint64(mapLen_)) mapFile();
    return r;
}

uint32_t TableFile::appendMemo(const QByteArray& data, bool inBatch) {
    const uint32_t block = memo_.append(data);
    memoWritten_ = true;
    // The memo reaches the disk before the record points at it.
    if (!inBatch) memo_.sync(), memoWritten_ = false;
    return block;
}

uint32_t TableFile::memoBlock(const char* record, int field) const {
    const DbfField& f = header_.fields[size_t(field)];
    const char* p = record + f.offset;
    if (f.binaryMemo) return le32(p);
    uint64_t v = 0;
    bool digits = false;
    for (int i = 0; i < f.width; ++i) {
        const char c = p[i];
        if (c == ' ' || c == '\0') {
            if (digits) break;
            continue;
        }
        if (c < '0' || c > '9') ThrowDbError(ecDbDamagedTable, name() + QStringLiteral(": memo pointer of %1 is not a number").arg(QString::fromLatin1(f.name)));
        v = v * 10 + uint64_t(c - '0');
        digits = true;
        if (v > 0xFFFFFFFFull) ThrowDbError(ecDbDamagedTable, name() + QStringLiteral(": memo pointer of %1 is too large").arg(QString::fromLatin1(f.name)));
    }
    return uint32_t(v);
}

void TableFile::lockForUpdate() {
    if (mode_ != OpenMode::Shared) return;
    // One writer at a time: the update lock covers the change and its index write.
    const QDateTime until = QDateTime::currentDateTime().addSecs(lockTimeout());
    while (!dbf_.lockByte(kLockBase, true)) {
        if (QDateTime::currentDateTime() >= until) ThrowDbError(ecDbRecordLocked, name() + QStringLiteral(" is being updated elsewhere"));
        QThread::msleep(50);
    }
}

void TableFile::unlockUpdate() {
    if (mode_ == OpenMode::Shared) dbf_.lockByte(kLockBase, false);
}

void TableFile::markChanging() {
    if (flagOnDisk_) return;
    header_.transaction = 1;
    StampUpdateDate(header_, QDate::currentDate());
    writeFixedHeader();
    // The mark must be on the disk before any of the writes it guards.
    dbf_.sync();
    flagOnDisk_ = true;
}

void TableFile::commitRecords(bool indexChanged) {
    // Records and memos reach the disk before the index that names them.
    if (memo_.isOpen() && memoWritten_) memo_.sync();
    if (indexChanged) {
        // The table counts the change before any index file is replaced, so
        // an index file whose replacement did not reach the disk is known
        // by its older count (the mark cleared at the end cannot vouch for it).
        header_.changeCounter = nextCounter(header_.changeCounter);
        if (!flagOnDisk_) header_.transaction = 1, flagOnDisk_ = true;
        writeFixedHeader();
        dataWritten_ = true;
    }
    if (dataWritten_) dbf_.sync();
    memoWritten_ = dataWritten_ = false;
}

void TableFile::endCommit() {
    if (!flagOnDisk_) return;
    header_.transaction = 0;
    writeFixedHeader();
    flagOnDisk_ = false;
}

bool TableFile::refreshHeader() {
    if (mode_ != OpenMode::Shared) return false;
    char fixed[32];
    if (!dbf_.readAt(0, fixed, 32)) return false;
    const uint32_t count = le32(fixed + 4);
    if (header_.recordOffset(count + 1) <= dbf_.size()) header_.recordCount = count;
    // Other writers count their changes too.
    header_.changeCounter = le32(fixed + 16);
    if (dbf_.size() > qint64(mapLen_)) mapFile();
    fileSize_ = dbf_.size();
    return true;
}

bool TableFile::rlock(uint32_t recno) {
    if (mode_ != OpenMode::Shared) return true;
    if (locks_.count(recno)) return true;
    const QDateTime until = QDateTime::currentDateTime().addSecs(lockTimeout());
    while (!dbf_.lockByte(kLockBase + recno, true)) {
        if (QDateTime::currentDateTime() >= until) return false;
        QThread::msleep(50);
    }
    locks_.insert(recno);
    return true;
}

void TableFile::unlock(uint32_t recno) {
    if (!dbf_.isOpen()) return;
    if (recno == 0) {
        for (uint32_t r : locks_) dbf_.lockByte(kLockBase + r, false);
        locks_.clear();
    } else if (locks_.erase(recno)) {
        dbf_.lockByte(kLockBase + recno, false);
    }
}

}  // namespace orv
