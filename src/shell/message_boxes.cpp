#include "shell/message_boxes.h"

#include <QApplication>
#include <QMessageBox>

#include "ui/widgets/hint.h"

namespace orv {
namespace {

QWidget* boxParent() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return QApplication::activeWindow();
}

int runBox(QMessageBox::Icon icon, const QString& caption, const QString& text, QMessageBox::StandardButtons buttons,
           QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, caption, HintDisplayText(text), buttons, boxParent());
    box.setDefaultButton(defaultButton);
    box.setTextFormat(Qt::PlainText);
    return box.exec();
}

}  // namespace

void ShowInfo(const QString& text) {
    runBox(QMessageBox::Information, QStringLiteral("Information"), text, QMessageBox::Ok, QMessageBox::Ok);
}

void ShowMessage(const QString& text) {
    runBox(QMessageBox::NoIcon, QStringLiteral("Orvane"), text, QMessageBox::Ok, QMessageBox::Ok);
}

bool AskYesNo(const QString& text, const QString& caption) {
    return runBox(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

bool AskYesNoDefaultNo(const QString& text, const QString& caption) {
    return runBox(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

void ShowError(const QString& text) {
    runBox(QMessageBox::Critical, QStringLiteral("Orvane"), text, QMessageBox::Ok, QMessageBox::Ok);
}

void ShowException(const std::exception& e) { ShowError(QString::fromUtf8(e.what())); }

void Beep() { QApplication::beep(); }

}  // namespace orv
