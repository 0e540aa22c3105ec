#pragma once
// The files of one open table: the .DBF (opened and locked, its records
// mapped into memory, its header with the transaction byte and the change
// counter) and its .FPT memo file. Every lock is taken here: the file lock
// of the open (exclusive, or shared with other programs), the update lock
// one shared writer holds for a whole change, and record locks.
//
// A change is made in this order: markChanging() puts the transaction byte
// on the disk before the first write; records and memos are written;
// commitRecords() flushes them and counts the change in the header; the
// owner writes the index files; endCommit() clears the byte.
#include "store/dbf_format.h"
#include "store/engine_settings.h"
#include "store/file_handle.h"
#include "store/memo_file.h"

#include <QByteArray>
#include <QString>

#include <set>
#include <vector>

namespace orv {

class TableFile {
public:
    // Writes a new empty table (and memo file when a field needs one); an
    // index file of the same name left from an older table is removed.
    static void create(const QString& path, std::vector<DbfField> fields, int memoBlockSize, FileSystem& fs);

    // Opens the table, first finishing or discarding what an interrupted
    // pack left, and drops part of a record an interrupted append left after
    // the counted ones. A Visual FoxPro table is opened read-only. Raises
    // EDatabase or EInOutError with the file named.
    void open(FileSystem& fs, const QString& path, OpenMode mode, const EngineSettings* settings);
    // Releases the locks, the mapping and the files (nothing is written).
    void close();
    // Opens the files a pack has just put in place of the old ones, with
    // the change still marked (the tags are to be rebuilt).
    void reopenAfterPack();

    bool isOpen() const { return dbf_.isOpen(); }
    const QString& path() const { return path_; }
    const QString& memoPath() const { return memoPath_; }
    QString name() const;  // the file name, for messages
    OpenMode mode() const { return mode_; }
    bool readOnly() const { return mode_ == OpenMode::ReadOnly; }
    bool shared() const { return mode_ == OpenMode::Shared; }
    FileSystem& fs() const { return *fs_; }
    const EngineSettings* settings() const { return settings_; }
    // Progress of a long operation through the engine's gauge.
    void report(int percent) const;

    DbfHeader& header() { return header_; }
    const DbfHeader& header() const { return header_; }
    const FileHandle& dbf() const { return dbf_; }
    MemoFile& memo() { return memo_; }
    const MemoFile& memo() const { return memo_; }

    // ---- records ----------------------------------------------------------------------
    // Raw bytes of record r (1..recordCount) in the mapping.
    const char* recordAt(uint32_t recno) const { return map_ + header_.recordOffset(recno); }
    const char* blankRecord() const { return blank_.data(); }
    // Writes the first length bytes of record r (1: only the deletion flag).
    void writeRecord(uint32_t recno, const char* data, qint64 length);
    // Writes a blank record after the last, counts it in the header and
    // returns its number.
    uint32_t appendBlank();
    // Appends a memo; outside a batch it reaches the disk at once, before
    // any record points at it. Returns its block.
    uint32_t appendMemo(const QByteArray& data, bool inBatch);
    // The memo block a record's memo field names, 0 when empty; raises
    // ecDbDamagedTable for a pointer that is not a number.
    uint32_t memoBlock(const char* record, int field) const;
    void writeFixedHeader();

    // ---- a change and its commit -------------------------------------------------------
    // Shared: waits (up to the engine's LockTimeout) for the update lock.
    void lockForUpdate();
    void unlockUpdate();
    // Sets the transaction byte on the disk unless it is already set.
    void markChanging();
    // Treats the table as inside a change, so the next commit ends one (an
    // index rebuilt on open, a pack).
    void assumeChanging() { flagOnDisk_ = true; }
    bool changing() const { return flagOnDisk_; }
    // Flushes memos and records; when an index changed, raises the change
    // counter first (and sets the transaction byte if it was not).
    void commitRecords(bool indexChanged);
    // Clears the transaction byte: the change is complete on the disk.
    void endCommit();
    // Shared: takes the record count and change counter other writers left
    // in the header and maps what they appended. False when the header
    // cannot be read (or the table is not shared).
    bool refreshHeader();

    // ---- record locks ------------------------------------------------------------------
    // Exclusive and read-only tables need none; shared ones retry for the
    // engine's LockTimeout.
    bool rlock(uint32_t recno);
    void unlock(uint32_t recno);  // 0: all

private:
    void openLocked();
    void readHeader();
    void mapFile();
    void unmap();
    int lockTimeout() const;

    QString path_, memoPath_;
    OpenMode mode_ = OpenMode::Exclusive;
    FileSystem* fs_ = &FileSystem::real();
    const EngineSettings* settings_ = nullptr;
    FileHandle dbf_;
    MemoFile memo_;
    DbfHeader header_;
    const char* map_ = nullptr;
    size_t mapLen_ = 0;
    qint64 fileSize_ = 0;
    std::vector<char> blank_;
    bool flagOnDisk_ = false;
    bool dataWritten_ = false;
    bool memoWritten_ = false;
    std::set<uint32_t> locks_;
};

// The sibling of a table file with another extension, matching the case of
// the table's own extension (ORV.DBF -> ORV.CDX, rooms.dbf -> rooms.cdx), or
// an existing file that differs only in the extension's case.
QString SiblingPath(const QString& tablePath, const QString& extension, const FileSystem& fs = FileSystem::real());

}  // namespace orv
