#include "transmit/send_fax_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "common/orv_error.h"
#include "engine/com_port.h"
#include "engine/fax_components.h"
#include "shell/help_window.h"
#include "shell/message_boxes.h"
#include "config/program_folder.h"
#include "config/settings.h"
#include "shell/status_line.h"
#include "ui/widgets/align_label.h"
#include "ui/widgets/hint.h"
#include "transmit/fax_status.h"
#include "transmit/modem_discovery.h"
#include "ui/widgets/radio_group.h"

namespace orv {

namespace {

constexpr int kHelpSendFax = 1016;
// Text properties of the send component hold at most this much.
constexpr int kMaxPropertyText = 255;

}  // namespace

TSendFaxForm::TSendFaxForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SendFaxForm"));
    setWindowTitle(QStringLiteral("Send Fax"));
    // A fixed dialog border without a system menu: the window closes through "C&lose".
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    createControls();

    // The port and the send component, with their design values.
    OrvComPort1 = new TOrvComPort(this);
    OrvComPort1->setObjectName(QStringLiteral("OrvComPort1"));
    OrvComPort1->SetComNumber(1);
    OrvComPort1->SetAutoOpen(false);
    OrvSendFax1 = new TOrvSendFax(this);
    OrvSendFax1->setObjectName(QStringLiteral("OrvSendFax1"));
    OrvSendFax1->SetComPort(OrvComPort1);
    OrvSendFax1->SetFaxClass(fcUnknown);
    OrvSendFax1->SetFaxFileExt(QStringLiteral("APF"));
    OrvSendFax1->OnFaxFinish = [this](TOrvCustomAbstractFax& cp, int code) { OrvSendFax1FaxFinish(cp, code); };
    OrvComPort1->SetInSize(8192);
    OrvComPort1->SetOutSize(8192);
    OrvComPort1->SetHWFlowOptions({hwfUseRTS, hwfRequireCTS});
    OrvComPort1->SetBufferFull(7372);
    OrvComPort1->SetBufferResume(819);
    OrvComPort1->SetTapiMode(tmOff);
    OrvComPort1->SetTraceSize(32000);
    // The "Fax Status" window follows each call, in the middle of the screen.
    auto* faxStatus = new TOrvFaxStatus(this);
    faxStatus->setObjectName(QStringLiteral("OrvFaxStatus1"));
    faxStatus->SetPosition(poScreenCenter);
    faxStatus->SetCtl3D(true);
    faxStatus->SetVisible(false);
    OrvFaxStatus1 = faxStatus;
    OrvSendFax1->SetStatusDisplay(OrvFaxStatus1);
    FDiscovery = std::make_unique<TModemDiscovery>(
        TModemDiscovery::Parts{this, ComPort, sfFaxClass, OrvComPort1, OrvSendFax1, status});

    // FormCreate
    FSending = false;
    FFaxFileName.clear();
    FCoverFileName.clear();
    FPhoneNumber.clear();
    FResult = QStringLiteral("Cancelled");
    FFirstActivate = true;
    FStatusScope = new TStatusLineScope(this, status);
    OrvComPort1->SetTraceName(ProgramFolder() + QStringLiteral("ORVSEND.TRC"));
    OrvComPort1->SetLogName(ProgramFolder() + QStringLiteral("ORVSEND.LOG"));
    OrvComPort1->SetTracing(tlOn);
    OrvComPort1->SetLogging(tlOn);
}

TSendFaxForm::~TSendFaxForm() {
    // The send component goes before its port; a call still running is ended.
    delete OrvSendFax1;
    OrvSendFax1 = nullptr;
    try {
        OrvComPort1->SetOpen(false);
    } catch (const std::exception&) {
    }
    // FormDestroy: the status line of the window below becomes current again.
    delete FStatusScope;
}

void TSendFaxForm::createControls() {
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
    auto button = [this](const char* name, const QString& caption, const QString& hint) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);  // Enter in a box must not send
        SetHint(b, hint);
        return b;
    };

    ComPort = new TRadioGroup(QStringLiteral("ComPort"), QStringLiteral("Port"),
                              {"Com1", "Com2", "Com3", "Com4", "Com5", "Com6"}, 2, this);
    SetHint(ComPort, "Select the communications port for your faxmodem here");
    sfFaxClass = new TRadioGroup(QStringLiteral("sfFaxClass"), QStringLiteral("Fax &class"),
                                 {"auto detect", "class 1", "class 2", "class 2.0"}, 1, this);
    SetHint(sfFaxClass,
            "You should usually set this at the highest class supported by your modem, however if you experience "
            "problems set it to auto detect (the default)");
    sfToneOrPulse = new TRadioGroup(QStringLiteral("sfToneOrPulse"), QStringLiteral("Tone or Pulse"),
                                    {"Tone", "Pulse"}, 2, this);
    SetHint(sfToneOrPulse, "Select tone or pulse, depending on your phone system (normally tone)");
    CheckBlindDial = new QCheckBox(QStringLiteral("Blind Dial"), this);
    CheckBlindDial->setObjectName(QStringLiteral("CheckBlindDial"));
    SetHint(CheckBlindDial,
            "If the modem is not connected to a phone line which supplies a dial tone, \rcheck  Blind Dial. This is "
            "equivilant to sending ATX3 rather than ATX4.");

    sfusername = edit("sfusername", "Enter your name here\r(this will be printed on the fax header)", 20);
    sfStationID = edit("sfStationID", "Enter your own fax number here\r(this is required for identification purposes)",
                       20);
    sfDialPrefix = edit("sfDialPrefix",
                        "Enter the dial prefix here. If your telephone system requires special numbers or codes when "
                        "dialing out, you can specify them once here rather than in every fax number. Do not include "
                        "'ATD' or a 'T' or 'P' tone/pulse modifier in the dial prefix");
    sfPhoneNumber = edit("sfPhoneNumber", "Enter the recipient phone # here");
    sfModemInit = edit("sfModemInit",
                       "(You should not need to do this). Enter extra modem init string here. If you use an init "
                       "string here, it will be sent just before the default init: ('ATE0Q0V1X4S0=0'). The init "
                       "string should not contain an 'AT' prefix.");
    sfDialAttempts = edit("sfDialAttempts", "Enter the number of dial attempts that should be made for each fax");
    sfRetryWait = edit("sfRetryWait", "Enter the number of seconds between dial attempts here");
    sfTimeOut = edit("sfTimeOut",
                     "Enter the number of seconds that Orvane should wait after dialing before it aborts the call "
                     "with a timeout");
    sfDialAttempts->setText(QStringLiteral("3"));
    sfRetryWait->setText(QStringLiteral("60"));
    sfTimeOut->setText(QStringLiteral("60"));
    for (QLineEdit* n : {sfDialAttempts, sfRetryWait, sfTimeOut}) n->setFixedWidth(56);

    SendFaxButton = button("SendFaxButton", "&Send Fax", "Attempt to send the fax");
    FindModemButton = button("FindModemButton", "Find Modem",
                             "Click here to have the program attempt to find which port your faxmodem is on");
    CheckFaxClassButton = button("CheckFaxClassButton", "Check Fax Class",
                                 "Click here to have the program test the modem to see which fax classes it supports");
    CloseButton = button("CloseButton", "C&lose", "Close the Send Fax dialog");
    Helpbutton = button("Helpbutton", "&Help", "Get Windows help for Send Fax");
    connect(SendFaxButton, &QPushButton::clicked, this, &TSendFaxForm::SendFaxButtonClick);
    connect(FindModemButton, &QPushButton::clicked, this, &TSendFaxForm::FindModemButtonClick);
    connect(CheckFaxClassButton, &QPushButton::clicked, this, &TSendFaxForm::CheckFaxClassButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, &TSendFaxForm::CloseButtonClick);
    connect(Helpbutton, &QPushButton::clicked, this, &TSendFaxForm::HelpbuttonClick);

    status = TAlignLabel::statusLine(this);

    // Left: who sends, whom to call and how to dial. Right: the modem.
    auto* left = new QGridLayout;
    int row = 0;
    for (auto [caption, box] : {std::pair<const char*, QLineEdit*>{"Your Name (optional)", sfusername},
                                {"Your fax number or Station ID# (required)", sfStationID},
                                {"&Dial prefix:", sfDialPrefix},
                                {"&Phone #:", sfPhoneNumber},
                                {"&Modem initialization string (rarely needed):", sfModemInit}}) {
        left->addWidget(label(QString::fromLatin1(caption), box), row++, 0, 1, 2);
        left->addWidget(box, row++, 0, 1, 2);
    }
    for (auto [caption, box] : {std::pair<const char*, QLineEdit*>{"Number of dial attempts", sfDialAttempts},
                                {"Seconds to wait before retry", sfRetryWait},
                                {"Seconds to wait before timeout", sfTimeOut}}) {
        left->addWidget(label(QString::fromLatin1(caption), box), row, 0);
        left->addWidget(box, row++, 1, Qt::AlignLeft);
    }
    left->setRowStretch(row, 1);

    auto* right = new QVBoxLayout;
    right->addWidget(ComPort);
    right->addWidget(sfFaxClass);
    right->addWidget(sfToneOrPulse);
    right->addWidget(CheckBlindDial);
    right->addStretch(1);

    auto* columns = new QHBoxLayout;
    columns->setContentsMargins(10, 10, 10, 6);
    columns->addLayout(left, 3);
    columns->addSpacing(12);
    columns->addLayout(right, 2);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(10, 0, 10, 8);
    for (QPushButton* b : {SendFaxButton, FindModemButton, CheckFaxClassButton, CloseButton, Helpbutton})
        buttons->addWidget(b);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addLayout(columns);
    column->addLayout(buttons);
    column->addWidget(status);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    // Tab order: the boxes top to bottom, the modem's groups, then the buttons.
    QWidget* order[] = {sfusername,   sfStationID, sfDialPrefix,   sfPhoneNumber, sfModemInit,
                        sfDialAttempts, sfRetryWait, sfTimeOut,    ComPort,       sfFaxClass,
                        sfToneOrPulse, CheckBlindDial, SendFaxButton, FindModemButton, CheckFaxClassButton,
                        CloseButton,  Helpbutton};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

// ---- settings in and out ------------------------------------------------------------

void TSendFaxForm::LoadFrom(const Settings& s) {
    ComPort->setItemIndex(s.comPort);
    // Each port's device beside it; a long path shows its end, the whole in its tool tip.
    for (int i = 0; i < ComPort->count() && i < int(s.portPaths.size()); ++i) {
        const QString path = s.portPaths[i];
        ComPort->setItemNote(i, path.size() > 22 ? QStringLiteral("\u2026") + path.right(21) : path);
        ComPort->button(i)->setToolTip(path);
    }
    OrvComPort1->SetComNumber(uint16_t(std::max(0, ComPort->itemIndex() + 1)));
    sfusername->setText(s.name);
    sfStationID->setText(s.fax);
    sfDialPrefix->setText(s.dialPrefix);
    sfDialAttempts->setText(QString::number(s.dialAttempts));
    sfRetryWait->setText(QString::number(s.retryWait));
    sfToneOrPulse->setItemIndex(s.toneOrPulse);
    CheckBlindDial->setChecked(s.blindDial);
    sfTimeOut->setText(QString::number(s.timeout));
    sfModemInit->setText(s.initString);
    sfFaxClass->setItemIndex(s.faxClass);
    OrvComPort1->SetComNumber(uint16_t(std::max(0, s.comPort + 1)));
}

void TSendFaxForm::StoreTo(Settings& s) const {
    s.comPort = ComPort->itemIndex();
    s.name = sfusername->text();
    s.fax = sfStationID->text();
    s.dialPrefix = sfDialPrefix->text();
    s.initString = sfModemInit->text();
    auto number = [](const QLineEdit* box, int& setting) {
        bool ok = false;
        const int v = box->text().trimmed().toInt(&ok);
        if (ok) setting = v;
    };
    number(sfDialAttempts, s.dialAttempts);
    number(sfRetryWait, s.retryWait);
    number(sfTimeOut, s.timeout);
    s.faxClass = sfFaxClass->itemIndex();
    s.toneOrPulse = sfToneOrPulse->itemIndex();
    s.blindDial = CheckBlindDial->isChecked();
}

// ---- the header line ----------------------------------------------------------------

QString TSendFaxForm::BuildHeader(const QString& name, const QString& stationId, const QDate& date,
                                  const QTime& time) {
    QString h = QStringLiteral("Page $P of $N, Sent ");
    if (!(name + stationId).trimmed().isEmpty()) h += QStringLiteral("by ");
    if (!name.isEmpty()) h += name + QLatin1Char(',');
    if (!stationId.isEmpty()) h += QStringLiteral(" $I ");
    // "d mmm yyyy": the month's short name as the user's locale writes it.
    const QLocale locale;
    const QString day = QString::number(date.day()) + QLatin1Char(' ') +
                        locale.monthName(date.month(), QLocale::ShortFormat) + QLatin1Char(' ') +
                        QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
    // "hh:mmam/pm": a 12-hour clock with two-digit hours, then am or pm.
    const int hour12 = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    const QString clock = QStringLiteral("%1:%2%3")
                              .arg(hour12, 2, 10, QLatin1Char('0'))
                              .arg(time.minute(), 2, 10, QLatin1Char('0'))
                              .arg(time.hour() < 12 ? QStringLiteral("am") : QStringLiteral("pm"));
    h += QStringLiteral(" on ") + day + QStringLiteral(" at ") + clock;
    return h;
}

// ---- the window ---------------------------------------------------------------------

void TSendFaxForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    SetCurrentStatusLabel(status);
    FormActivate();
}

void TSendFaxForm::FormActivate() {
    SetCurrentStatusLabel(status);
    if (FFirstActivate) {
        sfPhoneNumber->setText(FPhoneNumber);
        FFirstActivate = false;
    }
}

void TSendFaxForm::SetStatus(const QString& text) {
    status->setText(text);
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TSendFaxForm::ClosePort() {
    try {
        OrvComPort1->SetOpen(false);
    } catch (const std::exception&) {
        // Closed either way.
    }
}

void TSendFaxForm::HelpbuttonClick() { ShowHelp(kHelpSendFax); }

void TSendFaxForm::SendFaxButtonClick() {
    if (FSending) {
        Beep();
        return;
    }
    FSending = true;

    SetStatus(QStringLiteral("Opening communications port..."));
    OrvComPort1->SetComNumber(uint16_t(std::max(0, ComPort->itemIndex() + 1)));
    try {
        OrvComPort1->SetOpen(true);
    } catch (const std::exception&) {
        ClosePort();
        SetStatus(QString());
        ShowInfo(QStringLiteral("Error opening communications port"));
        FSending = false;
        return;
    }

    SetStatus(QStringLiteral("Resetting modem..."));
    if (!ResetTheDamnedModem()) {
        ClosePort();
        SetStatus(QString());
        ShowInfo(QStringLiteral("Unable to communicate with the modem"));
        FSending = false;
        return;
    }

    if (DetermineFaxClassSupport() == QLatin1String("OK")) {
        const int chosen = sfFaxClass->itemIndex();
        const bool unsupported = (chosen == 1 && !FDiscovery->FClass1Supported) ||
                                 (chosen == 2 && !FDiscovery->FClass2Supported) ||
                                 (chosen == 3 && !FDiscovery->FClass20Supported);
        SetStatus(QString());
        if (unsupported && !AskYesNo(QStringLiteral("Selected Fax Class is not supported by \r"
                                                    "the selected modem. Continue anyways?"),
                                     QStringLiteral("FAX CLASS ERROR"))) {
            ClosePort();
            FSending = false;
            return;
        }
    }

    SetStatus(QString());
    try {
        OrvSendFax1->SetBlindDial(CheckBlindDial->isChecked());
        OrvSendFax1->SetFaxFile(FFaxFileName.left(kMaxPropertyText));
        OrvSendFax1->SetCoverFile(FCoverFileName.left(kMaxPropertyText));
        OrvSendFax1->SetPhoneNumber(sfPhoneNumber->text().left(kMaxPropertyText));
        OrvSendFax1->SetToneDial(sfToneOrPulse->itemIndex() == 0);
        OrvSendFax1->SetFaxClass(TFaxClass(std::clamp(sfFaxClass->itemIndex() + 1, 0, int(fcClass2_0))));
        // In this order; the first box that holds no whole number ends the
        // step, and the rest keep what they had.
        [&] {
            bool ok = false;
            const int attempts = sfDialAttempts->text().trimmed().toInt(&ok);
            if (!ok) return;
            OrvSendFax1->SetDialAttempts(uint16_t(std::clamp(attempts, 0, 65535)));
            const int retry = sfRetryWait->text().trimmed().toInt(&ok);
            if (!ok) return;
            OrvSendFax1->SetDialRetryWait(uint16_t(std::clamp(retry, 0, 65535)));
            const int wait = sfTimeOut->text().trimmed().toInt(&ok);
            if (!ok) return;
            OrvSendFax1->SetDialWait(uint16_t(std::clamp(wait, 0, 65535)));
        }();
        OrvSendFax1->SetStationID(sfStationID->text());
        OrvSendFax1->SetDialPrefix(sfDialPrefix->text().left(kMaxPropertyText));
        const QString init = sfModemInit->text();
        if (!init.isEmpty())
            OrvSendFax1->SetModemInit(
                (init.toUpper().contains(QLatin1String("AT")) ? init : QStringLiteral("AT") + init).left(kMaxPropertyText));
        FHeader = BuildHeader(sfusername->text(), sfStationID->text(), QDate::currentDate(), QTime::currentTime());
        OrvSendFax1->SetHeaderLine(FHeader.left(kMaxPropertyText));
        OrvSendFax1->BeginSend();
    } catch (const std::exception& e) {
        FSending = false;
        SetCurrentStatusLabel(status);
        ClosePort();
        // No box: the status line says what stopped it.
        status->setText(QString::fromUtf8(e.what()));
    }
}

void TSendFaxForm::OrvSendFax1FaxFinish(TOrvCustomAbstractFax&, int ErrorCode) {
    const QString text = ErrorMessage(ErrorCode);
    FResult = text;
    if (ErrorCode == 0 || text.toUpper() == QLatin1String("OK")) FResult = QStringLiteral("Sent");
    ShowInfo(QStringLiteral("Finished: ") + text);
    ClosePort();
    FSending = false;
}

void TSendFaxForm::CloseButtonClick() {
    if (FSending) {
        Beep();
        return;
    }
    ClosePort();
    FClosing = true;
    // FormClose: the hourglass until the main window has written the record.
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    QDialog::accept();
}

void TSendFaxForm::reject() { CloseButtonClick(); }

void TSendFaxForm::closeEvent(QCloseEvent* event) {
    if (FClosing) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    CloseButtonClick();
}

// ---- the modem ----------------------------------------------------------------------

bool TSendFaxForm::ResetTheDamnedModem() { return FDiscovery->ResetTheDamnedModem(); }

QString TSendFaxForm::DetermineFaxClassSupport() { return FDiscovery->DetermineFaxClassSupport(); }

void TSendFaxForm::FindModemButtonClick() {
    if (FSending) {
        Beep();
        return;
    }
    FDiscovery->FindModemButtonClick();
}

void TSendFaxForm::CheckFaxClassButtonClick() {
    if (FSending) {
        Beep();
        return;
    }
    FDiscovery->CheckFaxClassButtonClick();
}

}  // namespace orv
