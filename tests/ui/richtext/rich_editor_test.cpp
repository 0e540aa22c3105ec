// The editor widget and its tool bar on Qt's offscreen platform.
#include "common/orv_error.h"
#include "config/settings.h"
#include "support/temp_home.h"
#include "ui/richtext/rich_editor.h"
#include "richtext/rich_format.h"
#include "ui/richtext/rich_tool_bar.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFontComboBox>
#include <QGraphicsScene>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextLayout>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace orv;

namespace {

void type(TRichEditor& editor, int key, const QString& text = {}, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(editor.scene(), &press);
}

void typeText(TRichEditor& editor, const QString& text) {
    for (QChar ch : text) type(editor, ch.unicode(), QString(ch));
}

struct EditorFixture : ::testing::Test {
    EditorFixture() {
        window.resize(800, 600);
        editor = new TRichEditor(&window);
        toolBar = new TRichToolBar(&window);
        toolBar->setEditor(editor);
        window.show();
        window.activateWindow();
        editor->setFocus();
        QApplication::processEvents();
    }
    QWidget window;
    TRichEditor* editor;
    TRichToolBar* toolBar;
};

}  // namespace

TEST_F(EditorFixture, ToolBarHasTheButtonsAndDrivesTheEditor) {
    for (const char* name : {"FontName", "FontSize", "NormalButton", "BoldButton", "ItalicButton", "UnderlineButton",
                             "LeftButton", "RightButton", "JustifyButton", "CenterButton", "CopyButton", "CutButton",
                             "PasteButton", "SpellButton"})
        EXPECT_TRUE(toolBar->findChild<QWidget*>(name)) << name;
    auto* sizes = toolBar->findChild<QComboBox*>("FontSize");
    EXPECT_EQ(sizes->itemText(0), "8");

    // Bold and centre at the insertion point, then typed text gets them.
    toolBar->findChild<QToolButton*>("BoldButton")->click();
    toolBar->findChild<QToolButton*>("CenterButton")->click();
    typeText(*editor, "Hi");
    EXPECT_EQ(editor->document()->toPlainText(), "Hi");
    EXPECT_TRUE(editor->bold());
    EXPECT_TRUE(editor->paragraphAlignment() & Qt::AlignHCenter);
    EXPECT_TRUE(toolBar->findChild<QToolButton*>("BoldButton")->isChecked());
    toolBar->findChild<QToolButton*>("NormalButton")->click();
    EXPECT_FALSE(editor->bold());

    sizes->setEditText("14");
    emit sizes->activated(0);
    EXPECT_DOUBLE_EQ(editor->fontSize(), 14);

    QSignalSpy spell(editor, &TRichEditor::StartSpellCheck);
    toolBar->findChild<QToolButton*>("SpellButton")->click();
    EXPECT_EQ(spell.count(), 1);

    // The windows append their own buttons.
    auto* own = new QToolButton;
    own->setObjectName("DocPageBreakButton");
    toolBar->addButton(own);
    EXPECT_EQ(own->parentWidget(), toolBar);
}

TEST_F(EditorFixture, TabEnterAndPageBreaks) {
    EXPECT_EQ(editor->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(editor->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    typeText(*editor, "a");
    type(*editor, Qt::Key_Tab, "\t");
    typeText(*editor, "b");
    EXPECT_EQ(editor->document()->toPlainText(), "a\tb");

    editor->insertPageBreak();
    typeText(*editor, "c");
    type(*editor, Qt::Key_Return, "\r");
    typeText(*editor, "d");
    QList<bool> breaks;
    for (QTextBlock b = editor->document()->begin(); b.isValid(); b = b.next())
        breaks << bool(b.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore);
    EXPECT_EQ(editor->lines(), QStringList({"a\tb", "c", "d"}));
    EXPECT_EQ(breaks, QList<bool>({false, true, false})) << "Enter does not copy the page break";
    EXPECT_EQ(editor->richText().pageStarts().size(), 2);
}

TEST_F(EditorFixture, ZoomWordWrapAndLayout) {
    editor->setPageLayout({12240, 15840, 720, 720, 720, 720});
    EXPECT_EQ(editor->zoom(), 100);
    QSignalSpy zoomed(editor, &TRichEditor::zoomChanged);
    editor->setZoom(70);
    EXPECT_EQ(editor->zoom(), 70);
    EXPECT_NEAR(editor->transform().m11(), 0.7, 1e-9);
    EXPECT_EQ(zoomed.count(), 1);

    EXPECT_TRUE(editor->wordWrap());
    EXPECT_NEAR(editor->document()->textWidth(), TwipsToLayout(12240 - 1440), 0.01);
    editor->setWordWrap(false);
    EXPECT_FALSE(editor->wordWrap());
    EXPECT_LT(editor->document()->textWidth(), 0);
    // Page mode still wraps at the page.
    typeText(*editor, QString("word ").repeated(40));
    EXPECT_EQ(editor->document()->begin().layout()->lineCount(), 1);
    QImage img(1666, 2156, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    EXPECT_EQ(editor->paintPage(p, 49, 49, 1617, 2107, 0), 0);
    editor->setWordWrap(true);
    EXPECT_GT(editor->document()->begin().layout()->lineCount(), 1);
}

TEST_F(EditorFixture, MergeFieldsWordWalkAndParagraphs) {
    typeText(*editor, "To ");
    editor->insertMergeField(u'*', 1, "[RECIPIENT]");
    typeText(*editor, " thx");
    EXPECT_EQ(editor->lines(), QStringList({"To *[RECIPIENT] thx"}));
    EXPECT_THROW(editor->insertMergeField(u'*', 0, "x"), EOrvException);
    editor->mergeFields([](int tag) { return tag == 1 ? std::optional<QString>("Bob") : std::nullopt; });
    const auto lineWidth = [this] {
        QTextDocument* doc = editor->document();
        doc->documentLayout()->documentSize();
        return doc->begin().layout()->lineAt(0).naturalTextWidth();
    };
    const qreal shown = lineWidth();  // the marker takes the room of its glyph
    editor->setMarkersHidden(true);
    EXPECT_EQ(editor->lines(), QStringList({"To Bob thx"}));
    EXPECT_GT(shown, lineWidth());

    editor->startWordWalk();
    EXPECT_EQ(editor->nextWord(), "To");
    EXPECT_EQ(editor->nextWord(), "Bob");
    EXPECT_EQ(editor->nextWord(), "thx");
    editor->markWord();
    EXPECT_EQ(editor->textCursor().selectedText(), "thx");
    editor->replaceMarkedWord("thanks");
    EXPECT_EQ(editor->lines(), QStringList({"To Bob thanks"}));
    EXPECT_EQ(editor->nextWord(), "");
    editor->unmarkWord();
    EXPECT_FALSE(editor->textCursor().hasSelection());

    editor->setParagraphSpacing(240, 0, 120);
    editor->setParagraphIndents(1440, 720, 0);
    EXPECT_EQ(editor->paragraphMetrics(), (ParagraphMetrics{1440, 720, 0, 240, 120, 0}));
}

TEST_F(EditorFixture, DefaultFontFilesAndClipboard) {
    Settings s;
    s.fontName = "Liberation Mono";
    s.fontSize = 13;
    s.fontItalic = true;
    ApplyDefaultFont(*editor, s);
    editor->moveToStart();
    EXPECT_EQ(editor->fontName(), "Liberation Mono");
    EXPECT_DOUBLE_EQ(editor->fontSize(), 13);
    EXPECT_TRUE(editor->italic());
    EXPECT_TRUE(RichTextIsBlank(*editor));
    typeText(*editor, "Mono ");
    editor->insertMergeField(u'*', 2, "[FAX#]");
    EXPECT_FALSE(RichTextIsBlank(*editor));

    orv::test::TempHome home;
    editor->setPageLayout({12240, 15840, 720, 720, 720, 720});
    editor->saveToFile(home.file("Eraseme.rtf"));
    TRichEditor other;
    other.loadFromFile(home.file("Eraseme.rtf"));
    EXPECT_EQ(other.lines(), editor->lines());
    EXPECT_EQ(other.pageLayout(), editor->pageLayout());
    EXPECT_EQ(other.textCursor().position(), 0);

    // Copy and paste keep the merge field (through RTF on the clipboard).
    QTextCursor all(editor->document());
    all.select(QTextCursor::Document);
    editor->setTextCursor(all);
    editor->copy();
    EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat("text/rtf"));
    other.clear();
    EXPECT_TRUE(other.isSingleEmptyParagraph());
    other.paste();
    ASSERT_EQ(other.richText().fields().size(), 1);
    EXPECT_EQ(other.richText().fields()[0].tag, 2);
    EXPECT_EQ(other.lines(), QStringList({"Mono *[FAX#]"}));
    editor->cut();
    EXPECT_TRUE(editor->isSingleEmptyParagraph());
}
