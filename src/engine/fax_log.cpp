#include "engine/fax_log.h"

#include "common/cp1252.h"
#include "common/orv_error.h"
#include "engine/fax_components.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace orv {

QString FaxHistoryDateTime(const QDateTime& when, const QLocale& locale) {
    // The long time format without its time zone: the history always showed
    // hours, minutes and seconds alone.
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*\\bt+\\b\\s*"));
    timeFormat.replace(zone, QStringLiteral(" "));
    timeFormat = timeFormat.trimmed();
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(), timeFormat);
}

QByteArray FaxHistoryRecord(const TOrvCustomAbstractFax& fax, int logCode, const QString& dt) {
    const auto* send = qobject_cast<const TOrvCustomSendFax*>(&fax);
    const bool receive = qobject_cast<const TOrvCustomReceiveFax*>(&fax) != nullptr;
    const QString crlf = QStringLiteral("\r\n");
    const QString hangup = QString::number(fax.ModemHangupCode());
    const QString errorText = ErrorMessage(fax.LastError()).left(80);
    QString text;
    switch (logCode) {
    case logSendBegin:
        if (!send) return {};
        text = "Transmit " + fax.FaxFile() + " to " + send->PhoneNumber() + " started at " + dt;
        break;
    case logSendOk:
        if (!send) return {};
        text = "Transmit to " + fax.RemoteStationID() + " finished OK at " + dt + " " + hangup + crlf;
        break;
    case logSendFail:
        if (!send) return {};
        text = "Transmit failed at " + dt + crlf + "  (" + errorText + ") " + hangup + crlf;
        break;
    case logReceiveBegin:
        if (!receive) return {};
        text = "Receive " + fax.FaxFile() + " from " + fax.RemoteStationID() + " started at " + dt;
        break;
    case logReceiveOk:
        if (!receive) return {};
        text = "Receive finished OK at " + dt + crlf;
        break;
    case logReceiveSkip:
        if (!receive) return {};
        text = "Receive skipped at " + dt + crlf;
        break;
    case logReceiveFail:
        if (!receive) return {};
        text = "Receive failed at " + dt + crlf + "  (" + errorText + ")" + crlf;
        break;
    default: return {};
    }
    return toCp1252(text + crlf);
}

int AppendFaxHistory(const QString& path, const QByteArray& record) {
    const QByteArray name = QFile::encodeName(path);
    int fd;
    do fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return errno == ENOENT ? ecPathNotFound : errno == EACCES || errno == EPERM ? ecAccessDenied : -errno;
    ssize_t n;
    do n = ::write(fd, record.constData(), size_t(record.size()));
    while (n < 0 && errno == EINTR);
    int rc = ecOK;
    if (n < 0) rc = errno == ENOSPC ? ecDiskFull : ecDiskWrite;
    else if (n != record.size()) rc = ecDiskFull;  // a short write: the disk is full
    if (::close(fd) != 0 && rc == ecOK) rc = ecDiskWrite;
    return rc;
}

TOrvFaxLog::TOrvFaxLog(QObject* owner) : QObject(owner) {
    if (!owner) return;
    for (auto* fax : owner->findChildren<TOrvCustomAbstractFax*>())
        if (!fax->FaxLog()) {
            fax->SetFaxLog(this);
            break;
        }
}

TOrvCustomAbstractFax* TOrvFaxLog::Fax() const { return static_cast<TOrvCustomAbstractFax*>(fax_.data()); }

void TOrvFaxLog::SetFax(TOrvCustomAbstractFax* fax) { fax_ = fax; }

void TOrvFaxLog::UpdateLog(TFaxLogCode LogCode) {
    if (historyName_.isEmpty() || !fax_) return;
    const QByteArray record = FaxHistoryRecord(*Fax(), LogCode, FaxHistoryDateTime(QDateTime::currentDateTime(), QLocale()));
    if (record.isEmpty()) return;
    if (const int rc = AppendFaxHistory(historyName_, record); rc < 0)
        throw EInOutError(rc, historyName_ + ": " + ErrorMessage(rc));
}

}  // namespace orv
