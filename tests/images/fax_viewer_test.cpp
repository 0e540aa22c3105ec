// The fax viewer control on Qt's offscreen platform: opening and its errors,
// paging and the keyboard, rotation, scaling, what is painted compared with
// the decoder's own bitmaps, marking and copying, dropped files.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "common/orv_error.h"
#include "images/fax_viewer_widget.h"
#include "images/mono_transform.h"
#include "images/page_helpers.h"

using namespace orv;
using namespace orv::test;

namespace {

// A text-like page whose content stops at `contentWidth` pixels.
Page narrowPage(int lines, int contentWidth, unsigned seed) {
    Page p = makePage(PageKind::Text, 1728, lines, seed);
    for (Line& l : p)
        for (int x = contentWidth; x < 1728; ++x) l[size_t(x / 8)] &= uint8_t(~(0x80 >> (x % 8)));
    return p;
}

bool waitFor(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// What the viewport must show: the displayed page from the scroll position, 0
// bits black, 1 bits in the background colour, as is the rest of the window in the background colour.
QImage expectedView(const QImage& displayed, QPoint scroll, QSize client, QColor bg) {
    QImage out(client, QImage::Format_RGB32);
    out.fill(bg);
    for (int y = 0; y < client.height(); ++y)
        for (int x = 0; x < client.width(); ++x) {
            const int sx = x + scroll.x(), sy = y + scroll.y();
            if (sx < displayed.width() && sy < displayed.height())
                out.setPixel(x, y, displayed.pixelIndex(sx, sy) ? bg.rgb() : qRgb(0, 0, 0));
        }
    return out;
}

// The first differing pixel, or an empty string.
std::string imageDiff(const QImage& got, const QImage& want) {
    if (got.size() != want.size())
        return "size " + std::to_string(got.width()) + "x" + std::to_string(got.height());
    const QImage g = got.convertToFormat(QImage::Format_RGB32), w = want.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < g.height(); ++y)
        for (int x = 0; x < g.width(); ++x)
            if ((g.pixel(x, y) & 0xFFFFFF) != (w.pixel(x, y) & 0xFFFFFF))
                return "pixel " + std::to_string(x) + "," + std::to_string(y) + ": " +
                       QColor(g.pixel(x, y)).name().toStdString() + " instead of " + QColor(w.pixel(x, y)).name().toStdString();
    return {};
}

// What is on the screen of the window now (the backing store, so scrolled
// strips show as they were painted), falling back to a fresh rendering.
QImage onScreen(QWidget* w) {
    // Pending updates are painted as the event loop would; only what they
    // cover is painted, the rest is what the backing store already holds.
    QCoreApplication::processEvents();
    QWidget* top = w->window();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    if (QScreen* screen = top->screen()) {
        const QPoint at = w->mapTo(top, QPoint(0, 0));
        const QImage shot = screen->grabWindow(top->winId(), at.x(), at.y(), w->width(), w->height()).toImage();
        if (shot.size() == w->size()) return shot;
        ADD_FAILURE() << "grabWindow gave " << shot.width() << "x" << shot.height();
    }
    return w->grab().toImage();
}

// What the viewport shows against what it must show (sizes taken after the
// pending layout and paint events ran).
std::string viewDiff(QWidget* port, const QImage& displayed, QPoint scroll, QColor bg) {
    const QImage shot = onScreen(port);
    return imageDiff(shot, expectedView(displayed, scroll, port->size(), bg));
}

QImage decodeWith(const QString& file, int page, TAutoScaleMode mode, int mult = 1, int div = 1) {
    FaxUnpackEngine e;
    e.setAutoScale(mode);
    if (mult != div) e.setScaling(mult, div, mult, div);
    QImage img;
    EXPECT_EQ(e.decodePage(file, page, true, img), 0);
    return img;
}

class FaxViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        four = dir.filePath("four.apf");
        std::vector<Page> pages;
        for (unsigned i = 0; i < 4; ++i) pages.push_back(makePage(PageKind::Text, 1728, 700 + 50 * int(i), 10 + i));
        ASSERT_EQ(writeApf(four, pages, 1728, true), 0);
        viewer.resize(600, 400);
        viewer.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer));
        viewer.OnPageChange = [this](TOrvCustomFaxViewer*) { ++pageChanges; };
        viewer.OnViewerError = [this](TOrvCustomFaxViewer*, int code) { errors.push_back(code); };
    }
    TViewer* v() { return viewer.viewer(); }

    QTemporaryDir dir;
    QString four;
    TOrvFaxViewer viewer;
    int pageChanges = 0;
    std::vector<int> errors;
};

TEST_F(FaxViewerTest, OpeningAndTheRequestsThatNeedAFile) {
    EXPECT_EQ(v()->selectAll(), ecNoImageLoaded);
    EXPECT_EQ(v()->copy(), ecNoImageLoaded);
    EXPECT_EQ(v()->currentPage(), 0);
    EXPECT_EQ(v()->pageDimensions(), QRect());
    EXPECT_THROW(viewer.setFileName(dir.filePath("missing.apf")), EInOutError);
    QFile junk(dir.filePath("junk.apf"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(100, 'x'));
    junk.close();
    EXPECT_EQ(v()->setFile(junk.fileName()), ecFaxBadFormat);
    EXPECT_THROW(viewer.setFileName(junk.fileName()), EOrvException);

    viewer.setFileName(four);
    EXPECT_EQ(viewer.PageCount(), 4);
    EXPECT_EQ(viewer.CurrentPage(), 1);
    EXPECT_EQ(viewer.PageWidth(), decodeWith(four, 1, asDoubleHeight).width());
    EXPECT_EQ(v()->cachedPages(), 1);
    EXPECT_EQ(pageChanges, 1);
    EXPECT_EQ(v()->copy(), ecNoImageBlockMarked);
    // An empty name closes the file.
    viewer.setFileName(QString());
    EXPECT_EQ(viewer.PageCount(), 0);
    EXPECT_EQ(v()->selectAll(), ecNoImageLoaded);
    EXPECT_TRUE(errors.empty());
}

TEST_F(FaxViewerTest, PagingKeysAndBadPageNumbers) {
    viewer.setFileName(four);
    EXPECT_EQ(v()->goToPage(0), ecBadArgument);
    EXPECT_EQ(v()->goToPage(5), ecBadArgument);
    EXPECT_THROW(viewer.setCurrentPage(0), EBadArgument);
    EXPECT_THROW(viewer.setCurrentPage(5), EBadArgument);
    EXPECT_EQ(viewer.CurrentPage(), 1);

    // Scroll down a little, then Ctrl+Home on page 1: back to the top left, no reload.
    QTest::keyClick(v(), Qt::Key_Down);
    QTest::keyClick(v(), Qt::Key_Right);
    EXPECT_EQ(v()->verticalPosition(), 8);
    EXPECT_EQ(v()->horizontalPosition(), 8);
    QTest::keyClick(v(), Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(v()->verticalPosition(), 88);
    const int changes = pageChanges;
    QTest::keyClick(v(), Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(viewer.CurrentPage(), 1);
    EXPECT_EQ(v()->verticalPosition(), 0);
    EXPECT_EQ(v()->horizontalPosition(), 0);
    EXPECT_EQ(pageChanges, changes);

    QTest::keyClick(v(), Qt::Key_PageDown);
    EXPECT_EQ(viewer.CurrentPage(), 2);
    QTest::keyClick(v(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(viewer.CurrentPage(), 4);
    QTest::keyClick(v(), Qt::Key_PageDown);  // stops at the end
    EXPECT_EQ(viewer.CurrentPage(), 4);
    QTest::keyClick(v(), Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(v()->verticalPosition(), v()->verticalMaximum());
    EXPECT_EQ(v()->verticalMaximum(), v()->displayedSize().height() - v()->viewport()->height());
    QTest::keyClick(v(), Qt::Key_End);
    EXPECT_EQ(v()->horizontalPosition(), v()->horizontalMaximum());
    QTest::keyClick(v(), Qt::Key_PageUp);
    EXPECT_EQ(viewer.CurrentPage(), 3);
    EXPECT_EQ(v()->verticalPosition(), 0);  // a new page starts at the top
    viewer.FirstPage();
    EXPECT_EQ(viewer.CurrentPage(), 1);
    viewer.PrevPage();
    EXPECT_EQ(viewer.CurrentPage(), 1);
    // Only the current page is held unless the whole fax is loaded.
    EXPECT_EQ(v()->cachedPages(), 1);
    viewer.setLoadWholeFax(true);
    EXPECT_EQ(v()->cachedPages(), 4);
    viewer.LastPage();
    EXPECT_EQ(v()->cachedPages(), 4);
    viewer.setLoadWholeFax(false);
    EXPECT_EQ(v()->cachedPages(), 1);
    EXPECT_EQ(v()->pageDimensions().height(), decodeWith(four, 4, asDoubleHeight).height());
    EXPECT_TRUE(errors.empty());
}

TEST(MonoTransform, RotationMatchesTheDefiningFormulas) {
    // Odd sizes on purpose: rows that are not whole blocks of 8, a width that is
    // not a whole byte (the slow path) and one that is.
    for (int w : {1728, 37, 64}) {
        QImage src(w, 29, QImage::Format_Mono);
        src.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        std::mt19937 rng{unsigned(w)};
        for (int y = 0; y < src.height(); ++y)
            for (int x = 0; x < w; ++x) src.setPixel(x, y, rng() & 1);
        const QImage r1 = RotateMonoBitmap(src, 1), r2 = RotateMonoBitmap(src, 2), r3 = RotateMonoBitmap(src, 3);
        ASSERT_EQ(r1.size(), QSize(29, w));
        ASSERT_EQ(r3.size(), QSize(29, w));
        ASSERT_EQ(r2.size(), src.size());
        const int h = src.height();
        int bad = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int p = src.pixelIndex(x, y);
                bad += r1.pixelIndex(h - 1 - y, x) != p;
                bad += r3.pixelIndex(y, w - 1 - x) != p;
                bad += r2.pixelIndex(w - 1 - x, h - 1 - y) != p;
            }
        EXPECT_EQ(bad, 0) << "width " << w;
        EXPECT_EQ(imageDiff(RotateMonoBitmap(r1, 3), src), "") << w;
    }
}

TEST_F(FaxViewerTest, RotatingNinetyThenTwoSeventyTurnsTwice) {
    viewer.setFileName(four);
    const QImage original = v()->pageBitmap(1);
    viewer.setRotation(1);
    EXPECT_EQ(v()->pageDimensions().size(), original.size().transposed());
    EXPECT_EQ(imageDiff(v()->pageBitmap(1), RotateMonoBitmap(original, 1)), "");
    viewer.setRotation(3);
    EXPECT_EQ(viewer.Rotation(), 3);
    EXPECT_EQ(imageDiff(v()->pageBitmap(1), RotateMonoBitmap(original, 3)), "");
    // Another page is turned when it is decoded.
    viewer.NextPage();
    EXPECT_EQ(imageDiff(v()->pageBitmap(2), RotateMonoBitmap(decodeWith(four, 2, asDoubleHeight), 3)), "");
    viewer.setRotation(0);
    EXPECT_EQ(imageDiff(v()->pageBitmap(2), decodeWith(four, 2, asDoubleHeight)), "");
    EXPECT_EQ(v()->setRotation(4), ecBadArgument);
    // A new file starts unturned.
    viewer.setRotation(2);
    viewer.setFileName(QString());
    viewer.setFileName(four);
    EXPECT_EQ(viewer.Rotation(), 0);
}

TEST_F(FaxViewerTest, PaintingMatchesTheDecoderAtFullAndHalfSize) {
    viewer.setFileName(four);
    QImage page = decodeWith(four, 1, asDoubleHeight);
    QWidget* port = v()->viewport();
    EXPECT_EQ(viewDiff(port, page, {0, 0}, Qt::white), "");
    // Scrolled: the moved contents and the uncovered strips together.
    QTest::keyClick(v(), Qt::Key_Down, Qt::ControlModifier);
    QTest::keyClick(v(), Qt::Key_Right);
    const QPoint scroll(v()->horizontalPosition(), v()->verticalPosition());
    EXPECT_EQ(scroll, QPoint(8, 80));
    EXPECT_EQ(viewDiff(port, page, scroll, Qt::white), "");

    // 50 %: the page the decoder scales itself, pixel for pixel.
    viewer.BeginUpdate();
    viewer.setScaling(true);
    viewer.setHorizMult(50);
    viewer.setVertMult(50);
    viewer.setHorizDiv(100);
    viewer.setVertDiv(100);
    viewer.EndUpdate();
    const QImage half = decodeWith(four, 1, asDoubleHeight, 1, 2);
    EXPECT_EQ(v()->displayedSize(), half.size());
    EXPECT_EQ(viewDiff(port, half, {0, 0}, Qt::white), "");
    QTest::keyClick(v(), Qt::Key_End);
    EXPECT_EQ(v()->horizontalPosition(), half.width() - port->width());
    EXPECT_EQ(viewDiff(port, half, {v()->horizontalPosition(), 0}, Qt::white), "");
    // Colours: 0 bits in the foreground colour, 1 bits in the background colour.
    viewer.setScaling(false);
    viewer.setFGColor(Qt::blue);
    const QImage shot = onScreen(port);
    int blue = 0;
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < port->width() && x < page.width(); ++x)
            if (page.pixelIndex(x, y) == 0) blue += QColor(shot.pixel(x, y)) == QColor(Qt::blue) ? 1 : -1000;
    EXPECT_GT(blue, 0);
}

TEST_F(FaxViewerTest, ANarrowPageIsDrawnFromTheLeftEdge) {
    const QString narrow = dir.filePath("narrow.apf");
    ASSERT_EQ(writeApf(narrow, {narrowPage(900, 300, 3)}, 1728, true), 0);
    viewer.setBGColor(QColor(200, 220, 240));
    viewer.setFileName(narrow);
    const QImage page = decodeWith(narrow, 1, asDoubleHeight);
    ASSERT_LT(page.width(), 320);
    EXPECT_EQ(v()->horizontalMaximum(), 0);
    QTest::keyClick(v(), Qt::Key_End);
    EXPECT_EQ(v()->horizontalPosition(), 0);
    QWidget* port = v()->viewport();
    EXPECT_EQ(viewDiff(port, page, {0, 0}, QColor(200, 220, 240)), "");
}

TEST_F(FaxViewerTest, MarkingWithTheMouseAndCopying) {
    viewer.setFileName(four);
    QWidget* port = v()->viewport();
    QTest::mousePress(port, Qt::LeftButton, {}, QPoint(100, 50));
    QTest::mouseMove(port, QPoint(40, 20));
    QTest::mouseRelease(port, Qt::LeftButton, {}, QPoint(40, 20));
    ASSERT_TRUE(v()->marked());
    EXPECT_EQ(v()->mark(), QRect(QPoint(40, 20), QPoint(100, 50)));
    QImage copied;
    ASSERT_EQ(v()->copyMark(&copied), 0);
    const QImage page = v()->pageBitmap(1);
    EXPECT_EQ(imageDiff(copied, page.copy(v()->mark())), "");
    EXPECT_EQ(copied.depth(), 1);
    if (QGuiApplication::clipboard()) {
        EXPECT_EQ(QGuiApplication::clipboard()->image().size(), copied.size());
    }
    // The marked part is shown inverted.
    const QImage shot = onScreen(port);
    EXPECT_EQ(QColor(shot.pixel(60, 30)) == Qt::white, page.pixelIndex(60, 30) == 0);
    EXPECT_EQ(QColor(shot.pixel(200, 30)) == Qt::white, page.pixelIndex(200, 30) == 1);

    // A click without a drag removes the mark.
    QTest::mouseClick(port, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_FALSE(v()->marked());
    EXPECT_EQ(v()->copy(), ecNoImageBlockMarked);

    // Dragging below the window scrolls toward the pointer and extends the mark.
    QTest::mousePress(port, Qt::LeftButton, {}, QPoint(10, 10));
    QMouseEvent move(QEvent::MouseMove, QPointF(50, port->height() + 40), port->mapToGlobal(QPointF(50, port->height() + 40)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(port, &move);
    EXPECT_TRUE(waitFor([&] { return v()->verticalPosition() >= 48; }));
    QTest::mouseRelease(port, Qt::LeftButton, {}, QPoint(50, port->height() - 1));
    EXPECT_FALSE(v()->marking());
    EXPECT_TRUE(v()->marked());
    EXPECT_EQ(v()->mark().top(), 10);
    EXPECT_GE(v()->mark().bottom(), port->height() - 1 + 48);
    // Keys are ignored while marking; Select All marks the page.
    ASSERT_EQ(v()->selectAll(), 0);
    EXPECT_EQ(v()->mark(), QRect(QPoint(0, 0), v()->displayedSize()));
}

TEST_F(FaxViewerTest, DroppingSeveralFilesOpensTheFirst) {
    const QString other = dir.filePath("other.apf");
    ASSERT_EQ(writeApf(other, {makePage(PageKind::Text, 1728, 300, 99)}, 1728, true), 0);
    QString dropped;
    viewer.OnDropFile = [&](TOrvCustomFaxViewer*, const QString& name) { dropped = name; };
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(other), QUrl::fromLocalFile(four)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(v()->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(v()->viewport(), &drop);
    EXPECT_EQ(dropped, other);
    EXPECT_EQ(viewer.PageCount(), 1);
    EXPECT_EQ(viewer.fileName(), other);
    EXPECT_TRUE(errors.empty());
}

TEST_F(FaxViewerTest, StandardPagesInHalfWidthAndAPageThatCannotBeDecoded) {
    const QString standard = dir.filePath("standard.apf");
    ASSERT_EQ(writeApf(standard, {makePage(PageKind::Text, 1728, 400, 5), makePage(PageKind::Text, 1728, 400, 6)},
                       1728, false), 0);
    viewer.setAutoScaleMode(asHalfWidth);
    viewer.setFileName(standard);
    EXPECT_EQ(imageDiff(v()->pageBitmap(1), decodeWith(standard, 1, asHalfWidth)), "");
    EXPECT_LE(viewer.PageWidth(), 864);

    // Page 2's chain is cut off: the page change reports the error and closes the file.
    QFile f(standard);
    const qint64 size = f.size();
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.resize(size - 4000));
    f.close();
    ApfReader r;
    ASSERT_EQ(r.open(standard), 0);
    ApfPageHeader ph;
    if (r.seekPage(2, ph) < 0) {
        viewer.NextPage();
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_LT(errors[0], 0);
        EXPECT_EQ(viewer.PageCount(), 0);
    }
}

}  // namespace
