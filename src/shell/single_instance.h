#pragma once
// TSingleInstance: one running copy of Orvane per program folder.
//
// The first copy holds a lock file in ProgramFolder() and listens on a local
// socket. A later start finds the lock taken, asks the running copy to come
// forward (activateRequested() there) and ends before it opens any window or
// table. A lock left behind by a copy that crashed is taken over.
//
//   TSingleInstance guard;
//   if (!guard.acquire()) { guard.activatePrevious(); return 0; }
//   connect(&guard, &TSingleInstance::activateRequested, ...);
#include <QLockFile>
#include <QObject>

class QLocalServer;

namespace orv {

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit TSingleInstance(QObject* parent = nullptr);
    ~TSingleInstance() override;

    // True when this is the only copy: it now holds the lock and listens for
    // later starts. False when another copy runs (alreadyRunning() is then set).
    // When the lock cannot be taken for another reason (a folder that cannot be
    // written, say) this copy runs unguarded rather than not at all.
    bool acquire();
    bool alreadyRunning() const { return FAlreadyRunning; }

    // Asks the running copy to bring its window forward; true when it confirmed.
    bool activatePrevious(int timeoutMs = 3000);

    // The local socket name for a program folder (one per user and folder).
    static QString serverName(const QString& folder);

signals:
    // A later start asked this copy to show its window.
    void activateRequested();

private:
    void onNewConnection();

    QLockFile FLock;
    QLocalServer* FServer = nullptr;
    bool FAlreadyRunning = false;
};

}  // namespace orv
