#include "engine/t30_frames.h"

#include "engine/fax_types.h"

#include <QList>
#include <algorithm>

namespace orv {

QByteArray FcfName(uint8_t fcf) {
    switch (uint8_t(fcf & ~kT30XBit)) {
    case fcfDis: return "DIS";
    case fcfCsi: return "CSI";
    case fcfNsf: return "NSF";
    case fcfDcs: return "DCS";
    case fcfTsi: return "TSI";
    case fcfCfr: return "CFR";
    case fcfFtt: return "FTT";
    case fcfEom: return "EOM";
    case fcfMps: return "MPS";
    case fcfEop: return "EOP";
    case fcfMcf: return "MCF";
    case fcfRtp: return "RTP";
    case fcfRtn: return "RTN";
    case fcfPip: return "PIP";
    case fcfPin: return "PIN";
    case fcfDcn: return "DCN";
    case fcfCrp: return "CRP";
    default: return "FCF 0x" + QByteArray::number(fcf, 16).rightJustified(2, '0');
    }
}

uint16_t HdlcFcs(const uint8_t* data, qsizetype size) {
    uint16_t crc = 0xFFFF;
    for (qsizetype i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int b = 0; b < 8; ++b) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0x8408) : uint16_t(crc >> 1);
    }
    return uint16_t(~crc);
}

std::optional<T30Frame> ParseFrame(const QByteArray& bytes) {
    const qsizetype start = bytes.indexOf(char(kHdlcAddress));
    if (start < 0) return std::nullopt;
    const qsizetype size = bytes.size() - start;
    if (size < 3 || size > kMaxFrameBytes) return std::nullopt;
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.constData()) + start;
    qsizetype end = size;
    // A modem that passes the FCS on: drop it when it checks.
    if (size >= 5) {
        const uint16_t fcs = HdlcFcs(p, size - 2);
        if (p[size - 2] == (fcs & 0xFF) && p[size - 1] == (fcs >> 8)) end = size - 2;
    }
    T30Frame f;
    f.final = (p[1] & 0x10) != 0;
    f.fcf = p[2];
    f.info = QByteArray(reinterpret_cast<const char*>(p + 3), end - 3);
    return f;
}

QByteArray BuildFrame(uint8_t fcf, bool final, const QByteArray& info) {
    QByteArray out;
    out.reserve(info.size() + 8);
    out.append(char(kHdlcAddress));
    out.append(char(final ? kHdlcControlFinal : kHdlcControlMore));
    auto put = [&](uint8_t b) {
        out.append(char(b));
        if (b == kDle) out.append(char(kDle));
    };
    put(fcf);
    for (char c : info) put(uint8_t(c));
    out.append(char(kDle));
    out.append(char(kEtx));
    return out;
}

QByteArray IdField(const QByteArray& stationId) {
    QByteArray id = stationId.toUpper().left(kIdLength).rightJustified(kIdLength, ' ');
    std::reverse(id.begin(), id.end());
    return id;
}

QByteArray RemoteIdFromField(const QByteArray& info) {
    QByteArray id;
    for (qsizetype i = std::min<qsizetype>(info.size(), kIdLength) - 1; i >= 0; --i) {
        const uint8_t c = uint8_t(info[i]);
        if (c >= 32) id.append(char(c));
    }
    return id.trimmed().left(kIdLength);
}

// ---- rates -------------------------------------------------------------------------------

int RateIndexOf(int bps) {
    for (int i = kMaxRateIndex; i > kMinRateIndex; --i)
        if (kRateBps[i] <= bps) return i;
    return kMinRateIndex;
}

int BestRate(const RateSet& rates) {
    for (int i = kMaxRateIndex; i >= kMinRateIndex; --i)
        if (rates[size_t(i)]) return i;
    return 0;
}

RateSet ParseModulationList(const QByteArray& reply) {
    RateSet r{};
    if (!reply.contains(',')) return r;
    // Codes are compared whole: "121" must not make "12" count.
    const QList<QByteArray> codes = ReportValue(reply).split(',');
    r[1] = r[2] = true;
    for (const QByteArray& raw : codes) {
        const QByteArray c = raw.trimmed();
        if (c == "72" || c == "73") r[3] = true;
        if (c == "96" || c == "97") r[4] = true;
        if (c == "121") r[5] = true;
        if (c == "145") r[6] = true;
    }
    return r;
}

int ChooseRate(const RateSet& modem, const RateSet& remote, int desiredBps) {
    for (int i = kMaxRateIndex; i >= kMinRateIndex; --i)
        if (modem[size_t(i)] && remote[size_t(i)] && kRateBps[i] <= desiredBps) return i;
    return 0;
}

int StepDown(int rateIndex, const RateSet& modem, const RateSet& remote) {
    for (int i = std::min(rateIndex, kMaxRateIndex + 1) - 1; i >= kMinRateIndex; --i)
        if (modem[size_t(i)] && remote[size_t(i)]) return i;
    return 0;
}

QByteArray ModulationOf(int rateIndex, bool v17, bool shortTrain) {
    switch (rateIndex) {
    case 1: return "24";
    case 2: return "48";
    case 3: return v17 ? (shortTrain ? "74" : "73") : "72";
    case 5: return shortTrain ? "122" : "121";
    case 6: return shortTrain ? "146" : "145";
    default: return v17 ? (shortTrain ? "98" : "97") : "96";
    }
}

// ---- DIS and DCS --------------------------------------------------------------------------

// Data signalling rate: bits 11..14 of the field (byte 2, mask 0x3C), with
// T.30's own values (a DIS names modem families, a DCS one rate):
//   DIS 0x00 V.27 ter fallback (2400), 0x08 V.27 ter, 0x04 V.29, 0x0C V.27 ter
//   and V.29, 0x2C those and V.17.
//   DCS 0x00 2400, 0x08 4800, 0x0C 7200 V.29, 0x04 9600 V.29, 0x2C 7200 V.17,
//   0x24 9600 V.17, 0x28 12000 V.17, 0x20 14400 V.17.
namespace {
constexpr uint8_t kRateMask = 0x3C;
constexpr uint8_t kDisV27 = 0x08, kDisV29 = 0x04, kDisV17 = 0x20;
constexpr uint8_t kFineBit = 0x40;        // bit 15
constexpr uint8_t kReceiverBit = 0x02;    // bit 10
constexpr uint8_t kScanMask = 0x70;       // bits 21..23
constexpr uint8_t kExtendBit = 0x80;      // bit 24
}  // namespace

int ScanTimeCodeOfBits(uint8_t byte3) {
    switch (byte3 & kScanMask) {
    case 0x00: return 5;  // 20 ms
    case 0x10: return 1;  // 5 ms
    case 0x20: return 3;  // 10 ms
    case 0x30: return 4;  // 20 ms, 10 ms at fine
    case 0x40: return 7;  // 40 ms
    case 0x50: return 6;  // 40 ms, 20 ms at fine
    case 0x60: return 2;  // 10 ms, 5 ms at fine
    default: return 0;    // 0 ms
    }
}

uint8_t ScanTimeBits(int code, bool fine) {
    static constexpr uint8_t normal[8] = {0x70, 0x10, 0x20, 0x20, 0x00, 0x00, 0x40, 0x40};
    static constexpr uint8_t high[8] = {0x70, 0x10, 0x10, 0x20, 0x20, 0x00, 0x00, 0x40};
    if (code < 0 || code > 7) return 0x70;
    return fine ? high[code] : normal[code];
}

std::optional<T30Capabilities> DecodeDis(const QByteArray& info) {
    if (info.size() < 3) return std::nullopt;
    const uint8_t b2 = uint8_t(info[1]), b3 = uint8_t(info[2]);
    T30Capabilities c;
    c.rates[1] = true;  // V.27 ter fallback is always there
    if (b2 & kDisV27) c.rates[2] = true;
    if (b2 & kDisV29) c.rates[3] = c.rates[4] = true;
    if (b2 & kDisV17) {
        c.v17 = true;
        c.rates[2] = true;  // V.17 machines also speak V.27 ter for their fallback
        c.rates[3] = c.rates[4] = c.rates[5] = c.rates[6] = true;
    }
    c.fine = (b2 & kFineBit) != 0;
    c.wide = (b3 & 0x03) == 0x01 || (b3 & 0x03) == 0x02;
    c.scanTimeCode = ScanTimeCodeOfBits(b3);
    return c;
}

QByteArray EncodeDis(int best) {
    uint8_t rate = 0x00;
    if (best >= 2) rate = kDisV27;
    if (best >= 3) rate = kDisV27 | kDisV29;
    if (best >= 5) rate = kDisV27 | kDisV29 | kDisV17;
    QByteArray info(4, '\0');
    info[1] = char(kReceiverBit | kFineBit | rate);
    // 1728 and 2048 pixels, unlimited length (bits 19, 20 = 0, 1), 0 ms scan time, extend.
    info[2] = char(kExtendBit | kScanMask | 0x08 | 0x01);
    return info;
}

QByteArray EncodeDcs(const T30Dcs& d) {
    uint8_t rate = 0x04;
    switch (d.rateIndex) {
    case 1: rate = 0x00; break;
    case 2: rate = 0x08; break;
    case 3: rate = d.v17 ? 0x2C : 0x0C; break;
    case 5: rate = 0x28; break;
    case 6: rate = 0x20; break;
    default: rate = d.v17 ? 0x24 : 0x04; break;
    }
    QByteArray info(4, '\0');
    info[1] = char(kReceiverBit | (d.fine ? kFineBit : 0) | rate);
    info[2] = char(kExtendBit | 0x08 | ScanTimeBits(d.scanTimeCode, d.fine) | (d.wide ? 0x01 : 0x00));
    return info;
}

std::optional<T30Dcs> DecodeDcs(const QByteArray& info) {
    if (info.size() < 3) return std::nullopt;
    const uint8_t b2 = uint8_t(info[1]), b3 = uint8_t(info[2]);
    T30Dcs d;
    switch (b2 & kRateMask) {
    case 0x00: d.rateIndex = 1; break;
    case 0x08: d.rateIndex = 2; break;
    case 0x0C: d.rateIndex = 3; break;
    case 0x04: d.rateIndex = 4; break;
    case 0x2C: d.rateIndex = 3; d.v17 = true; break;
    case 0x24: d.rateIndex = 4; d.v17 = true; break;
    case 0x28: d.rateIndex = 5; d.v17 = true; break;
    case 0x20: d.rateIndex = 6; d.v17 = true; break;
    default: return std::nullopt;  // reserved codes
    }
    d.fine = (b2 & kFineBit) != 0;
    d.wide = (b3 & 0x03) == 0x01;
    d.scanTimeCode = ScanTimeCodeOfBits(b3);
    return d;
}

SessionParams SessionParamsOf(const T30Dcs& d) {
    SessionParams p;
    p.fine = d.fine;
    p.wide = d.wide;
    p.ecm = false;
    p.bps = kRateBps[std::clamp(d.rateIndex, kMinRateIndex, kMaxRateIndex)];
    p.scanTimeCode = std::clamp(d.scanTimeCode, 0, 7);
    p.minScanBytes = MinScanBytes(p.scanTimeCode, p.fine, p.bps);
    return p;
}

QByteArray TrainingCheck(int bps) {
    const int n = std::clamp(bps / 100 * 18, 0, 8192);
    QByteArray out(n, '\0');
    out.append(char(kDle));
    out.append(char(kEtx));
    return out;
}

// ---- frame assembly ---------------------------------------------------------------------------

void FrameAssembler::Expect() {
    expecting_ = true;
    inFrame_ = afterDle_ = overflow_ = false;
    bytes_.clear();
}

void FrameAssembler::Cancel() {
    expecting_ = inFrame_ = afterDle_ = overflow_ = false;
    bytes_.clear();
}

FrameAssembler::Event FrameAssembler::Feed(uint8_t b, LineAssembler& lines) {
    if (!expecting_) return lines.Feed(b) ? Event::Line : Event::None;
    if (!inFrame_) {
        if (b != kHdlcAddress) {
            if (!lines.Feed(b)) return Event::None;
            // A result instead of a frame ("NO CARRIER", "ERROR") ends the wait;
            // "CONNECT" announces the frame.
            if (!IsResult(lines.Line(), "CONNECT")) expecting_ = false;
            return Event::Line;
        }
        lines.Clear();
        inFrame_ = true;
    }
    if (afterDle_) {
        afterDle_ = false;
        if (b == kEtx) {
            const bool overflow = overflow_;
            std::optional<T30Frame> f = overflow ? std::nullopt : ParseFrame(bytes_);
            Cancel();
            if (!f) return Event::BadFrame;
            frame_ = std::move(*f);
            return Event::Frame;
        }
        if (b != kDle) return Event::None;  // DLE and anything else: neither data nor the end
    } else if (b == kDle) {
        afterDle_ = true;
        return Event::None;
    }
    if (bytes_.size() < kMaxFrameBytes) {
        bytes_.append(char(b));
    } else {
        overflow_ = true;  // keep reading to its end, keep nothing
    }
    return Event::None;
}

}  // namespace orv
