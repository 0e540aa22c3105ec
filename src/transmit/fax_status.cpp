#include "transmit/fax_status.h"

#include "ui/widgets/meter.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace orv {

namespace {
const char* const kResolution[2] = {"standard", "high"};
const char* const kWidth[2] = {"1728", "2048"};
const char* const kErrorControl[2] = {"off", "on"};

QFrame* panel(const char* name, QWidget* parent) {
    auto* p = new QFrame(parent);
    p->setObjectName(QString::fromLatin1(name));
    p->setFrameShape(QFrame::StyledPanel);
    p->setFrameShadow(QFrame::Raised);
    auto* grid = new QGridLayout(p);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(3);
    grid->setColumnStretch(1, 1);
    return p;
}
}  // namespace

QString FormatFaxTime(qint64 seconds) {
    if (seconds < 0) seconds = 0;
    const QString text = QString::number(seconds / 60) + QLatin1Char(':') +
                         QStringLiteral("%1").arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return text.rightJustified(6, QLatin1Char(' '));
}

QString ShortFaxFileName(const QString& name) {
    const int cut = std::max({name.lastIndexOf(QLatin1Char(':')), name.lastIndexOf(QLatin1Char('\\')),
                              name.lastIndexOf(QLatin1Char('/'))});
    const QString tail = name.mid(cut + 1);
    return tail.size() > 20 ? tail.left(20) + QStringLiteral("...") : tail;
}

// ---- TStandardFaxDisplay ---------------------------------------------------------------------

TStandardFaxDisplay::TStandardFaxDisplay(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("StandardFaxDisplay"));
    setWindowTitle(QStringLiteral("Fax Status"));
    FWallClock.start();

    QFrame* fsPanel1 = panel("fsPanel1", this);
    QFrame* fsPanel2 = panel("fsPanel2", this);
    QFrame* fsPanel3 = panel("fsPanel3", this);
    QFrame* fsPanel4 = panel("fsPanel4", this);
    QFrame* fsPanel5 = panel("fsPanel5", this);
    QFrame* fsPanel6 = new QFrame(this);
    fsPanel6->setObjectName(QStringLiteral("fsPanel6"));
    fsPanel6->setFrameShape(QFrame::StyledPanel);

    fsPhoneNumber = value(fsPanel1, "fsPhoneNumber", "555-1212", 0, "Phone number:");
    fsFaxFileName = value(fsPanel1, "fsFaxFileName", "noname", 1, "Fax file name:");
    fsCoverFileName = value(fsPanel1, "fsCoverFileName", "noname", 2, "Cover file name:");
    fsTotalPages = value(fsPanel1, "fsTotalPages", "99", 3, "Total pages:");
    fsDialAttempt = value(fsPanel1, "fsDialAttempt", "1", 4, "Dial attempt:");
    // The file names have their places but are not shown.
    for (QLabel* hidden : {fsFaxFileName, fsCoverFileName}) {
        hidden->hide();
        if (QWidget* caption = hidden->buddy()) caption->hide();
    }
    fsRemoteID = value(fsPanel2, "fsRemoteID", "remoteid", 0, "Remote ID:");
    fsConnectBPS = value(fsPanel2, "fsConnectBPS", "9600", 1, "Connect BPS:");
    fsResolution = value(fsPanel2, "fsResolution", "Normal", 2, "Resolution:");
    fsWidth = value(fsPanel2, "fsWidth", "1728", 3, "Width:");
    fsErrorControl = value(fsPanel2, "fsErrorControl", "off", 4, "Error control:");
    fsCurrentPage = value(fsPanel3, "fsCurrentPage", "1", 0, "Current page:");
    fsPageLength = value(fsPanel3, "fsPageLength", "9999", 1, "Page length:");
    fsBytesTransferred = value(fsPanel4, "fsBytesTransferred", "9999", 0, "Bytes transferred:");
    fsElapsedTime = value(fsPanel4, "fsElapsedTime", "99:99", 1, "Elapsed time:");
    fsStatusMsg = value(fsPanel5, "fsStatusMsg", "OK", 0, "Status:", Qt::AlignLeft | Qt::AlignVCenter);

    // The progress bar sits at a fixed place in its panel, after its caption.
    fsPanel6->setFixedSize(508, 34);
    fsLabel19 = new QLabel(QStringLiteral("Page progress:"), fsPanel6);
    fsLabel19->setObjectName(QStringLiteral("fsLabel19"));
    fsLabel19->setGeometry(8, 7, 380, 20);
    FProgressBar = new TOrvMeter(QStringLiteral("ProgressBar"), fsPanel6);
    FProgressBar->setGeometry(120, 7, 380, 20);
    FProgressBar->setRange(0, 100);
    FProgressBar->setPosition(0);
    FProgressBar->setStep(10);

    fsCancel = new QPushButton(QStringLiteral("Cancel"), this);
    fsCancel->setObjectName(QStringLiteral("fsCancel"));
    connect(fsCancel, &QPushButton::clicked, this, &TStandardFaxDisplay::CancelClick);

    auto* top = new QHBoxLayout;
    top->addWidget(fsPanel1, 1);
    top->addWidget(fsPanel2, 1);
    auto* middle = new QHBoxLayout;
    middle->addWidget(fsPanel3, 1);
    middle->addWidget(fsPanel4, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(fsCancel);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);
    layout->addLayout(top);
    layout->addLayout(middle);
    layout->addWidget(fsPanel5);
    layout->addWidget(fsPanel6);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);  // a fixed dialog border
}

TStandardFaxDisplay::~TStandardFaxDisplay() = default;

QLabel* TStandardFaxDisplay::value(QFrame* p, const char* name, const QString& design, int row, const QString& caption,
                                   Qt::Alignment alignment) {
    auto* grid = static_cast<QGridLayout*>(p->layout());
    auto* label = new QLabel(caption, p);
    auto* v = new QLabel(design, p);
    v->setObjectName(QString::fromLatin1(name));
    v->setAlignment(alignment);
    v->setMinimumWidth(90);
    label->setBuddy(v);
    grid->addWidget(label, row, 0);
    grid->addWidget(v, row, 1);
    return v;
}

qint64 TStandardFaxDisplay::now() const { return Clock ? Clock() : FWallClock.elapsed(); }

void TStandardFaxDisplay::UpdateValues(TOrvCustomAbstractFax* fax) {
    if (!fax) return;
    FFax = fax;
    const int code = fax->ProgressCode();
    auto* send = qobject_cast<TOrvCustomSendFax*>(fax);

    // 1, 2: the elapsed-time and retry timers.
    if (!FElapsedRunning && (code == fsGettingParams || code == fsGotRemoteId)) {
        FElapsedRunning = true;
        FElapsedStart = now();
    } else if (FElapsedRunning && (code == fsFinished || code == fsUserAbort || code == fsGotHangupCode)) {
        FElapsedRunning = false;
    }
    if (code == fsBusyWaiting && !FRetryRunning) {
        FRetryRunning = true;
        FRetryStart = now();
        FRetrySeconds = send ? send->DialRetryWait() : 0;
    } else if (FRetryRunning && code != fsBusyWaiting) {
        FRetryRunning = false;
    }

    // 3, 4, 5: the call, the line and the page.
    if (send) {
        fsPhoneNumber->setText(send->PhoneNumber());
        fsFaxFileName->setText(ShortFaxFileName(send->FaxFile()));
        fsCoverFileName->setText(ShortFaxFileName(send->CoverFile()));
        fsDialAttempt->setText(QString::number(send->DialAttempt()));
    } else {
        fsPhoneNumber->clear();
        fsFaxFileName->setText(ShortFaxFileName(fax->FaxFile()));
        fsCoverFileName->clear();
        fsDialAttempt->setText(QStringLiteral("1"));
    }
    fsTotalPages->setText(QString::number(fax->PageTotal()));
    fsRemoteID->setText(fax->RemoteStationID());
    fsConnectBPS->setText(QString::number(fax->ConnectBPS()));
    fsResolution->setText(QString::fromLatin1(kResolution[fax->FineResolution()]));
    fsWidth->setText(QString::fromLatin1(kWidth[fax->WidePage()]));
    fsErrorControl->setText(QString::fromLatin1(kErrorControl[fax->ErrorCorrection()]));
    fsCurrentPage->setText(fax->PageNumber() != 0 ? QString::number(fax->PageNumber()) : QStringLiteral("<cover page>"));
    fsPageLength->setText(QString::number(fax->PageBytes()));
    fsBytesTransferred->setText(QString::number(fax->BytesDone()));

    // 6, 7: the times and the status.
    fsElapsedTime->setText(FElapsedRunning ? FormatFaxTime((now() - FElapsedStart) / 1000) : QStringLiteral("00:00"));
    QString status = TOrvCustomAbstractFax::ProgressText(code);
    if (code == fsBusyWaiting && FRetryRunning)
        status += FormatFaxTime(std::max<qint64>(0, FRetrySeconds - (now() - FRetryStart) / 1000));
    fsStatusMsg->setText(status);

    // 8, 9: the page's progress.
    if (!send) {
        FProgressBar->hide();
        fsLabel19->setText(QStringLiteral("Page progress: N/A"));
        return;
    }
    FProgressBar->show();
    fsLabel19->setText(QStringLiteral("Page progress:"));
    FProgressBar->setRange(0, 100);
    const qint64 total = fax->PageBytes();
    const long percent = total == 0 ? 0 : std::lround(double(fax->BytesDone()) / double(total) * 100.0);
    FProgressBar->setPosition(int(std::clamp(percent, 0L, 100L)));
}

void TStandardFaxDisplay::CancelClick() {
    if (FFax) FFax->AbortSession();
}

// ---- TOrvFaxStatus -------------------------------------------------------------------------------

TOrvFaxStatus::TOrvFaxStatus(QObject* owner) : TOrvAbstractFaxStatus(owner) {
    setObjectName(QStringLiteral("OrvFaxStatus"));
    CreateDisplay();
}

TOrvFaxStatus::~TOrvFaxStatus() { DestroyDisplay(); }

void TOrvFaxStatus::CreateDisplay() {
    DestroyDisplay();
    FDisplay = new TStandardFaxDisplay(qobject_cast<QWidget*>(parent()));
    FDisplay->setFax(Fax());
}

void TOrvFaxStatus::DestroyDisplay() { delete FDisplay.data(); }

void TOrvFaxStatus::DisplayPropertiesChanged() {
    if (!FDisplay) return;
    if (Visible()) FDisplay->show();
    else FDisplay->hide();
}

void TOrvFaxStatus::UpdateDisplay(bool First, bool Last) {
    if (!FDisplay) return;
    if (First) {
        FDisplay->setFax(Fax());
        FDisplay->adjustSize();
        if (Position() == poScreenCenter) {
            QScreen* screen = FDisplay->screen() ? FDisplay->screen() : QGuiApplication::primaryScreen();
            if (screen) FDisplay->move(screen->availableGeometry().center() - FDisplay->rect().center());
        }
        FDisplay->show();
    }
    // The last report refreshes too, so the timers see the call's end (a
    // finished call shows "00:00") should the window be shown again.
    FDisplay->UpdateValues(Fax());
    if (Last) FDisplay->hide();
}

}  // namespace orv
