// The Send command of the main window through the "Send Fax" window and
// modemsim: the fax file is made, sent in Class 2.0 to the simulated fax
// machine (which must receive our page below the header line), deleted, and
// the outcome written into the record; closing without sending, a busy
// number, and a fax class the modem lacks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTimer>

#include "common/orv_error.h"
#include "e2e/fax_pages.h"
#include "engine/com_port.h"
#include "engine/fax_components.h"
#include "shell/help_window.h"
#include "shell/main_screen.h"
#include "shell/modal_driver.h"
#include "shell/rich_text_memo.h"
#include "config/settings.h"
#include "support/modemsim_runner.h"
#include "support/temp_home.h"
#include "transmit/send_fax_form.h"
#include "richtext/rich_text_document.h"
#include "ui/widgets/radio_group.h"

namespace orv::test {
namespace {

constexpr int kHeaderRows = 16;  // the header line at fine resolution

void addFax(TMainScreen& w, int pages) {
    RichTextDocument cover, doc;
    QTextCursor c(doc.document());
    for (int p = 0; p < pages; ++p) {
        if (p > 0) RichTextDocument::insertPageBreak(c);
        c.insertText(QStringLiteral("Quarterly figures, page %1: the quick brown fox jumps over the lazy dog").arg(p + 1));
    }
    TTable& t = w.faxTable();
    t.append();
    SaveRichText(cover, "RTFCOVER", w.faxLink());
    SaveRichText(doc, "RTFDOC", w.faxLink());
    t.fieldByName("RECIPIENT").setAsString("Jane Roe");
    t.fieldByName("SUBJECT").setAsString("Figures");
    t.fieldByName("PHONE").setAsString("5551234");
    t.post();
}

struct Record {
    bool sent = false;
    QDate date;
    QString time, lastResult;
    int pages = 0;
};
Record record(TMainScreen& w) {
    TTable& t = w.faxTable();
    t.first();
    return {t.fieldByName("SENT").asBoolean(), t.fieldByName("DATESENT").asDate(), t.fieldByName("TIMESENT").asString(),
            t.fieldByName("LASTRESULT").asString(), t.fieldByName("PAGES").asInteger()};
}

void writeIni(const TempHome& home, const QString& port, int faxClass, const QString& extra = {}) {
    home.write("ORV.INI", (QString("[Modem]\nComPort=0\nFaxClass=%1\nCom1=%2\n[User]\nName=Test Sender\nFax=+1 555 0100\n"
                                   "[Dialing]\nDialAttempts=3\nRetryWait=60\nTimeout=60\n")
                               .arg(faxClass)
                               .arg(port) +
                           extra)
                              .toUtf8());
}

QStringList faxFilesIn(const TempHome& home) { return QDir(home.path()).entryList({"*.APF"}, QDir::Files); }

ModalDriver::Step answerBox(QString* text, QMessageBox::StandardButton button = QMessageBox::Ok) {
    return [text, button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return false;
        if (text) *text = box->text();
        if (box->button(button)) box->button(button)->click(); else box->accept();
        return true;
    };
}

ModalDriver::Step closeForm() {
    return [](QWidget* modal) {
        auto* form = qobject_cast<TSendFaxForm*>(modal);
        if (!form || form->Sending()) return false;
        child<QPushButton>(form, "CloseButton")->click();
        return true;
    };
}

}  // namespace

TEST(SendFaxWindow, SendsInClass20AndWritesTheOutcomeIntoTheRecord) {
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    TempHome home;
    writeIni(home, sim.port(1), 3);
    TMainScreen w;
    addFax(w, 1);
    w.show();
    QApplication::processEvents();

    QString header, finished;
    ModalDriver d;
    d.then([&](QWidget* modal) {
         auto* form = qobject_cast<TSendFaxForm*>(modal);
         if (!form) return false;
         EXPECT_EQ(form->windowTitle(), "Send Fax: [Jane Roe - Figures]");
         EXPECT_EQ(child<QLineEdit>(form, "sfPhoneNumber")->text(), "5551234");
         EXPECT_EQ(child<QLineEdit>(form, "sfusername")->text(), "Test Sender");
         EXPECT_EQ(child<QLineEdit>(form, "sfStationID")->text(), "+1 555 0100");
         EXPECT_EQ(child<TRadioGroup>(form, "sfFaxClass")->itemIndex(), 3);
         EXPECT_EQ(child<TRadioGroup>(form, "ComPort")->itemIndex(), 0);
         // The fax file is there while the window is open.
         EXPECT_EQ(faxFilesIn(home), QStringList({"ORV_1.APF"}));
         child<QPushButton>(form, "SendFaxButton")->click();
         header = form->sendFax()->HeaderLine();
         EXPECT_EQ(form->sendFax()->FaxClass(), fcClass2_0);
         EXPECT_TRUE(form->Sending());
         // Send and Close only beep while the call runs.
         child<QPushButton>(form, "SendFaxButton")->click();
         child<QPushButton>(form, "CloseButton")->click();
         EXPECT_TRUE(form->isVisible());
         return true;
     })
        .then(answerBox(&finished))
        .then(closeForm());
    // The "Fax Status" window follows the call while it runs.
    bool statusShown = false;
    QTimer look;
    look.setInterval(20);
    QObject::connect(&look, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->windowTitle() == "Fax Status" && top->isVisible()) statusShown = true;
    });
    look.start();
    ASSERT_TRUE(d.run([&] { child<QAbstractButton>(&w, "SendButton")->click(); }, 120000))
        << sim.traceLog().right(3000).toStdString();
    look.stop();
    EXPECT_EQ(d.unexpected(), 0) << d.unexpectedTitles().join(", ").toStdString();
    EXPECT_EQ(finished, "Finished: OK");
    EXPECT_TRUE(statusShown);
    EXPECT_TRUE(sim.traceLog().contains("<- AT+FCLASS=2.0"));

    // The record tells the outcome; the fax file is gone.
    const Record r = record(w);
    EXPECT_TRUE(r.sent);
    EXPECT_EQ(r.lastResult, "Sent");
    EXPECT_EQ(r.pages, 1);
    EXPECT_EQ(r.date, QDate::currentDate());
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d$").match(r.time).hasMatch()) << r.time.toStdString();
    EXPECT_TRUE(faxFilesIn(home).isEmpty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // The settings the window showed were saved back.
    EXPECT_TRUE(QString::fromUtf8(home.read("ORV.INI")).contains("Name=Test Sender"));

    // The header line as the window builds it: name, station ID tag, date and time.
    EXPECT_TRUE(header.startsWith("Page $P of $N, Sent by Test Sender, $I  on ")) << header.toStdString();

    // The fax machine got our page below the header line, pixel for pixel.
    const QString received = sim.waitForEvent("RECEIVED", 20000);
    ASSERT_TRUE(received.contains("pages=1 status=0")) << received.toStdString();
    const auto pages = readTiffPages(sim.receivedFiles().value(0), &err);
    ASSERT_EQ(pages.size(), 1u) << err.toStdString();
    bool headerInk = false;
    for (int y = kLeadRows; y < kLeadRows + kHeaderRows; ++y) headerInk = headerInk || !pages[0].rowIsWhite(y);
    EXPECT_TRUE(headerInk);
    const QString again = w.CreateFaxFile();  // the same page once more
    ASSERT_FALSE(again.isEmpty());
    const BilevelPage ours = decodeApfPage(again, 1);
    ASSERT_GT(ours.height, 2000);
    EXPECT_EQ(comparePages(ours, dropTopRows(pages[0], kLeadRows + kHeaderRows)).toStdString(), "");
    QFile::remove(again);
}

TEST(SendFaxWindow, ClosingWithoutSendingStoresCancelledAndDeletesTheFile) {
    TempHome home;
    writeIni(home, "/nonexistent/ttyFAX", 0);
    TMainScreen w;
    addFax(w, 2);
    w.show();
    QApplication::processEvents();
    ModalDriver d;
    d.then(closeForm());
    ASSERT_TRUE(d.run([&] { child<QAbstractButton>(&w, "SendButton")->click(); }));
    EXPECT_EQ(d.unexpected(), 0);
    const Record r = record(w);
    EXPECT_FALSE(r.sent);
    EXPECT_EQ(r.lastResult, "Cancelled");
    EXPECT_EQ(r.pages, 2);
    EXPECT_FALSE(r.date.isValid());
    EXPECT_TRUE(faxFilesIn(home).isEmpty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(SendFaxWindow, ABusyNumberIsDialledTwiceAndTheFailureKept) {
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.extraArgs << "--fault" << "busy";
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    TempHome home;
    writeIni(home, sim.port(1), 3);
    TMainScreen w;
    addFax(w, 1);
    w.show();
    QApplication::processEvents();
    QString finished;
    ModalDriver d;
    d.then([&](QWidget* modal) {
         auto* form = qobject_cast<TSendFaxForm*>(modal);
         if (!form) return false;
         child<QLineEdit>(form, "sfDialAttempts")->setText("2");
         child<QLineEdit>(form, "sfRetryWait")->setText("1");
         child<QPushButton>(form, "SendFaxButton")->click();
         EXPECT_EQ(form->sendFax()->DialAttempts(), 2);
         EXPECT_EQ(form->sendFax()->DialRetryWait(), 1);
         return true;
     })
        .then(answerBox(&finished))
        .then(closeForm());
    ASSERT_TRUE(d.run([&] { child<QAbstractButton>(&w, "SendButton")->click(); }, 120000))
        << sim.traceLog().right(3000).toStdString();
    EXPECT_EQ(d.unexpected(), 0);
    const QString busy = ErrorMessage(ecFaxBusy);
    EXPECT_EQ(finished, "Finished: " + busy);
    EXPECT_EQ(sim.traceLog().count("dialling"), 2);
    const Record r = record(w);
    EXPECT_FALSE(r.sent);
    EXPECT_EQ(r.lastResult, busy);
    EXPECT_EQ(r.pages, 1);
    EXPECT_TRUE(faxFilesIn(home).isEmpty());
    // The window's changes to the dialling settings were kept.
    EXPECT_EQ(AppSettings().dialAttempts, 2);
    EXPECT_EQ(AppSettings().retryWait, 1);
}

TEST(SendFaxWindow, AClassTheModemLacksIsQuestionedAndNoStopsBeforeDialling) {
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.extraArgs << "--classes" << "2";
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    TempHome home;
    writeIni(home, sim.port(1), 3);  // class 2.0
    TMainScreen w;
    addFax(w, 1);
    w.show();
    QApplication::processEvents();
    QString question, title;
    bool portClosed = false, idle = false;
    ModalDriver d;
    d.then([&](QWidget* modal) {
         auto* form = qobject_cast<TSendFaxForm*>(modal);
         if (!form) return false;
         // Clicked from the event loop, so the question it asks is answered by the next step.
         QTimer::singleShot(0, child<QPushButton>(form, "SendFaxButton"), &QPushButton::click);
         return true;
     })
        .then([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) return false;
            question = box->text();
            title = box->windowTitle();
            box->button(QMessageBox::No)->click();
            return true;
        })
        .then([&](QWidget* modal) {
            auto* form = qobject_cast<TSendFaxForm*>(modal);
            if (!form) return false;
            portClosed = !form->comPort()->Open();
            idle = !form->Sending();
            return closeForm()(modal);
        });
    ASSERT_TRUE(d.run([&] { child<QAbstractButton>(&w, "SendButton")->click(); }, 60000))
        << sim.traceLog().right(3000).toStdString();
    EXPECT_EQ(d.unexpected(), 0);
    EXPECT_EQ(title, "FAX CLASS ERROR");
    EXPECT_EQ(question, "Selected Fax Class is not supported by \nthe selected modem. Continue anyways?");
    EXPECT_TRUE(portClosed);
    EXPECT_TRUE(idle);
    EXPECT_EQ(sim.traceLog().count("dialling"), 0);
    EXPECT_EQ(record(w).lastResult, "Cancelled");
}

TEST(SendFaxWindow, HeaderSettingsAndTheirNumbers) {
    TempHome home;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QDate d(2025, 3, 7);
    EXPECT_EQ(TSendFaxForm::BuildHeader("Ann", "+1 555", d, QTime(14, 5)),
              "Page $P of $N, Sent by Ann, $I  on 7 Mar 2025 at 02:05pm");
    EXPECT_EQ(TSendFaxForm::BuildHeader("", "", d, QTime(0, 30)), "Page $P of $N, Sent  on 7 Mar 2025 at 12:30am");
    EXPECT_EQ(TSendFaxForm::BuildHeader("Ann", "", d, QTime(12, 0)), "Page $P of $N, Sent by Ann, on 7 Mar 2025 at 12:00pm");
    EXPECT_EQ(TSendFaxForm::BuildHeader("", "555", d, QTime(9, 59)), "Page $P of $N, Sent by  $I  on 7 Mar 2025 at 09:59am");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_TRUE(TSendFaxForm::BuildHeader("", "", QDate(2025, 3, 7), QTime(9, 0)).contains("7 März 2025"));
    QLocale::setDefault(QLocale::c());

    // Settings in and back; a box without a whole number leaves its setting.
    Settings s;
    s.comPort = -1;
    s.dialAttempts = 4;
    s.retryWait = 30;
    s.timeout = 45;
    s.faxClass = 2;
    s.toneOrPulse = 1;
    s.blindDial = true;
    s.initString = "&F";
    TSendFaxForm form;
    form.LoadFrom(s);
    EXPECT_EQ(child<TRadioGroup>(&form, "ComPort")->itemIndex(), -1);
    EXPECT_EQ(form.comPort()->ComNumber(), 0);
    EXPECT_EQ(child<QLineEdit>(&form, "sfDialAttempts")->text(), "4");
    EXPECT_EQ(child<QLineEdit>(&form, "sfModemInit")->text(), "&F");
    EXPECT_TRUE(child<QCheckBox>(&form, "CheckBlindDial")->isChecked());
    EXPECT_EQ(child<QLineEdit>(&form, "sfusername")->maxLength(), 20);
    EXPECT_EQ(child<QLineEdit>(&form, "sfStationID")->maxLength(), 20);
    child<QLineEdit>(&form, "sfDialAttempts")->setText("three");
    child<QLineEdit>(&form, "sfRetryWait")->setText("15");
    child<TRadioGroup>(&form, "ComPort")->setItemIndex(1);
    Settings back = s;
    form.StoreTo(back);
    EXPECT_EQ(back.dialAttempts, 4);
    EXPECT_EQ(back.retryWait, 15);
    EXPECT_EQ(back.comPort, 1);
    EXPECT_EQ(back.faxClass, 2);
    EXPECT_EQ(back.toneOrPulse, 1);
    // Help opens the window's own page.
    EXPECT_FALSE(THelpWindow::pageOf(1016).isEmpty());
}

}  // namespace orv::test
