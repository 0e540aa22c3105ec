#pragma once
// Finding the fax modem's port and the fax classes it offers: the four
// operations the Preferences window and the send window share.
//
//   TModemDiscovery discovery({this, ComPort, FaxClass, OrvComPort1, OrvSendFax1, status});
//   discovery.PortPath = [this](int n) { return FPortPaths[n - 1]; };   // optional
//   connect(FindModemButton, &QAbstractButton::clicked, [&] { discovery.FindModemButtonClick(); });
//
// The operations work on the window's own port and send component and never
// touch the settings: their results go into the window's port and fax-class
// groups, which the window's owner saves.
#include <QString>
#include <functional>

class QLabel;
class QWidget;

namespace orv {

class TOrvComPort;
class TOrvSendFax;
class TRadioGroup;

class TModemDiscovery {
public:
    struct Parts {
        QWidget* window;
        TRadioGroup* comPort;    // "Com1" .. "Com6"
        TRadioGroup* faxClass;   // "auto detect", "class 1", "class 2", "class 2.0"
        TOrvComPort* port;       // the window's port (not opened by itself)
        TOrvSendFax* fax;        // linked to port
        QLabel* status;          // the window's status line
    };
    explicit TModemDiscovery(const Parts& parts);

    // The device of port n (1..6); unset: the port's configured path.
    std::function<QString(int n)> PortPath;

    // "AT&F" and "ATE0", each answered by "OK" within a second. Needs an open port.
    bool ResetTheDamnedModem();
    // "OK", or the message why not; sets the three flags. Needs an open port.
    QString DetermineFaxClassSupport();
    void CheckFaxClassButtonClick();
    void FindModemButtonClick();
    // Shows text in the status line at once.
    void SetStatus(const QString& text);

    bool FClass1Supported = false;
    bool FClass2Supported = false;
    bool FClass20Supported = false;

private:
    void selectPort(int n);

    Parts p_;
};

}  // namespace orv
