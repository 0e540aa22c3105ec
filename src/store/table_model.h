#pragma once
// TableModel: the grids' view of a table (QAbstractTableModel, QtCore only).
// Rows are the table's records in its current order under its filter
// (newest first for the descending fax tags); columns are the table's
// visible fields with their display labels. Rows are read only when the
// view asks for them: when the order's FOR condition is the filter (the
// usual ".not. deleted()" tag), row i is simply entry i of the tag, so a list
// of 100,000 records opens at once; otherwise rows are found in chunks as the
// view scrolls (canFetchMore/fetchMore).
//
// The model follows the data source: any change resets it. The window keeps
// the grid's current row and the table's current record together with
// recordNumber(row) / rowOf(recno) (or syncCurrentRow/selectRow).
#include "store/tdatasource.h"

#include <QAbstractTableModel>
#include <QPointer>

#include <vector>

namespace orv {

class TableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TableModel(TDataSource* source, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    // The record shown in a row (0 when out of range).
    uint32_t recordNumber(int row) const;
    // The row of a record, -1 when it is not (yet) a row.
    int rowOf(uint32_t recno) const;
    // The field behind a column, and its display width in characters.
    TField* columnField(int column) const;
    int columnDisplayWidth(int column) const;
    // Makes the table's current record the one in the row.
    void selectRow(int row);

    // Rows found per fetchMore when the filter must be evaluated.
    static constexpr int kFetchChunk = 256;

public slots:
    void reload();

private:
    bool direct() const;
    void rebuildColumns();

    QPointer<TDataSource> source_;
    std::vector<int> columns_;  // field indexes of the table
    // Filtered orders: rows found so far and where the scan stopped.
    std::vector<uint32_t> rows_;
    size_t scanned_ = 0;
    bool directMode_ = false;
    size_t directCount_ = 0;
};

}  // namespace orv
