#pragma once
// TSendFaxForm: "Send Fax", the window that faxes one APF file. The main
// window makes the file, fills the window (FFaxFileName, FPhoneNumber, the
// settings through LoadFrom) and shows it modally. The user checks the
// dialling and modem settings and presses "&Send Fax": the window opens its
// own port, resets the modem, checks the chosen fax class, and starts its
// send component, which dials and sends while the window stays open and the
// "Fax Status" window follows the call. When the call ends the window says
// how ("Finished: ..."), and Result() keeps that outcome ("Sent", an error
// text, or "Cancelled" when nothing was sent). After it closes the main
// window takes the settings back (StoreTo) and writes the outcome into the
// fax's record. While a call runs, Send and Close only beep.
#include <QDate>
#include <QDialog>
#include <QTime>
#include <memory>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace orv {

struct Settings;
class TAlignLabel;
class TOrvAbstractFaxStatus;
class TModemDiscovery;
class TOrvComPort;
class TOrvCustomAbstractFax;
class TOrvSendFax;
class TRadioGroup;
class TStatusLineScope;

class TSendFaxForm : public QDialog {
    Q_OBJECT
public:
    explicit TSendFaxForm(QWidget* parent = nullptr);
    ~TSendFaxForm() override;

    void setFaxFileName(const QString& name) { FFaxFileName = name; }
    void setPhoneNumber(const QString& number) { FPhoneNumber = number; }
    // The outcome of the last transmission: "Sent", the error's text, or
    // "Cancelled" when none finished.
    QString Result() const { return FResult; }
    bool Sending() const { return FSending; }

    // The controls from the settings, and back. A number box that does not
    // hold a whole number leaves its setting as it was.
    void LoadFrom(const Settings& s);
    void StoreTo(Settings& s) const;

    // The header line template put above every page: "Page $P of $N, Sent "
    // [+ "by "] [+ name + ","] [+ " $I "] + " on " + date + " at " + time.
    static QString BuildHeader(const QString& name, const QString& stationId, const QDate& date, const QTime& time);

    // The components, for whoever needs to look at them (tests).
    TOrvComPort* comPort() const { return OrvComPort1; }
    TOrvSendFax* sendFax() const { return OrvSendFax1; }

public slots:
    void reject() override;  // Escape and the window's close go the way of "C&lose"

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void FormActivate();
    void SetStatus(const QString& text);
    void SendFaxButtonClick();
    void CloseButtonClick();
    void HelpbuttonClick();
    void FindModemButtonClick();
    void CheckFaxClassButtonClick();
    void OrvSendFax1FaxFinish(TOrvCustomAbstractFax& CP, int ErrorCode);
    // Shared with the Preferences window (modem_discovery.h).
    bool ResetTheDamnedModem();
    QString DetermineFaxClassSupport();
    void ClosePort();

    TRadioGroup* ComPort = nullptr;
    TRadioGroup* sfFaxClass = nullptr;
    TRadioGroup* sfToneOrPulse = nullptr;
    QCheckBox* CheckBlindDial = nullptr;
    QLineEdit* sfusername = nullptr;
    QLineEdit* sfStationID = nullptr;
    QLineEdit* sfDialPrefix = nullptr;
    QLineEdit* sfPhoneNumber = nullptr;
    QLineEdit* sfModemInit = nullptr;
    QLineEdit* sfDialAttempts = nullptr;
    QLineEdit* sfRetryWait = nullptr;
    QLineEdit* sfTimeOut = nullptr;
    QPushButton* SendFaxButton = nullptr;
    QPushButton* FindModemButton = nullptr;
    QPushButton* CheckFaxClassButton = nullptr;
    QPushButton* CloseButton = nullptr;
    QPushButton* Helpbutton = nullptr;
    TAlignLabel* status = nullptr;
    TStatusLineScope* FStatusScope = nullptr;

    TOrvComPort* OrvComPort1 = nullptr;
    TOrvSendFax* OrvSendFax1 = nullptr;
    TOrvAbstractFaxStatus* OrvFaxStatus1 = nullptr;
    std::unique_ptr<TModemDiscovery> FDiscovery;

    bool FSending = false;
    bool FFirstActivate = true;
    bool FClosing = false;
    QString FFaxFileName;
    QString FCoverFileName;
    QString FPhoneNumber;
    QString FResult = QStringLiteral("Cancelled");
    QString FHeader;
};

}  // namespace orv
