// Our RTF against independent readers and writers: pandoc and LibreOffice.
#include "richtext/rich_format.h"
#include "richtext/rich_text_document.h"
#include "richtext/rtf_test_util.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <gtest/gtest.h>

using namespace orv;
using namespace orv::test;

namespace {

// A letter with merge fields (already merged), accents, a character outside
// Windows-1252, formatting and a page break.
void buildLetter(RichTextDocument& rt) {
    rt.setPageLayout({12240, 15840, 720, 720, 720, 720});
    QTextCursor c(rt.document());
    QTextCharFormat plain;
    plain.setFontFamilies({"Arial"});
    plain.setFontPointSize(11);
    QTextCharFormat bold = plain;
    bold.setFontWeight(QFont::Bold);
    c.insertText("Dear ", plain);
    rt.insertMergeField(c, u'*', 1, "Jane Doe");
    c.insertText(",", plain);
    QTextBlockFormat indented;
    indented.setLeftMargin(TwipsToLayout(720));
    c.insertBlock(indented, plain);
    c.insertText(QString::fromUtf8("Grüße from the café, price 10 € {net} \u03a9. "), plain);
    c.insertText("Important", bold);
    rt.setMarkersHidden(true);
    RichTextDocument::insertPageBreak(c);
    c.insertText("Second page", plain);
}

QString normalized(QString s) {
    s.replace(u'\u00a0', u' ');
    return s.simplified();
}

}  // namespace

TEST(RtfPeers, PandocReadsOurRtfAndWeReadPandocs) {
    if (!havePandoc()) GTEST_SKIP() << "pandoc is not installed (scripts/setup installs it)";
    RichTextDocument rt;
    buildLetter(rt);
    const QByteArray plain = runPandoc({"-f", "rtf", "-t", "plain", "--wrap=none"}, rt.saveRtf());
    ASSERT_FALSE(plain.isEmpty());
    const QString text = normalized(QString::fromUtf8(plain));
    EXPECT_EQ(text, normalized(QString::fromUtf8(
                        "Dear Jane Doe, Grüße from the café, price 10 € {net} \u03a9. Important Second page")));
    EXPECT_FALSE(text.contains("ORVMERGE"));

    // pandoc's own RTF of a Markdown text.
    const QByteArray md = QString::fromUtf8("First **bold** and *italic* word.\n\nSecond: Grüße € \u03a9 \u201cquoted\u201d.\n")
                              .toUtf8();
    const QByteArray rtf = runPandoc({"-f", "markdown", "-t", "rtf", "-s"}, md);
    ASSERT_TRUE(rtf.startsWith("{\\rtf"));
    RichTextDocument back;
    back.loadRtf(rtf);
    const QStringList paras = paragraphs(back.document());
    ASSERT_GE(paras.size(), 2);
    EXPECT_EQ(paras[0], "First bold and italic word.");
    EXPECT_EQ(paras[1], QString::fromUtf8("Second: Grüße € \u03a9 \u201cquoted\u201d."));
    EXPECT_EQ(formatAt(back.document(), find(back.document(), "bold")).fontWeight(), QFont::Bold);
    EXPECT_TRUE(formatAt(back.document(), find(back.document(), "italic")).fontItalic());

    // And pandoc reads what we wrote of pandoc's text.
    const QString again = normalized(QString::fromUtf8(runPandoc({"-f", "rtf", "-t", "plain", "--wrap=none"}, back.saveRtf())));
    EXPECT_EQ(again, normalized(paras.join(' ')));
}

TEST(RtfPeers, LibreOfficeRoundTrip) {
    if (!haveLibreOffice()) GTEST_SKIP() << "LibreOffice is not installed (scripts/setup installs it)";
    QTemporaryDir dir;
    RichTextDocument rt;
    buildLetter(rt);
    const QString ours = dir.filePath("letter.rtf");
    rt.saveRtfFile(ours);
    QDir().mkpath(dir.filePath("txt"));
    QDir().mkpath(dir.filePath("rtf"));
    ASSERT_TRUE(libreOfficeConvert({ours}, "txt:Text (encoded):UTF8", dir.filePath("txt")));
    ASSERT_TRUE(libreOfficeConvert({ours}, "rtf", dir.filePath("rtf")));

    // LibreOffice shows the same text, fields as their values.
    QFile txt(dir.filePath("txt/letter.txt"));
    ASSERT_TRUE(txt.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(txt.readAll());
    text.remove(QChar(0xFEFF));
    EXPECT_EQ(normalized(text), normalized(QString::fromUtf8(
                                    "Dear Jane Doe, Grüße from the café, price 10 € {net} \u03a9. Important Second page")));

    // What LibreOffice writes back, we read: text, page layout, indents, bold, page break.
    RichTextDocument back;
    back.loadRtfFile(dir.filePath("rtf/letter.rtf"));
    EXPECT_EQ(normalized(back.lines().join(' ')), normalized(rt.lines().join(' ')));
    EXPECT_EQ(back.pageLayout(), rt.pageLayout());
    QTextDocument* doc = back.document();
    const int important = find(doc, "Important");
    ASSERT_GE(important, 0);
    EXPECT_EQ(formatAt(doc, important).fontWeight(), QFont::Bold);
    EXPECT_EQ(RichTextDocument::paragraphMetrics(QTextCursor(doc->findBlock(important))).leftIndent, 720);
    const QTextBlock second = doc->findBlock(find(doc, "Second page"));
    EXPECT_TRUE(second.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore);
    EXPECT_EQ(back.pageStarts().size(), 2);
}
