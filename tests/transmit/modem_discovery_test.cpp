// Find Modem and Check Fax Class on real pseudo-terminals: modemsim modems,
// a port another process holds, paths that do not exist, a device that is no
// modem, and modems offering each set of classes; then the Preferences window
// as a new user meets it.
#include <gtest/gtest.h>

#include "common/orv_error.h"
#include "engine/com_port.h"
#include "engine/fax_components.h"
#include "engine/pty_pair.h"
#include "shell/modal_driver.h"
#include "shell/preferences.h"
#include "config/settings.h"
#include "support/modemsim_runner.h"
#include "support/temp_home.h"
#include "transmit/modem_discovery.h"
#include "ui/widgets/picture_button.h"
#include "ui/widgets/radio_group.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <array>

namespace orv::test {
namespace {

// A window with the parts the two operations work on.
struct Window {
    QWidget window;
    TRadioGroup* comPort = new TRadioGroup("ComPort", "Port", {"Com1", "Com2", "Com3", "Com4", "Com5", "Com6"}, 2, &window);
    TRadioGroup* faxClass =
        new TRadioGroup("FaxClass", "Fax &class", {"auto detect", "class 1", "class 2", "class 2.0"}, 1, &window);
    TOrvComPort* port = new TOrvComPort(&window);
    TOrvSendFax* fax = new TOrvSendFax(&window);
    QLabel* status = new QLabel(&window);
    std::array<QString, 6> paths;
    TModemDiscovery discovery{{&window, comPort, faxClass, port, fax, status}};

    Window() {
        port->SetAutoOpen(false);
        fax->SetComPort(port);
        fax->SetFaxClass(fcUnknown);
        discovery.PortPath = [this](int n) { return paths[size_t(n - 1)]; };
        comPort->setItemIndex(0);
        faxClass->setItemIndex(0);
        window.show();
    }
};

// The text and title of a message box, its carriage returns as typed.
struct Box {
    QString title, text;
    bool question = false;
};

// Answers one box with Yes (or OK) or No, recording it.
ModalDriver::Step answer(Box& box, bool yes) {
    return [&box, yes](QWidget* modal) {
        auto* m = qobject_cast<QMessageBox*>(modal);
        if (!m) return false;
        box.title = m->windowTitle();
        box.text = m->text();
        box.question = m->button(QMessageBox::Yes) != nullptr;
        if (const QString shots = qEnvironmentVariable("ORVANE_SCREENSHOT_DIR"); !shots.isEmpty())
            m->grab().save(shots + "/box-" + box.title.left(8).replace(' ', '_').replace('!', 'x') + ".png");
        QAbstractButton* b = m->button(box.question ? (yes ? QMessageBox::Yes : QMessageBox::No) : QMessageBox::Ok);
        if (!b) return false;
        b->click();
        return true;
    };
}

// Lines of a box's text (a carriage return breaks a line, as in the program's texts).
QString lines(QStringList parts) { return parts.join('\n'); }

QString shown(const QString& text) {
    QString t = text;
    t.replace('\r', '\n');
    return t;
}

TEST(ModemDiscovery, FindModemReportsEverySixPortsAndOffersTheFirstModem) {
    QTemporaryDir work;
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.ports = 3;
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    // Another program holds the third modem's port.
    QProcess holder;
    holder.start("flock", {sim.port(3), "sleep", "60"});
    ASSERT_TRUE(holder.waitForStarted());
    {
        TOrvComPort probe;
        probe.SetDeviceName(sim.port(3));
        bool held = false;
        for (int i = 0; i < 100 && !held; ++i) {
            try {
                probe.SetOpen(true);
                probe.SetOpen(false);
                QThread::msleep(20);
            } catch (const EOrvException& e) {
                held = e.code() == ecAlreadyOpen;
            }
        }
        ASSERT_TRUE(held);
    }
    PtyPair silent;  // a terminal nothing answers on

    Window w;
    w.paths = {sim.port(3), sim.port(1), work.filePath("ttyMISSING0"), sim.port(2), silent.slavePath(),
               work.filePath("ttyMISSING1")};
    w.comPort->setItemIndex(5);
    Box box;
    ModalDriver driver;
    driver.then(answer(box, true));
    ASSERT_TRUE(driver.run([&] { w.discovery.FindModemButtonClick(); }, 60000));
    EXPECT_EQ(driver.unexpected(), 0);
    EXPECT_EQ(box.title, "Modem Found!");
    EXPECT_TRUE(box.question);
    EXPECT_EQ(box.text, shown(lines({"Com 1: Port is already open (could be modem)", "Com 2: MODEM",
                                     "Com 3: Port does not exist", "Com 4: MODEM", "Com 5: Unknown",
                                     "Com 6: Port does not exist", "",
                                     "A modem was found on Com Port 2. Set Port as Com 2 ?"})));
    EXPECT_EQ(w.comPort->itemIndex(), 1);  // Yes chose Com2
    EXPECT_FALSE(w.port->Open());
    EXPECT_EQ(w.status->text(), "");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    holder.kill();
    holder.waitForFinished();

    // No modem at all: the report alone, and the choice stays.
    for (auto& p : w.paths) p = work.filePath("nothing");
    Box report;
    ModalDriver none;
    none.then(answer(report, true));
    ASSERT_TRUE(none.run([&] { w.discovery.FindModemButtonClick(); }, 30000));
    EXPECT_EQ(report.title, "Information");
    EXPECT_FALSE(report.question);
    EXPECT_EQ(report.text.count("Port does not exist"), 6);
    EXPECT_EQ(w.comPort->itemIndex(), 1);
}

struct ClassCase {
    const char* classes;
    QStringList message;     // the lines before the question
    const char* name;
    int index;
};

class CheckFaxClass : public ::testing::TestWithParam<ClassCase> {};

TEST_P(CheckFaxClass, RecommendsTheHighestClassTheModemOffers) {
    const ClassCase& c = GetParam();
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.extraArgs = {"--classes", c.classes};
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    Window w;
    w.paths = {sim.port(1), {}, {}, {}, {}, {}};
    Box box;
    ModalDriver driver;
    driver.then(answer(box, true));
    ASSERT_TRUE(driver.run([&] { w.discovery.CheckFaxClassButtonClick(); }, 60000)) << sim.traceLog().toStdString();
    EXPECT_EQ(box.title, "Fax Class");
    QStringList text = c.message;
    text << "" << QStringLiteral("Set Fax Class as %1 ?").arg(QLatin1String(c.name));
    EXPECT_EQ(box.text, shown(lines(text)));
    EXPECT_EQ(w.faxClass->itemIndex(), c.index);
    EXPECT_EQ(w.discovery.FClass1Supported, QByteArray(c.classes).contains("1"));
    EXPECT_FALSE(w.port->Open());
    EXPECT_EQ(w.status->text(), "");
}

INSTANTIATE_TEST_SUITE_P(
    ClassSets, CheckFaxClass,
    ::testing::Values(ClassCase{"2", {"Class 2 support (recommended)"}, "Class 2", 2},
                      ClassCase{"1", {"Class 1 support (recommended)"}, "Class 1", 1},
                      ClassCase{"1,2.0", {"Class 1 support", "Class 2.0 support (recommended)"}, "Class 2.0", 3},
                      ClassCase{"1,2,2.0",
                                {"Class 1 support", "Class 2 support", "Class 2.0 support (recommended)"},
                                "Class 2.0",
                                3}),
    [](const auto& info) {
        QString n = QString::fromLatin1(info.param.classes);
        n.replace(',', '_').replace('.', 'p');
        return "Classes_" + n.toStdString();
    });

TEST(ModemDiscovery, CheckFaxClassExplainsAModemThatFailsOrAPortThatDoesNotOpen) {
    QTemporaryDir work;
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.extraArgs = {"--fault", "mute=ATE0"};  // answers AT&F, then says nothing
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    Window w;
    w.faxClass->setItemIndex(2);
    w.paths = {sim.port(1), work.filePath("missing"), {}, {}, {}, {}};
    Box mute;
    ModalDriver d1;
    d1.then(answer(mute, true));
    ASSERT_TRUE(d1.run([&] { w.discovery.CheckFaxClassButtonClick(); }, 30000));
    EXPECT_EQ(mute.title, "Information");
    EXPECT_EQ(mute.text, "Unable to communicate with the modem");
    EXPECT_FALSE(w.port->Open());

    w.comPort->setItemIndex(1);
    Box missing;
    ModalDriver d2;
    d2.then(answer(missing, true));
    ASSERT_TRUE(d2.run([&] { w.discovery.CheckFaxClassButtonClick(); }, 30000));
    EXPECT_EQ(missing.text, "Error opening communications port");
    EXPECT_EQ(w.faxClass->itemIndex(), 2);  // untouched
}

TEST(ModemDiscovery, PreferencesFindTheModemOnCom1AndRecommendClass20) {
    TempHome home;
    ModemSimRunner sim;
    QString err;
    ASSERT_TRUE(sim.start({}, &err)) << err.toStdString();
    Settings s;
    s.portPaths = {sim.port(1), home.path() + "/no-ttyS1", home.path() + "/no-ttyUSB0", home.path() + "/no-ttyUSB1",
                   home.path() + "/no-ttyACM0", home.path() + "/no-ttyACM1"};
    s.comPort = 3;
    s.faxClass = 0;
    TPreferences prefs;
    prefs.LoadFrom(s);
    prefs.show();
    auto* find = child<TPictureButton>(&prefs, "FindModemButton");
    auto* check = child<TPictureButton>(&prefs, "CheckFaxClassButton");
    ASSERT_TRUE(find && check);

    Box found;
    ModalDriver d1;
    d1.then(answer(found, true));
    ASSERT_TRUE(d1.run([&] { find->click(); }, 60000));
    EXPECT_EQ(found.title, "Modem Found!");
    EXPECT_TRUE(found.text.startsWith("Com 1: MODEM\nCom 2: Port does not exist")) << found.text.toStdString();
    EXPECT_TRUE(found.text.endsWith("A modem was found on Com Port 1. Set Port as Com 1 ?"));

    Box recommended;
    ModalDriver d2;
    d2.then(answer(recommended, true));
    ASSERT_TRUE(d2.run([&] { check->click(); }, 60000));
    EXPECT_EQ(recommended.title, "Fax Class");
    EXPECT_TRUE(recommended.text.contains("Class 2.0 support (recommended)"));
    EXPECT_TRUE(recommended.text.endsWith("Set Fax Class as Class 2.0 ?"));

    if (const QString shots = qEnvironmentVariable("ORVANE_SCREENSHOT_DIR"); !shots.isEmpty())
        prefs.grab().save(shots + "/preferences.png");
    Settings out = s;
    prefs.StoreTo(out);
    EXPECT_EQ(out.comPort, 0);
    EXPECT_EQ(out.faxClass, 3);
    EXPECT_EQ(out.portPaths, s.portPaths);  // discovery never changes the paths
    // The window's own port wrote its trace and log in the program folder.
    EXPECT_TRUE(QFile::exists(home.path() + "/ORV2.TRC"));
}

}  // namespace
}  // namespace orv::test
