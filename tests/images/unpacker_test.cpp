// TOrvFaxUnpacker and its engine: the output stage (whitespace, aspect,
// scaling, cropping), pages that end badly, and corrupt data.
#include "common/orv_error.h"
#include "images/fax_unpacker.h"
#include "page_helpers.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace orv {
namespace {

using test::Line;
using test::Page;
using test::PageKind;

// A page of `blank` runs: a black line, then runs of blank lines of the given lengths,
// each followed by a black line except the last run.
Page blankRuns(const std::vector<int>& runs) {
    Page p;
    Line black(216, 0);
    black[10] = 0xFF;
    p.push_back(black);
    for (size_t i = 0; i < runs.size(); ++i) {
        for (int k = 0; k < runs[i]; ++k) p.emplace_back(216, 0);
        if (i + 1 < runs.size()) p.push_back(black);
    }
    return p;
}

TEST(FaxUnpacker, WhitespaceCompressionRules) {
    QTemporaryDir dir;
    const QString f = dir.filePath("ws.apf");
    ASSERT_EQ(test::writeApf(f, {blankRuns({30, 5, 30})}, 1728, true), 0);
    TOrvFaxUnpacker u;
    u.setInFileName(f);
    EXPECT_EQ(u.outFileName(), dir.filePath("ws"));
    u.setWhitespaceCompression(true);
    u.setWhitespaceFrom(10);
    u.setWhitespaceTo(2);
    // 1 + 2 + 1 + 5 + 1 + 2 (the trailing 30 becomes 2 as well)
    EXPECT_EQ(u.DecodePageToBitmap(1).height(), 12);
    u.setWhitespaceFrom(5);
    u.setWhitespaceTo(5);
    // Runs of 30 become 5, the run of 5 stays, the trailing run disappears.
    EXPECT_EQ(u.DecodePageToBitmap(1).height(), 1 + 5 + 1 + 5 + 1);
    u.setWhitespaceFrom(2);
    u.setWhitespaceTo(3);
    EXPECT_THROW(u.DecodePageToBitmap(1), EBadArgument);
    u.setWhitespaceFrom(0);
    u.setWhitespaceTo(1);
    EXPECT_THROW(u.DecodePageToBitmap(1), EBadArgument);
    u.setWhitespaceCompression(false);
    EXPECT_EQ(u.DecodePageToBitmap(1).height(), 68);
}

TEST(FaxUnpacker, AspectCorrectionScalingAndCropping) {
    QTemporaryDir dir;
    const QString f = dir.filePath("a.apf");
    Page p(10, Line(216, 0));
    for (auto& l : p) l[0] = 0x40;  // pixel 1: a one-pixel stroke on an odd column
    p[3][99] = 0x01;                // content up to byte 99
    ASSERT_EQ(test::writeApf(f, {p}, 1728, false), 0);
    ASSERT_EQ(test::writeApf(dir.filePath("fine.apf"), {p}, 1728, true), 0);
    TOrvFaxUnpacker u;
    u.setInFileName(f);
    EXPECT_EQ(u.GetPageCount(), 1);
    EXPECT_FALSE(u.GetFirstPageHighRes());
    EXPECT_FALSE(u.GetFirstPageWide());
    // Double height: twice the rows; cropped to 100 bytes (even).
    QImage img = u.DecodePageToBitmap(1);
    EXPECT_EQ(img.height(), 20);
    EXPECT_EQ(img.width(), 800);
    EXPECT_EQ(img.format(), QImage::Format_Mono);
    EXPECT_EQ(img.pixel(1, 0), qRgb(0, 0, 0));
    EXPECT_EQ(img.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(img.bits()[0] & 0x40, 0);  // inverted: black is a 0 bit
    // Half width (asNone alike): rows halved, the odd-column stroke survives.
    for (TAutoScaleMode m : {asHalfWidth, asNone}) {
        u.setAutoScaleMode(m);
        img = u.DecodePageToBitmap(1);
        EXPECT_EQ(img.height(), 10);
        EXPECT_EQ(img.width(), 400);
        EXPECT_EQ(img.pixel(0, 5), qRgb(0, 0, 0));
        EXPECT_EQ(img.pixel(399, 3), qRgb(0, 0, 0));
    }
    // Scaling, with a 0 factor ignored.
    u.setScaling(true);
    u.setHorizMult(0);
    EXPECT_EQ(u.horizMult(), 1);
    u.setHorizMult(3);
    u.setHorizDiv(2);
    u.setVertMult(1);
    u.setVertDiv(2);
    img = u.DecodePageToBitmap(1);
    EXPECT_EQ(img.width(), 600);
    EXPECT_EQ(img.height(), 5);
    EXPECT_EQ(img.pixel(0, 1), qRgb(0, 0, 0));
    // A fine page is delivered as coded.
    TOrvFaxUnpacker fine;
    fine.setInFileName(dir.filePath("fine.apf"));
    EXPECT_TRUE(fine.GetFirstPageHighRes());
    EXPECT_EQ(fine.DecodePageToBitmap(1).height(), 10);
    // Page number beyond the count, missing file.
    EXPECT_THROW(fine.DecodePageToBitmap(2), EFaxBadFormat);
    fine.setInFileName(dir.filePath("none.apf"));
    EXPECT_EQ(fine.GetPageCount(), 0);
    EXPECT_THROW(fine.DecodePageToBitmap(1), EInOutError);
    fine.setInFileName(QString());
    EXPECT_THROW(fine.DecodePageToBitmap(1), EInOutError);
}

TEST(FaxUnpacker, StatusAndAbort) {
    QTemporaryDir dir;
    const QString f = dir.filePath("s.apf");
    ASSERT_EQ(test::writeApf(f, {test::makePage(PageKind::Text, 1728, 200, 1)}, 1728, true), 0);
    TOrvFaxUnpacker u;
    u.setInFileName(f);
    qint64 last = -1, total = 0;
    int reports = 0;
    u.OnStatus = [&](TOrvCustomFaxUnpacker* s, const QString& name, int page, qint64 done, qint64 all) {
        EXPECT_EQ(name, f);
        EXPECT_EQ(page, 1);
        EXPECT_GE(done, last);
        EXPECT_LE(done, all);
        last = done;
        total = all;
        if (++reports == 2000) s->setOptions(s->options() | uoAbort);
    };
    const QImage img = u.DecodePageToBitmap(1);
    EXPECT_EQ(reports, 2000);
    EXPECT_GT(img.height(), 0);
    EXPECT_LT(img.height(), 200);
    u.OnStatus = [&](TOrvCustomFaxUnpacker*, const QString&, int, qint64 done, qint64 all) { last = done, total = all; };
    EXPECT_EQ(u.DecodePageToBitmap(1).height(), 200);
    // The page ends at its third EOL, inside the end-of-page record.
    EXPECT_LE(last, total);
    EXPECT_GT(last, total - 14);
}

TEST(FaxDecoder, PagesThatEndBadlyOrCarryJunk) {
    QTemporaryDir dir;
    const Page p1 = test::makePage(PageKind::Text, 1728, 30, 1), p2 = test::makePage(PageKind::Noise, 1728, 20, 2);
    for (bool recordsForm : {true, false}) {
        // Pages without their end-of-page code: page 1 must not run into page 2.
        const QString f = dir.filePath(recordsForm ? "r.apf" : "c.apf");
        ApfWriter w;
        ASSERT_EQ(w.create(f), 0);
        for (const Page* p : {&p1, &p2}) {
            ASSERT_EQ(w.beginPage(recordsForm ? pfLengthWords : 0), 0);
            auto recs = test::encodePage(*p, 1728);
            recs.pop_back();  // no end-of-page record
            for (const auto& r : recs)
                ASSERT_EQ(recordsForm ? w.writeLineRecord(r.data(), int(r.size())) : w.writeData(r.data(), qint64(r.size())), 0);
            ASSERT_EQ(w.endPage(), 0);
        }
        ASSERT_EQ(w.finish(), 0);
        EXPECT_EQ(test::pageDiff(test::decodeFile(f, 1), p1), "") << recordsForm;
        EXPECT_EQ(test::pageDiff(test::decodeFile(f, 2), p2), "") << recordsForm;

        // A file cut short of page 2's ImageLength: -8001, page 1 still fine.
        QFile file(f);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.resize(file.size() - 100);
        file.close();
        int rc = 0;
        test::decodeFile(f, 2, &rc);
        EXPECT_EQ(rc, ecFaxBadFormat);
        EXPECT_EQ(test::pageDiff(test::decodeFile(f, 1), p1), "");
    }

    // Record lengths beyond 4096 and beyond the page: the rest is skipped and
    // nothing is read past ImageLength.
    std::vector<uint8_t> data;
    auto recs = test::encodePage(p1, 1728);
    for (const auto& r : recs) {
        data.push_back(uint8_t(r.size()));
        data.push_back(uint8_t(r.size() >> 8));
        data.insert(data.end(), r.begin(), r.end());
    }
    std::vector<uint8_t> junk = {0xFF, 0xFF};
    junk.insert(junk.end(), 5000, 0xA5);
    std::vector<uint8_t> withJunk(junk);
    withJunk.insert(withJunk.end(), data.begin(), data.end());
    EXPECT_TRUE(test::decodeData(withJunk, pfLengthWords | pfHighRes).size() <= p1.size());
    std::vector<uint8_t> odd(data.begin(), data.end() - 20);
    odd.push_back(0x30);  // a length word cut in half
    // The last line lost its end; the lines before it are all there.
    EXPECT_EQ(test::pageDiff(test::decodeData(odd, pfLengthWords | pfHighRes), Page(p1.begin(), p1.end() - 1)), "");

    // Lines of 1727 pixels are dropped: no lines, a null image; invalid codes are counted.
    std::vector<uint8_t> raster(4096 + 8, 0);
    raster[0] = 0x80;
    std::vector<uint8_t> out(4096);
    MhEncoder enc;
    std::vector<uint8_t> stream;
    for (int i = 0; i < 5; ++i) {
        const int n = enc.encodeLine(raster.data(), 1727, 0, false, out.data());
        stream.insert(stream.end(), out.begin(), out.begin() + n);
    }
    FaxUnpackEngine e;
    QImage img;
    EXPECT_EQ(e.decodeData(stream.data(), stream.size(), pfHighRes, true, img), 0);
    EXPECT_TRUE(img.isNull());
    EXPECT_EQ(e.linesOutput(), 0);
    std::vector<uint8_t> garbage(300, 0xFF);
    EXPECT_EQ(e.decodeData(garbage.data(), garbage.size(), pfHighRes, true, img), 0);
    EXPECT_TRUE(img.isNull());
    std::vector<uint8_t> mixed = test::continuous(test::encodePage(p2, 1728));
    const uint8_t badCodes[] = {0x00, 0xFF, 0x00, 0xFF};  // eight 0 bits then a 1: no code
    mixed.insert(mixed.begin() + 2, std::begin(badCodes), std::end(badCodes));  // right after the first EOL
    EXPECT_EQ(e.decodeData(mixed.data(), mixed.size(), pfHighRes, false, img), 0);
    EXPECT_GT(e.codesRejected(), 0);
    EXPECT_GE(e.linesOutput(), 15);
    // A 2048-pixel line on a 1728-pixel page keeps its row width.
    const auto wide = test::continuous(test::encodePage(test::makePage(PageKind::Black, 2048, 3, 1), 2048));
    EXPECT_EQ(e.decodeData(wide.data(), wide.size(), pfHighRes, false, img), 0);
    EXPECT_EQ(img.width(), 1728);
    EXPECT_EQ(img.height(), 3);
}

}  // namespace
}  // namespace orv
