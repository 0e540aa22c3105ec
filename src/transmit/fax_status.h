#pragma once
// The "Fax Status" window a running send shows: number, pages, the remote
// station, line parameters, the page in transfer with its progress bar,
// elapsed time, the status text and a Cancel button.
//
//   TOrvFaxStatus status(sendWindow);   // the status component; makes its window
//   fax.SetStatusDisplay(&status);      // (or found on the owner by the fax component)
//
// The fax component drives it: the first status report of a call shows the
// window, the last hides it, every report between refreshes the values.
// Nothing here blocks: the values are the ones the report carried.
#include "engine/fax_components.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QFrame;

namespace orv {

class TOrvMeter;

// Seconds as the window shows them: minutes (no leading zero), ":", two
// digits of seconds, right-aligned to 6 characters ("  1:15").
QString FormatFaxTime(qint64 seconds);
// The short form of a file name: the part after the last ":", "\" or "/",
// its first 20 characters followed by "..." when longer.
QString ShortFaxFileName(const QString& name);

class TStandardFaxDisplay : public QDialog {
    Q_OBJECT
public:
    explicit TStandardFaxDisplay(QWidget* parent = nullptr);
    ~TStandardFaxDisplay() override;

    void setFax(TOrvCustomAbstractFax* fax) { FFax = fax; }
    TOrvCustomAbstractFax* fax() const { return FFax; }
    // Refreshes every value from the fax component's last report.
    void UpdateValues(TOrvCustomAbstractFax* fax);
    TOrvMeter* progressBar() const { return FProgressBar; }

    // Milliseconds since some fixed moment; the elapsed-time and retry timers
    // read it (tests give a clock of their own).
    std::function<qint64()> Clock;

private:
    void CancelClick();
    QLabel* value(QFrame* panel, const char* name, const QString& design, int row, const QString& caption,
                  Qt::Alignment alignment = Qt::AlignRight | Qt::AlignVCenter);
    qint64 now() const;

    TOrvCustomAbstractFax* FFax = nullptr;
    QLabel* fsPhoneNumber = nullptr;
    QLabel* fsFaxFileName = nullptr;
    QLabel* fsCoverFileName = nullptr;
    QLabel* fsTotalPages = nullptr;
    QLabel* fsDialAttempt = nullptr;
    QLabel* fsRemoteID = nullptr;
    QLabel* fsConnectBPS = nullptr;
    QLabel* fsResolution = nullptr;
    QLabel* fsWidth = nullptr;
    QLabel* fsErrorControl = nullptr;
    QLabel* fsCurrentPage = nullptr;
    QLabel* fsPageLength = nullptr;
    QLabel* fsBytesTransferred = nullptr;
    QLabel* fsElapsedTime = nullptr;
    QLabel* fsStatusMsg = nullptr;
    QLabel* fsLabel19 = nullptr;
    QPushButton* fsCancel = nullptr;
    TOrvMeter* FProgressBar = nullptr;
    qint64 FElapsedStart = 0;
    bool FElapsedRunning = false;
    qint64 FRetryStart = 0;
    qint64 FRetrySeconds = 0;
    bool FRetryRunning = false;
    QElapsedTimer FWallClock;
};

class TOrvFaxStatus : public TOrvAbstractFaxStatus {
    Q_OBJECT
public:
    // A widget owner becomes the display window's parent.
    explicit TOrvFaxStatus(QObject* owner = nullptr);
    ~TOrvFaxStatus() override;

    void CreateDisplay() override;
    void DestroyDisplay() override;
    void UpdateDisplay(bool First, bool Last) override;
    TStandardFaxDisplay* Display() const { return FDisplay; }

protected:
    void DisplayPropertiesChanged() override;

private:
    // Owned by this component; a child of the owner window when there is one,
    // which may delete it first.
    QPointer<TStandardFaxDisplay> FDisplay;
};

}  // namespace orv
