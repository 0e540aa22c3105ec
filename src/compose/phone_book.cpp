#include "compose/phone_book.h"

#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QVBoxLayout>

#include "compose/phone_book_editor.h"
#include "shell/db_grid.h"
#include "shell/help_window.h"
#include "shell/message_boxes.h"
#include "shell/status_line.h"
#include "shell/window_placement.h"
#include "store/schemas.h"
#include "ui/widgets/align_label.h"
#include "ui/widgets/button_panel.h"
#include "ui/widgets/picture_button.h"

namespace orv {

TPhoneBook::TPhoneBook(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("PhoneBook"));
    setWindowTitle(QStringLiteral("Phone Book Browser"));
    PhoneTable.setObjectName(QStringLiteral("PhoneTable"));
    PhoneDataSource.setObjectName(QStringLiteral("PhoneDataSource"));
    PhoneLink.setObjectName(QStringLiteral("PhoneLink"));
    PhoneDataSource.setDataSet(&PhoneTable);
    PhoneLink.setDataSource(&PhoneDataSource);

    ButtonPanel = new TButtonPanel(QStringLiteral("ButtonPanel"), this);
    Addbutton = ButtonPanel->addButton("Addbutton", "&New", "Create a new phone book entry", "new");
    Modifybutton = ButtonPanel->addButton("Modifybutton", "&Edit", "Edit the currently selected phone book entry", "edit");
    Deletebutton = ButtonPanel->addButton("Deletebutton", "&Delete", "Delete the currently selected phone book entry", "delete");
    OKButton = ButtonPanel->addButton("OKButton", "&Accept", "Use this phone book entry", "accept");
    Cancelbutton = ButtonPanel->addButton("Cancelbutton", "Cance&l", "Cancel - do not use any of these phone book entries", "cancel");
    Helpbutton = ButtonPanel->addButton("Helpbutton", "&Help", "Get Windows help for Phonebook Browser", "help");
    Closebutton = ButtonPanel->addButton("Closebutton", "C&lose", "Close the Phone Book Browser", "exit");
    OKButton->hide();
    Cancelbutton->hide();
    connect(Addbutton, &QAbstractButton::clicked, this, &TPhoneBook::AddbuttonClick);
    connect(Modifybutton, &QAbstractButton::clicked, this, &TPhoneBook::ModifyButtonClick);
    connect(Deletebutton, &QAbstractButton::clicked, this, &TPhoneBook::DeleteButtonClick);
    connect(OKButton, &QAbstractButton::clicked, this, &TPhoneBook::AcceptbuttonClick);
    connect(Cancelbutton, &QAbstractButton::clicked, this, &TPhoneBook::CancelbuttonClick);
    connect(Helpbutton, &QAbstractButton::clicked, this, &TPhoneBook::HelpbuttonClick);
    connect(Closebutton, &QAbstractButton::clicked, this, &TPhoneBook::ClosebuttonClick);

    PhoneGrid = new TDBGrid(QStringLiteral("PhoneGrid"), &PhoneDataSource, this);
    connect(PhoneGrid, &TDBGrid::DblClick, this, &TPhoneBook::PhoneGridDblClick);
    status = TAlignLabel::statusLine(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ButtonPanel);
    layout->addWidget(PhoneGrid, 1);
    layout->addWidget(status);
    resize(520, 340);
    // FormCreate: this window's status line is the current one until it goes.
    FStatusScope = new TStatusLineScope(this, status);
}

// FormDestroy; the table closes with the window.
TPhoneBook::~TPhoneBook() {
    delete FStatusScope;
    try {
        PhoneTable.close();
    } catch (const std::exception&) {
    }
}

bool TPhoneBook::OpenTable(const QString& folder) {
    if (!OpenPhoneDBF(PhoneTable, PhoneLink, folder)) return false;
    PhoneTableNAME = PhoneTable.findField(QStringLiteral("NAME"));
    PhoneTablePHONE = PhoneTable.findField(QStringLiteral("PHONE"));
    if (!PhoneTableNAME || !PhoneTablePHONE) {
        PhoneTable.close();
        return false;
    }
    // This window shows names wider than the shared schema does.
    PhoneTable.defineField(QStringLiteral("NAME"), QStringLiteral("Name"), 50);
    PhoneGrid->setColumnWidth(0, PhoneGrid->widthForCharacters(PhoneTableNAME->DisplayWidth()));
    return true;
}

void TPhoneBook::setPickingUse(bool picking) {
    Closebutton->setVisible(!picking);
    OKButton->setVisible(picking);
    Cancelbutton->setVisible(picking);
    ButtonEnabling();
}

int TPhoneBook::RecordsInView() {
    if (!PhoneTable.active()) return 0;
    try {
        return int(PhoneLink.filteredRecordCount());
    } catch (const std::exception&) {
        return 0;
    }
}

void TPhoneBook::ButtonEnabling() {
    QApplication::processEvents();
    const bool any = RecordsInView() > 0;
    Modifybutton->setEnabled(any);
    Deletebutton->setEnabled(any);
    // Hidden, it keeps its state until shown; enabling only matters while it is.
    if (!OKButton->isHidden()) OKButton->setEnabled(any);
}

// Activation is handled once the window is on the screen: pending messages
// are processed there, which must not happen inside the show itself.
void TPhoneBook::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    QMetaObject::invokeMethod(this, [this] { FormActivate(); }, Qt::QueuedConnection);
}

bool TPhoneBook::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        QMetaObject::invokeMethod(this, [this] { FormActivate(); }, Qt::QueuedConnection);
    return QDialog::event(event);
}

void TPhoneBook::FormActivate() {
    SetCurrentStatusLabel(status);
    ButtonEnabling();
}

void TPhoneBook::AddbuttonClick() {
    if (!PhoneTable.active()) return;
    {
        TPhoneBookEditor editor(this);
        CenterWindow(&editor);
        if (editor.exec() == QDialog::Accepted) {
            try {
                PhoneTable.append();
                PhoneTableNAME->setAsString(editor.nameEdit()->text());
                PhoneTablePHONE->setAsString(editor.numberEdit()->text());
                PhoneTable.post();
            } catch (const std::exception& e) {
                if (PhoneTable.state() != TDataSetState::dsBrowse) PhoneTable.cancel();
                ShowException(e);
            }
        }
    }
    ButtonEnabling();
}

void TPhoneBook::ModifyButtonClick() {
    if (RecordsInView() == 0) {
        Beep();
        return;
    }
    TPhoneBookEditor editor(this);
    editor.nameEdit()->setText(PhoneTableNAME->asString());
    editor.numberEdit()->setText(PhoneTablePHONE->asString());
    CenterWindow(&editor);
    if (editor.exec() != QDialog::Accepted) return;
    try {
        PhoneTable.edit();
        PhoneTableNAME->setAsString(editor.nameEdit()->text());
        PhoneTablePHONE->setAsString(editor.numberEdit()->text());
        PhoneTable.post();
    } catch (const std::exception& e) {
        if (PhoneTable.state() != TDataSetState::dsBrowse) PhoneTable.cancel();
        ShowException(e);
    }
}

void TPhoneBook::DeleteButtonClick() {
    if (RecordsInView() == 0) {
        Beep();
        return;
    }
    const QString question = QStringLiteral("Delete the current phone book entry?:\r") + PhoneTableNAME->asString();
    try {
        if (AskYesNoDefaultNo(question, QStringLiteral("Delete"))) PhoneTable.deleteRecord();
        PhoneTable.refresh();
    } catch (const std::exception& e) {
        ShowException(e);
    }
    ButtonEnabling();
}

void TPhoneBook::AcceptbuttonClick() {
    // Accept is disabled on an empty list; Enter or a double-click may still get here.
    if (RecordsInView() == 0) {
        Beep();
        return;
    }
    FName = PhoneTableNAME->asString();
    FNumber = PhoneTablePHONE->asString();
    accept();
}

void TPhoneBook::CancelbuttonClick() { reject(); }

void TPhoneBook::ClosebuttonClick() { reject(); }

void TPhoneBook::HelpbuttonClick() { ShowHelp(kHelpPhoneBook); }

// A double-click picks the entry when the list is a picker and edits it otherwise.
void TPhoneBook::PhoneGridDblClick() {
    if (!OKButton->isHidden())
        AcceptbuttonClick();
    else
        ModifyButtonClick();
}

}  // namespace orv
