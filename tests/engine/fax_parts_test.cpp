// The pure parts of the fax engine: reading modem reports, init strings,
// status texts, header tags and text lines, and received-file names.
#include <gtest/gtest.h>

#include "common/orv_error.h"
#include "engine/fax_session.h"
#include "engine/modem_link.h"
#include "engine/fax_text_line.h"
#include "engine/modem_reports.h"
#include "engine/receive_names.h"
#include "engine/fax_test_support.h"
#include "images/fax_font.h"
#include "images/unpack_engine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

using namespace orv;

namespace {

QList<QByteArray> feed(LineAssembler& a, const QByteArray& bytes) {
    QList<QByteArray> lines;
    for (char c : bytes)
        if (a.Feed(uint8_t(c))) lines << a.Line();
    return lines;
}

void touch(const QString& path, const QByteArray& content = "x") {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

}  // namespace

TEST(ModemReports, LinesAreTrimmedEmptyOnesDroppedLongOnesCut) {
    LineAssembler a;
    EXPECT_EQ(feed(a, "\r\nOK\r\n\r\n\r\n  +FCON \r\nCONN"), (QList<QByteArray>{"OK", "+FCON"}));
    EXPECT_EQ(feed(a, "ECT\r\n"), QList<QByteArray>{"CONNECT"});
    // A line that never ends is kept to 128 bytes, not more.
    const QList<QByteArray> long1 = feed(a, QByteArray(5000, 'A') + "\r\n");
    ASSERT_EQ(long1.size(), 1);
    EXPECT_EQ(long1[0].size(), LineAssembler::kMaxLine);
    a.Clear();
    EXPECT_TRUE(a.Line().isEmpty());
}

TEST(ModemReports, ReportsAndResultsAreToldApart) {
    EXPECT_TRUE(IsReport("+FDIS:1,5,0", "+FDIS"));
    EXPECT_TRUE(IsReport("+FHNG: 50", "FHNG"));
    EXPECT_TRUE(IsReport("FHNG:0", "FHNG"));
    EXPECT_FALSE(IsReport("+FDCS:0", "+FDIS"));
    EXPECT_TRUE(IsResult("NO CARRIER", "RRIER"));
    EXPECT_TRUE(IsResult("OK", "OK"));
    // A remote whose identity reads like a result is still a report.
    EXPECT_FALSE(IsResult("+FCSI:\"TOKYO ERROR OFFICE\"", "OK"));
    EXPECT_FALSE(IsResult("+FCSI:\"TOKYO ERROR OFFICE\"", "ERROR"));
}

TEST(ModemReports, SessionParametersByFieldWithOrWithoutBlanks) {
    const SessionParams a = DecodeSessionParams("+FDCS:1,5,0,2,0,1,0,3");
    EXPECT_TRUE(a.fine);
    EXPECT_EQ(a.bps, 14400);
    EXPECT_FALSE(a.wide);
    EXPECT_TRUE(a.ecm);
    EXPECT_EQ(a.scanTimeCode, 3);
    EXPECT_EQ(a.minScanBytes, 10 * 14400 / 8000);
    const SessionParams b = DecodeSessionParams("+FDCS: 1, 5, 0, 2, 0, 1, 0, 3");
    EXPECT_EQ(b.bps, a.bps);
    EXPECT_EQ(b.minScanBytes, a.minScanBytes);
    EXPECT_TRUE(b.fine && b.ecm);
    // Short or broken reports give defaults and never read past their end.
    const SessionParams c = DecodeSessionParams("+FCS:1");
    EXPECT_TRUE(c.fine);
    EXPECT_EQ(c.bps, 9600);
    EXPECT_EQ(c.minScanBytes, 0);
    EXPECT_EQ(DecodeSessionParams("+FCS").bps, 9600);
    EXPECT_EQ(DecodeSessionParams("+FCS:9,x,,7,,,,9").scanTimeCode, 0);
    const RemoteCaps caps = DecodeRemoteCaps("+FIS: 1,5,1,2,0,0,0,0");
    EXPECT_TRUE(caps.fine);
    EXPECT_TRUE(caps.wide);
    EXPECT_FALSE(DecodeRemoteCaps("+FDIS:").fine);
    // The scan-line table: normal and fine columns.
    EXPECT_EQ(MinScanMs(2, false), 10);
    EXPECT_EQ(MinScanMs(2, true), 5);
    EXPECT_EQ(MinScanMs(7, true), 40);
    EXPECT_EQ(MinScanMs(8, false), 0);
    EXPECT_EQ(MinScanBytes(5, false, 9600), 24);
}

TEST(ModemReports, HangUpCodesIdentitiesAndValues) {
    EXPECT_EQ(HangupCodeOf("+FHNG: 50"), 50);
    EXPECT_EQ(HangupCodeOf("+FHS:00"), 0);
    EXPECT_EQ(HangupCodeOf("+FHS:52"), 52);
    EXPECT_EQ(HangupCodeOf("+FHNG"), 0);
    EXPECT_EQ(HangupCodeOf("+FHNG:"), 0);
    EXPECT_EQ(RemoteIdOf("+FCSI: \"  +1 555 0100 \""), "+1 555 0100");
    EXPECT_EQ(RemoteIdOf("+FTI:\"ACME SALES DEPARTMENT NORTH\""), "ACME SALES DEPARTMEN");
    EXPECT_EQ(RemoteIdOf("+FTSI:--"), "");
    EXPECT_EQ(RemoteIdOf("+FTSI"), "+FTSI");
    EXPECT_EQ(FirstValueChar("+FPTS: 1,2200"), '1');
    EXPECT_EQ(FirstValueChar("+FPTS:"), '\0');
    EXPECT_EQ(ReportValue("+FET=2"), "2");
    EXPECT_EQ(ReverseBits(0x10), 0x08);
    EXPECT_EQ(ReverseBits(0x41), 0x82);
}

TEST(ModemReports, ClassListsAndTheBestClass) {
    auto c = ParseClassList("0,1,2,2.0");
    EXPECT_TRUE(c.class1 && c.class2 && c.class2_0);
    c = ParseClassList("0,1,2.0");
    EXPECT_TRUE(c.class1 && c.class2_0);
    EXPECT_FALSE(c.class2);
    c = ParseClassList("0,1,2");
    EXPECT_TRUE(c.class1 && c.class2);
    EXPECT_FALSE(c.class2_0);
    c = ParseClassList("+FCLASS: 0,2");
    EXPECT_FALSE(c.class1);
    EXPECT_TRUE(c.class2);
    EXPECT_FALSE(ParseClassList("AT+FCLASS=?").any());  // an echo names nothing
}

TEST(FaxSessionSettings, InitStringsStatusTextsAndVocabularies) {
    EXPECT_EQ(SelectInitString(false, true), "ATE0Q0V1X4S0=0S2=43");
    EXPECT_EQ(SelectInitString(true, true), "ATE0Q0V1X3S0=0S2=43");
    EXPECT_EQ(SelectInitString(false, false), "ATE0Q0V1X2S0=0S2=43");
    EXPECT_EQ(SelectInitString(true, false), "ATE0Q0V1X1S0=0S2=43");
    FaxSession s;
    s.SetModemInit("e0v1");
    EXPECT_EQ(s.modemInit, "ATE0V1");
    s.SetModemInit("AT&F");
    EXPECT_EQ(s.modemInit, "AT&F");
    s.SetModemInit("");
    EXPECT_TRUE(s.modemInit.isEmpty());
    EXPECT_EQ(s.defaultInit, "ATE0Q0V1X4S0=0S2=43");
    EXPECT_EQ(s.replyTimeout, 182);
    EXPECT_EQ(s.pageDataTimeout, 1092);

    EXPECT_EQ(FaxStatusText(fsInitializing), "Initializing modem for fax processing");
    EXPECT_EQ(FaxStatusText(fsBusyWaiting), "Busy, waiting until redial...");
    EXPECT_EQ(FaxStatusText(fsGotHangupCode), "Got Class 2 FHNG code");
    EXPECT_EQ(FaxStatusText(fsFinished), "Finished");
    EXPECT_TRUE(FaxStatusText(8).isEmpty());
    EXPECT_TRUE(FaxStatusText(44).isEmpty());
    EXPECT_EQ(ErrorMessage(ecFaxNoCarrier), "Failed to connect to remote fax");

    const Class2Vocabulary v2 = Class2Vocabulary::For(fcClass2), v20 = Class2Vocabulary::For(fcClass2_0);
    EXPECT_EQ(v2.selectClass, "AT+FCLASS=2");
    EXPECT_EQ(v20.selectClass, "AT+FCLASS=2.0");
    EXPECT_EQ(v2.identity[0], "AT+FMDL?");
    EXPECT_EQ(v20.identity[0], "AT+FMI?");
    EXPECT_EQ(v2.pageStatus, "+FPTS");
    EXPECT_EQ(v20.hangup, "FHS");
    EXPECT_EQ(Class2RateCode(14400), '5');
    EXPECT_EQ(Class2RateCode(2400), '0');
    EXPECT_EQ(Class2RateCode(33600), '3');
    EXPECT_EQ(BpsOfRateCode('4'), 12000);
}

TEST(FaxTextLine, TagsAreExpandedToTheNextBlank) {
    HeaderTagValues v;
    v.sender = "ACME";
    v.recipient = "Bob";
    v.title = "Offer";
    v.stationId = "+1 555";
    v.date = "1/2/03";
    v.time = "4:05:06";
    v.totalPages = 2;
    v.pageNumber = 1;
    EXPECT_EQ(ExpandHeaderTags("$F page $P of $N", v), "ACME page 1 of 2");
    EXPECT_EQ(ExpandHeaderTags("$P/$N", v), "1");
    EXPECT_EQ(ExpandHeaderTags("to $r: $s ($i) $d $t", v), "to Bob Offer (+1 555 1/2/03 4:05:06");
    EXPECT_EQ(ExpandHeaderTags("cost $5 $x $", v), "cost   ");
}

TEST(FaxTextLine, RowsDecodeToTheFontsGlyphs) {
    // "AB" in the small font, standard resolution: 8 coded lines, each the
    // glyph rows placed after the left margin.
    const QByteArray coded = EncodeTextRows("AB\x10", true, false, 1728, 0);
    const QByteArray font = LoadFaxFont();
    ASSERT_FALSE(font.isEmpty());
    FaxUnpackEngine e;
    e.setAspectCorrection(false);
    std::vector<std::vector<uint8_t>> rows;
    const QByteArray plain = orv::test::undoubleDle(coded);
    e.decodeDataLines(reinterpret_cast<const uint8_t*>(plain.constData()), size_t(plain.size()), 0, false,
                      [&](const uint8_t* d, int len) { rows.emplace_back(d, d + len); });
    ASSERT_EQ(rows.size(), size_t(kSmallGlyphRows));
    for (int r = 0; r < kSmallGlyphRows; ++r) {
        for (int i = 0; i < 3; ++i) {
            const uchar ch = uchar(QByteArray("AB\x10")[i]);
            const uint32_t glyph = FaxGlyphRow(font, true, ch, r);
            for (int x = 0; x < kSmallCellWidth; ++x) {
                const int px = kTextLeftMargin + i * kSmallCellWidth + x;
                const bool black = px / 8 < int(rows[r].size()) && (rows[r][px / 8] >> (7 - px % 8)) & 1;
                EXPECT_EQ(black, bool((glyph >> (23 - x)) & 1)) << "row " << r << " char " << i << " x " << x;
            }
        }
    }
    // At fine resolution every glyph row is doubled; short rows are padded.
    qint64 counted = 0;
    const QByteArray fine = EncodeTextRows("AB", true, true, 1728, 300, &counted);
    EXPECT_EQ(counted, 16 * 300);
    EXPECT_GE(fine.size(), 16 * 300);
    // DLE bytes of the coded data go out doubled.
    EXPECT_EQ(orv::test::undoubleDle(coded).size() + coded.count(QByteArray("\x10\x10", 2)), coded.size());
    EXPECT_EQ(EncodeEndOfPage(0).size() >= 12, true);
}

TEST(ReceiveNames, NumbersNeverReplaceAFile) {
    QTemporaryDir dir;
    const QString d = dir.path();
    EXPECT_EQ(NextReceiveFileName(d, 1, "APF"), d + "/FAX0001.APF");
    touch(d + "/FAX0001.APF");
    EXPECT_EQ(NextReceiveFileName(d + "/", 1, "APF"), d + "/FAX0002.APF");
    EXPECT_EQ(NextReceiveFileName(d, 2, "APF", QDate(2024, 3, 7)), d + "/03070001.APF");
    EXPECT_EQ(NextReceiveFileName(d, 0, "APF"), d + "/noname.apf");
    EXPECT_EQ(JoinFolder("", "FAX0001.APF"), "FAX0001.APF");

    // All 9999 numbers taken: the fallback name, and then its free variants.
    for (int n = 2; n <= 9999; ++n) touch(d + QStringLiteral("/FAX%1.APF").arg(n, 4, 10, QChar('0')));
    QString name = NextReceiveFileName(d, 1, "APF");
    EXPECT_EQ(name, d + "/NONAME.APF");
    ASSERT_EQ(ClaimNewFile(name), 0);
    EXPECT_EQ(name, d + "/NONAME.APF");
    QString again = NextReceiveFileName(d, 1, "APF");
    ASSERT_EQ(ClaimNewFile(again), 0);
    EXPECT_EQ(again, d + "/NONAME-1.APF");
    QString taken = d + "/FAX0005.APF";
    ASSERT_EQ(ClaimNewFile(taken), 0);
    EXPECT_EQ(taken, d + "/FAX0005-1.APF");
    QFile kept(d + "/FAX0005.APF");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "x");
    QString nowhere = d + "/no/such/folder/FAX0001.APF";
    EXPECT_LT(ClaimNewFile(nowhere), 0);
}

TEST(ModemLink, SynchronousCommandsSkipEchoesAndTellOkFromErrorAndSilence) {
    orv::test::MachinePort port;
    FaxSession s;
    port.prepare(s);
    s.replyTimeout = 5;
    // An echo that itself says "ERROR" (or "OK") is only the echo.
    port.modem.expect("AT+FLID=\"NO ERROR\"", "AT+FLID=\"NO ERROR\"\r\r\nOK\r\n")
        .expect("AT+FCLASS=?", "AT+FCLASS=?\r\r\n+FCLASS: (0,1,2,2.0)\r\n\r\nOK\r\n")
        .expect("AT+FDIS=?", "\r\nERROR\r\n")
        .gate(1);
    port.modem.start();
    EXPECT_EQ(SyncCommand(s, "AT+FLID=\"NO ERROR\""), ecOK);
    const FaxClassSupport c = QueryFaxClasses(s, false);
    EXPECT_TRUE(c.class1 && c.class2 && c.class2_0);
    EXPECT_EQ(SyncCommand(s, "AT+FDIS=?"), ecFaxBadModemResult);
    std::atomic<bool> done{false};
    std::thread clock([&] {
        while (!done) {
            port.clock->AdvanceTicks(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    EXPECT_EQ(SyncCommand(s, "AT"), ecTimeout);  // the modem says nothing
    done = true;
    clock.join();
    port.modem.release(1);
    EXPECT_EQ(port.modem.mismatch(), "");
}
