#include "engine/modem_reports.h"

#include "engine/fax_types.h"

#include <QList>

namespace orv {

// ---- vocabulary ----------------------------------------------------------------------

Class2Vocabulary Class2Vocabulary::For(TFaxClass faxClass) {
    Class2Vocabulary v;
    if (faxClass == fcClass2_0) {
        v.selectClass = "AT+FCLASS=2.0";
        v.identity[0] = "AT+FMI?";
        v.identity[1] = "AT+FMM?";
        v.identity[2] = "AT+FMR?";
        v.setCapabilities = "AT+FIS";
        v.setLocalId = "AT+FLI";
        v.setAnswerCaps = "AT+FCC";
        v.connect = "+FCO";
        v.remoteCaps = "+FIS";
        v.sessionParams = "+FCS";
        v.transmitId = "+FTI";
        v.calledId = "+FCI";
        v.pageStatus = "+FPS";
        v.hangup = "FHS";
    } else {
        v.selectClass = "AT+FCLASS=2";
        v.identity[0] = "AT+FMDL?";
        v.identity[1] = "AT+FMFR?";
        v.identity[2] = "AT+FREV?";
        v.setCapabilities = "AT+FDIS";
        v.setLocalId = "AT+FLID";
        v.setAnswerCaps = "AT+FDCC";
        v.connect = "+FCON";
        v.remoteCaps = "+FDIS";
        v.sessionParams = "+FDCS";
        v.transmitId = "+FTSI";
        v.calledId = "+FCSI";
        v.pageStatus = "+FPTS";
        v.hangup = "FHNG";
    }
    return v;
}

char Class2RateCode(int bps) {
    for (int i = 1; i <= 6; ++i)
        if (kRateBps[i] == bps) return char('0' + i - 1);
    return '3';
}

int BpsOfRateCode(char code) {
    if (code >= '0' && code <= '5') return kRateBps[code - '0' + 1];
    return 9600;
}

// ---- lines ------------------------------------------------------------------------------

bool LineAssembler::Feed(uint8_t byte) {
    if (byte == '\n') {
        QByteArray line = TrimLine(partial_);
        partial_.clear();
        if (line.isEmpty()) return false;
        line_ = std::move(line);
        return true;
    }
    if (partial_.size() < kMaxLine) partial_.append(char(byte));
    return false;
}

void LineAssembler::Clear() {
    partial_.clear();
    line_.clear();
}

QByteArray TrimLine(const QByteArray& line) {
    qsizetype b = 0, e = line.size();
    while (b < e && uint8_t(line[b]) < 33) ++b;
    while (e > b && uint8_t(line[e - 1]) < 33) --e;
    return line.mid(b, e - b);
}

bool IsReport(const QByteArray& line, const QByteArray& token) {
    if (token.isEmpty()) return false;
    if (line.startsWith(token)) return true;
    return !token.startsWith('+') && line.startsWith('+') && line.mid(1).startsWith(token);
}

bool IsResult(const QByteArray& line, const char* word) {
    return !line.startsWith('+') && line.contains(word);
}

QByteArray ReportValue(const QByteArray& line) {
    const qsizetype colon = line.indexOf(':');
    const qsizetype equals = line.indexOf('=');
    qsizetype at = colon;
    if (at < 0 || (equals >= 0 && equals < at)) at = equals;
    return TrimLine(at < 0 ? line : line.mid(at + 1));
}

char FirstValueChar(const QByteArray& line) {
    const QByteArray v = ReportValue(line);
    return v.isEmpty() ? '\0' : v[0];
}

namespace {
// The comma-separated fields of a report's value, each trimmed.
QList<QByteArray> fields(const QByteArray& line) {
    QList<QByteArray> out = ReportValue(line).split(',');
    for (auto& f : out) f = TrimLine(f);
    return out;
}
char fieldChar(const QList<QByteArray>& f, int i) {
    return i < f.size() && !f[i].isEmpty() ? f[i][0] : '\0';
}
}  // namespace

int MinScanMs(int code, bool fine) {
    static constexpr int normal[8] = {0, 5, 10, 10, 20, 20, 40, 40};
    static constexpr int high[8] = {0, 5, 5, 10, 10, 20, 20, 40};
    if (code < 0 || code > 7) return 0;
    return fine ? high[code] : normal[code];
}

int MinScanBytes(int code, bool fine, int bps) { return MinScanMs(code, fine) * bps / 8000; }

SessionParams DecodeSessionParams(const QByteArray& line) {
    const QList<QByteArray> f = fields(line);
    SessionParams p;
    p.fine = fieldChar(f, 0) == '1';
    p.bps = BpsOfRateCode(fieldChar(f, 1));
    p.wide = fieldChar(f, 2) == '1';
    const char ec = fieldChar(f, 5);
    p.ecm = ec == '1' || ec == '2';
    const char st = fieldChar(f, 7);
    p.scanTimeCode = st >= '0' && st <= '7' ? st - '0' : 0;
    p.minScanBytes = MinScanBytes(p.scanTimeCode, p.fine, p.bps);
    return p;
}

RemoteCaps DecodeRemoteCaps(const QByteArray& line) {
    const QList<QByteArray> f = fields(line);
    return {fieldChar(f, 0) == '1', fieldChar(f, 2) == '1'};
}

int HangupCodeOf(const QByteArray& line) {
    const qsizetype colon = line.indexOf(':');
    if (colon < 0) return 0;
    const QByteArray digits = line.mid(colon + 1, 3).trimmed();
    bool ok = false;
    const int v = digits.toInt(&ok);
    return ok ? v : 0;
}

QByteArray RemoteIdOf(const QByteArray& line) {
    QByteArray id = ReportValue(line);
    if (id.startsWith('"')) id[0] = ' ';
    auto alnum = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    while (!id.isEmpty() && !alnum(id.back())) id.chop(1);
    return id.trimmed().left(20);
}

FaxClassSupport ParseClassList(const QByteArray& reply) {
    // Strip up to and including the first ':' or '=' ("+FCLASS: 0,1,2").
    QByteArray list = reply;
    const qsizetype colon = list.indexOf(':'), equals = list.indexOf('=');
    qsizetype at = colon;
    if (at < 0 || (equals >= 0 && equals < at)) at = equals;
    if (at >= 0) list = list.mid(at + 1);
    FaxClassSupport s;
    s.class1 = list.contains('1');
    if (list.contains("2.0")) {
        s.class2_0 = true;
        s.class2 = list.contains("2,");
    } else {
        s.class2 = list.contains('2');
    }
    return s;
}

uint8_t ReverseBits(uint8_t b) {
    b = uint8_t((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = uint8_t((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return uint8_t((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

}  // namespace orv
