#include "shell/single_instance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <unistd.h>

#include "config/program_folder.h"

namespace orv {
namespace {

const QByteArray kActivate = "ACTIVATE\n";
const QByteArray kDone = "OK\n";

}  // namespace

TSingleInstance::TSingleInstance(QObject* parent)
    : QObject(parent), FLock(ProgramFolder() + QStringLiteral("orvane.lock")) {
    // Only a dead owner makes the lock stale, never its age: a copy may run for weeks.
    FLock.setStaleLockTime(0);
}

TSingleInstance::~TSingleInstance() = default;

QString TSingleInstance::serverName(const QString& folder) {
    const QByteArray key = folder.toUtf8() + '\0' + QByteArray::number(getuid());
    return QStringLiteral("orvane-") +
           QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16));
}

bool TSingleInstance::acquire() {
    if (!FLock.tryLock(0)) {
        if (FLock.error() == QLockFile::LockFailedError) {
            FAlreadyRunning = true;
            return false;
        }
        qWarning("Orvane: cannot create %s; running without the single-instance guard",
                 qPrintable(ProgramFolder() + QStringLiteral("orvane.lock")));
        return true;
    }
    const QString name = serverName(ProgramFolder());
    // We hold the lock, so a socket of that name is a crashed copy's leftover.
    QLocalServer::removeServer(name);
    FServer = new QLocalServer(this);
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    connect(FServer, &QLocalServer::newConnection, this, &TSingleInstance::onNewConnection);
    if (!FServer->listen(name))
        qWarning("Orvane: a later start cannot reach this copy: %s", qPrintable(FServer->errorString()));
    return true;
}

void TSingleInstance::onNewConnection() {
    while (QLocalSocket* socket = FServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            // Anything but the one short request is ignored; a client that
            // sends endless data is cut off.
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > 64) socket->abort();
                return;
            }
            const QByteArray line = socket->readLine(64);
            if (line == kActivate) {
                socket->write(kDone);
                socket->flush();
                emit activateRequested();
            }
            socket->disconnectFromServer();
        });
    }
}

bool TSingleInstance::activatePrevious(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    const QString name = serverName(ProgramFolder());
    // The running copy may have taken the lock a moment ago and not be
    // listening yet: try again until the deadline.
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (socket.waitForConnected(int(std::max<qint64>(1, deadline.remainingTime())))) {
            socket.write(kActivate);
            if (!socket.waitForBytesWritten(int(std::max<qint64>(1, deadline.remainingTime())))) return false;
            while (!socket.canReadLine() && socket.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())))) {
            }
            return socket.readLine(16) == kDone;
        }
        QThread::msleep(50);
    }
    return false;
}

}  // namespace orv
