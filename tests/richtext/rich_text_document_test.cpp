// Merge fields, the word walk, paragraph metrics and the blank tests.
#include "common/orv_error.h"
#include "config/settings.h"
#include "support/temp_home.h"
#include "richtext/rich_format.h"
#include "richtext/rich_text_document.h"
#include "richtext/rich_text_helpers.h"
#include "richtext/rtf_test_util.h"

#include <QFile>
#include <QTextBlock>
#include <QTextCursor>
#include <gtest/gtest.h>

using namespace orv;
using orv::test::paragraphs;

namespace {

// A cover template with all five fields, as the template editor makes it.
void buildTemplate(RichTextDocument& rt) {
    QTextCursor c(rt.document());
    c.insertText("To: ");
    rt.insertMergeField(c, u'*', 1, "[RECIPIENT]");
    c.insertText(" Fax: ");
    rt.insertMergeField(c, u'*', 2, "[FAX#]");
    c.insertBlock();
    c.insertText("Re: ");
    rt.insertMergeField(c, u'*', 3, "[SUBJECT]");
    c.insertText(" on ");
    rt.insertMergeField(c, u'*', 4, "[DATE]");
    rt.insertMergeField(c, u'*', 5, "[TIME]");
    c.insertText(" end");
}

}  // namespace

TEST(MergeFields, InsertMergeHideAndMergeAgain) {
    RichTextDocument rt;
    buildTemplate(rt);
    EXPECT_EQ(rt.lines(), QStringList({"To: *[RECIPIENT] Fax: *[FAX#]", "Re: *[SUBJECT] on *[DATE]*[TIME] end"}));

    QTextCursor c(rt.document());
    try {
        rt.insertMergeField(c, u'*', 0, "x");
        FAIL() << "tag 0 accepted";
    } catch (const EBadArgument& e) {
        EXPECT_EQ(e.message(), "Insertpoint-tag has to be >0");
    }
    EXPECT_THROW(rt.insertMergeField(c, u'*', -3, "x"), EBadArgument);

    // Through a save and load, as the template table stores it.
    RichTextDocument cover;
    cover.loadRtf(rt.saveRtf());
    const int merged = cover.mergeFields([](int tag) -> std::optional<QString> {
        switch (tag) {
        case 1: return QString("Jane Doe");
        case 2: return QString("555-0100");
        case 3: return QString();  // an empty subject
        case 4: return QString("1/2/2024");
        default: return std::nullopt;  // the time keeps its value text
        }
    });
    EXPECT_EQ(merged, 4);
    EXPECT_EQ(cover.lines(), QStringList({"To: *Jane Doe Fax: *555-0100", "Re: * on *1/2/2024*[TIME] end"}));
    cover.setMarkersHidden(true);
    EXPECT_EQ(cover.lines(), QStringList({"To: Jane Doe Fax: 555-0100", "Re:  on 1/2/2024[TIME] end"}));

    // Fields keep working after merging: an empty value can be filled again.
    cover.mergeFields([](int tag) -> std::optional<QString> {
        return tag == 3 ? std::optional<QString>("Offer") : std::nullopt;
    });
    EXPECT_EQ(cover.lines()[1], "Re: Offer on 1/2/2024[TIME] end");

    // Values longer than 254 characters are cut.
    RichTextDocument longValue;
    QTextCursor lc(longValue.document());
    longValue.insertMergeField(lc, u'*', 1, QString(300, u'v'));
    EXPECT_EQ(longValue.fields()[0].value.size(), 254);
}

TEST(MergeFields, TextTypedAfterAFieldIsNotPartOfIt) {
    RichTextDocument rt;
    QTextCursor c(rt.document());
    rt.insertMergeField(c, u'*', 1, "[RECIPIENT]");
    c.insertText(" typed");  // the cursor's format is the plain one again
    rt.mergeFields([](int) { return std::optional<QString>("X"); });
    EXPECT_EQ(rt.lines(), QStringList({"*X typed"}));
}

TEST(RichTextDocument, CountsLinesAndBlankTests) {
    RichTextDocument rt;
    EXPECT_TRUE(rt.isSingleEmptyParagraph());
    EXPECT_EQ(rt.characterCount(), 0);
    EXPECT_TRUE(RichTextIsBlank(rt));

    rt.document()->setPlainText("ab\ncd");
    EXPECT_FALSE(rt.isSingleEmptyParagraph());
    EXPECT_EQ(rt.characterCount(), 5);  // the paragraph end counts one
    EXPECT_FALSE(RichTextIsBlank(rt));

    QTextCursor(rt.document()).insertText(QString(u'\u2028'));
    EXPECT_EQ(rt.lines(), QStringList({"", "ab", "cd"}));

    // Blank lines and spaces only: blank.
    rt.document()->setPlainText("   \n\n      \n ");
    EXPECT_FALSE(rt.isSingleEmptyParagraph());
    EXPECT_TRUE(RichTextIsBlank(rt));
    // A tab is no blank.
    rt.document()->setPlainText("  \t ");
    EXPECT_FALSE(RichTextIsBlank(rt));
    // 256 characters or more are never blank, even spaces.
    rt.document()->setPlainText(QString(256, u' '));
    EXPECT_FALSE(RichTextIsBlank(rt));
    rt.document()->setPlainText(QString(255, u' '));
    EXPECT_TRUE(RichTextIsBlank(rt));
    // Only the first 201 lines are looked at.
    rt.document()->setPlainText(QString(201, u'\n') + "x");
    EXPECT_EQ(rt.lines().size(), 202);
    EXPECT_TRUE(RichTextIsBlank(rt));
    rt.document()->setPlainText(QString(200, u'\n') + "x");
    EXPECT_FALSE(RichTextIsBlank(rt));

    // A template merged with empty values and hidden markers is blank.
    RichTextDocument cover;
    QTextCursor c(cover.document());
    cover.insertMergeField(c, u'*', 3, "[SUBJECT]");
    EXPECT_FALSE(RichTextIsBlank(cover));
    cover.mergeFields([](int) { return std::optional<QString>(""); });
    cover.setMarkersHidden(true);
    EXPECT_TRUE(RichTextIsBlank(cover));
}

TEST(RichTextDocument, WordWalk) {
    RichTextDocument rt;
    QTextCursor c(rt.document());
    c.insertText(QString::fromUtf8("Helo, wrld! It's 2nd  John\u2019s café-bar 'quoted'\n\nend"));
    rt.insertMergeField(c, u'*', 1, "[RECIPIENT]");
    WordWalk& w = rt.wordWalk();
    w.start();
    QStringList words;
    for (QString word = w.nextWord(); !word.isEmpty(); word = w.nextWord()) words << word;
    EXPECT_EQ(words, QStringList({"Helo", "wrld", "It's", "John's", QString::fromUtf8("café"), "bar", "quoted", "end",
                                  "RECIPIENT"}));
    EXPECT_EQ(w.nextWord(), "");

    // Replace the first two words; the walk goes on after each replacement.
    w.start();
    EXPECT_EQ(w.nextWord(), "Helo");
    EXPECT_TRUE(w.mark());
    EXPECT_EQ(w.marked().start, 0);
    EXPECT_TRUE(w.replaceMarked("Hello"));
    EXPECT_FALSE(w.marked().valid());
    EXPECT_FALSE(w.replaceMarked("again"));  // nothing marked
    EXPECT_EQ(w.nextWord(), "wrld");
    w.mark();
    w.replaceMarked("world");
    EXPECT_EQ(w.nextWord(), "It's");
    w.mark();
    w.unmark();
    EXPECT_FALSE(w.marked().valid());
    EXPECT_TRUE(rt.document()->toPlainText().startsWith("Hello, world! It's"));

    RichTextDocument empty;
    empty.wordWalk().start();
    EXPECT_EQ(empty.wordWalk().nextWord(), "");
    EXPECT_FALSE(empty.wordWalk().mark());
}

TEST(RichTextDocument, ParagraphIndentsAndSpacingInTwips) {
    RichTextDocument rt;
    rt.document()->setPlainText("one\ntwo\nthree");
    QTextCursor c(rt.document()->findBlock(5));
    // As the paragraph dialog does it: spacing first, then the indents.
    RichTextDocument::setParagraphSpacing(c, 240, 360, 120);
    RichTextDocument::setParagraphIndents(c, 1440, 720, 567);
    EXPECT_EQ(RichTextDocument::paragraphMetrics(c), (ParagraphMetrics{1440, 720, 567, 240, 120, 360}));
    // The other paragraphs are untouched.
    EXPECT_EQ(RichTextDocument::paragraphMetrics(QTextCursor(rt.document())), ParagraphMetrics{});
    // Exact line height, then automatic again.
    RichTextDocument::setParagraphSpacing(c, 0, -300, 0);
    EXPECT_EQ(RichTextDocument::paragraphMetrics(c).lineHeight, -300);
    RichTextDocument::setParagraphSpacing(c, 0, 0, 0);
    EXPECT_EQ(RichTextDocument::paragraphMetrics(c).lineHeight, 0);
    EXPECT_EQ(c.blockFormat().lineHeightType(), QTextBlockFormat::SingleHeight);
    // Same-as-left first line.
    RichTextDocument::setParagraphIndents(c, 720, 720, 0);
    EXPECT_EQ(c.blockFormat().textIndent(), 0);

    // A selection over two paragraphs sets both.
    QTextCursor sel(rt.document());
    sel.setPosition(0);
    sel.setPosition(6, QTextCursor::KeepAnchor);
    RichTextDocument::setParagraphIndents(sel, 100, 200, 300);
    EXPECT_EQ(RichTextDocument::paragraphMetrics(QTextCursor(rt.document()->begin())).leftIndent, 200);
    EXPECT_EQ(RichTextDocument::paragraphMetrics(QTextCursor(rt.document()->begin().next())).firstIndent, 100);
}

TEST(RichTextDocument, PageBreakKeepsCharacterFormat) {
    RichTextDocument rt;
    QTextCursor c(rt.document());
    QTextCharFormat big;
    big.setFontPointSize(20);
    c.insertText("before", big);
    RichTextDocument::insertPageBreak(c);
    c.insertText("after");
    EXPECT_EQ(paragraphs(rt.document()), QStringList({"before", "after"}));
    EXPECT_TRUE(rt.document()->lastBlock().blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore);
    EXPECT_FALSE(rt.document()->firstBlock().blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore);
    EXPECT_DOUBLE_EQ(orv::test::formatAt(rt.document(), orv::test::find(rt.document(), "after")).fontPointSize(), 20);
}

TEST(RichTextDocument, DefaultFontFromSettings) {
    Settings s;
    s.fontName = "Liberation Serif";
    s.fontSize = 14;
    s.fontBold = true;
    s.fontUnderline = true;
    RichTextDocument rt;
    ApplyDefaultFont(rt, s);
    QTextCursor c(rt.document());
    c.insertText("typed");
    const QFont f = orv::test::formatAt(rt.document(), 0).font().resolve(rt.document()->defaultFont());
    EXPECT_EQ(f.families().value(0), "Liberation Serif");
    EXPECT_DOUBLE_EQ(f.pointSizeF(), 14);
    EXPECT_TRUE(f.bold());
    EXPECT_FALSE(f.italic());
    EXPECT_TRUE(f.underline());
}

TEST(RichTextDocument, FilesAndErrors) {
    orv::test::TempHome home;
    RichTextDocument rt;
    buildTemplate(rt);
    rt.setPageLayout({12240, 15840, 720, 720, 720, 720});
    rt.saveRtfFile(home.file("Eraseme.rtf"));
    RichTextDocument back;
    back.loadRtfFile(home.file("Eraseme.rtf"));
    EXPECT_EQ(back.lines(), rt.lines());
    EXPECT_EQ(back.pageLayout(), rt.pageLayout());

    try {
        back.loadRtfFile(home.file("missing.rtf"));
        FAIL() << "missing file loaded";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.errorCode(), 2);
    }
    EXPECT_THROW(rt.saveRtfFile(home.file("no/such/folder/x.rtf")), EInOutError);
}
