// APF headers, the page chain, writing page by page and joining files.
#include "common/orv_error.h"
#include "images/apf_file.h"
#include "support/test_paths.h"
#include "page_helpers.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace orv {
namespace {

using test::Page;
using test::PageKind;

TEST(ApfFile, HeaderBytesStationIdAndDates) {
    ApfFileHeader h;
    h.stationId = "+49 30 1234";
    h.pageCount = 3;
    h.fileDate = PackDosDateTime(QDateTime(QDate(2024, 2, 29), QTime(13, 45, 31)));
    const QByteArray b = h.toBytes();
    ASSERT_EQ(b.size(), 64);
    EXPECT_EQ(b.left(6), QByteArray("APF10\x1A"));
    EXPECT_EQ(uint8_t(b[10]), 11);
    EXPECT_EQ(b.mid(11, 20), QByteArray("+49 30 1234         "));
    EXPECT_EQ(b[31], 0);
    EXPECT_EQ(uint8_t(b[32]), 3);
    EXPECT_EQ(uint8_t(b[34]), 64);
    EXPECT_EQ(b.mid(38), QByteArray(26, '\0'));
    // Date: seconds/2, minutes, hours; day, month, year - 1980.
    EXPECT_EQ(h.fileDate, (uint32_t(29 | 2 << 5 | 44 << 9) << 16) | uint32_t(15 | 45 << 5 | 13 << 11));
    EXPECT_EQ(UnpackDosDateTime(h.fileDate), QDateTime(QDate(2024, 2, 29), QTime(13, 45, 30)));
    EXPECT_EQ(PackDosDateTime(QDateTime(QDate(1979, 12, 31), QTime(0, 0))), 0u);
    EXPECT_EQ(PackDosDateTime(QDateTime(QDate(2100, 1, 1), QTime(0, 0))), 0u);
    EXPECT_FALSE(UnpackDosDateTime(0).isValid());

    // The receiver's form: length 20 with blanks, shown with its blanks.
    const QByteArray padded = h.toBytes(true);
    EXPECT_EQ(uint8_t(padded[10]), 20);
    ApfFileHeader back;
    ASSERT_TRUE(ApfFileHeader::fromBytes(padded, back));
    EXPECT_EQ(back.stationId, QByteArray("+49 30 1234         "));
    // Length 0 with 20 blanks is an empty identification; a length past 20 is cut.
    QByteArray odd = h.toBytes();
    odd[10] = 0;
    ASSERT_TRUE(ApfFileHeader::fromBytes(odd, back));
    EXPECT_TRUE(back.stationId.isEmpty());
    odd[10] = char(200);
    ASSERT_TRUE(ApfFileHeader::fromBytes(odd, back));
    EXPECT_EQ(back.stationId.size(), 20);
    odd[5] = 0;
    EXPECT_FALSE(ApfFileHeader::fromBytes(odd, back));
}

TEST(ApfFile, ReaderChecksSignaturePageNumbersAndChain) {
    QTemporaryDir dir;
    ApfReader r;
    EXPECT_EQ(r.open(QString()), ecFileNotFound);
    EXPECT_EQ(r.open(dir.filePath("missing.apf")), ecFileNotFound);
    EXPECT_EQ(r.open(dir.filePath("nodir/x.apf")), ecPathNotFound);

    const QString junk = dir.filePath("junk.apf");
    QFile f(junk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(100, 'x'));
    f.close();
    EXPECT_EQ(r.open(junk), ecFaxBadFormat);

    // PageCount 0 opens, but every page request is refused.
    const QString empty = dir.filePath("empty.apf");
    ApfWriter w;
    ASSERT_EQ(w.create(empty), 0);
    ASSERT_EQ(w.finish(), 0);
    ASSERT_EQ(r.open(empty), 0);
    EXPECT_EQ(r.pageCount(), 0);
    ApfPageHeader ph;
    EXPECT_EQ(r.seekPage(1, ph), ecFaxBadFormat);
    EXPECT_EQ(r.seekPage(0, ph), ecFaxBadFormat);

    // Mixed storage forms in one file, each page read by its own flags.
    const QString mixed = dir.filePath("mixed.apf");
    const Page p1 = test::makePage(PageKind::Text, 1728, 40, 1), p2 = test::makePage(PageKind::Noise, 1728, 30, 2);
    ASSERT_EQ(w.create(mixed, "ID"), 0);
    ASSERT_EQ(w.beginPage(pfLengthWords), 0);
    for (const auto& rec : test::encodePage(p1, 1728)) ASSERT_EQ(w.writeLineRecord(rec.data(), int(rec.size())), 0);
    ASSERT_EQ(w.endPage(), 0);
    ASSERT_EQ(w.beginPage(pfHighRes), 0);
    const auto stream = test::continuous(test::encodePage(p2, 1728));
    ASSERT_EQ(w.writeData(stream.data(), qint64(stream.size())), 0);
    ASSERT_EQ(w.endPage(), 0);
    ASSERT_EQ(w.finish(), 0);
    EXPECT_EQ(test::pageDiff(test::decodeFile(mixed, 1), p1), "");
    EXPECT_EQ(test::pageDiff(test::decodeFile(mixed, 2), p2), "");
    ASSERT_EQ(r.open(mixed), 0);
    EXPECT_EQ(r.header().stationId, QByteArray("ID"));
    ASSERT_EQ(r.seekPage(2, ph), 0);
    EXPECT_EQ(ph.pageFlags, pfHighRes);
    EXPECT_EQ(ph.imageLength, stream.size());
    EXPECT_EQ(r.seekPage(3, ph), ecFaxBadFormat);
    QByteArray data;
    ASSERT_EQ(r.readPage(2, ph, data), 0);
    EXPECT_EQ(data, QByteArray(reinterpret_cast<const char*>(stream.data()), qsizetype(stream.size())));
    r.close();

    // A chain that leaves the file (first page claims more bytes than exist).
    QByteArray bytes = test::readFile(mixed);
    bytes[64 + 2] = char(0x7F);
    QFile g(mixed);
    ASSERT_TRUE(g.open(QIODevice::WriteOnly));
    g.write(bytes);
    g.close();
    ASSERT_EQ(r.open(mixed), 0);
    EXPECT_EQ(r.seekPage(2, ph), ecFaxBadFormat);
    EXPECT_EQ(r.readPage(1, ph, data), ecFaxBadFormat);
}

TEST(ApfFile, WriterLeavesAValidFileAfterEveryPageAndDropsBadPages) {
    QTemporaryDir dir;
    const QString name = dir.filePath("rx.apf");
    const Page p = test::makePage(PageKind::Text, 1728, 20, 3);
    const auto recs = test::encodePage(p, 1728);
    ApfWriter w;
    ASSERT_EQ(w.create(name, "REMOTE", true), 0);
    ASSERT_EQ(w.beginPage(pfLengthWords), 0);
    for (const auto& rec : recs) ASSERT_EQ(w.writeLineRecord(rec.data(), int(rec.size())), 0);
    ASSERT_EQ(w.endPage(), 0);
    const qint64 onePage = QFileInfo(name).size();
    // A page in progress (as when a call breaks off) is not counted yet.
    ASSERT_EQ(w.beginPage(pfLengthWords), 0);
    ASSERT_EQ(w.writeLineRecord(recs[0].data(), int(recs[0].size())), 0);
    {
        ApfReader r;
        ASSERT_EQ(r.open(name), 0);
        EXPECT_EQ(r.pageCount(), 1);
        EXPECT_EQ(r.header().stationId, QByteArray("REMOTE              "));
        EXPECT_EQ(test::pageDiff(test::decodeFile(name, 1), p), "");
    }
    // Dropping cuts the file back to where the page began.
    ASSERT_EQ(w.dropPage(), 0);
    EXPECT_EQ(QFileInfo(name).size(), onePage);
    ASSERT_EQ(w.beginPage(pfLengthWords | pfHighRes), 0);
    for (const auto& rec : recs) ASSERT_EQ(w.writeLineRecord(rec.data(), int(rec.size())), 0);
    ASSERT_EQ(w.finish(), 0);  // finishes the open page
    ApfReader r;
    ASSERT_EQ(r.open(name), 0);
    EXPECT_EQ(r.pageCount(), 2);
    EXPECT_EQ(test::pageDiff(test::decodeFile(name, 2), p), "");
    EXPECT_EQ(QFileInfo(name).size(), 64 + 2 * (16 + 2 * qint64(recs.size()) + qint64(test::continuous(recs).size())));
    EXPECT_EQ(w.writeLineRecord(recs[0].data(), 4097), ecBadArgument);
}

TEST(ApfFile, JoiningAppendsPagesAndKeepsTheDestinationHeader) {
    QTemporaryDir dir;
    const QString a = dir.filePath("a.apf"), b = dir.filePath("b.apf");
    const Page p1 = test::makePage(PageKind::Text, 1728, 30, 1), p2 = test::makePage(PageKind::Noise, 1728, 10, 2),
               p3 = test::makePage(PageKind::Alternating, 1728, 12, 3);
    ASSERT_EQ(test::writeApf(a, {p1}, 1728, true), 0);
    ASSERT_EQ(test::writeApf(b, {p2, p3}, 1728, false, false), 0);
    const QByteArray headA = test::readFile(a).left(64);
    // Trailing bytes after dest's last page (a broken write) are overwritten.
    {
        QFile f(a);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(QByteArray(5000, '\x55'));
    }
    ASSERT_EQ(AppendApfFile(a, b), 0);
    ApfReader r;
    ASSERT_EQ(r.open(a), 0);
    EXPECT_EQ(r.pageCount(), 3);
    EXPECT_EQ(test::readFile(a).mid(0, 32), headA.mid(0, 32));
    EXPECT_EQ(test::pageDiff(test::decodeFile(a, 1), p1), "");
    EXPECT_EQ(test::pageDiff(test::decodeFile(a, 2), p2), "");
    EXPECT_EQ(test::pageDiff(test::decodeFile(a, 3), p3), "");
    r.close();

    // A file joined to itself doubles its pages instead of copying forever.
    ASSERT_EQ(AppendApfFile(b, b), 0);
    ASSERT_EQ(r.open(b), 0);
    EXPECT_EQ(r.pageCount(), 4);
    EXPECT_EQ(test::pageDiff(test::decodeFile(b, 4), p3), "");
    r.close();

    EXPECT_EQ(AppendApfFile(a, dir.filePath("none.apf")), ecFileNotFound);
    try {
        AppendFaxFile(dir.filePath("none.apf"), a);
        FAIL() << "no exception";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.errorCode(), 2);
    }
    QFile junk(dir.filePath("junk.apf"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(64, 'j'));
    junk.close();
    EXPECT_EQ(AppendApfFile(a, junk.fileName()), ecFaxBadFormat);
    EXPECT_EQ(AppendApfFile(junk.fileName(), a), ecFaxBadFormat);
    EXPECT_THROW(AppendFaxFile(a, junk.fileName()), EFaxBadFormat);
}

}  // namespace
}  // namespace orv
