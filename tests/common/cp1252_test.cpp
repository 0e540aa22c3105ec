#include <gtest/gtest.h>

#include "common/cp1252.h"

using namespace orv;

TEST(Cp1252, EveryByteSurvivesARoundTrip) {
    QByteArray all;
    for (int b = 0; b < 256; ++b) all.append(char(b));
    const QString text = fromCp1252(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(toCp1252(text), all);
}

TEST(Cp1252, MapsTheWindowsRangeAndReplacesTheRest) {
    EXPECT_EQ(fromCp1252(QByteArray("\x80\x93\x94\xE9", 4)), QString::fromUtf8("€“”é"));
    EXPECT_EQ(toCp1252(QString::fromUtf8("Ž™ü")), QByteArray("\x8E\x99\xFC", 3));
    // No Windows-1252 code: one '?' per character, also outside the BMP.
    EXPECT_EQ(toCp1252(QString::fromUtf8("a\u4E2Db\U0001F600c")), QByteArray("a?b?c"));
}

TEST(Cp1252, UpperCaseLetters) {
    EXPECT_EQ(upperCp1252('a'), 'A');
    EXPECT_EQ(upperCp1252('Z'), 'Z');
    EXPECT_EQ(upperCp1252(0xE9), 0xC9);  // é
    EXPECT_EQ(upperCp1252(0xF7), 0xF7);  // ÷ is no letter
    EXPECT_EQ(upperCp1252(0x9A), 0x8A);  // š
    EXPECT_EQ(upperCp1252(0xFF), 0x9F);  // ÿ
    EXPECT_EQ(upperCp1252(0xDF), 0xDF);  // ß has no single upper-case byte
    EXPECT_EQ(upperCp1252('1'), '1');
}
