#include "ui/richtext/rich_tool_bar.h"

#include "ui/richtext/rich_editor.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFontComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QToolButton>

namespace orv {

const QList<int> TRichToolBar::kFontSizes = {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72};

TRichToolBar::TRichToolBar(QWidget* parent) : QToolBar(parent) {
    setObjectName(QStringLiteral("RichToolBar"));
    setMovable(false);
    setFloatable(false);

    fontName_ = new QFontComboBox(this);
    fontName_->setObjectName(QStringLiteral("FontName"));
    fontName_->setToolTip(tr("Font name"));
    addWidget(fontName_);
    connect(fontName_, &QFontComboBox::currentFontChanged, this, [this](const QFont& f) {
        if (!updating_ && editor_) editor_->setFontName(f.families().value(0, f.family()));
    });

    fontSize_ = new QComboBox(this);
    fontSize_->setObjectName(QStringLiteral("FontSize"));
    fontSize_->setToolTip(tr("Font size"));
    fontSize_->setEditable(true);
    fontSize_->setInsertPolicy(QComboBox::NoInsert);
    for (int s : kFontSizes) fontSize_->addItem(QString::number(s));
    addWidget(fontSize_);
    connect(fontSize_, &QComboBox::activated, this, [this] { applyFontSize(); });
    connect(fontSize_->lineEdit(), &QLineEdit::editingFinished, this, [this] { applyFontSize(); });

    addSeparator();
    QToolButton* normal = makeButton("NormalButton", tr("N"), tr("Normal"), false);
    connect(normal, &QToolButton::clicked, this, [this] { if (editor_) editor_->setNormal(); });
    bold_ = makeButton("BoldButton", tr("B"), tr("Bold"), true);
    QFont f = bold_->font();
    f.setBold(true);
    bold_->setFont(f);
    connect(bold_, &QToolButton::clicked, this, [this](bool on) { if (editor_) editor_->setBold(on); });
    italic_ = makeButton("ItalicButton", tr("I"), tr("Italic"), true);
    f = italic_->font();
    f.setItalic(true);
    italic_->setFont(f);
    connect(italic_, &QToolButton::clicked, this, [this](bool on) { if (editor_) editor_->setItalic(on); });
    underline_ = makeButton("UnderlineButton", tr("U"), tr("Underline"), true);
    f = underline_->font();
    f.setUnderline(true);
    underline_->setFont(f);
    connect(underline_, &QToolButton::clicked, this, [this](bool on) { if (editor_) editor_->setUnderline(on); });

    addSeparator();
    auto* aligns = new QButtonGroup(this);
    aligns->setExclusive(true);
    left_ = makeButton("LeftButton", tr("Left"), tr("Align left"), true);
    right_ = makeButton("RightButton", tr("Right"), tr("Align right"), true);
    justify_ = makeButton("JustifyButton", tr("Justify"), tr("Justify"), true);
    center_ = makeButton("CenterButton", tr("Centre"), tr("Centre"), true);
    left_->setIcon(QIcon::fromTheme(QStringLiteral("format-justify-left")));
    right_->setIcon(QIcon::fromTheme(QStringLiteral("format-justify-right")));
    justify_->setIcon(QIcon::fromTheme(QStringLiteral("format-justify-fill")));
    center_->setIcon(QIcon::fromTheme(QStringLiteral("format-justify-center")));
    const std::pair<QToolButton*, Qt::Alignment> alignButtons[] = {
        {left_, Qt::AlignLeft}, {right_, Qt::AlignRight}, {justify_, Qt::AlignJustify}, {center_, Qt::AlignHCenter}};
    for (const auto& [button, align] : alignButtons) {
        aligns->addButton(button);
        connect(button, &QToolButton::clicked, this, [this, a = align] { if (editor_) editor_->setParagraphAlignment(a); });
    }

    addSeparator();
    QToolButton* copy = makeButton("CopyButton", tr("Copy"), tr("Copy"), false);
    copy->setIcon(QIcon::fromTheme(QStringLiteral("edit-copy")));
    connect(copy, &QToolButton::clicked, this, [this] { if (editor_) editor_->copy(); });
    QToolButton* cut = makeButton("CutButton", tr("Cut"), tr("Cut"), false);
    cut->setIcon(QIcon::fromTheme(QStringLiteral("edit-cut")));
    connect(cut, &QToolButton::clicked, this, [this] { if (editor_) editor_->cut(); });
    QToolButton* paste = makeButton("PasteButton", tr("Paste"), tr("Paste"), false);
    paste->setIcon(QIcon::fromTheme(QStringLiteral("edit-paste")));
    connect(paste, &QToolButton::clicked, this, [this] { if (editor_) editor_->paste(); });
    QToolButton* spell = makeButton("SpellButton", tr("Spell"), tr("Check spelling"), false);
    spell->setIcon(QIcon::fromTheme(QStringLiteral("tools-check-spelling")));
    connect(spell, &QToolButton::clicked, this, [this] { if (editor_) editor_->requestSpellCheck(); });
    addSeparator();
}

QToolButton* TRichToolBar::makeButton(const char* objectName, const QString& text, const QString& hint,
                                      bool checkable) {
    auto* b = new QToolButton(this);
    b->setObjectName(QLatin1String(objectName));
    b->setText(text);
    b->setToolTip(hint);
    b->setStatusTip(hint);
    b->setCheckable(checkable);
    b->setFocusPolicy(Qt::NoFocus);  // the editor keeps the focus
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    addWidget(b);
    return b;
}

void TRichToolBar::addButton(QWidget* button) { addWidget(button); }

void TRichToolBar::setEditor(TRichEditor* editor) {
    for (const auto& c : editorConnections_) disconnect(c);
    editorConnections_.clear();
    editor_ = editor;
    if (!editor) return;
    editorConnections_ << connect(editor, &TRichEditor::currentCharFormatChanged, this, [this] { updateFromEditor(); });
    editorConnections_ << connect(editor, &TRichEditor::cursorPositionChanged, this, [this] { updateFromEditor(); });
    updateFromEditor();
}

void TRichToolBar::applyFontSize() {
    if (updating_ || !editor_) return;
    bool ok = false;
    const double size = fontSize_->currentText().toDouble(&ok);
    if (ok && size >= 1 && size <= 1638) editor_->setFontSize(size);
}

void TRichToolBar::updateFromEditor() {
    if (!editor_) return;
    updating_ = true;
    {
        const QSignalBlocker b1(fontName_), b2(fontSize_);
        fontName_->setCurrentFont(QFont(editor_->fontName()));
        const qreal size = editor_->fontSize();
        fontSize_->setEditText(QString::number(size, 'g', 4));
    }
    bold_->setChecked(editor_->bold());
    italic_->setChecked(editor_->italic());
    underline_->setChecked(editor_->underline());
    const Qt::Alignment a = editor_->paragraphAlignment();
    if (a & Qt::AlignJustify) justify_->setChecked(true);
    else if (a & Qt::AlignHCenter) center_->setChecked(true);
    else if (a & (Qt::AlignRight | Qt::AlignTrailing)) right_->setChecked(true);
    else left_->setChecked(true);
    updating_ = false;
}

}  // namespace orv
