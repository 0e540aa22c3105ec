#include "engine/fax_test_support.h"

#include "images/apf_file.h"
#include "images/mh_encoder.h"

#include <QElapsedTimer>
#include <QThread>
#include <cstdio>
#include <vector>

namespace orv::test {

// ---- RecordingEvents -----------------------------------------------------------------------

void RecordingEvents::note(const FaxProgress& p) {
    last_ = p;
    if (port > 0 && !OnPortThread(port)) offThread_ = true;
}

void RecordingEvents::FaxStatus(const FaxProgress& p, bool first, bool last) {
    std::lock_guard lock(mutex_);
    statuses_ << Status{p.status, first, last};
    note(p);
}

void RecordingEvents::FaxLog(int logCode, const FaxProgress& p) {
    std::lock_guard lock(mutex_);
    logs_ << logCode;
    note(p);
}

void RecordingEvents::FaxError(int errorCode, const FaxProgress& p) {
    std::lock_guard lock(mutex_);
    errors_ << errorCode;
    note(p);
}

void RecordingEvents::FaxFinish(int errorCode, const FaxProgress& p) {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
        finishCode_ = errorCode;
        note(p);
    }
    cv_.notify_all();
}

bool RecordingEvents::FaxNext(QByteArray& phoneNumber, QString& faxFile, QString& coverFile) {
    std::lock_guard lock(mutex_);
    ++nextCalls_;
    if (port > 0 && !OnPortThread(port)) offThread_ = true;
    if (queue.isEmpty()) return false;
    const Fax f = queue.takeFirst();
    phoneNumber = f.number;
    faxFile = f.faxFile;
    coverFile = f.coverFile;
    return true;
}

bool RecordingEvents::FaxAccept(const FaxProgress& p) {
    std::lock_guard lock(mutex_);
    note(p);
    return accept;
}

QString RecordingEvents::FaxName(const FaxProgress& p) {
    std::lock_guard lock(mutex_);
    note(p);
    return name;
}

bool RecordingEvents::waitFinish(int timeoutMs) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return finished_; });
}

int RecordingEvents::finishCode() const {
    std::lock_guard lock(mutex_);
    return finishCode_;
}

QList<int> RecordingEvents::logs() const {
    std::lock_guard lock(mutex_);
    return logs_;
}

QList<int> RecordingEvents::errors() const {
    std::lock_guard lock(mutex_);
    return errors_;
}

QList<RecordingEvents::Status> RecordingEvents::statuses() const {
    std::lock_guard lock(mutex_);
    return statuses_;
}

QList<int> RecordingEvents::statusCodes() const {
    QList<int> codes;
    for (const Status& s : statuses()) codes << s.code;
    return codes;
}

FaxProgress RecordingEvents::lastProgress() const {
    std::lock_guard lock(mutex_);
    return last_;
}

int RecordingEvents::nextCalls() const {
    std::lock_guard lock(mutex_);
    return nextCalls_;
}

bool RecordingEvents::allOnPortThread() const {
    std::lock_guard lock(mutex_);
    return !offThread_;
}

// ---- MachinePort ----------------------------------------------------------------------------------

MachinePort::MachinePort() {
    PortOptions options;
    options.clock = clock;
    handle = OpenPort(modem.path(), 4, 8192, 8192, 8, 1, 0, 19200, options);
}

MachinePort::~MachinePort() {
    if (handle > 0) ClosePort(handle);
}

void MachinePort::prepare(FaxSession& s) {
    s.port = handle;
    s.delay = [](int) {};
    if (qEnvironmentVariableIsSet("ORVANE_FAX_TRACE"))
        s.trace = [](const QString& t) { std::fprintf(stderr, "  %s\n", qPrintable(t)); };
}

void MachinePort::advanceTicks(uint32_t ticks) {
    clock->AdvanceTicks(ticks);
    SyncTriggers(handle);
}

void expectInit(ScriptedModem& m) { m.expect("ATE0Q0V1X4S0=0S2=43"); }

void expectDetection(ScriptedModem& m, const QByteArray& classes) {
    m.expect("ATE0Q0V1X4S0=0S2=43")
        .expect("AT+FCLASS=?", "\r\n" + classes + "\r\n\r\nOK\r\n")
        .expect("ATE0Q0V1X4S0=0S2=43");
}

// ---- files -------------------------------------------------------------------------------------------

QString makeApf(const QString& path, int pages, int lines, bool fine, bool dlePattern) {
    ApfWriter w;
    if (w.create(path) != 0) return {};
    const MhEncoder enc;
    std::vector<uint8_t> raster(MhEncoder::kBufferSize + 8), coded(MhEncoder::kBufferSize);
    for (int p = 1; p <= pages; ++p) {
        if (dlePattern) {
            // A page held as one stream, full of DLE bytes: 0x10 runs and pairs.
            w.beginPage(uint16_t(fine ? pfHighRes : 0));
            QByteArray data;
            for (int i = 0; i < 3000; ++i) data.append(i % 3 == 0 ? '\x10' : char(i & 0xFF));
            data.append(QByteArray(5000, '\x10'));
            data.append(QByteArray::number(p));
            w.writeData(data.constData(), data.size());
            w.endPage();
            continue;
        }
        w.beginPage(uint16_t(pfLengthWords | (fine ? pfHighRes : 0)));
        for (int l = 0; l < lines; ++l) {
            std::fill(raster.begin(), raster.end(), 0);
            // A black bar whose place depends on page and line.
            const int x = (p * 97 + l * 13) % 1600;
            for (int k = 0; k < 40; ++k) raster[size_t((x + k) / 8)] |= uint8_t(0x80 >> ((x + k) % 8));
            const int len = enc.encodeLine(raster.data(), 1728, 50, false, coded.data());
            w.writeLineRecord(coded.data(), len);
        }
        uint8_t eop[16];
        const int n = MhEncoder::encodeEndOfPage(eop);
        w.writeLineRecord(eop, n);
        w.endPage();
    }
    return w.finish() == 0 ? path : QString();
}

QByteArray apfPageData(const QString& path, int page) {
    ApfReader r;
    ApfPageHeader ph;
    QByteArray data;
    if (r.open(path) != 0 || r.readPage(page, ph, data) != 0) return {};
    return data;
}

QByteArray undoubleDle(const QByteArray& bytes) {
    QByteArray out;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        out.append(bytes[i]);
        if (bytes[i] == '\x10' && i + 1 < bytes.size() && bytes[i + 1] == '\x10') ++i;
    }
    return out;
}

}  // namespace orv::test
