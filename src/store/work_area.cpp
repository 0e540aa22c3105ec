#include "store/work_area.h"

#include "common/atomic_file.h"
#include "store/db_error.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {
namespace {

constexpr off_t kLockBase = 0x40000000;  // record r is locked at kLockBase + r; the update lock at kLockBase
constexpr char kNotDeleted[] = ".NOT.DELETED()";

QString fileName(const QString& path) { return QFileInfo(path).fileName(); }

void renameOver(FileSystem& fs, const QString& from, const QString& to) {
    if (!fs.rename(from, to)) ThrowIoError(QStringLiteral("cannot replace"), to);
}

void syncFolderOf(FileSystem& fs, const QString& path) {
    if (!fs.syncFolder(FolderOf(path))) ThrowIoError(QStringLiteral("cannot flush the folder of"), path);
}

// The next value of a change counter (0 is kept for "not counted").
uint32_t nextCounter(uint32_t c) { return c + 1 == 0 ? 1 : c + 1; }

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

// Buffered sequential writer for pack.
class SequentialWriter {
public:
    explicit SequentialWriter(FileHandle& f) : f_(f) { buf_.reserve(1 << 20); }
    void write(const char* p, size_t n) {
        buf_.insert(buf_.end(), p, p + n);
        if (buf_.size() >= (1 << 20)) flush();
    }
    void flush() {
        if (buf_.empty()) return;
        f_.writeAt(pos_, buf_.data(), qint64(buf_.size()));
        pos_ += qint64(buf_.size());
        buf_.clear();
    }
    qint64 position() const { return pos_ + qint64(buf_.size()); }

private:
    FileHandle& f_;
    std::vector<char> buf_;
    qint64 pos_ = 0;
};

}  // namespace

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

// ---- opening and creating ---------------------------------------------------------

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

void WorkArea::loadStructuralIndex() {
    const QString cdx = SiblingPath(path_, QStringLiteral("CDX"), *fs_);
    if (fs_->exists(cdx)) {
        try {
            loadIndexFile(cdx, true);
            return;
        } catch (const EDatabase&) {
            // Not even the tag definitions can be read: set the file aside so
            // the table opens, and let the caller build its tag anew.
            if (!readOnly()) {
                fs_->remove(cdx + ".bad");
                fs_->rename(cdx, cdx + ".bad");
            }
        }
    }
    if ((header_.flags & kDbfFlagStructuralCdx) && !readOnly()) {
        header_.flags &= uint8_t(~kDbfFlagStructuralCdx);
        writeFixedHeader();
    }
}

void WorkArea::loadIndexFile(const QString& path, bool structural) {
    const QByteArray bytes = ReadWholeFile(*fs_, path);
    const std::vector<CdxTagInfo> dir = ReadCdxDirectory(bytes, fileName(path));
    // An index that missed a change of the table (its counter differs from
    // the table's) cannot be trusted, whatever its record numbers say.
    const bool missedChange = header_.changeCounter != 0 && ReadCdxChangeCounter(bytes) != header_.changeCounter;
    const int fileIdx = int(indexPaths_.size());
    indexPaths_.push_back(path);
    indexDirty_.push_back(false);
    indexStamp_.push_back(fs_->stamp(path));
    (void)structural;
    bool anyStale = false;
    for (const CdxTagInfo& info : dir) {
        std::unique_ptr<IndexTag> t;
        try {
            t = std::make_unique<IndexTag>(info, header_);
        } catch (const EDatabase& e) {
            unusable_.push_back({info, e.message()});
            continue;
        }
        t->fileIndex = fileIdx;
        bool stale = header_.transaction != 0 || missedChange;
        if (!stale) {
            try {
                std::vector<char> keys;
                std::vector<uint32_t> recnos;
                ReadCdxKeys(bytes, t->info(), t->fill(), keys, recnos, fileName(path));
                for (uint32_t r : recnos)
                    if (r == 0 || r > header_.recordCount) stale = true;
                if (!stale) t->assignSorted(std::move(keys), std::move(recnos));
            } catch (const EDatabase&) {
                stale = true;
            }
        }
        anyStale = anyStale || stale;
        tags_.push_back(std::move(t));
        tagStale_.push_back(stale);
    }
    if (anyStale) {
        for (size_t i = 0; i < tags_.size(); ++i)
            if (tagStale_[i]) rebuildTag(*tags_[i], 0, 100), tagStale_[i] = false;
        indexDirty_[size_t(fileIdx)] = true;
        if (!readOnly() && mode_ == OpenMode::Exclusive) {
            flagOnDisk_ = true;
            flush();
        }
    }
}

// ---- helpers --------------------------------------------------------------------------

void WorkArea::report(int percent) const {
    if (settings_ && settings_->gauge) settings_->gauge(std::clamp(percent, 0, 100));
}

void WorkArea::rebuildTag(IndexTag& tag, int from, int to) {
    const uint32_t n = header_.recordCount;
    const size_t kl = size_t(tag.keyLength());
    std::vector<char> keys;
    std::vector<uint32_t> recnos;
    keys.reserve(size_t(n) * kl);
    recnos.reserve(n);
    std::vector<char> key(kl);
    int last = -1;
    for (uint32_t r = 1; r <= n; ++r) {
        const char* rec = recordAt(r);
        if (tag.admits(rec, r)) {
            tag.makeKey(rec, r, key.data());
            keys.insert(keys.end(), key.begin(), key.end());
            recnos.push_back(r);
        }
        if ((r & 1023) == 0) {
            const int pct = from + int(qint64(to - from) * r / n * 9 / 10);
            if (pct != last) report(last = pct);
        }
    }
    tag.assign(std::move(keys), std::move(recnos));
    report(to);
    ++indexVersion_;
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

void WorkArea::writeIndexFiles() {
    for (size_t f = 0; f < indexPaths_.size(); ++f) {
        if (!indexDirty_[f]) continue;
        std::vector<CdxTagContent> contents;
        for (size_t i = 0; i < tags_.size(); ++i) {
            IndexTag& t = *tags_[i];
            if (t.fileIndex != int(f)) continue;
            if (tagStale_[i]) {
                rebuildTag(t, 0, 100);
                tagStale_[i] = false;
            }
            CdxTagContent c;
            c.info = t.info();
            c.fill = t.fill();
            c.keys = t.keys().data();
            c.recnos = t.recnos().data();
            c.count = t.size();
            contents.push_back(c);
        }
        const QByteArray bytes = BuildCdxFile(contents, std::max<uint32_t>(header_.recordCount, 1), header_.changeCounter);
        QString error;
        if (!ReplaceFileDurably(*fs_, indexPaths_[f], bytes, &error)) throw EInOutError(ecDiskWrite, error);
        indexDirty_[f] = false;
        indexStamp_[f] = fs_->stamp(indexPaths_[f]);
        if (f == 0 && indexPaths_[f] == structuralIndexPath() && !(header_.flags & kDbfFlagStructuralCdx)) {
            header_.flags |= kDbfFlagStructuralCdx;
            writeFixedHeader();
        }
    }
}

QString WorkArea::structuralIndexPath() const { return SiblingPath(path_, QStringLiteral("CDX"), *fs_); }

void WorkArea::beginUpdate() { ++batch_; }

void WorkArea::endUpdate() {
    if (batch_ > 0 && --batch_ == 0) {
        flush();
        if (mode_ == OpenMode::Shared) dbf_.lockByte(kLockBase, false);
    }
}

// ---- navigation -----------------------------------------------------------------------------

const char* WorkArea::recordAt(uint32_t recno) const {
    return map_ + header_.recordOffset(recno);
}

const char* WorkArea::recordData() const { return eof_ ? blank_.data() : recordAt(recno_); }

QByteArray WorkArea::getRecord() const { return QByteArray(recordData(), header_.recordLength); }

bool WorkArea::deleted() const { return !eof_ && recordAt(recno_)[0] == kDbfDeleted; }

bool WorkArea::isVisible(uint32_t recno) const {
    const char* r = recordAt(recno);
    if (settings_ && settings_->deleted && r[0] == kDbfDeleted) return false;
    if (query_ && !query_->isTrue(ExprContext{r, recno, settings_ && settings_->exact})) return false;
    return true;
}

bool WorkArea::visibilityImplied() const {
    const bool deletedOn = settings_ && settings_->deleted;
    if (order_ == 0) return !deletedOn && !query_;
    const IndexTag& t = *tags_[size_t(order_ - 1)];
    const QByteArray tagFor = t.forCondition() ? t.forCondition()->canonical() : QByteArray();
    if (deletedOn && tagFor != kNotDeleted) return false;
    if (query_ && query_->canonical() != tagFor) return false;
    return true;
}

bool WorkArea::orderIsAllVisible() const { return visibilityImplied(); }

size_t WorkArea::orderSize() const {
    if (order_ == 0) return header_.recordCount;
    const_cast<WorkArea*>(this)->ensureFresh(order_);
    return tags_[size_t(order_ - 1)]->size();
}

uint32_t WorkArea::recnoAtOrderPosition(size_t pos) const {
    if (order_ == 0) return uint32_t(pos + 1);
    const IndexTag& t = *tags_[size_t(order_ - 1)];
    return t.descending() ? t.recnoAt(t.size() - 1 - pos) : t.recnoAt(pos);
}

void WorkArea::ensureFresh(int order) {
    if (order > 0 && tagStale_[size_t(order - 1)]) {
        rebuildTag(*tags_[size_t(order - 1)], 0, 100);
        tagStale_[size_t(order - 1)] = false;
        indexDirty_[size_t(tags_[size_t(order - 1)]->fileIndex)] = true;
    }
}

bool WorkArea::locateInOrder(size_t& pos) const {
    if (posValid_ && posRecno_ == recno_ && posVersion_ == indexVersion_) {
        pos = pos_;
        return posFound_;
    }
    bool found;
    if (order_ == 0) {
        pos = recno_ - 1;
        found = recno_ >= 1 && recno_ <= header_.recordCount;
    } else {
        const IndexTag& t = *tags_[size_t(order_ - 1)];
        const size_t n = t.size();
        std::vector<char> key(size_t(t.keyLength()));
        const char* rec = recordAt(recno_);
        t.makeKey(rec, recno_, key.data());
        const size_t i = t.lowerBound(key.data(), recno_);
        found = i < n && t.recnoAt(i) == recno_ && std::memcmp(t.keyAt(i), key.data(), key.size()) == 0 && t.admits(rec, recno_);
        pos = t.descending() ? (found ? n - 1 - i : n - i) : i;
    }
    posValid_ = true;
    posRecno_ = recno_;
    posVersion_ = indexVersion_;
    pos_ = pos;
    posFound_ = found;
    return found;
}

size_t WorkArea::orderPositionOf(uint32_t recno) const {
    if (recno < 1 || recno > header_.recordCount) return orderSize();
    if (order_ == 0) return recno - 1;
    const_cast<WorkArea*>(this)->ensureFresh(order_);
    const IndexTag& t = *tags_[size_t(order_ - 1)];
    std::vector<char> key(size_t(t.keyLength()));
    t.makeKey(recordAt(recno), recno, key.data());
    const size_t i = t.find(key.data(), recno);
    if (i == t.size()) return i;
    return t.descending() ? t.size() - 1 - i : i;
}

void WorkArea::setEof() {
    recno_ = header_.recordCount + 1;
    eof_ = true;
    posValid_ = false;
}

void WorkArea::setCurrent(uint32_t recno) {
    recno_ = recno;
    eof_ = bof_ = false;
}

bool WorkArea::walk(size_t begin, bool forward, long count) {
    const size_t size = orderSize();
    const bool all = visibilityImplied();
    auto take = [&](size_t q) {
        const uint32_t r = recnoAtOrderPosition(q);
        if (!(all || isVisible(r)) || --count > 0) return false;
        setCurrent(r);
        pos_ = q, posFound_ = true, posRecno_ = r, posVersion_ = indexVersion_, posValid_ = true;
        return true;
    };
    if (forward) {
        for (size_t q = begin; q < size; ++q)
            if (take(q)) return true;
    } else {
        for (size_t q = std::min(begin, size); q-- > 0;)
            if (take(q)) return true;
    }
    return false;
}

void WorkArea::goTop() {
    refreshShared();
    ensureFresh(order_);
    bof_ = false;
    if (!walk(0, true, 1)) {
        setEof();
        bof_ = true;
    }
}

void WorkArea::goBottom() {
    refreshShared();
    ensureFresh(order_);
    bof_ = false;
    if (!walk(orderSize(), false, 1)) {
        setEof();
        bof_ = true;
    }
}

void WorkArea::skip(long n) {
    ensureFresh(order_);
    if (n == 0) return;
    if (n > 0) {
        if (eof_) return;
        size_t p;
        const bool found = locateInOrder(p);
        bof_ = false;
        if (!walk(found ? p + 1 : p, true, n)) setEof();
        return;
    }
    size_t p = orderSize();
    if (!eof_) locateInOrder(p);
    if (!walk(p, false, -n)) {
        goTop();
        bof_ = true;
    }
}

void WorkArea::go(uint32_t recno) {
    if (recno >= 1 && recno <= header_.recordCount) {
        setCurrent(recno);
        posValid_ = false;
    } else {
        setEof();
        bof_ = false;
    }
}

bool WorkArea::seek(const QByteArray& keyBytes) {
    if (order_ == 0) ThrowDbError(ecDbNoSuchTag, fileName(path_) + QStringLiteral(": seek needs an index order"));
    ensureFresh(order_);
    const IndexTag& t = *tags_[size_t(order_ - 1)];
    const int n = std::min<int>(int(keyBytes.size()), t.keyLength());
    QByteArray wanted = keyBytes.left(n);
    if (settings_ && settings_->exact && t.fill() == ' ') wanted.append(QByteArray(t.keyLength() - n, ' '));
    const int len = int(wanted.size());
    const size_t lo = t.lowerBoundPrefix(wanted.constData(), len);
    size_t hi = lo;
    while (hi < t.size() && std::memcmp(t.keyAt(hi), wanted.constData(), size_t(len)) == 0) ++hi;
    const size_t size = t.size();
    // Walk the matching block in presented order.
    for (size_t k = 0; k < hi - lo; ++k) {
        const size_t i = t.descending() ? hi - 1 - k : lo + k;
        if (isVisible(t.recnoAt(i))) {
            setCurrent(t.recnoAt(i));
            posValid_ = false;
            return true;
        }
    }
    if (settings_ && settings_->softSeek) {
        // The first visible entry after where the key would stand.
        size_t q = t.descending() ? size - lo : hi;
        for (; q < size; ++q) {
            const uint32_t r = recnoAtOrderPosition(q);
            if (isVisible(r)) {
                setCurrent(r);
                posValid_ = false;
                return false;
            }
        }
    }
    setEof();
    return false;
}

// ---- writing ---------------------------------------------------------------------------------

void WorkArea::writeRecord(uint32_t recno, const char* data, const char* old) {
    dbf_.writeAt(header_.recordOffset(recno), data, header_.recordLength);
    dataWritten_ = true;
    updateIndexes(recno, old, data);
}

void WorkArea::updateIndexes(uint32_t recno, const char* oldRecord, const char* newRecord) {
    std::vector<char> ko, kn;
    for (size_t i = 0; i < tags_.size(); ++i) {
        if (tagStale_[i]) continue;
        IndexTag& t = *tags_[i];
        const bool oldIn = oldRecord && t.admits(oldRecord, recno);
        const bool newIn = t.admits(newRecord, recno);
        ko.resize(size_t(t.keyLength()));
        kn.resize(size_t(t.keyLength()));
        if (oldIn) t.makeKey(oldRecord, recno, ko.data());
        if (newIn) t.makeKey(newRecord, recno, kn.data());
        if (oldIn == newIn && (!oldIn || ko == kn)) continue;
        indexDirty_[size_t(t.fileIndex)] = true;
        ++indexVersion_;
        // Inside a long batch, sorting once at the end beats many inserts.
        if (batch_ > 0 && ++batchChanges_ > std::max<size_t>(2000, t.size() / 16)) {
            tagStale_[i] = true;
            continue;
        }
        if (oldIn) t.remove(ko.data(), recno);
        if (newIn) t.insert(kn.data(), recno);
    }
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

// ---- locks -------------------------------------------------------------------------------------

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

// ---- indexes -----------------------------------------------------------------------------------

int WorkArea::setOrder(int order) {
    const int previous = order_;
    if (order < 0 || order > int(tags_.size())) order = 0;
    order_ = order;
    ensureFresh(order_);
    ++indexVersion_;
    return previous;
}

int WorkArea::tagArea(const QByteArray& name) const {
    const QByteArray upper = name.trimmed().toUpper();
    for (size_t i = 0; i < tags_.size(); ++i)
        if (tags_[i]->name() == upper) return int(i + 1);
    return 0;
}

QByteArray WorkArea::tagName(int order) const {
    if (order < 1 || order > int(tags_.size())) return {};
    return tags_[size_t(order - 1)]->name();
}

int WorkArea::indexTag(const QString& indexFile, const QByteArray& tagName, const QByteArray& keyExpr, bool unique,
                       bool descending, const QByteArray& forExpr) {
    requireWritable();
    const QByteArray name = tagName.trimmed().toUpper();
    bool nameOk = !name.isEmpty() && name.size() <= 10 && std::isalpha(static_cast<unsigned char>(name[0]));
    for (char c : name) nameOk = nameOk && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
    if (!nameOk) ThrowDbError(ecDbBadDefinition, QStringLiteral("tag name \"%1\"").arg(QString::fromLatin1(tagName)));
    CdxTagInfo info;
    info.name = name;
    info.keyExpr = keyExpr.trimmed();
    info.forExpr = forExpr.trimmed();
    info.descending = descending;
    info.options = kCdxCompact | kCdxCompound | (unique ? kCdxUnique : 0) | (info.forExpr.isEmpty() ? 0 : kCdxHasFor);
    auto tag = std::make_unique<IndexTag>(info, header_);

    const QString file = indexFile.trimmed().isEmpty() ? structuralIndexPath() : QFileInfo(indexFile).absoluteFilePath();
    int fileIdx = -1;
    for (size_t i = 0; i < indexPaths_.size(); ++i)
        if (QFileInfo(indexPaths_[i]).absoluteFilePath() == QFileInfo(file).absoluteFilePath()) fileIdx = int(i);
    int order = 0;
    change([&] {
        if (fileIdx < 0) {
            if (file == structuralIndexPath() && !indexPaths_.empty()) {
                // The structural file comes first.
                indexPaths_.insert(indexPaths_.begin(), file);
                indexDirty_.insert(indexDirty_.begin(), false);
                indexStamp_.insert(indexStamp_.begin(), 0);
                for (auto& t : tags_) ++t->fileIndex;
                fileIdx = 0;
            } else {
                fileIdx = int(indexPaths_.size());
                indexPaths_.push_back(file);
                indexDirty_.push_back(false);
                indexStamp_.push_back(0);
            }
        }
        tag->fileIndex = fileIdx;
        rebuildTag(*tag, 0, 100);
        for (size_t i = 0; i < tags_.size(); ++i)
            if (tags_[i]->fileIndex == fileIdx && tags_[i]->name() == name) order = int(i + 1);
        if (order > 0) {
            tags_[size_t(order - 1)] = std::move(tag);
            tagStale_[size_t(order - 1)] = false;
        } else {
            tags_.push_back(std::move(tag));
            tagStale_.push_back(false);
            order = int(tags_.size());
        }
        indexDirty_[size_t(fileIdx)] = true;
        order_ = order;
        ++indexVersion_;
    });
    return order;
}

void WorkArea::openIndex(const QString& indexFile) {
    const QString abs = QFileInfo(indexFile).absoluteFilePath();
    for (const QString& p : indexPaths_)
        if (QFileInfo(p).absoluteFilePath() == abs) return;
    loadIndexFile(abs, false);
}

void WorkArea::forgetIndexes() {
    tags_.clear();
    tagStale_.clear();
    unusable_.clear();
    indexPaths_.clear();
    indexDirty_.clear();
    indexStamp_.clear();
    order_ = 0;
    ++indexVersion_;
}

void WorkArea::closeIndexes() {
    flush();
    forgetIndexes();
}

void WorkArea::reindex() {
    requireWritable();
    change([&] {
        const int n = int(tags_.size());
        for (int i = 0; i < n; ++i) {
            rebuildTag(*tags_[size_t(i)], 100 * i / n, 100 * (i + 1) / n);
            tagStale_[size_t(i)] = false;
            indexDirty_[size_t(tags_[size_t(i)]->fileIndex)] = true;
        }
        for (size_t f = 0; f < indexDirty_.size(); ++f) indexDirty_[f] = true;
    });
    report(100);
}

// ---- filter -----------------------------------------------------------------------------------

void WorkArea::setQuery(const QByteArray& expr) {
    if (expr.trimmed().isEmpty()) {
        query_.reset();
        queryText_.clear();
        return;
    }
    auto q = Expression::compile(expr, header_);
    if (q->type() != ExprType::Logical)
        ThrowDbError(ecDbBadExpression, QStringLiteral("\"%1\" is not a condition").arg(QString::fromLatin1(expr)));
    query_ = std::move(q);
    queryText_ = expr;
}

uint32_t WorkArea::queryRecCount() const {
    const bool deletedOn = settings_ && settings_->deleted;
    // A tag whose FOR condition is the filter already holds exactly the passing records.
    for (size_t i = 0; i < tags_.size(); ++i) {
        const IndexTag& t = *tags_[i];
        if (t.unique() || tagStale_[i] || !t.forCondition()) continue;
        const QByteArray tagFor = t.forCondition()->canonical();
        if (deletedOn && tagFor != kNotDeleted) continue;
        if ((query_ && query_->canonical() == tagFor) || (!query_ && tagFor == kNotDeleted && deletedOn))
            return uint32_t(t.size());
    }
    uint32_t count = 0;
    for (uint32_t r = 1; r <= header_.recordCount; ++r)
        if (isVisible(r)) ++count;
    return count;
}

// ---- pack --------------------------------------------------------------------------------------

void WorkArea::pack() {
    requireWritable();
    if (mode_ != OpenMode::Exclusive) ThrowDbError(ecDbTableInUse, fileName(path_) + QStringLiteral(": packing needs exclusive use"));
    flush();
    report(0);
    const QString tmpDbf = path_ + ".tmp";
    const QString newDbf = path_ + ".new";
    const QString newFpt = memoPath_.isEmpty() ? QString() : memoPath_ + ".new";
    const bool withTags = !tags_.empty();
    const int packEnd = withTags ? 80 : 100;

    try {
        FileHandle out;
        if (!out.create(*fs_, tmpDbf)) ThrowIoError(QStringLiteral("cannot create"), tmpDbf);
        std::unique_ptr<MemoWriter> memoWriter;
        if (memo_.isOpen()) memoWriter = std::make_unique<MemoWriter>(*fs_, newFpt, memo_.blockSize());
        DbfHeader h = header_;
        h.transaction = 1;  // the index is rebuilt before this is cleared
        h.changeCounter = nextCounter(h.changeCounter);
        StampUpdateDate(h, QDate::currentDate());
        const QByteArray head = BuildDbfHeader(h);
        SequentialWriter w(out);
        w.write(head.constData(), size_t(head.size()));
        // Keep whatever a foreign writer put between the descriptors and the first record.
        if (header_.headerLength > head.size()) {
            std::vector<char> rest(size_t(header_.headerLength - head.size()));
            if (!dbf_.readAt(head.size(), rest.data(), qint64(rest.size()))) ThrowIoError(QStringLiteral("cannot read"), path_);
            w.write(rest.data(), rest.size());
        }
        uint32_t kept = 0;
        const uint32_t n = header_.recordCount;
        std::vector<char> rec(size_t(header_.recordLength));
        int last = -1;
        for (uint32_t r = 1; r <= n; ++r) {
            const char* src = recordAt(r);
            if (src[0] != kDbfDeleted) {
                std::memcpy(rec.data(), src, rec.size());
                if (memoWriter) {
                    for (size_t fi = 0; fi < header_.fields.size(); ++fi) {
                        const DbfField& f = header_.fields[fi];
                        if (!f.isMemo()) continue;
                        const uint32_t block = memoBlock(src, int(fi));
                        QByteArray pointer(f.width, ' ');
                        if (block != 0) {
                            const uint32_t newBlock = memoWriter->add(memo_.read(block));
                            if (f.binaryMemo) {
                                for (int b = 0; b < 4; ++b) pointer[b] = char((newBlock >> (8 * b)) & 0xFF);
                            } else {
                                pointer = QByteArray::number(newBlock).rightJustified(f.width, ' ');
                            }
                        } else if (f.binaryMemo) {
                            pointer = QByteArray(4, '\0');
                        }
                        std::memcpy(rec.data() + f.offset, pointer.constData(), size_t(f.width));
                    }
                }
                w.write(rec.data(), rec.size());
                ++kept;
            }
            if ((r & 1023) == 0) {
                const int pct = int(qint64(packEnd) * r / n);
                if (pct != last) report(last = pct);
            }
        }
        const char eof = char(kDbfEof);
        w.write(&eof, 1);
        w.flush();
        h.recordCount = kept;
        const QByteArray fixed = BuildDbfFixedHeader(h);
        out.writeAt(0, fixed.constData(), fixed.size());
        out.sync();
        if (memoWriter) memoWriter->finish();
        out.close();
        // The new memo file's name must be on the disk before the commit
        // point, or a power cut could leave a finished pack without it.
        syncFolderOf(*fs_, tmpDbf);
        // Commit point: the complete new table under its ".new" name.
        renameOver(*fs_, tmpDbf, newDbf);
        syncFolderOf(*fs_, newDbf);
    } catch (...) {
        fs_->remove(tmpDbf);
        if (!newFpt.isEmpty()) fs_->remove(newFpt);
        throw;
    }
    if (!newFpt.isEmpty()) renameOver(*fs_, newFpt, memoPath_);
    renameOver(*fs_, newDbf, path_);
    syncFolderOf(*fs_, path_);

    // Reopen the new files; every tag is rebuilt for the new record numbers.
    unlock(0);
    unmap();
    memo_.close();
    dbf_.close();
    if (!dbf_.open(*fs_, path_, true)) ThrowIoError(QStringLiteral("cannot open"), path_);
    dbf_.lock(true);
    fileSize_ = dbf_.size();
    QByteArray head(int(std::min<qint64>(fileSize_, header_.headerLength)), '\0');
    if (!dbf_.readAt(0, head.data(), head.size())) ThrowIoError(QStringLiteral("cannot read"), path_);
    header_ = ParseDbfHeader(head.constData(), head.size(), fileSize_, fileName(path_));
    if (!memoPath_.isEmpty()) memo_.open(*fs_, memoPath_, true);
    mapFile();
    flagOnDisk_ = true;
    const int n = int(tags_.size());
    for (int i = 0; i < n; ++i) {
        rebuildTag(*tags_[size_t(i)], packEnd + (100 - packEnd) * i / n, packEnd + (100 - packEnd) * (i + 1) / n);
        tagStale_[size_t(i)] = false;
        indexDirty_[size_t(tags_[size_t(i)]->fileIndex)] = true;
    }
    if (indexPaths_.empty() || indexPaths_[0] != structuralIndexPath()) header_.flags &= uint8_t(~kDbfFlagStructuralCdx);
    flush();
    ++indexVersion_;
    goTop();
    report(100);
}

}  // namespace orv
