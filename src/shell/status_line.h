#pragma once
// The status line protocol. CurrentStatusLabel is the status-line label of the
// window the user works in; the hint handler writes the hint of whatever menu
// item or control is under the mouse into it.
//
// The main window points it at its own label once (FormCreate). Every dialog
// with a status line holds a TStatusLineScope: it saves the current label and
// points at the dialog's own on creation, points again each time the dialog is
// activated, and restores the saved label when the dialog is destroyed.
#include <QObject>
#include <QPointer>

class QLabel;
class QWidget;

namespace orv {

// The label, or nullptr when none is set or the one set has been destroyed.
QLabel* CurrentStatusLabel();
void SetCurrentStatusLabel(QLabel* label);

// Installs the program-wide hint handler (once; later calls do nothing).
void InstallHintHandler();

// Writes text into a status label; carriage returns in hints become line breaks.
void ShowStatusText(QLabel* label, const QString& text);

class TStatusLineScope : public QObject {
    Q_OBJECT
public:
    // Saves CurrentStatusLabel and points it at label. The scope is a child of
    // window and watches its activation.
    TStatusLineScope(QWidget* window, QLabel* label);
    ~TStatusLineScope() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QLabel> saved_;
    QPointer<QLabel> own_;
};

}  // namespace orv
