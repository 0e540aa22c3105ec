// The paragraph properties dialog: its conversions, and what it reads from
// and sets on the paragraph at an editor's insertion point.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "common/orv_error.h"
#include "compose/cover_editor.h"
#include "compose/paragraph_prop_dlg.h"
#include "shell/modal_driver.h"
#include "support/temp_home.h"
#include "ui/richtext/rich_editor.h"

using namespace orv;
using orv::test::child;
using orv::test::ModalDriver;

namespace {

struct CLocale {
    CLocale() { QLocale::setDefault(QLocale::c()); }
    ~CLocale() { QLocale::setDefault(QLocale::system()); }
};

// Rounding through the editor's layout units may move a value by a twip.
void expectNear(int got, int want) { EXPECT_LE(std::abs(got - want), 1) << got << " vs " << want; }

}  // namespace

TEST(ParagraphProperties, ConversionsOfIndentsAndPoints) {
    CLocale c;
    EXPECT_EQ(IndentText(1440, ParagraphUnit::Inch), "1.00");
    EXPECT_EQ(IndentText(1440, ParagraphUnit::Cm), "2.54");
    EXPECT_EQ(IndentText(720, ParagraphUnit::Inch), "0.50");
    EXPECT_EQ(IndentText(-360, ParagraphUnit::Inch), "-0.25");
    EXPECT_EQ(IndentTwips("1", ParagraphUnit::Inch), 1440);
    EXPECT_EQ(IndentTwips("2.54", ParagraphUnit::Cm), 1440);   // 1439.99 rounded
    EXPECT_EQ(IndentTwips("1", ParagraphUnit::Cm), 567);       // 566.929 rounded
    EXPECT_EQ(IndentTwips("", ParagraphUnit::Cm), 0);
    EXPECT_EQ(PointsTwips("12"), 240);
    EXPECT_EQ(PointsText(240), "12");
    EXPECT_EQ(PointsText(250), "13");  // 12.5 points round to 13
    EXPECT_EQ(PointsTwips(""), 0);
    EXPECT_THROW(IndentTwips("abc", ParagraphUnit::Inch), EOrvException);
    EXPECT_THROW(PointsTwips("1,5"), EOrvException);
    // With a German locale the separator is the comma.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(IndentText(1440, ParagraphUnit::Cm), "2,54");
    EXPECT_EQ(IndentTwips("2,54", ParagraphUnit::Cm), 1440);
}

TEST(ParagraphProperties, ReadsTheParagraphSwitchesUnitsFollowsTheLeftIndentAndSetsOnOk) {
    CLocale c;
    test::TempHome home;
    TRichEditor editor;
    QTextCursor cur = editor.textCursor();
    cur.insertText("First paragraph");
    cur.insertBlock();
    cur.insertText("Second paragraph");
    editor.setTextCursor(cur);
    editor.setParagraphIndents(1440, 1440, 0);
    editor.setParagraphSpacing(0, 0, 0);
    const ParagraphMetrics before = editor.paragraphMetrics();

    {
        TParagraphPropDlg dlg(&editor);
        dlg.show();
        QApplication::processEvents();
        EXPECT_EQ(dlg.windowTitle(), "Paragraph Properties");
        auto* firstCombo = child<QComboBox>(&dlg, "FirstIndentCombo");
        auto* first = child<QLineEdit>(&dlg, "FirstIndent");
        auto* left = child<QLineEdit>(&dlg, "LeftIndent");
        auto* units = child<QComboBox>(&dlg, "ComboBox1");
        auto* before_ = child<QLineEdit>(&dlg, "SpaceBeforePts");
        EXPECT_EQ(firstCombo->currentText(), "Same as Left Indent");
        EXPECT_FALSE(first->isEnabled());
        EXPECT_EQ(units->currentText(), "Inch");
        EXPECT_EQ(left->text(), "1.00");
        EXPECT_EQ(left->statusTip(), "Specify left indent for the paragraph in inches");
        units->setCurrentIndex(1);
        EXPECT_EQ(left->text(), "2.54");
        EXPECT_EQ(first->statusTip(), "Specify first line indent for the paragraph in centimeters");
        EXPECT_EQ(dlg.leftIndent(), 1440);  // showing it in another unit moved nothing

        // "Same as Left Indent": the first line follows the left indent.
        left->setText("3.5");
        EXPECT_EQ(first->text(), "3.5");
        EXPECT_EQ(dlg.leftIndent(), 1984);
        EXPECT_EQ(dlg.firstIndent(), 1984);
        before_->setText("12");
        EXPECT_EQ(dlg.spaceBefore(), 240);
        // A text that is no number says so and keeps the value.
        ModalDriver error;
        QString message;
        error.then([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) return false;
            message = box->text();
            box->accept();
            return true;
        });
        ASSERT_TRUE(error.run([&] { child<QLineEdit>(&dlg, "RightIndent")->setText("x"); }));
        EXPECT_EQ(message, "'x' is not a valid floating point value");
        EXPECT_EQ(dlg.rightIndent(), 0);
        child<QLineEdit>(&dlg, "RightIndent")->setText("1");
        EXPECT_EQ(dlg.rightIndent(), 567);
        child<QPushButton>(&dlg, "Okbutton")->click();
    }
    const ParagraphMetrics m = editor.paragraphMetrics();
    expectNear(m.leftIndent, 1984);
    expectNear(m.firstIndent, 1984);
    expectNear(m.rightIndent, 567);
    expectNear(m.spaceBefore, 240);
    // Only the paragraph of the insertion point changed.
    QTextCursor firstPara(editor.document());
    EXPECT_EQ(RichTextDocument::paragraphMetrics(firstPara), ParagraphMetrics{});
    EXPECT_NE(m, before);

    {
        // "Indented by" frees the first line; Cancel sets nothing.
        TParagraphPropDlg dlg(&editor);
        dlg.show();
        QApplication::processEvents();
        auto* firstCombo = child<QComboBox>(&dlg, "FirstIndentCombo");
        firstCombo->setCurrentIndex(1);
        emit firstCombo->activated(1);
        auto* first = child<QLineEdit>(&dlg, "FirstIndent");
        EXPECT_TRUE(first->isEnabled());
        first->setText("0.25");
        EXPECT_EQ(dlg.firstIndent(), 360);
        child<QPushButton>(&dlg, "CancelButton")->click();
    }
    EXPECT_EQ(editor.paragraphMetrics(), m);
}

TEST(ParagraphProperties, TheCoverEditorsButtonOpensItOnItsText) {
    CLocale c;
    test::TempHome home;
    TCoverEditor e;
    e.show();
    e.richCover()->setParagraphIndents(720, 720, 0);
    QString title, left;
    ModalDriver driver;
    driver.then([&](QWidget* modal) {
        auto* dlg = qobject_cast<TParagraphPropDlg*>(modal);
        if (!dlg) return false;
        title = dlg->windowTitle();
        left = child<QLineEdit>(dlg, "LeftIndent")->text();
        child<QLineEdit>(dlg, "SpaceAfterPts")->setText("6");
        child<QPushButton>(dlg, "Okbutton")->click();
        return true;
    });
    ASSERT_TRUE(driver.run([&] { child<QToolButton>(&e, "CoverParagraphSetupbutton")->click(); }));
    EXPECT_EQ(title, "Paragraph Properties");
    EXPECT_EQ(left, "0.50");
    expectNear(e.richCover()->paragraphMetrics().spaceAfter, 120);
    e.reject();
}
