#include <gtest/gtest.h>

#include "config/text_trim.h"

using namespace orv;

TEST(TrimBlanks, RemovesOnlySpaces) {
    EXPECT_EQ(TrimLeading("  a b  "), "a b  ");
    EXPECT_EQ(TrimTrailing("  a b  "), "  a b");
    EXPECT_EQ(TrimBlanks("  a b  "), "a b");
    EXPECT_EQ(TrimBlanks("\t a \t"), "\t a \t");  // tabs are not blanks
    EXPECT_EQ(TrimBlanks("    "), "");
    EXPECT_EQ(TrimBlanks(""), "");
}
