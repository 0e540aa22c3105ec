#pragma once
// Reading what a fax modem says: response lines assembled from received bytes,
// and the values inside Class 2 / 2.0 reports (session parameters, remote
// capabilities and identity, hang-up codes, page status, the class list).
//
// Everything here is pure and bounds-checked: a report that is short, has a
// blank after its colon or carries garbage yields defaults, never a read past
// the bytes that arrived.
#include <QByteArray>
#include <cstdint>

namespace orv {

// Collects received bytes into response lines. A line ends at LF (modems end
// lines with CR LF); it is trimmed of leading and trailing bytes below 33 and
// kept only when something is left. At most kMaxLine bytes are kept; the rest
// of a longer line is dropped.
class LineAssembler {
public:
    static constexpr int kMaxLine = 128;

    // Adds one byte; true when it completed a non-empty line (see Line()).
    bool Feed(uint8_t byte);
    const QByteArray& Line() const { return line_; }
    // Forgets a partly assembled line and the last line.
    void Clear();

private:
    QByteArray partial_;
    QByteArray line_;
};

// A line trimmed of leading and trailing bytes below 33.
QByteArray TrimLine(const QByteArray& line);

// Whether a line is the report `token` ("+FDIS", "+FCO", ...): it starts with
// it. A hang-up token without "+" ("FHNG") matches with or without the plus.
bool IsReport(const QByteArray& line, const QByteArray& token);
// Whether a line is a result containing `word` ("OK", "ERROR", "RRIER", "BUSY",
// ...). Reports ("+F...") are never results, so a remote's identity that reads
// "TOKYO" or "ERROR FREE" is not taken for one.
bool IsResult(const QByteArray& line, const char* word);

// The value part of a report: what follows the first ':' or '=' (the whole
// line when it has neither), trimmed.
QByteArray ReportValue(const QByteArray& line);
// The first character of the value ('\0' when empty).
char FirstValueChar(const QByteArray& line);

// Session parameters of a +FDCS/+FCS report (fields VR,BR,WD,LN,DF,EC,BF,ST).
struct SessionParams {
    bool fine = false;
    bool wide = false;       // 2048-pixel lines
    bool ecm = false;
    int bps = 9600;
    int scanTimeCode = 0;
    int minScanBytes = 0;    // minimum bytes per scan line at this rate
};
SessionParams DecodeSessionParams(const QByteArray& line);

// Fine and wide support of a +FDIS/+FIS report.
struct RemoteCaps {
    bool fine = false;
    bool wide = false;
};
RemoteCaps DecodeRemoteCaps(const QByteArray& line);

// The minimum scan-line time (ms) of a scan-time code 0..7 at a resolution.
int MinScanMs(int scanTimeCode, bool fine);
// (ms x bps) / 8000.
int MinScanBytes(int scanTimeCode, bool fine, int bps);

// The number after the first ':' (at most 3 characters, blanks trimmed); 0 when none.
int HangupCodeOf(const QByteArray& line);

// A remote station's identity from a +FCSI/+FTSI report: the text after ':' or
// '=', trimmed, a leading double quote made a blank, trailing characters that
// are neither letters nor digits removed, trimmed again, at most 20 characters.
QByteArray RemoteIdOf(const QByteArray& line);

// The classes an "AT+FCLASS=?" reply names.
struct FaxClassSupport {
    bool class1 = false;
    bool class2 = false;
    bool class2_0 = false;
    bool any() const { return class1 || class2 || class2_0; }
};
FaxClassSupport ParseClassList(const QByteArray& reply);

uint8_t ReverseBits(uint8_t b);

}  // namespace orv
