// orvfax send, receive and query as a user runs them, through modemsim: exit
// code 0 only on success, the error's code and message otherwise, progress on
// standard error.
#include <gtest/gtest.h>

#include "e2e/fax_pages.h"
#include "e2e/fax_programs.h"
#include "images/apf_file.h"
#include "support/modemsim_runner.h"
#include "support/run_program.h"
#include "support/test_paths.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QProcess>
#include <QTemporaryDir>

namespace orv::test {
namespace {

// orvfax, killed when it runs past 90 s.
ProgramRun orvfaxCall(const QStringList& args) { return orvfax(args, 90000); }

TEST(OrvfaxModem, QueryShowsTheModemsClasses) {
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.extraArgs << "--classes" << "1,2.0";
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    const orv::test::ProgramRun r = orvfaxCall({"query", "--port", sim.port(1)});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "Class 1: yes\nClass 2: no\nClass 2.0: yes\n");
    const orv::test::ProgramRun missing = orvfaxCall({"query", "--port", sim.folder() + "/no-such-tty"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("Specified comport doesn't exist")) << missing.err.toStdString();
}

TEST(OrvfaxModem, SendsAndFailsWithTheReason) {
    QTemporaryDir work;
    const QString doc = makeTextApf(work.filePath("doc.apf"), 2, 10, false);
    ASSERT_FALSE(doc.isEmpty());
    ModemSimRunner sim;
    QString err;
    ASSERT_TRUE(sim.start({}, &err)) << err.toStdString();
    const orv::test::ProgramRun ok = orvfaxCall({"send", "--port", sim.port(1), "--number", "5551234", "--class", "2", "--station", "ORVFAX",
                           "--header", "$I page $P of $N", doc});
    EXPECT_EQ(ok.exitCode, 0) << ok.err.toStdString();
    EXPECT_TRUE(ok.err.contains("Dialing"));
    EXPECT_TRUE(ok.err.contains("Sending page data: page 2 of 2")) << ok.err.toStdString();
    EXPECT_TRUE(ok.err.contains("sent to MODEMSIM TERMINAL"));
    EXPECT_TRUE(sim.waitForEvent("RECEIVED", 20000).contains("pages=2 status=0"));

    sim.command("fault busy");
    const orv::test::ProgramRun busy = orvfaxCall({"send", "--port", sim.port(1), "--number", "5551234", "--attempts", "2",
                             "--retry-wait", "1", doc});
    EXPECT_EQ(busy.exitCode, 1);
    EXPECT_TRUE(busy.err.contains("Busy, waiting until redial..."));
    EXPECT_TRUE(busy.err.contains("orvfax: Called fax number was busy (-8074)")) << busy.err.toStdString();

    const orv::test::ProgramRun notApf = orvfaxCall({"send", "--port", sim.port(1), "--number", "1", work.filePath("doc.apf.txt")});
    EXPECT_EQ(notApf.exitCode, 1);
    EXPECT_TRUE(notApf.err.contains("File is not an APF file (-8001)")) << notApf.err.toStdString();
    EXPECT_EQ(orvfaxCall({"send", "--port", sim.port(1), doc}).exitCode, 2);  // no --number
    EXPECT_EQ(orvfaxCall({"send", "--number", "1", doc}).exitCode, 2);        // no --port
    EXPECT_EQ(orvfaxCall({"receive", "--port", sim.port(1), "--rings", "0"}).exitCode, 2);
}

TEST(OrvfaxModem, SendWithHistoryAppendsTheRecordsOfEachFax) {
    QTemporaryDir work;
    const QString doc = makeTextApf(work.filePath("doc.apf"), 1, 10, false);
    ASSERT_FALSE(doc.isEmpty());
    ModemSimRunner sim;
    QString err;
    ASSERT_TRUE(sim.start({}, &err)) << err.toStdString();
    const QString history = work.filePath("ORVFAX.HIS");
    const ProgramRun ok = orvfaxCall({"send", "--port", sim.port(1), "--number", "5551234", "--history", history, doc});
    EXPECT_EQ(ok.exitCode, 0) << ok.err.toStdString();
    sim.command("fault busy");
    const ProgramRun busy = orvfaxCall({"send", "--port", sim.port(1), "--number", "5550000", "--attempts", "1",
                                    "--history", history, doc});
    EXPECT_EQ(busy.exitCode, 1);
    QFile f(history);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(f.readAll());
    const QString dt = "\\S+ [^\\r\\n]+";
    const QRegularExpression records(
        "\\ATransmit " + QRegularExpression::escape(doc) + " to 5551234 started at " + dt +
        "\\r\\nTransmit to MODEMSIM TERMINAL finished OK at " + dt + " \\d+\\r\\n\\r\\n" +
        "Transmit " + QRegularExpression::escape(doc) + " to 5550000 started at " + dt +
        "\\r\\nTransmit failed at " + dt + "\\r\\n  \\(Called fax number was busy\\) \\d+\\r\\n\\r\\n\\z");
    EXPECT_TRUE(records.match(text).hasMatch()) << text.toStdString();
}

TEST(OrvfaxModem, ReceivesOneFaxIntoTheFolder) {
    QTemporaryDir work;
    const TestDocument doc = makeDocument(work.path(), 1, 20);
    ASSERT_EQ(doc.pages.size(), 1);
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.sendFile = doc.allPages;
    config.extraArgs << "--call" << "1@40";  // line time: after orvfax has set the modem up
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    const QString inbox = work.filePath("inbox");
    ASSERT_TRUE(QDir().mkpath(inbox));
    const orv::test::ProgramRun r = orvfaxCall({"receive", "--port", sim.port(1), "--dir", inbox, "--once", "--rings", "2"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString() << sim.traceLog().right(2000).toStdString();
    EXPECT_EQ(r.out, inbox + "/FAX0001.APF\n");
    EXPECT_TRUE(r.err.contains("Waiting for incoming call"));
    EXPECT_TRUE(r.err.contains("Getting page data: page 1"));
    ApfReader apf;
    ASSERT_EQ(apf.open(inbox + "/FAX0001.APF"), 0);
    EXPECT_EQ(apf.pageCount(), 1);
    EXPECT_EQ(sim.traceLog().count("<- ATA"), 1);
    EXPECT_GE(sim.traceLog().count("RING"), 2);
}

}  // namespace
}  // namespace orv::test
