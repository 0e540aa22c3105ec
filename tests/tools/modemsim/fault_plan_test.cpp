// Fault specs of modemsim: parsing, aiming at one modem, and consumption.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "fault_plan.h"

namespace orv::modemsim {
namespace {

TEST(FaultPlan, DialFaultsAreUsedUpInOrderPerModem) {
    FaultPlan plan;
    ASSERT_EQ(plan.add("busy=2"), "");
    ASSERT_EQ(plan.add("2:no-dialtone"), "");
    EXPECT_EQ(plan.takeDialFault(1), FaultKind::Busy);
    EXPECT_EQ(plan.takeDialFault(1), FaultKind::Busy);
    EXPECT_EQ(plan.takeDialFault(1), std::nullopt);
    // The two busy dials went to modem 1; modem 2's own fault has no count and never runs out.
    EXPECT_EQ(plan.takeDialFault(2), FaultKind::NoDialtone);
    EXPECT_EQ(plan.takeDialFault(2), FaultKind::NoDialtone);
}

TEST(FaultPlan, PageFaultsStrikeOnceOnTheirPage) {
    FaultPlan plan;
    ASSERT_EQ(plan.add("rtn-page=2"), "");
    EXPECT_EQ(plan.takePageFault(1, 1, true), std::nullopt);
    EXPECT_EQ(plan.takePageFault(1, 2, false), FaultKind::RtnPage);
    EXPECT_EQ(plan.takePageFault(1, 2, true), FaultKind::RtnPage);
    EXPECT_EQ(plan.takePageFault(1, 2, true), std::nullopt);
    // The far end's answers to training are faults of the whole call, per modem.
    ASSERT_EQ(plan.add("2:ftt"), "");
    ASSERT_EQ(plan.add("dcn-training"), "");
    ASSERT_EQ(plan.add("silent-after-page=1"), "");
    EXPECT_TRUE(plan.has(FaultKind::Ftt, 2));
    EXPECT_FALSE(plan.has(FaultKind::Ftt, 1));
    EXPECT_TRUE(plan.has(FaultKind::DcnTraining, 1));
    EXPECT_EQ(plan.takePageFault(1, 1, true), FaultKind::SilentAfterPage);
    EXPECT_EQ(plan.takePageFault(1, 1, true), std::nullopt);
}

TEST(FaultPlan, CommandFaultsMatchTextInTheCommandLine) {
    FaultPlan plan;
    ASSERT_EQ(plan.add("mute=+fdt"), "");
    ASSERT_EQ(plan.add("wrong=+FCLASS=?:0,1,2"), "");
    ASSERT_EQ(plan.add("1:slow=400:ATA"), "");
    ASSERT_EQ(plan.add("garbage=*"), "");
    EXPECT_TRUE(plan.mutes(1, "AT+FDT"));
    EXPECT_FALSE(plan.mutes(1, "AT+FDR"));
    EXPECT_EQ(plan.wrongReply(3, "AT+FCLASS=?").value_or(""), "0,1,2");
    EXPECT_EQ(plan.delayMs(1, "ATA"), 400);
    EXPECT_EQ(plan.delayMs(2, "ATA"), 0);
    EXPECT_TRUE(plan.garbles(2, "ATZ"));
    EXPECT_EQ(garbageBytes().find("OK"), std::string::npos);
    EXPECT_EQ(garbageBytes().find('\x11'), std::string::npos);
}

TEST(FaultPlan, RejectsBadSpecsAndReadsScripts) {
    FaultPlan plan;
    EXPECT_NE(plan.add("explode"), "");
    EXPECT_NE(plan.add("busy=0"), "");
    EXPECT_NE(plan.add("rtn-page"), "");
    EXPECT_NE(plan.add("x:busy"), "");
    EXPECT_NE(plan.add("wrong=ATI"), "");
    EXPECT_NE(plan.add("silence=1"), "");
    EXPECT_NE(plan.add("ftt=2"), "");
    EXPECT_NE(plan.add("silent-after-page=0"), "");
    EXPECT_TRUE(plan.faults().empty());

    QTemporaryDir dir;
    std::string path = dir.filePath("faults").toStdString();
    std::ofstream(path) << "# a script\nbusy=1   # first dial\n\n2:hangup-page=3\nunplug-after=30\n";
    ASSERT_EQ(plan.addFile(path), "");
    EXPECT_EQ(plan.faults().size(), 3u);
    EXPECT_EQ(plan.unplugAfterSeconds(1).value_or(-1), 30);
    EXPECT_EQ(plan.takePageFault(2, 3, true), FaultKind::HangupPage);
    std::ofstream(path) << "busy\nnonsense\n";
    std::string err = plan.addFile(path);
    EXPECT_NE(err.find(":2:"), std::string::npos) << err;
}

}  // namespace
}  // namespace orv::modemsim
