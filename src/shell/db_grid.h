#pragma once
// TDBGrid: a read-only list of a table's records on a data source. Titles
// are the fields' display labels, column widths follow their display widths
// (the user may resize them), a row indicator marks the current record, and
// column and row lines are drawn. The grid's current row and the table's
// current record always name the same record: choosing a row moves the
// table, and moving the table (navigation, a new order, a deletion) moves the
// row. Rows are read only when they are painted, so a list of 100,000
// records opens at once.
#include <QHeaderView>
#include <QPointer>
#include <QTableView>

#include "store/tdatasource.h"

namespace orv {

class TableModel;

class TDBGrid : public QTableView {
    Q_OBJECT
public:
    // The grid shows model, a TableModel over source, or makes its own when
    // none is given (a given model must outlive the grid).
    TDBGrid(const QString& objectName, TDataSource* source, QWidget* parent = nullptr, TableModel* model = nullptr);

    TDataSource* dataSource() const { return source_; }
    TableModel* tableModel() const { return model_; }
    // The grid's current row; -1 when it has none.
    int currentRow() const;
    // Pixels of a column of the given display width in characters.
    int widthForCharacters(int characters) const;

signals:
    // A row was double-clicked (it is the current record by then).
    void DblClick();

private:
    void init();
    void modelWasReset();
    void followTable();
    void rowChosen(const QModelIndex& current);
    void applyColumnWidths();

    QPointer<TDataSource> source_;
    TableModel* model_;
    QStringList columnFields_;  // the fields the column widths were set for
    bool following_ = false;
};

// The row indicator: the grid's vertical header, a narrow column of button
// faces with a black triangle beside the current record. It never reads the
// rows, so it costs nothing with many records.
class TGridIndicator : public QHeaderView {
    Q_OBJECT
public:
    explicit TGridIndicator(QTableView* grid);
    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    QTableView* grid_;
};

}  // namespace orv
