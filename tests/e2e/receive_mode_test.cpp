// Receive mode of the main window through modemsim: the Receive button
// answers calls from the simulated fax machine, each received fax becomes a
// file in the receive folder and a row of the Received list; a call cut off
// mid-fax keeps the pages that arrived, marked incomplete; STOP closes the port.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include "e2e/fax_programs.h"
#include "engine/com_port.h"
#include "images/apf_file.h"
#include "shell/main_screen.h"
#include "shell/modal_driver.h"
#include "support/modemsim_runner.h"
#include "support/temp_home.h"
#include "ui/widgets/picture_button.h"

namespace orv::test {
namespace {

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

struct Row {
    QDate date;
    QString time, from, file, notes;
    int pages = 0;
};

// The received list in record order.
QList<Row> rows(TMainScreen& w) {
    QList<Row> out;
    TTable& t = w.recTable();
    for (uint32_t r = 1; r <= t.recordCount(); ++r) {
        t.gotoRecord(r);
        out.append({t.fieldByName("DATEREC").asDate(), t.fieldByName("TIMEREC").asString(),
                    t.fieldByName("FROM").asString(), t.fieldByName("FAXFILE").asString(),
                    t.fieldByName("NOTES").asString(), t.fieldByName("PAGES").asInteger()});
    }
    return out;
}

int apfPages(const QString& file) {
    ApfReader r;
    return r.open(file) < 0 ? -1 : r.pageCount();
}

}  // namespace

TEST(ReceiveMode, AnswersCallsListsEachFaxKeepsACutOffOneAndStops) {
    QTemporaryDir work;
    const TestDocument one = makeDocument(work.path() + "", 1, 20);
    ASSERT_EQ(one.pages.size(), 1);
    QDir().mkpath(work.filePath("two"));
    const TestDocument two = makeDocument(work.filePath("two"), 2, 40);
    ASSERT_EQ(two.pages.size(), 2);
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.sendFile = one.allPages;
    config.extraArgs << "--classes" << "2,2.0";
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();

    TempHome home;
    home.write("ORV.INI", ("[Modem]\nComPort=0\nFaxClass=3\nCom1=" + sim.port(1) +
                           "\n[User]\nFax=+1 555 0100\n[Receive]\nAnswerOnRing=1\n").toUtf8());
    TMainScreen w;
    w.show();
    QApplication::processEvents();
    auto* receive = child<TPictureButton>(&w, "ReceiveButton");
    auto* status = child<QLabel>(&w, "status");

    receive->click();
    EXPECT_TRUE(w.receiving());
    EXPECT_EQ(receive->text(), "STOP");
    EXPECT_EQ(receive->statusTip(), "Stop receiving faxes");
    EXPECT_FALSE(child<QAction>(&w, "mnuPreferences")->isEnabled());
    EXPECT_FALSE(child<QAction>(&w, "mnuRebuildIndexes")->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // The modem is told to answer fax calls; each call comes when the modem
    // has been set up for it (the last set-up command is +FNR).
    ASSERT_TRUE(waitUntil([&] { return sim.traceLog().contains("<- AT+FCR=1"); }, 20000))
        << sim.traceLog().right(2000).toStdString();
    auto ready = [&](int calls) {
        return waitUntil([&] { return sim.traceLog().count("<- AT+FNR=") >= calls; }, 30000);
    };

    // Two calls in a row: two files, two rows.
    for (int call = 1; call <= 2; ++call) {
        SCOPED_TRACE(call);
        ASSERT_TRUE(ready(call)) << sim.traceLog().right(2000).toStdString();
        sim.command("call 1");
        ASSERT_TRUE(waitUntil([&] { return w.recTable().recordCount() == uint32_t(call) && !w.callActive(); }, 60000))
            << sim.traceLog().right(3000).toStdString();
    }
    QList<Row> list = rows(w);
    ASSERT_EQ(list.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QString name = QString("FAX%1.APF").arg(i + 1, 4, 10, QChar('0'));
        EXPECT_EQ(list[i].file, name);
        EXPECT_EQ(list[i].from, "MODEMSIM TERMINAL");
        EXPECT_EQ(list[i].pages, 1);
        EXPECT_EQ(list[i].notes, "");
        EXPECT_EQ(list[i].date, QDate::currentDate());
        EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d$").match(list[i].time).hasMatch()) << list[i].time.toStdString();
        EXPECT_EQ(apfPages(home.file("receive/" + name)), 1);
    }
    // The status line told about the call, naming the sender.
    EXPECT_TRUE(w.receiving());

    // The far end hangs up during page 2: page 1 stays, listed as incomplete,
    // and the user is told why.
    ASSERT_TRUE(ready(3)) << sim.traceLog().right(2000).toStdString();
    sim.command("fault hangup-page=2");
    QString told;
    ModalDriver failure;
    failure.then([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return false;
        told = box->text();
        box->accept();
        return true;
    });
    ASSERT_TRUE(failure.run([&] { sim.command("call 1 " + two.allPages); }, 90000))
        << sim.traceLog().right(3000).toStdString();
    EXPECT_EQ(failure.unexpected(), 0);
    EXPECT_TRUE(told.startsWith("Failed to receive incoming fax:\n\n")) << told.toStdString();
    EXPECT_GT(told.size(), QString("Failed to receive incoming fax:\n\n").size());
    list = rows(w);
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list[2].file, "FAX0003.APF");
    EXPECT_TRUE(list[2].notes.startsWith("Incomplete: ")) << list[2].notes.toStdString();
    EXPECT_GE(list[2].pages, 1);
    EXPECT_EQ(apfPages(home.file("receive/FAX0003.APF")), list[2].pages);
    EXPECT_FALSE(w.callActive());
    EXPECT_TRUE(w.receiving());

    // STOP while no call is active: receive mode ends and the port is free.
    receive->click();
    EXPECT_FALSE(w.receiving());
    EXPECT_EQ(receive->text(), "&Receive");
    EXPECT_EQ(receive->statusTip(), "Start receiving faxes");
    EXPECT_TRUE(child<QAction>(&w, "mnuPreferences")->isEnabled());
    auto* port = w.findChild<TOrvComPort*>("OrvComPort1");
    ASSERT_NE(port, nullptr);
    EXPECT_FALSE(port->Open());
    EXPECT_TRUE(status->text().isEmpty());
    // Closing asks nothing when no call is active.
    ModalDriver closing;
    EXPECT_TRUE(closing.run([&] { w.close(); }, 2000));
    EXPECT_EQ(closing.unexpected(), 0);
}

TEST(ReceiveMode, APortThatCannotBeOpenedLeavesReceiveModeOff) {
    TempHome home;
    home.write("ORV.INI", "[Modem]\nComPort=0\nCom1=/nonexistent/ttyFAX\n");
    TMainScreen w;
    w.show();
    QApplication::processEvents();
    auto* receive = child<TPictureButton>(&w, "ReceiveButton");
    QString said;
    ModalDriver d;
    d.then([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return false;
        said = box->text();
        box->accept();
        return true;
    });
    ASSERT_TRUE(d.run([&] { receive->click(); }));
    EXPECT_EQ(said, "Error opening communications port");
    EXPECT_FALSE(w.receiving());
    EXPECT_EQ(receive->text(), "&Receive");
    EXPECT_EQ(receive->statusTip(), "Start receiving faxes");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace orv::test
