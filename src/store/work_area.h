#pragma once
// One open table of the data engine (a "work area"): the .DBF with its .FPT
// memo file and its index tags, a current record, an order (natural or a
// tag), a query filter, and every read and write the record-access layer
// needs. Navigation hides deleted records when the engine's Deleted setting
// is on and skips records that fail the query filter.
//
// Crash and power-loss safety: before the first change the table header's
// transaction byte is set and flushed to the disk; index changes are kept in
// memory and, when the change ends, the records are flushed, the table's
// change counter (header bytes 16..19) is raised, and each .CDX gets the
// same count with either only the pages the change touched, rewritten in
// place and flushed (see CdxTagPages), or, when the tree's shape above the
// leaves changed, replaced whole (temporary file, flush, rename, folder
// flush); then the byte is cleared. A table found with the byte set, or whose
// .CDX is damaged or carries another count, has its tags rebuilt from the
// records on open. Pack writes new files and renames them over the old
// ones (flushing the folder after each step), with a roll-forward or clean-up
// step on the next writable open. All file access goes through a FileSystem.
//
// The implementation is kept by job: work_area_table_file.cpp (the .DBF,
// its locks and the commit of a change), work_area_index_set.cpp (tags and
// index files; a key is inserted in updateIndexes, and on the .CDX pages by
// cdx_tag_pages.cpp), work_area_cursor.cpp
// (navigation, seek, filter), work_area_pack.cpp, and work_area.cpp (records,
// fields and memos).
#include "store/dbf_format.h"
#include "store/expression.h"
#include "store/file_handle.h"
#include "store/index_tag.h"
#include "store/memo_file.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <set>
#include <vector>

namespace orv {

enum class OpenMode { Shared = 0, ReadOnly = 1, Exclusive = 2 };

// The engine-wide settings a work area consults (owned by DataEngine, set
// through TEngineEnv).
struct EngineSettings {
    bool deleted = false;   // hide records marked deleted
    bool exact = false;     // "=" compares whole strings
    bool softSeek = false;  // a failed seek stops at the next greater key
    bool century = false;
    int dateFormat = 0;
    int lockTimeout = 1;     // seconds to retry a record lock
    int memoBlockSize = 64;  // for new memo files
    // Progress of long operations (pack, index builds), 0..100; may be empty.
    std::function<void(int)> gauge;
};

// A tag found in an index file that this program cannot evaluate (an
// unknown function, say): listed, never used, and the table refuses writes.
struct UnusableTag {
    CdxTagInfo info;
    QString reason;
};

class WorkArea {
public:
    // Opens a table; raises EDatabase or EInOutError with the file named.
    static std::unique_ptr<WorkArea> open(const QString& path, const QString& alias, OpenMode mode, EngineSettings* settings,
                                          FileSystem& fs = FileSystem::real());
    // Writes a new empty table (and memo file when a field needs one); an
    // index file of the same name left from an older table is removed.
    static void create(const QString& path, std::vector<DbfField> fields, int memoBlockSize, FileSystem& fs = FileSystem::real());
    ~WorkArea();
    WorkArea(const WorkArea&) = delete;
    WorkArea& operator=(const WorkArea&) = delete;

    // Writes what is pending and releases the files.
    void close();

    const QString& path() const { return path_; }
    const QString& alias() const { return alias_; }
    OpenMode mode() const { return mode_; }
    bool readOnly() const { return mode_ == OpenMode::ReadOnly; }
    const DbfHeader& header() const { return header_; }
    const std::vector<DbfField>& fields() const { return header_.fields; }
    int fieldIndex(const QByteArray& name) const { return header_.fieldIndex(name); }
    const QString& memoPath() const { return memoPath_; }
    bool hasMemoFile() const { return memo_.isOpen(); }
    int memoBlockSize() const { return memo_.isOpen() ? memo_.blockSize() : 0; }

    // ---- navigation ---------------------------------------------------------------
    uint32_t recCount() const { return header_.recordCount; }
    int recSize() const { return header_.recordLength; }
    void goTop();
    void goBottom();
    // Moves n visible records in the current order (negative: backwards).
    void skip(long n = 1);
    // Positions on a record number whatever the filter; past the end is eof.
    void go(uint32_t recno);
    // The current record number; recCount()+1 at end of file.
    uint32_t recNo() const { return recno_; }
    bool bof() const { return bof_; }
    bool eof() const { return eof_; }
    bool deleted() const;
    // Searches the current tag for the first key starting with the given
    // bytes (character keys) or equal to the value (date/numeric keys, as
    // their 8 key bytes). True when found; otherwise positions after the
    // closest key with SoftSeek on, else at end of file.
    bool seek(const QByteArray& keyBytes);

    // ---- records --------------------------------------------------------------------
    // The current record, recSize() bytes, deletion flag first; all blanks at eof.
    QByteArray getRecord() const;
    const char* recordData() const;
    // Overwrites the current record (its deletion flag is kept).
    void putRecord(const QByteArray& record);
    // Adds a blank record and makes it current.
    void appendBlank();
    void deleteRecord();
    void recall();
    // Raw bytes of record r (1..recCount()).
    const char* recordAt(uint32_t recno) const;

    // ---- fields of the current record -------------------------------------------------
    QByteArray fieldBytes(int field) const;
    // Stores a value formatted to the field (text padded or refused when too
    // long for N fields, 'T'/'F', YYYYMMDD). Raises ecDbValueDoesNotFit.
    void replaceField(int field, const QByteArray& bytes);
    QByteArray getMemo(int field) const;
    void replaceMemo(int field, const QByteArray& data);
    // The memo of the current record into a file; false when there is no
    // current record or the file cannot be written.
    bool memoToFile(int field, const QString& filePath) const;
    // The memo of the current record from a file (the "8192" replace).
    void replaceMemoFromFile(int field, const QString& filePath);
    // The memo stored at a block (see memoBlock).
    QByteArray readMemo(uint32_t block) const;
    // The memo block of a record's memo field, 0 when empty.
    uint32_t memoBlock(const char* record, int field) const;

    // ---- locks ------------------------------------------------------------------------
    // Exclusive and read-only tables need none; shared ones lock a record
    // for writing, retrying for the engine's LockTimeout.
    bool rlock(uint32_t recno);
    void unlock(uint32_t recno = 0);  // 0: all

    // ---- indexes ----------------------------------------------------------------------
    int tagCount() const { return int(tags_.size()); }
    const IndexTag& tag(int order) const { return *tags_[size_t(order - 1)]; }
    const std::vector<UnusableTag>& unusableTags() const { return unusable_; }
    int indexOrder() const { return order_; }
    // 0 selects natural order; returns the previous order.
    int setOrder(int order);
    // 0 when there is no such tag.
    int tagArea(const QByteArray& name) const;
    QByteArray tagName(int order) const;
    // Builds (or rebuilds) a tag; an empty indexFile means the structural
    // .CDX. The new tag becomes the current order. Returns its order number.
    int indexTag(const QString& indexFile, const QByteArray& tagName, const QByteArray& keyExpr, bool unique,
                 bool descending, const QByteArray& forExpr);
    // Opens a further (non-structural) index file.
    void openIndex(const QString& indexFile);
    void closeIndexes();
    // Recomputes every tag from the records and rewrites the index files.
    void reindex();
    QString structuralIndexPath() const;
    const std::vector<QString>& indexFiles() const { return indexPaths_; }

    // ---- filter --------------------------------------------------------------------------
    // An empty expression removes the filter.
    void setQuery(const QByteArray& expr);
    const QByteArray& query() const { return queryText_; }
    // Records that pass the filter (and the Deleted setting), in any order.
    uint32_t queryRecCount() const;
    bool isVisible(uint32_t recno) const;

    // ---- positional access for grids -------------------------------------------------
    // The entries of the current order, before visibility: the tag's keys or
    // all records.
    size_t orderSize() const;
    uint32_t recnoAtOrderPosition(size_t pos) const;
    // True when every entry of the current order is visible, so row i of a
    // grid is entry i (a tag whose FOR condition is the filter).
    bool orderIsAllVisible() const;
    // Where a record stands in the current order (orderSize() when absent).
    size_t orderPositionOf(uint32_t recno) const;

    // ---- maintenance and updates -----------------------------------------------------
    // Removes records marked deleted (also their memos), renumbers, rebuilds
    // the open tags. Reports progress through the gauge.
    void pack();
    // Groups many changes: indexes are written once at the end.
    void beginUpdate();
    void endUpdate();
    // Writes pending index changes and clears the transaction byte.
    void flush();

private:
    WorkArea() = default;
    void openFiles();
    void mapFile();
    void unmap();
    void loadStructuralIndex();
    void loadIndexFile(const QString& path, bool structural);
    void rebuildTag(IndexTag& tag, int progressFrom, int progressTo);
    void requireWritable() const;
    void requireRecord() const;
    void beginChange();
    void endChange();
    void abortChange();
    // Runs one change: the transaction byte and (shared) update lock before,
    // the index written after (outside a batch); a failure releases the lock.
    template <class Body>
    void change(Body&& body) {
        beginChange();
        try {
            body();
        } catch (...) {
            abortChange();
            throw;
        }
        endChange();
    }
    void writeFixedHeader();
    void writeRecord(uint32_t recno, const char* data, const char* old);
    void updateIndexes(uint32_t recno, const char* oldRecord, const char* newRecord);
    void setEof();
    void setCurrent(uint32_t recno);
    void ensureFresh(int order);
    void putFlag(const QByteArray& record);
    bool locateInOrder(size_t& pos) const;
    // Makes the count-th visible entry from begin the current record (forward:
    // begin onwards; backward: before begin); false when there is none.
    bool walk(size_t begin, bool forward, long count);  // true when the current record is an entry
    bool visibilityImplied() const;
    void refreshShared();
    void writeIndexFiles();
    // Carries a key change of tag t at pos into its index file's pages, or
    // marks the file to be written whole when they cannot take it.
    void keyChanged(IndexTag& t, size_t pos, bool inserted);
    void writeWholeIndexFile(size_t file);
    void writeIndexPages(size_t file);
    // Drops every tag and index file without writing anything.
    void forgetIndexes();
    void report(int percent) const;

    QString path_, alias_, memoPath_;
    OpenMode mode_ = OpenMode::Exclusive;
    FileSystem* fs_ = &FileSystem::real();
    EngineSettings* settings_ = nullptr;
    FileHandle dbf_;
    MemoFile memo_;
    DbfHeader header_;
    const char* map_ = nullptr;
    size_t mapLen_ = 0;
    qint64 fileSize_ = 0;
    std::vector<char> blank_;

    uint32_t recno_ = 1;
    bool bof_ = true, eof_ = true;

    std::vector<std::unique_ptr<IndexTag>> tags_;
    std::vector<UnusableTag> unusable_;
    std::vector<QString> indexPaths_;  // [0] is the structural file when open
    std::vector<bool> indexDirty_;
    std::vector<bool> tagStale_;
    std::vector<qint64> indexStamp_;
    // Each index file's bytes as last read or written, with the key changes
    // since applied; empty when the file is to be written whole.
    std::vector<QByteArray> indexImage_;
    std::vector<std::set<uint32_t>> indexDirtyPages_;
    int order_ = 0;
    // Bumped on every index change; the cached position below is valid only
    // for the record and index state it was computed for.
    uint64_t indexVersion_ = 0;
    mutable bool posValid_ = false;
    mutable bool posFound_ = false;
    mutable size_t pos_ = 0;
    mutable uint32_t posRecno_ = 0;
    mutable uint64_t posVersion_ = 0;

    std::unique_ptr<Expression> query_;
    QByteArray queryText_;

    int batch_ = 0;
    bool changing_ = false;
    bool flagOnDisk_ = false;
    bool dataWritten_ = false;
    bool memoWritten_ = false;
    size_t batchChanges_ = 0;
    std::set<uint32_t> locks_;
};

// The sibling of a table file with another extension, matching the case of
// the table's own extension (ORV.DBF -> ORV.CDX, rooms.dbf -> rooms.cdx), or
// an existing file that differs only in the extension's case.
QString SiblingPath(const QString& tablePath, const QString& extension, const FileSystem& fs = FileSystem::real());

}  // namespace orv
