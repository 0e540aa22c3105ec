#include "store/tdatasource.h"

namespace orv {

void TDataSource::setDataSet(TTable* table) {
    if (dataSet_ == table) return;
    if (dataSet_) disconnect(dataSet_, nullptr, this, nullptr);
    dataSet_ = table;
    if (table) {
        connect(table, &TTable::dataSetChanged, this, [this] {
            if (enabled_) emit dataChanged();
        });
        connect(table, &TTable::currentChanged, this, [this] {
            if (enabled_) emit currentChanged();
        });
        connect(table, &TTable::stateChanged, this, &TDataSource::stateChanged);
    }
    emit dataSetChanged();
}

}  // namespace orv
