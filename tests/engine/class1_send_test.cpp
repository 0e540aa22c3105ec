// The Class 1 send machine against a scripted modem: the T.30 exchange as the
// host sees it (commands, frames, the training check), the failures of
// phase B: a DCN in answer to the training, and an FTT at 2400 bit/s, and a
// command the modem swallowed.
#include <gtest/gtest.h>

#include "common/orv_error.h"
#include "engine/fax_sender.h"
#include "engine/fax_test_support.h"
#include "engine/t30_frames.h"

#include <QTemporaryDir>

using namespace orv;
using namespace orv::test;

namespace {

const QByteArray kOk = "\r\nOK\r\n";
const QByteArray kConnect = "\r\nCONNECT\r\n";

// A frame as the modem hands it over: CONNECT, the frame, OK.
QByteArray heard(uint8_t fcf, bool final, const QByteArray& info = {}) {
    return kConnect + BuildFrame(fcf, final, info) + kOk;
}

struct Class1Case {
    MachinePort port;
    FaxSendSession s;
    RecordingEvents events;
    std::unique_ptr<FaxSender> sender;
    ScriptedModem& modem = port.modem;
    QTemporaryDir dir;

    // tsiCommandLost: the modem answers the first AT+FTH=3 with a bare OK, as
    // one still delivering a reception does (the command's first character
    // ends the reception, the rest is dropped).
    explicit Class1Case(int desiredBps, bool tsiCommandLost = false) {
        port.prepare(s);
        s.faxClass = fcClass1;
        s.desiredBps = desiredBps;
        s.stationId = "abc";
        expectInit(modem);
        modem.expect("AT+FCLASS=1").expect("AT+FTM=?", "\r\n24,48,72,73,74,96,97,98,121,122,145,146\r\n" + kOk);
        events.queue << RecordingEvents::Fax{"9", makeApf(dir.path() + "/doc.apf", 1, 10, false), {}};
        // Set-up, the dial, the remote's CSI and DIS (V.17, fine), our TSI and DCS.
        modem.expect("AT+FCLASS=1")
            .expect("ATDT9", heard(fcfCsi, false, IdField("remote")))
            .expect("AT+FRH=3", heard(fcfDis, true, QByteArray::fromHex("006ef900")));
        if (tsiCommandLost) modem.expect("AT+FTH=3", kOk);
        modem.expect("AT+FTH=3", kConnect).data(kConnect).data(kOk);
    }
    bool start() {
        modem.start();
        sender = std::make_unique<FaxSender>(s, events);
        const int rc = sender->Start();
        events.port = port.handle;
        return rc == 0;
    }
};

TEST(Class1Sender, DcnInAnswerToTheTrainingCancels) {
    Class1Case c(9600);
    c.modem.expect("AT+FTM=96", kConnect).data(kOk).expect("AT+FRH=3", heard(fcfDcn, true));
    ASSERT_TRUE(c.start());
    ASSERT_TRUE(c.events.waitFinish());
    EXPECT_EQ(c.events.finishCode(), ecCancelRequested) << c.modem.mismatch().toStdString();
    EXPECT_EQ(c.modem.mismatch(), "");
    EXPECT_EQ(c.events.lastProgress().remoteId, "REMOTE");
    EXPECT_EQ(c.events.logs(), (QList<int>{logSendBegin, logSendFail}));
    // What went out: TSI "abc" reversed behind 17 blanks, DCS at 9600 (V.29), 1728 zeros.
    const QList<QByteArray> sent = c.modem.pages();
    ASSERT_GE(sent.size(), 3);
    EXPECT_EQ(sent[0], QByteArray::fromHex("ff0343") + "CBA" + QByteArray(17, ' '));
    EXPECT_EQ(sent[1].left(3), QByteArray::fromHex("ff1383"));
    EXPECT_EQ(uint8_t(sent[1][4]) & 0x3C, 0x04);
    EXPECT_EQ(sent[2], QByteArray(1728, '\0'));
}

TEST(Class1Sender, ACommandTheModemTookForTheEndOfAReceptionGoesAgain) {
    Class1Case c(9600, true);
    c.modem.expect("AT+FTM=96", kConnect).data(kOk).expect("AT+FRH=3", heard(fcfDcn, true));
    ASSERT_TRUE(c.start());
    ASSERT_TRUE(c.events.waitFinish());
    // The session went on past the lost command, to the remote's DCN.
    EXPECT_EQ(c.events.finishCode(), ecCancelRequested) << c.modem.mismatch().toStdString();
    EXPECT_EQ(c.modem.mismatch(), "");
    const QList<QByteArray> sent = c.modem.pages();
    ASSERT_GE(sent.size(), 2);
    EXPECT_EQ(sent[0], QByteArray::fromHex("ff0343") + "CBA" + QByteArray(17, ' '));
}

TEST(Class1Sender, FttAt2400FailsTraining) {
    Class1Case c(2400);
    c.modem.expect("AT+FTM=24", kConnect).data(kOk).expect("AT+FRH=3", heard(fcfFtt, true));
    ASSERT_TRUE(c.start());
    ASSERT_TRUE(c.events.waitFinish());
    EXPECT_EQ(c.events.finishCode(), ecFaxTrainError) << c.modem.mismatch().toStdString();
    EXPECT_EQ(c.modem.mismatch(), "");
    const QList<QByteArray> sent = c.modem.pages();
    ASSERT_GE(sent.size(), 3);
    EXPECT_EQ(uint8_t(sent[1][4]) & 0x3C, 0x00);  // DCS at 2400
    EXPECT_EQ(sent[2].size(), 432);               // 1.5 s of zeros at 2400
}

}  // namespace
