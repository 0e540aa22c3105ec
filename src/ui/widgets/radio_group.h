#pragma once
// TRadioGroup: a framed group of radio buttons laid out in columns, read and
// set by item index (-1: none chosen). An index outside the items chooses none.
// Each item may carry a note, a small text to the right of its button (the
// device path beside a port, for example).
#include <QGroupBox>

class QButtonGroup;
class QLabel;
class QRadioButton;

namespace orv {

class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(const QString& objectName, const QString& caption, const QStringList& items, int columns = 1,
                QWidget* parent = nullptr);

    int itemIndex() const;
    void setItemIndex(int index);
    int count() const;
    QRadioButton* button(int index) const;

    void setItemNote(int index, const QString& note);
    QString itemNote(int index) const;

signals:
    void itemIndexChanged(int index);

private:
    QButtonGroup* group_;
    QList<QLabel*> notes_;
};

}  // namespace orv
