#pragma once
// Runs tools/modemsim for a test: fax modems on pseudo-terminals in a
// temporary folder, with the spandsp fax terminal as the far end. The test
// opens port(n) like a serial port (or hands it to a fax program), drives the
// terminal through command(), and finds what the terminal received in
// receivedFiles().
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace orv::test {

class ModemSimRunner {
public:
    struct Config {
        int ports = 1;            // modems: port(1) .. port(ports), dialled as 1001, 1002, ...
        double speed = 8;         // line time runs this many times faster than real time
        QString sendFile;         // TIFF the terminal sends when it calls (or "call N FILE")
        QStringList extraArgs;    // e.g. {"--fault", "busy", "--classes", "2"}
        bool trace = true;        // AT traffic and events in traceLog()
        QStringList portPaths;    // links at these paths instead of in folder()
    };

    ModemSimRunner();
    ~ModemSimRunner();  // stops modemsim (SIGTERM) and removes the folder
    ModemSimRunner(const ModemSimRunner&) = delete;
    ModemSimRunner& operator=(const ModemSimRunner&) = delete;

    // Starts modemsim and waits until its ports are ready.
    bool start(const Config& config, QString* error = nullptr);
    // Stops modemsim with SIGTERM; true when it exited cleanly.
    bool stop();

    QString port(int n) const;     // path of modem n's link (1-based)
    QString folder() const;        // the temporary folder (received faxes land here)
    QString file(const QString& name) const { return folder() + "/" + name; }

    // Sends a control command ("call 1", "fault busy", "unplug 1", "quit").
    void command(const QString& line);
    // Waits for an event line starting with `prefix` that arrived after
    // `from` events; returns it (or an empty string on timeout).
    QString waitForEvent(const QString& prefix, int timeoutMs, int from = 0);
    QStringList events() const { return events_; }
    // Files named in RECEIVED events, in order.
    QStringList receivedFiles() const;
    // modemsim's trace (its standard error).
    QString traceLog() const;

private:
    void readEvents();

    QTemporaryDir dir_;
    QProcess process_;
    int ports_ = 0;
    QStringList portPaths_;
    QString partial_;
    QStringList events_;
};

}  // namespace orv::test
