// The "Fax Status" window: its values at each status report of real sends
// through modemsim (cover page, pages, busy countdown, Cancel), and what it
// shows for a receive component, an empty page and a long file name.
#include <gtest/gtest.h>

#include "common/orv_error.h"
#include "e2e/fax_pages.h"
#include "support/modemsim_runner.h"
#include "transmit/fax_status.h"
#include "ui/widgets/meter.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWidget>

namespace orv::test {
namespace {

template <class F>
bool waitFor(F cond, int timeoutMs = 120000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!cond()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

QString text(QWidget* w, const char* name) {
    auto* l = w->findChild<QLabel*>(QString::fromLatin1(name));
    return l ? l->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

// What the window showed at one status report.
struct Shown {
    int code;
    bool visible;
    QString phone, pages, attempt, remote, bps, resolution, width, ecm, page, length, bytes, elapsed, status;
    int bar;
};

// A send window's parts: port, send component, status component.
struct SendWindow {
    QWidget window;
    TOrvComPort* port = new TOrvComPort(&window);
    TOrvSendFax* fax = new TOrvSendFax(&window);
    TOrvFaxStatus* status = new TOrvFaxStatus(&window);
    QList<Shown> shown;
    bool finished = false;
    int finishCode = 1;
    std::function<void(TOrvCustomAbstractFax&)> onStatus;

    explicit SendWindow(const QString& device) {
        port->SetDeviceName(device);
        fax->SetStationID("orvane test");
        fax->OnFaxStatus = [this](TOrvCustomAbstractFax& cp, bool, bool) {
            TStandardFaxDisplay* d = status->Display();
            shown << Shown{cp.ProgressCode(), d->isVisible(), text(d, "fsPhoneNumber"), text(d, "fsTotalPages"),
                           text(d, "fsDialAttempt"), text(d, "fsRemoteID"), text(d, "fsConnectBPS"),
                           text(d, "fsResolution"), text(d, "fsWidth"), text(d, "fsErrorControl"),
                           text(d, "fsCurrentPage"), text(d, "fsPageLength"), text(d, "fsBytesTransferred"),
                           text(d, "fsElapsedTime"), text(d, "fsStatusMsg"), d->progressBar()->position()};
            if (onStatus) onStatus(cp);
        };
        fax->OnFaxFinish = [this](TOrvCustomAbstractFax&, int c) {
            finishCode = c;
            finished = true;
        };
    }
};

TEST(FaxStatus, TimesAndFileNamesAreShownShort) {
    EXPECT_EQ(FormatFaxTime(75), "  1:15");
    EXPECT_EQ(FormatFaxTime(0), "  0:00");
    EXPECT_EQ(FormatFaxTime(9), "  0:09");
    EXPECT_EQ(FormatFaxTime(3600), " 60:00");
    EXPECT_EQ(FormatFaxTime(-3), "  0:00");
    EXPECT_EQ(ShortFaxFileName("/home/ann/faxes/letter.apf"), "letter.apf");
    EXPECT_EQ(ShortFaxFileName("C:\\FAX\\A.APF"), "A.APF");
    EXPECT_EQ(ShortFaxFileName("/tmp/a-very-long-fax-file-name.apf"), "a-very-long-fax-file...");
    EXPECT_EQ(ShortFaxFileName("exactly-twenty-chars"), "exactly-twenty-chars");
}

TEST(FaxStatus, TheWindowFollowsARealSendFromCoverToFinish) {
    QTemporaryDir work;
    const QString doc = makeTextApf(work.filePath("letter.apf"), 2, 20, false);
    const QString cover = work.filePath("cover.txt");
    {
        QFile f(cover);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("To: Ann\nFrom: Orvane\n\nTwo pages follow.\n");
    }
    ModemSimRunner sim;
    QString err;
    ASSERT_TRUE(sim.start({}, &err)) << err.toStdString();
    SendWindow w(sim.port(1));
    w.fax->SetPhoneNumber("5551234");
    w.fax->SetFaxFile(doc);
    w.fax->SetCoverFile(cover);
    EXPECT_EQ(w.fax->StatusDisplay(), w.status);  // found on the owner
    EXPECT_EQ(w.status->Fax(), w.fax);
    TStandardFaxDisplay* d = w.status->Display();
    ASSERT_NE(d, nullptr);
    // ORVANE_SCREENSHOT_DIR: a picture of the window while a page goes out.
    const QString shots = qEnvironmentVariable("ORVANE_SCREENSHOT_DIR");
    // While the window is up, the file names and their captions stay out of sight.
    int shownReports = 0;
    QStringList fileLabelsSeen;
    w.onStatus = [&](TOrvCustomAbstractFax& cp) {
        if (!shots.isEmpty() && cp.ProgressCode() == fsSendingPage && cp.PageNumber() >= 1)
            d->grab().save(shots + "/fax_status.png");
        if (!d->isVisible()) return;
        ++shownReports;
        for (const char* name : {"fsFaxFileName", "fsFaxFileNameCaption", "fsCoverFileName", "fsCoverFileNameCaption"})
            if (d->findChild<QLabel*>(name)->isVisible()) fileLabelsSeen << name;
    };
    EXPECT_EQ(d->windowTitle(), "Fax Status");
    EXPECT_FALSE(d->isVisible());
    w.fax->BeginSend();
    ASSERT_TRUE(waitFor([&] { return w.finished; })) << sim.traceLog().right(2000).toStdString();
    EXPECT_EQ(w.finishCode, 0) << ErrorMessage(w.finishCode).toStdString();
    EXPECT_FALSE(d->isVisible());  // the last report hid it
    EXPECT_GT(shownReports, 0);
    EXPECT_TRUE(fileLabelsSeen.isEmpty()) << fileLabelsSeen.join(' ').toStdString();

    ASSERT_GE(w.shown.size(), 3);
    bool coverSeen = false, pageSeen = false, eopSeen = false, elapsedRan = false, barMoved = false, remoteSeen = false;
    const QRegularExpression time("^ *\\d+:\\d\\d$");
    for (const Shown& s : w.shown) {
        if (s.code == fsFinished || !s.visible) continue;
        EXPECT_EQ(s.phone, "5551234");
        EXPECT_EQ(s.attempt, "1");
        if (s.code == fsSendingPage) {
            EXPECT_EQ(s.pages, "2");
        }
        EXPECT_EQ(s.status, TOrvCustomAbstractFax::ProgressText(s.code));
        EXPECT_TRUE(s.elapsed == "00:00" || (s.elapsed.size() == 6 && time.match(s.elapsed).hasMatch()))
            << s.elapsed.toStdString();
        if (s.elapsed != "00:00") elapsedRan = true;
        if (s.code == fsSendingPage && s.page == "<cover page>") {
            coverSeen = true;
            // A text cover's image size is not known ahead: no length, no bar,
            // while the image bytes sent are counted.
            EXPECT_EQ(s.length, "0");
            EXPECT_EQ(s.bar, 0);
        }
        if (s.code == fsSendingPage && s.page == "2") pageSeen = true;
        if (s.code == fsSendingEop && s.page != "<cover page>") {
            // The page is out: every byte of it counts, whatever else waits to go.
            EXPECT_EQ(s.bytes, s.length) << "page " << s.page.toStdString();
            eopSeen = true;
        }
        if (s.bar > 0) barMoved = true;
        EXPECT_GE(s.bar, 0);
        EXPECT_LE(s.bar, 100);
        if (s.remote == "MODEMSIM TERMINAL") {
            remoteSeen = true;
            EXPECT_EQ(s.bps, "9600");
            EXPECT_EQ(s.resolution, "standard");
            EXPECT_EQ(s.width, "1728");
            EXPECT_EQ(s.ecm, "off");
        }
    }
    EXPECT_TRUE(coverSeen);
    EXPECT_TRUE(pageSeen);
    EXPECT_TRUE(eopSeen);
    EXPECT_TRUE(elapsedRan);
    EXPECT_TRUE(barMoved);
    EXPECT_TRUE(remoteSeen);
    // The finished call: the elapsed timer stopped.
    EXPECT_EQ(text(d, "fsElapsedTime"), "00:00");
}

TEST(FaxStatus, ABusyLineCountsDownToTheRedialAndCancelEndsTheCall) {
    QTemporaryDir work;
    const QString doc = makeTextApf(work.filePath("letter.apf"), 1, 10, false);
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.extraArgs = {"--fault", "busy=1"};
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    SendWindow w(sim.port(1));
    w.fax->SetPhoneNumber("5551234");
    w.fax->SetFaxFile(doc);
    w.fax->SetDialAttempts(3);
    w.fax->SetDialRetryWait(5);
    TStandardFaxDisplay* d = w.status->Display();
    bool cancelled = false;
    w.onStatus = [&](TOrvCustomAbstractFax& cp) {
        // The second dial: the user gives up.
        if (cp.ProgressCode() == fsDialing && static_cast<TOrvSendFax&>(cp).DialAttempt() == 2 && !cancelled) {
            cancelled = true;
            d->findChild<QPushButton*>("fsCancel")->click();
        }
    };
    w.fax->BeginSend();
    ASSERT_TRUE(waitFor([&] { return w.finished; })) << sim.traceLog().right(2000).toStdString();
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(w.finishCode, ecCancelRequested);
    QStringList busy;
    for (const Shown& s : w.shown)
        if (s.code == fsBusyWaiting) busy << s.status;
    ASSERT_FALSE(busy.isEmpty());
    EXPECT_EQ(busy.first(), "Busy, waiting until redial...  0:05");
    const QRegularExpression countdown("^Busy, waiting until redial\\.\\.\\. +0:0[0-5]$");
    for (const QString& b : busy) EXPECT_TRUE(countdown.match(b).hasMatch()) << b.toStdString();
    EXPECT_EQ(w.shown.last().code, fsUserAbort);
    EXPECT_TRUE(sim.receivedFiles().isEmpty());
}

TEST(FaxStatus, OtherComponentsEmptyPagesAndLongNames) {
    QWidget window;
    TStandardFaxDisplay d(&window);
    TOrvReceiveFax receive(&window);
    receive.SetFaxFile("/var/spool/fax/FAX0001-from-the-far-end.APF");
    d.UpdateValues(&receive);
    EXPECT_TRUE(d.progressBar()->isHidden());
    EXPECT_EQ(text(&d, "fsLabel19"), "Page progress: N/A");
    EXPECT_EQ(text(&d, "fsDialAttempt"), "1");
    EXPECT_EQ(text(&d, "fsPhoneNumber"), "");
    EXPECT_EQ(text(&d, "fsFaxFileName"), "FAX0001-from-the-far...");

    TOrvSendFax send(&window);
    send.SetFaxFile("/tmp/short.apf");
    send.SetPhoneNumber("555");
    d.UpdateValues(&send);
    EXPECT_FALSE(d.progressBar()->isHidden());
    EXPECT_EQ(text(&d, "fsLabel19"), "Page progress:");
    EXPECT_EQ(d.progressBar()->position(), 0);  // a page length of 0 leaves the bar empty
    EXPECT_EQ(d.progressBar()->segments().full, 0);
    EXPECT_EQ(text(&d, "fsFaxFileName"), "short.apf");
    EXPECT_EQ(text(&d, "fsCurrentPage"), "<cover page>");
    EXPECT_EQ(text(&d, "fsElapsedTime"), "00:00");
    // The file names keep their places but stay hidden.
    EXPECT_TRUE(d.findChild<QLabel*>("fsFaxFileName")->isHidden());
    EXPECT_TRUE(d.findChild<QLabel*>("fsFaxFileNameCaption")->isHidden());
    EXPECT_TRUE(d.findChild<QLabel*>("fsCoverFileNameCaption")->isHidden());
    EXPECT_FALSE(d.findChild<QLabel*>("fsPhoneNumber")->isHidden());
}

}  // namespace
}  // namespace orv::test
