// orvfax send / receive / query: the fax components on a port of their own,
// as the program's windows use them: one session, its progress on standard
// error, optionally the fax history file, exit 0 only when it succeeded.
#include "fax_commands.h"

#include "common/orv_error.h"
#include "engine/com_port.h"
#include "engine/fax_port.h"
#include "engine/fax_components.h"
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
    "  orvfax send --port PATH --number N [--class auto|2|2.0] [--station ID] [--header TEXT]\n"
    "              [--cover FILE] [--attempts N] [--retry-wait SECONDS] [--history FILE] [--verbose] FILE.apf\n"
    "  orvfax receive --port PATH [--rings N] [--dir DIR] [--once] [--class auto|2|2.0]\n"
    "                 [--station ID] [--history FILE] [--verbose]\n"
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
            else if (c == "2") o.faxClass = fcClass2;
            else if (c == "2.0") o.faxClass = fcClass2_0;
            else o.error = "--class takes auto, 2 or 2.0";
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
    s.stationId = o.station;
    if (o.verbose) s.trace = [](const QString& t) { std::fprintf(stderr, "  %s\n", qPrintable(t)); };
}

// Prints a component's progress and remembers its outcome; Ctrl+C aborts it.
struct Watch {
    explicit Watch(TOrvCustomAbstractFax& fax, bool sending) : sending(sending) {
        fax.OnFaxStatus = [this](TOrvCustomAbstractFax& cp, bool, bool) { status(cp); };
        fax.OnFaxLog = [this](TOrvCustomAbstractFax& cp, TFaxLogCode code) { log(cp, code); };
        fax.OnFaxError = [](TOrvCustomAbstractFax& cp, int code) {
            if (code != ecCancelRequested || !interrupted) printError(code, cp.ModemHangupCode());
        };
        fax.OnFaxFinish = [this](TOrvCustomAbstractFax& cp, int code) {
            finished = true;
            finishCode = code;
            hangupCode = cp.ModemHangupCode();
            QCoreApplication::exit(0);
        };
    }

    void status(TOrvCustomAbstractFax& cp) {
        const int code = cp.ProgressCode();
        QString text = TOrvCustomAbstractFax::ProgressText(code);
        if (text.isEmpty()) return;
        if (sending && (code == fsSendingPage || code == fsSendingEop)) {
            text += QStringLiteral(": page %1 of %2, %3 of %4 bytes")
                        .arg(cp.PageNumber() == 0 ? QStringLiteral("cover") : QString::number(cp.PageNumber()))
                        .arg(cp.PageTotal())
                        .arg(cp.BytesDone())
                        .arg(cp.PageBytes());
        } else if (!sending && code == fsGettingPage) {
            text += QStringLiteral(": page %1, %2 bytes").arg(cp.PageNumber()).arg(cp.BytesDone());
        }
        if (text == lastStatus) return;
        lastStatus = text;
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }

    void log(TOrvCustomAbstractFax& cp, int code) {
        switch (code) {
        case logSendOk: {
            const QString remote = cp.RemoteStationID();
            std::fprintf(stderr, "sent to %s\n", remote.isEmpty() ? "the remote fax" : qPrintable(remote));
            break;
        }
        case logReceiveBegin: std::fprintf(stderr, "receiving %s\n", qPrintable(cp.FaxFile())); break;
        case logReceiveOk:
        case logReceiveFail:
            if (!cp.FaxFile().isEmpty()) received << cp.FaxFile();
            std::fprintf(stderr, "%s %s\n", code == logReceiveOk ? "received" : "partly received",
                         qPrintable(cp.FaxFile()));
            break;
        case logReceiveSkip: std::fprintf(stderr, "call refused\n"); break;
        default: break;
        }
    }

    // Runs the event loop until the session finished.
    void run(TOrvCustomAbstractFax& fax) {
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&fax] {
            if (interrupted.exchange(false)) fax.AbortSession();
        });
        poll.start(100);
        if (!finished) QCoreApplication::exec();
        poll.stop();
    }

    bool sending;
    bool finished = false;
    int finishCode = 0;
    int hangupCode = 0;
    QStringList received;
    QString lastStatus;
};

// The window's parts: a port on the device, the history log, and the fax component.
struct Form {
    QObject owner;
    TOrvComPort* port = new TOrvComPort(&owner);
    TOrvFaxLog* log = new TOrvFaxLog(&owner);

    Form(const QString& path, const QString& history) {
        port->SetDeviceName(path);
        log->SetFaxHistoryName(history);  // empty: no history
    }
};

void setUp(TOrvCustomAbstractFax& fax, const Options& o) {
    fax.SetFaxClass(o.faxClass);
    fax.SetStationID(QString::fromLatin1(o.station));
    if (o.verbose) fax.Trace = [](const QString& t) { std::fprintf(stderr, "  %s\n", qPrintable(t)); };
}

// Starts the session (the port check raises); false with the error printed.
template <class F>
bool begin(const QString& path, F start) {
    try {
        start();
    } catch (const EOrvException& e) {
        std::fprintf(stderr, "orvfax: %s: %s (%d)\n", qPrintable(path), e.what(), e.code());
        return false;
    }
    return true;
}

}  // namespace

int sendCommand(const QStringList& args) {
    QByteArray number, header;
    QString cover, history;
    int attempts = 1, retryWait = 60;
    bool ok = true;
    const Options o = parse(args, [&](const QString& opt, const QString* value, int& i) {
        if (!value) return false;
        if (opt == "--number") number = value->toLatin1();
        else if (opt == "--header") header = value->toUtf8();
        else if (opt == "--cover") cover = *value;
        else if (opt == "--attempts") attempts = value->toInt(&ok);
        else if (opt == "--retry-wait") retryWait = value->toInt(&ok);
        else if (opt == "--history") history = *value;
        else return false;
        ++i;
        return true;
    });
    if (!o.error.isEmpty()) return usage(qPrintable(o.error));
    if (!ok || attempts < 0 || retryWait < 0 || attempts > 65535 || retryWait > 65535)
        return usage("--attempts and --retry-wait take whole numbers");
    if (number.isEmpty()) return usage("--number N is needed");
    if (o.positional.size() > 1) return usage("send takes one FILE.apf");
    if (o.positional.isEmpty() && cover.isEmpty()) return usage("send needs FILE.apf (or --cover FILE)");

    Form form(o.port, history);
    TOrvSendFax fax(&form.owner);
    setUp(fax, o);
    fax.SetHeaderLine(QString::fromUtf8(header));
    fax.SetDialAttempts(uint16_t(attempts));
    fax.SetDialRetryWait(uint16_t(retryWait));
    fax.SetPhoneNumber(QString::fromLatin1(number));
    fax.SetFaxFile(o.positional.value(0));
    fax.SetCoverFile(cover);
    Watch watch(fax, true);
    if (!begin(o.port, [&] {
            form.port->SetOpen(true);
            fax.BeginSend();
        }))
        return 1;
    watch.run(fax);
    if (watch.finishCode != 0) {
        printError(watch.finishCode, watch.hangupCode);
        return 1;
    }
    std::fprintf(stderr, "orvfax: sent %s to %s\n", qPrintable(o.positional.isEmpty() ? cover : o.positional[0]),
                 number.constData());
    return 0;
}

int receiveCommand(const QStringList& args) {
    int rings = 1;
    QString dir = QStringLiteral("."), history;
    bool once = false, ok = true;
    const Options o = parse(args, [&](const QString& opt, const QString* value, int& i) {
        if (opt == "--once") {
            once = true;
            return true;
        }
        if (!value) return false;
        if (opt == "--rings") rings = value->toInt(&ok);
        else if (opt == "--dir") dir = *value;
        else if (opt == "--history") history = *value;
        else return false;
        ++i;
        return true;
    });
    if (!o.error.isEmpty()) return usage(qPrintable(o.error));
    if (!ok || rings < 1 || rings > 65535) return usage("--rings takes a number from 1");
    if (!o.positional.isEmpty()) return usage("receive takes no file names");
    if (!QDir(dir).exists()) {
        printError(ecPathNotFound);
        return 1;
    }

    Form form(o.port, history);
    TOrvReceiveFax fax(&form.owner);
    setUp(fax, o);
    fax.SetAnswerOnRing(uint16_t(rings));
    fax.SetDestinationDir(dir);
    fax.SetOneFax(once);
    fax.SetExitOnError(once);  // one call, whatever its outcome
    Watch watch(fax, false);
    if (!begin(o.port, [&] {
            form.port->SetOpen(true);
            fax.BeginReceive();
        }))
        return 1;
    watch.run(fax);
    for (const QString& f : watch.received) std::printf("%s\n", qPrintable(f));
    if (watch.finishCode == ecCancelRequested && !once) return 0;  // stopped by the user
    if (watch.finishCode != 0) {
        printError(watch.finishCode, watch.hangupCode);
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
