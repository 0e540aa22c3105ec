#pragma once
// TSpellCheckDialog ("Spell Check"): walks the words of a rich-text editor,
// stops at each word no dictionary holds, and lets the user replace it, skip
// it or add it to the user dictionary orvu.dct.
#include <QDialog>

#include "compose/spell_engine.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace orv {

class TRichEditor;
class TStatusLineScope;

class TSpellCheckDialog : public QDialog {
    Q_OBJECT
public:
    explicit TSpellCheckDialog(QWidget* parent = nullptr);
    ~TSpellCheckDialog() override;

    // The editor to check; handed over before the dialog is shown.
    void setEditor(TRichEditor* editor) { FEditor = editor; }
    TSpellEngine* engine() const { return SpellEngine1; }
    int userDictionary() const { return FUserHandle; }

    QLineEdit* Word = nullptr;
    QLineEdit* ReplaceAs = nullptr;
    QListWidget* WordList = nullptr;
    QPushButton* Replace = nullptr;
    QPushButton* GetNextWordButton = nullptr;
    QPushButton* Addbutton = nullptr;
    QPushButton* Cancelbutton = nullptr;
    QLabel* status = nullptr;
    TSpellEngine* SpellEngine1 = nullptr;

public slots:
    void ReplaceClick();
    void GetNextWordButtonClick();
    void AddbuttonClick();
    void CancelbuttonClick();
    void WordListClick(QListWidgetItem* item);

signals:
    // The check reached the end of the text (before "Spell check complete" shows).
    void checkComplete();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;

private:
    void FormCreate();
    void FormActivate();
    void FormClose();
    void FindNextWrongWord();

    TRichEditor* FEditor = nullptr;
    TStatusLineScope* FStatusScope = nullptr;
    int FUserHandle = -1;
    bool FActivated = false;
    bool FClosed = false;
};

// Runs "Spell Check" over an editor, modal over parent. The spell-check
// buttons of the fax editor and the cover-template editor call this.
void RunSpellCheck(TRichEditor* editor, QWidget* parent);

}  // namespace orv
