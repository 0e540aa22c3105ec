#pragma once
// A fax modem that follows a script, on the master side of a pseudo-terminal:
// the fax machine under test opens path() as its port. Each step waits for
// what the host sends (a command line, a page of data, a control byte) and
// answers, or says something on its own (RING, received page data). Steps run
// in order on the modem's own thread; the first surprise is kept in
// mismatch(). After the last step every further command is answered "OK".
#include "engine/pty_pair.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace orv::test {

class ScriptedModem {
public:
    ScriptedModem();
    ~ScriptedModem();
    ScriptedModem(const ScriptedModem&) = delete;
    ScriptedModem& operator=(const ScriptedModem&) = delete;

    QString path() const { return pty_.slavePath(); }

    // The next command line must start with `command`; the modem answers `reply`.
    ScriptedModem& expect(const QByteArray& command, const QByteArray& reply = "\r\nOK\r\n");
    // The host sends page data up to DLE ETX or DLE and ",", "." or ";"; then `reply`.
    ScriptedModem& data(const QByteArray& reply = {});
    // The modem sends bytes on its own.
    ScriptedModem& say(const QByteArray& bytes);
    // The modem waits for a control byte from the host (DC2 before page data).
    ScriptedModem& waitByte(char byte);
    // The modem stops here until the test calls release(id).
    ScriptedModem& gate(int id);
    // The modem goes away (its side of the line is closed).
    ScriptedModem& vanish();

    void start();
    void release(int id);
    bool atGate(int id) const;
    // Waits until every step ran (or a mismatch stopped the script).
    bool waitDone(int timeoutMs = 20000);

    QList<QByteArray> commands() const;   // every command line received, "+++" on its own
    QList<QByteArray> pages() const;      // page data received, DLE doubling removed
    QList<QByteArray> rawPages() const;   // page data as sent
    QByteArray pageEnds() const;          // the character after the DLE that ended each page
    QString mismatch() const;

private:
    struct Step {
        enum Kind { Expect, Data, Say, WaitByte, Gate, Vanish } kind;
        QByteArray text;
        QByteArray reply;
        int id = 0;
    };
    void run();
    bool fill(int timeoutMs);             // reads what the host sent into inbox_
    bool nextCommand(QByteArray* cmd);    // a command line from inbox_ (waits)
    bool nextPage(QByteArray* raw, QByteArray* page, char* end);
    void fail(const QString& why);
    void send(const QByteArray& bytes);

    PtyPair pty_;
    std::vector<Step> steps_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    QByteArray inbox_;
    QByteArray controls_;                 // control bytes seen outside commands
    QList<QByteArray> commands_, pages_, rawPages_;
    QByteArray pageEnds_;
    QString mismatch_;
    bool done_ = false;
    int atGate_ = 0;
    QList<int> released_;
};

}  // namespace orv::test
