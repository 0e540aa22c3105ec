// Class 2 session parameters from T.30 frames, as the +FDIS and +FDCS
// reports carry them.
#include <gtest/gtest.h>

#include "t30_params.h"

namespace orv::modemsim {
namespace {

TEST(T30Params, DecodesTheRemotesDisAndTheSessionDcs) {
    // spandsp's terminal: V.17, fine, 2-D, widths up to 303 mm, unlimited length, 0 ms.
    const uint8_t dis[] = {0xff, 0x13, 0x80, 0x00, 0xee, 0xfa, 0x80, 0x80, 0x91, 0x80, 0x80, 0x80, 0x18};
    EXPECT_EQ(decodeDis(dis, sizeof dis).text(), "1,5,2,2,1,0,0,0");
    // DCS at 14400 bit/s, fine, 1728 pixels, unlimited length, 0 ms.
    const uint8_t dcs[] = {0xff, 0x13, 0x83, 0x00, 0x62, 0x78};
    EXPECT_EQ(decodeDcs(dcs, sizeof dcs).text(), "1,5,0,2,0,0,0,0");
    // DCS at 9600 bit/s (V.29), normal, 2048 pixels, A4, 20 ms.
    const uint8_t dcs9600[] = {0xff, 0x13, 0x83, 0x00, 0x06, 0x01};
    EXPECT_EQ(decodeDcs(dcs9600, sizeof dcs9600).text(), "0,3,1,0,0,0,0,5");
    // V.17 12000 and V.27ter 4800; a short frame reads as zeros.
    const uint8_t dcs12000[] = {0xff, 0x13, 0x83, 0x00, 0x28, 0x10};
    EXPECT_EQ(decodeDcs(dcs12000, sizeof dcs12000).text(), "0,4,0,0,0,0,0,1");
    const uint8_t dcs4800[] = {0xff, 0x13, 0x83, 0x00, 0x08};
    EXPECT_EQ(decodeDcs(dcs4800, sizeof dcs4800).text(), "0,1,0,0,0,0,0,5");
}

TEST(T30Params, ParsesTheHostsCapabilitiesAndKeepsOldValuesOnError) {
    Class2Params p;
    ASSERT_TRUE(p.parse("0,3,0,2,0,0,0,0"));
    EXPECT_EQ(p.text(), "0,3,0,2,0,0,0,0");
    ASSERT_TRUE(p.parse("1,,1"));  // missing fields keep their value
    EXPECT_EQ(p.text(), "1,3,1,2,0,0,0,0");
    EXPECT_FALSE(p.parse("1,9,0,2,0,0,0,0"));  // no such bit rate
    EXPECT_FALSE(p.parse("1,a"));
    EXPECT_FALSE(p.parse("1,0001"));
    EXPECT_EQ(p.text(), "1,3,1,2,0,0,0,0");
}

TEST(T30Params, BitOrderAndRates) {
    EXPECT_EQ(reverseBits(0x01), 0x80);
    EXPECT_EQ(reverseBits(0xB2), 0x4D);
    EXPECT_EQ(reverseBits(reverseBits(0x5A)), 0x5A);
    EXPECT_EQ(bitRate(0), 2400);
    EXPECT_EQ(bitRate(5), 14400);
    EXPECT_EQ(hangupCode(T30_ERR_OK), 0);
    EXPECT_EQ(hangupCode(T30_ERR_T1_EXPIRED), 11);
}

}  // namespace
}  // namespace orv::modemsim
