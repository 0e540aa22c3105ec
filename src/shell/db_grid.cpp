#include "shell/db_grid.h"

#include <QDate>
#include <QPainter>
#include <QPolygon>
#include <QStyleOptionHeader>

#include <algorithm>

#include "store/table_model.h"
#include "store/tengine_env.h"

namespace orv {
namespace {

constexpr int kIndicatorWidth = 12;

}  // namespace

// ---- row indicator ---------------------------------------------------------------

TGridIndicator::TGridIndicator(QTableView* grid) : QHeaderView(Qt::Vertical, grid), grid_(grid) {
    setObjectName(QStringLiteral("Indicator"));
    // Every row is as high as the next: the header never measures rows.
    setSectionResizeMode(QHeaderView::Fixed);
    setSectionsClickable(true);
    setHighlightSections(false);
}

QSize TGridIndicator::sizeHint() const { return {kIndicatorWidth, length()}; }

void TGridIndicator::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    QStyleOptionHeader opt;
    initStyleOption(&opt);
    opt.rect = rect;
    opt.section = logicalIndex;
    opt.position = QStyleOptionHeader::Middle;
    painter->save();
    style()->drawControl(QStyle::CE_HeaderSection, &opt, painter, this);
    if (grid_->currentIndex().isValid() && grid_->currentIndex().row() == logicalIndex) {
        const int h = std::min(rect.height() - 4, 8);
        const int x = rect.left() + (rect.width() - h / 2) / 2;
        const int y = rect.top() + (rect.height() - h) / 2;
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->setPen(Qt::NoPen);
        painter->setBrush(Qt::black);
        painter->drawPolygon(QPolygon({QPoint(x, y), QPoint(x + h / 2, y + h / 2), QPoint(x, y + h)}));
    }
    painter->restore();
}

// ---- grid ------------------------------------------------------------------------------

TDBGrid::TDBGrid(const QString& objectName, TDataSource* source, QWidget* parent, TableModel* model)
    : QTableView(parent), source_(source), model_(model ? model : new TableModel(source, this)) {
    setObjectName(objectName);
    init();
}

void TDBGrid::init() {
    setVerticalHeader(new TGridIndicator(this));
    setModel(model_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsMovable(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setMinimumSectionSize(fontMetrics().height() + 2);

    connect(model_, &QAbstractItemModel::modelReset, this, &TDBGrid::modelWasReset);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) {
                verticalHeader()->viewport()->update();
                rowChosen(current);
            });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex&) { emit DblClick(); });
    // The data source tells of a new current record after the rows changed
    // (the model resets first), so the row is looked up in the new rows.
    if (source_) connect(source_, &TDataSource::currentChanged, this, &TDBGrid::followTable);
    modelWasReset();
}

int TDBGrid::widthForCharacters(int characters) const {
    return characters * fontMetrics().horizontalAdvance(QLatin1Char('0')) + 4;
}

void TDBGrid::applyColumnWidths() {
    QStringList fields;
    for (int c = 0; c < model_->columnCount(); ++c)
        fields << (model_->columnField(c) ? model_->columnField(c)->FieldName() : QString());
    // Widths are set when the columns come (the table opened); a reset of the
    // rows keeps what the user made of them.
    if (fields == columnFields_) return;
    columnFields_ = fields;
    const QFontMetrics titles(horizontalHeader()->font());
    for (int c = 0; c < model_->columnCount(); ++c) {
        int data = widthForCharacters(model_->columnDisplayWidth(c));
        // Dates are shown in the short date format, which may spell the month.
        if (model_->columnField(c) && model_->columnField(c)->kind() == TFieldKind::fkDate)
            for (int month = 1; month <= 12; ++month)
                data = std::max(data, fontMetrics().horizontalAdvance(FormatShortDate(QDate(2000, month, 28))) + 8);
        const int title = titles.horizontalAdvance(model_->headerData(c, Qt::Horizontal).toString()) + 8;
        setColumnWidth(c, std::max(data, title));
    }
}

void TDBGrid::modelWasReset() {
    applyColumnWidths();
    followTable();
}

int TDBGrid::currentRow() const { return currentIndex().isValid() ? currentIndex().row() : -1; }

// The table moved: the row of its current record becomes the grid's current row.
void TDBGrid::followTable() {
    if (following_) return;
    following_ = true;
    TTable* t = source_ ? source_->DataSet() : nullptr;
    const int row = t && t->active() && !t->isEmpty() ? model_->rowOf(t->recNo()) : -1;
    if (row < 0) {
        selectionModel()->clearCurrentIndex();
        clearSelection();
    } else {
        const int column = currentIndex().isValid() ? currentIndex().column() : 0;
        const QModelIndex index = model_->index(row, std::max(column, 0));
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(index, QAbstractItemView::EnsureVisible);
    }
    verticalHeader()->viewport()->update();
    following_ = false;
}

// The user chose a row: the table moves to its record.
void TDBGrid::rowChosen(const QModelIndex& current) {
    if (following_ || !current.isValid()) return;
    following_ = true;
    try {
        model_->selectRow(current.row());
    } catch (const std::exception&) {
        // A table in the middle of an edit stays where it is.
    }
    following_ = false;
}

}  // namespace orv
