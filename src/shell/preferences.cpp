#include "shell/preferences.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <optional>

#include "shell/default_font.h"
#include "shell/help_window.h"
#include "config/ini_file.h"
#include "shell/message_boxes.h"
#include "config/program_folder.h"
#include "config/settings.h"
#include "shell/sound.h"
#include "shell/status_line.h"
#include "shell/window_messages.h"
#include "ui/widgets/align_label.h"
#include "ui/widgets/button_panel.h"
#include "ui/widgets/hint.h"
#include "ui/widgets/picture_button.h"
#include "ui/widgets/radio_group.h"

namespace orv {

namespace {
constexpr int kHelpPreferences = 1022;

// A whole number, or nothing.
std::optional<int> wholeNumber(const QLineEdit* edit) {
    bool ok = false;
    const int value = edit->text().trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}
}  // namespace

TPreferences::TPreferences(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("Preferences"));
    setWindowTitle(QStringLiteral("Preferences"));
    createControls();
    FPortPaths = Settings::kDefaultPortPaths;
    // FormCreate: this window's status line becomes the current one until it goes.
    FStatusScope = new TStatusLineScope(this, status);
}

TPreferences::~TPreferences() {
    // FormDestroy: the status line of the window below becomes current again.
    delete FStatusScope;
}

void TPreferences::createControls() {
    TopPanel = new TButtonPanel(QStringLiteral("TopPanel"), this);
    Helpbutton = TopPanel->addButton("Helpbutton", "&Help", "Get Windows help for Preferences", "help");
    OkButton = TopPanel->addButton("OkButton", "&Accept", "Save changes to preferences", "accept");
    Cancelbutton = TopPanel->addButton("Cancelbutton", "Cance&l", "Cancel changes to preferences", "cancel");
    ExplorerButton1 = TopPanel->addButton("ExplorerButton1", "Set Default Font",
                                          "Set the default font to use for new Faxes and Cover Sheets", "font");
    CheckFaxClassButton = TopPanel->addButton(
        "CheckFaxClassButton", "Check Fax Class",
        "Click here to have the program test the modem to see which fax classes it supports", "faxclass");
    FindModemButton = TopPanel->addButton(
        "FindModemButton", "Find Modem",
        "Click here to have the program attempt to find which port your faxmodem is on", "findmodem");
    connect(Helpbutton, &QAbstractButton::clicked, this, &TPreferences::HelpButtonClick);
    connect(OkButton, &QAbstractButton::clicked, this, &TPreferences::AcceptbuttonClick);
    connect(Cancelbutton, &QAbstractButton::clicked, this, &TPreferences::CancelbuttonClick);
    connect(ExplorerButton1, &QAbstractButton::clicked, this, &TPreferences::ExplorerButton1Click);
    connect(CheckFaxClassButton, &QAbstractButton::clicked, this, &TPreferences::CheckFaxClassButtonClick);
    connect(FindModemButton, &QAbstractButton::clicked, this, &TPreferences::FindModemButtonClick);

    auto edit = [this](const char* name, const QString& hint, int maxLength = 0) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        SetHint(e, hint);
        if (maxLength > 0) e->setMaxLength(maxLength);
        return e;
    };
    auto label = [this](const QString& caption, QWidget* buddy) {
        auto* l = new QLabel(caption, this);
        l->setBuddy(buddy);
        return l;
    };

    Name = edit("Name", "Enter your name here", 35);
    FaxNumber = edit("FaxNumber", "Enter your own fax number here", 20);
    DialPrefix = edit("DialPrefix",
                      "Enter the dial prefix here. If your telephone system requires special numbers or codes when "
                      "dialing out, you can specify them once here rather than in every fax number. Do not include "
                      "'ATD' or a 'T' or 'P' tone/pulse modifier in the dial prefix");
    ModemInit = edit("ModemInit",
                     "(You should not need to do this). Enter extra modem init string here. If you use an init "
                     "string here, it will be sent just before the default init: ('ATE0Q0V1X4S0=0'). The init "
                     "string should not contain an 'AT' prefix.");
    DialAttempts = edit("DialAttempts", "Enter the number of dial attempts that should be made for each fax");
    RetryWait = edit("RetryWait", "Enter the number of seconds between dial attempts here");
    TimeOut = edit("TimeOut",
                   "Enter the number of seconds that Orvane should wait after dialing before it aborts the call "
                   "with a timeout");
    DialAttempts->setText(QStringLiteral("3"));
    RetryWait->setText(QStringLiteral("60"));
    TimeOut->setText(QStringLiteral("60"));
    for (QLineEdit* n : {DialAttempts, RetryWait, TimeOut}) n->setFixedWidth(56);

    FaxClass = new TRadioGroup(QStringLiteral("FaxClass"), QStringLiteral("Fax &class"),
                               {"auto detect", "class 1", "class 2", "class 2.0"}, 1, this);
    SetHint(FaxClass,
            "You should usually set this at the highest class supported by your modem, however if you experience "
            "problems set it to auto detect (the default)");
    ComPort = new TRadioGroup(QStringLiteral("ComPort"), QStringLiteral("Port"),
                              {"Com1", "Com2", "Com3", "Com4", "Com5", "Com6"}, 2, this);
    SetHint(ComPort, "Select the communications port for your faxmodem here");
    PortPath = edit("PortPath", "The device file of the chosen port, for example /dev/ttyS0 or /dev/ttyUSB0");
    connect(ComPort, &TRadioGroup::itemIndexChanged, this, &TPreferences::ComPortChanged);
    connect(PortPath, &QLineEdit::textEdited, this, &TPreferences::PortPathEdited);
    ToneOrPulse = new TRadioGroup(QStringLiteral("ToneOrPulse"), QStringLiteral("Tone or Pulse"),
                                  {"Tone", "Pulse"}, 2, this);
    SetHint(ToneOrPulse, "Select tone or pulse, depending on your phone system (normally tone)");
    AnswerOnRing = new TRadioGroup(QStringLiteral("AnswerOnRing"), QStringLiteral("Answer on ring"),
                                   {"1", "2", "3"}, 3, this);
    SetHint(AnswerOnRing, "Select which ring Orvane should answer on, when in receive mode");

    CheckBlindDial = new QCheckBox(QStringLiteral("Blind Dial"), this);
    CheckBlindDial->setObjectName(QStringLiteral("CheckBlindDial"));
    SetHint(CheckBlindDial,
            "If the modem is not connected to a phone line which supplies a dial tone, \rcheck  Blind Dial. This is "
            "equivilant to sending ATX3 rather than ATX4.");
    ReceiveAtStartup = new QCheckBox(QStringLiteral("Start Receiving at program startup"), this);
    ReceiveAtStartup->setObjectName(QStringLiteral("ReceiveAtStartup"));
    SetHint(ReceiveAtStartup, "Check this box to have Orvane start receiving faxes \ras soon as it starts up");

    WaveFileEdit = edit("WaveFileEdit", "Type in the path and name of the .WAV file");
    auto button = [this](const char* name, const QString& caption, const QString& hint) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);  // Enter in a box must not press it
        if (!hint.isEmpty()) SetHint(b, hint);
        return b;
    };
    auto* SelectWavButton = button("SelectWavButton", "&Choose", "Select the .WAV file from a Windows\rFile Open dialog");
    auto* BitBtn2 = button("BitBtn2", "Play &Now", "Play the .WAV file you have selected");
    auto* BitBtn1 = button("BitBtn1", "None", "");
    connect(SelectWavButton, &QPushButton::clicked, this, &TPreferences::SelectWavButtonClick);
    connect(BitBtn2, &QPushButton::clicked, this, &TPreferences::BitBtn2Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TPreferences::BitBtn1Click);

    OpenDialog1 = new QFileDialog(this);
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->setNameFilter(QStringLiteral("WAVE files (*.wav)"));
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1->setOption(QFileDialog::DontUseNativeDialog);

    status = TAlignLabel::statusLine(this);

    // Left: the user, dialling and the sound. Right: the modem and receive mode.
    auto* left = new QGridLayout;
    int row = 0;
    for (auto [caption, box] : {std::pair<const char*, QLineEdit*>{"Your &name", Name},
                                {"Your &fax number (Station ID#)", FaxNumber},
                                {"&Dial prefix:", DialPrefix},
                                {"&Modem initialization string:", ModemInit}}) {
        left->addWidget(label(QString::fromLatin1(caption), box), row++, 0, 1, 2);
        left->addWidget(box, row++, 0, 1, 2);
    }
    for (auto [caption, box] : {std::pair<const char*, QLineEdit*>{"Number of dial attempts", DialAttempts},
                                {"Seconds to wait before retry", RetryWait},
                                {"Seconds to wait before timeout", TimeOut}}) {
        left->addWidget(label(QString::fromLatin1(caption), box), row, 0);
        left->addWidget(box, row++, 1, Qt::AlignLeft);
    }
    left->addWidget(ToneOrPulse, row++, 0, 1, 2);
    left->addWidget(CheckBlindDial, row++, 0, 1, 2);
    left->setRowStretch(row, 1);

    auto* portPathRow = new QHBoxLayout;
    portPathRow->addWidget(label(QStringLiteral("Device of the chosen port:"), PortPath));
    portPathRow->addWidget(PortPath, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(FaxClass);
    right->addWidget(ComPort);
    right->addLayout(portPathRow);
    right->addWidget(AnswerOnRing);
    right->addWidget(ReceiveAtStartup);
    right->addStretch(1);

    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addSpacing(10);
    columns->addLayout(right, 1);

    auto* sound = new QGridLayout;
    sound->addWidget(label(QStringLiteral("Select &WAV File to play when receiving a fax:"), WaveFileEdit), 0, 0, 1, 4);
    sound->addWidget(WaveFileEdit, 1, 0);
    sound->addWidget(SelectWavButton, 1, 1);
    sound->addWidget(BitBtn2, 1, 2);
    sound->addWidget(BitBtn1, 1, 3);
    sound->setColumnStretch(0, 1);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(10, 8, 10, 8);
    body->addLayout(columns);
    body->addSpacing(6);
    body->addLayout(sound);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(TopPanel);
    layout->addLayout(body, 1);
    layout->addWidget(status);
    Name->setFocus();
}

QString TPreferences::FirstRunNotice() {
    // The lines break (carriage returns) where the notice always broke them.
    return QStringLiteral("Please enter information about yourself and your\r"
                          "faxmodem in the Preferences screen. These values\r"
                          "will be saved for future use.\r"
                          "\r"
                          "BE SURE TO VERIFY THE PORT AND FAX CLASS\r"
                          "SETTINGS BEFORE CONTINUING");
}

// ---- filling and reading back --------------------------------------------------

void TPreferences::LoadFrom(const Settings& s) {
    WaveFileEdit->setText(s.wav);
    FaxNumber->setText(s.fax);
    Name->setText(s.name);
    DialPrefix->setText(s.dialPrefix);
    ModemInit->setText(s.initString);
    DialAttempts->setText(QString::number(s.dialAttempts));
    RetryWait->setText(QString::number(s.retryWait));
    TimeOut->setText(QString::number(s.timeout));
    FPortPaths = s.portPaths;
    for (int i = 0; i < 6; ++i) ComPort->setItemNote(i, FPortPaths[i]);
    ComPort->setItemIndex(s.comPort);
    ComPortChanged(ComPort->itemIndex());
    FaxClass->setItemIndex(s.faxClass);
    ReceiveAtStartup->setChecked(s.atStartup);
    AnswerOnRing->setItemIndex(s.answerOnRing - 1);
    CheckBlindDial->setChecked(s.blindDial);
    ToneOrPulse->setItemIndex(s.toneOrPulse);
    // The real size (styled, with the port paths), so centring before the first show is right.
    ensurePolished();
    adjustSize();
}

void TPreferences::StoreTo(Settings& s) const {
    s.wav = WaveFileEdit->text();
    s.fax = FaxNumber->text();
    s.name = Name->text();
    s.dialPrefix = DialPrefix->text();
    s.initString = ModemInit->text();
    if (auto v = wholeNumber(DialAttempts)) s.dialAttempts = *v;
    if (auto v = wholeNumber(RetryWait)) s.retryWait = *v;
    if (auto v = wholeNumber(TimeOut)) s.timeout = *v;
    if (ComPort->itemIndex() >= 0) s.comPort = ComPort->itemIndex();
    if (FaxClass->itemIndex() >= 0) s.faxClass = FaxClass->itemIndex();
    s.atStartup = ReceiveAtStartup->isChecked();
    if (AnswerOnRing->itemIndex() >= 0) s.answerOnRing = AnswerOnRing->itemIndex() + 1;
    s.blindDial = CheckBlindDial->isChecked();
    if (ToneOrPulse->itemIndex() >= 0) s.toneOrPulse = ToneOrPulse->itemIndex();
    // A port without a device cannot be opened: an emptied path is the port's default again.
    for (int i = 0; i < 6; ++i)
        s.portPaths[i] = FPortPaths[i].trimmed().isEmpty() ? Settings::kDefaultPortPaths[i] : FPortPaths[i].trimmed();
}

void TPreferences::ComPortChanged(int index) {
    PortPath->setEnabled(index >= 0 && index < 6);
    PortPath->setText(index >= 0 && index < 6 ? FPortPaths[index] : QString());
}

void TPreferences::PortPathEdited(const QString& path) {
    const int index = ComPort->itemIndex();
    if (index < 0 || index >= 6) return;
    FPortPaths[index] = path;
    ComPort->setItemNote(index, path);
}

// ---- activation ----------------------------------------------------------------

void TPreferences::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (FActivated) return;
    FActivated = true;
    // The notice comes once the window is on the screen behind it.
    PostToWindow(this, [this] { FormActivate(); });
}

void TPreferences::FormActivate() {
    if (!FFirstRunDue) return;
    FFirstRunDue = false;
    ShowInfo(FirstRunNotice());
}

// ---- buttons -------------------------------------------------------------------

void TPreferences::AcceptbuttonClick() { accept(); }

void TPreferences::CancelbuttonClick() { reject(); }

void TPreferences::HelpButtonClick() { ShowHelp(kHelpPreferences); }

void TPreferences::ExplorerButton1Click() {
    try {
        ChooseDefaultFont(this);
    } catch (const IniWriteError& e) {
        ShowException(e);
    }
}

void TPreferences::SelectWavButtonClick() {
    OpenDialog1->setDirectory(ProgramFolder());
    const QFileInfo current(WaveFileEdit->text());
    if (!WaveFileEdit->text().isEmpty() && current.isFile()) {
        OpenDialog1->setDirectory(current.absolutePath());
        OpenDialog1->selectFile(current.absoluteFilePath());
    } else {
        OpenDialog1->selectFile(QString());
    }
    if (OpenDialog1->exec() != QDialog::Accepted) return;
    const QStringList chosen = OpenDialog1->selectedFiles();
    if (chosen.isEmpty()) return;
    if (chosen.first().toUpper().contains(QLatin1String(".WAV"))) WaveFileEdit->setText(chosen.first());
}

void TPreferences::BitBtn2Click() { PlayWaveFile(WaveFileEdit->text()); }

void TPreferences::BitBtn1Click() { WaveFileEdit->clear(); }

// Modem discovery on this window's own port comes with the modem-discovery work.
void TPreferences::CheckFaxClassButtonClick() {}

void TPreferences::FindModemButtonClick() {}

}  // namespace orv
