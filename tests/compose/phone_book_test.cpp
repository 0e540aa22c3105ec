// The phone book windows over a real ORVPB.DBF in a temporary program
// folder, read back with python3-dbfread.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QJsonArray>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "compose/phone_book.h"
#include "compose/phone_book_editor.h"
#include "shell/db_grid.h"
#include "shell/main_screen.h"
#include "shell/modal_driver.h"
#include "shell/status_line.h"
#include "store/store_test_util.h"
#include "support/temp_home.h"
#include "ui/widgets/align_label.h"
#include "ui/widgets/picture_button.h"

using namespace orv;
using orv::test::button;
using orv::test::child;
using orv::test::ModalDriver;
using orv::test::TempHome;

namespace {


// A step that fills the entry editor and accepts it.
ModalDriver::Step fillEntry(const QString& name, const QString& number) {
    return [=](QWidget* modal) {
        if (modal->objectName() != QLatin1String("PhoneBookEditor")) return false;
        auto* n = child<QLineEdit>(modal, "Name");
        auto* f = child<QLineEdit>(modal, "Number");
        if (!n || !f) return false;
        n->setText(name);
        f->setText(number);
        button(modal, "OKButton")->click();
        return true;
    };
}

// A step that answers the delete question: Enter (the default button) or Yes.
ModalDriver::Step answerDelete(bool yes, QString* text = nullptr, bool* defaultIsNo = nullptr) {
    return [=](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return false;
        if (text) *text = box->windowTitle() + QLatin1Char('|') + box->text();
        if (defaultIsNo) *defaultIsNo = box->defaultButton() == box->button(QMessageBox::No);
        if (yes)
            box->button(QMessageBox::Yes)->click();
        else
            QTest::keyClick(box, Qt::Key_Return);
        return true;
    };
}

QJsonArray liveRecords(const TempHome& home) {
    return test::readWithDbfread(home.file("ORVPB.DBF"))["records"].toArray();
}

}  // namespace

TEST(PhoneBook, UpkeepAddEditDeleteWithButtonEnablingAndTheDeleteQuestion) {
    TempHome home;
    TPhoneBook pb;
    ASSERT_TRUE(pb.OpenTable());
    pb.show();
    QApplication::processEvents();
    EXPECT_EQ(pb.windowTitle(), "Phone Book Browser");
    EXPECT_FALSE(button(&pb, "Closebutton")->isHidden());
    EXPECT_TRUE(button(&pb, "OKButton")->isHidden());
    EXPECT_TRUE(button(&pb, "Cancelbutton")->isHidden());
    // An empty book: Edit and Delete are off, and clicking them anyway only beeps.
    EXPECT_FALSE(button(&pb, "Modifybutton")->isEnabled());
    EXPECT_FALSE(button(&pb, "Deletebutton")->isEnabled());

    ModalDriver add;
    add.then(fillEntry("Ann Example", "555 0100"));
    ASSERT_TRUE(add.run([&] { button(&pb, "Addbutton")->click(); }));
    EXPECT_EQ(add.unexpected(), 0);
    EXPECT_TRUE(button(&pb, "Modifybutton")->isEnabled());
    EXPECT_TRUE(button(&pb, "Deletebutton")->isEnabled());

    // Edit starts from the entry and stores what was changed.
    QString shownName, shownNumber;
    ModalDriver edit;
    edit.then([&](QWidget* modal) {
        shownName = child<QLineEdit>(modal, "Name")->text();
        shownNumber = child<QLineEdit>(modal, "Number")->text();
        child<QLineEdit>(modal, "Number")->setText("555 0101");
        button(modal, "OKButton")->click();
        return true;
    });
    ASSERT_TRUE(edit.run([&] { button(&pb, "Modifybutton")->click(); }));
    EXPECT_EQ(shownName, "Ann Example");
    EXPECT_EQ(shownNumber, "555 0100");

    // Cancel in the editor changes nothing.
    ModalDriver cancelEdit;
    cancelEdit.then([](QWidget* modal) {
        child<QLineEdit>(modal, "Name")->setText("Somebody Else");
        button(modal, "Cancelbutton")->click();
        return true;
    });
    ASSERT_TRUE(cancelEdit.run([&] { button(&pb, "Modifybutton")->click(); }));

    // Enter at the delete question keeps the entry: No is the default.
    QString question;
    bool defaultIsNo = false;
    ModalDriver keep;
    keep.then(answerDelete(false, &question, &defaultIsNo));
    ASSERT_TRUE(keep.run([&] { button(&pb, "Deletebutton")->click(); }));
    EXPECT_TRUE(defaultIsNo);
    EXPECT_EQ(question, "Delete|Delete the current phone book entry?:\nAnn Example");
    QJsonArray records = liveRecords(home);
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].toObject()["NAME"].toString(), "Ann Example");
    EXPECT_EQ(records[0].toObject()["PHONE"].toString(), "555 0101");

    // Yes deletes it; the last entry gone, the buttons are off again.
    ModalDriver remove;
    remove.then(answerDelete(true));
    ASSERT_TRUE(remove.run([&] { button(&pb, "Deletebutton")->click(); }));
    EXPECT_FALSE(button(&pb, "Modifybutton")->isEnabled());
    EXPECT_FALSE(button(&pb, "Deletebutton")->isEnabled());
    ModalDriver none;
    ASSERT_TRUE(none.run([&] {
        pb.ButtonEnabling();
        QMetaObject::invokeMethod(button(&pb, "Modifybutton"), "click");  // a disabled click does nothing
    }));
    EXPECT_EQ(none.unexpected(), 0);
    pb.reject();
    pb.table().close();
    const QJsonObject file = test::readWithDbfread(home.file("ORVPB.DBF"));
    EXPECT_EQ(file["records"].toArray().size(), 0);
    ASSERT_EQ(file["deleted"].toArray().size(), 1);
    EXPECT_EQ(file["deleted"].toArray()[0].toObject()["NAME"].toString(), "Ann Example");
}

TEST(PhoneBook, PickingFromAnEmptyBookThenAcceptAndCancel) {
    TempHome home;
    {
        TPhoneBook pb;
        ASSERT_TRUE(pb.OpenTable());
        pb.setPickingUse(true);
        EXPECT_TRUE(button(&pb, "Closebutton")->isHidden());
        EXPECT_FALSE(button(&pb, "OKButton")->isHidden());
        EXPECT_FALSE(button(&pb, "Cancelbutton")->isHidden());
        int result = -1;
        bool acceptWasOff = false, acceptCameOn = false;
        ModalDriver pick;
        pick.then([&](QWidget* modal) {
                if (modal != &pb) return false;
                QApplication::processEvents();
                acceptWasOff = !button(&pb, "OKButton")->isEnabled();
                // The first entry enables Accept.
                QMetaObject::invokeMethod(button(&pb, "Addbutton"), "click", Qt::QueuedConnection);
                return true;
            })
            .then(fillEntry("Bea Brown", "555 0200"))
            .then([&](QWidget* modal) {
                // Back in the browser, the first entry turns Accept on (the driver
                // times out when it never does).
                if (modal != &pb || !button(&pb, "OKButton")->isEnabled()) return false;
                acceptCameOn = true;
                button(&pb, "OKButton")->click();
                return true;
            });
        ASSERT_TRUE(pick.run([&] { result = pb.exec(); }));
        EXPECT_TRUE(acceptWasOff);
        EXPECT_TRUE(acceptCameOn);
        EXPECT_EQ(result, QDialog::Accepted);
        EXPECT_EQ(pb.name(), "Bea Brown");
        EXPECT_EQ(pb.number(), "555 0200");
    }
    {
        // Cancelling the picker hands nothing back.
        TPhoneBook pb;
        ASSERT_TRUE(pb.OpenTable());
        pb.setPickingUse(true);
        int result = -1;
        ModalDriver cancel;
        cancel.then([&](QWidget* modal) {
            if (modal != &pb) return false;
            button(&pb, "Cancelbutton")->click();
            return true;
        });
        ASSERT_TRUE(cancel.run([&] { result = pb.exec(); }));
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_TRUE(pb.name().isEmpty());
        EXPECT_TRUE(pb.number().isEmpty());
    }
}

TEST(PhoneBook, CaptionsHintsLimitsAndTheStatusLine) {
    TempHome home;
    TPhoneBook pb;
    ASSERT_TRUE(pb.OpenTable());
    struct Expect {
        const char* name;
        const char* caption;
        const char* hint;
    };
    for (const Expect& e : {Expect{"Addbutton", "&New", "Create a new phone book entry"},
                            Expect{"Modifybutton", "&Edit", "Edit the currently selected phone book entry"},
                            Expect{"Deletebutton", "&Delete", "Delete the currently selected phone book entry"},
                            Expect{"Helpbutton", "&Help", "Get Windows help for Phonebook Browser"},
                            Expect{"Closebutton", "C&lose", "Close the Phone Book Browser"},
                            Expect{"OKButton", "&Accept", "Use this phone book entry"},
                            Expect{"Cancelbutton", "Cance&l", "Cancel - do not use any of these phone book entries"}}) {
        SCOPED_TRACE(e.name);
        TPictureButton* b = button(&pb, e.name);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text(), e.caption);
        EXPECT_EQ(b->statusTip(), e.hint);
    }
    // The grid's columns: "Name" 50 characters wide, then "Fax #".
    auto* grid = child<TDBGrid>(&pb, "PhoneGrid");
    ASSERT_NE(grid, nullptr);
    ASSERT_GE(grid->model()->columnCount(), 2);
    EXPECT_EQ(grid->model()->headerData(0, Qt::Horizontal).toString(), "Name");
    EXPECT_EQ(grid->model()->headerData(1, Qt::Horizontal).toString(), "Fax #");
    EXPECT_EQ(grid->columnWidth(0), grid->widthForCharacters(50));

    QLabel* before = CurrentStatusLabel();
    {
        TPhoneBookEditor editor;
        EXPECT_EQ(editor.windowTitle(), "Phone Book Editor");
        EXPECT_EQ(CurrentStatusLabel(), child<TAlignLabel>(&editor, "status"));
        QLineEdit* name = editor.nameEdit();
        QLineEdit* number = editor.numberEdit();
        EXPECT_EQ(name->maxLength(), 35);
        EXPECT_EQ(number->maxLength(), 25);
        EXPECT_EQ(name->statusTip(), "Type the recipient's name here");
        EXPECT_EQ(number->statusTip(), "Type the fax number here");
        for (const Expect& e : {Expect{"OKButton", "&Accept", "Accept changes made and exit"},
                                Expect{"Cancelbutton", "Cance&l", "Cancel changes made and exit"},
                                Expect{"Helpbutton", "&Help", "Get Windows help for Phone Book Editor"}}) {
            SCOPED_TRACE(e.name);
            EXPECT_EQ(button(&editor, e.name)->text(), e.caption);
            EXPECT_EQ(button(&editor, e.name)->statusTip(), e.hint);
        }
        // Enter in the name moves on to the number.
        editor.show();
        QApplication::setActiveWindow(&editor);
        name->setFocus();
        QTest::keyClicks(name, "A name");
        QTest::keyClick(name, Qt::Key_Return);
        EXPECT_TRUE(number->hasFocus());
        EXPECT_EQ(name->text(), "A name");
        EXPECT_TRUE(editor.isVisible());
        QTest::keyClicks(number, QString(30, '5'));
        EXPECT_EQ(number->text().size(), 25);
        editor.reject();
    }
    // The editor gone, the browser's status line is current again.
    EXPECT_EQ(CurrentStatusLabel(), before);
    EXPECT_EQ(before, child<TAlignLabel>(&pb, "status"));
}

TEST(PhoneBook, MainWindowOpensItForUpkeep) {
    TempHome home;
    home.write("ORV.INI", "[Modem]\nComPort=0\n");
    TMainScreen w;
    w.show();
    QApplication::processEvents();
    QAction* item = w.findChild<QAction*>("mnuPhoneBook");
    ASSERT_NE(item, nullptr);
    bool upkeep = false;
    QString title;
    ModalDriver driver;
    driver.then([&](QWidget* modal) {
              title = modal->windowTitle();
              upkeep = !button(modal, "Closebutton")->isHidden() && button(modal, "OKButton")->isHidden() &&
                       button(modal, "Cancelbutton")->isHidden();
              QMetaObject::invokeMethod(button(modal, "Addbutton"), "click", Qt::QueuedConnection);
              return true;
          })
        .then(fillEntry("Cy Clark", "555 0300"))
        .then([&](QWidget* modal) {
            if (modal->objectName() != QLatin1String("PhoneBook")) return false;
            button(modal, "Closebutton")->click();
            return true;
        });
    ASSERT_TRUE(driver.run([&] { item->trigger(); }));
    EXPECT_EQ(driver.unexpected(), 0);
    EXPECT_EQ(title, "Phone Book Browser");
    EXPECT_TRUE(upkeep);
    // The browser's table closed with it, so the file can be read (and opened) again.
    const QJsonArray records = liveRecords(home);
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].toObject()["NAME"].toString(), "Cy Clark");
    TPhoneBook again;
    EXPECT_TRUE(again.OpenTable());
}
