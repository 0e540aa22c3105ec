#include "compose/cover_browse.h"

#include <QEvent>
#include <QLineEdit>
#include <QVBoxLayout>

#include "compose/cover_editor.h"
#include "config/settings.h"
#include "shell/db_grid.h"
#include "shell/help_window.h"
#include "shell/message_boxes.h"
#include "shell/rich_text_memo.h"
#include "shell/status_line.h"
#include "shell/window_placement.h"
#include "store/tdatasource.h"
#include "store/tengine_link.h"
#include "store/ttable.h"
#include "ui/richtext/rich_editor.h"
#include "ui/widgets/align_label.h"
#include "ui/widgets/button_panel.h"
#include "ui/widgets/picture_button.h"

namespace orv {

TCoverBrowse::TCoverBrowse(TTable& coverTable, TDataSource& coverDataSource, TEngineLink& coverLink, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      CoverTable(coverTable),
      CoverDataSource(coverDataSource),
      CoverLink(coverLink) {
    setObjectName(QStringLiteral("CoverBrowse"));
    setWindowTitle(QStringLiteral("Cover Sheet Template Browser"));

    ButtonPanel = new TButtonPanel(QStringLiteral("ButtonPanel"), this);
    NewButton = ButtonPanel->addButton("NewButton", "&New", "Create a new fax cover template", "new");
    ModifyButton = ButtonPanel->addButton("ModifyButton", "&Edit", "Edit the currently selected fax cover template", "edit");
    CloneButton = ButtonPanel->addButton("CloneButton", "&Clone", "Clone the currently selected fax cover template", "clone");
    DeleteButton = ButtonPanel->addButton("DeleteButton", "&Delete", "Delete  the currently selected fax cover template", "delete");
    Acceptbutton = ButtonPanel->addButton("Acceptbutton", "&Accept", "Use this cover sheet template", "accept");
    CancelButton = ButtonPanel->addButton("CancelButton", "Cance&l", "Cancel - do not use any of these templates", "cancel");
    HelpButton = ButtonPanel->addButton("HelpButton", "&Help", "Get Windows help for Cover Sheet Template Browser", "help");
    CloseButton = ButtonPanel->addButton("CloseButton", "C&lose", "Close the Cover Sheet Template Browser", "exit");
    Acceptbutton->hide();
    CancelButton->hide();
    connect(NewButton, &QAbstractButton::clicked, this, &TCoverBrowse::NewButtonClick);
    connect(ModifyButton, &QAbstractButton::clicked, this, &TCoverBrowse::ModifyButtonClick);
    connect(CloneButton, &QAbstractButton::clicked, this, &TCoverBrowse::CloneButtonClick);
    connect(DeleteButton, &QAbstractButton::clicked, this, &TCoverBrowse::DeleteButtonClick);
    connect(Acceptbutton, &QAbstractButton::clicked, this, &TCoverBrowse::AcceptbuttonClick);
    connect(CancelButton, &QAbstractButton::clicked, this, &TCoverBrowse::CancelButtonClick);
    connect(HelpButton, &QAbstractButton::clicked, this, &TCoverBrowse::HelpButtonClick);
    connect(CloseButton, &QAbstractButton::clicked, this, &TCoverBrowse::CloseButtonClick);

    // FormCreate: the grid shows the main window's cover table.
    CoverGrid = new TDBGrid(QStringLiteral("CoverGrid"), &CoverDataSource, this);
    connect(CoverGrid, &TDBGrid::DblClick, this, &TCoverBrowse::CoverGridDblClick);
    status = TAlignLabel::statusLine(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ButtonPanel);
    layout->addWidget(CoverGrid, 1);
    layout->addWidget(status);
    resize(560, 340);
    FStatusScope = new TStatusLineScope(this, status);
}

// FormDestroy: the status line of the window below becomes current again.
TCoverBrowse::~TCoverBrowse() { delete FStatusScope; }

void TCoverBrowse::setPickingUse(bool picking) {
    CloseButton->setVisible(!picking);
    Acceptbutton->setVisible(picking);
    CancelButton->setVisible(picking);
}

bool TCoverBrowse::event(QEvent* event) {
    // FormActivate
    if (event->type() == QEvent::WindowActivate) SetCurrentStatusLabel(status);
    return QDialog::event(event);
}

int TCoverBrowse::RecordsInView() {
    if (!CoverTable.active()) return 0;
    try {
        return int(CoverLink.filteredRecordCount());
    } catch (const std::exception&) {
        return 0;
    }
}

bool TCoverBrowse::StoreTemplate(TCoverEditor& editor) {
    try {
        // The table keeps the first 35 characters of the description.
        CoverTable.fieldByName(QStringLiteral("DESCRIPT")).setAsString(editor.description()->text());
        SaveRichText(editor.richCover()->richText(), QStringLiteral("COVER"), CoverLink);
        CoverTable.post();
        return true;
    } catch (const std::exception& e) {
        if (CoverTable.state() != TDataSetState::dsBrowse) CoverTable.cancel();
        ShowException(e);
        return false;
    }
}

void TCoverBrowse::NewButtonClick() {
    if (!CoverTable.active()) return;
    TCoverEditor editor(this);
    if (FCloneMode) {
        editor.description()->setText(QStringLiteral("[clone]") +
                                      CoverTable.fieldByName(QStringLiteral("DESCRIPT")).asString());
        LoadRichText(editor.richCover()->richText(), QStringLiteral("COVER"), CoverLink);
        editor.richCover()->moveToStart();
    } else {
        editor.description()->setText(QStringLiteral("{description}"));
        ApplyDefaultFont(*editor.richCover(), AppSettings());
    }
    // Clone mode covers exactly this one New, whatever the editor's answer.
    FCloneMode = false;
    if (editor.exec() != QDialog::Accepted) return;
    try {
        CoverTable.append();
    } catch (const std::exception& e) {
        ShowException(e);
        return;
    }
    StoreTemplate(editor);
}

void TCoverBrowse::ModifyButtonClick() {
    if (RecordsInView() == 0) {
        Beep();
        return;
    }
    TCoverEditor editor(this);
    editor.description()->setText(CoverTable.fieldByName(QStringLiteral("DESCRIPT")).asString());
    LoadRichText(editor.richCover()->richText(), QStringLiteral("COVER"), CoverLink);
    editor.richCover()->moveToStart();
    if (editor.exec() != QDialog::Accepted) return;
    try {
        CoverTable.edit();
    } catch (const std::exception& e) {
        ShowException(e);
        return;
    }
    StoreTemplate(editor);
}

void TCoverBrowse::CloneButtonClick() {
    if (RecordsInView() == 0) {
        Beep();
        return;
    }
    FCloneMode = true;
    NewButtonClick();
}

void TCoverBrowse::DeleteButtonClick() {
    if (RecordsInView() == 0) {
        Beep();
        return;
    }
    const QString question = QStringLiteral("Delete the current cover template?:\r") +
                             CoverTable.fieldByName(QStringLiteral("DESCRIPT")).asString();
    try {
        if (AskYesNoDefaultNo(question, QStringLiteral("Delete"))) CoverTable.deleteRecord();
        CoverTable.refresh();
    } catch (const std::exception& e) {
        ShowException(e);
    }
}

void TCoverBrowse::AcceptbuttonClick() {
    // Choosing from an empty list would hand the fax editor no template.
    if (RecordsInView() == 0) {
        Beep();
        return;
    }
    accept();
}

void TCoverBrowse::CancelButtonClick() { reject(); }

void TCoverBrowse::CloseButtonClick() { reject(); }

void TCoverBrowse::HelpButtonClick() { ShowHelp(kHelpCoverBrowse); }

// A double-click picks the template when the list is a picker and edits it otherwise.
void TCoverBrowse::CoverGridDblClick() {
    if (!Acceptbutton->isHidden())
        AcceptbuttonClick();
    else
        ModifyButtonClick();
}

}  // namespace orv
