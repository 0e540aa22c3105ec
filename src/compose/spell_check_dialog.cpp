#include "compose/spell_check_dialog.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "compose/spell_install.h"
#include "shell/message_boxes.h"
#include "config/program_folder.h"
#include "shell/status_line.h"
#include "shell/window_messages.h"
#include "ui/richtext/rich_editor.h"
#include "ui/widgets/hint.h"

namespace orv {

TSpellCheckDialog::TSpellCheckDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SpellCheckDialog"));
    setWindowTitle(QStringLiteral("Spell Check"));
    setModal(true);

    auto* wordLabel = new QLabel(QStringLiteral("Possible spelling error"), this);
    Word = new QLineEdit(this);
    Word->setObjectName(QStringLiteral("Word"));
    Word->setReadOnly(true);
    SetHint(Word, QStringLiteral("The spell checker does not have this word in its dictionary"));
    wordLabel->setBuddy(Word);

    auto* replaceLabel = new QLabel(QStringLiteral("Replace with"), this);
    ReplaceAs = new QLineEdit(this);
    ReplaceAs->setObjectName(QStringLiteral("ReplaceAs"));
    SetHint(ReplaceAs, QStringLiteral("The spelling error will be replaced with this word if you click Replace"));
    replaceLabel->setBuddy(ReplaceAs);

    auto* listLabel = new QLabel(QStringLiteral("Possible replacements"), this);
    WordList = new QListWidget(this);
    WordList->setObjectName(QStringLiteral("WordList"));
    SetHint(WordList, QStringLiteral("Click one of these suggested replacements to move it into the Replace With box"));
    listLabel->setBuddy(WordList);

    auto button = [this](const char* name, const QString& caption, const QString& hint) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        SetHint(b, hint);
        return b;
    };
    Replace = button("Replace", QStringLiteral("Replace "), QStringLiteral("Replace the word"));
    Replace->setDefault(true);
    Replace->setAutoDefault(true);
    GetNextWordButton = button("GetNextWordButton", QStringLiteral("&Skip Word"), QStringLiteral("Skip the word"));
    Addbutton = button("Addbutton", QStringLiteral("&Add Word"), QStringLiteral("Add the word to the user dictionary"));
    Cancelbutton = button("Cancelbutton", QStringLiteral("Cancel"), QStringLiteral("Cancel the spell check"));
    for (QPushButton* b : {GetNextWordButton, Addbutton, Cancelbutton}) b->setAutoDefault(false);

    status = new QLabel(this);
    status->setObjectName(QStringLiteral("status"));
    status->setFrameShape(QFrame::StyledPanel);
    status->setFrameShadow(QFrame::Sunken);
    status->setMinimumHeight(status->fontMetrics().height() * 2 + 6);
    status->setWordWrap(true);
    status->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    auto* grid = new QGridLayout;
    grid->addWidget(wordLabel, 0, 0);
    grid->addWidget(Word, 1, 0);
    grid->addWidget(replaceLabel, 2, 0);
    grid->addWidget(ReplaceAs, 3, 0);
    grid->addWidget(listLabel, 4, 0);
    grid->addWidget(WordList, 5, 0, 1, 1);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {Replace, GetNextWordButton, Addbutton, Cancelbutton}) buttons->addWidget(b);
    buttons->addStretch(1);
    grid->addLayout(buttons, 1, 1, 5, 1);
    grid->setColumnStretch(0, 1);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(grid, 1);
    outer->addWidget(status);
    WordList->setMinimumHeight(WordList->fontMetrics().height() * 8);
    resize(360, 330);

    // Tab order: the edit boxes and the list, then the buttons.
    setTabOrder(ReplaceAs, WordList);
    setTabOrder(WordList, Replace);
    setTabOrder(Replace, GetNextWordButton);
    setTabOrder(GetNextWordButton, Addbutton);
    setTabOrder(Addbutton, Cancelbutton);
    setTabOrder(Cancelbutton, Word);

    SpellEngine1 = new TSpellEngine(this);
    SpellEngine1->setObjectName(QStringLiteral("SpellEngine1"));

    connect(Replace, &QPushButton::clicked, this, &TSpellCheckDialog::ReplaceClick);
    connect(GetNextWordButton, &QPushButton::clicked, this, &TSpellCheckDialog::GetNextWordButtonClick);
    connect(Addbutton, &QPushButton::clicked, this, &TSpellCheckDialog::AddbuttonClick);
    connect(Cancelbutton, &QPushButton::clicked, this, &TSpellCheckDialog::CancelbuttonClick);
    connect(WordList, &QListWidget::itemClicked, this, &TSpellCheckDialog::WordListClick);
    connect(WordList, &QListWidget::itemDoubleClicked, this, &TSpellCheckDialog::WordListClick);
    // Moving through the list with the keys fills the box as a click does.
    connect(WordList, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item && WordList->hasFocus()) WordListClick(item);
    });

    FormCreate();
}

// FormDestroy: the status scope (a child) points CurrentStatusLabel back.
TSpellCheckDialog::~TSpellCheckDialog() { FormClose(); }

void TSpellCheckDialog::FormCreate() {
    FStatusScope = new TStatusLineScope(this, status);
    const QString folder = ProgramFolder();
    const QString mainFile = folder + QLatin1String(kMainDictionaryFile);
    const QString userFile = folder + QLatin1String(kUserDictionaryFile);
    // Checking opens DictionaryName again while no main dictionary is open:
    // let that be the same file, not a "spell.dct" in whatever folder is current.
    SpellEngine1->setDictionaryName(mainFile);
    SpellEngine1->setDictionaryUser(userFile);
    SpellEngine1->openMainDictionary(mainFile);
    if (QFileInfo::exists(userFile))
        FUserHandle = SpellEngine1->openUserDictionary(userFile);
    else
        FUserHandle = SpellEngine1->createUserDictionary(userFile, {});
    Addbutton->setEnabled(FUserHandle != -1);
}

void TSpellCheckDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (FActivated) return;
    FActivated = true;
    PostToWindow(this, [this] { FormActivate(); });
}

void TSpellCheckDialog::FormActivate() {
    if (!isVisible()) show();
    if (FEditor) FEditor->startWordWalk();
    FindNextWrongWord();
}

void TSpellCheckDialog::FindNextWrongWord() {
    QString word;
    while (FEditor) {
        word = FEditor->nextWord();
        if (word.isEmpty() || !SpellEngine1->checkWord(word)) break;
    }
    if (word.isEmpty()) {
        Word->clear();
        ReplaceAs->clear();
        WordList->clear();
        emit checkComplete();
        hide();
        ShowInfo(QStringLiteral("Spell check complete"));
        PostCloseWindow(this);
        return;
    }
    const QStringList suggestions = SpellEngine1->suggestions(word);
    WordList->clear();
    WordList->addItems(suggestions);
    FEditor->markWord();
    Word->setText(word);
    ReplaceAs->setText(suggestions.isEmpty() ? word : suggestions.first());
    // The user types a correction or presses Enter for Replace.
    ReplaceAs->setFocus();
    ReplaceAs->selectAll();
}

void TSpellCheckDialog::ReplaceClick() {
    if (!FEditor || Word->text().isEmpty()) return;
    FEditor->replaceMarkedWord(ReplaceAs->text());
    FindNextWrongWord();
    if (FEditor) FEditor->viewport()->update();
}

void TSpellCheckDialog::GetNextWordButtonClick() { FindNextWrongWord(); }

void TSpellCheckDialog::AddbuttonClick() {
    // A word the dictionary refuses (too long, say) is skipped all the same.
    if (!Word->text().isEmpty()) SpellEngine1->addWord(Word->text(), FUserHandle);
    FindNextWrongWord();
}

void TSpellCheckDialog::CancelbuttonClick() { close(); }

void TSpellCheckDialog::WordListClick(QListWidgetItem* item) {
    if (item) ReplaceAs->setText(item->text());
}

void TSpellCheckDialog::FormClose() {
    if (FClosed) return;
    FClosed = true;
    if (FEditor) FEditor->unmarkWord();
    SpellEngine1->close();
    FUserHandle = -1;
}

void TSpellCheckDialog::closeEvent(QCloseEvent* event) {
    FormClose();
    QDialog::closeEvent(event);
}

void TSpellCheckDialog::done(int result) {
    FormClose();
    QDialog::done(result);
}

void RunSpellCheck(TRichEditor* editor, QWidget* parent) {
    if (!editor) return;
    TSpellCheckDialog dialog(parent ? parent : editor->window());
    dialog.setEditor(editor);
    dialog.exec();
}

}  // namespace orv
