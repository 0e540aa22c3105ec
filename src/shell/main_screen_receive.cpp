// The main window as a fax answering machine: receive mode on its own
// serial port and receive component, the rows of the received faxes, notes
// on a received fax, and deleting a received fax with its file.
#include <QApplication>
#include <QCursor>
#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QTime>

#include "common/orv_error.h"
#include "engine/com_port.h"
#include "engine/fax_components.h"
#include "images/apf_file.h"
#include "shell/main_screen.h"
#include "shell/message_boxes.h"
#include "config/program_folder.h"
#include "config/settings.h"
#include "shell/window_placement.h"
#include "transmit/edit_receive_notes.h"
#include "ui/widgets/align_label.h"
#include "ui/widgets/hint.h"
#include "ui/widgets/picture_button.h"

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

// The pages a received file holds whole enough to show: the count its
// header has (the receiver rewrites it after every page); 0 for a file that
// is missing or no fax file.
int PagesInFile(const QString& file) {
    ApfReader reader;
    if (reader.open(file) < 0) return 0;
    return reader.pageCount();
}

// The same mapping as the send window: 0 detect, 1 Class 1, 2 Class 2, 3 Class 2.0.
TFaxClass FaxClassFromSetting(int setting) {
    switch (setting) {
    case 1: return fcClass1;
    case 2: return fcClass2;
    case 3: return fcClass2_0;
    default: return fcDetect;
    }
}

// An init string is sent as typed when it holds "AT" anywhere (any case),
// else with "AT" before it.
QString ModemInitFromSetting(const QString& init) {
    return init.toUpper().contains(QLatin1String("AT")) ? init : QStringLiteral("AT") + init;
}

// PAGES holds two digits.
constexpr int kMaxPagesField = 99;

}  // namespace

// ---- receive mode ---------------------------------------------------------------

void TMainScreen::PrepareReceiveMode() {
    OrvComPort1 = new TOrvComPort(this);
    OrvComPort1->setObjectName(QStringLiteral("OrvComPort1"));
    OrvComPort1->SetComNumber(1);
    OrvComPort1->SetAutoOpen(false);
    OrvReceiveFax1 = new TOrvReceiveFax(this);
    OrvReceiveFax1->setObjectName(QStringLiteral("OrvReceiveFax1"));
    OrvReceiveFax1->SetComPort(OrvComPort1);
    // The port's design values, after the component gave it its line settings.
    OrvComPort1->SetInSize(8192);
    OrvComPort1->SetOutSize(8192);
    OrvComPort1->SetHWFlowOptions({hwfUseRTS, hwfRequireCTS});
    OrvComPort1->SetBufferFull(7372);
    OrvComPort1->SetBufferResume(819);
    OrvComPort1->SetTapiMode(tmOff);
    OrvComPort1->SetTraceName((ProgramFolder() + QStringLiteral("ORVRECV.TRC")).left(255));
    OrvComPort1->SetLogName((ProgramFolder() + QStringLiteral("ORVRECV.LOG")).left(255));
    OrvComPort1->SetTracing(tlOn);
    OrvComPort1->SetLogging(tlOn);
    OrvReceiveFax1->SetFaxFileExt(QStringLiteral("APF"));
    OrvReceiveFax1->SetConstantStatus(true);
    OrvReceiveFax1->SetDestinationDir(ProgramFolder() + QStringLiteral("receive"));
    OrvReceiveFax1->SetFileNamingMode(1);
    OrvReceiveFax1->OnFaxStatus = [this](TOrvCustomAbstractFax& cp, bool first, bool last) {
        OrvReceiveFax1FaxStatus(cp, first, last);
    };
    OrvReceiveFax1->OnFaxLog = [this](TOrvCustomAbstractFax& cp, TFaxLogCode code) { OrvReceiveFax1FaxLog(cp, code); };
    OrvReceiveFax1->OnFaxAccept = [this](TOrvCustomAbstractFax& cp, bool& accept) { OrvReceiveFax1FaxAccept(cp, accept); };
    OrvReceiveFax1->OnFaxError = [this](TOrvCustomAbstractFax& cp, int code) { OrvReceiveFax1FaxError(cp, code); };
}

void TMainScreen::SetReceiveButton(bool receiving) {
    ReceiveButton->setText(receiving ? QStringLiteral("STOP") : QStringLiteral("&Receive"));
    SetHint(ReceiveButton, receiving ? QStringLiteral("Stop receiving faxes") : QStringLiteral("Start receiving faxes"));
}

void TMainScreen::ReceiveButtonClick() {
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    FLastFaxError = 0;
    if (FReceiving) {
        try {
            OrvReceiveFax1->AbortSession();
            OrvComPort1->SetOpen(false);
        } catch (const std::exception&) {
            // Stopping goes on: the port is closed either way.
        }
        FReceiving = false;
        QApplication::restoreOverrideCursor();
        SetReceiveButton(false);
        status->clear();
    } else {
        FReceiving = true;
        SetButtons();
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        status->setText(QStringLiteral("Starting receive mode..."));
        const Settings& s = AppSettings();
        try {
            OrvComPort1->SetComNumber(uint16_t(s.comPort + 1));
            OrvReceiveFax1->SetFaxClass(FaxClassFromSetting(s.faxClass));
            OrvReceiveFax1->SetStationID(s.fax);
            OrvReceiveFax1->SetAnswerOnRing(uint16_t(std::clamp(s.answerOnRing, 0, 255)));
            if (!s.initString.isEmpty()) OrvReceiveFax1->SetModemInit(ModemInitFromSetting(s.initString));
            OrvComPort1->SetOpen(true);
            OrvReceiveFax1->BeginReceive();
            SetReceiveButton(true);
            QApplication::restoreOverrideCursor();
        } catch (const std::exception&) {
            try {
                OrvComPort1->SetOpen(false);
            } catch (const std::exception&) {
            }
            QApplication::restoreOverrideCursor();
            status->clear();
            ShowMessage(QStringLiteral("Error opening communications port"));
            FReceiving = false;
            SetReceiveButton(false);
        }
    }
    SetButtons();
}

void TMainScreen::OrvReceiveFax1FaxAccept(TOrvCustomAbstractFax&, bool& Accept) {
    FCallActive = true;
    FLastFaxError = 0;
    Accept = true;
}

void TMainScreen::OrvReceiveFax1FaxStatus(TOrvCustomAbstractFax&, bool First, bool Last) {
    UpdateValues();
    if (First) FPagesReceived = 0;
    if (Last) FCallActive = false;
}

void TMainScreen::UpdateValues() {
    FPagesReceived = quint16(std::max(0, OrvReceiveFax1->PageNumber()));
    QString text = TOrvCustomAbstractFax::ProgressText(OrvReceiveFax1->ProgressCode());
    const QString remote = OrvReceiveFax1->RemoteStationID().trimmed();
    if (!remote.isEmpty())
        text += QStringLiteral(" [ from ") + remote + QStringLiteral(" page ") +
                QString::number(OrvReceiveFax1->PageNumber()) + QStringLiteral("]");
    status->setText(text);
}

void TMainScreen::OrvReceiveFax1FaxError(TOrvCustomAbstractFax&, int ErrorCode) { FLastFaxError = ErrorCode; }

void TMainScreen::AddReceivedFax(const QString& fileName, const QString& from, int pages, const QString& notes) {
    const QDateTime now = QDateTime::currentDateTime();
    QString text = notes;
    // PAGES holds two digits: a longer fax keeps 99 there and its real count in NOTES.
    if (pages > kMaxPagesField) {
        const QString count = QStringLiteral("%1 pages").arg(pages);
        text = text.isEmpty() ? count : count + QStringLiteral("; ") + text;
        pages = kMaxPagesField;
    }
    try {
        RecTable.append();
        RecTable.fieldByName(QStringLiteral("DATEREC")).setAsDate(now.date());
        RecTable.fieldByName(QStringLiteral("TIMEREC")).setAsString(now.time().toString(QStringLiteral("HH:mm")));
        RecTable.fieldByName(QStringLiteral("FROM")).setAsString(from.left(20));
        RecTable.fieldByName(QStringLiteral("PAGES")).setAsInteger(pages);
        RecTable.fieldByName(QStringLiteral("FAXFILE")).setAsString(QFileInfo(fileName).fileName());
        RecTable.fieldByName(QStringLiteral("NOTES")).setAsString(text.left(TEditReceiveNotes::kNotesLength));
        RecTable.post();
    } catch (const std::exception& e) {
        if (RecTable.state() != TDataSetState::dsBrowse && RecTable.state() != TDataSetState::dsInactive)
            RecTable.cancel();
        // The fax itself is in the receive folder; the user learns it is not listed.
        ShowException(e);
    }
}

void TMainScreen::OrvReceiveFax1FaxLog(TOrvCustomAbstractFax&, int LogCode) {
    if (LogCode == logReceiveOk) {
        FCallActive = false;
        const QString file = OrvReceiveFax1->FaxFile();
        AddReceivedFax(file, OrvReceiveFax1->RemoteStationID().trimmed(), FPagesReceived, QString());
        PostPlayReceiveSound();
        return;
    }
    if (LogCode != logReceiveFail) return;
    FCallActive = false;
    const QString reason = FLastFaxError != 0 ? ErrorMessage(FLastFaxError) : QStringLiteral("Unknown error");
    FLastFaxError = 0;
    // The pages that did arrive are kept and listed, marked incomplete; a
    // call that brought no page leaves nothing behind.
    const QString file = OrvReceiveFax1->FaxFile();
    const int pages = file.isEmpty() ? 0 : PagesInFile(file);
    if (pages > 0)
        AddReceivedFax(file, OrvReceiveFax1->RemoteStationID().trimmed(), pages,
                       QStringLiteral("Incomplete: ") + reason);
    else if (!file.isEmpty())
        QFile::remove(file);
    ShowInfo(QStringLiteral("Failed to receive incoming fax:\r\r") + reason);
}

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
