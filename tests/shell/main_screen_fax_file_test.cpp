// CreateFaxFile from the main window: the current sent fax's two memos
// become one APF file in the program folder, with the hourglass, a disabled
// button bar and the status texts while it works, all restored however it ends.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QTextCursor>
#include <QTimer>

#include "images/unpack_engine.h"
#include "shell/main_screen.h"
#include "shell/modal_driver.h"
#include "shell/rich_text_memo.h"
#include "support/temp_home.h"
#include "richtext/rich_text_document.h"

using namespace orv;
using orv::test::child;
using orv::test::ModalDriver;
using orv::test::TempHome;

namespace {

void configured(const TempHome& home) { home.write("ORV.INI", "[Modem]\nComPort=0\n"); }

// A text of the given number of pages, one line each; 0 pages leaves it as
// given (empty, or what the caller typed).
void pages(RichTextDocument& doc, int count, const QString& word) {
    QTextCursor c(doc.document());
    for (int p = 0; p < count; ++p) {
        if (p > 0) RichTextDocument::insertPageBreak(c);
        c.insertText(QStringLiteral("%1 page %2").arg(word).arg(p + 1));
    }
}

// A sent fax as New stores it.
void addFax(TMainScreen& w, RichTextDocument& cover, RichTextDocument& doc, const QString& subject) {
    TTable& t = w.faxTable();
    t.append();
    SaveRichText(cover, "RTFCOVER", w.faxLink());
    SaveRichText(doc, "RTFDOC", w.faxLink());
    t.fieldByName("SUBJECT").setAsString(subject);
    t.post();
}

// The page count of an APF file as its header holds it (offset 32, 16 bits).
int headerPageCount(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray h = f.read(64);
    if (h.size() < 64) return -1;
    return uchar(h[32]) | uchar(h[33]) << 8;
}

// Black pixels of one page, counted by the decoder.
int blackPixels(const QString& file, int page) {
    int black = 0;
    FaxUnpackEngine e;
    e.decodePageLines(file, page, false, [&](const uint8_t* line, int len) {
        for (int i = 0; i < len; ++i) black += __builtin_popcount(line[i]);
    });
    return black;
}

QStringList leftovers(const TempHome& home) {
    return QDir(home.path()).entryList({"*.APF", "*.BMP", "*.bmp", "Eraseme.rtf"}, QDir::Files, QDir::Name);
}

// What the window looks like each time the work lets messages run.
struct Watch {
    QStringList statusTexts;
    bool barEverEnabled = false;
    bool hourglassAlways = true;
    int looks = 0;
};

QString createWatched(TMainScreen& w, Watch& watch) {
    auto* status = child<QLabel>(&w, "status");
    auto* bar = child<QWidget>(&w, "ButtonBar");
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++watch.looks;
        if (watch.statusTexts.isEmpty() || watch.statusTexts.last() != status->text())
            watch.statusTexts << status->text();
        if (bar->isEnabled()) watch.barEverEnabled = true;
        const QCursor* c = QApplication::overrideCursor();
        if (!c || c->shape() != Qt::WaitCursor) watch.hourglassAlways = false;
    });
    timer.start();
    const QString name = w.CreateFaxFile();
    timer.stop();
    return name;
}

void expectRestored(TMainScreen& w) {
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(child<QWidget>(&w, "ButtonBar")->isEnabled());
    EXPECT_TRUE(child<QLabel>(&w, "status")->text().isEmpty());
}

}  // namespace

TEST(MainScreenFaxFile, CoverThenDocumentPagesMakeOneFileWithStatusHourglassAndCleanUp) {
    TempHome home;
    configured(home);
    TMainScreen w;
    w.show();
    QApplication::processEvents();

    // A cover sheet of one page and a document of two: three pages, cover first.
    RichTextDocument cover, doc;
    pages(cover, 1, "Cover");
    pages(doc, 2, "Document");
    addFax(w, cover, doc, "Three pages");
    Watch watch;
    const QString file = createWatched(w, watch);
    EXPECT_EQ(file, home.file("ORV_1.APF"));
    EXPECT_EQ(w.FaxPages(), 3);
    EXPECT_EQ(headerPageCount(file), 3);
    for (int p = 1; p <= 3; ++p) EXPECT_GT(blackPixels(file, p), 100) << "page " << p;
    // While it worked: the three status texts in order, the hourglass, no button bar.
    EXPECT_GT(watch.looks, 2);
    EXPECT_EQ(watch.statusTexts,
              QStringList({"Creating fax file", "Creating fax file....", "Creating fax file........"}));
    EXPECT_TRUE(watch.hourglassAlways);
    EXPECT_FALSE(watch.barEverEnabled);
    expectRestored(w);
    // Only the fax itself is left: no page files, no bitmap, no memo transfer file.
    EXPECT_EQ(leftovers(home), QStringList({"ORV_1.APF"}));

    // The file of an earlier run is still there: the next free name is used.
    const QString second = w.CreateFaxFile();
    EXPECT_EQ(second, home.file("ORV_2.APF"));
    EXPECT_EQ(headerPageCount(second), 3);
    QFile::remove(file);
    QFile::remove(second);

    // A document only (the cover sheet holds blanks and empty lines): its
    // pages alone, the first one under the base name.
    RichTextDocument blankCover, doc2;
    QTextCursor(blankCover.document()).insertText("   \n\n  \n");
    pages(doc2, 2, "Only");
    addFax(w, blankCover, doc2, "Document only");
    const QString only = w.CreateFaxFile();
    EXPECT_EQ(only, home.file("ORV_1.APF"));
    EXPECT_EQ(w.FaxPages(), 2);
    EXPECT_EQ(headerPageCount(only), 2);
    EXPECT_EQ(leftovers(home), QStringList({"ORV_1.APF"}));
    expectRestored(w);
}

TEST(MainScreenFaxFile, AFaxWithoutTextsSaysSoAndAnErrorShowsItsMessageBothRestoringTheWindow) {
    TempHome home;
    configured(home);
    TMainScreen w;
    w.show();
    QApplication::processEvents();

    RichTextDocument blank, empty;
    QTextCursor(blank.document()).insertText("      ");
    addFax(w, blank, empty, "Nothing in it");
    QString name = "unset";
    QString said;
    QMessageBox::Icon icon = QMessageBox::Warning;
    ModalDriver none;
    none.then([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return false;
        said = box->text();
        icon = box->icon();
        // Already restored while the message shows.
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_TRUE(child<QWidget>(&w, "ButtonBar")->isEnabled());
        box->accept();
        return true;
    });
    ASSERT_TRUE(none.run([&] { name = w.CreateFaxFile(); }));
    EXPECT_EQ(none.unexpected(), 0);
    EXPECT_TRUE(name.isEmpty());
    EXPECT_EQ(said, "Fax has no contents or cover sheet");
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    expectRestored(w);
    EXPECT_TRUE(leftovers(home).isEmpty());

    // The page bitmap cannot be written (a folder stands in its place): the
    // user reads why, nothing is returned, and the window works again.
    RichTextDocument doc;
    pages(doc, 1, "Letter");
    addFax(w, empty, doc, "Cannot be made");
    ASSERT_TRUE(QDir(home.path()).mkdir("_TMP.BMP"));
    QString error;
    ModalDriver failing;
    failing.then([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return false;
        error = box->text();
        icon = box->icon();
        box->accept();
        return true;
    });
    name = "unset";
    ASSERT_TRUE(failing.run([&] { name = w.CreateFaxFile(); }));
    EXPECT_TRUE(name.isEmpty());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(icon, QMessageBox::Critical);
    expectRestored(w);
}
