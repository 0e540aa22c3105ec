#include "shell/main_screen.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QMenuBar>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <tuple>

#include "compose/cover_browse.h"
#include "compose/fax_editor.h"
#include "compose/phone_book.h"
#include "images/fax_printer_widget.h"
#include "view/fax_viewer_window.h"
#include "shell/button_rules.h"
#include "shell/db_grid.h"
#include "shell/help_window.h"
#include "config/ini_file.h"
#include "shell/message_boxes.h"
#include "shell/preferences.h"
#include "config/program_folder.h"
#include "shell/rebuild_ind.h"
#include "config/settings.h"
#include "shell/rich_text_memo.h"
#include "shell/sound.h"
#include "shell/splash_form.h"
#include "shell/status_line.h"
#include "shell/window_messages.h"
#include "shell/window_placement.h"
#include "store/schemas.h"
#include "ui/richtext/rich_editor.h"
#include "ui/widgets/enter_edit.h"
#include "ui/widgets/align_label.h"
#include "ui/widgets/button_panel.h"
#include "ui/widgets/hint.h"
#include "ui/widgets/picture_button.h"
#include "ui/widgets/tab_set.h"

namespace orv {

TMainScreen::TMainScreen(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("MainScreen"));
    EngineEnv1.setDeleted(true);
    for (auto [table, source, link] : {std::tuple{&FaxTable, &FaxDataSource, &FaxLink},
                                       std::tuple{&RecTable, &RecDataSource, &RecLink},
                                       std::tuple{&CoverTable, &CoverDataSource, &CoverLink},
                                       std::tuple{&PhoneTable, &PhoneDataSource, &PhoneLink}}) {
        source->setDataSet(table);
        link->setDataSource(source);
    }
    FaxTable.setObjectName(QStringLiteral("FaxTable"));
    RecTable.setObjectName(QStringLiteral("RecTable"));
    CoverTable.setObjectName(QStringLiteral("CoverTable"));
    PhoneTable.setObjectName(QStringLiteral("PhoneTable"));
    setWindowTitle(QStringLiteral("Orvane "));
    setWindowIcon(PictureIcon(QStringLiteral("orvane")));
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(11);
    setFont(f);
    createControls();
    createMenu();
    // The client area below the menu is 592 by 384.
    resize(592, 384 + menuBar()->sizeHint().height());
    FormCreate();
}

// The tables close while the grids still show them.
TMainScreen::~TMainScreen() {
    for (TTable* t : {&FaxTable, &RecTable, &CoverTable, &PhoneTable}) {
        try {
            t->close();
        } catch (const std::exception&) {
        }
    }
}

void TMainScreen::createControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    auto* column = new QVBoxLayout(client);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    ButtonBar = new TButtonPanel(QStringLiteral("ButtonBar"), client);
    Newbutton = ButtonBar->addButton("Newbutton", "&New", "Create a new fax", "new");
    EditButton = ButtonBar->addButton("EditButton", "&Edit", "Edit the currently selected fax", "edit");
    CloneButton = ButtonBar->addButton("CloneButton", "&Clone", "Clone the currently selected fax", "clone");
    DeleteButton = ButtonBar->addButton("DeleteButton", "&Delete", "Delete  the currently selected fax", "delete");
    SendButton = ButtonBar->addButton("SendButton", "&Send", "Send the currently selected fax", "send");
    ReceiveButton = ButtonBar->addButton("ReceiveButton", "&Receive", "Start receiving faxes", "receive");
    ViewFaxButton = ButtonBar->addButton("ViewFaxButton", "&View", "See a preview of and optionally  print the fax", "view");
    Exitbutton = ButtonBar->addButton("Exitbutton", "E&xit", "Exit the program", "exit");
    connect(Newbutton, &QAbstractButton::clicked, this, &TMainScreen::NewbuttonClick);
    connect(EditButton, &QAbstractButton::clicked, this, &TMainScreen::EditButtonClick);
    connect(CloneButton, &QAbstractButton::clicked, this, &TMainScreen::CloneButtonClick);
    connect(DeleteButton, &QAbstractButton::clicked, this, &TMainScreen::DeleteButtonClick);
    connect(SendButton, &QAbstractButton::clicked, this, &TMainScreen::SendButtonClick);
    connect(ReceiveButton, &QAbstractButton::clicked, this, &TMainScreen::ReceiveButtonClick);
    connect(ViewFaxButton, &QAbstractButton::clicked, this, &TMainScreen::mnuViewPrintClick);
    connect(Exitbutton, &QAbstractButton::clicked, this, &QWidget::close);

    BrowsePanel = new QFrame(client);
    BrowsePanel->setObjectName(QStringLiteral("BrowsePanel"));
    BrowsePanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* browse = new QVBoxLayout(BrowsePanel);
    browse->setContentsMargins(1, 1, 1, 1);
    NoteBook = new QStackedWidget(BrowsePanel);
    NoteBook->setObjectName(QStringLiteral("NoteBook"));
    // Each page holds its list: FaxGrid on the Sent page, RecFaxGrid on the
    // Received page, filling the page.
    for (QWidget** p : {&SentPage, &ReceivedPage}) {
        *p = new QWidget(NoteBook);
        auto* l = new QVBoxLayout(*p);
        l->setContentsMargins(0, 0, 0, 0);
        NoteBook->addWidget(*p);
    }
    SentPage->setObjectName(QStringLiteral("SentPage"));
    ReceivedPage->setObjectName(QStringLiteral("ReceivedPage"));
    FaxGrid = new TDBGrid(QStringLiteral("FaxGrid"), &FaxDataSource, SentPage);
    SentPage->layout()->addWidget(FaxGrid);
    RecFaxGrid = new TDBGrid(QStringLiteral("RecFaxGrid"), &RecDataSource, ReceivedPage);
    ReceivedPage->layout()->addWidget(RecFaxGrid);
    connect(FaxGrid, &TDBGrid::DblClick, this, &TMainScreen::FaxGridDblClick);
    connect(RecFaxGrid, &TDBGrid::DblClick, this, &TMainScreen::RecFaxGridDblClick);
    browse->addWidget(NoteBook);

    TabSet1 = new TTabSet(QStringLiteral("TabSet1"), {QStringLiteral("Sent"), QStringLiteral("Received")}, client);
    QFont tabFont(QStringLiteral("MS Sans Serif"));
    tabFont.setPixelSize(13);
    TabSet1->setFont(tabFont);
    connect(TabSet1, &TTabSet::Click, this, &TMainScreen::TabSet1Click);

    status = TAlignLabel::statusLine(client);

    column->addWidget(ButtonBar);
    column->addWidget(BrowsePanel, 1);
    column->addWidget(TabSet1, 0, Qt::AlignLeft);
    column->addWidget(status);
    setCentralWidget(client);
}

void TMainScreen::createMenu() {
    auto item = [this](QMenu* menu, const char* name, const QString& caption, const QString& hint,
                       const QKeySequence& shortcut = {}) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        if (!hint.isEmpty()) SetHint(a, hint);
        if (!shortcut.isEmpty()) a->setShortcut(shortcut);
        return a;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File1"));
    mnuNew = item(file, "mnuNew", "&New", "Create a new fax");
    mnuEdit = item(file, "mnuEdit", "&Edit", "Edit the currently selected fax");
    mnuClone = item(file, "mnuClone", "Clone", "Clone the currently selected fax");
    mnuDelete = item(file, "mnuDelete", "Delete", "Delete the currently selected fax");
    file->addSeparator();
    mnuSend = item(file, "mnuSend", "Send Fax", "Send the currently selected fax", QKeySequence(Qt::CTRL | Qt::Key_S));
    mnuReceive = item(file, "mnuReceive", "Receive Faxes", "", QKeySequence(Qt::CTRL | Qt::Key_R));
    mnuViewPrint = item(file, "mnuViewPrint", "View/Print Fax", "See a preview of and optionally  print the fax",
                        QKeySequence(Qt::CTRL | Qt::Key_V));
    file->addSeparator();
    mnuCover = item(file, "mnuCover", "C&over Sheets", "Create or modify cover page templates");
    mnuPhoneBook = item(file, "mnuPhoneBook", "&Phone Book", "Create or modify phone book entries");
    mnuRebuildIndexes = item(file, "mnuRebuildIndexes", "Rebuild &Indexes", "Do this every 2 weeks ");
    mnuPreferences = item(file, "mnuPreferences", "P&references", "Set Orvane preferences");
    file->addSeparator();
    Exit1 = item(file, "Exit1", "E&xit", "Exit to Windows", QKeySequence(Qt::CTRL | Qt::Key_X));

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Help1"));
    Contents1 = item(help, "Contents1", "Contents", "Open the Orvane help file");
    About1 = item(help, "About1", "About", "Information about Orvane");

    // A menu item that stands for a button clicks it, so both always behave alike.
    connect(mnuNew, &QAction::triggered, Newbutton, &QAbstractButton::click);
    connect(mnuEdit, &QAction::triggered, EditButton, &QAbstractButton::click);
    connect(mnuClone, &QAction::triggered, CloneButton, &QAbstractButton::click);
    connect(mnuDelete, &QAction::triggered, DeleteButton, &QAbstractButton::click);
    connect(mnuSend, &QAction::triggered, SendButton, &QAbstractButton::click);
    connect(mnuReceive, &QAction::triggered, this, &TMainScreen::ReceiveButtonClick);
    connect(mnuViewPrint, &QAction::triggered, this, &TMainScreen::mnuViewPrintClick);
    connect(mnuCover, &QAction::triggered, this, &TMainScreen::mnuCoverClick);
    connect(mnuPhoneBook, &QAction::triggered, this, &TMainScreen::mnuPhoneBookClick);
    connect(mnuRebuildIndexes, &QAction::triggered, this, &TMainScreen::mnuRebuildIndexesClick);
    connect(mnuPreferences, &QAction::triggered, this, &TMainScreen::mnuPreferencesClick);
    connect(Exit1, &QAction::triggered, this, &QWidget::close);
    connect(Contents1, &QAction::triggered, this, &TMainScreen::Contents1Click);
    connect(About1, &QAction::triggered, this, &TMainScreen::About1Click);
}

// ---- start ---------------------------------------------------------------------

void TMainScreen::FormCreate() {
    FFirstActivate = true;
    FaxLink.systemProperty(1009, 0);
    NoteBook->setCurrentIndex(mpSent);
    // Without its lists the program cannot work: it says so and closes itself
    // (and its first activation then neither asks for settings nor starts
    // receive mode).
    if (!OpenFaxDBF(FaxTable, FaxLink)) {
        ShowInfo(QStringLiteral("Unable to open/create the FAX datafile - closing program"));
        PostCloseWindow();
    }
    if (!OpenRecFaxDBF(RecTable, RecLink)) {
        ShowInfo(QStringLiteral("Unable to open/create the FAX RECEIVE datafile - closing program"));
        PostCloseWindow();
    }

    FPortUnset = false;
    LoadSettings();
    if (AppSettings().comPort == -1) {
        FPortUnset = true;
        AppSettings().comPort = 0;
    }

    InstallHintHandler();
    SetCurrentStatusLabel(status);
    FCallActive = false;
    FReceiving = false;
    // An existing folder is fine; one that cannot be made shows when a fax is written there.
    QDir().mkdir(ProgramFolder() + QStringLiteral("receive"));
    PrepareReceiveMode();
}

// The first show stands for the first activation: the placement is applied
// before the window is mapped, so it never jumps. What opens further windows
// waits until the main window is on the screen.
void TMainScreen::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (FFirstActivate) FormActivate();
}

void TMainScreen::FormActivate() {
    if (!FFirstActivate) return;
    FFirstActivate = false;
    try {
        LoadWindowPlacement(this);
    } catch (const IniWriteError& e) {
        ShowException(e);
    }
    SetButtons();
    PostToWindow(this, [this] { FirstActivateRest(); });
}

void TMainScreen::FirstActivateRest() {
    // A program closing because its tables failed neither asks for settings
    // nor starts receive mode.
    if (FClosePosted) return;
    if (FPortUnset) mnuPreferencesClick();
    if (FClosePosted) return;
    if (AppSettings().atStartup) ReceiveButtonClick();
}

// ---- enabling rules ------------------------------------------------------------

int TMainScreen::page() const { return NoteBook->currentIndex(); }

namespace {

int VisibleRecords(TTable& table, TEngineLink& link) {
    if (!table.active()) return 0;
    try {
        return int(link.filteredRecordCount());
    } catch (const std::exception&) {
        return 0;
    }
}

}  // namespace

int TMainScreen::SentRecordCount() { return VisibleRecords(FaxTable, FaxLink); }
int TMainScreen::ReceivedRecordCount() { return VisibleRecords(RecTable, RecLink); }

// A table is empty when it has no current record: its current record number
// is the record count plus one.
bool TMainScreen::TableEmpty(TTable& table, TEngineLink& link) {
    // A closed table's link would work on whatever work area is current.
    if (!table.active()) return true;
    return link.currentRecordNumber() == link.recordCount() + 1;
}

// An empty list is shown in natural order; once it has a record its tag
// comes back and the list starts at its first (newest) entry.
void TMainScreen::FollowEmptiness(TTable& table, TEngineLink& link, const char* tag, bool empty) {
    if (!table.active()) return;
    try {
        if (empty && link.currentIndexOrder() != 0) link.setOrder(0);
        if (!empty && link.currentIndexOrder() == 0) {
            link.setOrder(link.tagNumber(QString::fromLatin1(tag)));
            table.first();
        }
    } catch (const std::exception& e) {
        // The list stays in the order it has; the user learns why.
        ShowException(e);
    }
}

void TMainScreen::SetButtons() {
    const bool sentEmpty = TableEmpty(FaxTable, FaxLink);
    FollowEmptiness(FaxTable, FaxLink, "DATESENT", sentEmpty);
    const bool receivedEmpty = TableEmpty(RecTable, RecLink);
    FollowEmptiness(RecTable, RecLink, "DATETIME", receivedEmpty);
    const MainButtonStates s = ComputeMainButtonStates(page(), FReceiving, sentEmpty, receivedEmpty);
    FaxGrid->setEnabled(s.sentGrid);
    RecFaxGrid->setEnabled(s.receivedGrid);
    auto both = [](QAbstractButton* button, QAction* item, bool on) {
        button->setEnabled(on);
        item->setEnabled(on);
    };
    both(Newbutton, mnuNew, s.newFax);
    both(CloneButton, mnuClone, s.clone);
    both(SendButton, mnuSend, s.send);
    both(EditButton, mnuEdit, s.editDelete);
    both(DeleteButton, mnuDelete, s.editDelete);
    both(ViewFaxButton, mnuViewPrint, s.view);
    both(ReceiveButton, mnuReceive, s.receive);
    mnuRebuildIndexes->setEnabled(s.maintenance);
    mnuPreferences->setEnabled(s.maintenance);
}

void TMainScreen::SetReceiving(bool on) {
    FReceiving = on;
    SetButtons();
}

void TMainScreen::TabSet1Click() {
    NoteBook->setCurrentIndex(TabSet1->tabIndex());
    SetButtons();
}

// ---- commands ------------------------------------------------------------------
// The windows behind New, Edit, Send, Receive, View, Cover Sheets and Phone
// Book arrive with their subsystems; until then those commands do nothing
// beyond the checks below.


void TMainScreen::CloneButtonClick() {
    if (SentRecordCount() == 0) {
        Beep();
        return;
    }
    FCloning = true;
    NewbuttonClick();
}

void TMainScreen::EditButtonClick() {
    if (page() == mpReceived)
        EditReceivedFax();
    else
        EditSentFax();
}


void TMainScreen::DeleteButtonClick() {
    if (page() == mpSent) {
        DeleteSentFax();
        return;
    }
    DeleteReceivedFax();
}

void TMainScreen::DeleteSentFax() {
    if (SentRecordCount() == 0) {
        Beep();
        return;
    }
    const QString subject = FaxTable.fieldByName(QStringLiteral("SUBJECT")).asString();
    const QString question = QStringLiteral("Delete the current fax?\r\n(subject: \"") + subject + QStringLiteral("\")");
    if (AskYesNoDefaultNo(question, QStringLiteral("Delete"))) {
        try {
            // Marked deleted: it leaves the list now and the file at the next index rebuild.
            FaxTable.deleteRecord();
            FaxTable.refresh();
        } catch (const std::exception& e) {
            ShowException(e);
        }
    }
    SetButtons();
}

// ---- View: the view/print window ---------------------------------------------------

void TMainScreen::mnuViewPrintClick() {
    QString file, description;
    const bool received = page() == mpReceived;
    if (received) {
        if (ReceivedRecordCount() == 0) {
            Beep();
            return;
        }
        file = ProgramFolder() + QStringLiteral("receive/") + RecTable.fieldByName(QStringLiteral("FAXFILE")).asString().trimmed();
        const QString from = RecTable.fieldByName(QStringLiteral("FROM")).asString().trimmed();
        const QString notes = RecTable.fieldByName(QStringLiteral("NOTES")).asString().trimmed();
        description = notes.isEmpty() ? from : from + QStringLiteral(" - ") + notes;
    } else {
        if (SentRecordCount() == 0) {
            Beep();
            return;
        }
        file = CreateFaxFile();
        if (file.isEmpty()) {
            ShowInfo(QStringLiteral("Error creating fax file"));
            return;
        }
        description = FaxTable.fieldByName(QStringLiteral("RECIPIENT")).asString().trimmed() + QStringLiteral(" - ") +
                      FaxTable.fieldByName(QStringLiteral("SUBJECT")).asString().trimmed();
    }
    {
        TFaxViewer viewer(this);
        viewer.setFaxFile(file);
        viewer.setDescription(description);
        viewer.faxPrinter()->FaxHeader().setCaption(description);
        while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
        ButtonBar->setEnabled(true);
        viewer.exec();
    }
    // The file of a sent fax was made for this look only.
    if (!received) QFile::remove(file);
}

void TMainScreen::FaxGridDblClick() { mnuViewPrintClick(); }

void TMainScreen::RecFaxGridDblClick() { mnuViewPrintClick(); }

// ---- composing: New, Clone and Edit of a sent fax --------------------------------

// The editor's texts and recipient from the current sent fax.
void TMainScreen::FillFaxEditor(TFaxEditor& editor, bool clone) {
    LoadRichText(editor.richCover()->richText(), QStringLiteral("RTFCOVER"), FaxLink);
    LoadRichText(editor.richDoc()->richText(), QStringLiteral("RTFDOC"), FaxLink);
    editor.richCover()->moveToStart();
    editor.richDoc()->moveToStart();
    editor.recipient()->setText(FaxTable.fieldByName(QStringLiteral("RECIPIENT")).asString());
    const QString subject = FaxTable.fieldByName(QStringLiteral("SUBJECT")).asString();
    editor.subject()->setText(clone ? QStringLiteral("[clone]") + subject : subject);
    editor.faxNumber()->setText(FaxTable.fieldByName(QStringLiteral("PHONE")).asString());
}

// Both texts and the three boxes into the record being appended or edited, then posted.
bool TMainScreen::StoreFaxEditor(TFaxEditor& editor) {
    try {
        SaveRichText(editor.richCover()->richText(), QStringLiteral("RTFCOVER"), FaxLink);
        SaveRichText(editor.richDoc()->richText(), QStringLiteral("RTFDOC"), FaxLink);
        FaxTable.fieldByName(QStringLiteral("RECIPIENT")).setAsString(editor.recipient()->text());
        FaxTable.fieldByName(QStringLiteral("SUBJECT")).setAsString(editor.subject()->text());
        FaxTable.fieldByName(QStringLiteral("PHONE")).setAsString(editor.faxNumber()->text());
        FaxTable.post();
        return true;
    } catch (const std::exception& e) {
        if (FaxTable.state() != TDataSetState::dsBrowse) FaxTable.cancel();
        ShowException(e);
        return false;
    }
}

void TMainScreen::NewbuttonClick() {
    {
        TFaxEditor editor(this);
        editor.setCoverTables(&CoverTable, &CoverDataSource, &CoverLink);
        if (FCloning && FaxTable.active()) {
            FillFaxEditor(editor, true);
        } else {
            ApplyDefaultFont(*editor.richCover(), AppSettings());
            ApplyDefaultFont(*editor.richDoc(), AppSettings());
        }
        if (editor.exec() == QDialog::Accepted && FaxTable.active()) {
            try {
                FaxTable.append();
                QApplication::processEvents();
                StoreFaxEditor(editor);
            } catch (const std::exception& e) {
                ShowException(e);
            }
        }
    }
    FCloning = false;
    SetButtons();
}

void TMainScreen::EditSentFax() {
    if (SentRecordCount() == 0) {
        Beep();
        return;
    }
    TFaxEditor editor(this);
    editor.setCoverTables(&CoverTable, &CoverDataSource, &CoverLink);
    FillFaxEditor(editor, false);
    if (editor.exec() != QDialog::Accepted) return;
    try {
        FaxTable.edit();
    } catch (const std::exception& e) {
        ShowException(e);
        return;
    }
    StoreFaxEditor(editor);
}

// ---- cover sheets and phone book -------------------------------------------------

void TMainScreen::mnuCoverClick() {
    if (!OpenCoverDBF(CoverTable, CoverLink)) return;
    {
        // Upkeep, not choosing: Accept and Cancel stay hidden.
        TCoverBrowse browse(CoverTable, CoverDataSource, CoverLink, this);
        CenterWindow(&browse);
        browse.setPickingUse(false);
        browse.exec();
    }
    try {
        CoverTable.close();
    } catch (const std::exception& e) {
        ShowException(e);
    }
}

void TMainScreen::mnuPhoneBookClick() {
    TPhoneBook phoneBook(this);
    if (!phoneBook.OpenTable()) return;
    CenterWindow(&phoneBook);
    phoneBook.exec();
}

void TMainScreen::mnuRebuildIndexesClick() {
    // The lists keep still while their files are rewritten under them.
    for (TTable* t : {&CoverTable, &FaxTable, &RecTable}) t->disableControls();
    for (TDBGrid* g : {FaxGrid, RecFaxGrid}) g->setUpdatesEnabled(false);
    {
        TRebuildInd rebuild(
            {&FaxTable, &FaxLink, &RecTable, &RecLink, &PhoneTable, &PhoneLink, &CoverTable, &CoverLink}, this);
        CenterWindow(&rebuild);
        rebuild.exec();
    }
    for (TDBGrid* g : {FaxGrid, RecFaxGrid}) g->setUpdatesEnabled(true);
    for (TTable* t : {&CoverTable, &FaxTable, &RecTable}) t->enableControls();
    // Packing moved the tables; the lists start again at their first entry.
    for (TTable* t : {&FaxTable, &RecTable}) {
        try {
            if (t->active()) t->first();
        } catch (const std::exception&) {
        }
    }
    SetButtons();
}

void TMainScreen::mnuPreferencesClick() {
    TPreferences prefs(this);
    prefs.setFirstRun(FPortUnset);
    FPortUnset = false;
    prefs.LoadFrom(AppSettings());
    CenterWindow(&prefs);
    if (prefs.exec() != QDialog::Accepted) return;
    prefs.StoreTo(AppSettings());
    try {
        SaveSettings();
    } catch (const IniWriteError& e) {
        ShowException(e);
    }
}

void TMainScreen::Contents1Click() { ShowHelp(kHelpContents); }

void TMainScreen::About1Click() {
    TSplashform about(this);
    CenterWindow(&about);
    about.showOkButton();
    about.exec();
}

// ---- window messages -----------------------------------------------------------

void TMainScreen::PostCloseWindow() {
    FClosePosted = true;
    PostToWindow(this, [this] { WMCloseWindow(); });
}

void TMainScreen::WMCloseWindow() { close(); }

void TMainScreen::PostPlayReceiveSound() {
    PostToWindow(this, [this] { WMPlayReceiveSound(); });
}

void TMainScreen::WMPlayReceiveSound() {
    const QString wav = AppSettings().wav;
    if (!wav.isEmpty() && QFile::exists(wav)) PlayWaveFile(wav);
}

void TMainScreen::ActivateFromAnotherStart() {
    if (isMinimized()) {
        showNormal();
    } else {
        show();
        raise();
    }
    activateWindow();
}

// ---- closing -------------------------------------------------------------------

void TMainScreen::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    QMainWindow::closeEvent(event);
}

bool TMainScreen::FormCloseQuery() {
    if (FCallActive && !AskYesNo(QStringLiteral("You are receiving a fax. Exit the program?"), QStringLiteral("Exit")))
        return false;
    QApplication::processEvents();
    for (TTable* t : {&FaxTable, &RecTable}) {
        try {
            t->close();
        } catch (const std::exception& e) {
            // What could not be written is reported; closing goes on.
            ShowException(e);
        }
    }
    QApplication::processEvents();
    return true;
}

void TMainScreen::FormClose() {
    if (FReceiving) ReceiveButtonClick();
    SetButtons();
    SaveWindowPlacementOnClose(this);
}

}  // namespace orv
