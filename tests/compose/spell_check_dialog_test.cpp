// "Spell Check" over a real rich-text editor, answered the way a user would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <QTextDocument>

#include "compose/cover_editor.h"
#include "compose/fax_editor.h"
#include "compose/spell_check_dialog.h"
#include "compose/spell_install.h"
#include "shell/modal_driver.h"
#include "config/program_folder.h"
#include "shell/status_line.h"
#include "support/temp_home.h"
#include "ui/richtext/rich_editor.h"
#include "ui/richtext/rich_tool_bar.h"
#include "ui/widgets/hint.h"

using namespace orv;
using orv::test::child;

namespace {

TSpellCheckDialog* spellDialog(QWidget* modal) { return qobject_cast<TSpellCheckDialog*>(modal); }

// A step that waits until the dialog stops at the expected word, then acts.
test::ModalDriver::Step atWord(const QString& expected, std::function<void(TSpellCheckDialog*)> act) {
    return [expected, act](QWidget* modal) {
        auto* d = spellDialog(modal);
        // Until the dialog shows that word; a different one runs the driver into its time-out.
        if (!d || d->Word->text() != expected) return false;
        act(d);
        return true;
    };
}

test::ModalDriver::Step answerComplete(bool* seen) {
    return [seen](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return false;
        EXPECT_EQ(box->text(), "Spell check complete");
        *seen = true;
        box->accept();
        return true;
    };
}

// Clicks from the event loop, so the step returns before the modal box the
// click may open (the driver answers it on a later tick).
void clickLater(QPushButton* b) { QMetaObject::invokeMethod(b, &QPushButton::click, Qt::QueuedConnection); }

// The spell-check button of the tool bar that serves an editor.
QToolButton* spellButtonOf(QWidget* window, TRichEditor* editor) {
    for (TRichToolBar* bar : window->findChildren<TRichToolBar*>())
        if (bar->editor() == editor) return bar->findChild<QToolButton*>("SpellButton");
    ADD_FAILURE() << "no tool bar for the editor";
    return nullptr;
}

QListWidgetItem* suggestion(TSpellCheckDialog* d, const QString& text) {
    const auto items = d->WordList->findItems(text, Qt::MatchExactly);
    return items.isEmpty() ? nullptr : items.first();
}

}  // namespace

TEST(SpellCheckDialog, ControlsCaptionsAndHints) {
    test::TempHome home;
    ASSERT_TRUE(InstallMainDictionary(ProgramFolder()));
    QLabel mainStatus;
    SetCurrentStatusLabel(&mainStatus);
    {
        TSpellCheckDialog d;
        EXPECT_EQ(d.windowTitle(), "Spell Check");
        EXPECT_EQ(CurrentStatusLabel(), d.status);
        EXPECT_EQ(child<QPushButton>(&d, "Replace")->text(), "Replace ");
        EXPECT_TRUE(d.Replace->isDefault());
        EXPECT_EQ(child<QPushButton>(&d, "GetNextWordButton")->text(), "&Skip Word");
        EXPECT_EQ(child<QPushButton>(&d, "Addbutton")->text(), "&Add Word");
        EXPECT_EQ(child<QPushButton>(&d, "Cancelbutton")->text(), "Cancel");
        EXPECT_EQ(Hint(child<QLineEdit>(&d, "Word")), "The spell checker does not have this word in its dictionary");
        EXPECT_EQ(Hint(child<QLineEdit>(&d, "ReplaceAs")),
                  "The spelling error will be replaced with this word if you click Replace");
        EXPECT_EQ(Hint(child<QListWidget>(&d, "WordList")),
                  "Click one of these suggested replacements to move it into the Replace With box");
        EXPECT_EQ(Hint(d.Replace), "Replace the word");
        EXPECT_EQ(Hint(d.GetNextWordButton), "Skip the word");
        EXPECT_EQ(Hint(d.Addbutton), "Add the word to the user dictionary");
        EXPECT_EQ(Hint(d.Cancelbutton), "Cancel the spell check");
        EXPECT_NE(child<QLabel>(&d, "status"), nullptr);
        EXPECT_NE(d.findChild<TSpellEngine*>("SpellEngine1"), nullptr);
        QStringList labels;
        for (QLabel* l : d.findChildren<QLabel*>()) labels << l->text();
        EXPECT_TRUE(labels.contains("Possible spelling error"));
        EXPECT_TRUE(labels.contains("Replace with"));
        EXPECT_TRUE(labels.contains("Possible replacements"));
        // The user dictionary was created on first use; Add Word works.
        EXPECT_TRUE(QFileInfo::exists(home.file("orvu.dct")));
        EXPECT_TRUE(d.Addbutton->isEnabled());
        EXPECT_TRUE(d.engine()->hasMainDictionary());
    }
    EXPECT_EQ(CurrentStatusLabel(), &mainStatus);  // restored when the dialog goes
    SetCurrentStatusLabel(nullptr);
}

TEST(SpellCheckDialog, ReplaceSkipAddAndTheAddedWordAfterARestart) {
    test::TempHome home;
    ASSERT_TRUE(InstallMainDictionary(ProgramFolder()));
    TRichEditor editor;
    editor.document()->setPlainText("Teh quick brwon fox meets Zorbulax and a tset of 2nd words.");
    editor.show();

    bool complete = false;
    test::ModalDriver driver;
    driver
        .then(atWord("Teh",
                     [](TSpellCheckDialog* d) {
                         EXPECT_LE(d->WordList->count(), 10);
                         QListWidgetItem* the = suggestion(d, "The");
                         ASSERT_NE(the, nullptr);
                         // The first suggestion is offered; clicking another takes it.
                         EXPECT_EQ(d->ReplaceAs->text(), d->WordList->item(0)->text());
                         emit d->WordList->itemClicked(the);
                         EXPECT_EQ(d->ReplaceAs->text(), "The");
                         clickLater(d->Replace);
                     }))
        .then(atWord("brwon",
                     [](TSpellCheckDialog* d) {
                         QListWidgetItem* brown = suggestion(d, "brown");
                         ASSERT_NE(brown, nullptr);
                         emit d->WordList->itemDoubleClicked(brown);
                         clickLater(d->Replace);
                     }))
        .then(atWord("Zorbulax", [](TSpellCheckDialog* d) { clickLater(d->Addbutton); }))
        .then(atWord("tset", [](TSpellCheckDialog* d) { clickLater(d->GetNextWordButton); }))
        .then(answerComplete(&complete));
    ASSERT_TRUE(driver.run([&] { RunSpellCheck(&editor, nullptr); }));
    EXPECT_TRUE(complete);
    EXPECT_EQ(driver.unexpected(), 0) << driver.unexpectedTitles().join(", ").toStdString();
    EXPECT_EQ(editor.document()->toPlainText(), "The quick brown fox meets Zorbulax and a tset of 2nd words.");
    EXPECT_FALSE(editor.textCursor().hasSelection());  // the mark is gone

    // "Restart": a new engine on the same program folder knows the added word.
    TSpellEngine engine;
    ASSERT_TRUE(engine.openMainDictionary(home.file("orv.dct")));
    ASSERT_GE(engine.openUserDictionary(home.file("orvu.dct")), 0);
    EXPECT_TRUE(engine.checkWord("Zorbulax"));
    EXPECT_FALSE(engine.checkWord("tset"));

    // A second check stops only at the skipped word; Cancel ends it there.
    test::ModalDriver again;
    again.then(atWord("tset", [](TSpellCheckDialog* d) { clickLater(d->Cancelbutton); }));
    ASSERT_TRUE(again.run([&] { RunSpellCheck(&editor, nullptr); }));
    EXPECT_EQ(again.unexpected(), 0);
    EXPECT_FALSE(editor.textCursor().hasSelection());
}

TEST(SpellCheckDialog, WithoutDictionaryFilesEveryWordIsReportedAndAddingIsOff) {
    test::TempHome home;
    // No orv.dct, and orvu.dct is a folder, so it can be neither opened nor created.
    QDir().mkpath(home.file("orvu.dct"));
    TRichEditor editor;
    editor.document()->setPlainText("a cat");
    bool complete = false;
    test::ModalDriver driver;
    driver
        .then(atWord("cat",
                     [](TSpellCheckDialog* d) {
                         EXPECT_FALSE(d->Addbutton->isEnabled());
                         EXPECT_EQ(d->WordList->count(), 0);
                         EXPECT_EQ(d->ReplaceAs->text(), "cat");  // no suggestion: the word itself
                         clickLater(d->GetNextWordButton);
                     }))
        .then(answerComplete(&complete));
    ASSERT_TRUE(driver.run([&] { RunSpellCheck(&editor, nullptr); }));
    EXPECT_TRUE(complete);
    EXPECT_EQ(driver.unexpected(), 0);

    // An empty text completes at once.
    editor.document()->setPlainText("");
    complete = false;
    test::ModalDriver empty;
    empty.then(answerComplete(&complete));
    ASSERT_TRUE(empty.run([&] { RunSpellCheck(&editor, nullptr); }));
    EXPECT_TRUE(complete);
}

TEST(SpellCheckDialog, MainDictionaryIsInstalledOnceAndNotOverwritten) {
    test::TempHome home;
    EXPECT_FALSE(QFileInfo::exists(home.file("orv.dct")));
    ASSERT_TRUE(InstallMainDictionary(ProgramFolder()));
    const QByteArray delivered = home.read("orv.dct");
    EXPECT_GT(delivered.size(), 100000);
    QFile resource(":/dict/orv.dct");
    ASSERT_TRUE(resource.open(QIODevice::ReadOnly));
    EXPECT_EQ(resource.readAll(), delivered);
    // A dictionary already there (the user's own, say) stays as it is.
    home.write("orv.dct", "mine");
    EXPECT_TRUE(InstallMainDictionary(ProgramFolder()));
    EXPECT_EQ(home.read("orv.dct"), "mine");
    EXPECT_FALSE(InstallMainDictionary(home.file("no/such/folder/")));
}

TEST(SpellCheckDialog, TheEditorsSpellCheckButtonsOpenIt) {
    test::TempHome home;
    ASSERT_TRUE(InstallMainDictionary(ProgramFolder()));
    TFaxEditor fax;
    fax.richDoc()->document()->setPlainText("Teh quick brwon fox meets Zorbulax.");
    fax.richCover()->document()->setPlainText("Zorbulax is heer.");
    fax.show();

    // The document page: replace two words, add a made-up one.
    bool complete = false;
    test::ModalDriver doc;
    doc.then(atWord("Teh",
                    [](TSpellCheckDialog* d) {
                        emit d->WordList->itemClicked(suggestion(d, "The"));
                        clickLater(d->Replace);
                    }))
        .then(atWord("brwon",
                     [](TSpellCheckDialog* d) {
                         emit d->WordList->itemClicked(suggestion(d, "brown"));
                         clickLater(d->Replace);
                     }))
        .then(atWord("Zorbulax", [](TSpellCheckDialog* d) { clickLater(d->Addbutton); }))
        .then(answerComplete(&complete));
    ASSERT_TRUE(doc.run([&] { spellButtonOf(&fax, fax.richDoc())->click(); }));
    EXPECT_TRUE(complete);
    EXPECT_EQ(fax.richDoc()->document()->toPlainText(), "The quick brown fox meets Zorbulax.");

    // The cover page, checked by a new dialog that reads orvu.dct afresh: the
    // added word is known, the misspelling is not.
    test::ModalDriver cover;
    cover.then(atWord("heer", [](TSpellCheckDialog* d) {
        EXPECT_NE(suggestion(d, "hear"), nullptr);
        clickLater(d->Cancelbutton);
    }));
    ASSERT_TRUE(cover.run([&] { spellButtonOf(&fax, fax.richCover())->click(); }));
    EXPECT_EQ(cover.unexpected(), 0);

    // The cover-template editor's button.
    TCoverEditor templates;
    templates.richCover()->document()->setPlainText("Dear Sir, plese call.");
    templates.show();
    test::ModalDriver tmpl;
    tmpl.then(atWord("plese", [](TSpellCheckDialog* d) {
        EXPECT_TRUE(suggestion(d, "please"));
        clickLater(d->Replace);
    }));
    bool done = false;
    tmpl.then(answerComplete(&done));
    ASSERT_TRUE(tmpl.run([&] { spellButtonOf(&templates, templates.richCover())->click(); }));
    EXPECT_TRUE(done);
    EXPECT_EQ(templates.richCover()->document()->toPlainText(), "Dear Sir, please call.");
}
