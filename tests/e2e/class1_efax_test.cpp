// Our T.30 over Class 1 against efax -o1, an independent Class 1 fax program,
// through a pair of simulated modems: we call efax, and efax calls us, at
// each rate from 2400 to 14400 bit/s (the rate held down by our DesiredBPS,
// which efax follows). Pages are compared pixel for pixel, efax's through
// libtiff.
#include <gtest/gtest.h>

#include "common/orv_error.h"
#include "e2e/fax_pages.h"
#include "e2e/fax_programs.h"
#include "e2e/fax_session_runner.h"
#include "images/apf_file.h"
#include "support/modemsim_runner.h"

#include <QDir>
#include <QTemporaryDir>
#include <memory>

namespace orv::test {
namespace {

constexpr int kEfaxTimeout = 120000;

struct RateParam {
    const char* name;
    int pages;
    bool fine;
    int desiredBps;
};

class Class1ToEfax : public ::testing::TestWithParam<RateParam> {};

TEST_P(Class1ToEfax, EfaxReceivesEveryPage) {
    const RateParam& p = GetParam();
    QTemporaryDir work;
    const QString doc = makeTextApf(work.filePath("doc.apf"), p.pages, 10, p.fine);
    ASSERT_FALSE(doc.isEmpty());
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.ports = 2;
    config.extraArgs << "--classes" << "1";
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    const QString prefix = work.filePath("rx");
    LoggedProgram efax("efax", {"-v", "ewinchamr", "-d", sim.port(2), "-o1", "-iS0=1", "-w", "-r", prefix},
                       work.filePath("efax.log"));
    ASSERT_TRUE(efax.waitForLog("waiting for activity", 20000)) << efax.log().toStdString();

    QStringList trace;
    const SessionResult r = runSend(sim.port(1), "1002", doc, [&](FaxSendSession& s) {
        s.faxClass = fcClass1;
        s.desiredBps = p.desiredBps;
        s.stationId = "ORVANE TX";
        s.trace = [&](const QString& t) { trace << t; };
    });
    ASSERT_TRUE(r.finished);
    ASSERT_EQ(r.finishCode, 0) << ErrorMessage(r.finishCode).toStdString() << trace.join('\n').right(4000).toStdString()
                               << efax.log().right(3000).toStdString();
    EXPECT_EQ(r.logs, (QList<int>{logSendBegin, logSendOk}));
    EXPECT_EQ(r.last.bps, p.desiredBps);
    EXPECT_EQ(r.last.fine, p.fine);
    EXPECT_EQ(efax.wait(kEfaxTimeout), 0) << efax.log().toStdString();
    EXPECT_TRUE(efax.log().contains("ORVANE TX")) << efax.log().toStdString();

    for (int i = 1; i <= p.pages; ++i) {
        SCOPED_TRACE(i);
        const auto got = readTiffPages(prefix + QStringLiteral(".%1").arg(i, 3, 10, QChar('0')), &err);
        ASSERT_EQ(got.size(), 1u) << err.toStdString();
        EXPECT_EQ(got[0].yResolution > 150, p.fine);
        EXPECT_EQ(comparePages(decodeApfPage(doc, i), dropTopRows(got[0], kLeadRows)).toStdString(), "");
    }
    EXPECT_TRUE(sim.stop());
}

INSTANTIATE_TEST_SUITE_P(Rates, Class1ToEfax,
                         ::testing::Values(RateParam{"TwoPagesFine14400", 2, true, 14400},
                                           RateParam{"OnePage12000", 1, false, 12000},
                                           RateParam{"TwoPages9600", 2, false, 9600},
                                           RateParam{"OnePageFine7200", 1, true, 7200},
                                           RateParam{"OnePage4800", 1, false, 4800},
                                           RateParam{"OnePage2400", 1, false, 2400}),
                         [](const auto& info) { return std::string(info.param.name); });

class EfaxToClass1 : public ::testing::TestWithParam<RateParam> {};

TEST_P(EfaxToClass1, PagesLandInAnApfFile) {
    const RateParam& p = GetParam();
    QTemporaryDir work;
    const TestDocument doc = makeDocument(work.path(), p.pages, 10);
    ASSERT_EQ(doc.pages.size(), p.pages);
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.ports = 2;
    config.speed = 4;  // we answer: T.30 leaves the answering side 75 ms to listen
    config.extraArgs << "--classes" << "1";
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    const QString inbox = work.filePath("inbox");
    ASSERT_TRUE(QDir().mkpath(inbox));

    std::unique_ptr<LoggedProgram> efax;
    QStringList trace;
    const SessionResult r = runReceive(
        sim.port(2), inbox,
        [&] {
            QStringList args{"-v", "ewinchamr", "-d", sim.port(1), "-o1", "-l", "EFAX TX", "-h", "", "-t", "1002"};
            args << doc.pages;
            efax = std::make_unique<LoggedProgram>("efax", args, work.filePath("efax.log"));
        },
        [&](FaxReceiveSession& s) {
            s.faxClass = fcClass1;
            s.desiredBps = p.desiredBps;
            s.stationId = "ORVANE RX";
            s.trace = [&](const QString& t) { trace << t; };
        });
    ASSERT_TRUE(efax);
    ASSERT_TRUE(r.finished);
    ASSERT_EQ(r.finishCode, 0) << ErrorMessage(r.finishCode).toStdString() << trace.join('\n').right(4000).toStdString()
                               << efax->log().right(3000).toStdString();
    EXPECT_EQ(efax->wait(kEfaxTimeout), 0) << efax->log().toStdString();
    EXPECT_EQ(r.logs, (QList<int>{logReceiveBegin, logReceiveOk}));
    EXPECT_EQ(r.last.bps, p.desiredBps);
    ASSERT_EQ(r.receivedFiles, QStringList{inbox + "/FAX0001.APF"});
    ApfReader apf;
    ASSERT_EQ(apf.open(r.receivedFiles[0]), 0);
    ASSERT_EQ(apf.pageCount(), p.pages);
    EXPECT_EQ(apf.header().stationId, QByteArray("EFAX TX             "));
    for (int i = 0; i < p.pages; ++i) {
        SCOPED_TRACE(i + 1);
        const auto sent = readTiffPages(doc.pages[i]);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(comparePages(sent[0], decodeApfPage(r.receivedFiles[0], i + 1), kEfaxTopLines, true).toStdString(),
                  "");
    }
    EXPECT_TRUE(sim.stop());
}

// efax's pages are fine (efix's default); the rate is what our DIS offers.
INSTANTIATE_TEST_SUITE_P(Rates, EfaxToClass1,
                         ::testing::Values(RateParam{"TwoPages14400", 2, true, 14400},
                                           RateParam{"OnePage12000", 1, true, 12000},
                                           RateParam{"TwoPages9600", 2, true, 9600},
                                           RateParam{"OnePage7200", 1, true, 7200},
                                           RateParam{"OnePage4800", 1, true, 4800},
                                           RateParam{"OnePage2400", 1, true, 2400}),
                         [](const auto& info) { return std::string(info.param.name); });

// One simulated modem, call after call: our V.17 session leaves nothing
// behind that spoils efax's next call (the modem starts each call afresh).
TEST(Class1CallAfterCall, OursThenEfaxThroughOneModem) {
    QTemporaryDir work;
    const QString doc = makeTextApf(work.filePath("doc.apf"), 1, 10, true);
    ASSERT_FALSE(doc.isEmpty());
    const TestDocument efaxDoc = makeDocument(work.path(), 1, 10);
    ASSERT_EQ(efaxDoc.pages.size(), 1);
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.extraArgs << "--classes" << "1";
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    const SessionResult r = runSend(sim.port(1), "5551234", doc, [](FaxSendSession& s) {
        s.faxClass = fcClass1;
        s.desiredBps = 14400;
    });
    ASSERT_TRUE(r.finished);
    ASSERT_EQ(r.finishCode, 0) << ErrorMessage(r.finishCode).toStdString();
    EXPECT_EQ(r.last.bps, 14400);
    EXPECT_TRUE(sim.waitForEvent("RECEIVED", 20000).contains("pages=1 status=0"));
    const int seen = int(sim.events().size());
    LoggedProgram efax("efax", {"-v", "ewinchamr", "-d", sim.port(1), "-o1", "-h", "", "-t", "5551234", efaxDoc.pages[0]},
                       work.filePath("efax.log"));
    EXPECT_EQ(efax.wait(kEfaxTimeout), 0) << efax.log().toStdString() << sim.traceLog().right(3000).toStdString();
    EXPECT_TRUE(sim.waitForEvent("RECEIVED", 20000, seen).contains("pages=1 status=0")) << sim.events().join('\n').toStdString();
    EXPECT_TRUE(sim.stop());
}

}  // namespace
}  // namespace orv::test
