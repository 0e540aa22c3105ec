// The main window over real tables: the lists, the enabling rules with and
// without records, the order switch, Delete, the table-open failures and
// Rebuild Indexes.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>

#include <memory>

#include "shell/db_grid.h"
#include "shell/main_screen.h"
#include "shell/modal_driver.h"
#include "shell/preferences.h"
#include "shell/rebuild_ind.h"
#include "store/table_model.h"
#include "support/temp_home.h"
#include "ui/widgets/gauge.h"
#include "ui/widgets/tab_set.h"

using namespace orv;
using orv::test::child;
using orv::test::ModalDriver;
using orv::test::TempHome;

namespace {

void configured(const TempHome& home) { home.write("ORV.INI", "[Modem]\nComPort=0\n"); }

void addFax(TMainScreen& w, const QString& subject, const QDate& date = {}, const QString& time = {}) {
    TTable& t = w.faxTable();
    t.append();
    t.fieldByName("SUBJECT").setAsString(subject);
    t.fieldByName("RECIPIENT").setAsString("R. " + subject);
    if (date.isValid()) {
        t.fieldByName("SENT").setAsBoolean(true);
        t.fieldByName("DATESENT").setAsDate(date);
        t.fieldByName("TIMESENT").setAsString(time);
    }
    t.post();
}

void addReceived(TMainScreen& w, const QString& from, const QDate& date, const QString& time) {
    TTable& t = w.recTable();
    t.append();
    t.fieldByName("DATEREC").setAsDate(date);
    t.fieldByName("TIMEREC").setAsString(time);
    t.fieldByName("FROM").setAsString(from);
    t.fieldByName("PAGES").setAsInteger(1);
    t.fieldByName("FAXFILE").setAsString("FAX0001.APF");
    t.post();
}

// What an independent look at a .DBF file finds: the record count in its
// header and the deletion flag of each record.
struct DbfLook {
    quint32 records = 0;
    QList<bool> deleted;
};
DbfLook lookAt(const QString& path) {
    QFile f(path);
    DbfLook look;
    if (!f.open(QIODevice::ReadOnly)) return look;
    const QByteArray b = f.readAll();
    if (b.size() < 32) return look;
    auto byte = [&](int i) { return quint32(uchar(b.at(i))); };
    look.records = byte(4) | byte(5) << 8 | byte(6) << 16 | byte(7) << 24;
    const int header = int(byte(8) | byte(9) << 8);
    const int length = int(byte(10) | byte(11) << 8);
    for (quint32 r = 0; r < look.records; ++r) {
        const qsizetype at = header + qsizetype(r) * length;
        look.deleted << (at < b.size() && b[at] == '*');
    }
    return look;
}

QString cell(TDBGrid* grid, int row, const QString& label) {
    TableModel* m = grid->tableModel();
    for (int c = 0; c < m->columnCount(); ++c)
        if (m->headerData(c, Qt::Horizontal).toString() == label) return m->data(m->index(row, c)).toString();
    ADD_FAILURE() << "no column " << label.toStdString();
    return {};
}

bool on(TMainScreen& w, const char* button, const char* item = nullptr) {
    const bool b = child<QWidget>(&w, button)->isEnabled();
    if (item) {
        EXPECT_EQ(child<QAction>(&w, item)->isEnabled(), b) << item << " follows " << button;
    }
    return b;
}
bool itemOn(TMainScreen& w, const char* item) { return child<QAction>(&w, item)->isEnabled(); }

}  // namespace

TEST(MainScreenLists, GridsShowTheirColumnsNewestFirstReadOnly) {
    TempHome home;
    configured(home);
    TMainScreen w;
    addFax(w, "Older", QDate(2024, 3, 1), "09:15");
    addFax(w, "Not sent yet");
    addFax(w, "Newest", QDate(2024, 3, 2), "08:00");
    addFax(w, "Same day later", QDate(2024, 3, 1), "17:40");
    addReceived(w, "ACME", QDate(2024, 2, 1), "10:00");
    addReceived(w, "Globex", QDate(2024, 2, 3), "11:00");
    w.show();
    QApplication::processEvents();

    auto* grid = child<TDBGrid>(&w, "FaxGrid");
    auto* recGrid = child<TDBGrid>(&w, "RecFaxGrid");
    ASSERT_TRUE(grid && recGrid);
    EXPECT_EQ(grid->parentWidget(), child<QWidget>(&w, "SentPage"));
    EXPECT_EQ(recGrid->parentWidget(), child<QWidget>(&w, "ReceivedPage"));
    QStringList titles;
    for (int c = 0; c < grid->tableModel()->columnCount(); ++c)
        titles << grid->tableModel()->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(titles, QStringList({"Sent", "Date Sent", "Time Sent", "Recipient", "Phone", "Pages", "Subject", "Last Attempt"}));
    titles.clear();
    for (int c = 0; c < recGrid->tableModel()->columnCount(); ++c)
        titles << recGrid->tableModel()->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(titles, QStringList({"Date Rec'd", "Time Rec'd", "From", "Pages", "Notes"}));

    // Widths follow the display widths: Last Attempt (35) is wider than
    // Recipient (20), which is wider than Phone (15); Notes is 60 wide.
    EXPECT_GT(grid->columnWidth(7), grid->columnWidth(3));
    EXPECT_GT(grid->columnWidth(3), grid->columnWidth(4));
    EXPECT_EQ(grid->columnWidth(3), grid->widthForCharacters(20));
    EXPECT_EQ(recGrid->columnWidth(4), recGrid->widthForCharacters(60));

    // Newest first: the date tag is descending, and the time orders one day.
    // The fax never sent has no date and comes last.
    ASSERT_EQ(grid->tableModel()->rowCount(), 4);
    EXPECT_EQ(cell(grid, 0, "Subject"), "Newest");
    EXPECT_EQ(cell(grid, 1, "Subject"), "Same day later");
    EXPECT_EQ(cell(grid, 2, "Subject"), "Older");
    EXPECT_EQ(cell(grid, 3, "Subject"), "Not sent yet");
    EXPECT_EQ(cell(grid, 0, "Sent"), "Yes");
    EXPECT_EQ(cell(grid, 3, "Sent"), "No ");
    EXPECT_EQ(cell(grid, 0, "Time Sent"), "08:00");
    EXPECT_EQ(cell(recGrid, 0, "From"), "Globex");

    // Read only, with titles, the row indicator and lines; one whole row is chosen.
    EXPECT_EQ(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_TRUE(grid->horizontalHeader()->isVisible());
    EXPECT_TRUE(grid->verticalHeader()->isVisible());
    EXPECT_NE(qobject_cast<TGridIndicator*>(grid->verticalHeader()), nullptr);
    EXPECT_TRUE(grid->showGrid());
    EXPECT_EQ(grid->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
    EXPECT_EQ(grid->selectionBehavior(), QAbstractItemView::SelectRows);

    // The grid's row and the table's current record go together, both ways.
    // (The last fax added is current: the new table had its order from the start.)
    EXPECT_EQ(w.faxTable().fieldByName("SUBJECT").asString(), "Same day later");
    EXPECT_EQ(grid->currentRow(), 1);
    grid->setCurrentIndex(grid->tableModel()->index(2, 1));
    EXPECT_EQ(w.faxTable().fieldByName("SUBJECT").asString(), "Older");
    w.faxTable().first();
    EXPECT_EQ(grid->currentRow(), 0);
    w.faxTable().last();
    EXPECT_EQ(grid->currentRow(), 3);

    // A double-click on a row makes it current and asks for View. These faxes
    // have no texts, so instead of the Fax Viewer come the two messages of a
    // fax file that cannot be made.
    ModalDriver none;
    none.run([&] {
        const QModelIndex index = grid->tableModel()->index(1, 2);
        grid->setCurrentIndex(index);
        emit grid->doubleClicked(index);
    });
    EXPECT_EQ(none.unexpected(), 2) << none.unexpectedTitles().join(", ").toStdString();
    EXPECT_EQ(w.faxTable().fieldByName("SUBJECT").asString(), "Same day later");

    // A grab paints every visible row: the list paints without trouble.
    EXPECT_FALSE(w.grab().isNull());
}

// The commands of the button bar (with their menu items) that are available.
struct Commands {
    bool newFax, edit, clone, del, send, view, maintenance;
};
void expectCommands(TMainScreen& w, const Commands& c, const char* when) {
    SCOPED_TRACE(when);
    EXPECT_EQ(on(w, "Newbutton", "mnuNew"), c.newFax);
    EXPECT_EQ(on(w, "EditButton", "mnuEdit"), c.edit);
    EXPECT_EQ(on(w, "CloneButton", "mnuClone"), c.clone);
    EXPECT_EQ(on(w, "DeleteButton", "mnuDelete"), c.del);
    EXPECT_EQ(on(w, "SendButton", "mnuSend"), c.send);
    EXPECT_EQ(on(w, "ViewFaxButton", "mnuViewPrint"), c.view);
    EXPECT_TRUE(on(w, "ReceiveButton", "mnuReceive"));
    EXPECT_EQ(itemOn(w, "mnuRebuildIndexes"), c.maintenance);
    EXPECT_EQ(itemOn(w, "mnuPreferences"), c.maintenance);
}

TEST(MainScreenLists, EnablingRulesWithRealTablesOnBothPagesAndInReceiveMode) {
    TempHome home;
    configured(home);
    TMainScreen w;
    w.show();
    QApplication::processEvents();
    auto* tabs = child<TTabSet>(&w, "TabSet1");
    auto* grid = child<TDBGrid>(&w, "FaxGrid");
    auto* recGrid = child<TDBGrid>(&w, "RecFaxGrid");

    //                     new    edit   clone  delete send   view   maintenance
    expectCommands(w, {true, false, false, false, false, false, true}, "sent page, both empty");
    EXPECT_FALSE(grid->isEnabled());
    EXPECT_FALSE(recGrid->isEnabled());

    addFax(w, "First");
    w.SetButtons();
    expectCommands(w, {true, true, true, true, true, true, true}, "sent page with a fax");
    EXPECT_TRUE(grid->isEnabled());
    EXPECT_FALSE(recGrid->isEnabled());

    w.SetReceiving(true);
    expectCommands(w, {true, true, true, true, false, true, false}, "sent page with a fax, receiving");

    tabs->setTabIndex(1);
    expectCommands(w, {false, false, false, false, false, false, false}, "received page, empty, receiving");

    // A fax came in: it can be viewed while receiving, not edited or deleted.
    addReceived(w, "ACME", QDate(2024, 5, 1), "12:00");
    w.SetButtons();
    expectCommands(w, {false, false, false, false, false, true, false}, "received page with a fax, receiving");
    EXPECT_TRUE(recGrid->isEnabled());

    w.SetReceiving(false);
    expectCommands(w, {false, true, false, true, false, true, true}, "received page with a fax");

    tabs->setTabIndex(0);
    expectCommands(w, {true, true, true, true, true, true, true}, "back on the sent page");
}

TEST(MainScreenLists, AnEmptyListIsInNaturalOrderAndTheDateTagComesBackWithRecords) {
    TempHome home;
    configured(home);
    {
        TMainScreen w;
        w.show();
        QApplication::processEvents();
        // A new table has its tag, but an empty list falls back to natural order.
        EXPECT_EQ(w.faxLink().currentIndexOrder(), 0);
        EXPECT_EQ(w.recLink().currentIndexOrder(), 0);
        addFax(w, "Monday", QDate(2024, 4, 1), "10:00");
        EXPECT_EQ(w.faxLink().currentIndexOrder(), 0);
        w.SetButtons();
        EXPECT_EQ(w.faxLink().currentIndexOrder(), w.faxLink().tagNumber("DATESENT"));
        EXPECT_NE(w.faxLink().currentIndexOrder(), 0);
        EXPECT_EQ(w.faxTable().fieldByName("SUBJECT").asString(), "Monday");
        addFax(w, "Wednesday", QDate(2024, 4, 3), "10:00");
        addFax(w, "Tuesday", QDate(2024, 4, 2), "10:00");
        addReceived(w, "Early", QDate(2024, 1, 1), "07:00");
        addReceived(w, "Late", QDate(2024, 1, 2), "07:00");
        w.SetButtons();
        EXPECT_EQ(w.recLink().currentIndexOrder(), w.recLink().tagNumber("DATETIME"));
        EXPECT_EQ(w.recTable().fieldByName("FROM").asString(), "Late");
        w.close();
    }
    // The next start opens the tables with their index files and no order;
    // the first activation selects the tag and the newest fax.
    TMainScreen w;
    EXPECT_EQ(w.faxLink().currentIndexOrder(), 0);
    w.show();
    QApplication::processEvents();
    EXPECT_EQ(w.faxLink().currentIndexOrder(), w.faxLink().tagNumber("DATESENT"));
    EXPECT_EQ(w.faxTable().fieldByName("SUBJECT").asString(), "Wednesday");
    EXPECT_EQ(child<TDBGrid>(&w, "FaxGrid")->currentRow(), 0);
    EXPECT_EQ(w.recTable().fieldByName("FROM").asString(), "Late");

    // Every record gone: natural order again, the grid and commands off.
    ModalDriver yes;
    for (int i = 0; i < 3; ++i)
        yes.then([](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) return false;
            box->button(QMessageBox::Yes)->click();
            return true;
        });
    EXPECT_TRUE(yes.run([&] {
        for (int i = 0; i < 3; ++i) child<QAction>(&w, "mnuDelete")->trigger();
    }));
    EXPECT_EQ(w.faxLink().currentIndexOrder(), 0);
    EXPECT_FALSE(child<TDBGrid>(&w, "FaxGrid")->isEnabled());
    EXPECT_FALSE(on(w, "DeleteButton", "mnuDelete"));
}

TEST(MainScreenLists, DeleteAsksWithTheSubjectAndNoAsDefault) {
    TempHome home;
    configured(home);
    TMainScreen w;
    addFax(w, "Budget", QDate(2024, 6, 1), "09:00");
    addFax(w, "Minutes", QDate(2024, 6, 2), "09:00");
    w.show();
    QApplication::processEvents();
    auto* grid = child<TDBGrid>(&w, "FaxGrid");
    ASSERT_EQ(grid->tableModel()->rowCount(), 2);
    grid->setCurrentIndex(grid->tableModel()->index(1, 0));
    ASSERT_EQ(w.faxTable().fieldByName("SUBJECT").asString(), "Budget");

    auto answer = [](QMessageBox::StandardButton choice, const QString& subject) {
        return [choice, subject](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) return false;
            EXPECT_EQ(box->windowTitle(), "Delete");
            EXPECT_EQ(box->text(), "Delete the current fax?\n(subject: \"" + subject + "\")");
            EXPECT_EQ(box->icon(), QMessageBox::Question);
            EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
            box->button(choice)->click();
            return true;
        };
    };

    // No: the fax stays, in the list and in the file.
    ModalDriver no;
    no.then(answer(QMessageBox::No, "Budget"));
    EXPECT_TRUE(no.run([&] { child<QAbstractButton>(&w, "DeleteButton")->click(); }));
    EXPECT_EQ(no.unexpected(), 0);
    EXPECT_EQ(grid->tableModel()->rowCount(), 2);
    EXPECT_EQ(w.faxTable().fieldByName("SUBJECT").asString(), "Budget");
    EXPECT_EQ(lookAt(home.file("ORV.DBF")).deleted, QList<bool>({false, false}));

    // Yes: marked deleted in the file, gone from the list at once.
    ModalDriver yes;
    yes.then(answer(QMessageBox::Yes, "Budget"));
    EXPECT_TRUE(yes.run([&] { child<QAction>(&w, "mnuDelete")->trigger(); }));
    EXPECT_EQ(yes.unexpected(), 0);
    ASSERT_EQ(grid->tableModel()->rowCount(), 1);
    EXPECT_EQ(cell(grid, 0, "Subject"), "Minutes");
    EXPECT_EQ(w.faxTable().fieldByName("SUBJECT").asString(), "Minutes");
    EXPECT_EQ(grid->currentRow(), 0);
    EXPECT_EQ(w.faxLink().recordCount(), 2u);
    EXPECT_EQ(w.faxLink().filteredRecordCount(), 1u);
    const DbfLook look = lookAt(home.file("ORV.DBF"));
    EXPECT_EQ(look.records, 2u);
    EXPECT_EQ(look.deleted, QList<bool>({true, false}));
    EXPECT_TRUE(on(w, "DeleteButton", "mnuDelete"));
}

TEST(MainScreenLists, TablesThatCannotBeOpenedEndTheProgramWithBothMessages) {
    TempHome home;  // no ORV.INI: Preferences would open at the first activation
    // A folder where the table should be, and a damaged table.
    ASSERT_TRUE(QDir(home.path()).mkdir("ORV.DBF"));
    home.write("ORVREC.DBF", QByteArray("this is not a table at all, just some text\r\n").repeated(3));

    std::unique_ptr<TMainScreen> w;
    QStringList messages;
    auto info = [&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return false;
        EXPECT_EQ(box->windowTitle(), "Information");
        EXPECT_EQ(box->icon(), QMessageBox::Information);
        messages << box->text();
        box->button(QMessageBox::Ok)->click();
        return true;
    };
    ModalDriver driver;
    driver.then(info).then(info);
    EXPECT_TRUE(driver.run([&] {
        w = std::make_unique<TMainScreen>();
        w->show();
    }));
    EXPECT_EQ(messages, QStringList({"Unable to open/create the FAX datafile - closing program",
                                     "Unable to open/create the FAX RECEIVE datafile - closing program"}));
    // No Preferences, no other window: the program closed itself.
    EXPECT_EQ(driver.unexpected(), 0) << driver.unexpectedTitles().join(", ").toStdString();
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(w->faxTable().active());
    EXPECT_FALSE(w->recTable().active());
    // The damaged table is left as it was for the user to look at.
    EXPECT_TRUE(home.read("ORVREC.DBF").startsWith("this is not a table"));
}

TEST(MainScreenLists, OneTableFailingLeavesTheOtherAlone) {
    TempHome home;
    configured(home);
    home.write("ORVREC.DBF", QByteArray(700, '\x7f'));
    std::unique_ptr<TMainScreen> w;
    QStringList messages;
    ModalDriver driver;
    driver.then([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return false;
        messages << box->text();
        box->button(QMessageBox::Ok)->click();
        return true;
    });
    bool recGridOn = true, viewOnReceivedPage = true;
    EXPECT_TRUE(driver.run([&] {
        w = std::make_unique<TMainScreen>();
        addFax(*w, "Kept", QDate(2024, 1, 1), "08:00");
        // The closed received table counts as empty; its link must not read
        // the sent table's work area instead.
        child<TTabSet>(w.get(), "TabSet1")->setTabIndex(1);
        recGridOn = child<TDBGrid>(w.get(), "RecFaxGrid")->isEnabled();
        viewOnReceivedPage = child<QWidget>(w.get(), "ViewFaxButton")->isEnabled();
        child<TTabSet>(w.get(), "TabSet1")->setTabIndex(0);
        w->show();
    }));
    EXPECT_FALSE(recGridOn);
    EXPECT_FALSE(viewOnReceivedPage);
    EXPECT_EQ(messages, QStringList({"Unable to open/create the FAX RECEIVE datafile - closing program"}));
    EXPECT_EQ(driver.unexpected(), 0) << driver.unexpectedTitles().join(", ").toStdString();
    EXPECT_FALSE(w->isVisible());
    // The sent table was used on its own and closed cleanly.
    EXPECT_FALSE(w->faxTable().active());
    const DbfLook look = lookAt(home.file("ORV.DBF"));
    EXPECT_EQ(look.records, 1u);
}

TEST(MainScreenLists, RebuildIndexesRemovesDeletedRecordsAndClosesItself) {
    TempHome home;
    configured(home);
    TMainScreen w;
    for (int i = 1; i <= 5; ++i) addFax(w, QString("Fax %1").arg(i), QDate(2024, 7, i), "12:00");
    for (int i = 1; i <= 3; ++i) addReceived(w, QString("Station %1").arg(i), QDate(2024, 8, i), "12:00");
    w.show();
    QApplication::processEvents();
    // Delete Fax 2, Fax 4 and Station 1.
    for (const char* subject : {"Fax 2", "Fax 4"}) {
        auto* grid = child<TDBGrid>(&w, "FaxGrid");
        for (int r = 0; r < grid->tableModel()->rowCount(); ++r)
            if (cell(grid, r, "Subject") == subject) grid->setCurrentIndex(grid->tableModel()->index(r, 0));
        ASSERT_EQ(w.faxTable().fieldByName("SUBJECT").asString(), subject);
        w.faxTable().deleteRecord();
    }
    w.recTable().last();
    ASSERT_EQ(w.recTable().fieldByName("FROM").asString(), "Station 1");
    w.recTable().deleteRecord();
    ASSERT_EQ(lookAt(home.file("ORV.DBF")).deleted, QList<bool>({false, true, false, true, false}));

    // The window as it appears: caption, size, no close box, gauge, hidden label.
    struct Seen : QObject {
        QString title;
        QSize size;
        Qt::WindowFlags flags;
        bool labelHidden = false;
        bool gauge = false;
        bool eventFilter(QObject* o, QEvent* e) override {
            if (e->type() == QEvent::Show) {
                if (auto* d = qobject_cast<TRebuildInd*>(o)) {
                    title = d->windowTitle();
                    size = d->size();
                    flags = d->windowFlags();
                    labelHidden = d->findChild<QWidget*>("WhatAmIDoing")->isHidden();
                    gauge = d->findChild<TGauge*>("Gauge1") != nullptr;
                }
            }
            return false;
        }
    } seen;
    qApp->installEventFilter(&seen);
    child<QAction>(&w, "mnuRebuildIndexes")->trigger();  // returns when the window closed itself
    qApp->removeEventFilter(&seen);
    EXPECT_EQ(seen.title, "Rebuild Indexes");
    EXPECT_EQ(seen.size, QSize(288, 141));
    EXPECT_FALSE(seen.flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(seen.labelHidden);
    EXPECT_TRUE(seen.gauge);
    EXPECT_EQ(w.findChild<TRebuildInd*>(), nullptr);  // freed

    // The deleted records are gone from the files; the others closed up.
    const DbfLook fax = lookAt(home.file("ORV.DBF"));
    EXPECT_EQ(fax.records, 3u);
    EXPECT_EQ(fax.deleted, QList<bool>({false, false, false}));
    const DbfLook rec = lookAt(home.file("ORVREC.DBF"));
    EXPECT_EQ(rec.records, 2u);
    EXPECT_EQ(rec.deleted, QList<bool>({false, false}));
    // Fresh index files, and the phone book and cover tables made on the way.
    for (const char* f : {"ORV.CDX", "ORVREC.CDX", "ORVPB.DBF", "ORVPB.CDX", "ORVCOV.DBF", "ORVCOV.CDX"})
        EXPECT_TRUE(QFile::exists(home.file(f))) << f;
    EXPECT_FALSE(w.phoneTable().active());
    EXPECT_FALSE(w.coverTable().active());

    // The lists show what is left, newest first, from the top.
    auto* grid = child<TDBGrid>(&w, "FaxGrid");
    ASSERT_EQ(grid->tableModel()->rowCount(), 3);
    EXPECT_EQ(cell(grid, 0, "Subject"), "Fax 5");
    EXPECT_EQ(cell(grid, 1, "Subject"), "Fax 3");
    EXPECT_EQ(cell(grid, 2, "Subject"), "Fax 1");
    EXPECT_EQ(grid->currentRow(), 0);
    EXPECT_EQ(w.faxTable().fieldByName("SUBJECT").asString(), "Fax 5");
    auto* recGrid = child<TDBGrid>(&w, "RecFaxGrid");
    ASSERT_EQ(recGrid->tableModel()->rowCount(), 2);
    EXPECT_EQ(cell(recGrid, 0, "From"), "Station 3");
    EXPECT_TRUE(on(w, "DeleteButton", "mnuDelete"));
}

TEST(MainScreenLists, RebuildWindowNamesEachStepAndFollowsTheEngine) {
    TempHome home;
    configured(home);
    TMainScreen w;
    for (int i = 0; i < 40; ++i) addFax(w, QString("Fax %1").arg(i), QDate(2020, 1, 1).addDays(i), "12:00");
    w.faxTable().first();
    w.faxTable().deleteRecord();
    RebuildTables tables{&w.faxTable(), &w.faxLink(), &w.recTable(), &w.recLink(),
                         &w.phoneTable(), &w.phoneLink(), &w.coverTable(), &w.coverLink()};
    TRebuildInd rebuild(tables);
    QStringList steps;
    QList<int> progress;
    QObject::connect(&rebuild, &TRebuildInd::stepShown, [&](const QString& s) { steps << s; });
    QObject::connect(&rebuild, &TRebuildInd::progressShown, [&](int p) { progress << p; });
    // Escape and the close box do nothing while it works; it closes itself.
    bool stayed = true;
    QObject::connect(&rebuild, &TRebuildInd::stepShown, [&](const QString&) {
        rebuild.reject();
        rebuild.close();
        stayed = stayed && rebuild.isVisible();
    });
    rebuild.exec();
    EXPECT_TRUE(stayed);
    EXPECT_TRUE(rebuild.finished());
    EXPECT_TRUE(rebuild.succeeded());
    EXPECT_FALSE(rebuild.isVisible());
    EXPECT_EQ(steps, QStringList({"", "Removing FAX file records marked for deletion", "Rebuilding FAX file indexes", "",
                                  "Removing Received FAX records marked for deletion", "Rebuilding Received FAX indexes",
                                  "Removing PHONE file records marked for deletion", "Rebuilding PHONE file indexes",
                                  "Removing COVER file records marked for deletion", "Rebuilding COVER file indexes"}));
    ASSERT_FALSE(progress.isEmpty());
    for (int p : progress) {
        EXPECT_GE(p, 0);
        EXPECT_LE(p, 100);
    }
    EXPECT_EQ(*std::max_element(progress.begin(), progress.end()), 100);
    EXPECT_EQ(w.faxLink().recordCount(), 39u);
}
