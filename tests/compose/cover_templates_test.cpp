// The cover-sheet template windows over a real ORVCOV.DBF with its memo
// file, read back with python3-dbfread and LibreOffice.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QJsonArray>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QToolButton>

#include "compose/cover_browse.h"
#include "compose/cover_editor.h"
#include "shell/main_screen.h"
#include "shell/modal_driver.h"
#include "store/schemas.h"
#include "store/store_test_util.h"
#include "support/temp_home.h"
#include "ui/richtext/rich_editor.h"
#include "ui/richtext/rich_tool_bar.h"
#include "richtext/rtf_test_util.h"
#include "ui/widgets/picture_button.h"

using namespace orv;
using orv::test::button;
using orv::test::child;
using orv::test::ModalDriver;
using orv::test::TempHome;

namespace {


// The main window's cover table objects, as the browser uses them.
struct CoverTables {
    TTable table;
    TDataSource source;
    TEngineLink link;
    CoverTables() {
        source.setDataSet(&table);
        link.setDataSource(&source);
    }
};

QJsonObject coverFile(const TempHome& home) { return test::readWithDbfread(home.file("ORVCOV.DBF")); }

// Runs the browser modally; steps answer the windows it opens.
int runBrowser(TCoverBrowse& browse, ModalDriver& driver) {
    int result = -1;
    EXPECT_TRUE(driver.run([&] { result = browse.exec(); }));
    EXPECT_EQ(driver.unexpected(), 0) << driver.unexpectedTitles().join(", ").toStdString();
    return result;
}

// A step on the browser itself: clicks one of its buttons (queued, so the
// window it opens is answered by the next step).
ModalDriver::Step onBrowser(const char* buttonName) {
    return [=](QWidget* modal) {
        if (modal->objectName() != QLatin1String("CoverBrowse")) return false;
        QMetaObject::invokeMethod(button(modal, buttonName), "click", Qt::QueuedConnection);
        return true;
    };
}

ModalDriver::Step onEditor(std::function<void(TCoverEditor&)> work) {
    return [=](QWidget* modal) {
        auto* editor = qobject_cast<TCoverEditor*>(modal);
        if (!editor) return false;
        work(*editor);
        return true;
    };
}

void insertAllFields(TCoverEditor& e) {
    e.richCover()->setFocus();
    e.richCover()->textCursor();
    QTextCursor c = e.richCover()->textCursor();
    c.insertText("To: ");
    e.richCover()->setTextCursor(c);
    // Through the Insert menu, as the user does.
    auto* menu = child<QMenu>(&e, "PopupMenu1");
    for (const char* item : {"mnuRecipient1", "mnuFaxNumber1", "mnuSubject", "mnuDate", "mnuTime"}) {
        QAction* a = menu->findChild<QAction*>(item);
        ASSERT_NE(a, nullptr) << item;
        a->trigger();
        QTextCursor after = e.richCover()->textCursor();
        after.insertText(" ");
        e.richCover()->setTextCursor(after);
    }
}

QList<MergeFieldInfo> fieldsOf(TCoverEditor& e) { return e.richCover()->richText().fields(); }

}  // namespace

TEST(CoverTemplates, NewWithAllFiveFieldsSurvivesSaveAndReloadAndReadsInLibreOffice) {
    TempHome home;
    CoverTables t;
    ASSERT_TRUE(OpenCoverDBF(t.table, t.link));
    TCoverBrowse browse(t.table, t.source, t.link);
    browse.setPickingUse(false);

    QString startDescription;
    const QString description36 = QStringLiteral("Thirty-six characters of a name!!!!!");
    ASSERT_EQ(description36.size(), 36);
    ModalDriver driver;
    driver.then(onBrowser("NewButton"))
        .then(onEditor([&](TCoverEditor& e) {
            startDescription = e.description()->text();
            e.description()->setText(description36);
            insertAllFields(e);
            button(&e, "OKbutton")->click();
        }))
        .then(onBrowser("CloseButton"));
    EXPECT_EQ(runBrowser(browse, driver), QDialog::Rejected);
    EXPECT_EQ(startDescription, "{description}");

    // Stored: the description cut to 35, the text as RTF in the memo.
    t.table.close();
    const QJsonArray records = coverFile(home)["records"].toArray();
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].toObject()["DESCRIPT"].toString(), description36.left(35));
    const QString rtf = records[0].toObject()["COVER"].toString();
    EXPECT_TRUE(rtf.startsWith("{\\rtf1")) << rtf.left(40).toStdString();

    // Reloaded through Edit: the five fields with their tags and value texts.
    ASSERT_TRUE(OpenCoverDBF(t.table, t.link));
    QList<MergeFieldInfo> fields;
    QString editDescription;
    PageLayout layout;
    ModalDriver reopen;
    reopen.then(onBrowser("ModifyButton"))
        .then(onEditor([&](TCoverEditor& e) {
            editDescription = e.description()->text();
            fields = fieldsOf(e);
            layout = e.richCover()->pageLayout();
            button(&e, "CancelButton")->click();
        }))
        .then(onBrowser("CloseButton"));
    runBrowser(browse, reopen);
    EXPECT_EQ(editDescription, description36.left(35));
    ASSERT_EQ(fields.size(), 5);
    const char* values[] = {"[RECIPIENT]", "[FAX#]", "[SUBJECT]", "[DATE]", "[TIME]"};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(fields[i].tag, i + 1);
        EXPECT_EQ(fields[i].marker, QChar('*'));
        EXPECT_EQ(fields[i].value, values[i]);
        EXPECT_FALSE(fields[i].hidden);
    }
    EXPECT_EQ(layout.width, 12240);
    EXPECT_EQ(layout.height, 15840);
    EXPECT_EQ(layout.left, 720);
    EXPECT_EQ(layout.right, 720);
    EXPECT_EQ(layout.top, 720);
    EXPECT_EQ(layout.bottom, 720);

    // LibreOffice reads the stored template and shows the value texts.
    if (!test::haveLibreOffice()) GTEST_SKIP() << "LibreOffice is not installed (scripts/setup installs it)";
    QTemporaryDir dir;
    const QString rtfPath = dir.filePath("template.rtf");
    test::writeFile(rtfPath, rtf.toLatin1());
    ASSERT_TRUE(test::libreOfficeConvert({rtfPath}, "txt:Text", dir.path()));
    const QString text = QString::fromUtf8(test::readFile(dir.filePath("template.txt")));
    for (const char* v : values) EXPECT_TRUE(text.contains(QLatin1String(v))) << v << " in " << text.toStdString();
}

TEST(CoverTemplates, CloneThenCancelAddsNothingAndTheNextNewIsNoClone) {
    TempHome home;
    CoverTables t;
    ASSERT_TRUE(OpenCoverDBF(t.table, t.link));
    TCoverBrowse browse(t.table, t.source, t.link);

    // Edit, Clone and Delete on the empty list only beep: no window opens.
    ModalDriver empty;
    empty.then([&](QWidget* modal) {
             if (modal != &browse) return false;
             for (const char* b : {"ModifyButton", "CloneButton", "DeleteButton"}) button(&browse, b)->click();
             return true;
         })
        .then(onBrowser("CloseButton"));
    runBrowser(browse, empty);

    ModalDriver first;
    first.then(onBrowser("NewButton"))
        .then(onEditor([](TCoverEditor& e) {
            e.description()->setText("Business");
            QTextCursor c = e.richCover()->textCursor();
            c.insertText("Dear recipient");
            e.richCover()->setTextCursor(c);
            button(&e, "OKbutton")->click();
        }))
        .then(onBrowser("CloseButton"));
    runBrowser(browse, first);

    QString cloneDescription, cloneText, nextDescription, nextText;
    bool cloneModeAfterCancel = true;
    ModalDriver clone;
    clone.then(onBrowser("CloneButton"))
        .then(onEditor([&](TCoverEditor& e) {
            cloneDescription = e.description()->text();
            cloneText = e.richCover()->document()->toPlainText();
            button(&e, "CancelButton")->click();
        }))
        .then([&](QWidget* modal) {
            if (modal != &browse) return false;
            cloneModeAfterCancel = browse.cloneMode();
            QMetaObject::invokeMethod(button(&browse, "NewButton"), "click", Qt::QueuedConnection);
            return true;
        })
        .then(onEditor([&](TCoverEditor& e) {
            nextDescription = e.description()->text();
            nextText = e.richCover()->document()->toPlainText();
            button(&e, "CancelButton")->click();
        }))
        .then(onBrowser("CloseButton"));
    runBrowser(browse, clone);
    EXPECT_EQ(cloneDescription, "[clone]Business");
    EXPECT_EQ(cloneText, "Dear recipient");
    EXPECT_FALSE(cloneModeAfterCancel);
    EXPECT_EQ(nextDescription, "{description}");
    EXPECT_EQ(nextText, "");
    t.table.close();
    EXPECT_EQ(coverFile(home)["records"].toArray().size(), 1);

    // A clone accepted is a second template with the same text.
    ASSERT_TRUE(OpenCoverDBF(t.table, t.link));
    ModalDriver cloneOk;
    cloneOk.then(onBrowser("CloneButton"))
        .then(onEditor([](TCoverEditor& e) { button(&e, "OKbutton")->click(); }))
        .then(onBrowser("CloseButton"));
    runBrowser(browse, cloneOk);
    t.table.close();
    const QJsonArray records = coverFile(home)["records"].toArray();
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records[1].toObject()["DESCRIPT"].toString(), "[clone]Business");
    EXPECT_EQ(records[1].toObject()["COVER"].toString(), records[0].toObject()["COVER"].toString());
}

TEST(CoverTemplates, DeleteAsksWithNoAsDefaultAndPickingHandsBackTheCurrentRecord) {
    TempHome home;
    CoverTables t;
    ASSERT_TRUE(OpenCoverDBF(t.table, t.link));
    for (const char* d : {"Alpha", "Beta"}) {
        t.table.append();
        t.table.fieldByName("DESCRIPT").setAsString(d);
        t.table.post();
    }
    t.table.first();
    TCoverBrowse browse(t.table, t.source, t.link);
    browse.setPickingUse(true);
    EXPECT_TRUE(button(&browse, "CloseButton")->isHidden());
    EXPECT_FALSE(button(&browse, "Acceptbutton")->isHidden());
    EXPECT_FALSE(button(&browse, "CancelButton")->isHidden());

    QString question;
    bool defaultIsNo = false;
    auto answer = [&](bool yes) {
        return [&, yes](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) return false;
            question = box->windowTitle() + "|" + box->text();
            defaultIsNo = box->defaultButton() == box->button(QMessageBox::No);
            if (yes)
                box->button(QMessageBox::Yes)->click();
            else
                QTest::keyClick(box, Qt::Key_Return);
            return true;
        };
    };
    ModalDriver driver;
    driver.then(onBrowser("DeleteButton")).then(answer(false)).then(onBrowser("DeleteButton")).then(answer(true));
    driver.then(onBrowser("Acceptbutton"));
    EXPECT_EQ(runBrowser(browse, driver), QDialog::Accepted);
    EXPECT_TRUE(defaultIsNo);
    EXPECT_EQ(question, "Delete|Delete the current cover template?:\nAlpha");
    // Alpha went with the second answer; the record current at Accept is Beta.
    EXPECT_EQ(t.table.fieldByName("DESCRIPT").asString(), "Beta");
    t.table.close();
    const QJsonObject file = coverFile(home);
    ASSERT_EQ(file["records"].toArray().size(), 1);
    ASSERT_EQ(file["deleted"].toArray().size(), 1);
    EXPECT_EQ(file["deleted"].toArray()[0].toObject()["DESCRIPT"].toString(), "Alpha");
}

TEST(CoverTemplates, EditorToolBarPageBreakWordWrapZoomAndHints) {
    TempHome home;
    TCoverEditor e;
    EXPECT_EQ(e.windowTitle(), "Cover Sheet Template Editor");
    auto* bar = child<TRichToolBar>(&e, "RichToolBar1");
    ASSERT_NE(bar, nullptr);
    // The program's own buttons come last on the tool bar, in this order.
    QList<QWidget*> order;
    for (QAction* a : bar->actions())
        if (QWidget* w = bar->widgetForAction(a)) order << w;
    ASSERT_GE(order.size(), 3);
    EXPECT_EQ(order[order.size() - 3]->objectName(), "CoverDocPageBreakButton");
    EXPECT_EQ(order[order.size() - 2]->objectName(), "CoverParagraphSetupbutton");
    EXPECT_EQ(order[order.size() - 1]->objectName(), "CoverDocWordWrapButton");
    EXPECT_EQ(order[order.size() - 3]->statusTip(), "Insert Page Break");
    EXPECT_EQ(order[order.size() - 2]->statusTip(), "Paragraph properties");

    auto* wrap = child<QToolButton>(&e, "CoverDocWordWrapButton");
    EXPECT_EQ(wrap->statusTip(), "Toggle word wrap on");
    EXPECT_FALSE(wrap->isChecked());
    EXPECT_FALSE(e.richCover()->wordWrap());
    wrap->click();
    EXPECT_TRUE(e.richCover()->wordWrap());
    EXPECT_EQ(wrap->statusTip(), "Toggle word wrap off");
    EXPECT_TRUE(wrap->isChecked());
    wrap->click();
    EXPECT_FALSE(e.richCover()->wordWrap());
    EXPECT_EQ(wrap->statusTip(), "Toggle word wrap on");

    for (auto [name, caption, hint] :
         {std::tuple{"OKbutton", "&Accept", "Ok - save changes to this template"},
          std::tuple{"CancelButton", "Cance&l", "Cancel - do not save changes to this template"},
          std::tuple{"HelpButton", "&Help", "Get Windows help for Cover Sheet Template Editor"},
          std::tuple{"ExplorerButton1", "&Insert", "Insert a field from the recipient data, or the current date and time"},
          std::tuple{"Zoombutton", "100%", "Set the view percentage for the current editor"}}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(button(&e, name)->text(), caption);
        EXPECT_EQ(button(&e, name)->statusTip(), hint);
    }
    EXPECT_EQ(e.description()->statusTip(), "Enter a description for this cover sheet template here");

    // Page break: refusing (Enter picks No) changes nothing; Yes starts a new page.
    e.show();
    QTextCursor c = e.richCover()->textCursor();
    c.insertText("first page second page");
    c.setPosition(11);
    e.richCover()->setTextCursor(c);
    auto* pageBreak = child<QToolButton>(&e, "CoverDocPageBreakButton");
    QString question;
    ModalDriver refuse;
    refuse.then([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return false;
        question = box->windowTitle() + "|" + box->text();
        QTest::keyClick(box, Qt::Key_Return);
        return true;
    });
    ASSERT_TRUE(refuse.run([&] { pageBreak->click(); }));
    EXPECT_EQ(question, "Page Break|Add a page break here?");
    EXPECT_EQ(e.richCover()->document()->blockCount(), 1);
    ModalDriver agree;
    agree.then([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return false;
        box->button(QMessageBox::Yes)->click();
        return true;
    });
    ASSERT_TRUE(agree.run([&] { pageBreak->click(); }));
    ASSERT_EQ(e.richCover()->document()->blockCount(), 2);
    EXPECT_EQ(e.richCover()->document()->lastBlock().text(), "second page");
    EXPECT_TRUE(e.richCover()->document()->lastBlock().blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore);
    // The insertion point stayed where the user was.
    EXPECT_EQ(e.richCover()->textCursor().block().text(), "second page");

    // Zoom: the menu sets it, the caption follows, and the menu checks the item of the zoom shown.
    auto* zoomMenu = child<QMenu>(&e, "ZoomMenu");
    zoomMenu->findChild<QAction*>("Zoom70")->trigger();
    EXPECT_EQ(e.richCover()->zoom(), 70);
    EXPECT_EQ(button(&e, "Zoombutton")->text(), "70%");
    emit zoomMenu->aboutToShow();
    EXPECT_TRUE(zoomMenu->findChild<QAction*>("Zoom70")->isChecked());
    EXPECT_FALSE(zoomMenu->findChild<QAction*>("Zoom100")->isChecked());
    e.richCover()->setZoom(93);
    emit zoomMenu->aboutToShow();
    for (const char* z : {"Zoom70", "Zoom80", "Zoom100"}) EXPECT_FALSE(zoomMenu->findChild<QAction*>(z)->isChecked()) << z;

    // A caption that names no field inserts nothing; the five captions are matched in upper case.
    const int before = e.richCover()->document()->characterCount();
    e.MenuItemClick("Signature");
    EXPECT_EQ(e.richCover()->document()->characterCount(), before);
    e.MenuItemClick("fax number");
    ASSERT_EQ(fieldsOf(e).size(), 1);
    EXPECT_EQ(fieldsOf(e)[0].tag, 2);
    EXPECT_EQ(fieldsOf(e)[0].value, "[FAX#]");
    e.reject();
}

TEST(CoverTemplates, MainWindowOpensTheBrowserForUpkeepAndClosesTheTable) {
    TempHome home;
    home.write("ORV.INI", "[Modem]\nComPort=0\n");
    TMainScreen w;
    w.show();
    QApplication::processEvents();
    QAction* item = w.findChild<QAction*>("mnuCover");
    ASSERT_NE(item, nullptr);
    bool upkeep = false, open = false;
    ModalDriver driver;
    driver.then([&](QWidget* modal) {
        if (modal->objectName() != QLatin1String("CoverBrowse")) return false;
        upkeep = !button(modal, "CloseButton")->isHidden() && button(modal, "Acceptbutton")->isHidden() &&
                 button(modal, "CancelButton")->isHidden();
        open = w.coverTable().active();
        button(modal, "CloseButton")->click();
        return true;
    });
    ASSERT_TRUE(driver.run([&] { item->trigger(); }));
    EXPECT_TRUE(upkeep);
    EXPECT_TRUE(open);
    EXPECT_FALSE(w.coverTable().active());
    EXPECT_TRUE(QFile::exists(home.file("ORVCOV.DBF")));
}
