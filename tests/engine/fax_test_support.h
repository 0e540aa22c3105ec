#pragma once
// Helpers for the fax machine tests: a port on a scripted modem with a manual
// tick clock, a FaxEvents that records everything, and small APF files.
#include "engine/dispatcher.h"
#include "engine/fax_events.h"
#include "engine/fax_session.h"
#include "engine/scripted_modem.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace orv::test {

// Records every event (called on the port's I/O thread, or the test's thread
// during Start) and answers the machine's questions from its settings.
class RecordingEvents : public FaxEvents {
public:
    struct Status {
        int code;
        bool first, last;
    };
    struct Fax {
        QByteArray number;
        QString faxFile, coverFile;
    };

    // ---- answers ----
    QList<Fax> queue;              // FaxNext hands these out in turn
    bool accept = true;
    QString name;                  // FaxName's answer

    void FaxStatus(const FaxProgress& p, bool first, bool last) override;
    void FaxLog(int logCode, const FaxProgress& p) override;
    void FaxError(int errorCode, const FaxProgress& p) override;
    void FaxFinish(int errorCode, const FaxProgress& p) override;
    bool FaxNext(QByteArray& phoneNumber, QString& faxFile, QString& coverFile) override;
    bool FaxAccept(const FaxProgress& p) override;
    QString FaxName(const FaxProgress& p) override;

    bool waitFinish(int timeoutMs = 20000);
    int finishCode() const;
    QList<int> logs() const;
    QList<int> errors() const;
    QList<Status> statuses() const;
    QList<int> statusCodes() const;
    FaxProgress lastProgress() const;
    int nextCalls() const;
    // Every call after Start came from one thread, the port's.
    bool allOnPortThread() const;
    int port = 0;

private:
    void note(const FaxProgress& p);
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool finished_ = false;
    int finishCode_ = 1;
    QList<int> logs_, errors_;
    QList<Status> statuses_;
    FaxProgress last_;
    int nextCalls_ = 0;
    bool offThread_ = false;
};

// A port opened on a scripted modem, with a manual clock and instant delays.
struct MachinePort {
    ScriptedModem modem;
    std::shared_ptr<ManualTickClock> clock = std::make_shared<ManualTickClock>(1000000);
    int handle = 0;

    MachinePort();
    ~MachinePort();
    void prepare(FaxSession& s);   // port, instant delays, a trace into the test log
    // Advances the clock and lets the port's timers fire.
    void advanceTicks(uint32_t ticks);
};

// The two init steps of a session whose class is given: the default init string.
void expectInit(ScriptedModem& m);
// Class detection (with reset) and the default init string: what a session
// with fcDetect sends first.
void expectDetection(ScriptedModem& m, const QByteArray& classes);

// A one-or-more page APF file of line records from raster pages (1 = black).
// Each page is `lines` lines of 1728 pixels with a pattern from its number.
QString makeApf(const QString& path, int pages, int lines, bool fine, bool dlePattern = false);
// The image data of a page.
QByteArray apfPageData(const QString& path, int page);
// Removes DLE doubling.
QByteArray undoubleDle(const QByteArray& bytes);

}  // namespace orv::test
