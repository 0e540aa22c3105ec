// View from the main window: a received fax shows its stored file; a sent fax
// is made into a fax file first, which is gone again once the window closes.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QTextCursor>

#include "images/fax_printer_widget.h"
#include "images/fax_viewer_widget.h"
#include "view/fax_viewer_window.h"
#include "images/page_helpers.h"
#include "shell/main_screen.h"
#include "shell/modal_driver.h"
#include "shell/rich_text_memo.h"
#include "support/temp_home.h"
#include "richtext/rich_text_document.h"
#include "ui/widgets/tab_set.h"

using namespace orv;
using orv::test::child;
using orv::test::ModalDriver;
using orv::test::TempHome;

namespace {

struct Seen {
    QString caption, description, header, file;
    int pages = 0;
    bool fileExisted = false;
};

// Looks at the Fax Viewer window when it comes up, then closes it.
ModalDriver::Step lookAndClose(Seen& seen) {
    return [&seen](QWidget* modal) {
        auto* viewer = qobject_cast<TFaxViewer*>(modal);
        if (!viewer) return false;
        seen.caption = child<QLabel>(viewer, "StatusPanel")->text();
        seen.description = child<QLabel>(viewer, "status")->text();
        seen.header = viewer->faxPrinter()->FaxHeader().caption();
        seen.file = viewer->faxFile();
        seen.pages = viewer->faxViewer()->PageCount();
        seen.fileExisted = QFile::exists(seen.file);
        viewer->close();
        return true;
    };
}

TEST(MainScreenView, ReceivedAndSentFaxesOpenTheFaxViewer) {
    TempHome home;
    home.write("ORV.INI", "[Modem]\nComPort=0\n");
    TMainScreen w;
    w.show();
    QApplication::processEvents();

    // Received: the stored file in the receive folder, described by From and Notes.
    ASSERT_TRUE(QDir().mkpath(home.file("receive")));
    using namespace orv::test;
    ASSERT_EQ(writeApf(home.file("receive/FAX0007.APF"),
                       {makePage(PageKind::Text, 1728, 400, 1), makePage(PageKind::Text, 1728, 400, 2)}, 1728, false), 0);
    TTable& rec = w.recTable();
    rec.append();
    rec.fieldByName("DATEREC").setAsDate(QDate(2026, 1, 2));
    rec.fieldByName("TIMEREC").setAsString("10:00:00");
    rec.fieldByName("FROM").setAsString("+1 555 0100");
    rec.fieldByName("NOTES").setAsString("Order");
    rec.fieldByName("PAGES").setAsInteger(2);
    rec.fieldByName("FAXFILE").setAsString("FAX0007.APF");
    rec.post();
    child<TTabSet>(&w, "TabSet1")->setTabIndex(1);
    w.SetButtons();
    Seen received;
    ModalDriver d1;
    d1.then(lookAndClose(received));
    ASSERT_TRUE(d1.run([&] { child<QAction>(&w, "mnuViewPrint")->trigger(); }));
    EXPECT_EQ(d1.unexpected(), 0) << d1.unexpectedTitles().join(", ").toStdString();
    EXPECT_EQ(received.file, home.file("receive/FAX0007.APF"));
    EXPECT_EQ(received.pages, 2);
    EXPECT_EQ(received.caption, "Page 1 of 2");
    EXPECT_EQ(received.description, "+1 555 0100 - Order");
    EXPECT_EQ(received.header, "+1 555 0100 - Order");
    EXPECT_TRUE(QFile::exists(received.file));  // a received fax keeps its file

    // Sent: the fax file is made from the record, shown, and deleted afterwards.
    child<TTabSet>(&w, "TabSet1")->setTabIndex(0);
    RichTextDocument cover, doc;
    QTextCursor(doc.document()).insertText("A letter of one page");
    TTable& t = w.faxTable();
    t.append();
    SaveRichText(cover, "RTFCOVER", w.faxLink());
    SaveRichText(doc, "RTFDOC", w.faxLink());
    t.fieldByName("SUBJECT").setAsString("Invoice");
    t.fieldByName("RECIPIENT").setAsString("Ann");
    t.post();
    w.SetButtons();
    Seen sent;
    ModalDriver d2;
    d2.then(lookAndClose(sent));
    ASSERT_TRUE(d2.run([&] { child<QAction>(&w, "mnuViewPrint")->trigger(); }, 60000));
    EXPECT_EQ(d2.unexpected(), 0) << d2.unexpectedTitles().join(", ").toStdString();
    EXPECT_TRUE(sent.fileExisted);
    EXPECT_EQ(sent.pages, 1);
    EXPECT_EQ(sent.description, "Ann - Invoice");
    EXPECT_EQ(sent.header, "Ann - Invoice");
    EXPECT_EQ(sent.caption, "Page 1 of 1");
    EXPECT_FALSE(QFile::exists(sent.file));
}

}  // namespace
