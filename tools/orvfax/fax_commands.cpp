// orvfax send / receive / query: open the port as the fax components do, run
// one session of the fax engine, print its progress on standard error, and
// exit 0 only when the session succeeded.
#include "fax_commands.h"

#include "common/orv_error.h"
#include "engine/com_port.h"
#include "engine/fax_port.h"
#include "engine/fax_receiver.h"
#include "engine/fax_sender.h"
#include "engine/modem_link.h"
#include "images/apf_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>

namespace orv::orvfax {

const char* const kFaxUsage =
    "  orvfax send --port PATH --number N [--class auto|1|2|2.0] [--speed-limit BPS]\n"
    "              [--station ID] [--header TEXT] [--cover FILE] [--attempts N]\n"
    "              [--retry-wait SECONDS] [--verbose] FILE.apf\n"
    "  orvfax receive --port PATH [--rings N] [--dir DIR] [--once] [--class auto|1|2|2.0]\n"
    "                 [--speed-limit BPS] [--station ID] [--verbose]\n"
    "  orvfax query --port PATH [--verbose]\n";

namespace {

std::atomic<bool> interrupted{false};

void onSignal(int) { interrupted = true; }

int usage(const char* problem) {
    std::fprintf(stderr, "orvfax: %s\nusage:\n%s", problem, kFaxUsage);
    return 2;
}

void printError(int code, int hangupCode = 0) {
    QString msg = ErrorMessage(code);
    if (msg.isEmpty()) msg = QStringLiteral("Orvane exception");
    if (hangupCode != 0)
        std::fprintf(stderr, "orvfax: %s (%d), modem hang-up code %d\n", qPrintable(msg), code, hangupCode);
    else
        std::fprintf(stderr, "orvfax: %s (%d)\n", qPrintable(msg), code);
}

struct Options {
    QString port;
    TFaxClass faxClass = fcDetect;
    int speedLimit = 0;  // DesiredBPS; 0: the session's default (9600)
    QByteArray station;
    bool verbose = false;
    QStringList positional;
    QString error;
};

// Reads the options every fax command shares; `more` takes the command's own
// (returns false for an option it does not know).
Options parse(const QStringList& a, const std::function<bool(const QString&, const QString*, int&)>& more) {
    Options o;
    for (int i = 0; i < a.size() && o.error.isEmpty(); ++i) {
        const QString* value = i + 1 < a.size() ? &a[i + 1] : nullptr;
        if (a[i] == "--port" && value) {
            o.port = a[++i];
        } else if (a[i] == "--class" && value) {
            const QString c = a[++i];
            if (c == "auto") o.faxClass = fcDetect;
            else if (c == "1") o.faxClass = fcClass1;
            else if (c == "2") o.faxClass = fcClass2;
            else if (c == "2.0") o.faxClass = fcClass2_0;
            else o.error = "--class takes auto, 1, 2 or 2.0";
        } else if (a[i] == "--speed-limit" && value) {
            const QString v = a[++i];
            bool ok = false;
            o.speedLimit = v.toInt(&ok);
            static const QList<int> rates = {2400, 4800, 7200, 9600, 12000, 14400};
            if (!ok || !rates.contains(o.speedLimit)) o.error = "--speed-limit takes 2400, 4800, 7200, 9600, 12000 or 14400";
        } else if (a[i] == "--station" && value) {
            o.station = a[++i].toLatin1().left(20);
        } else if (a[i] == "--verbose" || a[i] == "-v") {
            o.verbose = true;
        } else if (a[i].startsWith("--")) {
            if (!more(a[i], value, i)) o.error = "unknown option " + a[i];
        } else {
            o.positional << a[i];
        }
    }
    if (o.error.isEmpty() && o.port.isEmpty()) o.error = "--port PATH is needed";
    return o;
}

// The port as the fax components set it up.
bool openPort(TOrvComPort& port, const QString& path) {
    port.SetDeviceName(path);
    ApplyFaxPortSettings(port);
    try {
        port.SetOpen(true);
    } catch (const EOrvException& e) {
        std::fprintf(stderr, "orvfax: %s: %s (%d)\n", qPrintable(path), e.what(), e.code());
        return false;
    }
    return true;
}

void setUpSession(FaxSession& s, const Options& o, int handle) {
    s.port = handle;
    s.faxClass = o.faxClass;
    if (o.speedLimit > 0) s.desiredBps = o.speedLimit;
    s.stationId = o.station;
    if (o.verbose) s.trace = [](const QString& t) { std::fprintf(stderr, "  %s\n", qPrintable(t)); };
}

// Runs the session's events on the main thread and prints them.
class Host : public QObject, public FaxEvents {
public:
    explicit Host(bool sending) : sending_(sending) {}

    QByteArray number;
    QString faxFile, coverFile;
    int finishCode = 0;
    int hangupCode = 0;
    int pages = 0;
    QByteArray remoteId;
    QStringList received;

    void FaxStatus(const FaxProgress& p, bool first, bool last) override {
        QString text = FaxStatusText(p.status);
        if (text.isEmpty()) return;
        if (sending_ && (p.status == fsSendingPage || p.status == fsSendingEop)) {
            text += QStringLiteral(": page %1 of %2, %3 of %4 bytes")
                        .arg(p.pageNumber == 0 ? QStringLiteral("cover") : QString::number(p.pageNumber))
                        .arg(p.pageTotal)
                        .arg(p.bytesDone)
                        .arg(p.pageBytes);
        } else if (!sending_ && p.status == fsGettingPage) {
            text += QStringLiteral(": page %1, %2 bytes").arg(p.pageNumber).arg(p.bytesDone);
        }
        if (text == lastStatus_) return;
        lastStatus_ = text;
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
    void FaxLog(int code, const FaxProgress& p) override {
        switch (code) {
        case logSendOk:
            std::fprintf(stderr, "sent to %s\n", p.remoteId.isEmpty() ? "the remote fax" : p.remoteId.constData());
            break;
        case logReceiveBegin: std::fprintf(stderr, "receiving %s\n", qPrintable(p.faxFile)); break;
        case logReceiveOk:
        case logReceiveFail:
            if (!p.faxFile.isEmpty()) received << p.faxFile;
            std::fprintf(stderr, "%s %s\n", code == logReceiveOk ? "received" : "partly received",
                         qPrintable(p.faxFile));
            break;
        case logReceiveSkip: std::fprintf(stderr, "call refused\n"); break;
        default: break;
        }
        pages = std::max(pages, p.pageNumber);
        remoteId = p.remoteId;
    }
    void FaxError(int code, const FaxProgress& p) override {
        if (code != ecCancelRequested || !interrupted) printError(code, p.hangupCode);
    }
    void FaxFinish(int code, const FaxProgress& p) override {
        finishCode = code;
        hangupCode = p.hangupCode;
        QCoreApplication::exit(0);
    }
    bool FaxNext(QByteArray& phone, QString& fax, QString& cover) override {
        if (!sending_ || handedOut_) return false;
        handedOut_ = true;
        phone = number;
        fax = faxFile;
        cover = coverFile;
        return true;
    }

private:
    bool sending_;
    bool handedOut_ = false;
    QString lastStatus_;
};

// Runs a machine until it finishes; Ctrl+C aborts it. The port's going away
// ends it too.
int run(FaxMachine& machine, TOrvComPort& port) {
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    const int user = port.AddPortUser([&machine](TOrvCustomComPort&, unsigned msg) {
        if (msg == kMsgPortClosing) machine.PortClosing();
    });
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&machine] {
        if (interrupted.exchange(false)) machine.Abort();
    });
    watch.start(100);
    const int rc = machine.Start();
    if (rc == ecOK || machine.Running()) QCoreApplication::exec();
    else QCoreApplication::processEvents();  // the finish call of a session that never ran
    watch.stop();
    port.RemovePortUser(user);
    return rc;
}

}  // namespace

int sendCommand(const QStringList& args) {
    QByteArray number, header;
    QString cover;
    int attempts = 1, retryWait = 60;
    bool ok = true;
    const Options o = parse(args, [&](const QString& opt, const QString* value, int& i) {
        if (!value) return false;
        if (opt == "--number") number = value->toLatin1();
        else if (opt == "--header") header = value->toUtf8();
        else if (opt == "--cover") cover = *value;
        else if (opt == "--attempts") attempts = value->toInt(&ok);
        else if (opt == "--retry-wait") retryWait = value->toInt(&ok);
        else return false;
        ++i;
        return true;
    });
    if (!o.error.isEmpty()) return usage(qPrintable(o.error));
    if (!ok || attempts < 0 || retryWait < 0) return usage("--attempts and --retry-wait take whole numbers");
    if (number.isEmpty()) return usage("--number N is needed");
    if (o.positional.size() > 1) return usage("send takes one FILE.apf");
    if (o.positional.isEmpty() && cover.isEmpty()) return usage("send needs FILE.apf (or --cover FILE)");

    TOrvComPort port;
    if (!openPort(port, o.port)) return 1;
    FaxSendSession s;
    setUpSession(s, o, port.PortHandle());
    s.headerLine = QString::fromUtf8(header);
    s.dialAttempts = attempts;
    s.dialRetryWait = SecsToTicks(retryWait);
    Host host(true);
    host.number = number;
    host.faxFile = o.positional.value(0);
    host.coverFile = cover;
    QueuedFaxEvents events(&host, host);
    FaxSender sender(s, events);
    run(sender, port);
    if (host.finishCode != 0) {
        printError(host.finishCode, host.hangupCode);
        return 1;
    }
    std::fprintf(stderr, "orvfax: sent %s to %s\n", qPrintable(host.faxFile.isEmpty() ? cover : host.faxFile),
                 number.constData());
    return 0;
}

int receiveCommand(const QStringList& args) {
    int rings = 1;
    QString dir = QStringLiteral(".");
    bool once = false, ok = true;
    const Options o = parse(args, [&](const QString& opt, const QString* value, int& i) {
        if (opt == "--once") {
            once = true;
            return true;
        }
        if (!value) return false;
        if (opt == "--rings") rings = value->toInt(&ok);
        else if (opt == "--dir") dir = *value;
        else return false;
        ++i;
        return true;
    });
    if (!o.error.isEmpty()) return usage(qPrintable(o.error));
    if (!ok || rings < 1) return usage("--rings takes a number from 1");
    if (!o.positional.isEmpty()) return usage("receive takes no file names");
    if (!QDir(dir).exists()) {
        printError(ecPathNotFound);
        return 1;
    }

    TOrvComPort port;
    if (!openPort(port, o.port)) return 1;
    FaxReceiveSession s;
    setUpSession(s, o, port.PortHandle());
    s.answerOnRing = rings;
    s.destinationDir = dir;
    s.oneFax = once;
    if (once) s.options |= foExitOnError;  // one call, whatever its outcome
    Host host(false);
    QueuedFaxEvents events(&host, host);
    FaxReceiver receiver(s, events);
    run(receiver, port);
    for (const QString& f : host.received) std::printf("%s\n", qPrintable(f));
    if (host.finishCode == ecCancelRequested && !once) return 0;  // stopped by the user
    if (host.finishCode != 0) {
        printError(host.finishCode, host.hangupCode);
        return 1;
    }
    return 0;
}

int queryCommand(const QStringList& args) {
    const Options o = parse(args, [](const QString&, const QString*, int&) { return false; });
    if (!o.error.isEmpty()) return usage(qPrintable(o.error));
    if (!o.positional.isEmpty()) return usage("query takes no file names");
    TOrvComPort port;
    if (!openPort(port, o.port)) return 1;
    FaxSession s;
    setUpSession(s, o, port.PortHandle());
    const FaxClassSupport c = QueryFaxClasses(s, true);
    if (!c.any()) {
        printError(ecFaxBadModemResult);
        return 1;
    }
    std::printf("Class 1: %s\nClass 2: %s\nClass 2.0: %s\n", c.class1 ? "yes" : "no", c.class2 ? "yes" : "no",
                c.class2_0 ? "yes" : "no");
    return 0;
}

}  // namespace orv::orvfax
