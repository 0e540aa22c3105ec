// Our fax engine through the modem simulator: faxes sent in Class 2 and 2.0
// to spandsp's fax terminal arrive pixel for pixel (below our header line),
// and faxes the terminal sends us land in APF files that decode to its pages.
#include <gtest/gtest.h>

#include "common/orv_error.h"
#include "e2e/fax_pages.h"
#include "e2e/fax_programs.h"
#include "e2e/fax_session_runner.h"
#include "images/apf_file.h"
#include "support/modemsim_runner.h"

#include <QTemporaryDir>

namespace orv::test {
namespace {


struct SendParam {
    TFaxClass faxClass;
    int pages;
    bool fine;
    const char* name;
};

class FaxEngineSends : public ::testing::TestWithParam<SendParam> {};

TEST_P(FaxEngineSends, PagesArriveAtTheTerminalAsEncoded) {
    const SendParam& p = GetParam();
    QTemporaryDir work;
    const QString doc = makeTextApf(work.filePath("doc.apf"), p.pages, 14, p.fine);
    ASSERT_FALSE(doc.isEmpty());
    ModemSimRunner sim;
    QString err;
    ASSERT_TRUE(sim.start({}, &err)) << err.toStdString();
    const int fds = openDescriptors(), threads = runningThreads();

    const SessionResult r = runSend(sim.port(1), "5551234", doc, [&](FaxSendSession& s) {
        s.faxClass = p.faxClass;
        s.stationId = "orvane e2e";
        s.headerLine = "ORVANE TEST page $P of $N";
    });
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.finishCode, 0) << ErrorMessage(r.finishCode).toStdString() << sim.traceLog().right(3000).toStdString();
    EXPECT_EQ(r.logs, (QList<int>{logSendBegin, logSendOk}));
    EXPECT_EQ(r.last.remoteId, "MODEMSIM TERMINAL");
    EXPECT_EQ(openDescriptors(), fds);
    EXPECT_EQ(runningThreads(), threads);

    const QString received = sim.waitForEvent("RECEIVED", 20000);
    ASSERT_TRUE(received.contains(QStringLiteral("pages=%1 status=0").arg(p.pages))) << received.toStdString();
    ASSERT_EQ(sim.receivedFiles().size(), 1);
    const auto pages = readTiffPages(sim.receivedFiles()[0], &err);
    ASSERT_EQ(int(pages.size()), p.pages) << err.toStdString();
    const int headerRows = p.fine ? 16 : 8;
    for (int i = 0; i < p.pages; ++i) {
        SCOPED_TRACE(i + 1);
        const BilevelPage& got = pages[size_t(i)];
        bool headerInk = false;
        for (int y = kLeadRows; y < kLeadRows + headerRows; ++y) headerInk = headerInk || !got.rowIsWhite(y);
        EXPECT_TRUE(headerInk);
        for (int y = 0; y < kLeadRows; ++y) EXPECT_TRUE(got.rowIsWhite(y));
        const BilevelPage sent = decodeApfPage(doc, i + 1);
        ASSERT_GT(sent.height, 100);
        EXPECT_EQ(comparePages(sent, dropTopRows(got, kLeadRows + headerRows)).toStdString(), "");
    }
    EXPECT_TRUE(sim.stop());
}

INSTANTIATE_TEST_SUITE_P(Faxes, FaxEngineSends,
                         ::testing::Values(SendParam{fcClass2, 1, false, "Class2OnePageStandard"},
                                           SendParam{fcClass2, 2, true, "Class2TwoPagesFine"},
                                           SendParam{fcClass2, 10, false, "Class2TenPagesStandard"},
                                           SendParam{fcClass2_0, 1, true, "Class20OnePageFine"},
                                           SendParam{fcClass2_0, 2, false, "Class20TwoPagesStandard"},
                                           SendParam{fcClass2_0, 10, false, "Class20TenPagesStandard"}),
                         [](const auto& info) { return std::string(info.param.name); });

class FaxEngineReceives : public ::testing::TestWithParam<TFaxClass> {};

TEST_P(FaxEngineReceives, TerminalPagesLandInAnApfFile) {
    QTemporaryDir work;
    const TestDocument doc = makeDocument(work.path(), 2, 12);
    ASSERT_EQ(doc.pages.size(), 2);
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.sendFile = doc.allPages;
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    const QString inbox = work.filePath("inbox");
    ASSERT_TRUE(QDir().mkpath(inbox));
    const int fds = openDescriptors(), threads = runningThreads();

    const SessionResult r = runReceive(sim.port(1), inbox, [&] { sim.command("call 1"); },
                                       [&](FaxReceiveSession& s) { s.faxClass = GetParam(); });
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.finishCode, 0) << ErrorMessage(r.finishCode).toStdString() << sim.traceLog().right(3000).toStdString();
    EXPECT_EQ(r.logs, (QList<int>{logReceiveBegin, logReceiveOk}));
    EXPECT_EQ(r.last.remoteId, "MODEMSIM TERMINAL");
    EXPECT_EQ(openDescriptors(), fds);
    EXPECT_EQ(runningThreads(), threads);
    ASSERT_EQ(r.receivedFiles, QStringList{inbox + "/FAX0001.APF"});

    ApfReader apf;
    ASSERT_EQ(apf.open(r.receivedFiles[0]), 0);
    ASSERT_EQ(apf.pageCount(), 2);
    EXPECT_EQ(apf.header().stationId, QByteArray("MODEMSIM TERMINAL   "));
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i + 1);
        const auto sent = readTiffPages(doc.pages[i]);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(comparePages(sent[0], decodeApfPage(r.receivedFiles[0], i + 1)).toStdString(), "");
    }
    EXPECT_TRUE(sim.waitForEvent("SENT", 10000).contains("pages=2"));
    EXPECT_TRUE(sim.stop());
}

INSTANTIATE_TEST_SUITE_P(Classes, FaxEngineReceives, ::testing::Values(fcClass2, fcClass2_0),
                         [](const auto& info) { return std::string(info.param == fcClass2 ? "Class2" : "Class20"); });

}  // namespace
}  // namespace orv::test
