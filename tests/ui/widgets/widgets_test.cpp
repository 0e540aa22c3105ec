#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "ui/widgets/align_label.h"
#include "ui/widgets/button_panel.h"
#include "ui/widgets/enter_edit.h"
#include "ui/widgets/hint.h"
#include "ui/widgets/picture_button.h"
#include "ui/widgets/radio_group.h"
#include "ui/widgets/tab_set.h"
#include "ui/widgets/tcolor.h"

using namespace orv;

TEST(TColor, BlueIsInTheHighByteAndRedInTheLow) {
    EXPECT_EQ(FromTColor(clButtonBarTeal), QColor(0x40, 0x80, 0x80));
    EXPECT_EQ(FromTColor(clBlue), QColor(0, 0, 255));
    EXPECT_EQ(FromTColor(0x000000FF), QColor(255, 0, 0));
    EXPECT_EQ(FromTColor(clSilver), QColor(192, 192, 192));
}

TEST(PictureButtons, EveryPictureIsBuiltInAndTheBarIsTeal) {
    for (const char* name : {"accept", "cancel", "clone", "delete", "edit", "exit", "faxclass", "findmodem", "font",
                             "help", "new", "orvane", "receive", "send", "view"}) {
        const QIcon icon = PictureIcon(name);
        ASSERT_FALSE(icon.isNull()) << name;
        EXPECT_FALSE(icon.pixmap(24, 24).isNull()) << name;
    }
    EXPECT_TRUE(PictureIcon("no such picture").isNull());

    TButtonPanel bar("ButtonBar");
    EXPECT_EQ(bar.objectName(), "ButtonBar");
    EXPECT_EQ(bar.height(), 45);
    EXPECT_EQ(bar.palette().color(QPalette::Window), QColor(0x40, 0x80, 0x80));
    EXPECT_TRUE(bar.autoFillBackground());

    TPictureButton* send = bar.addButton("SendButton", "&Send", "Send the currently selected fax", "send");
    TPictureButton* plain = bar.addButton("Plain", "Plain", "", "");
    EXPECT_EQ(send->parent(), &bar);
    EXPECT_EQ(send->caption(), "&Send");
    EXPECT_EQ(Hint(send), "Send the currently selected fax");
    EXPECT_EQ(send->toolTip(), "Send the currently selected fax");
    EXPECT_EQ(send->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    EXPECT_FALSE(send->icon().isNull());
    EXPECT_EQ(plain->toolButtonStyle(), Qt::ToolButtonTextOnly);
    EXPECT_EQ(send->palette().color(QPalette::Active, QPalette::ButtonText), QColor(Qt::white));
    // Disabled captions stay visible on the dark bar, only dimmer.
    EXPECT_LT(send->palette().color(QPalette::Disabled, QPalette::ButtonText).alpha(), 255);
    EXPECT_GT(send->palette().color(QPalette::Disabled, QPalette::ButtonText).alpha(), 0);

    // The buttons are laid out left to right in the order they were added.
    bar.resize(400, 45);
    bar.show();
    QApplication::processEvents();
    EXPECT_LT(send->geometry().left(), plain->geometry().left());
    EXPECT_LE(send->geometry().bottom(), 44);
}

TEST(PictureButtons, TheMnemonicClicksTheButton) {
    QWidget w;
    auto* layout = new QVBoxLayout(&w);
    auto* b = new TPictureButton("Newbutton", "&New", "Create a new fax", "new", &w);
    layout->addWidget(b);
    QSignalSpy clicked(b, &QAbstractButton::clicked);
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_N, Qt::AltModifier);
    EXPECT_TRUE(clicked.wait(1000));  // a mnemonic animates the click first
    EXPECT_EQ(clicked.count(), 1);
    b->setEnabled(false);
    QTest::keyClick(&w, Qt::Key_N, Qt::AltModifier);
    EXPECT_FALSE(clicked.wait(300));
    EXPECT_EQ(clicked.count(), 1);
}

TEST(Hints, ControlsAndMenuItemsKeepTheirHint) {
    QLabel l;
    SetHint(&l, "line one\nline two");
    EXPECT_EQ(l.statusTip(), "line one\nline two");
    EXPECT_EQ(l.toolTip(), "line one\nline two");
    QAction a(nullptr);
    SetHint(&a, "Create a new fax");
    EXPECT_EQ(a.statusTip(), "Create a new fax");
}

TEST(TabSet, TabsHangAtTheBottomAndEveryChangeIsAClick) {
    TTabSet tabs("TabSet1", {"Sent", "Received"});
    EXPECT_EQ(tabs.objectName(), "TabSet1");
    EXPECT_EQ(tabs.shape(), QTabBar::RoundedSouth);
    ASSERT_EQ(tabs.count(), 2);
    EXPECT_EQ(tabs.tabText(0), "Sent");
    EXPECT_EQ(tabs.tabText(1), "Received");
    EXPECT_EQ(tabs.tabIndex(), 0);

    QSignalSpy clicks(&tabs, &TTabSet::Click);
    tabs.resize(300, 30);
    tabs.show();
    QApplication::processEvents();
    QTest::mouseClick(&tabs, Qt::LeftButton, {}, tabs.tabRect(1).center());
    EXPECT_EQ(tabs.tabIndex(), 1);
    EXPECT_EQ(clicks.count(), 1);
    QTest::mouseClick(&tabs, Qt::LeftButton, {}, tabs.tabRect(1).center());  // no change, no click
    EXPECT_EQ(clicks.count(), 1);
    tabs.setTabIndex(0);
    EXPECT_EQ(clicks.count(), 2);
}

TEST(AlignLabel, TheStatusLineIsSilverBlueCentredAnd32High) {
    QWidget w;
    TAlignLabel* status = TAlignLabel::statusLine(&w);
    EXPECT_EQ(status->objectName(), "status");
    EXPECT_EQ(status->height(), 32);
    EXPECT_EQ(status->maximumHeight(), 32);
    EXPECT_EQ(status->alignment(), Qt::AlignCenter);
    EXPECT_EQ(status->palette().color(QPalette::Window), QColor(192, 192, 192));
    EXPECT_EQ(status->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    // A hint far wider than the window must not widen it.
    status->setText(QString(500, 'x'));
    EXPECT_EQ(status->sizePolicy().horizontalPolicy(), QSizePolicy::Ignored);
}

TEST(RadioGroup, ItemsRunDownTheColumnsAndAnIndexOutsideChoosesNone) {
    TRadioGroup ports("ComPort", "Port", {"Com1", "Com2", "Com3", "Com4", "Com5", "Com6"}, 2);
    ports.resize(300, 150);
    ports.show();
    QApplication::processEvents();
    EXPECT_EQ(ports.title(), "Port");
    ASSERT_EQ(ports.count(), 6);
    EXPECT_EQ(ports.itemIndex(), -1);
    // Com1..Com3 in the first column, Com4..Com6 in the second.
    auto pos = [&](int i) { return ports.button(i)->mapTo(&ports, QPoint(0, 0)); };
    EXPECT_EQ(pos(0).x(), pos(2).x());
    EXPECT_LT(pos(0).y(), pos(1).y());
    EXPECT_LT(pos(0).x(), pos(3).x());
    EXPECT_EQ(pos(0).y(), pos(3).y());

    QSignalSpy changed(&ports, &TRadioGroup::itemIndexChanged);
    ports.setItemIndex(4);
    EXPECT_EQ(ports.itemIndex(), 4);
    EXPECT_TRUE(ports.button(4)->isChecked());
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toInt(), 4);
    QTest::mouseClick(ports.button(1), Qt::LeftButton, {}, QPoint(5, ports.button(1)->height() / 2));
    EXPECT_EQ(ports.itemIndex(), 1);
    ports.setItemIndex(7);
    EXPECT_EQ(ports.itemIndex(), -1);
    ports.setItemIndex(-1);
    EXPECT_EQ(ports.itemIndex(), -1);
    ports.setItemIndex(0);
    EXPECT_EQ(ports.itemIndex(), 0);

    ports.setItemNote(2, "/dev/ttyUSB0");
    EXPECT_EQ(ports.itemNote(2), "/dev/ttyUSB0");
    EXPECT_EQ(ports.itemNote(9), "");
    auto* note = ports.findChild<QLabel*>("ComPortNote2");
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->isVisible());
    EXPECT_GT(note->mapTo(&ports, QPoint(0, 0)).x(), pos(2).x());
    EXPECT_FALSE(ports.findChild<QLabel*>("ComPortNote1")->isVisible());
}

TEST(EnterEdit, EnterMovesToTheNextFieldAndNeverReachesTheDialog) {
    QDialog d;
    auto* layout = new QVBoxLayout(&d);
    auto* first = new TEnterEdit("Recipient", &d);
    auto* second = new TEnterEdit("FaxNumber", &d);
    auto* ok = new QPushButton("OK", &d);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &d, &QDialog::accept);
    layout->addWidget(first);
    layout->addWidget(second);
    layout->addWidget(ok);
    d.show();
    QApplication::setActiveWindow(&d);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    first->setFocus();
    QTest::keyClicks(first, "Ann");
    EXPECT_EQ(first->text(), "Ann");
    QTest::keyClick(first, Qt::Key_Return);
    EXPECT_TRUE(second->hasFocus());
    EXPECT_TRUE(d.isVisible());
    QTest::keyClick(second, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(ok->hasFocus());
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_TRUE(d.isVisible());
    // Other keys edit as usual.
    second->setFocus();
    QTest::keyClicks(second, "123");
    QTest::keyClick(second, Qt::Key_Backspace);
    EXPECT_EQ(second->text(), "12");
}
