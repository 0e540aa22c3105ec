#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextBrowser>

#include "shell/default_font.h"
#include "shell/help_window.h"
#include "config/ini_file.h"
#include "shell/main_screen.h"
#include "shell/modal_driver.h"
#include "shell/preferences.h"
#include "config/program_folder.h"
#include "config/settings.h"
#include "support/temp_home.h"
#include "ui/widgets/picture_button.h"
#include "ui/widgets/radio_group.h"

using namespace orv;
using orv::test::child;
using orv::test::ModalDriver;
using orv::test::TempHome;

namespace {

const char* kIni =
    "[User]\nName=Ann Smith\nFax=+1 555 0100\n"
    "[Dialing]\nDialPrefix=9,\nDialAttempts=5\nRetryWait=0x1E\nToneOrPulse=1\nTimeout=45\nBlindDial=1\n"
    "[Modem]\nComPort=2\nFaxClass=3\nInitString=&K3\nCom3=/dev/ttyUSB7\n"
    "[Receive]\nAnswerOnRing=2\nAtStartup=0\nWav=\n";

// Opens Preferences from the main window's menu, lets edit work on it, then
// presses the button named close.
void runPreferences(TMainScreen& w, const std::function<void(TPreferences*)>& edit, const char* close) {
    ModalDriver driver;
    driver.then([&](QWidget* modal) {
        auto* prefs = qobject_cast<TPreferences*>(modal);
        if (!prefs) return false;
        edit(prefs);
        child<QAbstractButton>(prefs, close)->click();
        return true;
    });
    EXPECT_TRUE(driver.run([&] { child<QAction>(&w, "mnuPreferences")->trigger(); }));
    EXPECT_EQ(driver.unexpected(), 0) << driver.unexpectedTitles().join(", ").toStdString();
}

void typeInto(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

}  // namespace

TEST(Preferences, EveryControlHasItsLabelOrCaptionAndHint) {
    TempHome home;
    TPreferences p;
    EXPECT_EQ(p.windowTitle(), "Preferences");
    EXPECT_FALSE(p.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(p.windowFlags() & Qt::WindowMinMaxButtonsHint);
    const struct {
        const char* name;
        const char* label;
        const char* hint;
    } edits[] = {
        {"Name", "Your &name", "Enter your name here"},
        {"FaxNumber", "Your &fax number (Station ID#)", "Enter your own fax number here"},
        {"DialPrefix", "&Dial prefix:",
         "Enter the dial prefix here. If your telephone system requires special numbers or codes when dialing out, "
         "you can specify them once here rather than in every fax number. Do not include 'ATD' or a 'T' or 'P' "
         "tone/pulse modifier in the dial prefix"},
        {"ModemInit", "&Modem initialization string:",
         "(You should not need to do this). Enter extra modem init string here. If you use an init string here, it "
         "will be sent just before the default init: ('ATE0Q0V1X4S0=0'). The init string should not contain an "
         "'AT' prefix."},
        {"DialAttempts", "Number of dial attempts",
         "Enter the number of dial attempts that should be made for each fax"},
        {"RetryWait", "Seconds to wait before retry", "Enter the number of seconds between dial attempts here"},
        {"TimeOut", "Seconds to wait before timeout",
         "Enter the number of seconds that Orvane should wait after dialing before it aborts the call with a "
         "timeout"},
        {"WaveFileEdit", "Select &WAV File to play when receiving a fax:", "Type in the path and name of the .WAV file"},
    };
    const QList<QLabel*> labels = p.findChildren<QLabel*>();
    for (const auto& e : edits) {
        SCOPED_TRACE(e.name);
        auto* edit = child<QLineEdit>(&p, e.name);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->statusTip(), e.hint);
        const auto label = std::find_if(labels.begin(), labels.end(), [&](QLabel* l) { return l->buddy() == edit; });
        ASSERT_NE(label, labels.end());
        EXPECT_EQ((*label)->text(), e.label);
    }
    EXPECT_EQ(child<QLineEdit>(&p, "Name")->maxLength(), 35);
    EXPECT_EQ(child<QLineEdit>(&p, "FaxNumber")->maxLength(), 20);

    const struct {
        const char* name;
        const char* title;
        QStringList items;
        const char* hint;
    } groups[] = {
        {"FaxClass", "Fax &class", {"auto detect", "class 1", "class 2", "class 2.0"},
         "You should usually set this at the highest class supported by your modem, however if you experience "
         "problems set it to auto detect (the default)"},
        {"ComPort", "Port", {"Com1", "Com2", "Com3", "Com4", "Com5", "Com6"},
         "Select the communications port for your faxmodem here"},
        {"ToneOrPulse", "Tone or Pulse", {"Tone", "Pulse"},
         "Select tone or pulse, depending on your phone system (normally tone)"},
        {"AnswerOnRing", "Answer on ring", {"1", "2", "3"},
         "Select which ring Orvane should answer on, when in receive mode"},
    };
    for (const auto& g : groups) {
        SCOPED_TRACE(g.name);
        auto* group = child<TRadioGroup>(&p, g.name);
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->title(), g.title);
        EXPECT_EQ(group->statusTip(), g.hint);
        ASSERT_EQ(group->count(), g.items.size());
        for (int i = 0; i < group->count(); ++i) EXPECT_EQ(group->button(i)->text(), g.items[i]);
    }

    auto* blind = child<QCheckBox>(&p, "CheckBlindDial");
    EXPECT_EQ(blind->text(), "Blind Dial");
    EXPECT_EQ(blind->statusTip(),
              "If the modem is not connected to a phone line which supplies a dial tone, \rcheck  Blind Dial. This is "
              "equivilant to sending ATX3 rather than ATX4.");
    EXPECT_EQ(blind->toolTip(),
              "If the modem is not connected to a phone line which supplies a dial tone, \ncheck  Blind Dial. This is "
              "equivilant to sending ATX3 rather than ATX4.");
    auto* startup = child<QCheckBox>(&p, "ReceiveAtStartup");
    EXPECT_EQ(startup->text(), "Start Receiving at program startup");
    EXPECT_EQ(startup->statusTip(), "Check this box to have Orvane start receiving faxes \ras soon as it starts up");

    const struct {
        const char* name;
        const char* caption;
        const char* hint;
    } buttons[] = {
        {"Helpbutton", "&Help", "Get Windows help for Preferences"},
        {"OkButton", "&Accept", "Save changes to preferences"},
        {"Cancelbutton", "Cance&l", "Cancel changes to preferences"},
        {"ExplorerButton1", "Set Default Font", "Set the default font to use for new Faxes and Cover Sheets"},
        {"CheckFaxClassButton", "Check Fax Class",
         "Click here to have the program test the modem to see which fax classes it supports"},
        {"FindModemButton", "Find Modem",
         "Click here to have the program attempt to find which port your faxmodem is on"},
        {"SelectWavButton", "&Choose", "Select the .WAV file from a Windows\rFile Open dialog"},
        {"BitBtn2", "Play &Now", "Play the .WAV file you have selected"},
        {"BitBtn1", "None", ""},
    };
    for (const auto& b : buttons) {
        SCOPED_TRACE(b.name);
        auto* button = child<QAbstractButton>(&p, b.name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), b.caption);
        EXPECT_EQ(button->statusTip(), b.hint);
    }
    for (const char* picture : {"Helpbutton", "OkButton", "Cancelbutton", "ExplorerButton1"})
        EXPECT_NE(qobject_cast<TPictureButton*>(child<QAbstractButton>(&p, picture)), nullptr);
    auto* dialog = child<QFileDialog>(&p, "OpenDialog1");
    EXPECT_EQ(dialog->nameFilters(), QStringList{"WAVE files (*.wav)"});
}

TEST(Preferences, AcceptWritesEveryValueBackToOrvIni) {
    TempHome home;
    home.write("ORV.INI", kIni);
    TMainScreen w;
    w.show();
    runPreferences(w, [](TPreferences* p) {
        // Filled from the settings.
        EXPECT_EQ(child<QLineEdit>(p, "Name")->text(), "Ann Smith");
        EXPECT_EQ(child<QLineEdit>(p, "FaxNumber")->text(), "+1 555 0100");
        EXPECT_EQ(child<QLineEdit>(p, "DialPrefix")->text(), "9,");
        EXPECT_EQ(child<QLineEdit>(p, "ModemInit")->text(), "&K3");
        EXPECT_EQ(child<QLineEdit>(p, "DialAttempts")->text(), "5");
        EXPECT_EQ(child<QLineEdit>(p, "RetryWait")->text(), "30");
        EXPECT_EQ(child<QLineEdit>(p, "TimeOut")->text(), "45");
        EXPECT_EQ(child<TRadioGroup>(p, "ComPort")->itemIndex(), 2);
        EXPECT_EQ(child<TRadioGroup>(p, "ComPort")->itemNote(2), "/dev/ttyUSB7");
        EXPECT_EQ(child<TRadioGroup>(p, "ComPort")->itemNote(0), "/dev/ttyS0");
        EXPECT_EQ(child<QLineEdit>(p, "PortPath")->text(), "/dev/ttyUSB7");
        EXPECT_EQ(child<TRadioGroup>(p, "FaxClass")->itemIndex(), 3);
        EXPECT_EQ(child<TRadioGroup>(p, "ToneOrPulse")->itemIndex(), 1);
        EXPECT_EQ(child<TRadioGroup>(p, "AnswerOnRing")->itemIndex(), 1);  // ring 2: the middle button
        EXPECT_TRUE(child<QCheckBox>(p, "CheckBlindDial")->isChecked());
        EXPECT_FALSE(child<QCheckBox>(p, "ReceiveAtStartup")->isChecked());

        typeInto(child<QLineEdit>(p, "Name"), "Bob Jones");
        typeInto(child<QLineEdit>(p, "FaxNumber"), "0123456789012345678901234");  // cut at 20
        typeInto(child<QLineEdit>(p, "DialAttempts"), "7");
        typeInto(child<QLineEdit>(p, "RetryWait"), "soon");  // not a number: unchanged
        typeInto(child<QLineEdit>(p, "TimeOut"), "90");
        child<TRadioGroup>(p, "ComPort")->setItemIndex(4);
        EXPECT_EQ(child<QLineEdit>(p, "PortPath")->text(), "/dev/ttyACM0");
        typeInto(child<QLineEdit>(p, "PortPath"), "/dev/ttyFAX");
        EXPECT_EQ(child<TRadioGroup>(p, "ComPort")->itemNote(4), "/dev/ttyFAX");
        child<TRadioGroup>(p, "FaxClass")->setItemIndex(1);
        child<TRadioGroup>(p, "ToneOrPulse")->setItemIndex(0);
        child<TRadioGroup>(p, "AnswerOnRing")->setItemIndex(2);
        child<QCheckBox>(p, "CheckBlindDial")->setChecked(false);
        child<QCheckBox>(p, "ReceiveAtStartup")->setChecked(true);
    }, "OkButton");

    const IniFile ini(IniFilePath());
    EXPECT_EQ(ini.readString("User", "Name", ""), "Bob Jones");
    EXPECT_EQ(ini.readString("User", "Fax", ""), "01234567890123456789");
    EXPECT_EQ(ini.readString("Dialing", "DialPrefix", "?"), "9,");
    EXPECT_EQ(ini.readString("Modem", "InitString", "?"), "&K3");
    EXPECT_EQ(ini.readString("Dialing", "DialAttempts", ""), "7");
    EXPECT_EQ(ini.readString("Dialing", "RetryWait", ""), "30");
    EXPECT_EQ(ini.readString("Dialing", "Timeout", ""), "90");
    EXPECT_EQ(ini.readString("Modem", "ComPort", ""), "4");
    EXPECT_EQ(ini.readString("Modem", "Com5", ""), "/dev/ttyFAX");
    EXPECT_EQ(ini.readString("Modem", "Com3", ""), "/dev/ttyUSB7");
    EXPECT_EQ(ini.readString("Modem", "FaxClass", ""), "1");
    EXPECT_EQ(ini.readString("Dialing", "ToneOrPulse", ""), "0");
    EXPECT_EQ(ini.readString("Receive", "AnswerOnRing", ""), "3");
    EXPECT_EQ(ini.readString("Dialing", "BlindDial", ""), "0");
    EXPECT_EQ(ini.readString("Receive", "AtStartup", ""), "1");
    EXPECT_EQ(AppSettings().name, "Bob Jones");
    EXPECT_EQ(AppSettings().portPath(), "/dev/ttyFAX");
}

TEST(Preferences, CancelLeavesOrvIniUntouchedExceptAConfirmedDefaultFont) {
    TempHome home;
    home.write("ORV.INI", kIni);
    TMainScreen w;
    w.show();
    const QByteArray before = home.read("ORV.INI");
    runPreferences(w, [](TPreferences* p) {
        typeInto(child<QLineEdit>(p, "Name"), "Somebody Else");
        child<TRadioGroup>(p, "ComPort")->setItemIndex(0);
    }, "Cancelbutton");
    EXPECT_EQ(home.read("ORV.INI"), before);
    EXPECT_EQ(AppSettings().name, "Ann Smith");

    // Set Default Font saves at once, even when Preferences is then cancelled.
    runPreferences(w, [](TPreferences* p) {
        ModalDriver font;
        font.then([](QWidget* modal) {
            auto* dialog = qobject_cast<QFontDialog*>(modal);
            if (!dialog) return false;
            EXPECT_EQ(dialog->currentFont().pointSize(), 10);  // preset from the settings
            QFont f(QStringLiteral("Liberation Serif"));
            f.setPointSize(14);
            f.setBold(true);
            f.setItalic(true);
            dialog->setCurrentFont(f);
            dialog->accept();
            return true;
        });
        EXPECT_TRUE(font.run([&] { child<QAbstractButton>(p, "ExplorerButton1")->click(); }));
        typeInto(child<QLineEdit>(p, "Name"), "Not Saved");
    }, "Cancelbutton");
    const IniFile ini(IniFilePath());
    EXPECT_EQ(ini.readString("Default Font", "Name", ""), "Liberation Serif");
    EXPECT_EQ(ini.readString("Default Font", "Size", ""), "14");
    EXPECT_EQ(ini.readString("Default Font", "Bold", ""), "1");
    EXPECT_EQ(ini.readString("Default Font", "Italic", ""), "1");
    EXPECT_EQ(ini.readString("Default Font", "Underline", ""), "0");
    EXPECT_EQ(ini.readString("User", "Name", ""), "Ann Smith");
    EXPECT_EQ(AppSettings().fontName, "Liberation Serif");
}

TEST(Preferences, SetDefaultFontOnAFirstRunKeepsThePortUnsetInTheFile) {
    TempHome home;  // no ORV.INI
    LoadSettings();
    AppSettings().comPort = 0;  // what the main window makes of an absent port
    ModalDriver driver;
    driver.then([](QWidget* modal) {
        auto* dialog = qobject_cast<QFontDialog*>(modal);
        if (!dialog) return false;
        QFont f = dialog->currentFont();
        f.setUnderline(true);
        dialog->setCurrentFont(f);
        dialog->accept();
        return true;
    });
    bool changed = false;
    EXPECT_TRUE(driver.run([&] { changed = ChooseDefaultFont(nullptr); }));
    EXPECT_TRUE(changed);
    const IniFile ini(IniFilePath());
    EXPECT_EQ(ini.readString("Default Font", "Underline", ""), "1");
    EXPECT_EQ(ini.readInteger("Modem", "ComPort", 99), -1);  // Preferences still due next start
    EXPECT_EQ(AppSettings().comPort, 0);
    EXPECT_TRUE(AppSettings().fontUnderline);
}

TEST(Preferences, ChoosingPlayingAndClearingTheSound) {
    TempHome home;
    // A real, short WAV file: 8 kHz, 8-bit mono, 800 samples of a square wave.
    QByteArray wav("RIFF");
    auto u32 = [&](quint32 v) { for (int i = 0; i < 4; ++i) wav.append(char((v >> (8 * i)) & 0xFF)); };
    auto u16 = [&](quint16 v) { wav.append(char(v & 0xFF)); wav.append(char(v >> 8)); };
    u32(36 + 800);
    wav.append("WAVEfmt ");
    u32(16); u16(1); u16(1); u32(8000); u32(8000); u16(1); u16(8);
    wav.append("data");
    u32(800);
    for (int i = 0; i < 800; ++i) wav.append(char((i / 10) % 2 ? 0xC0 : 0x40));
    home.write("ring.wav", wav);
    home.write("notes.txt", "not a sound");

    TPreferences p;
    Settings s;
    p.LoadFrom(s);
    auto* edit = child<QLineEdit>(&p, "WaveFileEdit");
    auto pick = [&](const QString& file) {
        ModalDriver driver;
        driver.then([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (!dialog) return false;
            EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(ProgramFolder()).canonicalPath());
            // Typed as a user would: selectFile() races with the folder listing the
            // dialog makes in the background, and loses on a busy machine.
            auto* nameEdit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!nameEdit) return false;
            nameEdit->setText(file);
            static_cast<QDialog*>(dialog)->accept();  // runs the file dialog's own accept
            return true;
        });
        EXPECT_TRUE(driver.run([&] { child<QAbstractButton>(&p, "SelectWavButton")->click(); }));
    };
    pick(home.file("ring.wav"));
    EXPECT_EQ(QFileInfo(edit->text()).canonicalFilePath(), QFileInfo(home.file("ring.wav")).canonicalFilePath());
    // A file without ".WAV" in its name is ignored.
    pick(home.file("notes.txt"));
    EXPECT_EQ(QFileInfo(edit->text()).fileName(), "ring.wav");
    // Play Now starts the sound in the background and returns at once (on a
    // machine without sound it is simply not heard).
    QElapsedTimer clock;
    clock.start();
    child<QAbstractButton>(&p, "BitBtn2")->click();
    EXPECT_LT(clock.elapsed(), 2000);
    QTest::qWait(100);
    // Play Now with a missing file does nothing; the name is still kept.
    edit->setText(home.file("gone.wav"));
    child<QAbstractButton>(&p, "BitBtn2")->click();
    p.StoreTo(s);
    EXPECT_EQ(s.wav, home.file("gone.wav"));
    // None clears the sound.
    child<QAbstractButton>(&p, "BitBtn1")->click();
    EXPECT_EQ(edit->text(), "");
    p.StoreTo(s);
    EXPECT_EQ(s.wav, "");
}

TEST(Preferences, AnAnswerRingOutsideOneToThreeIsKeptUnlessChanged) {
    TempHome home;
    TPreferences p;
    Settings s;
    s.answerOnRing = 5;
    s.comPort = 1;
    p.LoadFrom(s);
    EXPECT_EQ(child<TRadioGroup>(&p, "AnswerOnRing")->itemIndex(), -1);
    Settings out = s;
    p.StoreTo(out);
    EXPECT_EQ(out.answerOnRing, 5);
    // An emptied device path falls back to the port's default.
    typeInto(child<QLineEdit>(&p, "PortPath"), "");
    child<QLineEdit>(&p, "PortPath")->clear();
    p.StoreTo(out);
    EXPECT_EQ(out.portPaths[1], "/dev/ttyS1");
}

TEST(Help, EachContextOpensItsPageAndEveryLinkResolves) {
    TempHome home;
    for (int context : {1009, 1022}) {
        ShowHelp(context);
        auto* window = qobject_cast<THelpWindow*>(QApplication::activeWindow() ? QApplication::activeWindow() : nullptr);
        THelpWindow* help = window;
        if (!help)
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* h = qobject_cast<THelpWindow*>(top); h && h->isVisible()) help = h;
        ASSERT_NE(help, nullptr);
        EXPECT_TRUE(help->browser()->source().toString().endsWith(QStringLiteral("/%1.html").arg(context)));
        EXPECT_FALSE(help->browser()->toPlainText().isEmpty());
    }
    auto* help = [] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* h = qobject_cast<THelpWindow*>(top); h && h->isVisible()) return h;
        return static_cast<THelpWindow*>(nullptr);
    }();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->browser()->documentTitle().contains("Preferences"));
    ShowHelp(4711);
    EXPECT_TRUE(help->browser()->toPlainText().contains("no help page for topic 4711"));

    // Every page's links lead to a page that exists.
    for (const char* page : {"1009", "1022", "main_window", "about"}) {
        QFile f(QStringLiteral(":/help/%1.html").arg(page));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << page;
        const QString html = QString::fromUtf8(f.readAll());
        static const QRegularExpression href("href=\"([^\"]+)\"");
        for (auto it = href.globalMatch(html); it.hasNext();) {
            const QString target = it.next().captured(1);
            EXPECT_TRUE(QFile::exists(":/help/" + target)) << page << " -> " << target.toStdString();
        }
    }
    help->close();
}

TEST(Help, PreferencesHelpOpensOverTheOpenDialog) {
    TempHome home;
    home.write("ORV.INI", kIni);
    TMainScreen w;
    w.show();
    QPointer<THelpWindow> seen;
    runPreferences(w, [&](TPreferences* p) {
        child<QAbstractButton>(p, "Helpbutton")->click();
        seen = p->findChild<THelpWindow*>();
        ASSERT_NE(seen, nullptr);  // it belongs to the dialog, so the dialog does not block it
        EXPECT_TRUE(seen->isVisible());
        EXPECT_TRUE(seen->browser()->source().toString().endsWith("/1022.html"));
    }, "Cancelbutton");
    EXPECT_TRUE(seen.isNull());  // went with the dialog
}
