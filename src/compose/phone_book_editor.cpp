#include "compose/phone_book_editor.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "shell/help_window.h"
#include "shell/status_line.h"
#include "ui/widgets/align_label.h"
#include "ui/widgets/button_panel.h"
#include "ui/widgets/hint.h"
#include "ui/widgets/picture_button.h"

namespace orv {

TPhoneBookEditor::TPhoneBookEditor(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("PhoneBookEditor"));
    setWindowTitle(QStringLiteral("Phone Book Editor"));

    ButtonPanel = new TButtonPanel(QStringLiteral("ButtonPanel"), this);
    OKButton = ButtonPanel->addButton("OKButton", "&Accept", "Accept changes made and exit", "accept");
    Cancelbutton = ButtonPanel->addButton("Cancelbutton", "Cance&l", "Cancel changes made and exit", "cancel");
    Helpbutton = ButtonPanel->addButton("Helpbutton", "&Help", "Get Windows help for Phone Book Editor", "help");
    connect(OKButton, &QAbstractButton::clicked, this, &TPhoneBookEditor::OKButtonClick);
    connect(Cancelbutton, &QAbstractButton::clicked, this, &TPhoneBookEditor::CancelbuttonClick);
    connect(Helpbutton, &QAbstractButton::clicked, this, &TPhoneBookEditor::HelpbuttonClick);

    Name = new QLineEdit(this);
    Name->setObjectName(QStringLiteral("Name"));
    Name->setMaxLength(35);
    SetHint(Name, QStringLiteral("Type the recipient's name here"));
    Number = new QLineEdit(this);
    Number->setObjectName(QStringLiteral("Number"));
    Number->setMaxLength(25);
    SetHint(Number, QStringLiteral("Type the fax number here"));
    // Enter moves from the name to the number, and accepts from the number.
    connect(Name, &QLineEdit::returnPressed, Number, [this] { Number->setFocus(); });
    connect(Number, &QLineEdit::returnPressed, this, &TPhoneBookEditor::OKButtonClick);
    const int charWidth = Name->fontMetrics().horizontalAdvance(QLatin1Char('M'));
    Name->setMinimumWidth(charWidth * 24);
    Number->setMinimumWidth(charWidth * 17);

    auto* nameLabel = new QLabel(QStringLiteral("&Name"), this);
    nameLabel->setBuddy(Name);
    auto* numberLabel = new QLabel(QStringLiteral("&Fax Number"), this);
    numberLabel->setBuddy(Number);
    auto* form = new QFormLayout;
    form->setContentsMargins(12, 12, 12, 12);
    form->addRow(nameLabel, Name);
    form->addRow(numberLabel, Number);

    status = TAlignLabel::statusLine(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ButtonPanel);
    layout->addLayout(form);
    layout->addStretch(1);
    layout->addWidget(status);
    setTabOrder(Name, Number);
    Name->setFocus();
    adjustSize();
    // FormCreate: this window's status line is the current one until it goes.
    FStatusScope = new TStatusLineScope(this, status);
}

// FormDestroy: the status line of the window below becomes current again.
TPhoneBookEditor::~TPhoneBookEditor() { delete FStatusScope; }

void TPhoneBookEditor::OKButtonClick() { accept(); }

void TPhoneBookEditor::CancelbuttonClick() { reject(); }

void TPhoneBookEditor::HelpbuttonClick() { ShowHelp(kHelpPhoneBookEditor); }

}  // namespace orv
