#include "transmit/modem_discovery.h"

#include "common/orv_error.h"
#include "engine/com_port.h"
#include "engine/fax_components.h"
#include "shell/message_boxes.h"
#include "ui/widgets/radio_group.h"

#include <QApplication>
#include <QLabel>

namespace orv {

namespace {
constexpr int32_t kOneSecond = 18;  // ticks
const QString kNoClassInfo = QStringLiteral("Unable to determine Fax Class support from mdoem");

// The port closes whatever happened; a close that fails has nothing left to tell.
void closeQuietly(TOrvComPort& port) {
    try {
        port.SetOpen(false);
    } catch (const std::exception&) {
    }
}
}  // namespace

TModemDiscovery::TModemDiscovery(const Parts& parts) : p_(parts) {}

void TModemDiscovery::SetStatus(const QString& text) {
    // Painted now rather than by running the event loop: no other handler of
    // the window can start while an operation talks to the modem.
    p_.status->setText(text);
    p_.status->repaint();
}

void TModemDiscovery::selectPort(int n) {
    const QString path = PortPath ? PortPath(n) : QString();
    p_.port->SetDeviceName(path);  // empty: ComNumber's configured path
    p_.port->SetComNumber(uint16_t(n));
}

bool TModemDiscovery::ResetTheDamnedModem() {
    try {
        p_.port->SendText("AT&F\r");
        if (!p_.port->WaitForString("OK", kOneSecond, true, false)) return false;
        p_.port->SendText("ATE0\r");
        return p_.port->WaitForString("OK", kOneSecond, true, false);
    } catch (const std::exception&) {
        return false;
    }
}

QString TModemDiscovery::DetermineFaxClassSupport() {
    FClass1Supported = FClass2Supported = FClass20Supported = false;
    SetStatus(QStringLiteral("Querying modem Fax Class support..."));
    QString result;
    try {
        const TFaxClassSet classes = p_.fax->QueryClassSupport();
        result = QStringLiteral("OK");
        FClass20Supported = classes.Contains(fcClass2_0);
        FClass2Supported = classes.Contains(fcClass2);
        FClass1Supported = classes.Contains(fcClass1);
        if (!FClass1Supported && !FClass2Supported && !FClass20Supported) result = kNoClassInfo;
        SetStatus({});
    } catch (const std::exception&) {
        result = kNoClassInfo;
        SetStatus({});
    }
    return result;
}

void TModemDiscovery::CheckFaxClassButtonClick() {
    SetStatus(QStringLiteral("Opening communications port..."));
    selectPort(p_.comPort->itemIndex() + 1);
    try {
        p_.port->SetOpen(true);
    } catch (const std::exception&) {
        closeQuietly(*p_.port);
        SetStatus({});
        ShowInfo(QStringLiteral("Error opening communications port"));
        return;
    }
    SetStatus(QStringLiteral("Resetting modem..."));
    if (!ResetTheDamnedModem()) {
        closeQuietly(*p_.port);
        SetStatus({});
        ShowInfo(QStringLiteral("Unable to communicate with the modem"));
        return;
    }
    SetStatus({});
    const QString answer = DetermineFaxClassSupport();
    if (answer != QLatin1String("OK")) {
        ShowInfo(answer);
    } else {
        // From the highest class down: the list ends with the recommended one.
        QString message, name;
        int index = -1;
        const QChar cr(u'\r');
        if (FClass20Supported) {
            message = QStringLiteral("Class 2.0 support (recommended)");
            name = QStringLiteral("Class 2.0");
            index = 3;
        }
        if (FClass2Supported) {
            if (message.isEmpty()) {
                message = QStringLiteral("Class 2 support (recommended)");
                name = QStringLiteral("Class 2");
                index = 2;
            } else {
                message = QStringLiteral("Class 2 support") + cr + message;
            }
        }
        if (FClass1Supported) {
            if (message.isEmpty()) {
                message = QStringLiteral("Class 1 support (recommended)");
                name = QStringLiteral("Class 1");
                index = 1;
            } else {
                message = QStringLiteral("Class 1 support") + cr + message;
            }
        }
        if (message.isEmpty())
            message = QStringLiteral("Unable to retrieve Fax Class support") + cr +
                      QStringLiteral("information from the modem.");
        SetStatus({});
        if (index > 0) {
            if (AskYesNo(message + cr + cr + QStringLiteral("Set Fax Class as ") + name + QStringLiteral(" ?"),
                         QStringLiteral("Fax Class")))
                p_.faxClass->setItemIndex(index);
        } else {
            ShowInfo(message);
        }
    }
    SetStatus({});
    closeQuietly(*p_.port);
}

void TModemDiscovery::FindModemButtonClick() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString report;
    int first = 0;
    for (int n = 1; n <= 6; ++n) {
        SetStatus(QStringLiteral("Testing com port ") + QString::number(n));
        QString line = QStringLiteral("Com ") + QString::number(n) + QStringLiteral(": ");
        try {
            selectPort(n);
            p_.port->SetOpen(true);
            p_.port->SendText("AT\r");
            if (p_.port->WaitForString("OK", kOneSecond, true, false)) {
                line += QStringLiteral("MODEM");
                if (first == 0) first = n;
            } else {
                line += QStringLiteral("Unknown");
            }
        } catch (const EOrvException& e) {
            switch (e.code()) {
            case ecHardware:
            case ecAlreadyOpen: line += QStringLiteral("Port is already open (could be modem)"); break;
            case ecBadId: line += QStringLiteral("Port does not exist"); break;
            default: line += ErrorMessage(e.code()); break;
            }
        }
        closeQuietly(*p_.port);
        report = n == 1 ? line : report + QChar(u'\r') + line;
    }
    SetStatus({});
    QApplication::restoreOverrideCursor();
    if (first == 0) {
        ShowInfo(report);
        return;
    }
    const QString n = QString::number(first);
    if (AskYesNo(report + QChar(u'\r') + QChar(u'\r') + QStringLiteral("A modem was found on Com Port ") + n +
                     QStringLiteral(". ") + QStringLiteral("Set Port as Com ") + n + QStringLiteral(" ?"),
                 QStringLiteral("Modem Found!")))
        p_.comPort->setItemIndex(first - 1);
}

}  // namespace orv
