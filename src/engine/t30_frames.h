#pragma once
// The T.30 control frames a Class 1 modem carries for us, with no I/O at all:
// bytes in, decoded frames and DIS/DCS values out; values in, frame bytes out.
// The send and receive machines (class1_send.cpp, class1_receive.cpp) put
// these on the line; the unit tests and the fuzz target drive them alone.
//
// Conventions. An octet is kept as the modem hands it over: T.30's bit 1 (the
// first bit on the line) is the octet's lowest bit. So DIS is 0x80, and the X
// bit of a command frame is 0x01. The information field of DIS and DCS is
// numbered from 1: byte 1 holds bits 1..8, byte 2 bits 9..16, byte 3 bits 17..24.
//
// A remote fax machine is untrusted: every length and index below is checked,
// a frame that is too short or too long decodes to nothing, never to a read
// past the bytes that arrived.
//
//   FrameAssembler in;  in.Expect();           // after AT+FRH=3
//   for (byte : received) if (in.Feed(byte, lines) == FrameAssembler::Event::Frame) {
//       const T30Frame& f = in.Frame();        // f.fcf == fcfDis -> DecodeDis(f.info)
//   }
#include "engine/modem_reports.h"

#include <QByteArray>
#include <array>
#include <cstdint>
#include <optional>

namespace orv {

// Facsimile control fields without the X bit (compare against Fcf(frame)).
enum T30Fcf : uint8_t {
    fcfDis = 0x80,
    fcfCsi = 0x40,
    fcfNsf = 0x20,
    fcfDcs = 0x82,
    fcfTsi = 0x42,
    fcfCfr = 0x84,
    fcfFtt = 0x44,
    fcfEom = 0x8E,
    fcfMps = 0x4E,
    fcfEop = 0x2E,
    fcfMcf = 0x8C,
    fcfRtp = 0xCC,
    fcfRtn = 0x4C,
    fcfPip = 0xAC,
    fcfPin = 0x2C,
    fcfDcn = 0xFA,
    fcfCrp = 0x1A,
};
// The X bit: set in the frames of the station that received a DIS (the caller).
inline constexpr uint8_t kT30XBit = 0x01;
inline constexpr uint8_t kHdlcAddress = 0xFF;
inline constexpr uint8_t kHdlcControlMore = 0x03;   // more frames follow in this message
inline constexpr uint8_t kHdlcControlFinal = 0x13;  // the last frame of the message
inline constexpr uint8_t kDle = 0x10, kEtx = 0x03;
inline constexpr char kDleEtx[2] = {char(kDle), char(kEtx)};  // ends the data sent to a modem

// A frame as received (or built): control, FCF and information field.
struct T30Frame {
    bool final = false;
    uint8_t fcf = 0;       // as on the line, X bit included
    QByteArray info;       // the information field, FCS removed
    uint8_t Fcf() const { return uint8_t(fcf & ~kT30XBit); }
};
// The longest frame accepted (T.30 caps a frame at 256 octets before the FCS).
inline constexpr int kMaxFrameBytes = 260;
inline constexpr int kIdLength = 20;

// The signal's name for traces ("DIS", "MCF", ...; "FCF 0x..." when unknown).
QByteArray FcfName(uint8_t fcf);

// Decodes the unstuffed bytes of one frame (what came before DLE ETX).
// Bytes before the first 0xFF are dropped; the control byte's 0x10 bit marks
// the final frame. A trailing FCS that checks is removed (some modems pass it
// on). Empty when no address, control and FCF are there, or the frame is longer
// than kMaxFrameBytes.
std::optional<T30Frame> ParseFrame(const QByteArray& bytes);

// The bytes to send after CONNECT to AT+FTH=3: address, control, FCF, the
// information field with DLE doubled, DLE ETX.
QByteArray BuildFrame(uint8_t fcf, bool final, const QByteArray& info = {});
// An ID frame (TSI, CSI): the station ID upper-cased, cut to 20 characters,
// blank-filled in front and reversed, so the far end reads it in order.
QByteArray IdField(const QByteArray& stationId);
// The remote station's ID from a TSI/CSI information field: read from the last
// byte to the first, trimmed, at most 20 characters, bytes below 32 dropped.
QByteArray RemoteIdFromField(const QByteArray& info);

// Rate index 1..6: 2400, 4800, 7200, 9600, 12000, 14400 bit/s (kRateBps).
inline constexpr int kMinRateIndex = 1, kMaxRateIndex = 6;
using RateSet = std::array<bool, 7>;  // [1..6]: rate supported
int RateIndexOf(int bps);             // the highest index at or below bps (1 at least)
int BestRate(const RateSet& rates);   // 0 when none

// The rates a Class 1 modem lists for "AT+FTM=?" / "AT+FRM=?" ("24,48,72,96,...").
// 2400 and 4800 come with any list; the others when their code is named.
RateSet ParseModulationList(const QByteArray& reply);

// What a DIS says about the answering machine.
struct T30Capabilities {
    RateSet rates{};        // rates it can receive
    bool v17 = false;       // V.17 offered (7200 and 9600 may then also use V.17)
    bool fine = false;
    bool wide = false;      // 2048-pixel lines
    int scanTimeCode = 0;   // 0..7, as in SessionParams
};
// Empty when the field is shorter than three bytes.
std::optional<T30Capabilities> DecodeDis(const QByteArray& info);
// Our DIS as the answerer: receiver, fine, 1728 and 2048 pixels, any length, no
// minimum scan time, 1-D coding only; the rate bits of the best receive rate.
QByteArray EncodeDis(int bestRateIndex);

// The session parameters a DCS carries.
struct T30Dcs {
    int rateIndex = 4;
    bool v17 = false;       // 7200 and 9600 on V.17 instead of V.29
    bool fine = false;
    bool wide = false;
    int scanTimeCode = 0;
};
QByteArray EncodeDcs(const T30Dcs& dcs);
// Empty when the field is shorter than three bytes or names a rate T.30 reserves.
std::optional<T30Dcs> DecodeDcs(const QByteArray& info);
// The T.30 scan-time code of DIS/DCS bits 21..23 (byte 3, mask 0x70) and back.
int ScanTimeCodeOfBits(uint8_t byte3);
uint8_t ScanTimeBits(int scanTimeCode, bool fine);

// "+FTM="/"+FRM=" codes: "24" "48" "72" "96" "121" "145"; "73" "97" for V.17
// at 7200 and 9600. V.17 trains long for the training check and short for the
// pages after it (shortTrain: "74" "98" "122" "146"), as the far end expects.
QByteArray ModulationOf(int rateIndex, bool v17, bool shortTrain = false);
// Session parameters from a DCS, for the shared page code.
SessionParams SessionParamsOf(const T30Dcs& dcs);

// The rate a caller picks: the highest both modem and remote support, not above
// desiredBps (0 when none).
int ChooseRate(const RateSet& modem, const RateSet& remote, int desiredBps);
// The next lower rate both support below `rateIndex` (0 when none: training failed).
int StepDown(int rateIndex, const RateSet& modem, const RateSet& remote);

// The training check: 1.5 s of zeros at the rate ((bps / 100) x 18, at most
// 8192 bytes), then DLE ETX.
QByteArray TrainingCheck(int bps);

// Judges a received training check: good when fewer than 10 % of the bytes are
// not zero. DLE doubling is undone by the caller.
class TrainingCounter {
public:
    void Add(uint8_t byte) {
        ++total_;
        if (byte != 0) ++nonZero_;
    }
    bool Good() const { return total_ > 0 && nonZero_ * 100 / total_ < 10; }
    qint64 Total() const { return total_; }
    qint64 NonZero() const { return nonZero_; }

private:
    qint64 total_ = 0, nonZero_ = 0;
};

// Collects one HDLC frame from the bytes a Class 1 modem sends after CONNECT
// to a frame reception. Until Expect() (and after each frame) every byte goes
// to the line assembler. While a frame is expected, bytes before its 0xFF still
// make lines (so "NO CARRIER" or "ERROR" instead of a frame are seen); from
// the 0xFF on they are the frame, DLE DLE standing for one DLE, until DLE ETX.
// A frame longer than kMaxFrameBytes is dropped whole (Event::BadFrame).
class FrameAssembler {
public:
    enum class Event { None, Line, Frame, BadFrame };

    void Expect();
    void Cancel();
    bool Expecting() const { return expecting_; }
    Event Feed(uint8_t byte, LineAssembler& lines);
    const T30Frame& Frame() const { return frame_; }

private:
    bool expecting_ = false;
    bool inFrame_ = false;
    bool afterDle_ = false;
    bool overflow_ = false;
    QByteArray bytes_;
    T30Frame frame_;
};

// CRC-16 of HDLC (ITU-T V.42 / ISO 3309), as sent after the frame, low byte first.
uint16_t HdlcFcs(const uint8_t* data, qsizetype size);

}  // namespace orv
