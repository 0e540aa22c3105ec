#include <gtest/gtest.h>

#include "engine/port_types.h"
#include "engine/trace_log.h"
#include "support/temp_home.h"

using namespace orv;

namespace {
std::vector<std::pair<char, uint8_t>> entries(std::initializer_list<std::pair<char, QByteArray>> runs) {
    std::vector<std::pair<char, uint8_t>> out;
    for (const auto& [kind, bytes] : runs)
        for (char c : bytes) out.emplace_back(kind, uint8_t(c));
    return out;
}
}  // namespace

TEST(TraceText, HeadersItemsAndModes) {
    const auto e = entries({{'T', "AT\r"}, {'R', "\r\nOK\r\n"}, {'T', " "}});
    EXPECT_EQ(TraceBuffer::Render(e, true), QByteArray("Transmit: AT[0D]\n\nReceive: [0D][0A]OK[0D][0A]\n\nTransmit: [20]\n"));
    EXPECT_EQ(TraceBuffer::Render(e, false), QByteArray("Transmit: AT[13]\n\nReceive: [13][10]OK[13][10]\n\nTransmit:  \n"));
    EXPECT_EQ(TraceBuffer::Render(entries({{'X', "~\x7f"}}), true), QByteArray("Special-X: ~[7F]\n"));
    EXPECT_EQ(TraceBuffer::Render({}, true), QByteArray());
    // Decimal items are 3, 4 or 5 columns wide.
    EXPECT_EQ(RenderTraceByte(5, false), "[5]");
    EXPECT_EQ(RenderTraceByte(15, false), "[15]");
    EXPECT_EQ(RenderTraceByte(200, false), "[200]");
    EXPECT_EQ(RenderTraceByte(200, true), "[C8]");
    EXPECT_EQ(RenderTraceByte('!', true), "!");
}

TEST(TraceText, LinesBreakBeforeColumn78) {
    const QByteArray as(100, 'A');
    EXPECT_EQ(TraceBuffer::Render(entries({{'T', as}}), true),
              "Transmit: " + QByteArray(68, 'A') + "\n" + QByteArray(32, 'A') + "\n");
    // Hex items are never split: 17 fit after "Transmit: " (10 + 68 = 78).
    const QByteArray ctrl(20, '\x01');
    QByteArray first = "Transmit: ", second;
    for (int i = 0; i < 17; ++i) first += "[01]";
    for (int i = 0; i < 3; ++i) second += "[01]";
    EXPECT_EQ(TraceBuffer::Render(entries({{'T', ctrl}}), true), first + "\n" + second + "\n");
    // Decimal: "[200]" is five wide; 13 of them reach column 75, the 14th would pass 78.
    const QByteArray big(14, char(200));
    QByteArray line = "Receive: ";
    for (int i = 0; i < 13; ++i) line += "[200]";
    EXPECT_EQ(line.size(), 74);
    EXPECT_EQ(TraceBuffer::Render(entries({{'R', big}}), false), line + "\n[200]\n");
}

TEST(TraceBufferRing, KeepsTheNewestEntriesAndPauses) {
    TraceBuffer t(4);
    for (uint8_t b = 1; b <= 6; ++b) t.Add('R', b);
    auto e = t.Entries();
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e.front().second, 3);
    EXPECT_EQ(e.back().second, 6);
    t.SetRecording(false);
    t.Add('T', 9);
    EXPECT_EQ(t.Entries().back().second, 6);
    t.Clear();
    EXPECT_TRUE(t.Entries().empty());
}

TEST(DispatchLogText, ColumnsModemBitsAndWrapping) {
    std::deque<LogEntry> log;
    log.push_back({ltDispatch, lsReadCom, 5, 3, "AT\r"});
    log.push_back({ltDispatch, lsModemStatus, 70000, 0xB8, {}});
    log.push_back({ltError, lsNone, 12, 5, {}});
    log.push_back({ltTrigger, lsTimer, 123456789, 0x2A, {}});
    const QByteArray text = DispatchLog::Render(log, true);
    const QByteArray indent(40, ' ');
    EXPECT_EQ(text, QByteArray("Time      Type      SubType       Data  OtherData\n"
                               "----      ----      -------       ----  ---------\n"
                               "00000005  dispatch  readcom       0003  AT[0D]\n"
                               "00070000  dispatch  modem status  00B8  \n") +
                        indent + "DDCD CTS DSR DCD \n" +
                        "00000012  error                   0005  \n"
                        "123456789  trigger   timer         002A  \n");

    // Other data wraps at column 79 and goes on under column 41.
    std::deque<LogEntry> longer;
    longer.push_back({ltDispatch, lsWriteCom, 0, 50, QByteArray(50, '\x01')});
    const QList<QByteArray> lines = DispatchLog::Render(longer, true).split('\n');
    ASSERT_EQ(lines.size(), 2 + 6 + 1);  // headings, six lines of items, the final empty split
    EXPECT_EQ(lines[2].size(), 40 + 9 * 4);
    EXPECT_TRUE(lines[3].startsWith(indent + "[01]"));
    EXPECT_EQ(lines[7], indent + "[01][01][01][01][01]");
    const QList<QByteArray> dec = DispatchLog::Render(longer, false).split('\n');
    EXPECT_EQ(dec[2].size(), 79);  // thirteen "[1]" items
}

TEST(DispatchLogRing, DropsOldestEntriesAndRefusesOversizedOnes) {
    DispatchLog log(40);
    log.Add(ltThread, lsStart, 1, 0);
    log.Add(ltThread, lsSleep, 2, 0);
    log.Add(ltThread, lsWake, 3, 0);
    EXPECT_EQ(log.UsedBytes(), 36u);
    log.Add(ltThread, lsExit, 4, 0);
    EXPECT_EQ(log.Entries().front().time, 2u);
    const QByteArray twenty(20, 'x');
    log.Add(ltDispatch, lsReadCom, 5, 20, reinterpret_cast<const uint8_t*>(twenty.constData()), 20);
    ASSERT_EQ(log.Entries().size(), 1u);
    EXPECT_EQ(log.UsedBytes(), 32u);
    const QByteArray tooBig(29, 'y');  // 12 + 29 > 40
    log.Add(ltDispatch, lsReadCom, 6, 29, reinterpret_cast<const uint8_t*>(tooBig.constData()), 29);
    ASSERT_EQ(log.Entries().size(), 1u);
    EXPECT_EQ(log.Entries().front().time, 5u);
}

TEST(DiagnosticFile, CreatesAppendsAndReportsBadFolders) {
    orv::test::TempHome home;
    const QString path = home.file("T.TRC");
    EXPECT_EQ(WriteDiagnosticFile(path, "one\n", true), 0);  // append to a missing file creates it
    EXPECT_EQ(WriteDiagnosticFile(path, "two\n", true), 0);
    EXPECT_EQ(home.read("T.TRC"), "one\ntwo\n");
    EXPECT_EQ(WriteDiagnosticFile(path, "three\n", false), 0);
    EXPECT_EQ(home.read("T.TRC"), "three\n");
    EXPECT_EQ(WriteDiagnosticFile(home.file("missing/T.TRC"), "x", false), -3);
}
