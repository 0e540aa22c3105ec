#include <gtest/gtest.h>

#include "shell/placement_geometry.h"

using namespace orv;

TEST(PlacementGeometry, SectionNamesCarryTheDpiAbove96) {
    EXPECT_EQ(PlacementSection("TMainScreen", 96), "TMainScreen_Placement");
    EXPECT_EQ(PlacementSection("TMainScreen", 72), "TMainScreen_Placement");
    EXPECT_EQ(PlacementSection("TMainScreen", 120), "TMainScreen_Placement120");
    EXPECT_EQ(PlacementSection("TFaxViewer", 144), "TFaxViewer_Placement144");
}

TEST(PlacementGeometry, RectanglesArePulledBackOntoTheScreenKeepingTheirSize) {
    // Inside: unchanged.
    EXPECT_EQ(PullBackOntoScreen({10, 20, 610, 420}, 1024, 768), (PlacementRect{10, 20, 610, 420}));
    // Right beyond the screen: moves left until the right edge meets the screen edge.
    EXPECT_EQ(PullBackOntoScreen({900, 20, 1500, 420}, 1024, 768), (PlacementRect{424, 20, 1024, 420}));
    // Bottom beyond the screen.
    EXPECT_EQ(PullBackOntoScreen({10, 700, 610, 1100}, 1024, 768), (PlacementRect{10, 368, 610, 768}));
    // Wider than the screen: keeps its width, so Left goes negative.
    EXPECT_EQ(PullBackOntoScreen({0, 0, 1300, 400}, 1024, 768), (PlacementRect{-276, 0, 1024, 400}));
    // Left of the screen is left alone.
    EXPECT_EQ(PullBackOntoScreen({-50, -10, 100, 100}, 1024, 768), (PlacementRect{-50, -10, 100, 100}));
}

TEST(PlacementGeometry, CentringTruncatesHalfDifferencesTowardZero) {
    EXPECT_EQ(CenterOver(100, 50, {0, 0, 1024, 768}), (Corner{462, 359}));
    EXPECT_EQ(CenterOver(101, 51, {0, 0, 1024, 768}), (Corner{461, 358}));
    // Larger than the area: negative half-differences truncate toward zero (-1.5 -> -1).
    EXPECT_EQ(CenterOver(103, 53, {10, 10, 110, 60}), (Corner{9, 9}));
}
