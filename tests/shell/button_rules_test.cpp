#include <gtest/gtest.h>

#include "shell/button_rules.h"

using namespace orv;

TEST(MainButtonRules, EveryCombinationOfPageReceiveModeAndLists) {
    for (int page : {mpSent, mpReceived})
        for (bool receiving : {false, true})
            for (bool sentEmpty : {false, true})
                for (bool recEmpty : {false, true}) {
                    SCOPED_TRACE(testing::Message() << "page " << page << " receiving " << receiving << " sentEmpty "
                                                    << sentEmpty << " recEmpty " << recEmpty);
                    const MainButtonStates s = ComputeMainButtonStates(page, receiving, sentEmpty, recEmpty);
                    const bool sent = page == mpSent;
                    EXPECT_EQ(s.newFax, sent);
                    EXPECT_EQ(s.clone, sent && !sentEmpty);
                    EXPECT_EQ(s.send, sent && !receiving && !sentEmpty);
                    EXPECT_EQ(s.maintenance, !receiving);
                    EXPECT_EQ(s.editDelete, sent ? !sentEmpty : (!receiving && !recEmpty));
                    EXPECT_EQ(s.view, sent ? !sentEmpty : !recEmpty);
                    EXPECT_TRUE(s.receive);
                    EXPECT_EQ(s.sentGrid, !sentEmpty);
                    EXPECT_EQ(s.receivedGrid, !recEmpty);
                }
}

TEST(MainButtonRules, TheCasesUsersMeet) {
    // The Received page never offers New, Clone or Send, whatever the lists hold.
    MainButtonStates s = ComputeMainButtonStates(mpReceived, false, false, false);
    EXPECT_FALSE(s.newFax || s.clone || s.send);
    EXPECT_TRUE(s.editDelete && s.view);
    // While receiving, received faxes can be viewed but not edited or deleted.
    s = ComputeMainButtonStates(mpReceived, true, false, false);
    EXPECT_FALSE(s.editDelete);
    EXPECT_TRUE(s.view);
    EXPECT_FALSE(s.maintenance);
    // A sent fax can be edited while receiving, but not sent: the port is busy.
    s = ComputeMainButtonStates(mpSent, true, false, true);
    EXPECT_TRUE(s.editDelete && s.clone && s.view && s.newFax);
    EXPECT_FALSE(s.send);
    // An empty Sent list leaves only New and Receive.
    s = ComputeMainButtonStates(mpSent, false, true, false);
    EXPECT_TRUE(s.newFax && s.receive && s.maintenance);
    EXPECT_FALSE(s.clone || s.send || s.editDelete || s.view || s.sentGrid);
}
