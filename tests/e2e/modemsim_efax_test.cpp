// efax, an independent fax program, sends and receives through simulated
// Class 1, 2 and 2.0 modems; spandsp's terminal is the far end, or a second
// efax on a second simulated modem. Pages are compared pixel for pixel after
// decoding with libtiff.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <unistd.h>

#include "e2e/fax_programs.h"
#include "support/modemsim_runner.h"
#include "support/tiff_pages.h"

namespace orv::test {
namespace {

constexpr int kTimeout = 90000;

struct EfaxClass {
    const char* option;  // efax -o: 1 Class 1, 2 Class 2, 0 Class 2.0
    const char* name;
};

class EfaxThroughModemsim : public ::testing::TestWithParam<EfaxClass> {
protected:
    void SetUp() override {
        doc_ = makeDocument(work_.path(), 2, 12);
        ASSERT_EQ(doc_.pages.size(), 2) << "efix could not make the test document";
    }

    void expectSamePages(const QStringList& sentPages, const QStringList& receivedFiles, int skipTop) {
        std::vector<BilevelPage> received;
        for (const auto& f : receivedFiles) {
            QString err;
            auto pages = readTiffPages(f, &err);
            ASSERT_FALSE(pages.empty()) << err.toStdString();
            for (auto& p : pages) received.push_back(std::move(p));
        }
        ASSERT_EQ(received.size(), static_cast<size_t>(sentPages.size()));
        for (int i = 0; i < sentPages.size(); ++i) {
            auto sent = readTiffPages(sentPages[i]);
            ASSERT_EQ(sent.size(), 1u);
            EXPECT_EQ(comparePages(sent[0], received[static_cast<size_t>(i)], skipTop).toStdString(), "")
                << "page " << i + 1;
        }
    }

    QTemporaryDir work_;
    TestDocument doc_;
};

TEST_P(EfaxThroughModemsim, SendsTwoPagesToTheTerminal) {
    ModemSimRunner sim;
    QString err;
    ASSERT_TRUE(sim.start({}, &err)) << err.toStdString();
    LoggedProgram efax("efax",
                       {"-v", "ewinchamr", "-d", sim.port(1), QString("-o") + GetParam().option, "-h", "", "-t", "5550100",
                        doc_.pages[0], doc_.pages[1]},
                       work_.filePath("efax.log"));
    int rc = efax.wait(kTimeout);
    ASSERT_EQ(rc, 0) << efax.log().toStdString() << sim.traceLog().toStdString();
    QString received = sim.waitForEvent("RECEIVED", 10000);
    ASSERT_TRUE(received.contains("pages=2 status=0")) << received.toStdString() << sim.traceLog().toStdString();
    expectSamePages(doc_.pages, sim.receivedFiles(), kEfaxTopLines);
    EXPECT_TRUE(sim.stop()) << sim.traceLog().right(3000).toStdString();
}

TEST_P(EfaxThroughModemsim, ReceivesTwoPagesFromTheTerminal) {
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.sendFile = doc_.allPages;
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    QString prefix = work_.filePath("rx");
    LoggedProgram efax("efax",
                       {"-v", "ewinchamr", "-d", sim.port(1), QString("-o") + GetParam().option, "-iS0=1", "-w", "-r",
                        prefix},
                       work_.filePath("efax.log"));
    ASSERT_TRUE(efax.waitForLog("waiting for activity", 20000)) << efax.log().toStdString();
    sim.command("call 1");
    int rc = efax.wait(kTimeout);
    ASSERT_EQ(rc, 0) << efax.log().toStdString() << sim.traceLog().toStdString();
    QString sent = sim.waitForEvent("SENT", 10000);
    EXPECT_TRUE(sent.contains("pages=2 status=0")) << sent.toStdString();
    expectSamePages(doc_.pages, {prefix + ".001", prefix + ".002"}, 0);
}

INSTANTIATE_TEST_SUITE_P(Classes, EfaxThroughModemsim,
                         ::testing::Values(EfaxClass{"1", "Class1"}, EfaxClass{"2", "Class2"},
                                           EfaxClass{"0", "Class20"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Two efax processes fax each other through a pair of simulated modems.
struct EfaxPair {
    const char* sender;
    const char* receiver;
    const char* name;
};

class EfaxToEfax : public ::testing::TestWithParam<EfaxPair> {};

TEST_P(EfaxToEfax, FaxEachOtherThroughTwoModems) {
    QTemporaryDir work;
    TestDocument doc = makeDocument(work.path(), 2, 10);
    ASSERT_EQ(doc.pages.size(), 2);
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.ports = 2;
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    QString prefix = work.filePath("rx");
    LoggedProgram receiver("efax",
                           {"-v", "ewinchamr", "-d", sim.port(2), QString("-o") + GetParam().receiver, "-iS0=1", "-w",
                            "-r", prefix},
                           work.filePath("receiver.log"));
    ASSERT_TRUE(receiver.waitForLog("waiting for activity", 20000)) << receiver.log().toStdString();
    LoggedProgram sender("efax",
                         {"-v", "ewinchamr", "-d", sim.port(1), QString("-o") + GetParam().sender, "-h", "", "-t", "1002",
                          doc.pages[0], doc.pages[1]},
                         work.filePath("sender.log"));
    EXPECT_EQ(sender.wait(kTimeout), 0) << sender.log().toStdString() << sim.traceLog().toStdString();
    EXPECT_EQ(receiver.wait(kTimeout), 0) << receiver.log().toStdString();
    for (int i = 0; i < 2; ++i) {
        auto sent = readTiffPages(doc.pages[i]);
        auto got = readTiffPages(prefix + QString(".%1").arg(i + 1, 3, 10, QChar('0')));
        ASSERT_EQ(sent.size(), 1u);
        ASSERT_EQ(got.size(), 1u) << "page " << i + 1;
        EXPECT_EQ(comparePages(sent[0], got[0], kEfaxTopLines).toStdString(), "") << "page " << i + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(Pairs, EfaxToEfax,
                         ::testing::Values(EfaxPair{"1", "1", "Class1ToClass1"}, EfaxPair{"0", "2", "Class20ToClass2"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The far end rejects the first page with RTN: a Class 2 sender sees
// +FPTS:2 and sends the page again, and the fax arrives whole.
TEST(EfaxFaults, PageAnsweredWithRtnIsSentAgain) {
    QTemporaryDir work;
    TestDocument doc = makeDocument(work.path(), 2, 12);
    ASSERT_EQ(doc.pages.size(), 2);
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.extraArgs << "--fault" << "rtn-page=1";
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    LoggedProgram efax("efax", {"-v", "ewinchamr", "-d", sim.port(1), "-o2", "-h", "", "-t", "5550100", doc.pages[0], doc.pages[1]},
                       work.filePath("efax.log"));
    EXPECT_EQ(efax.wait(kTimeout), 0) << efax.log().toStdString();
    EXPECT_TRUE(sim.traceLog().contains("+FPTS:2")) << sim.traceLog().toStdString();
    QString received = sim.waitForEvent("RECEIVED", 10000);
    EXPECT_TRUE(received.contains("pages=2 status=0")) << received.toStdString();
    auto pages = readTiffPages(sim.receivedFiles().value(0));
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(comparePages(readTiffPages(doc.pages[0])[0], pages[0], kEfaxTopLines).toStdString(), "");
}

// The far end answers the first page with PIN: the Class 2.0 sender hears
// ERROR for that page, sends it again, and the fax arrives whole.
TEST(EfaxFaults, PageAnsweredWithPinIsSentAgain) {
    QTemporaryDir work;
    TestDocument doc = makeDocument(work.path(), 2, 12);
    ASSERT_EQ(doc.pages.size(), 2);
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.extraArgs << "--fault" << "pin-page=1";
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    LoggedProgram efax("efax", {"-v", "ewinchamr", "-d", sim.port(1), "-o0", "-h", "", "-t", "5550100", doc.pages[0],
                                doc.pages[1]},
                       work.filePath("efax.log"));
    EXPECT_EQ(efax.wait(kTimeout), 0) << efax.log().toStdString();
    QString trace = sim.traceLog();
    EXPECT_GE(trace.count("<- AT+FDT"), 3) << trace.toStdString();
    EXPECT_TRUE(trace.contains("-> <CR><LF>ERROR<CR><LF>")) << trace.toStdString();
    QString received = sim.waitForEvent("RECEIVED", 10000);
    EXPECT_TRUE(received.contains("pages=2 status=0")) << received.toStdString();
}

// The far end hangs up during page 2: the sender fails, and the terminal's
// file holds the first page.
TEST(EfaxFaults, FarEndHangsUpDuringPageTwo) {
    QTemporaryDir work;
    TestDocument doc = makeDocument(work.path(), 2, 12);
    ASSERT_EQ(doc.pages.size(), 2);
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.extraArgs << "--fault" << "hangup-page=2";
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    LoggedProgram efax("efax", {"-v", "ewinchamr", "-d", sim.port(1), "-o1", "-h", "", "-t", "5550100", doc.pages[0], doc.pages[1]},
                       work.filePath("efax.log"));
    EXPECT_NE(efax.wait(kTimeout), 0) << efax.log().toStdString();
    QString received = sim.waitForEvent("RECEIVED", 10000);
    EXPECT_TRUE(received.contains("pages=1")) << received.toStdString() << sim.traceLog().toStdString();
    EXPECT_EQ(readTiffPages(sim.receivedFiles().value(0)).size(), 1u);
}

// mgetty's sendfax, a second independent Class 2/2.0 client. It insists on
// a port under /dev, so the link goes there (skipped where /dev is not ours).
class SendfaxThroughModemsim : public ::testing::TestWithParam<EfaxClass> {};

TEST_P(SendfaxThroughModemsim, SendsTwoPagesToTheTerminal) {
    QString name = QString("ttyOrvSim%1%2").arg(QCoreApplication::applicationPid()).arg(GetParam().option);
    QString link = "/dev/" + name;
    if (::access("/dev", W_OK) != 0) GTEST_SKIP() << "/dev is not writable here";
    QTemporaryDir work;
    TestDocument doc = makeDocument(work.path(), 2, 12);
    ASSERT_EQ(doc.pages.size(), 2);
    QStringList g3;
    for (int i = 0; i < 2; ++i) {
        g3 << work.filePath(QString("page%1.g3").arg(i + 1));
        ASSERT_EQ(QProcess::execute("efix", {"-itiffg3", "-ofax", "-n", g3.last(), doc.pages[i]}), 0);
    }
    ModemSimRunner sim;
    ModemSimRunner::Config config;
    config.portPaths << link;
    QString err;
    ASSERT_TRUE(sim.start(config, &err)) << err.toStdString();
    LoggedProgram sendfax("sendfax", {"-v", "-x", "5", "-l", name, "-C", GetParam().option, "5550100", g3[0], g3[1]},
                          work.filePath("sendfax.log"));
    EXPECT_EQ(sendfax.wait(kTimeout), 0) << sendfax.log().toStdString() << sim.traceLog().toStdString();
    QString received = sim.waitForEvent("RECEIVED", 10000);
    ASSERT_TRUE(received.contains("pages=2 status=0")) << received.toStdString() << sim.traceLog().toStdString();
    auto pages = readTiffPages(sim.receivedFiles().value(0));
    ASSERT_EQ(pages.size(), 2u);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(comparePages(readTiffPages(doc.pages[i])[0], pages[static_cast<size_t>(i)]).toStdString(), "")
            << "page " << i + 1;
    EXPECT_TRUE(sim.traceLog().contains(std::string(GetParam().name) == "Class20" ? "<- AT+FCLASS=2.0\n" : "<- AT+FCLASS=2\n"))
        << sim.traceLog().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Classes, SendfaxThroughModemsim,
                         ::testing::Values(EfaxClass{"cls2", "Class2"}, EfaxClass{"c2.0", "Class20"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orv::test
