// The main window's Send: the current sent fax is made into a fax file, the
// "Send Fax" window sends it, and the outcome goes into the fax's record.
#include <QApplication>
#include <QDate>
#include <QFile>
#include <QTime>

#include "config/ini_file.h"
#include "shell/main_screen.h"
#include "shell/message_boxes.h"
#include "config/settings.h"
#include "shell/window_placement.h"
#include "transmit/send_fax_form.h"
#include "ui/widgets/button_panel.h"

namespace orv {

namespace {

// PAGES holds two digits.
constexpr int kMaxPagesField = 99;

}  // namespace

void TMainScreen::SendButtonClick() {
    if (SentRecordCount() == 0) {
        Beep();
        return;
    }
    const QString faxFile = CreateFaxFile();
    if (faxFile.isEmpty()) {
        ShowInfo(QStringLiteral("Error creating fax file"));
        return;
    }
    // The record the outcome belongs to, whatever the list does meanwhile.
    const uint32_t recno = FaxTable.recNo();

    QString result;
    {
        TSendFaxForm form(this);
        CenterWindow(&form);
        form.setFaxFileName(faxFile);
        form.setWindowTitle(QStringLiteral("Send Fax: [") + FaxTable.fieldByName(QStringLiteral("RECIPIENT")).asString() +
                            QStringLiteral(" - ") + FaxTable.fieldByName(QStringLiteral("SUBJECT")).asString() +
                            QStringLiteral("]"));
        form.setPhoneNumber(FaxTable.fieldByName(QStringLiteral("PHONE")).asString());
        form.LoadFrom(AppSettings());
        CenterWindow(&form);
        if (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
        ButtonBar->setEnabled(true);
        form.exec();

        result = form.Result();
        form.StoreTo(AppSettings());
        try {
            SaveSettings();
        } catch (const IniWriteError& e) {
            ShowException(e);
        }
    }
    QFile::remove(faxFile);

    try {
        if (recno > 0 && recno <= FaxTable.recordCount()) FaxTable.gotoRecord(recno);
        FaxTable.edit();
        // A fax of 100 pages or more keeps 99 in PAGES and says how many it had.
        QString lastResult = result;
        int pages = FFaxPages;
        if (pages > kMaxPagesField) {
            lastResult += QStringLiteral(" (%1 pages)").arg(pages);
            pages = kMaxPagesField;
        }
        FaxTable.fieldByName(QStringLiteral("PAGES")).setAsInteger(pages);
        FaxTable.fieldByName(QStringLiteral("LASTRESULT")).setAsString(lastResult);
        const QString upper = result.toUpper();
        if (upper == QLatin1String("SENT") || upper == QLatin1String("OK")) {
            FaxTable.fieldByName(QStringLiteral("SENT")).setAsBoolean(true);
            FaxTable.fieldByName(QStringLiteral("DATESENT")).setAsDate(QDate::currentDate());
            FaxTable.fieldByName(QStringLiteral("TIMESENT")).setAsString(QTime::currentTime().toString(QStringLiteral("HH:mm")));
        }
        FaxTable.post();
    } catch (const std::exception& e) {
        if (FaxTable.state() == TDataSetState::dsEdit) FaxTable.cancel();
        ShowException(e);
    }
    // The send window left the hourglass up until the record was written.
    if (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    SetButtons();
}

}  // namespace orv
