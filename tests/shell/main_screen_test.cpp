#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QEnterEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusTipEvent>

#include "config/ini_file.h"
#include "shell/main_screen.h"
#include "shell/modal_driver.h"
#include "shell/preferences.h"
#include "config/program_folder.h"
#include "config/settings.h"
#include "shell/splash_form.h"
#include "shell/status_line.h"
#include "support/temp_home.h"
#include "ui/widgets/align_label.h"
#include "ui/widgets/picture_button.h"
#include "ui/widgets/radio_group.h"
#include "ui/widgets/tab_set.h"

using namespace orv;
using orv::test::child;
using orv::test::ModalDriver;
using orv::test::TempHome;

namespace {

// A program folder whose port was configured before, so no first-run window opens.
void configured(const TempHome& home) { home.write("ORV.INI", "[Modem]\nComPort=0\n"); }

struct Command {
    const char* name;
    const char* caption;
    const char* hint;
};

}  // namespace

TEST(MainScreen, ButtonsCarryTheirCaptionsHintsPicturesAndWhiteText) {
    TempHome home;
    configured(home);
    TMainScreen w;
    w.show();
    QApplication::processEvents();
    const Command buttons[] = {
        {"Newbutton", "&New", "Create a new fax"},
        {"EditButton", "&Edit", "Edit the currently selected fax"},
        {"CloneButton", "&Clone", "Clone the currently selected fax"},
        {"DeleteButton", "&Delete", "Delete  the currently selected fax"},
        {"SendButton", "&Send", "Send the currently selected fax"},
        {"ReceiveButton", "&Receive", "Start receiving faxes"},
        {"ViewFaxButton", "&View", "See a preview of and optionally  print the fax"},
        {"Exitbutton", "E&xit", "Exit the program"},
    };
    auto* bar = child<QFrame>(&w, "ButtonBar");
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->height(), 45);
    EXPECT_EQ(bar->palette().color(QPalette::Window), QColor(0x40, 0x80, 0x80));
    int left = -1;
    for (const Command& c : buttons) {
        SCOPED_TRACE(c.name);
        auto* b = child<TPictureButton>(&w, c.name);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->parentWidget(), bar);
        EXPECT_EQ(b->text(), c.caption);
        EXPECT_EQ(b->statusTip(), c.hint);
        EXPECT_FALSE(b->icon().isNull());
        EXPECT_EQ(b->palette().color(QPalette::Active, QPalette::ButtonText), QColor(Qt::white));
        // Left to right in this order.
        EXPECT_GT(b->x(), left);
        left = b->x();
    }
}

TEST(MainScreen, MenuItemsCarryTheirCaptionsShortcutsAndHints) {
    TempHome home;
    configured(home);
    TMainScreen w;
    struct Item {
        const char* name;
        const char* caption;
        const char* shortcut;
        const char* hint;
    };
    const Item file[] = {
        {"mnuNew", "&New", "", "Create a new fax"},
        {"mnuEdit", "&Edit", "", "Edit the currently selected fax"},
        {"mnuClone", "Clone", "", "Clone the currently selected fax"},
        {"mnuDelete", "Delete", "", "Delete the currently selected fax"},
        {"", "", "", ""},
        {"mnuSend", "Send Fax", "Ctrl+S", "Send the currently selected fax"},
        {"mnuReceive", "Receive Faxes", "Ctrl+R", ""},
        {"mnuViewPrint", "View/Print Fax", "Ctrl+V", "See a preview of and optionally  print the fax"},
        {"", "", "", ""},
        {"mnuCover", "C&over Sheets", "", "Create or modify cover page templates"},
        {"mnuPhoneBook", "&Phone Book", "", "Create or modify phone book entries"},
        {"mnuRebuildIndexes", "Rebuild &Indexes", "", "Do this every 2 weeks "},
        {"mnuPreferences", "P&references", "", "Set Orvane preferences"},
        {"", "", "", ""},
        {"Exit1", "E&xit", "Ctrl+X", "Exit to Windows"},
    };
    const Item help[] = {
        {"Contents1", "Contents", "", "Open the Orvane help file"},
        {"About1", "About", "", "Information about Orvane"},
    };
    const QList<QAction*> menus = w.menuBar()->actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), "&File");
    EXPECT_EQ(menus[1]->text(), "&Help");
    auto check = [](QMenu* menu, const Item* items, size_t n) {
        const QList<QAction*> actions = menu->actions();
        ASSERT_EQ(size_t(actions.size()), n);
        for (size_t i = 0; i < n; ++i) {
            SCOPED_TRACE(i);
            QAction* a = actions[qsizetype(i)];
            if (!*items[i].name) {
                EXPECT_TRUE(a->isSeparator());
                continue;
            }
            EXPECT_EQ(a->objectName(), items[i].name);
            EXPECT_EQ(a->text(), items[i].caption);
            EXPECT_EQ(a->shortcut().toString(), items[i].shortcut);
            EXPECT_EQ(a->statusTip(), items[i].hint);
        }
    };
    check(menus[0]->menu(), file, std::size(file));
    check(menus[1]->menu(), help, std::size(help));
}

TEST(MainScreen, LayoutCaptionFontAndStatusLine) {
    TempHome home;
    configured(home);
    TMainScreen w;
    w.show();
    QApplication::processEvents();
    EXPECT_EQ(w.windowTitle(), "Orvane ");
    EXPECT_EQ(w.centralWidget()->size(), QSize(592, 384));
    EXPECT_EQ(w.font().family(), "Arial");
    EXPECT_EQ(w.font().pixelSize(), 11);
    auto* status = child<TAlignLabel>(&w, "status");
    auto* tabs = child<TTabSet>(&w, "TabSet1");
    auto* browse = child<QFrame>(&w, "BrowsePanel");
    ASSERT_TRUE(status && tabs && browse);
    EXPECT_EQ(status->height(), 32);
    EXPECT_EQ(status->alignment(), Qt::AlignCenter);
    EXPECT_EQ(status->palette().color(QPalette::Window), QColor(192, 192, 192));
    EXPECT_EQ(status->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    // From the top: button bar, lists, tabs, status line at the very bottom.
    EXPECT_EQ(status->geometry().bottom(), w.centralWidget()->height() - 1);
    EXPECT_LT(tabs->geometry().bottom(), status->geometry().top());
    EXPECT_LT(browse->geometry().bottom(), tabs->geometry().top());
    EXPECT_EQ(browse->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(tabs->font().family(), "MS Sans Serif");
    EXPECT_EQ(tabs->font().pixelSize(), 13);
    EXPECT_EQ(CurrentStatusLabel(), status);
}

TEST(MainScreen, EnablingFollowsPageAndReceiveModeWithEmptyLists) {
    TempHome home;
    configured(home);
    TMainScreen w;
    w.show();
    QApplication::processEvents();
    auto enabled = [&](const char* button, const char* item) {
        const bool b = child<QWidget>(&w, button)->isEnabled();
        if (item) {
            EXPECT_EQ(child<QAction>(&w, item)->isEnabled(), b) << item << " follows " << button;
        }
        return b;
    };
    auto itemEnabled = [&](const char* item) { return child<QAction>(&w, item)->isEnabled(); };
    auto* tabs = child<TTabSet>(&w, "TabSet1");
    auto* notebook = child<QStackedWidget>(&w, "NoteBook");

    // Sent page, both lists empty, not receiving.
    EXPECT_EQ(w.page(), 0);
    EXPECT_TRUE(enabled("Newbutton", "mnuNew"));
    EXPECT_FALSE(enabled("EditButton", "mnuEdit"));
    EXPECT_FALSE(enabled("CloneButton", "mnuClone"));
    EXPECT_FALSE(enabled("DeleteButton", "mnuDelete"));
    EXPECT_FALSE(enabled("SendButton", "mnuSend"));
    EXPECT_FALSE(enabled("ViewFaxButton", "mnuViewPrint"));
    EXPECT_TRUE(enabled("ReceiveButton", "mnuReceive"));
    EXPECT_TRUE(enabled("Exitbutton", nullptr));
    EXPECT_TRUE(itemEnabled("mnuRebuildIndexes"));
    EXPECT_TRUE(itemEnabled("mnuPreferences"));

    // The Received page: the tab chooses the notebook page, New goes off.
    tabs->setTabIndex(1);
    EXPECT_EQ(notebook->currentIndex(), 1);
    EXPECT_EQ(w.page(), 1);
    EXPECT_FALSE(enabled("Newbutton", "mnuNew"));
    EXPECT_FALSE(enabled("EditButton", "mnuEdit"));
    EXPECT_FALSE(enabled("ViewFaxButton", "mnuViewPrint"));
    EXPECT_TRUE(enabled("ReceiveButton", "mnuReceive"));

    // Receive mode on: maintenance and settings are off, Receive stays on to stop it.
    w.SetReceiving(true);
    EXPECT_FALSE(itemEnabled("mnuRebuildIndexes"));
    EXPECT_FALSE(itemEnabled("mnuPreferences"));
    EXPECT_TRUE(enabled("ReceiveButton", "mnuReceive"));
    EXPECT_FALSE(enabled("Newbutton", "mnuNew"));
    tabs->setTabIndex(0);
    EXPECT_TRUE(enabled("Newbutton", "mnuNew"));
    EXPECT_FALSE(enabled("SendButton", "mnuSend"));
    EXPECT_FALSE(itemEnabled("mnuPreferences"));

    w.SetReceiving(false);
    EXPECT_TRUE(itemEnabled("mnuRebuildIndexes"));
    EXPECT_TRUE(itemEnabled("mnuPreferences"));
    // A disabled command's shortcut does nothing, and its button cannot be clicked.
    ModalDriver none;
    none.run([&] { child<QAction>(&w, "mnuSend")->trigger(); });
    EXPECT_EQ(none.unexpected(), 0);
}

TEST(MainScreen, TheHintUnderTheMouseGoesToTheStatusLine) {
    TempHome home;
    configured(home);
    TMainScreen w;
    w.show();
    auto* status = child<TAlignLabel>(&w, "status");
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(child<QWidget>(&w, "SendButton"), &enter);
    EXPECT_EQ(status->text(), "Send the currently selected fax");
    QAction* prefs = child<QAction>(&w, "mnuPreferences");
    prefs->showStatusText(w.menuBar());
    EXPECT_EQ(status->text(), "Set Orvane preferences");
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(child<QWidget>(&w, "SendButton"), &leave);
    EXPECT_EQ(status->text(), "");
}

TEST(MainScreen, DialogsTakeTheStatusLineAndGiveItBack) {
    TempHome home;
    configured(home);
    TMainScreen w;
    auto* mainStatus = child<QLabel>(&w, "status");
    EXPECT_EQ(CurrentStatusLabel(), mainStatus);
    {
        TPreferences prefs(&w);
        auto* own = child<QLabel>(&prefs, "status");
        EXPECT_EQ(CurrentStatusLabel(), own);
        SetCurrentStatusLabel(mainStatus);  // another window was active meanwhile
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(&prefs, &activate);
        EXPECT_EQ(CurrentStatusLabel(), own);
        // Hints over the dialog land in its own line.
        QStatusTipEvent tip("Enter your name here");
        QApplication::sendEvent(child<QWidget>(&prefs, "Name"), &tip);
        EXPECT_EQ(own->text(), "Enter your name here");
        // A carriage return in a hint is a line break on screen.
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
        QApplication::sendEvent(child<QWidget>(&prefs, "ReceiveAtStartup"), &enter);
        EXPECT_EQ(own->text(), "Check this box to have Orvane start receiving faxes \nas soon as it starts up");
    }
    EXPECT_EQ(CurrentStatusLabel(), mainStatus);
}

TEST(MainScreen, FirstStartWithoutPortOpensPreferencesWithTheNoticeOnce) {
    TempHome home;  // no ORV.INI at all
    TMainScreen w;
    ModalDriver driver;
    QPointer<TPreferences> shown;
    driver
        .then([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) return false;
            EXPECT_EQ(box->windowTitle(), "Information");
            EXPECT_EQ(box->icon(), QMessageBox::Information);
            EXPECT_EQ(box->text(),
                      "Please enter information about yourself and your\n"
                      "faxmodem in the Preferences screen. These values\n"
                      "will be saved for future use.\n\n"
                      "BE SURE TO VERIFY THE PORT AND FAX CLASS\n"
                      "SETTINGS BEFORE CONTINUING");
            // The notice stands over the Preferences window, which is already open.
            EXPECT_NE(qobject_cast<TPreferences*>(box->parentWidget()), nullptr);
            box->button(QMessageBox::Ok)->click();
            return true;
        })
        .then([&](QWidget* modal) {
            auto* prefs = qobject_cast<TPreferences*>(modal);
            if (!prefs) return false;
            shown = prefs;
            EXPECT_EQ(prefs->windowTitle(), "Preferences");
            EXPECT_EQ(child<TRadioGroup>(prefs, "ComPort")->itemIndex(), 0);
            EXPECT_EQ(child<TRadioGroup>(prefs, "FaxClass")->itemIndex(), 0);
            EXPECT_EQ(child<TRadioGroup>(prefs, "ToneOrPulse")->itemIndex(), 0);
            EXPECT_EQ(child<TRadioGroup>(prefs, "AnswerOnRing")->itemIndex(), 0);
            EXPECT_EQ(child<QLineEdit>(prefs, "DialAttempts")->text(), "3");
            EXPECT_EQ(child<QLineEdit>(prefs, "RetryWait")->text(), "60");
            EXPECT_EQ(child<QLineEdit>(prefs, "TimeOut")->text(), "60");
            EXPECT_EQ(child<QLineEdit>(prefs, "PortPath")->text(), "/dev/ttyS0");
            EXPECT_FALSE(prefs->firstRunDue());  // one shot
            child<QAbstractButton>(prefs, "Cancelbutton")->click();
            return true;
        });
    EXPECT_TRUE(driver.run([&] { w.show(); }));
    EXPECT_EQ(driver.unexpected(), 0) << driver.unexpectedTitles().join(", ").toStdString();
    EXPECT_TRUE(shown.isNull());  // freed after use
    // Cancelled: the port is still unconfigured in the file...
    EXPECT_EQ(IniFile(IniFilePath()).readInteger("Modem", "ComPort", 99), 99);
    // ...but this run works with Com1, and later activations open nothing.
    EXPECT_EQ(AppSettings().comPort, 0);
    ModalDriver later;
    later.run([&] {
        w.hide();
        w.show();
    });
    EXPECT_EQ(later.unexpected(), 0);
}

TEST(MainScreen, AClosePostedDuringStartOpensNoPreferences) {
    TempHome home;  // no port: Preferences would open at first activation
    TMainScreen w;
    w.PostCloseWindow();  // as when a table cannot be opened
    ModalDriver driver;
    driver.run([&] { w.show(); });
    EXPECT_EQ(driver.unexpected(), 0);
    EXPECT_FALSE(w.isVisible());
}

TEST(MainScreen, ClosingAsksOnlyWhileAFaxComesIn) {
    TempHome home;
    configured(home);
    TMainScreen w;
    w.show();
    w.SetCallActive(true);
    auto answer = [](QMessageBox::StandardButton choice) {
        return [choice](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) return false;
            EXPECT_EQ(box->windowTitle(), "Exit");
            EXPECT_EQ(box->text(), "You are receiving a fax. Exit the program?");
            EXPECT_EQ(box->icon(), QMessageBox::Question);
            EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Yes));
            box->button(choice)->click();
            return true;
        };
    };
    ModalDriver no;
    no.then(answer(QMessageBox::No));
    EXPECT_TRUE(no.run([&] { w.close(); }));
    EXPECT_TRUE(w.isVisible());
    ModalDriver yes;
    yes.then(answer(QMessageBox::Yes));
    EXPECT_TRUE(yes.run([&] { w.close(); }));
    EXPECT_FALSE(w.isVisible());

    // Receive mode on without a call: closes without asking, and saves its place.
    TMainScreen again;
    again.show();
    again.SetReceiving(true);
    ModalDriver none;
    none.run([&] { child<QAction>(&again, "Exit1")->trigger(); });
    EXPECT_EQ(none.unexpected(), 0);
    EXPECT_FALSE(again.isVisible());
    EXPECT_TRUE(home.read("ORV.INI").contains("[TMainScreen_Placement"));
}

TEST(MainScreen, AboutShowsThePictureVersionAndOk) {
    TempHome home;
    configured(home);
    TMainScreen w;
    w.show();
    ModalDriver driver;
    driver.then([](QWidget* modal) {
        auto* about = qobject_cast<TSplashform*>(modal);
        if (!about) return false;
        EXPECT_EQ(about->windowTitle(), "About Orvane");
        EXPECT_TRUE(about->windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_EQ(child<QLabel>(about, "Version")->text(), "Version 2.2c");
        EXPECT_EQ(child<QLabel>(about, "Platform")->text(), "32-bit version for Windows 95");
        EXPECT_FALSE(child<QLabel>(about, "Image1")->pixmap().isNull());
        auto* ok = child<QPushButton>(about, "OKButton");
        EXPECT_TRUE(ok->isVisible());
        EXPECT_EQ(ok->text(), "OK");
        ok->click();
        return true;
    });
    EXPECT_TRUE(driver.run([&] { child<QAction>(&w, "About1")->trigger(); }));
    EXPECT_EQ(driver.unexpected(), 0);
    TSplashform splash;  // on its own it has no OK button
    EXPECT_TRUE(child<QPushButton>(&splash, "OKButton")->isHidden());
}
