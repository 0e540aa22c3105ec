#include "store/table_model.h"

namespace orv {

TableModel::TableModel(TDataSource* source, QObject* parent) : QAbstractTableModel(parent), source_(source) {
    if (source) {
        connect(source, &TDataSource::dataChanged, this, &TableModel::reload);
        connect(source, &TDataSource::dataSetChanged, this, &TableModel::reload);
    }
    reload();
}

void TableModel::rebuildColumns() {
    columns_.clear();
    TTable* t = source_ ? source_->DataSet() : nullptr;
    if (!t || !t->active()) return;
    for (int i = 0; i < t->fieldCount(); ++i)
        if (t->field(i).Visible() && t->field(i).kind() != TFieldKind::fkMemo) columns_.push_back(i);
}

void TableModel::reload() {
    beginResetModel();
    rebuildColumns();
    rows_.clear();
    scanned_ = 0;
    directMode_ = false;
    directCount_ = 0;
    TTable* t = source_ ? source_->DataSet() : nullptr;
    if (t && t->active()) {
        const WorkArea* a = t->workArea();
        directMode_ = a->orderIsAllVisible();
        if (directMode_) directCount_ = a->orderSize();
    }
    endResetModel();
    if (!directMode_ && canFetchMore(QModelIndex())) fetchMore(QModelIndex());
}

bool TableModel::direct() const { return directMode_; }

int TableModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return int(direct() ? directCount_ : rows_.size());
}

int TableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(columns_.size()); }

bool TableModel::canFetchMore(const QModelIndex& parent) const {
    if (parent.isValid() || direct()) return false;
    TTable* t = source_ ? source_->DataSet() : nullptr;
    return t && t->active() && scanned_ < t->workArea()->orderSize();
}

void TableModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent)) return;
    const WorkArea* a = source_->DataSet()->workArea();
    const size_t size = a->orderSize();
    std::vector<uint32_t> found;
    while (scanned_ < size && found.size() < size_t(kFetchChunk)) {
        const uint32_t r = a->recnoAtOrderPosition(scanned_++);
        if (a->isVisible(r)) found.push_back(r);
    }
    if (found.empty()) return;
    beginInsertRows(QModelIndex(), int(rows_.size()), int(rows_.size() + found.size() - 1));
    rows_.insert(rows_.end(), found.begin(), found.end());
    endInsertRows();
}

uint32_t TableModel::recordNumber(int row) const {
    if (row < 0 || row >= rowCount()) return 0;
    if (!direct()) return rows_[size_t(row)];
    // The rows may be older than the table: a view can still paint while the
    // table's updates are suspended (a pack, say) or after it was closed.
    TTable* t = source_ ? source_->DataSet() : nullptr;
    if (!t || !t->active() || size_t(row) >= t->workArea()->orderSize()) return 0;
    return t->workArea()->recnoAtOrderPosition(size_t(row));
}

int TableModel::rowOf(uint32_t recno) const {
    TTable* t = source_ ? source_->DataSet() : nullptr;
    if (!t || !t->active() || recno == 0) return -1;
    if (direct()) {
        const size_t pos = t->workArea()->orderPositionOf(recno);
        return pos < directCount_ ? int(pos) : -1;
    }
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i] == recno) return int(i);
    return -1;
}

TField* TableModel::columnField(int column) const {
    TTable* t = source_ ? source_->DataSet() : nullptr;
    if (!t || column < 0 || column >= int(columns_.size())) return nullptr;
    return &t->field(columns_[size_t(column)]);
}

int TableModel::columnDisplayWidth(int column) const {
    const TField* f = columnField(column);
    return f ? f->DisplayWidth() : 0;
}

QVariant TableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) {
        if (index.isValid() && role == Qt::TextAlignmentRole) {
            const TField* f = columnField(index.column());
            if (f && (f->kind() == TFieldKind::fkSmallint || f->kind() == TFieldKind::fkFloat))
                return QVariant(int(Qt::AlignRight | Qt::AlignVCenter));
        }
        return {};
    }
    const uint32_t recno = recordNumber(index.row());
    if (recno == 0 || index.column() >= int(columns_.size())) return {};
    return source_->DataSet()->displayTextFor(recno, columns_[size_t(index.column())]);
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    const TField* f = columnField(section);
    return f ? QVariant(f->DisplayLabel()) : QVariant();
}

void TableModel::selectRow(int row) {
    const uint32_t recno = recordNumber(row);
    if (recno) source_->DataSet()->gotoRecord(recno);
}

}  // namespace orv
