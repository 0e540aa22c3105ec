// What the RTF writer writes comes back through the reader unchanged.
#include "richtext/rich_format.h"
#include "richtext/rich_text_document.h"
#include "richtext/rtf_reader.h"
#include "richtext/rtf_writer.h"
#include "richtext/rtf_test_util.h"

#include <QTextBlock>
#include <QTextCursor>
#include <gtest/gtest.h>

using namespace orv;
using orv::test::find;
using orv::test::formatAt;
using orv::test::paragraphs;

namespace {

// A document with something of everything the writer knows.
void buildSample(RichTextDocument& rt) {
    QTextDocument* doc = rt.document();
    QTextCursor c(doc);
    QTextCharFormat plain;
    plain.setFontFamilies({"Arial"});
    plain.setFontPointSize(10);
    QTextCharFormat big = plain;
    big.setFontFamilies({"Times New Roman"});
    big.setFontPointSize(18);
    big.setFontWeight(QFont::Bold);
    big.setFontItalic(true);
    big.setFontUnderline(true);
    big.setForeground(QColor(0, 0, 255));

    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    c.setBlockFormat(centred);
    c.insertText("Heading", big);

    QTextBlockFormat indented;
    indented.setAlignment(Qt::AlignJustify);
    indented.setLeftMargin(TwipsToLayout(1440));
    indented.setRightMargin(TwipsToLayout(720));
    indented.setTextIndent(TwipsToLayout(-360));
    indented.setTopMargin(TwipsToLayout(240));
    indented.setBottomMargin(TwipsToLayout(120));
    indented.setLineHeight(TwipsToLayout(360), QTextBlockFormat::FixedHeight);
    indented.setTabPositions({QTextOption::Tab(TwipsToLayout(2880), QTextOption::LeftTab),
                              QTextOption::Tab(TwipsToLayout(7200), QTextOption::RightTab)});
    c.insertBlock(indented, plain);
    c.insertText(QString::fromUtf8("Grüße {braces} back\\slash €uro Ωmega 😀\tTab\u2028next line\u00a0nbsp"), plain);

    c.insertBlock(QTextBlockFormat(), plain);  // an empty paragraph
    rt.insertMergeField(c, u'*', 1, "[RECIPIENT]");
    c.insertText(" and ", plain);
    rt.insertMergeField(c, u'#', 4, "");

    QTextBlockFormat broken;
    broken.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    broken.setLineHeight(150, QTextBlockFormat::ProportionalHeight);
    c.insertBlock(broken, plain);
    c.insertText("After the break", plain);
    c.insertBlock(QTextBlockFormat(), plain);  // trailing empty paragraph
}

}  // namespace

TEST(RtfWriter, RoundTripKeepsTextFormatsAndLayout) {
    RichTextDocument original;
    original.setPageLayout({12240, 15840, 720, 720, 720, 720});
    buildSample(original);
    const QByteArray rtf = original.saveRtf();
    for (char ch : rtf) ASSERT_LT(static_cast<unsigned char>(ch), 0x80) << "RTF is 7-bit";
    // Tab stops count from the margin in RTF: the first line starts at 1080.
    EXPECT_TRUE(rtf.contains("\\tx3960\\tqr\\tx8280"));

    RichTextDocument copy;
    copy.loadRtf(rtf);
    QTextDocument* doc = copy.document();
    EXPECT_EQ(copy.pageLayout(), (PageLayout{12240, 15840, 720, 720, 720, 720}));
    EXPECT_EQ(paragraphs(doc), paragraphs(original.document()));
    EXPECT_EQ(copy.characterCount(), original.characterCount());

    const QTextCharFormat h = formatAt(doc, 0);
    EXPECT_EQ(h.fontFamilies().toStringList().value(0), "Times New Roman");
    EXPECT_DOUBLE_EQ(h.fontPointSize(), 18);
    EXPECT_EQ(h.fontWeight(), QFont::Bold);
    EXPECT_TRUE(h.fontItalic());
    EXPECT_TRUE(h.fontUnderline());
    EXPECT_EQ(h.foreground().color(), QColor(0, 0, 255));
    EXPECT_TRUE(doc->begin().blockFormat().alignment() & Qt::AlignHCenter);

    const QTextBlockFormat ind = doc->begin().next().blockFormat();
    EXPECT_TRUE(ind.alignment() & Qt::AlignJustify);
    const ParagraphMetrics m = RichTextDocument::paragraphMetrics(QTextCursor(doc->begin().next()));
    EXPECT_EQ(m, (ParagraphMetrics{1080, 1440, 720, 240, 120, -360}));
    ASSERT_EQ(ind.tabPositions().size(), 2);
    EXPECT_EQ(LayoutToTwips(ind.tabPositions()[1].position), 7200);
    EXPECT_EQ(ind.tabPositions()[1].type, QTextOption::RightTab);

    const QList<MergeFieldInfo> fields = copy.fields();
    ASSERT_EQ(fields.size(), 2);
    EXPECT_EQ(fields[0].tag, 1);
    EXPECT_EQ(fields[0].marker, QChar(u'*'));
    EXPECT_EQ(fields[0].value, "[RECIPIENT]");
    EXPECT_EQ(fields[1].tag, 4);
    EXPECT_EQ(fields[1].marker, QChar(u'#'));
    EXPECT_EQ(fields[1].value, "");
    EXPECT_EQ(formatAt(doc, fields[0].position).foreground().color(), QColor(Qt::red));

    const QTextBlock afterBreak = doc->findBlock(find(doc, "After"));
    EXPECT_TRUE(afterBreak.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore);
    EXPECT_EQ(afterBreak.blockFormat().lineHeightType(), QTextBlockFormat::ProportionalHeight);
    EXPECT_NEAR(afterBreak.blockFormat().lineHeight(), 150, 0.5);
    EXPECT_FALSE(doc->begin().next().blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore);

    // From then on, reading and writing again changes nothing.
    RichTextDocument third;
    third.loadRtf(copy.saveRtf());
    EXPECT_EQ(third.saveRtf(), copy.saveRtf());
}

TEST(RtfWriter, EmptyAndSingleParagraphTexts) {
    RichTextDocument empty;
    RichTextDocument copy;
    copy.loadRtf(empty.saveRtf());
    EXPECT_TRUE(copy.isSingleEmptyParagraph());
    EXPECT_EQ(copy.characterCount(), 0);

    RichTextDocument one;
    QTextCursor(one.document()).insertText("x");
    copy.loadRtf(one.saveRtf());
    EXPECT_EQ(paragraphs(copy.document()), QStringList({"x"}));

    RichTextDocument blankLines;
    blankLines.document()->setPlainText("\n\n");
    copy.loadRtf(blankLines.saveRtf());
    EXPECT_EQ(copy.document()->blockCount(), 3);
}

TEST(RtfWriter, HiddenMarkersStayHidden) {
    RichTextDocument rt;
    QTextCursor c(rt.document());
    c.insertText("To: ");
    rt.insertMergeField(c, u'*', 1, "[RECIPIENT]");
    rt.setMarkersHidden(true);
    RichTextDocument copy;
    copy.loadRtf(rt.saveRtf());
    ASSERT_EQ(copy.fields().size(), 1);
    EXPECT_TRUE(copy.fields()[0].hidden);
    EXPECT_TRUE(copy.markersHidden());
    EXPECT_EQ(copy.lines(), QStringList({"To: [RECIPIENT]"}));
}
