#pragma once
// TPreferences: the Preferences window. It edits the user's settings: who the
// user is, how the modem is reached and dialled, how receive mode answers, the
// sound for a received fax, and (at once, through its own button) the default
// font. The main window fills it with LoadFrom, shows it and, on OK, takes the
// values back with StoreTo and saves ORV.INI.
//
// Controls carry the names the settings know them by: Name, FaxNumber,
// DialPrefix, ModemInit, DialAttempts, RetryWait, TimeOut, FaxClass, ComPort
// (with PortPath, the device of the chosen port), ToneOrPulse, CheckBlindDial,
// ReceiveAtStartup, AnswerOnRing, WaveFileEdit.
#include <QDialog>
#include <array>
#include <memory>

class QCheckBox;
class QFileDialog;
class QLineEdit;

namespace orv {

struct Settings;
class TAlignLabel;
class TButtonPanel;
class TPictureButton;
class TRadioGroup;
class TStatusLineScope;
class TOrvComPort;
class TOrvSendFax;
class TModemDiscovery;

class TPreferences : public QDialog {
    Q_OBJECT
public:
    explicit TPreferences(QWidget* parent = nullptr);
    ~TPreferences() override;

    // The first-run notice is due at the next activation (one shot).
    void setFirstRun(bool due) { FFirstRunDue = due; }
    bool firstRunDue() const { return FFirstRunDue; }

    void LoadFrom(const Settings& s);
    // A number box that does not hold a whole number, or a radio group with
    // nothing chosen, leaves its setting unchanged.
    void StoreTo(Settings& s) const;

    // The first-run notice's text.
    static QString FirstRunNotice();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void createModemParts();
    void FormActivate();
    void AcceptbuttonClick();
    void CancelbuttonClick();
    void HelpButtonClick();
    void ExplorerButton1Click();
    void SelectWavButtonClick();
    void BitBtn2Click();
    void BitBtn1Click();
    void CheckFaxClassButtonClick();
    void FindModemButtonClick();
    void ComPortChanged(int index);
    void PortPathEdited(const QString& path);

    TButtonPanel* TopPanel = nullptr;
    TPictureButton* Helpbutton = nullptr;
    TPictureButton* OkButton = nullptr;
    TPictureButton* Cancelbutton = nullptr;
    TPictureButton* ExplorerButton1 = nullptr;
    TPictureButton* CheckFaxClassButton = nullptr;
    TPictureButton* FindModemButton = nullptr;
    QLineEdit* Name = nullptr;
    QLineEdit* FaxNumber = nullptr;
    QLineEdit* DialPrefix = nullptr;
    QLineEdit* ModemInit = nullptr;
    QLineEdit* DialAttempts = nullptr;
    QLineEdit* RetryWait = nullptr;
    QLineEdit* TimeOut = nullptr;
    TRadioGroup* FaxClass = nullptr;
    TRadioGroup* ComPort = nullptr;
    QLineEdit* PortPath = nullptr;
    TRadioGroup* ToneOrPulse = nullptr;
    QCheckBox* CheckBlindDial = nullptr;
    QCheckBox* ReceiveAtStartup = nullptr;
    TRadioGroup* AnswerOnRing = nullptr;
    QLineEdit* WaveFileEdit = nullptr;
    QFileDialog* OpenDialog1 = nullptr;
    TAlignLabel* status = nullptr;
    TStatusLineScope* FStatusScope = nullptr;

    // The window's own port and send component, for Find Modem and Check Fax Class.
    TOrvComPort* OrvComPort1 = nullptr;
    TOrvSendFax* OrvSendFax1 = nullptr;
    std::unique_ptr<TModemDiscovery> FDiscovery;

    bool FFirstRunDue = false;
    bool FActivated = false;
    // The device path of each port as edited here; written back on OK.
    std::array<QString, 6> FPortPaths;
};

}  // namespace orv
