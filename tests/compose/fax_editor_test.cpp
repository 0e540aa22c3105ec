// The fax editor alone and through the main window's New, Edit and Clone,
// over real tables in a temporary program folder; what is stored is read
// back with dbfread and made into a fax file by the page painting.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QJsonArray>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QToolButton>

#include "compose/fax_editor.h"
#include "images/apf_file.h"
#include "images/fax_converter.h"
#include "produce/fax_file_creation.h"
#include "shell/main_screen.h"
#include "shell/modal_driver.h"
#include "shell/rich_text_memo.h"
#include "store/schemas.h"
#include "store/store_test_util.h"
#include "support/temp_home.h"
#include "ui/richtext/rich_editor.h"
#include "ui/richtext/rich_tool_bar.h"
#include "ui/widgets/enter_edit.h"
#include "ui/widgets/picture_button.h"

using namespace orv;
using orv::test::button;
using orv::test::child;
using orv::test::ModalDriver;
using orv::test::TempHome;

namespace {


void typeInto(TRichEditor* e, const QString& text) {
    QTextCursor c = e->textCursor();
    c.insertText(text);
    e->setTextCursor(c);
}

// A template "Standard" whose text holds all five merge fields.
void addTemplate(const QString& description) {
    TTable table;
    TDataSource source;
    TEngineLink link;
    source.setDataSet(&table);
    link.setDataSource(&source);
    ASSERT_TRUE(OpenCoverDBF(table, link));
    RichTextDocument text;
    QTextCursor c(text.document());
    c.insertText("To ");
    int tag = 1;
    for (const char* v : {"[RECIPIENT]", "[FAX#]", "[SUBJECT]", "[DATE]", "[TIME]"}) {
        text.insertMergeField(c, QChar('*'), tag++, QString::fromLatin1(v));
        c.insertText("|");
    }
    table.append();
    table.fieldByName("DESCRIPT").setAsString(description);
    SaveRichText(text, "COVER", link);
    table.post();
    table.close();
}

void addPhoneEntry(const QString& name, const QString& number) {
    test::Bound b;
    ASSERT_TRUE(OpenPhoneDBF(b.table, b.link));
    b.table.append();
    b.table.fieldByName("NAME").setAsString(name);
    b.table.fieldByName("PHONE").setAsString(number);
    b.table.post();
}

// Clicks a button later, so the modal window it opens is answered by the next step.
void clickLater(QAbstractButton* b) { QMetaObject::invokeMethod(b, "click", Qt::QueuedConnection); }

ModalDriver::Step acceptPicker(const char* windowName, const char* acceptName) {
    return [=](QWidget* modal) {
        if (modal->objectName() != QLatin1String(windowName)) return false;
        button(modal, acceptName)->click();
        return true;
    };
}

ModalDriver::Step answerYes() {
    return [](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return false;
        box->button(QMessageBox::Yes)->click();
        return true;
    };
}

}  // namespace

TEST(FaxEditor, PagesZoomEnterHintsAndTheToolBars) {
    TempHome home;
    TFaxEditor e;
    e.show();
    QApplication::processEvents();
    EXPECT_EQ(e.currentPage(), TFaxEditor::pgRecipient);
    EXPECT_TRUE(button(&e, "RecipientButton")->isChecked());
    EXPECT_TRUE(button(&e, "Zoombutton")->isHidden());

    // Enter in the recipient name moves to the fax number and inserts nothing.
    QApplication::setActiveWindow(&e);
    e.recipient()->setFocus();
    QTest::keyClicks(e.recipient(), "Ann");
    QTest::keyClick(e.recipient(), Qt::Key_Return);
    EXPECT_TRUE(e.faxNumber()->hasFocus());
    EXPECT_EQ(e.recipient()->text(), "Ann");
    EXPECT_TRUE(e.isVisible());
    EXPECT_EQ(e.recipient()->maxLength(), 35);
    EXPECT_EQ(e.faxNumber()->maxLength(), 25);
    EXPECT_EQ(e.subject()->maxLength(), 50);

    // The zoom button shows the zoom of the editor of the page shown.
    button(&e, "DocumentButton")->click();
    EXPECT_EQ(e.currentPage(), TFaxEditor::pgDocument);
    EXPECT_FALSE(button(&e, "Zoombutton")->isHidden());
    EXPECT_EQ(button(&e, "Zoombutton")->text(), "100%");
    child<QMenu>(&e, "ZoomMenu")->findChild<QAction*>("Zoom70")->trigger();
    EXPECT_EQ(e.richDoc()->zoom(), 70);
    EXPECT_EQ(e.richCover()->zoom(), 100);
    button(&e, "CoverButton")->click();
    EXPECT_EQ(e.currentPage(), TFaxEditor::pgCover);
    EXPECT_EQ(button(&e, "Zoombutton")->text(), "100%");
    emit child<QMenu>(&e, "ZoomMenu")->aboutToShow();
    EXPECT_TRUE(child<QMenu>(&e, "ZoomMenu")->findChild<QAction*>("Zoom100")->isChecked());
    button(&e, "DocumentButton")->click();
    EXPECT_EQ(button(&e, "Zoombutton")->text(), "70%");
    button(&e, "RecipientButton")->click();
    EXPECT_TRUE(button(&e, "Zoombutton")->isHidden());

    for (auto [name, hint] : {std::pair{"OKButton", "Ok - save changes to this fax"},
                              std::pair{"CancelButton", "Cancel - do not save changes to this fax"},
                              std::pair{"Helpbutton", "Get Windows help for Fax Editor"},
                              std::pair{"CoverButton", "Edit the optional fax cover sheet"},
                              std::pair{"DocumentButton", "Edit the fax document"},
                              std::pair{"RecipientButton", "Edit the recipient information"},
                              std::pair{"Zoombutton", "Set the view percentage for the current editor"},
                              std::pair{"AddressButton", "Click here to access the Phone Book"}})
        EXPECT_EQ(button(&e, name)->statusTip(), hint) << name;
    EXPECT_EQ(e.recipient()->statusTip(), "Enter recipient name here");
    EXPECT_EQ(e.faxNumber()->statusTip(), "Enter recipient fax number here");
    EXPECT_EQ(e.subject()->statusTip(), "Enter subject (topic) of fax here");

    // Each tool bar ends with the program's own buttons, in this order.
    auto lastNames = [](TRichToolBar* bar, int n) {
        QStringList names;
        for (QAction* a : bar->actions())
            if (QWidget* w = bar->widgetForAction(a)) names << w->objectName();
        return names.mid(names.size() - n);
    };
    EXPECT_EQ(lastNames(child<TRichToolBar>(&e, "RichToolDoc"), 3),
              QStringList({"DocPageBreakButton", "ParagraphSetupButton", "DocWordWrapButton"}));
    EXPECT_EQ(lastNames(child<TRichToolBar>(&e, "RichToolCover"), 4),
              QStringList({"CoverDocPageBreakButton", "CoverParagraphSetupbutton", "CoverDocWordWrapButton", "LoadCoverButton"}));
    EXPECT_EQ(child<TRichToolBar>(&e, "RichToolDoc")->height(), child<TRichToolBar>(&e, "RichToolCover")->height());
    EXPECT_EQ(child<QToolButton>(&e, "LoadCoverButton")->statusTip(), "Load Cover Sheet from Template");
    for (const char* wrapName : {"DocWordWrapButton", "CoverDocWordWrapButton"}) {
        auto* wrap = child<QToolButton>(&e, wrapName);
        EXPECT_EQ(wrap->statusTip(), "Toggle word wrap on");
        wrap->click();
        EXPECT_EQ(wrap->statusTip(), "Toggle word wrap off");
        EXPECT_TRUE(wrap->isChecked());
    }
    EXPECT_TRUE(e.richDoc()->wordWrap());
    EXPECT_TRUE(e.richCover()->wordWrap());
    EXPECT_EQ(e.richDoc()->pageLayout().width, 12240);
    EXPECT_EQ(e.richCover()->pageLayout().bottom, 720);

    // Refusing the page break (Enter picks No) changes nothing; the spell-check
    // button only raises the signal, no window opens.
    button(&e, "DocumentButton")->click();
    typeInto(e.richDoc(), "one two");
    int spellRequests = 0;
    QObject::connect(&e, &TFaxEditor::spellCheckRequested, [&](TRichEditor* ed) { spellRequests += ed == e.richDoc(); });
    ModalDriver refuse;
    refuse.then([](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return false;
        QTest::keyClick(box, Qt::Key_Return);
        return true;
    });
    ASSERT_TRUE(refuse.run([&] { child<QToolButton>(&e, "DocPageBreakButton")->click(); }));
    EXPECT_EQ(e.richDoc()->document()->blockCount(), 1);
    EXPECT_EQ(e.currentPage(), TFaxEditor::pgDocument);  // coming back from the question keeps the page
    // The spell-check button raises the signal for the document's editor and
    // opens the Spell Check window, which its own tests drive; here it is closed.
    ModalDriver spell;
    QStringList spellTitles;
    spell.then([&](QWidget* modal) {
        spellTitles << modal->windowTitle();
        modal->close();
        return true;
    });
    spell.run([&] { child<TRichToolBar>(&e, "RichToolDoc")->findChild<QToolButton*>("SpellButton")->click(); });
    EXPECT_EQ(spellRequests, 1);
    EXPECT_FALSE(spellTitles.isEmpty() && spell.unexpectedTitles().isEmpty()) << "the spell-check button opened nothing";

    // Merge values by tag, cut to 100 characters; other tags give nothing.
    e.subject()->setText(QString(50, 'S'));
    EXPECT_EQ(e.RichCoverGetTextToInsert(1).value(), "Ann");
    EXPECT_EQ(e.RichCoverGetTextToInsert(3).value(), QString(50, 'S'));
    EXPECT_EQ(e.RichCoverGetTextToInsert(4).value(), QLocale().toString(QDate::currentDate(), QLocale::ShortFormat));
    EXPECT_FALSE(e.RichCoverGetTextToInsert(6).has_value());
    EXPECT_FALSE(e.RichCoverGetTextToInsert(0).has_value());
    e.reject();
}

TEST(FaxEditor, LoadingATemplateReplacesTheCoverAndFillsItsFieldsOnce) {
    TempHome home;
    addTemplate("Standard");
    TTable table;
    TDataSource source;
    TEngineLink link;
    source.setDataSet(&table);
    link.setDataSource(&source);
    TFaxEditor e;
    e.setCoverTables(&table, &source, &link);
    e.show();
    e.recipient()->setText("Ann Example");
    e.faxNumber()->setText("555 0100");
    // The subject stays empty: its field shows empty.
    button(&e, "CoverButton")->click();
    typeInto(e.richCover(), "typed before");

    // Cancel in the browser leaves the cover sheet as it was.
    ModalDriver cancel;
    cancel.then(acceptPicker("CoverBrowse", "CancelButton"));
    ASSERT_TRUE(cancel.run([&] { child<QToolButton>(&e, "LoadCoverButton")->click(); }));
    EXPECT_EQ(e.richCover()->document()->toPlainText(), "typed before");
    EXPECT_FALSE(table.active());

    bool pickerMode = false;
    ModalDriver load;
    load.then([&](QWidget* modal) {
        if (modal->objectName() != QLatin1String("CoverBrowse")) return false;
        pickerMode = button(modal, "CloseButton")->isHidden() && !button(modal, "Acceptbutton")->isHidden();
        button(modal, "Acceptbutton")->click();
        return true;
    });
    ASSERT_TRUE(load.run([&] { child<QToolButton>(&e, "LoadCoverButton")->click(); }));
    EXPECT_TRUE(pickerMode);
    EXPECT_FALSE(table.active());  // closed again after the choice
    const QList<MergeFieldInfo> fields = e.richCover()->richText().fields();
    ASSERT_EQ(fields.size(), 5);
    EXPECT_EQ(fields[0].value, "Ann Example");
    EXPECT_EQ(fields[1].value, "555 0100");
    EXPECT_EQ(fields[2].value, "");
    EXPECT_EQ(fields[3].value, QLocale().toString(QDate::currentDate(), QLocale::ShortFormat));
    EXPECT_FALSE(fields[4].value.isEmpty());
    for (const MergeFieldInfo& f : fields) EXPECT_TRUE(f.hidden);
    // The whole cover sheet was replaced; hidden markers are no text.
    const QString text = e.richCover()->lines().join("\n");
    EXPECT_FALSE(text.contains("typed before"));
    EXPECT_TRUE(text.startsWith("To Ann Example|555 0100||")) << text.toStdString();
    // Later changes of the recipient do not reach the cover sheet.
    e.recipient()->setText("Someone Else");
    EXPECT_EQ(e.richCover()->richText().fields()[0].value, "Ann Example");
    e.reject();
}

TEST(FaxEditor, NewEditCloneThroughTheMainWindowAndAFaxFileOfThreePages) {
    TempHome home;
    home.write("ORV.INI", "[Modem]\nComPort=0\n");
    addTemplate("Standard");
    addPhoneEntry("Ann Example", "555 0100");
    TMainScreen w;
    w.show();
    QApplication::processEvents();

    // Cancel writes nothing.
    const QByteArray dbfBefore = test::readFile(home.file("ORV.DBF"));
    ModalDriver cancel;
    cancel.then([](QWidget* modal) {
        auto* e = qobject_cast<TFaxEditor*>(modal);
        if (!e) return false;
        e->subject()->setText("not stored");
        button(e, "CancelButton")->click();
        return true;
    });
    ASSERT_TRUE(cancel.run([&] { button(&w, "Newbutton")->click(); }));
    EXPECT_EQ(test::readFile(home.file("ORV.DBF")), dbfBefore);

    // New: recipient from the phone book, a template, a two-page letter.
    TFaxEditor* editor = nullptr;
    ModalDriver compose;
    compose
        .then([&](QWidget* modal) {
            editor = qobject_cast<TFaxEditor*>(modal);
            if (!editor) return false;
            clickLater(button(editor, "AddressButton"));
            return true;
        })
        .then(acceptPicker("PhoneBook", "OKButton"))
        .then([&](QWidget* modal) {
            if (modal != editor) return false;
            editor->subject()->setText("Quarterly report");
            button(editor, "CoverButton")->click();
            clickLater(child<QToolButton>(editor, "LoadCoverButton"));
            return true;
        })
        .then(acceptPicker("CoverBrowse", "Acceptbutton"))
        .then([&](QWidget* modal) {
            if (modal != editor) return false;
            button(editor, "DocumentButton")->click();
            typeInto(editor->richDoc(), "Page one of the letter.");
            clickLater(child<QToolButton>(editor, "DocPageBreakButton"));
            return true;
        })
        .then(answerYes())
        .then([&](QWidget* modal) {
            if (modal != editor) return false;
            typeInto(editor->richDoc(), "Page two of the letter.");
            button(editor, "OKButton")->click();
            return true;
        });
    ASSERT_TRUE(compose.run([&] { button(&w, "Newbutton")->click(); }));
    EXPECT_EQ(compose.unexpected(), 0) << compose.unexpectedTitles().join(",").toStdString();

    QJsonArray records = test::readWithDbfread(home.file("ORV.DBF"))["records"].toArray();
    ASSERT_EQ(records.size(), 1);
    QJsonObject r = records[0].toObject();
    EXPECT_EQ(r["RECIPIENT"].toString(), "Ann Example");
    EXPECT_EQ(r["PHONE"].toString(), "555 0100");
    EXPECT_EQ(r["SUBJECT"].toString(), "Quarterly report");
    EXPECT_EQ(r["SENT"].toBool(), false);
    EXPECT_TRUE(r["RTFCOVER"].toString().contains("Ann Example"));
    EXPECT_TRUE(r["RTFDOC"].toString().contains("Page two of the letter."));
    EXPECT_TRUE(button(&w, "EditButton")->isEnabled());

    // Edit shows the same fax; Cancel leaves the record alone.
    QString docText, coverText, recipient, subject;
    ModalDriver edit;
    edit.then([&](QWidget* modal) {
        auto* e = qobject_cast<TFaxEditor*>(modal);
        if (!e) return false;
        docText = e->richDoc()->document()->toPlainText();
        coverText = e->richCover()->lines().join("\n");
        recipient = e->recipient()->text();
        subject = e->subject()->text();
        button(e, "CancelButton")->click();
        return true;
    });
    ASSERT_TRUE(edit.run([&] { button(&w, "EditButton")->click(); }));
    EXPECT_EQ(docText, "Page one of the letter.\nPage two of the letter.");
    EXPECT_TRUE(coverText.startsWith("To Ann Example|555 0100|Quarterly report|")) << coverText.toStdString();
    EXPECT_EQ(recipient, "Ann Example");
    EXPECT_EQ(subject, "Quarterly report");

    // The stored texts make a fax of three pages: one cover, two document pages.
    {
        RichTextDocument cover, doc;
        cover.loadRtf(r["RTFCOVER"].toString().toLatin1());
        doc.loadRtf(r["RTFDOC"].toString().toLatin1());
        QTemporaryDir dir;
        TOrvFaxConverter converter;
        QStringList pages;
        RenderRichTextPages(cover, pages, dir.path() + "/", converter);
        RenderRichTextPages(doc, pages, dir.path() + "/", converter);
        const QString fax = JoinFaxFiles(pages);
        ApfReader reader;
        ASSERT_EQ(reader.open(fax), 0);
        EXPECT_EQ(reader.pageCount(), 3);
    }

    // Clone: "[clone]" before the subject, the same texts, a record of its own.
    ModalDriver clone;
    clone.then([&](QWidget* modal) {
        auto* e = qobject_cast<TFaxEditor*>(modal);
        if (!e) return false;
        subject = e->subject()->text();
        button(e, "OKButton")->click();
        return true;
    });
    ASSERT_TRUE(clone.run([&] { button(&w, "CloneButton")->click(); }));
    EXPECT_EQ(subject, "[clone]Quarterly report");
    records = test::readWithDbfread(home.file("ORV.DBF"))["records"].toArray();
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records[1].toObject()["SUBJECT"].toString(), "[clone]Quarterly report");
    EXPECT_EQ(records[1].toObject()["RTFDOC"].toString(), records[0].toObject()["RTFDOC"].toString());

    // The next New after a clone starts empty.
    QString newSubject = "?", newDoc = "?";
    ModalDriver fresh;
    fresh.then([&](QWidget* modal) {
        auto* e = qobject_cast<TFaxEditor*>(modal);
        if (!e) return false;
        newSubject = e->subject()->text();
        newDoc = e->richDoc()->document()->toPlainText();
        button(e, "CancelButton")->click();
        return true;
    });
    ASSERT_TRUE(fresh.run([&] { button(&w, "Newbutton")->click(); }));
    EXPECT_EQ(newSubject, "");
    EXPECT_EQ(newDoc, "");
}

TEST(FaxEditor, UndoSelectAllAndAPastedPictureRefusedWithAMessage) {
    TempHome home;
    TFaxEditor e;
    e.show();
    QApplication::setActiveWindow(&e);
    button(&e, "DocumentButton")->click();
    QApplication::processEvents();
    TRichEditor* doc = e.richDoc();
    doc->setFocus();
    QTest::keyClicks(doc, "Hello");
    EXPECT_EQ(doc->document()->toPlainText(), "Hello");
    QTest::keyClick(doc, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(doc->document()->toPlainText(), "");
    QTest::keyClick(doc, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(doc->document()->toPlainText(), "Hello");
    QTest::keyClick(doc, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(doc->textCursor().selectedText(), "Hello");

    // A picture alone on the clipboard is not pasted; the status line says why.
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QGuiApplication::clipboard()->setImage(picture);
    QTest::keyClick(doc, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(doc, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(doc->document()->toPlainText(), "Hello");
    EXPECT_EQ(child<QLabel>(&e, "status")->text(), "Pictures cannot be pasted here: a fax text holds text only");
    // Text still pastes.
    QGuiApplication::clipboard()->setText(" world");
    doc->paste();
    EXPECT_EQ(doc->document()->toPlainText(), "Hello world");
    e.reject();
}
