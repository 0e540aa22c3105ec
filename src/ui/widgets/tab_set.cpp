#include "ui/widgets/tab_set.h"

namespace orv {

TTabSet::TTabSet(const QString& objectName, const QStringList& tabs, QWidget* parent) : QTabBar(parent) {
    setObjectName(objectName);
    setShape(QTabBar::RoundedSouth);
    setExpanding(false);
    setDrawBase(true);
    for (const QString& t : tabs) addTab(t);
    // Every change of the current tab, by mouse, keyboard or program, is a
    // click: the page shown always follows the tab.
    connect(this, &QTabBar::currentChanged, this, [this](int) { emit Click(); });
}

}  // namespace orv
