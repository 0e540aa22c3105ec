// The main window's Received page: notes on a received fax (stored on
// Accept, not on Cancel, on the fax they were written for), and Delete of a
// received fax together with its file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "shell/main_screen.h"
#include "shell/modal_driver.h"
#include "support/temp_home.h"
#include "transmit/edit_receive_notes.h"
#include "ui/widgets/picture_button.h"
#include "ui/widgets/tab_set.h"

using namespace orv;
using orv::test::child;
using orv::test::ModalDriver;
using orv::test::TempHome;

namespace {

void configured(const TempHome& home) { home.write("ORV.INI", "[Modem]\nComPort=0\n"); }

void addReceived(TMainScreen& w, const QString& from, const QString& file, const QString& time) {
    TTable& t = w.recTable();
    t.append();
    t.fieldByName("DATEREC").setAsDate(QDate(2025, 5, 6));
    t.fieldByName("TIMEREC").setAsString(time);
    t.fieldByName("FROM").setAsString(from);
    t.fieldByName("PAGES").setAsInteger(1);
    t.fieldByName("FAXFILE").setAsString(file);
    t.post();
}

void showReceivedPage(TMainScreen& w) {
    w.show();
    QApplication::processEvents();
    child<TTabSet>(&w, "TabSet1")->setTabIndex(1);
    QApplication::processEvents();
    ASSERT_EQ(w.page(), 1);
}

// The record of the received list whose FROM is from.
bool findFrom(TMainScreen& w, const QString& from) {
    TTable& t = w.recTable();
    for (t.first(); !t.eof(); t.next())
        if (t.fieldByName("FROM").asString() == from) return true;
    return false;
}

}  // namespace

TEST(MainScreenReceived, NotesAreStoredOnAcceptOnlyOnTheFaxTheyWereWrittenFor) {
    TempHome home;
    configured(home);
    TMainScreen w;
    addReceived(w, "ACME", "FAX0001.APF", "10:00");
    addReceived(w, "GLOBEX", "FAX0002.APF", "11:00");
    showReceivedPage(w);
    ASSERT_TRUE(findFrom(w, "ACME"));

    // The window as the user sees it, then Cancel: nothing is stored.
    ModalDriver cancel;
    cancel.then([&](QWidget* modal) {
        auto* notes = qobject_cast<TEditReceiveNotes*>(modal);
        if (!notes) return false;
        EXPECT_EQ(notes->windowTitle(), "Received Fax Notes");
        EXPECT_EQ(child<QLabel>(notes, "Descript")->text(), "From: ACME");
        auto* box = child<QLineEdit>(notes, "Notes");
        EXPECT_EQ(box->maxLength(), 60);
        EXPECT_TRUE(box->text().isEmpty());
        auto* ok = child<TPictureButton>(notes, "OKButton");
        auto* no = child<TPictureButton>(notes, "Cancelbutton");
        EXPECT_EQ(ok->text(), "&Accept");
        EXPECT_EQ(ok->statusTip(), "Accept changes made and exit");
        EXPECT_EQ(no->text(), "Cance&l");
        EXPECT_EQ(no->statusTip(), "Cancel changes made and exit");
        // The dialog's own status line is the current one while it is open.
        EXPECT_NE(child<QLabel>(notes, "status"), nullptr);
        box->setText("Not to be kept");
        no->click();
        return true;
    });
    ASSERT_TRUE(cancel.run([&] { child<QAbstractButton>(&w, "EditButton")->click(); }));
    EXPECT_EQ(cancel.unexpected(), 0);
    ASSERT_TRUE(findFrom(w, "ACME"));
    EXPECT_EQ(w.recTable().fieldByName("NOTES").asString(), "");

    // Accept stores the text; a fax that arrives (and moves the list) while
    // the window is open does not take the note.
    ModalDriver accept;
    accept.then([&](QWidget* modal) {
        auto* notes = qobject_cast<TEditReceiveNotes*>(modal);
        if (!notes) return false;
        addReceived(w, "INITECH", "FAX0003.APF", "12:00");
        w.recTable().first();
        child<QLineEdit>(notes, "Notes")->setText("Invoice, pay by Friday");
        child<TPictureButton>(notes, "OKButton")->click();
        return true;
    });
    ASSERT_TRUE(findFrom(w, "ACME"));
    ASSERT_TRUE(accept.run([&] { child<QAbstractButton>(&w, "EditButton")->click(); }));
    EXPECT_EQ(accept.unexpected(), 0);
    ASSERT_TRUE(findFrom(w, "ACME"));
    EXPECT_EQ(w.recTable().fieldByName("NOTES").asString(), "Invoice, pay by Friday");
    ASSERT_TRUE(findFrom(w, "INITECH"));
    EXPECT_EQ(w.recTable().fieldByName("NOTES").asString(), "");
    ASSERT_TRUE(findFrom(w, "GLOBEX"));
    EXPECT_EQ(w.recTable().fieldByName("NOTES").asString(), "");
}

TEST(MainScreenReceived, DeleteAsksWithTheSenderAndRemovesRowAndFile) {
    TempHome home;
    configured(home);
    QDir().mkpath(home.file("receive"));
    home.write("receive/FAX0001.APF", "first");
    home.write("receive/FAX0002.APF", "second");
    home.write("keep.APF", "outside the receive folder");
    TMainScreen w;
    addReceived(w, "ACME", "FAX0001.APF", "10:00");
    addReceived(w, "GLOBEX", "FAX0002.APF", "11:00");
    addReceived(w, "GONE", "FAX0009.APF", "12:00");      // its file is already gone
    addReceived(w, "SNEAKY", "../keep.APF", "13:00");    // a table edited elsewhere
    showReceivedPage(w);

    auto answer = [](QMessageBox::StandardButton choice, const QString& from) {
        return [choice, from](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) return false;
            EXPECT_EQ(box->windowTitle(), "Delete");
            EXPECT_EQ(box->text(), "Delete the current fax?\n(from: \"" + from + "\")");
            EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
            box->button(choice)->click();
            return true;
        };
    };
    auto del = [&](QMessageBox::StandardButton choice, const QString& from) {
        ASSERT_TRUE(findFrom(w, from));
        ModalDriver d;
        d.then(answer(choice, from));
        ASSERT_TRUE(d.run([&] { child<QAbstractButton>(&w, "DeleteButton")->click(); }));
        EXPECT_EQ(d.unexpected(), 0);
    };

    // No keeps both.
    del(QMessageBox::No, "ACME");
    EXPECT_TRUE(findFrom(w, "ACME"));
    EXPECT_TRUE(QFile::exists(home.file("receive/FAX0001.APF")));
    // Yes removes the row and the file, and nothing else.
    del(QMessageBox::Yes, "ACME");
    EXPECT_FALSE(findFrom(w, "ACME"));
    EXPECT_FALSE(QFile::exists(home.file("receive/FAX0001.APF")));
    EXPECT_TRUE(QFile::exists(home.file("receive/FAX0002.APF")));
    // A row whose file is gone is only removed.
    del(QMessageBox::Yes, "GONE");
    EXPECT_FALSE(findFrom(w, "GONE"));
    // A file name that points out of the receive folder removes only the row.
    del(QMessageBox::Yes, "SNEAKY");
    EXPECT_FALSE(findFrom(w, "SNEAKY"));
    EXPECT_TRUE(QFile::exists(home.file("keep.APF")));
    EXPECT_TRUE(findFrom(w, "GLOBEX"));
}
