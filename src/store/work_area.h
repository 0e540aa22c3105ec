#pragma once
// One open table of the data engine (a "work area"): the .DBF with its .FPT
// memo file and its index tags, a current record, an order (natural or a
// tag), a query filter, and every read and write the record-access layer
// needs. WorkArea is the face the engine and TTable use; the work is done
// by the pieces it owns, one job each:
//
//   table_file.h     TableFile: opening the .DBF and .FPT, the header with
//                    its transaction byte and change counter, shared-mode
//                    refresh of the header, and every lock (file, update
//                    and record locks are taken here).
//   index_set.h      IndexSet: the open .CDX tags; a key is inserted or
//                    removed in IndexSet::updateKeys (through IndexTag, whose
//                    keys in memory are chunked in sorted_keys.h, and, on the
//                    file's pages, CdxTagPages in cdx_tag_pages.h: leaf and
//                    interior splits, merges, the free list);
//                    writing the index files; the stale-index check on load
//                    and rebuilds; index_catch_up.cpp: a shared reader
//                    reading only the pages another writer wrote
//                    (cdx_page_log.h).
//   record_cursor.h  RecordCursor: the current record, navigation in record
//                    or tag order, seeks, the filter, grid positions.
//   table_pack.h     PackTable: pack through MemoWriter, and the recovery of
//                    an interrupted pack on open.
//   work_area.cpp    the record, field and memo writes, each run as one
//                    change (transaction byte, record, keys, commit).
//   engine_settings.h OpenMode and the engine settings the pieces consult.
//
// Crash and power-loss safety: before the first change the table header's
// transaction byte is set and flushed to the disk; index changes are kept in
// memory and, when the change ends, the records are flushed, the table's
// change counter (header bytes 16..19) is raised, and each .CDX gets the
// same count with only the pages the change touched, rewritten in place and
// flushed (see CdxTagPages), or, after a rebuild, a new tag or a record
// number wider than the leaves hold, replaced whole (temporary file, flush,
// rename, folder flush); then the byte is cleared. A table found with the byte set, or whose
// .CDX is damaged or carries another count, has its tags rebuilt from the
// records on open. Pack writes new files and renames them over the old
// ones (flushing the folder after each step), with a roll-forward or clean-up
// step on the next writable open. All file access goes through a FileSystem.
#include "store/dbf_format.h"
#include "store/engine_settings.h"
#include "store/expression.h"
#include "store/file_handle.h"
#include "store/index_set.h"
#include "store/index_tag.h"
#include "store/memo_file.h"
#include "store/record_cursor.h"
#include "store/table_file.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <set>
#include <vector>

namespace orv {

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

    const QString& path() const { return table_.path(); }
    const QString& alias() const { return alias_; }
    OpenMode mode() const { return table_.mode(); }
    bool readOnly() const { return table_.readOnly(); }
    const DbfHeader& header() const { return table_.header(); }
    const std::vector<DbfField>& fields() const { return table_.header().fields; }
    int fieldIndex(const QByteArray& name) const { return table_.header().fieldIndex(name); }
    const QString& memoPath() const { return table_.memoPath(); }
    bool hasMemoFile() const { return table_.memo().isOpen(); }
    int memoBlockSize() const { return hasMemoFile() ? table_.memo().blockSize() : 0; }

    // ---- navigation ---------------------------------------------------------------
    uint32_t recCount() const { return table_.header().recordCount; }
    int recSize() const { return table_.header().recordLength; }
    void goTop();
    void goBottom();
    // Moves n visible records in the current order (negative: backwards).
    void skip(long n = 1);
    // Positions on a record number whatever the filter; past the end is eof.
    void go(uint32_t recno);
    // The current record number; recCount()+1 at end of file.
    uint32_t recNo() const { return cursor_.recNo(); }
    bool bof() const { return cursor_.bof(); }
    bool eof() const { return cursor_.eof(); }
    bool deleted() const { return cursor_.deleted(); }
    // Searches the current tag for the first key starting with the given
    // bytes (character keys) or equal to the value (date/numeric keys, as
    // their 8 key bytes). True when found; otherwise positions after the
    // closest key with SoftSeek on, else at end of file.
    bool seek(const QByteArray& keyBytes);

    // ---- records --------------------------------------------------------------------
    // The current record, recSize() bytes, deletion flag first; all blanks at eof.
    QByteArray getRecord() const;
    const char* recordData() const { return cursor_.recordData(); }
    // Overwrites the current record (its deletion flag is kept).
    void putRecord(const QByteArray& record);
    // Adds a blank record and makes it current.
    void appendBlank();
    void deleteRecord();
    void recall();
    // Raw bytes of record r (1..recCount()).
    const char* recordAt(uint32_t recno) const { return table_.recordAt(recno); }

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
    int tagCount() const { return index_.count(); }
    const IndexTag& tag(int order) const { return index_.tag(order); }
    const std::vector<UnusableTag>& unusableTags() const { return index_.unusable(); }
    int indexOrder() const { return cursor_.order(); }
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
    const std::vector<QString>& indexFiles() const { return index_.paths(); }

    // ---- filter --------------------------------------------------------------------------
    // An empty expression removes the filter.
    void setQuery(const QByteArray& expr);
    const QByteArray& query() const { return cursor_.query(); }
    // Records that pass the filter (and the Deleted setting), in any order.
    uint32_t queryRecCount() const;
    bool isVisible(uint32_t recno) const { return cursor_.isVisible(recno); }

    // ---- positional access for grids -------------------------------------------------
    // The entries of the current order, before visibility: the tag's keys or
    // all records.
    size_t orderSize() const { return cursor_.orderSize(); }
    uint32_t recnoAtOrderPosition(size_t pos) const { return cursor_.recnoAtOrderPosition(pos); }
    // True when every entry of the current order is visible, so row i of a
    // grid is entry i (a tag whose FOR condition is the filter).
    bool orderIsAllVisible() const { return cursor_.orderIsAllVisible(); }
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
    WorkArea();
    void requireWritable() const;
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
    // Writes a record (or only its deletion flag) and moves its keys.
    void writeRecord(uint32_t recno, const char* data, const char* old, qint64 length);
    void lockCurrent();

    QString alias_;
    TableFile table_;
    IndexSet index_;
    RecordCursor cursor_;
    int batch_ = 0;
};

}  // namespace orv
