// The T.30 frame codec on its own: frames built and parsed, identities, DIS
// and DCS with T.30's rate bits, the training check, stepping down, and frames
// from a hostile far end.
#include <gtest/gtest.h>

#include "engine/fax_types.h"
#include "engine/t30_frames.h"

#include <QList>

namespace orv {
namespace {

QByteArray bytes(std::initializer_list<int> list) {
    QByteArray b;
    for (int v : list) b.append(char(v));
    return b;
}

// What the frame assembler makes of a byte stream: lines and frames in order.
struct Heard {
    QList<QByteArray> lines;
    QList<T30Frame> frames;
    int bad = 0;
};
Heard feed(FrameAssembler& a, const QByteArray& in) {
    LineAssembler lines;
    Heard h;
    for (char c : in) {
        switch (a.Feed(uint8_t(c), lines)) {
        case FrameAssembler::Event::Line: h.lines << lines.Line(); break;
        case FrameAssembler::Event::Frame: h.frames << a.Frame(); break;
        case FrameAssembler::Event::BadFrame: ++h.bad; break;
        case FrameAssembler::Event::None: break;
        }
    }
    return h;
}

TEST(T30Frames, BuildsFramesWithDleDoubledAndParsesThemBack) {
    EXPECT_EQ(BuildFrame(fcfDcn | kT30XBit, true), bytes({0xFF, 0x13, 0xFB, 0x10, 0x03}));
    EXPECT_EQ(BuildFrame(fcfCsi, false, bytes({0x41, 0x10})), bytes({0xFF, 0x03, 0x40, 0x41, 0x10, 0x10, 0x10, 0x03}));

    FrameAssembler a;
    a.Expect();
    // Noise before the address, CONNECT, the frame with a DLE in it, the FCS, OK.
    QByteArray frame = bytes({0xFF, 0x13, 0x80, 0x00, 0x10, 0x20});
    const uint16_t fcs = HdlcFcs(reinterpret_cast<const uint8_t*>(frame.constData()), frame.size());
    frame.append(char(fcs & 0xFF));
    frame.append(char(fcs >> 8));
    QByteArray stuffed;
    for (char c : frame) {
        stuffed.append(c);
        if (uint8_t(c) == 0x10) stuffed.append(c);
    }
    const Heard h = feed(a, "\r\nCONNECT\r\n" + stuffed + bytes({0x10, 0x03}) + "\r\nOK\r\n");
    ASSERT_EQ(h.frames.size(), 1);
    EXPECT_EQ(h.lines, (QList<QByteArray>{"CONNECT", "OK"}));
    EXPECT_TRUE(h.frames[0].final);
    EXPECT_EQ(h.frames[0].Fcf(), fcfDis);
    EXPECT_EQ(h.frames[0].info, bytes({0x00, 0x10, 0x20}));  // FCS dropped, DLE once
    EXPECT_FALSE(a.Expecting());

    // The X bit is ignored on reception; a control byte without 0x10 is not final.
    const auto dcs = ParseFrame(bytes({0x55, 0xFF, 0x03, 0x83, 0x00, 0x04, 0x70}));
    ASSERT_TRUE(dcs.has_value());
    EXPECT_FALSE(dcs->final);
    EXPECT_EQ(dcs->Fcf(), fcfDcs);
    EXPECT_EQ(FcfName(dcs->fcf), "DCS");
    EXPECT_EQ(FcfName(0x5A), "FCF 0x5a");
}

TEST(T30Frames, HostileFramesDecodeToNothingOrAreIgnored) {
    EXPECT_FALSE(ParseFrame(bytes({0xFF})).has_value());
    EXPECT_FALSE(ParseFrame(bytes({0xFF, 0x13})).has_value());
    EXPECT_FALSE(ParseFrame(bytes({0x13, 0x80, 0x00})).has_value());  // no address
    EXPECT_FALSE(ParseFrame(QByteArray(2000, char(0xFF))).has_value());
    // A DIS or DCS without its third byte says nothing.
    EXPECT_FALSE(DecodeDis(bytes({0x00, 0x2C})).has_value());
    EXPECT_FALSE(DecodeDcs(bytes({0x00})).has_value());
    EXPECT_FALSE(DecodeDcs(bytes({0x00, 0x10, 0x70})).has_value());  // a reserved rate code
    EXPECT_EQ(RemoteIdFromField({}), QByteArray());

    // 2,000 bytes of "frame": dropped whole, and the assembler is ready again.
    FrameAssembler a;
    a.Expect();
    Heard h = feed(a, bytes({0xFF, 0x13}) + QByteArray(2000, 'x') + bytes({0x10, 0x03}));
    EXPECT_EQ(h.bad, 1);
    EXPECT_TRUE(h.frames.isEmpty());
    // A one-byte frame is bad too; NO CARRIER instead of a frame ends the wait.
    a.Expect();
    h = feed(a, bytes({0xFF, 0x10, 0x03}));
    EXPECT_EQ(h.bad, 1);
    a.Expect();
    h = feed(a, "\r\nNO CARRIER\r\n");
    EXPECT_EQ(h.lines, QList<QByteArray>{"NO CARRIER"});
    EXPECT_FALSE(a.Expecting());
    // Not expecting a frame, 0xFF is just part of a line.
    h = feed(a, bytes({0xFF}) + "OK\r\n");
    EXPECT_EQ(h.lines.size(), 1);
    EXPECT_TRUE(h.frames.isEmpty());
}

TEST(T30Frames, IdentitiesAreReversedAndBlankFilled) {
    const QByteArray field = IdField("abc");
    EXPECT_EQ(field, QByteArray(17, ' ').prepend("CBA"));  // C, B, A then 17 blanks
    EXPECT_EQ(field.size(), 20);
    EXPECT_EQ(RemoteIdFromField(field), "ABC");
    EXPECT_EQ(RemoteIdFromField(IdField("A VERY LONG STATION NAME")), "A VERY LONG STATION");  // 20, trimmed
    // Only the first 20 bytes count; control bytes are dropped.
    EXPECT_EQ(RemoteIdFromField(QByteArray("  321 555\x01") + QByteArray(30, 'Z')), "ZZZZZZZZZZ555 123");
}

TEST(T30Frames, DisAndDcsUseTheRateBitsOfT30) {
    // DIS: V.27 ter 0x08, V.29 0x04, V.17 0x20 (with 0x0C).
    auto dis = DecodeDis(bytes({0x00, 0x6E, 0x79}));  // V.27 ter, V.29, V.17, fine; wide; 0 ms
    ASSERT_TRUE(dis.has_value());
    for (int i = 1; i <= 6; ++i) EXPECT_TRUE(dis->rates[size_t(i)]) << i;
    EXPECT_TRUE(dis->v17 && dis->fine && dis->wide);
    EXPECT_EQ(dis->scanTimeCode, 0);
    dis = DecodeDis(bytes({0x00, 0x0C, 0x00}));  // V.27 ter and V.29, 20 ms
    ASSERT_TRUE(dis.has_value());
    EXPECT_TRUE(dis->rates[4] && !dis->rates[5] && !dis->rates[6] && !dis->fine && !dis->wide);
    EXPECT_EQ(dis->scanTimeCode, 5);
    dis = DecodeDis(bytes({0x00, 0x00, 0x40}));  // fallback only, 40 ms
    EXPECT_TRUE(dis->rates[1] && !dis->rates[2]);
    EXPECT_EQ(dis->scanTimeCode, 7);

    // DCS of every rate, and back.
    const uint8_t expected[7] = {0, 0x00, 0x08, 0x0C, 0x04, 0x28, 0x20};
    for (int i = 1; i <= 6; ++i) {
        SCOPED_TRACE(i);
        T30Dcs d;
        d.rateIndex = i;
        d.v17 = i >= 5;
        d.fine = i % 2 == 0;
        d.wide = i == 3;
        d.scanTimeCode = 3;
        const QByteArray info = EncodeDcs(d);
        ASSERT_EQ(info.size(), 4);
        EXPECT_EQ(uint8_t(info[1]) & 0x3C, expected[i]);
        EXPECT_EQ((uint8_t(info[1]) & 0x40) != 0, d.fine);
        const auto back = DecodeDcs(info);
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(back->rateIndex, i);
        EXPECT_EQ(back->fine, d.fine);
        EXPECT_EQ(back->wide, d.wide);
        EXPECT_EQ(back->scanTimeCode, 3);
        EXPECT_EQ(SessionParamsOf(*back).bps, kRateBps[i]);
    }
    // 7200 and 9600 on V.17.
    EXPECT_EQ(DecodeDcs(bytes({0x00, 0x24, 0x70}))->rateIndex, 4);
    EXPECT_TRUE(DecodeDcs(bytes({0x00, 0x2C, 0x70}))->v17);

    // Our DIS names the families up to the best rate.
    EXPECT_EQ(uint8_t(EncodeDis(6)[1]), 0x42 | 0x2C);
    EXPECT_EQ(uint8_t(EncodeDis(4)[1]), 0x42 | 0x0C);
    EXPECT_EQ(uint8_t(EncodeDis(2)[1]), 0x42 | 0x08);
    EXPECT_EQ(uint8_t(EncodeDis(1)[1]), 0x42);
    EXPECT_EQ(DecodeDis(EncodeDis(6))->rates, (RateSet{false, true, true, true, true, true, true}));
}

TEST(T30Frames, RatesModulationsTrainingAndStepDown) {
    const RateSet modem = ParseModulationList("24,48,72,73,74,96,97,98,121,122,145,146");
    EXPECT_EQ(BestRate(modem), 6);
    const RateSet v29 = ParseModulationList("+FTM: 24,48,72,96");
    EXPECT_EQ(v29, (RateSet{false, true, true, true, true, false, false}));
    EXPECT_EQ(BestRate(ParseModulationList("OK")), 0);

    // A remote offering 14400 with DesiredBPS 9600 gives 9600 and "96".
    RateSet all{false, true, true, true, true, true, true};
    const int rate = ChooseRate(modem, all, 9600);
    EXPECT_EQ(rate, 4);
    EXPECT_EQ(ModulationOf(rate, false), "96");
    EXPECT_EQ(ModulationOf(6, true), "145");
    EXPECT_EQ(ModulationOf(6, true, true), "146");
    EXPECT_EQ(ModulationOf(5, true, true), "122");
    EXPECT_EQ(ModulationOf(3, true, true), "74");
    EXPECT_EQ(ModulationOf(1, false, true), "24");
    EXPECT_EQ(ChooseRate(v29, all, 14400), 4);
    EXPECT_EQ(RateIndexOf(14400), 6);
    EXPECT_EQ(RateIndexOf(9999), 4);
    EXPECT_EQ(RateIndexOf(100), 1);

    // An FTT at 9600 steps down to 7200; at 2400 there is nothing left.
    EXPECT_EQ(StepDown(4, modem, all), 3);
    EXPECT_EQ(StepDown(1, modem, all), 0);
    RateSet gap = all;
    gap[5] = false;
    EXPECT_EQ(StepDown(6, modem, gap), 4);

    // A TCF at 14400 is 2592 zeros, at 9600 1728, then DLE ETX.
    QByteArray tcf = TrainingCheck(14400);
    EXPECT_EQ(tcf.size(), 2592 + 2);
    EXPECT_EQ(tcf.right(2), bytes({0x10, 0x03}));
    EXPECT_EQ(tcf.count('\0'), 2592);
    EXPECT_EQ(TrainingCheck(9600).size(), 1728 + 2);

    // 1728 bytes with 100 non-zero (5 %) pass; with 200 (11 %) they fail.
    TrainingCounter good, bad;
    for (int i = 0; i < 1728; ++i) {
        good.Add(i < 100 ? 0x55 : 0);
        bad.Add(i < 200 ? 0x55 : 0);
    }
    EXPECT_TRUE(good.Good());
    EXPECT_FALSE(bad.Good());
    EXPECT_FALSE(TrainingCounter().Good());
}

}  // namespace
}  // namespace orv
