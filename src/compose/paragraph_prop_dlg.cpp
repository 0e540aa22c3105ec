#include "compose/paragraph_prop_dlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

#include "common/orv_error.h"
#include "shell/message_boxes.h"
#include "shell/window_placement.h"
#include "ui/richtext/rich_editor.h"
#include "ui/widgets/hint.h"

namespace orv {

namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr double kTwipsPerCm = 566.929;
const char* const kSameAsLeft = "Same as Left Indent";
const char* const kIndentedBy = "Indented by";

// A text that is not a number: the number-conversion error of the program.
class EConvertError : public EOrvException {
public:
    using EOrvException::EOrvException;
};

double number(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return 0;
    bool ok = false;
    const double v = QLocale().toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        throw EConvertError(ecBadArgument, QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return v;
}

int rounded(double v) {
    // Out of every range a paragraph can have; the editor clamps further.
    return int(std::lround(std::clamp(v, -1e8, 1e8)));
}

}  // namespace

QString IndentText(int twips, ParagraphUnit unit) {
    const double v = twips / (unit == ParagraphUnit::Inch ? kTwipsPerInch : kTwipsPerCm);
    return QLocale().toString(v, 'f', 2);
}

int IndentTwips(const QString& text, ParagraphUnit unit) {
    return rounded(number(text) * (unit == ParagraphUnit::Inch ? kTwipsPerInch : kTwipsPerCm));
}

QString PointsText(int twips) { return QLocale().toString(rounded(twips / kTwipsPerInch * 72.0)); }

int PointsTwips(const QString& text) { return rounded(number(text) / 72.0 * kTwipsPerInch); }

TParagraphPropDlg::TParagraphPropDlg(TRichEditor* editor, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      FEditor(editor) {
    setObjectName(QStringLiteral("ParagraphPropDlg"));
    setWindowTitle(QStringLiteral("Paragraph Properties"));

    auto edit = [this](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setFixedWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("-000.00")) + 16);
        connect(e, &QLineEdit::textChanged, this, [this, e] { EditChange(e); });
        return e;
    };
    FirstIndentCombo = new QComboBox(this);
    FirstIndentCombo->setObjectName(QStringLiteral("FirstIndentCombo"));
    FirstIndentCombo->addItems({QString::fromLatin1(kSameAsLeft), QString::fromLatin1(kIndentedBy)});
    SetHint(FirstIndentCombo, QStringLiteral("Specify special handling for first line indent"));
    FirstIndent = edit("FirstIndent");
    LeftIndent = edit("LeftIndent");
    RightIndent = edit("RightIndent");
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems({QStringLiteral("Inch"), QStringLiteral("Cm")});
    SetHint(ComboBox1, QStringLiteral("Change unit of measurement to inches or centimeters"));
    SpaceBeforePts = edit("SpaceBeforePts");
    SpaceAfterPts = edit("SpaceAfterPts");
    LineHeightPts = edit("LineHeightPts");
    SetHint(SpaceBeforePts, QStringLiteral("Specify spacing before paragraph in points (1 point=1/72 inch)"));
    SetHint(SpaceAfterPts, QStringLiteral("Specify spacing after paragraph in points (1 point=1/72 inch)"));
    SetHint(LineHeightPts, QStringLiteral("Specify spacing between lines of paragraph in points (1 point=1/72 inch)"));
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] { ComboBox1Change(); });
    connect(FirstIndentCombo, &QComboBox::activated, this, [this] { FirstIndentComboClick(); });

    Okbutton = new QPushButton(QStringLiteral("OK"), this);
    Okbutton->setObjectName(QStringLiteral("Okbutton"));
    Okbutton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    connect(Okbutton, &QPushButton::clicked, this, &TParagraphPropDlg::OkbuttonClick);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto label = [this](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->addWidget(FirstIndentCombo, 0, 0, 1, 2);
    grid->addWidget(label(QStringLiteral("First Indent"), FirstIndent), 1, 0);
    grid->addWidget(FirstIndent, 1, 1);
    grid->addWidget(label(QStringLiteral("Left Indent"), LeftIndent), 2, 0);
    grid->addWidget(LeftIndent, 2, 1);
    grid->addWidget(label(QStringLiteral("Right Indent"), RightIndent), 3, 0);
    grid->addWidget(RightIndent, 3, 1);
    grid->addWidget(label(QStringLiteral("Units"), ComboBox1), 4, 0);
    grid->addWidget(ComboBox1, 4, 1);
    grid->addWidget(label(QStringLiteral("Space before (pts)"), SpaceBeforePts), 1, 2);
    grid->addWidget(SpaceBeforePts, 1, 3);
    grid->addWidget(label(QStringLiteral("Space after (pts)"), SpaceAfterPts), 2, 2);
    grid->addWidget(SpaceAfterPts, 2, 3);
    grid->addWidget(label(QStringLiteral("Line Height (pts)"), LineHeightPts), 3, 2);
    grid->addWidget(LineHeightPts, 3, 3);
    grid->setColumnMinimumWidth(2, 20);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Okbutton);
    buttons->addWidget(CancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addLayout(grid);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setTabOrder(FirstIndentCombo, FirstIndent);
    setTabOrder(FirstIndent, LeftIndent);
    setTabOrder(LeftIndent, RightIndent);
    setTabOrder(RightIndent, ComboBox1);
    setTabOrder(ComboBox1, SpaceBeforePts);
    setTabOrder(SpaceBeforePts, SpaceAfterPts);
    setTabOrder(SpaceAfterPts, LineHeightPts);
    setTabOrder(LineHeightPts, Okbutton);
    setTabOrder(Okbutton, CancelButton);
}

ParagraphUnit TParagraphPropDlg::unit() const {
    return ComboBox1->currentIndex() == 1 ? ParagraphUnit::Cm : ParagraphUnit::Inch;
}

void TParagraphPropDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!property("orvShown").toBool()) {
        setProperty("orvShown", true);
        FormShow();
    }
}

void TParagraphPropDlg::FormShow() {
    if (FEditor) {
        const ParagraphMetrics m = FEditor->paragraphMetrics();
        const int values[6] = {m.firstIndent, m.leftIndent, m.rightIndent, m.spaceBefore, m.spaceAfter, m.lineHeight};
        std::copy(std::begin(values), std::end(values), std::begin(FValues));
    }
    {
        const QSignalBlocker block(ComboBox1);
        ComboBox1->setCurrentIndex(0);
    }
    FirstIndentCombo->setCurrentIndex(FValues[0] != FValues[1] ? 1 : 0);
    FirstIndent->setEnabled(FirstIndentCombo->currentIndex() == 1);
    fillEdits();
    setHints();
}

// The edits show the values; filling them stores nothing, so switching the
// unit back and forth never moves a value by its rounding.
void TParagraphPropDlg::fillEdits() {
    FFilling = true;
    const ParagraphUnit u = unit();
    FirstIndent->setText(IndentText(FValues[0], u));
    LeftIndent->setText(IndentText(FValues[1], u));
    RightIndent->setText(IndentText(FValues[2], u));
    SpaceBeforePts->setText(PointsText(FValues[3]));
    SpaceAfterPts->setText(PointsText(FValues[4]));
    LineHeightPts->setText(PointsText(FValues[5]));
    FFilling = false;
}

void TParagraphPropDlg::setHints() {
    const QString word = unit() == ParagraphUnit::Inch ? QStringLiteral("inches") : QStringLiteral("centimeters");
    SetHint(FirstIndent, QStringLiteral("Specify first line indent for the paragraph in ") + word);
    SetHint(LeftIndent, QStringLiteral("Specify left indent for the paragraph in ") + word);
    SetHint(RightIndent, QStringLiteral("Specify right indent for the paragraph in ") + word);
}

void TParagraphPropDlg::ComboBox1Change() {
    fillEdits();
    setHints();
}

int TParagraphPropDlg::indexOf(const QLineEdit* edit) const {
    const QLineEdit* edits[6] = {FirstIndent, LeftIndent, RightIndent, SpaceBeforePts, SpaceAfterPts, LineHeightPts};
    for (int i = 0; i < 6; ++i)
        if (edits[i] == edit) return i;
    return -1;
}

void TParagraphPropDlg::EditChange(QLineEdit* edit) {
    if (FFilling) return;
    const int i = indexOf(edit);
    if (i < 0) return;
    // The point fields are the ones whose names end in "Pts".
    const bool points = edit->objectName().contains(QLatin1String("PTS"), Qt::CaseInsensitive);
    try {
        FValues[i] = points ? PointsTwips(edit->text()) : IndentTwips(edit->text(), unit());
    } catch (const EConvertError& e) {
        // The value keeps what it had; the user learns why at the keystroke.
        ShowError(e.message());
        return;
    }
    if (edit == LeftIndent && FirstIndentCombo->currentIndex() == 0) {
        FirstIndent->setText(LeftIndent->text());
        FValues[0] = FValues[1];
    }
}

void TParagraphPropDlg::FirstIndentComboClick() {
    const bool indented = FirstIndentCombo->currentIndex() == 1;
    if (!indented) {
        FirstIndent->setText(LeftIndent->text());
        FValues[0] = FValues[1];
    }
    FirstIndent->setEnabled(indented);
}

void TParagraphPropDlg::OkbuttonClick() {
    if (FEditor) {
        FEditor->setParagraphSpacing(FValues[3], FValues[5], FValues[4]);
        FEditor->setParagraphIndents(FValues[0], FValues[1], FValues[2]);
        FEditor->reformat();
    }
    accept();
}

void OpenParagraphProperties(TRichEditor* editor, QWidget* parent) {
    TParagraphPropDlg dialog(editor, parent);
    CenterWindow(&dialog);
    dialog.exec();
    if (editor) editor->setFocus();
}

}  // namespace orv
