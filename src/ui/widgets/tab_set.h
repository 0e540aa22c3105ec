#pragma once
// TTabSet: the tab strip under a notebook ("Sent" | "Received"): tabs hang
// from the top edge, the current one reads as the front page.
#include <QTabBar>

namespace orv {

class TTabSet : public QTabBar {
    Q_OBJECT
public:
    explicit TTabSet(const QString& objectName, const QStringList& tabs, QWidget* parent = nullptr);

    int tabIndex() const { return currentIndex(); }
    void setTabIndex(int index) { setCurrentIndex(index); }

signals:
    // The current tab changed; tabIndex() is the new one.
    void Click();
};

}  // namespace orv
