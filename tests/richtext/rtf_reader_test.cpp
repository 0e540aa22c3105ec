// The RTF reader on the RTF that other programs write, and on damaged input.
#include "richtext/rich_format.h"
#include "richtext/rtf_reader.h"
#include "richtext/rtf_test_util.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <gtest/gtest.h>

using namespace orv;
using orv::test::find;
using orv::test::formatAt;
using orv::test::paragraphs;

namespace {

RtfReadResult readInto(QTextDocument& doc, const QByteArray& rtf) { return RtfReader::read(rtf, &doc); }

}  // namespace

TEST(RtfReader, WordPadStyleDocument) {
    // As WordPad-like writers produce it: font table with attributes, \viewkind,
    // formatting toggled inline, \'hh accents, the final \par before '}'.
    const QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}"
        "{\\f1\\froman\\fprq2\\fcharset0 Times New Roman;}}\r\n"
        "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\r\n"
        "{\\*\\generator Riched20 10.0.19041}\\viewkind4\\uc1 \r\n"
        "\\pard\\sa200\\sl276\\slmult1\\f0\\fs22\\lang9 Caf\\'e9 \\b bold\\b0  and \\i italic\\i0  "
        "\\ul under\\ulnone\\par\r\n"
        "\\pard\\qc\\cf1\\f1\\fs32 Centred red\\cf0\\par\r\n"
        "\\pard\\li720\\ri360\\fi-360\\tx1440\\tqr\\tx8000 A\\tab B\\tab C\\par\r\n"
        "}\r\n";
    QTextDocument doc;
    const RtfReadResult r = readInto(doc, rtf);
    EXPECT_TRUE(r.wasRtf);
    EXPECT_FALSE(r.hasPageLayout);
    EXPECT_EQ(r.pageLayout, PageLayout{});
    ASSERT_EQ(paragraphs(&doc), QStringList({QString::fromUtf8("Café bold and italic under"), "Centred red", "A\tB\tC"}));

    const QTextCharFormat cafe = formatAt(&doc, 0);
    EXPECT_EQ(cafe.fontFamilies().toStringList().value(0), "Arial");
    EXPECT_DOUBLE_EQ(cafe.fontPointSize(), 11);
    EXPECT_NE(cafe.fontWeight(), QFont::Bold);
    EXPECT_EQ(formatAt(&doc, find(&doc, "bold")).fontWeight(), QFont::Bold);
    EXPECT_TRUE(formatAt(&doc, find(&doc, "italic")).fontItalic());
    EXPECT_FALSE(formatAt(&doc, find(&doc, "and")).fontItalic());
    EXPECT_TRUE(formatAt(&doc, find(&doc, "under")).fontUnderline());

    const QTextBlock first = doc.begin();
    EXPECT_EQ(first.blockFormat().lineHeightType(), QTextBlockFormat::ProportionalHeight);
    EXPECT_NEAR(first.blockFormat().lineHeight(), 115, 0.01);
    EXPECT_EQ(LayoutToTwips(first.blockFormat().bottomMargin()), 200);

    const QTextBlock centred = first.next();
    EXPECT_TRUE(centred.blockFormat().alignment() & Qt::AlignHCenter);
    const QTextCharFormat red = formatAt(&doc, centred.position());
    EXPECT_EQ(red.foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(red.fontFamilies().toStringList().value(0), "Times New Roman");
    EXPECT_DOUBLE_EQ(red.fontPointSize(), 16);

    const QTextBlockFormat tabs = centred.next().blockFormat();
    EXPECT_EQ(LayoutToTwips(tabs.leftMargin()), 720);
    EXPECT_EQ(LayoutToTwips(tabs.rightMargin()), 360);
    EXPECT_EQ(LayoutToTwips(tabs.textIndent()), -360);
    ASSERT_EQ(tabs.tabPositions().size(), 2);
    // Qt counts tab stops from the start of the first line (720 - 360 twips).
    EXPECT_EQ(LayoutToTwips(tabs.tabPositions()[0].position), 1440 - 360);
    EXPECT_EQ(tabs.tabPositions()[1].type, QTextOption::RightTab);
    EXPECT_EQ(LayoutToTwips(tabs.tabPositions()[1].position), 8000 - 360);
}

TEST(RtfReader, UnicodeEscapesAndSpecialCharacters) {
    const QByteArray rtf =
        "{\\rtf1\\ansi\\uc1 Euro \\u8364? \\uc2 Omega \\u937\\'3f\\'3f done \\uc1 smile \\u-10179?\\u-8704? "
        "\\ldblquote q\\rdblquote  a\\emdash b\\~c \\{x\\} back\\\\slash\\line next}";
    QTextDocument doc;
    readInto(doc, rtf);
    const QString text = doc.toPlainText();
    EXPECT_EQ(text, QString::fromUtf8("Euro € Omega Ω done smile 😀 “q” a—b c {x} back\\slash\nnext"));
}

TEST(RtfReader, SkipsDestinationsBinaryDataAndHiddenText) {
    const QByteArray rtf =
        "{\\rtf1\\ansi{\\info{\\title Secret title}{\\author Someone}}"
        "{\\*\\unknowndest invisible {nested} text}"
        "{\\header Header text\\par}{\\footer Footer text\\par}"
        "Before{\\pict\\wmetafile8 0123456789abcdef}{\\*\\bkmkstart mark}"
        "{\\object\\objemb{\\*\\objdata 01050000}{\\result{\\pict\\bin4 }{}{}}} middle"
        "{\\v hidden words}{\\footnote a note}"
        "\\bin3 }{x after}";
    QTextDocument doc;
    readInto(doc, rtf);
    // \bin3 swallows "}{x" as binary data: the group structure stays intact.
    EXPECT_EQ(doc.toPlainText(), "Before middle after");
}

TEST(RtfReader, PageLayoutAndPageBreaks) {
    const QByteArray rtf =
        "{\\rtf1\\ansi\\paperw11906\\paperh16838\\margl1134\\margr1134\\margt1417\\margb1134 "
        "\\pard One\\par\\page Two\\par Three\\page Four\\par\\page\\page Six\\par}";
    QTextDocument doc;
    const RtfReadResult r = readInto(doc, rtf);
    EXPECT_TRUE(r.hasPageLayout);
    EXPECT_EQ(r.pageLayout, (PageLayout{11906, 16838, 1134, 1134, 1417, 1134}));
    // "\par\page Two" puts no empty paragraph before the break; a break in the
    // middle of a paragraph splits it; two breaks in a row keep an empty page.
    ASSERT_EQ(paragraphs(&doc), QStringList({"One", "Two", "Three", "Four", "", "Six"}));
    QList<bool> breaks;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        breaks << bool(b.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore);
    EXPECT_EQ(breaks, QList<bool>({false, true, false, true, true, true}));
}

TEST(RtfReader, OtherWritersNamesForTheSameFormattingAndWordsThatOnlyLookLikeOurs) {
    // Section-level page sizes and margins, underline and strike-out
    // variants, highlight, distributed alignment, the *in indents, bar tabs,
    // table cells; then names that only begin like a known word, and one too
    // long to be any, all of which change nothing.
    const QByteArray rtf =
        "{\\rtf1\\ansi\\pgwsxn12240\\pghsxn15840\\marglsxn900\\margrsxn800\\margtsxn700\\margbsxn600 "
        "\\pard\\qd\\lin1440\\rin720\\tb2880\\tx4320 {\\ulthldash u}{\\ulwave w}{\\striked s}{\\chcbpat1 h}"
        "a\\cell b\\nestcell c\\rtlmark\\par"
        "\\pard\\bx\\pardx\\iz\\ulx\\fsx30 plain\\abcdefghijklmnopqrstuvwxyzabcdefghijklmn\\par}";
    QTextDocument doc;
    const RtfReadResult r = readInto(doc, rtf);
    EXPECT_EQ(r.pageLayout, (PageLayout{12240, 15840, 900, 800, 700, 600}));
    ASSERT_EQ(paragraphs(&doc), QStringList({QString::fromUtf8("uwsha\tb\tc\u200F"), "plain"}));

    const QTextBlockFormat first = doc.begin().blockFormat();
    EXPECT_EQ(first.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignJustify);
    EXPECT_EQ(LayoutToTwips(first.leftMargin()), 1440);
    EXPECT_EQ(LayoutToTwips(first.rightMargin()), 720);
    ASSERT_EQ(first.tabPositions().size(), 2);
    EXPECT_EQ(first.tabPositions()[0].type, QTextOption::LeftTab);
    EXPECT_EQ(LayoutToTwips(first.tabPositions()[0].position), 2880 - 1440);
    EXPECT_TRUE(formatAt(&doc, find(&doc, "u")).fontUnderline());
    EXPECT_TRUE(formatAt(&doc, find(&doc, "w")).fontUnderline());
    EXPECT_TRUE(formatAt(&doc, find(&doc, "s")).fontStrikeOut());
    EXPECT_FALSE(formatAt(&doc, find(&doc, "s")).fontUnderline());

    const QTextCharFormat plain = formatAt(&doc, find(&doc, "plain"));
    EXPECT_NE(plain.fontWeight(), QFont::Bold);
    EXPECT_FALSE(plain.fontItalic());
    EXPECT_FALSE(plain.fontUnderline());
    EXPECT_DOUBLE_EQ(plain.fontPointSize(), 12);
    EXPECT_EQ(doc.begin().next().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);

    // The reader builds text only: a document read for pasting is never laid out.
    EXPECT_EQ(doc.findChild<QAbstractTextDocumentLayout*>(), nullptr);
}

TEST(RtfReader, ForeignFieldsShowTheirResult) {
    const QByteArray rtf =
        "{\\rtf1 See {\\field{\\*\\fldinst{HYPERLINK \"http://example.org\"}}{\\fldrslt{\\ul link text}}} and "
        "{\\field{\\*\\fldinst PAGE}{\\fldrslt 3}} done}";
    QTextDocument doc;
    readInto(doc, rtf);
    EXPECT_EQ(doc.toPlainText(), "See link text and 3 done");
    EXPECT_TRUE(formatAt(&doc, find(&doc, "link")).fontUnderline());
}

TEST(RtfReader, PlainTextInputIsKept) {
    QTextDocument doc;
    const RtfReadResult r = readInto(doc, QByteArray("Dear Sir,\r\n\r\ncaf\xe9 line\n\x01last"));
    EXPECT_FALSE(r.wasRtf);
    EXPECT_EQ(paragraphs(&doc), QStringList({"Dear Sir,", "", QString::fromUtf8("café line"), "last"}));
}

TEST(RtfReader, HostileInputNeverCrashes) {
    QTextDocument doc;
    // Truncated in the middle of a group and of an escape.
    readInto(doc, "{\\rtf1\\ansi Hello {\\b World\\'e");
    EXPECT_EQ(doc.toPlainText(), "Hello World");
    EXPECT_EQ(formatAt(&doc, 6).fontWeight(), QFont::Bold);

    // Deep nesting: text inside the overflowing groups is dropped, the rest is read.
    QByteArray deep = "{\\rtf1 start";
    deep += QByteArray(200000, '{') + "deep" + QByteArray(200000, '}') + " end}";
    readInto(doc, deep);
    EXPECT_TRUE(doc.toPlainText().startsWith("start"));
    EXPECT_TRUE(doc.toPlainText().endsWith(" end"));

    // Huge and negative numbers everywhere.
    const RtfReadResult r = readInto(doc,
        "{\\rtf1\\paperw-5\\paperh99999999999999\\margl2147483647\\margr-3\\margt40000\\margb40000"
        "\\fs99999999999 \\li-99999999999\\sb999999999\\sl-2147483648\\tx-5\\tx99999999999"
        "\\uc99999 \\u99999999999 abc\\cf99999 \\f99999 x\\bin99999999999 }");
    const PageLayout p = r.pageLayout;
    EXPECT_GE(p.width, PageLayout::kMinPage);
    EXPECT_LE(p.height, PageLayout::kMaxPage);
    EXPECT_GE(p.textWidth(), PageLayout::kMinText);
    EXPECT_GE(p.textHeight(), PageLayout::kMinText);
    EXPECT_GE(p.left, 0);
    EXPECT_GE(p.right, 0);

    // Unbalanced braces and stray control words.
    readInto(doc, "{\\rtf1 a}}}}} b {{{\\par\\pard\\plain\\*\\*\\ c");
    EXPECT_TRUE(doc.toPlainText().startsWith("a"));

    // Merge fields cut off by the end of the file still count.
    readInto(doc, "{\\rtf1 x{\\*\\orvmerge3\\orvmarker35}[SUB");
    EXPECT_EQ(paragraphs(&doc), QStringList({"x#[SUB"}));
    EXPECT_EQ(formatAt(&doc, 1).intProperty(kMergeTagProperty), 3);
    EXPECT_GT(formatAt(&doc, 3).intProperty(kFieldIdProperty), 0);
    readInto(doc, "{\\rtf1 x{\\*\\orvmerge3\\orvmarker35\\b");
    EXPECT_EQ(paragraphs(&doc), QStringList({"x#"}));
}
