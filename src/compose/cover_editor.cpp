#include "compose/cover_editor.h"

#include <QAction>
#include <QActionGroup>
#include <QEvent>
#include <QFontComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include "compose/paragraph_prop_dlg.h"
#include "compose/spell_check_dialog.h"
#include "shell/help_window.h"
#include "config/ini_file.h"
#include "shell/message_boxes.h"
#include "shell/status_line.h"
#include "shell/window_placement.h"
#include "ui/richtext/rich_editor.h"
#include "ui/richtext/rich_tool_bar.h"
#include "ui/widgets/align_label.h"
#include "ui/widgets/button_panel.h"
#include "ui/widgets/hint.h"
#include "ui/widgets/picture_button.h"

namespace orv {

QToolButton* MakeEditorToolButton(QWidget* parent, const char* name, const QString& text, const QString& hint,
                                  const char* themeIcon, bool checkable) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(text);
    SetHint(b, hint);
    b->setCheckable(checkable);
    b->setFocusPolicy(Qt::NoFocus);  // the editor keeps the focus
    const QIcon icon = QIcon::fromTheme(QString::fromLatin1(themeIcon));
    if (!icon.isNull()) b->setIcon(icon);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return b;
}

void FitToolBar(TRichToolBar* bar) {
    // The font list would take a third of the bar; names stay readable at this width.
    if (auto* fonts = bar->findChild<QFontComboBox*>(QStringLiteral("FontName"))) fonts->setMaximumWidth(170);
}

void ApplyFaxPageLayout(TRichEditor& editor) {
    PageLayout L;
    L.width = 12240;
    L.height = 15840;
    L.left = L.right = L.top = L.bottom = 720;
    editor.setPageLayout(L);
    editor.viewport()->update();
}

void ShowWordWrapState(QToolButton* button, bool wordWrapOn) {
    SetHint(button, wordWrapOn ? QStringLiteral("Toggle word wrap off") : QStringLiteral("Toggle word wrap on"));
    button->setChecked(wordWrapOn);
}

void AskAndInsertPageBreak(TRichEditor& editor) {
    if (!AskYesNoDefaultNo(QStringLiteral("Add a page break here?"), QStringLiteral("Page Break"))) return;
    editor.insertPageBreak();  // keeps the character format, reformats and repaints
    editor.setFocus();
}

TCoverEditor::TCoverEditor(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("CoverEditor"));
    setWindowTitle(QStringLiteral("Cover Sheet Template Editor"));
    setSizeGripEnabled(true);
    createControls();
    // FormCreate: the program's own buttons after the tool bar's, in this order.
    RichToolBar1->addButton(CoverDocPageBreakButton);
    RichToolBar1->addButton(CoverParagraphSetupbutton);
    RichToolBar1->addButton(CoverDocWordWrapButton);
    FitToolBar(RichToolBar1);
    // A template starts unwrapped, as the button's hint says.
    RichCover->setWordWrap(false);
    ShowWordWrapState(CoverDocWordWrapButton, false);
    FStatusScope = new TStatusLineScope(this, status);
    // Wide enough for the whole tool bar, the program's own buttons included.
    resize(1000, 700);
    try {
        LoadWindowPlacement(this);
    } catch (const IniWriteError& e) {
        ShowException(e);
    }
}

// FormDestroy: the status line of the window below becomes current again.
TCoverEditor::~TCoverEditor() { delete FStatusScope; }

void TCoverEditor::createControls() {
    ButtonPanel = new TButtonPanel(QStringLiteral("ButtonPanel"), this);
    OKbutton = ButtonPanel->addButton("OKbutton", "&Accept", "Ok - save changes to this template", "accept");
    CancelButton = ButtonPanel->addButton("CancelButton", "Cance&l", "Cancel - do not save changes to this template", "cancel");
    HelpButton = ButtonPanel->addButton("HelpButton", "&Help", "Get Windows help for Cover Sheet Template Editor", "help");
    ExplorerButton1 = ButtonPanel->addButton("ExplorerButton1", "&Insert",
                                             "Insert a field from the recipient data, or the current date and time", "");
    Zoombutton = ButtonPanel->addButton("Zoombutton", "100%", "Set the view percentage for the current editor", "");
    connect(OKbutton, &QAbstractButton::clicked, this, &TCoverEditor::OKbuttonClick);
    connect(CancelButton, &QAbstractButton::clicked, this, &TCoverEditor::CancelButtonClick);
    connect(HelpButton, &QAbstractButton::clicked, this, &TCoverEditor::HelpButtonClick);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    for (const CoverMergeField& f : kCoverMergeFields) {
        QAction* a = PopupMenu1->addAction(QString::fromLatin1(f.caption));
        a->setObjectName(QString::fromLatin1(f.menuItem));
        a->setData(f.tag);
        connect(a, &QAction::triggered, this, [this, a] { MenuItemClick(a->text()); });
    }
    ExplorerButton1->setMenu(PopupMenu1);
    ExplorerButton1->setPopupMode(QToolButton::InstantPopup);

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
    connect(ZoomMenu, &QMenu::aboutToShow, this, &TCoverEditor::ZoomMenuPopup);
    Zoombutton->setMenu(ZoomMenu);
    Zoombutton->setPopupMode(QToolButton::InstantPopup);

    CoverDescription = new QLineEdit(this);
    CoverDescription->setObjectName(QStringLiteral("CoverDescription"));
    SetHint(CoverDescription, QStringLiteral("Enter a description for this cover sheet template here"));
    auto* descriptionLabel = new QLabel(QStringLiteral("&Description"), this);
    descriptionLabel->setBuddy(CoverDescription);

    RichCover = new TRichEditor(this);
    RichCover->setObjectName(QStringLiteral("RichCover"));
    RichToolBar1 = new TRichToolBar(this);
    RichToolBar1->setObjectName(QStringLiteral("RichToolBar1"));
    RichToolBar1->setEditor(RichCover);
    connect(RichCover, &TRichEditor::pasteRefused, this, [this](const QString& reason) { ShowStatusText(status, reason); });
    CoverDocPageBreakButton = MakeEditorToolButton(this, "CoverDocPageBreakButton", QStringLiteral("Page Break"),
                                         QStringLiteral("Insert Page Break"), "insert-page-break");
    CoverParagraphSetupbutton = MakeEditorToolButton(this, "CoverParagraphSetupbutton", QStringLiteral("Paragraph"),
                                           QStringLiteral("Paragraph properties"), "format-indent-more");
    CoverDocWordWrapButton = MakeEditorToolButton(this, "CoverDocWordWrapButton", QStringLiteral("Wrap"),
                                        QStringLiteral("Toggle word wrap on"), "format-text-wrap", true);
    connect(CoverDocPageBreakButton, &QToolButton::clicked, this, &TCoverEditor::CoverDocPageBreakButtonClick);
    connect(RichCover, &TRichEditor::StartSpellCheck, this, [this] { RunSpellCheck(RichCover, this); });
    connect(CoverParagraphSetupbutton, &QToolButton::clicked, this, &TCoverEditor::CoverParagraphSetupbuttonClick);
    connect(CoverDocWordWrapButton, &QToolButton::clicked, this, &TCoverEditor::CoverDocWordWrapButtonClick);

    status = TAlignLabel::statusLine(this);

    auto* descriptionRow = new QHBoxLayout;
    descriptionRow->setContentsMargins(8, 6, 8, 6);
    descriptionRow->addWidget(descriptionLabel);
    descriptionRow->addWidget(CoverDescription, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ButtonPanel);
    layout->addLayout(descriptionRow);
    layout->addWidget(RichToolBar1);
    layout->addWidget(RichCover, 1);
    layout->addWidget(status);
    setTabOrder(CoverDescription, RichCover);
}

void TCoverEditor::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) FormShow();
    QDialog::showEvent(event);
    FormActivate();
}

bool TCoverEditor::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) SetCurrentStatusLabel(status);
    return QDialog::event(event);
}

void TCoverEditor::FormShow() { ApplyFaxPageLayout(*RichCover); }

// The text is laid out and the insertion point put at its start when the
// window first comes up; coming back from a question box keeps the place.
void TCoverEditor::FormActivate() {
    SetCurrentStatusLabel(status);
    static const char kActivated[] = "orvActivated";
    if (property(kActivated).toBool()) return;
    setProperty(kActivated, true);
    RichCover->reformat();
    RichCover->moveToStart();
}

void TCoverEditor::MenuItemClick(const QString& caption) {
    const QString upper = caption.toUpper();
    static const char* const kNames[] = {"RECIPIENT", "FAX NUMBER", "SUBJECT", "DATE", "TIME"};
    for (size_t i = 0; i < std::size(kNames); ++i) {
        if (upper != QLatin1String(kNames[i])) continue;
        const CoverMergeField& f = kCoverMergeFields[i];
        try {
            RichCover->insertMergeField(kMergeMarker, f.tag, QString::fromLatin1(f.valueText));
        } catch (const std::exception& e) {
            ShowException(e);
        }
        RichCover->setFocus();
        return;
    }
}

void TCoverEditor::SetZoom(int percent) {
    RichCover->setZoom(percent);
    Zoombutton->setText(QStringLiteral("%1%").arg(RichCover->zoom()));
}

void TCoverEditor::ZoomMenuPopup() {
    for (QAction* a : {Zoom70, Zoom80, Zoom100}) a->setChecked(a->data().toInt() == RichCover->zoom());
}

void TCoverEditor::CoverDocPageBreakButtonClick() { AskAndInsertPageBreak(*RichCover); }

void TCoverEditor::CoverParagraphSetupbuttonClick() { OpenParagraphProperties(RichCover, this); }

void TCoverEditor::CoverDocWordWrapButtonClick() {
    RichCover->setWordWrap(!RichCover->wordWrap());
    ShowWordWrapState(CoverDocWordWrapButton, RichCover->wordWrap());
    RichCover->viewport()->update();
}

void TCoverEditor::OKbuttonClick() { accept(); }

void TCoverEditor::CancelButtonClick() { reject(); }

void TCoverEditor::HelpButtonClick() { ShowHelp(kHelpCoverEditor); }

// FormClose: every way of closing (Accept, Cancel, Escape, the title bar) ends here.
void TCoverEditor::done(int result) {
    if (!FPlacementSaved) {
        FPlacementSaved = true;
        SaveWindowPlacementOnClose(this);
    }
    QDialog::done(result);
}

}  // namespace orv
