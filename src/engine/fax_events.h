#pragma once
// What a running fax machine tells its host, and asks it.
//
// FaxEvents is the host's side: a machine calls it on the port's I/O thread.
// A host that lives on the GUI thread (the fax components, the send window,
// receive mode) wraps itself in QueuedFaxEvents, which hands every call to
// the host's thread and waits at most one second for it (log, error and
// finish calls are only posted, so they are never lost), so the host's handlers always run on its own thread and a busy
// window never holds a fax machine for long.
//
// Every call carries a FaxProgress snapshot taken on the I/O thread, so a host
// never reads the session record while the machine changes it.
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

namespace orv {

struct FaxProgress {
    int status = 0;            // FaxStatusCode
    int error = 0;             // last error, 0 = none
    QByteArray remoteId;
    int bps = 0;               // ConnectBPS
    bool fine = false, wide = false, ecm = false;
    int hangupCode = 0;
    int dialAttempt = 0;       // attempts made + 1 (send)
    int pageTotal = 0;         // pages of the fax file (send)
    int pageNumber = 0;        // current page; 0 while a cover is sent (send) / page being received
    qint64 pageBytes = 0;      // image bytes of the page (send)
    qint64 bytesDone = 0;      // bytes handed on (send: minus those still queued) / stored (receive)
    QString faxFile;           // the file being sent or received
    QByteArray phoneNumber;
};

class FaxEvents {
public:
    virtual ~FaxEvents() = default;
    // Status report; first/last bracket a session's (or a call's) reports.
    virtual void FaxStatus(const FaxProgress& p, bool first, bool last) {}
    virtual void FaxLog(int logCode, const FaxProgress& p) {}   // TFaxLogCode
    virtual void FaxError(int errorCode, const FaxProgress& p) {}
    // The session is over; errorCode 0 on success. The machine has returned
    // from its last step when this arrives through QueuedFaxEvents.
    virtual void FaxFinish(int errorCode, const FaxProgress& p) {}
    // Send: the next fax of the queue; false (or an empty number) ends it.
    virtual bool FaxNext(QByteArray& phoneNumber, QString& faxFile, QString& coverFile) { return false; }
    // Send: why the last FaxNext gave no fax when that was not the host's
    // answer: 0 when the host said so, -6006 when it did not answer in time
    // (the machine then ends the session with that error instead of taking
    // it for an empty queue).
    virtual int FaxNextFailure() const { return 0; }
    // Receive: accept a call from remoteId?
    virtual bool FaxAccept(const FaxProgress& p) { return true; }
    // Receive: the file to receive into; empty lets the engine name it.
    virtual QString FaxName(const FaxProgress& p) { return {}; }
};

// Runs each call of the machine on `receiver`'s thread: a blocking queued call
// that gives up after timeoutMs (then the defaults hold: the status report is
// dropped, the call accepted, the engine names the file; a next fax not given
// in time is error -6006), the log, error and finish calls posted. Calls made
// on the receiver's own thread run at once.
class QueuedFaxEvents : public FaxEvents {
public:
    QueuedFaxEvents(QObject* receiver, FaxEvents& target, int timeoutMs = 1000);

    void FaxStatus(const FaxProgress& p, bool first, bool last) override;
    void FaxLog(int logCode, const FaxProgress& p) override;
    void FaxError(int errorCode, const FaxProgress& p) override;
    void FaxFinish(int errorCode, const FaxProgress& p) override;
    bool FaxNext(QByteArray& phoneNumber, QString& faxFile, QString& coverFile) override;
    int FaxNextFailure() const override { return nextFailure_; }
    bool FaxAccept(const FaxProgress& p) override;
    QString FaxName(const FaxProgress& p) override;

private:
    // Runs fn on the receiver's thread; true when it ran within the time-out.
    bool call(std::function<void()> fn);
    // Hands fn to the receiver's thread without waiting (at once on that thread).
    void post(std::function<void()> fn);

    QPointer<QObject> receiver_;
    FaxEvents& target_;
    int timeoutMs_;
    int nextFailure_ = 0;
};

}  // namespace orv
