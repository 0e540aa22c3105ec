#include "ui/widgets/radio_group.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>

namespace orv {

TRadioGroup::TRadioGroup(const QString& objectName, const QString& caption, const QStringList& items,
                         int columns, QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)) {
    setObjectName(objectName);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 2, 6, 2);
    grid->setVerticalSpacing(0);
    columns = std::max(1, columns);
    const int rows = (int(items.size()) + columns - 1) / columns;
    // Items run down the first column, then the next, as in the classic radio group.
    for (int i = 0; i < items.size(); ++i) {
        auto* cell = new QWidget(this);
        auto* row = new QHBoxLayout(cell);
        row->setContentsMargins(0, 0, 0, 0);
        auto* b = new QRadioButton(items[i], cell);
        auto* note = new QLabel(cell);
        note->setObjectName(QStringLiteral("%1Note%2").arg(objectName).arg(i));
        note->setEnabled(false);  // drawn dimmed: it explains, it is not a choice
        note->hide();
        row->addWidget(b);
        row->addWidget(note, 1);
        group_->addButton(b, i);
        notes_.append(note);
        grid->addWidget(cell, i % rows, i / rows);
    }
    connect(group_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) emit itemIndexChanged(id);
    });
}

int TRadioGroup::itemIndex() const { return group_->checkedId(); }

int TRadioGroup::count() const { return int(group_->buttons().size()); }

QRadioButton* TRadioGroup::button(int index) const {
    return qobject_cast<QRadioButton*>(group_->button(index));
}

void TRadioGroup::setItemIndex(int index) {
    if (QAbstractButton* b = group_->button(index)) {
        b->setChecked(true);
        return;
    }
    // An exclusive group cannot uncheck its checked button directly.
    if (QAbstractButton* checked = group_->checkedButton()) {
        group_->setExclusive(false);
        checked->setChecked(false);
        group_->setExclusive(true);
    }
}

void TRadioGroup::setItemNote(int index, const QString& note) {
    if (index < 0 || index >= notes_.size()) return;
    notes_[index]->setText(note);
    notes_[index]->setVisible(!note.isEmpty());
}

QString TRadioGroup::itemNote(int index) const {
    return index >= 0 && index < notes_.size() ? notes_[index]->text() : QString();
}

}  // namespace orv
