#pragma once
// Where a work area stands: the current record, the order (natural or a
// tag), the query filter, navigation and seeks, and positional access for
// grids. Navigation hides deleted records when the engine's Deleted setting
// is on and skips records that fail the filter. It reads the records from
// the TableFile and the keys from the IndexSet and changes neither (except
// for rebuilding a tag the order needs).
#include "store/expression.h"
#include "store/index_set.h"
#include "store/table_file.h"

#include <QByteArray>

#include <memory>

namespace orv {

class RecordCursor {
public:
    RecordCursor(TableFile& table, IndexSet& index) : table_(table), index_(index) {}

    // ---- the current record ---------------------------------------------------------------
    // The current record number; recordCount+1 at end of file.
    uint32_t recNo() const { return recno_; }
    bool bof() const { return bof_; }
    bool eof() const { return eof_; }
    bool deleted() const;
    // The current record (all blanks at eof).
    const char* recordData() const { return eof_ ? table_.blankRecord() : table_.recordAt(recno_); }
    // Raises ecDbNoRecord at end of file.
    void requireRecord() const;
    // Makes a record current (one just appended, say).
    void setCurrent(uint32_t recno) {
        recno_ = recno;
        eof_ = bof_ = false;
    }
    // The keys or the records changed under the cursor's cached position.
    void forgetPosition() { posValid_ = false; }

    // ---- navigation ----------------------------------------------------------------------
    void goTop();
    void goBottom();
    // Moves n visible records in the current order (negative: backwards).
    void skip(long n);
    // Positions on a record number whatever the filter; past the end is eof.
    void go(uint32_t recno);
    // See WorkArea::seek.
    bool seek(const QByteArray& keyBytes);
    // Shared: picks up what other writers did (the header, replaced index
    // files) and keeps the order on the tag of the same name.
    void refresh();

    // ---- order ---------------------------------------------------------------------------
    int order() const { return order_; }
    // 0 selects natural order; returns the previous order.
    int setOrder(int order);

    // ---- filter --------------------------------------------------------------------------
    // An empty expression removes the filter.
    void setQuery(const QByteArray& expr);
    const QByteArray& query() const { return queryText_; }
    uint32_t queryRecCount() const;
    bool isVisible(uint32_t recno) const;

    // ---- positional access for grids -------------------------------------------------------
    size_t orderSize() const;
    uint32_t recnoAtOrderPosition(size_t pos) const;
    bool orderIsAllVisible() const { return visibilityImplied(); }
    size_t orderPositionOf(uint32_t recno) const;

private:
    const EngineSettings* settings() const { return table_.settings(); }
    void setEof();
    bool locateInOrder(size_t& pos) const;
    // Makes the count-th visible entry from begin the current record (forward:
    // begin onwards; backward: before begin); false when there is none.
    bool walk(size_t begin, bool forward, long count);
    bool visibilityImplied() const;

    TableFile& table_;
    IndexSet& index_;
    uint32_t recno_ = 1;
    bool bof_ = true, eof_ = true;
    int order_ = 0;
    // The position of the current record in the order, valid only for the
    // record and index version it was computed for.
    mutable bool posValid_ = false;
    mutable bool posFound_ = false;
    mutable size_t pos_ = 0;
    mutable uint32_t posRecno_ = 0;
    mutable uint64_t posVersion_ = 0;
    std::unique_ptr<Expression> query_;
    QByteArray queryText_;
};

}  // namespace orv
