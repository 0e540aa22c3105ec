#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "ui/widgets/gauge.h"
#include "ui/widgets/meter.h"

using namespace orv;

TEST(Meter, SegmentsFollowThePositionAndTheLastOneIsCutToFit) {
    // The progress bar of the fax status window: 380 wide, 0..100, step 10.
    EXPECT_EQ(ComputeMeterSegments(380, 0, 100, 0, 10).full, 0);
    EXPECT_EQ(ComputeMeterSegments(380, 0, 100, 1, 10).full, 1);   // 1*37/100 + 1
    EXPECT_EQ(ComputeMeterSegments(380, 0, 100, 50, 10).full, 19);  // 50*37/100 + 1
    EXPECT_EQ(ComputeMeterSegments(380, 0, 100, 50, 10).partial, 0);
    const MeterSegments end = ComputeMeterSegments(380, 0, 100, 100, 10);  // 38 blocks would overrun 376
    EXPECT_EQ(end.full, 37);
    EXPECT_EQ(end.partial, 6);
    // Past the maximum is drawn as the maximum; an offset range works like 0..n.
    EXPECT_EQ(ComputeMeterSegments(380, 0, 100, 500, 10).full, 37);
    EXPECT_EQ(ComputeMeterSegments(380, 50, 150, 100, 10).full, 19);
    // Degenerate settings draw nothing instead of dividing by zero.
    EXPECT_EQ(ComputeMeterSegments(380, 10, 10, 20, 10).full, 0);
    EXPECT_EQ(ComputeMeterSegments(380, 0, 100, 50, 0).full, 0);
    EXPECT_EQ(ComputeMeterSegments(3, 0, 100, 50, 10).full, 0);
}

TEST(Meter, PaintsBlocksWithGapsInsideASunkenFrame) {
    TOrvMeter m("Meter");
    m.resize(380, 20);
    m.setPosition(50);
    QImage img(m.size(), QImage::Format_RGB32);
    img.fill(Qt::magenta);
    m.render(&img);
    const QColor bar = m.palette().color(QPalette::Highlight);
    EXPECT_EQ(img.pixelColor(2, 10), bar);           // block 0 starts at x = 2
    EXPECT_EQ(img.pixelColor(9, 10), bar);           // and ends before x = 10
    EXPECT_NE(img.pixelColor(10, 10), bar);          // the gap
    EXPECT_NE(img.pixelColor(11, 10), bar);
    EXPECT_EQ(img.pixelColor(18 * 10 + 2, 10), bar);  // block 18 is the last of 19
    EXPECT_NE(img.pixelColor(19 * 10 + 2, 10), bar);
    EXPECT_NE(img.pixelColor(5, 1), bar);            // rows 0, 1 and the last two stay clear
    EXPECT_NE(img.pixelColor(5, 18), bar);
    EXPECT_EQ(img.pixelColor(5, 17), bar);
    EXPECT_EQ(img.pixel(0, 5), m.palette().color(QPalette::Dark).rgb());
    EXPECT_EQ(img.pixel(379, 5), m.palette().color(QPalette::Light).rgb());
}

TEST(Gauge, ProgressIsLimitedAndDrawnWithItsPercentage) {
    TGauge g("Gauge1");
    EXPECT_EQ(g.minValue(), 0);
    EXPECT_EQ(g.maxValue(), 100);
    g.setProgress(150);
    EXPECT_EQ(g.progress(), 100);
    g.setProgress(-5);
    EXPECT_EQ(g.progress(), 0);
    g.setRange(0, 400);
    g.setProgress(100);
    EXPECT_EQ(g.percentDone(), 25);
    g.setRange(10, 10);
    EXPECT_EQ(g.percentDone(), 0);

    g.setRange(0, 100);
    g.setProgress(50);
    g.resize(202, 20);
    QImage img(g.size(), QImage::Format_RGB32);
    img.fill(Qt::magenta);
    g.render(&img);
    const QColor bar = g.palette().color(QPalette::Highlight);
    EXPECT_EQ(img.pixelColor(5, 3), bar);
    EXPECT_EQ(img.pixelColor(99, 3), bar);
    EXPECT_EQ(img.pixelColor(102, 3), QColor(Qt::white));
    EXPECT_EQ(img.pixelColor(195, 3), QColor(Qt::white));
    // "50%" is written across the middle: some pixels there are neither bar nor background.
    int ink = 0;
    for (int x = 80; x < 122; ++x)
        for (int y = 4; y < 16; ++y) {
            const QColor c = img.pixelColor(x, y);
            if (c != bar && c != QColor(Qt::white)) ++ink;
        }
    EXPECT_GT(ink, 10);
}
