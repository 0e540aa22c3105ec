#include <gtest/gtest.h>

#include <QDialog>
#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>

#include "config/ini_file.h"
#include "shell/main_screen.h"
#include "config/program_folder.h"
#include "shell/window_placement.h"
#include "support/temp_home.h"

using namespace orv;
using orv::test::TempHome;

namespace {

QString section(const char* cls) {
    const QScreen* s = QGuiApplication::primaryScreen();
    return cls + QStringLiteral("_Placement") +
           (qRound(s->logicalDotsPerInch() * s->devicePixelRatio()) > 96
                ? QString::number(qRound(s->logicalDotsPerInch() * s->devicePixelRatio()))
                : QString());
}

}  // namespace

// Stands in for another window that remembers its place.
class TFaxViewer : public QDialog {
    Q_OBJECT
};

TEST(WindowPlacement, TheMainWindowHasItsCaptionSizeAndCentresWhenNeverPlaced) {
    TempHome home;
    TMainScreen w;
    EXPECT_EQ(w.windowTitle(), "Orvane ");
    w.show();
    EXPECT_EQ(w.centralWidget()->size(), QSize(592, 384));  // the client area below the menu
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(w.geometry().left(), (screen.width() - w.width()) / 2);
    EXPECT_EQ(w.geometry().top(), (screen.height() - w.height()) / 2);
    // The placement is saved at once.
    IniFile ini(IniFilePath());
    EXPECT_EQ(ini.readInteger(section("TMainScreen"), "Right", 0), w.geometry().left() + w.width());
    EXPECT_EQ(ini.readInteger(section("TMainScreen"), "Maximized", 9), 0);
}

TEST(WindowPlacement, ASavedPlaceIsRestoredPulledBackAndSavedOnClose) {
    TempHome home;
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    IniFile ini(IniFilePath());
    ini.writeInteger("Modem", "ComPort", 0);  // no first-run Preferences
    const QString sec = section("TMainScreen");
    ini.writeInteger(sec, "Left", screen.width() - 100);
    ini.writeInteger(sec, "Top", 30);
    ini.writeInteger(sec, "Right", screen.width() + 600);
    ini.writeInteger(sec, "Bottom", 530);
    {
        TMainScreen w;
        w.show();
        EXPECT_EQ(w.geometry(), QRect(screen.width() - 700, 30, 700, 500));
        w.setGeometry(40, 50, 640, 480);
        w.close();
    }
    EXPECT_EQ(ini.readInteger(sec, "Left", 0), 40);
    EXPECT_EQ(ini.readInteger(sec, "Top", 0), 50);
    EXPECT_EQ(ini.readInteger(sec, "Right", 0), 680);
    EXPECT_EQ(ini.readInteger(sec, "Bottom", 0), 530);
    TMainScreen again;
    again.show();
    EXPECT_EQ(again.geometry(), QRect(40, 50, 640, 480));
}

TEST(WindowPlacement, MaximizedIsRestoredAndTheNormalRectangleKept) {
    TempHome home;
    IniFile ini(IniFilePath());
    ini.writeInteger("Modem", "ComPort", 0);  // no first-run Preferences
    const QString sec = section("TMainScreen");
    ini.writeInteger(sec, "Left", 10);
    ini.writeInteger(sec, "Top", 20);
    ini.writeInteger(sec, "Right", 710);  // wide enough for the button bar
    ini.writeInteger(sec, "Bottom", 520);
    ini.writeBool(sec, "Maximized", true);
    TMainScreen w;
    w.show();
    EXPECT_TRUE(w.isMaximized());
    w.close();
    EXPECT_TRUE(ini.readBool(sec, "Maximized", false));
    EXPECT_EQ(ini.readInteger(sec, "Right", 0), 710);
    EXPECT_EQ(ini.readInteger(sec, "Bottom", 0), 520);
}

TEST(WindowPlacement, DialogsCentreOverTheMainWindowOrTheScreen) {
    TempHome home;
    TMainScreen main;
    main.show();
    main.setGeometry(100, 100, 600, 400);
    QDialog d;
    d.resize(201, 101);
    CenterWindow(&d);
    EXPECT_EQ(d.geometry().topLeft(), QPoint(100 + (600 - 201) / 2, 100 + (400 - 101) / 2));

    main.showMaximized();
    CenterWindow(&d);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(d.geometry().topLeft(), QPoint((screen.width() - 201) / 2, (screen.height() - 101) / 2));
}

TEST(WindowPlacement, EachWindowClassHasItsOwnSection) {
    TempHome home;
    TFaxViewer v;
    v.setGeometry(5, 6, 300, 200);
    SaveWindowPlacement(&v);
    IniFile ini(IniFilePath());
    EXPECT_EQ(ini.readInteger(section("TFaxViewer"), "Bottom", 0), 206);
    EXPECT_EQ(WindowClassName(&v), "TFaxViewer");
}

#include "window_placement_test.moc"
