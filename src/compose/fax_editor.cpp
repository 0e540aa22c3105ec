#include "compose/fax_editor.h"

#include <QAction>
#include <QActionGroup>
#include <QButtonGroup>
#include <QDate>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QShowEvent>
#include <QStackedWidget>
#include <QTime>
#include <QToolButton>
#include <QVBoxLayout>

#include "compose/spell_check_dialog.h"
#include "compose/cover_browse.h"
#include "compose/cover_editor.h"
#include "compose/paragraph_prop_dlg.h"
#include "compose/phone_book.h"
#include "shell/help_window.h"
#include "config/ini_file.h"
#include "shell/message_boxes.h"
#include "shell/rich_text_memo.h"
#include "shell/status_line.h"
#include "shell/window_placement.h"
#include "store/schemas.h"
#include "store/tengine_link.h"
#include "store/ttable.h"
#include "ui/richtext/rich_editor.h"
#include "ui/richtext/rich_tool_bar.h"
#include "ui/widgets/align_label.h"
#include "ui/widgets/button_panel.h"
#include "ui/widgets/enter_edit.h"
#include "ui/widgets/hint.h"
#include "ui/widgets/picture_button.h"

namespace orv {

namespace {
constexpr int kMaxMergeValue = 100;
}

TFaxEditor::TFaxEditor(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("FaxEditor"));
    setWindowTitle(QStringLiteral("Fax Editor"));
    setSizeGripEnabled(true);
    createControls();
    // FormCreate
    FStatusScope = new TStatusLineScope(this, status);
    RichToolDoc->setFixedHeight(RichToolCover->sizeHint().height());
    RichToolCover->setFixedHeight(RichToolCover->sizeHint().height());
    RichToolDoc->addButton(DocPageBreakButton);
    RichToolDoc->addButton(ParagraphSetupButton);
    RichToolDoc->addButton(DocWordWrapButton);
    RichToolCover->addButton(CoverDocPageBreakButton);
    RichToolCover->addButton(CoverParagraphSetupbutton);
    RichToolCover->addButton(CoverDocWordWrapButton);
    RichToolCover->addButton(LoadCoverButton);
    FitToolBar(RichToolDoc);
    FitToolBar(RichToolCover);
    // Both texts start unwrapped, as the buttons' hints say.
    for (auto [editor, button] : {std::pair{RichDoc, DocWordWrapButton}, std::pair{RichCover, CoverDocWordWrapButton}}) {
        editor->setWordWrap(false);
        ShowWordWrapState(button, false);
    }
    resize(1080, 720);  // the cover tool bar whole, its template button included
    try {
        LoadWindowPlacement(this);
    } catch (const IniWriteError& e) {
        ShowException(e);
    }
}

// FormDestroy: the status line of the window below becomes current again.
TFaxEditor::~TFaxEditor() { delete FStatusScope; }

void TFaxEditor::createControls() {
    ButtonPanel = new TButtonPanel(QStringLiteral("ButtonPanel"), this);
    OKButton = ButtonPanel->addButton("OKButton", "&Accept", "Ok - save changes to this fax", "accept");
    CancelButton = ButtonPanel->addButton("CancelButton", "Cance&l", "Cancel - do not save changes to this fax", "cancel");
    Helpbutton = ButtonPanel->addButton("Helpbutton", "&Help", "Get Windows help for Fax Editor", "help");
    RecipientButton = ButtonPanel->addButton("RecipientButton", "&Recipient Info", "Edit the recipient information", "");
    CoverButton = ButtonPanel->addButton("CoverButton", "&Cover Sheet", "Edit the optional fax cover sheet", "");
    DocumentButton = ButtonPanel->addButton("DocumentButton", "&Fax Document", "Edit the fax document", "");
    Zoombutton = ButtonPanel->addButton("Zoombutton", "100%", "Set the view percentage for the current editor", "");
    PageButtons = new QButtonGroup(this);
    PageButtons->setExclusive(true);
    for (TPictureButton* b : {RecipientButton, CoverButton, DocumentButton}) {
        b->setCheckable(true);
        PageButtons->addButton(b);
    }
    RecipientButton->setChecked(true);
    connect(OKButton, &QAbstractButton::clicked, this, &TFaxEditor::OKButtonClick);
    connect(CancelButton, &QAbstractButton::clicked, this, &TFaxEditor::CancelButtonClick);
    connect(Helpbutton, &QAbstractButton::clicked, this, &TFaxEditor::HelpbuttonClick);
    connect(RecipientButton, &QAbstractButton::clicked, this, &TFaxEditor::RecipientButtonClick);
    connect(CoverButton, &QAbstractButton::clicked, this, &TFaxEditor::CoverButtonClick);
    connect(DocumentButton, &QAbstractButton::clicked, this, &TFaxEditor::DocumentButtonClick);

    ZoomMenu = new QMenu(this);
    ZoomMenu->setObjectName(QStringLiteral("ZoomMenu"));
    auto* zoomGroup = new QActionGroup(ZoomMenu);
    zoomGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (auto [action, name, tag] : {std::tuple{&Zoom70, "Zoom70", 70}, std::tuple{&Zoom80, "Zoom80", 80},
                                     std::tuple{&Zoom100, "Zoom100", 100}}) {
        QAction* a = ZoomMenu->addAction(QStringLiteral("%1%").arg(tag));
        a->setObjectName(QString::fromLatin1(name));
        a->setData(tag);
        a->setCheckable(true);
        zoomGroup->addAction(a);
        connect(a, &QAction::triggered, this, [this, zoom = tag] { SetZoom(zoom); });
        *action = a;
    }
    connect(ZoomMenu, &QMenu::aboutToShow, this, &TFaxEditor::ZoomMenuPopup);
    Zoombutton->setMenu(ZoomMenu);
    Zoombutton->setPopupMode(QToolButton::InstantPopup);
    Zoombutton->hide();

    Notebook = new QStackedWidget(this);
    Notebook->setObjectName(QStringLiteral("Notebook"));
    Notebook->addWidget(createEditorPage("CoverPage", RichCover, "RichCover", RichToolCover, "RichToolCover"));
    Notebook->addWidget(createEditorPage("DocumentPage", RichDoc, "RichDoc", RichToolDoc, "RichToolDoc"));
    Notebook->addWidget(createRecipientPage());
    Notebook->setCurrentIndex(pgRecipient);

    DocPageBreakButton = MakeEditorToolButton(this, "DocPageBreakButton", QStringLiteral("Page Break"),
                                              QStringLiteral("Insert Page Break"), "insert-page-break");
    ParagraphSetupButton = MakeEditorToolButton(this, "ParagraphSetupButton", QStringLiteral("Paragraph"),
                                                QStringLiteral("Paragraph properties"), "format-indent-more");
    DocWordWrapButton = MakeEditorToolButton(this, "DocWordWrapButton", QStringLiteral("Wrap"),
                                             QStringLiteral("Toggle word wrap on"), "format-text-wrap", true);
    CoverDocPageBreakButton = MakeEditorToolButton(this, "CoverDocPageBreakButton", QStringLiteral("Page Break"),
                                                   QStringLiteral("Insert Page Break"), "insert-page-break");
    CoverParagraphSetupbutton = MakeEditorToolButton(this, "CoverParagraphSetupbutton", QStringLiteral("Paragraph"),
                                                     QStringLiteral("Paragraph properties"), "format-indent-more");
    CoverDocWordWrapButton = MakeEditorToolButton(this, "CoverDocWordWrapButton", QStringLiteral("Wrap"),
                                                  QStringLiteral("Toggle word wrap on"), "format-text-wrap", true);
    LoadCoverButton = MakeEditorToolButton(this, "LoadCoverButton", QStringLiteral("Template"),
                                           QStringLiteral("Load Cover Sheet from Template"), "document-open");
    connect(DocPageBreakButton, &QToolButton::clicked, this, &TFaxEditor::DocPageBreakButtonClick);
    connect(ParagraphSetupButton, &QToolButton::clicked, this, &TFaxEditor::ParagraphSetupButtonClick);
    connect(DocWordWrapButton, &QToolButton::clicked, this, &TFaxEditor::DocWordWrapButtonClick);
    connect(CoverDocPageBreakButton, &QToolButton::clicked, this, &TFaxEditor::CoverDocPageBreakButtonClick);
    connect(CoverParagraphSetupbutton, &QToolButton::clicked, this, &TFaxEditor::CoverParagraphSetupbuttonClick);
    connect(CoverDocWordWrapButton, &QToolButton::clicked, this, &TFaxEditor::CoverDocWordWrapButtonClick);
    connect(LoadCoverButton, &QToolButton::clicked, this, &TFaxEditor::LoadCoverButtonClick);
    connect(RichCover, &TRichEditor::StartSpellCheck, this, &TFaxEditor::RichCoverStartSpellCheck);
    connect(RichDoc, &TRichEditor::StartSpellCheck, this, &TFaxEditor::RichDocStartSpellCheck);
    for (TRichEditor* e : {RichCover, RichDoc})
        connect(e, &TRichEditor::pasteRefused, this, [this](const QString& reason) { ShowStatusText(status, reason); });

    status = TAlignLabel::statusLine(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ButtonPanel);
    layout->addWidget(Notebook, 1);
    layout->addWidget(status);
}

QWidget* TFaxEditor::createRecipientPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("RecipientPage"));
    Recipient = new TEnterEdit(QStringLiteral("Recipient"), page);
    Recipient->setMaxLength(35);
    SetHint(Recipient, QStringLiteral("Enter recipient name here"));
    FaxNumber = new TEnterEdit(QStringLiteral("FaxNumber"), page);
    FaxNumber->setMaxLength(25);
    SetHint(FaxNumber, QStringLiteral("Enter recipient fax number here"));
    Subject = new TEnterEdit(QStringLiteral("Subject"), page);
    Subject->setMaxLength(50);
    SetHint(Subject, QStringLiteral("Enter subject (topic) of fax here"));
    AddressButton = new TPictureButton(QStringLiteral("AddressButton"), QStringLiteral("&Phonebook"),
                                       QStringLiteral("Click here to access the Phone Book"), QStringLiteral("edit"), page);
    AddressButton->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    AddressButton->setFocusPolicy(Qt::StrongFocus);
    connect(AddressButton, &QAbstractButton::clicked, this, &TFaxEditor::AddressButtonClick);
    const int em = Recipient->fontMetrics().horizontalAdvance(QLatin1Char('M'));
    Recipient->setFixedWidth(em * 26);
    FaxNumber->setFixedWidth(em * 19);
    Subject->setFixedWidth(em * 36);

    auto label = [page](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, page);
        l->setBuddy(buddy);
        return l;
    };
    auto* form = new QFormLayout;
    form->setFormAlignment(Qt::AlignLeft | Qt::AlignTop);
    form->addRow(label(QStringLiteral("Recipient"), Recipient), Recipient);
    form->addRow(label(QStringLiteral("Fax Number"), FaxNumber), FaxNumber);
    form->addRow(label(QStringLiteral("Subject"), Subject), Subject);
    auto* row = new QHBoxLayout;
    row->addLayout(form);
    row->addSpacing(16);
    row->addWidget(AddressButton, 0, Qt::AlignTop);
    row->addStretch(1);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(20, 20, 20, 20);
    column->addLayout(row);
    column->addStretch(1);
    QWidget::setTabOrder(Recipient, FaxNumber);
    QWidget::setTabOrder(FaxNumber, Subject);
    QWidget::setTabOrder(Subject, AddressButton);
    return page;
}

QWidget* TFaxEditor::createEditorPage(const char* pageName, TRichEditor*& editor, const char* editorName,
                                      TRichToolBar*& bar, const char* barName) {
    auto* page = new QWidget(this);
    page->setObjectName(QString::fromLatin1(pageName));
    editor = new TRichEditor(page);
    editor->setObjectName(QString::fromLatin1(editorName));
    bar = new TRichToolBar(page);
    bar->setObjectName(QString::fromLatin1(barName));
    bar->setEditor(editor);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(bar);
    column->addWidget(editor, 1);
    return page;
}

void TFaxEditor::setCoverTables(TTable* table, TDataSource* source, TEngineLink* link) {
    FCoverTable = table;
    FCoverDataSource = source;
    FCoverLink = link;
}

// ---- opening ---------------------------------------------------------------------

void TFaxEditor::showEvent(QShowEvent* event) {
    if (!event->spontaneous() && !FActivated) FormShow();
    QDialog::showEvent(event);
    FormActivate();
}

bool TFaxEditor::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) SetCurrentStatusLabel(status);
    return QDialog::event(event);
}

void TFaxEditor::FormShow() {
    ApplyFaxPageLayout(*RichDoc);
    ApplyFaxPageLayout(*RichCover);
}

// The first activation shows the Recipient page with both texts laid out
// and their insertion points at the start; coming back from a question box
// or a picker leaves the user where they were.
void TFaxEditor::FormActivate() {
    SetCurrentStatusLabel(status);
    if (FActivated) return;
    FActivated = true;
    RecipientButton->setChecked(true);
    RecipientButtonClick();
    for (TRichEditor* e : {RichDoc, RichCover}) {
        e->reformat();
        e->moveToStart();
    }
    Recipient->setFocus();
}

void TFaxEditor::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    RichDoc->viewport()->update();  // FormResize
}

// Enter accepts, as on the default button, unless a text or an edit took it.
void TFaxEditor::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
        OKButtonClick();
        return;
    }
    QDialog::keyPressEvent(event);
}

// ---- pages and zoom --------------------------------------------------------------------

int TFaxEditor::currentPage() const { return Notebook->currentIndex(); }

TRichEditor* TFaxEditor::zoomEditor() const { return DocumentButton->isChecked() ? RichDoc : RichCover; }

void TFaxEditor::RecipientButtonClick() {
    Notebook->setCurrentIndex(pgRecipient);
    Zoombutton->hide();
}

void TFaxEditor::DocumentButtonClick() {
    Notebook->setCurrentIndex(pgDocument);
    Zoombutton->setText(QStringLiteral("%1%").arg(RichDoc->zoom()));
    Zoombutton->show();
    RichDoc->setFocus();
}

void TFaxEditor::CoverButtonClick() {
    Notebook->setCurrentIndex(pgCover);
    Zoombutton->setText(QStringLiteral("%1%").arg(RichCover->zoom()));
    Zoombutton->show();
    RichCover->setFocus();
}

void TFaxEditor::ZoomMenuPopup() {
    const int zoom = zoomEditor()->zoom();
    for (QAction* a : {Zoom70, Zoom80, Zoom100}) a->setChecked(a->data().toInt() == zoom);
}

void TFaxEditor::SetZoom(int percent) {
    zoomEditor()->setZoom(percent);
    Zoombutton->setText(QStringLiteral("%1%").arg(percent));
}

// ---- editing commands ---------------------------------------------------------------------

void TFaxEditor::DocPageBreakButtonClick() { AskAndInsertPageBreak(*RichDoc); }
void TFaxEditor::CoverDocPageBreakButtonClick() { AskAndInsertPageBreak(*RichCover); }
void TFaxEditor::ParagraphSetupButtonClick() { OpenParagraphProperties(RichDoc, this); }
void TFaxEditor::CoverParagraphSetupbuttonClick() { OpenParagraphProperties(RichCover, this); }

void TFaxEditor::DocWordWrapButtonClick() {
    RichDoc->setWordWrap(!RichDoc->wordWrap());
    ShowWordWrapState(DocWordWrapButton, RichDoc->wordWrap());
    RichDoc->viewport()->update();
}

void TFaxEditor::CoverDocWordWrapButtonClick() {
    RichCover->setWordWrap(!RichCover->wordWrap());
    ShowWordWrapState(CoverDocWordWrapButton, RichCover->wordWrap());
    RichCover->viewport()->update();
}

void TFaxEditor::RichCoverStartSpellCheck() {
    emit spellCheckRequested(RichCover);
    RunSpellCheck(RichCover, this);
}

void TFaxEditor::RichDocStartSpellCheck() {
    emit spellCheckRequested(RichDoc);
    RunSpellCheck(RichDoc, this);
}

// ---- recipient and cover template ------------------------------------------------------------

void TFaxEditor::AddressButtonClick() {
    TPhoneBook phoneBook(this);
    if (!phoneBook.OpenTable(FPhoneBookFolder)) return;
    CenterWindow(&phoneBook);
    phoneBook.setPickingUse(true);
    if (phoneBook.exec() != QDialog::Accepted) return;
    Recipient->setText(phoneBook.name());
    FaxNumber->setText(phoneBook.number());
}

std::optional<QString> TFaxEditor::RichCoverGetTextToInsert(int tag) {
    QString value;
    switch (tag) {
    case 1: value = Recipient->text(); break;
    case 2: value = FaxNumber->text(); break;
    case 3: value = Subject->text(); break;
    case 4: value = QLocale().toString(QDate::currentDate(), QLocale::ShortFormat); break;
    case 5: value = QLocale().toString(QTime::currentTime(), QLocale::LongFormat); break;
    default: return std::nullopt;
    }
    FMergeBuffer = value.left(kMaxMergeValue);
    return FMergeBuffer;
}

void TFaxEditor::LoadCoverButtonClick() {
    if (!FCoverTable || !FCoverDataSource || !FCoverLink) return;
    if (!OpenCoverDBF(*FCoverTable, *FCoverLink)) return;
    {
        TCoverBrowse browse(*FCoverTable, *FCoverDataSource, *FCoverLink, this);
        CenterWindow(&browse);
        browse.setPickingUse(true);
        if (browse.exec() == QDialog::Accepted) {
            // The template replaces the whole cover sheet; its fields get the
            // values of this moment.
            RichCover->clear();
            LoadRichText(RichCover->richText(), QStringLiteral("COVER"), *FCoverLink);
            ApplyFaxPageLayout(*RichCover);
            RichCover->reformat();
            RichCover->mergeFields([this](int tag) { return RichCoverGetTextToInsert(tag); });
            RichCover->setMarkersHidden(true);
            RichCover->moveToStart();
        }
    }
    try {
        FCoverTable->close();
    } catch (const std::exception& e) {
        ShowException(e);
    }
}

// ---- closing ---------------------------------------------------------------------------------

void TFaxEditor::OKButtonClick() { accept(); }
void TFaxEditor::CancelButtonClick() { reject(); }
void TFaxEditor::HelpbuttonClick() { ShowHelp(kHelpFaxEditor); }

// FormClose: every way of closing ends here.
void TFaxEditor::done(int result) {
    if (!FPlacementSaved) {
        FPlacementSaved = true;
        SaveWindowPlacementOnClose(this);
    }
    QDialog::done(result);
}

}  // namespace orv
