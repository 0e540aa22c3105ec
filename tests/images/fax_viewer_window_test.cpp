// The "Fax Viewer " window on the offscreen platform: layout and names, the
// starting zoom, page caption and buttons, zoom and rotation choices, a file
// that cannot be opened, and Save as PDF read back with poppler-utils.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include "images/fax_printer_widget.h"
#include "images/fax_viewer_widget.h"
#include "view/fax_viewer_window.h"
#include "images/page_helpers.h"
#include "images/pdf_tools.h"
#include "shell/modal_driver.h"
#include "support/temp_home.h"
#include "ui/widgets/picture_button.h"

using namespace orv;
using namespace orv::test;

namespace {

class FaxViewerWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        four = dir.filePath("four.apf");
        std::vector<Page> pages;
        for (unsigned i = 0; i < 4; ++i) pages.push_back(makePage(PageKind::Text, 1728, 1200, 20 + i));
        ASSERT_EQ(writeApf(four, pages, 1728, true), 0);
        one = dir.filePath("one.apf");
        ASSERT_EQ(writeApf(one, {makePage(PageKind::Text, 1728, 500, 7)}, 1728, false), 0);
    }
    static QString caption(TFaxViewer& w) { return child<QLabel>(&w, "StatusPanel")->text(); }
    static bool pageButtonsShown(TFaxViewer& w) {
        bool all = true, none = true;
        for (const char* n : {"FirstButton", "PrevButton", "NextButton", "LastButton"}) {
            const bool shown = !child<TPictureButton>(&w, n)->isHidden();
            all = all && shown;
            none = none && !shown;
        }
        EXPECT_TRUE(all || none);
        return all;
    }
    static QStringList checkedItems(TFaxViewer& w) {
        QStringList out;
        for (QAction* a : w.findChildren<QAction*>())
            if (a->isCheckable() && a->isChecked()) out << a->objectName();
        out.sort();
        return out;
    }
    TempHome home;
    QTemporaryDir dir;
    QString four, one;
};

TEST_F(FaxViewerWindowTest, OpensAtTheStartingZoomWithCaptionAndButtons) {
    EXPECT_EQ(TFaxViewer::StartingZoom(594, 1728), 50);  // round(594 / 1728 * 150) = 52
    EXPECT_EQ(TFaxViewer::StartingZoom(2000, 1728), 100);
    EXPECT_EQ(TFaxViewer::StartingZoom(1500, 1728), 150);  // 130
    EXPECT_EQ(TFaxViewer::StartingZoom(1100, 1728), 100);  // 95
    EXPECT_EQ(TFaxViewer::StartingZoom(700, 1728), 50);    // 61
    EXPECT_EQ(TFaxViewer::StartingZoom(300, 1728), 25);    // 26

    TFaxViewer w;
    EXPECT_EQ(w.windowTitle(), "Fax Viewer ");
    EXPECT_EQ(caption(w), "Loading...");
    w.setFaxFile(four);
    w.setDescription("Ann - Invoice");
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_EQ(w.faxViewer()->width(), 594);
    EXPECT_EQ(child<QLabel>(&w, "status")->text(), "Ann - Invoice");
    EXPECT_EQ(caption(w), "Page 1 of 4");
    EXPECT_TRUE(pageButtonsShown(w));
    EXPECT_EQ(w.zoom(), 50);
    EXPECT_EQ(checkedItems(w), QStringList{"N50PercentItem"});
    EXPECT_EQ(w.faxViewer()->viewer()->displayedSize().width(), w.faxViewer()->PageWidth() / 2);

    child<TPictureButton>(&w, "NextButton")->click();
    EXPECT_EQ(caption(w), "Page 2 of 4");
    child<TPictureButton>(&w, "LastButton")->click();
    EXPECT_EQ(caption(w), "Page 4 of 4");
    child<TPictureButton>(&w, "FirstButton")->click();
    EXPECT_EQ(caption(w), "Page 1 of 4");
    QTest::keyClick(&w, Qt::Key_PageDown);
    EXPECT_EQ(caption(w), "Page 2 of 4");

    // Zoom steps, and a beep with no change at either end.
    child<TPictureButton>(&w, "ZoomInButton")->click();
    EXPECT_EQ(w.zoom(), 75);
    for (int i = 0; i < 5; ++i) child<TPictureButton>(&w, "ZoomInButton")->click();
    EXPECT_EQ(w.zoom(), 200);
    EXPECT_EQ(checkedItems(w), QStringList{"N200PercentItem"});
    EXPECT_EQ(w.faxViewer()->viewer()->displayedSize().width(), w.faxViewer()->PageWidth() * 2);
    for (int i = 0; i < 8; ++i) child<TPictureButton>(&w, "ZoomOutButton")->click();
    EXPECT_EQ(w.zoom(), 25);
    child<QAction>(&w, "N100PercentItem")->trigger();
    EXPECT_EQ(w.zoom(), 100);
    EXPECT_FALSE(w.faxViewer()->scaling());

    child<QAction>(&w, "Rotate90Item")->trigger();
    EXPECT_EQ(w.faxViewer()->Rotation(), 1);
    EXPECT_EQ(checkedItems(w), (QStringList{"N100PercentItem", "Rotate90Item"}));
    child<QAction>(&w, "Rotate270Item")->trigger();
    EXPECT_EQ(w.faxViewer()->Rotation(), 3);
    EXPECT_EQ(checkedItems(w), (QStringList{"N100PercentItem", "Rotate270Item"}));

    // The window remembers its place.
    w.move(40, 30);
    child<TPictureButton>(&w, "CloseButton")->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(home.read("ORV.INI").contains("[TFaxViewer")) << home.read("ORV.INI").toStdString();
}

TEST_F(FaxViewerWindowTest, OnePageAndAFileThatCannotBeOpened) {
    {
        TFaxViewer w;
        w.setFaxFile(one);
        w.show();
        EXPECT_EQ(caption(w), "Page 1 of 1");
        EXPECT_FALSE(pageButtonsShown(w));
    }
    TFaxViewer w;
    w.setFaxFile(dir.filePath("missing.apf"));
    QString boxText;
    ModalDriver driver;
    driver.then([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return false;
        boxText = box->text();
        box->accept();
        return true;
    });
    EXPECT_TRUE(driver.run([&] { w.show(); }));
    EXPECT_EQ(boxText, "Error opening fax file");
    EXPECT_EQ(caption(w), "No file loaded");
    EXPECT_FALSE(pageButtonsShown(w));
    EXPECT_EQ(driver.unexpected(), 0);
    // Print does nothing without a file.
    w.PrintButtonClick();
}

TEST_F(FaxViewerWindowTest, SaveAsPdfWritesEveryPageAtItsTrueSize) {
    if (!havePopplerUtils()) GTEST_SKIP() << "poppler-utils (pdfinfo, pdftoppm) are not installed";
    // A fine page and a standard page (which is saved at double height).
    const QString mixed = dir.filePath("mixed.apf");
    ASSERT_EQ(writeApf(mixed, {makePage(PageKind::Text, 1728, 1100, 3)}, 1728, true), 0);
    ASSERT_EQ(writeApf(dir.filePath("std.apf"), {makePage(PageKind::Text, 1728, 600, 4)}, 1728, false), 0);
    ASSERT_EQ(AppendApfFile(mixed, dir.filePath("std.apf")), 0);
    TFaxViewer w;
    w.setFaxFile(mixed);
    w.show();
    const QString pdf = dir.filePath("saved.pdf");
    ASSERT_TRUE(w.SaveAsPdf(pdf));
    EXPECT_EQ(pdfInfo(pdf, "Pages"), "2");
    // 1728 pixels at 204 to the inch across (610 points); 1100 fine rows are
    // 1100 / 196 inches (404.1 points), 600 standard rows twice that many fine rows.
    auto points = [&](int page) {
        const QStringList parts = pdfInfo(pdf, "Page size", page).split(' ');
        return parts.size() >= 3 ? QSizeF(parts[0].toDouble(), parts[2].toDouble()) : QSizeF();
    };
    EXPECT_NEAR(points(1).width(), 1728 * 72 / 204.0, 0.6);
    EXPECT_NEAR(points(1).height(), 1100 * 72 / 196.0, 0.6);
    EXPECT_NEAR(points(2).width(), 1728 * 72 / 204.0, 0.6);
    EXPECT_NEAR(points(2).height(), 1200 * 72 / 196.0, 0.6);
    // The page images, read back: exactly the decoded pages (full width, not
    // cropped) as embedded, and the same picture where pdftoppm paints them.
    const QList<QImage> embedded = pdfEmbeddedImages(pdf);
    ASSERT_EQ(embedded.size(), 2);
    for (int page = 1; page <= 2; ++page) {
        FaxUnpackEngine e;
        e.setAutoScale(asDoubleHeight);
        e.setCropToContent(false);
        QImage want;
        ASSERT_EQ(e.decodePage(mixed, page, true, want), 0);
        const QImage& exact = embedded[page - 1];
        ASSERT_EQ(exact.size(), want.size()) << page;
        qint64 differ = 0;
        for (int y = 0; y < want.height(); ++y)
            for (int x = 0; x < want.width(); ++x)
                differ += (qGray(exact.pixel(x, y)) > 127) != (want.pixelIndex(x, y) == 1);
        EXPECT_EQ(differ, 0) << "page " << page;
        const QImage painted = pdfPage(pdf, page, want.width(), want.height());
        ASSERT_EQ(painted.size(), want.size()) << page;
        const std::vector<double> a = blockDarkness(painted), b = blockDarkness(want);
        double worst = 0;
        for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
        EXPECT_LT(worst, 0.2) << "page " << page;
    }
    // A folder that does not exist is reported and leaves nothing behind.
    ModalDriver driver;
    driver.then([](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) return box->accept(), true;
        return false;
    });
    bool saved = true;
    EXPECT_TRUE(driver.run([&] { saved = w.SaveAsPdf(dir.filePath("no/such/dir/x.pdf")); }));
    EXPECT_FALSE(saved);
}

}  // namespace
