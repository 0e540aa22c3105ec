// The work area's table file: opening the .DBF with its lock (finishing or
// removing what an interrupted pack left), the mapped records, the header
// with its transaction byte and change counter, the commit of a change
// (flush), shared-mode refresh, and record and update locks.
#include "store/work_area.h"

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

namespace {

// Files an interrupted pack or index replacement leaves beside its table.
bool packLeftovers(const FileSystem& fs, const QString& path) {
    const QString fpt = SiblingPath(path, QStringLiteral("FPT"), fs);
    const QString cdx = SiblingPath(path, QStringLiteral("CDX"), fs);
    return fs.exists(path + ".new") || fs.exists(path + ".tmp") || fs.exists(fpt + ".new") || fs.exists(TemporaryOf(cdx)) ||
           fs.exists(TemporaryOf(fpt)) || fs.exists(TemporaryOf(path));
}

// A pack that reached its commit point (the new table complete as NAME.new)
// is finished; one that did not is discarded. True when the table file was
// replaced.
bool recoverInterruptedPack(FileSystem& fs, const QString& path) {
    const QString dbfNew = path + ".new";
    const QString fpt = SiblingPath(path, QStringLiteral("FPT"), fs);
    const QString fptNew = fpt + ".new";
    bool replaced = false;
    if (fs.exists(dbfNew)) {
        if (fs.exists(fptNew)) renameOver(fs, fptNew, fpt);
        renameOver(fs, dbfNew, path);
        replaced = true;
    } else {
        fs.remove(fptNew);
    }
    fs.remove(path + ".tmp");
    // Half-written replacements of the index or of a new table's files.
    for (const QString& f : {path, fpt, SiblingPath(path, QStringLiteral("CDX"), fs)}) fs.remove(TemporaryOf(f));
    syncFolderOf(fs, path);
    return replaced;
}

}  // namespace

std::unique_ptr<WorkArea> WorkArea::open(const QString& path, const QString& alias, OpenMode mode, EngineSettings* settings,
                                         FileSystem& fs) {
    std::unique_ptr<WorkArea> a(new WorkArea);
    a->fs_ = &fs;
    a->path_ = path;
    a->alias_ = alias;
    a->mode_ = mode;
    a->settings_ = settings;
    a->openFiles();
    return a;
}

void WorkArea::openFiles() {
    const bool writable = mode_ != OpenMode::ReadOnly;
    const bool exclusive = mode_ == OpenMode::Exclusive;
    auto openLocked = [&] {
        if (!dbf_.open(*fs_, path_, writable)) ThrowIoError(QStringLiteral("cannot open"), path_);
        if (!dbf_.lock(exclusive))
            ThrowDbError(ecDbTableInUse, fileName(path_) + (exclusive ? QStringLiteral(" is open elsewhere") : QStringLiteral(" is open exclusively elsewhere")));
    };
    if (writable && !fs_->exists(path_) && fs_->exists(path_ + ".new")) {
        // Killed between the two renames of a pack: only the new table is left.
        recoverInterruptedPack(*fs_, path_);
    }
    openLocked();
    // Finishing or discarding an interrupted pack needs the table to itself:
    // a shared open does it only when nobody else has the table open.
    if (writable && packLeftovers(*fs_, path_) && (exclusive || dbf_.lock(true))) {
        if (recoverInterruptedPack(*fs_, path_)) openLocked();
        else if (!exclusive) dbf_.lock(false);
    }
    fileSize_ = dbf_.size();
    char fixed[32] = {};
    const qint64 first = std::min<qint64>(fileSize_, 32);
    if (first > 0 && !dbf_.readAt(0, fixed, first)) ThrowIoError(QStringLiteral("cannot read"), path_);
    const int headerLength = uint8_t(fixed[8]) | uint8_t(fixed[9]) << 8;
    QByteArray head(std::max<qint64>(first, std::min<qint64>(fileSize_, headerLength)), '\0');
    if (!head.isEmpty() && !dbf_.readAt(0, head.data(), head.size())) ThrowIoError(QStringLiteral("cannot read"), path_);
    header_ = ParseDbfHeader(head.constData(), head.size(), fileSize_, fileName(path_));
    if (header_.isVisualFoxPro() && mode_ != OpenMode::ReadOnly) mode_ = OpenMode::ReadOnly;

    if (header_.hasMemoFields()) {
        memoPath_ = SiblingPath(path_, QStringLiteral("FPT"), *fs_);
        if (!fs_->exists(memoPath_))
            ThrowDbError(ecDbDamagedMemo, fileName(memoPath_) + QStringLiteral(" is missing"));
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
    loadStructuralIndex();
    goTop();
}

void WorkArea::mapFile() {
    unmap();
    fileSize_ = dbf_.size();
    const size_t page = size_t(::sysconf(_SC_PAGESIZE));
    size_t len = size_t(fileSize_) + size_t(fileSize_) / 2 + (1u << 20);
    len = (len + page - 1) / page * page;
    map_ = dbf_.map(len);
    mapLen_ = len;
}

void WorkArea::unmap() {
    if (map_) dbf_.unmap();
    map_ = nullptr;
    mapLen_ = 0;
}

void WorkArea::writeFixedHeader() {
    const QByteArray fixed = BuildDbfFixedHeader(header_);
    dbf_.writeAt(0, fixed.constData(), fixed.size());
}

void WorkArea::beginChange() {
    requireWritable();
    if (mode_ == OpenMode::Shared) {
        // One writer at a time: the update lock covers the change and its index write.
        const QDateTime until = QDateTime::currentDateTime().addSecs(std::max(0, settings_ ? settings_->lockTimeout : 1));
        while (!dbf_.lockByte(kLockBase, true)) {
            if (QDateTime::currentDateTime() >= until) ThrowDbError(ecDbRecordLocked, fileName(path_) + QStringLiteral(" is being updated elsewhere"));
            QThread::msleep(50);
        }
        refreshShared();
    }
    if (!flagOnDisk_) {
        header_.transaction = 1;
        StampUpdateDate(header_, QDate::currentDate());
        writeFixedHeader();
        // The mark must be on the disk before any of the writes it guards.
        dbf_.sync();
        flagOnDisk_ = true;
    }
}

void WorkArea::abortChange() {
    if (batch_ == 0 && mode_ == OpenMode::Shared) dbf_.lockByte(kLockBase, false);
}

void WorkArea::endChange() {
    if (batch_ == 0) {
        flush();
        if (mode_ == OpenMode::Shared) dbf_.lockByte(kLockBase, false);
    }
}

void WorkArea::refreshShared() {
    if (mode_ != OpenMode::Shared) return;
    char fixed[32];
    if (!dbf_.readAt(0, fixed, 32)) return;
    const uint32_t count = uint32_t(uint8_t(fixed[4])) | uint32_t(uint8_t(fixed[5])) << 8 |
                           uint32_t(uint8_t(fixed[6])) << 16 | uint32_t(uint8_t(fixed[7])) << 24;
    if (header_.recordOffset(count + 1) <= dbf_.size()) header_.recordCount = count;
    // Other writers count their changes too.
    header_.changeCounter = uint32_t(uint8_t(fixed[16])) | uint32_t(uint8_t(fixed[17])) << 8 |
                            uint32_t(uint8_t(fixed[18])) << 16 | uint32_t(uint8_t(fixed[19])) << 24;
    if (dbf_.size() > qint64(mapLen_)) mapFile();
    fileSize_ = dbf_.size();
    bool changed = false;
    for (size_t i = 0; i < indexPaths_.size(); ++i)
        if (fs_->stamp(indexPaths_[i]) != indexStamp_[i]) changed = true;
    if (changed) {
        const QByteArray current = order_ > 0 ? tags_[size_t(order_ - 1)]->name() : QByteArray();
        const std::vector<QString> paths = indexPaths_;
        forgetIndexes();
        for (size_t i = 0; i < paths.size(); ++i)
            if (fs_->exists(paths[i])) loadIndexFile(paths[i], i == 0);
        order_ = current.isEmpty() ? 0 : tagArea(current);
        ++indexVersion_;
    }
}

void WorkArea::flush() {
    if (!dbf_.isOpen() || readOnly()) return;
    bool dirty = flagOnDisk_;
    for (bool d : indexDirty_) dirty = dirty || d;
    if (!dirty) return;
    // Records and memos reach the disk before the index that names them.
    if (memo_.isOpen() && memoWritten_) memo_.sync();
    bool indexChanged = false;
    for (bool d : indexDirty_) indexChanged = indexChanged || d;
    if (indexChanged) {
        // The table counts the change before any index file is replaced, so
        // an index file whose replacement did not reach the disk is known
        // by its older count (the mark cleared below cannot vouch for it).
        header_.changeCounter = nextCounter(header_.changeCounter);
        // Every open index file carries the new count, changed or not.
        std::fill(indexDirty_.begin(), indexDirty_.end(), true);
        if (!flagOnDisk_) header_.transaction = 1, flagOnDisk_ = true;
        writeFixedHeader();
        dataWritten_ = true;
    }
    if (dataWritten_) dbf_.sync();
    memoWritten_ = dataWritten_ = false;
    writeIndexFiles();
    batchChanges_ = 0;
    if (flagOnDisk_) {
        header_.transaction = 0;
        writeFixedHeader();
        flagOnDisk_ = false;
    }
}

void WorkArea::beginUpdate() { ++batch_; }

void WorkArea::endUpdate() {
    if (batch_ > 0 && --batch_ == 0) {
        flush();
        if (mode_ == OpenMode::Shared) dbf_.lockByte(kLockBase, false);
    }
}

const char* WorkArea::recordAt(uint32_t recno) const {
    return map_ + header_.recordOffset(recno);
}

bool WorkArea::rlock(uint32_t recno) {
    if (mode_ != OpenMode::Shared) return true;
    if (locks_.count(recno)) return true;
    const QDateTime until = QDateTime::currentDateTime().addSecs(std::max(0, settings_ ? settings_->lockTimeout : 1));
    while (!dbf_.lockByte(kLockBase + recno, true)) {
        if (QDateTime::currentDateTime() >= until) return false;
        QThread::msleep(50);
    }
    locks_.insert(recno);
    return true;
}

void WorkArea::unlock(uint32_t recno) {
    if (!dbf_.isOpen()) return;
    if (recno == 0) {
        for (uint32_t r : locks_) dbf_.lockByte(kLockBase + r, false);
        locks_.clear();
    } else if (locks_.erase(recno)) {
        dbf_.lockByte(kLockBase + recno, false);
    }
}

}  // namespace orv
