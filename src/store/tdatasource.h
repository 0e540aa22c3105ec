#pragma once
// TDataSource binds a table object to the views (grids, data-aware edit
// boxes, TableModel) and to its TEngineLink: they find the table through it
// and hear its changes through its signals.
#include "store/ttable.h"

#include <QObject>
#include <QPointer>

namespace orv {

class TDataSource : public QObject {
    Q_OBJECT
public:
    explicit TDataSource(QObject* parent = nullptr) : QObject(parent) {}

    TTable* DataSet() const { return dataSet_; }
    void setDataSet(TTable* table);
    bool Enabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }

signals:
    void dataChanged();     // records, order or filter changed
    void currentChanged();  // the current record moved or changed
    void stateChanged();
    void dataSetChanged();  // another table was bound

private:
    QPointer<TTable> dataSet_;
    bool enabled_ = true;
};

}  // namespace orv
