// The main window's Received page: notes on a received fax, deleting a
// received fax with its file.
#include <QFile>
#include <QFileInfo>

#include "shell/main_screen.h"
#include "shell/message_boxes.h"
#include "shell/program_folder.h"
#include "shell/window_placement.h"
#include "transmit/edit_receive_notes.h"

namespace orv {

namespace {

// The file of a received fax in the receive folder. Only the name part of
// FAXFILE counts: a table edited elsewhere must not make Delete remove a
// file outside the folder.
QString ReceivedFaxPath(const QString& faxFile) {
    const QString name = QFileInfo(faxFile.trimmed()).fileName();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) return QString();
    return ProgramFolder() + QStringLiteral("receive/") + name;
}

}  // namespace

void TMainScreen::EditReceivedFax() {
    if (ReceivedRecordCount() == 0) {
        Beep();
        return;
    }
    // A fax may arrive while the window is open and move the list; the note
    // goes to the fax it was written for.
    const uint32_t recno = RecTable.recNo();
    TEditReceiveNotes notes(this);
    CenterWindow(&notes);
    notes.setNotes(RecTable.fieldByName(QStringLiteral("NOTES")).asString());
    notes.setSender(RecTable.fieldByName(QStringLiteral("FROM")).asString());
    if (notes.exec() != QDialog::Accepted) return;
    try {
        if (recno > 0 && recno <= RecTable.recordCount()) RecTable.gotoRecord(recno);
        RecTable.edit();
        RecTable.fieldByName(QStringLiteral("NOTES")).setAsString(notes.notes());
        RecTable.post();
    } catch (const std::exception& e) {
        if (RecTable.state() != TDataSetState::dsBrowse) RecTable.cancel();
        ShowException(e);
    }
}

void TMainScreen::DeleteReceivedFax() {
    if (ReceivedRecordCount() == 0) {
        Beep();
        return;
    }
    const QString from = RecTable.fieldByName(QStringLiteral("FROM")).asString();
    const QString question = QStringLiteral("Delete the current fax?\r\n(from: \"") + from + QStringLiteral("\")");
    if (AskYesNoDefaultNo(question, QStringLiteral("Delete"))) {
        try {
            const QString file = ReceivedFaxPath(RecTable.fieldByName(QStringLiteral("FAXFILE")).asString());
            RecTable.deleteRecord();
            RecTable.refresh();
            // A file already gone only leaves the row to remove.
            if (!file.isEmpty()) QFile::remove(file);
        } catch (const std::exception& e) {
            ShowException(e);
        }
    }
    SetButtons();
}

}  // namespace orv
