#pragma once
// Constants and small types shared by the serial port dispatcher, its device
// layer and the port component: trigger message numbers, modem-status and
// line-error bits, status-trigger types, table sizes, handler signatures.
#include <cstdint>
#include <functional>

namespace orv {

// ---- table sizes ---------------------------------------------------------------
inline constexpr int kMaxPorts = 50;             // port handles 1..50
inline constexpr int kDispatchBufferSize = 8192; // the receive ring
inline constexpr int kTimerSlots = 10;
inline constexpr int kDataSlots = 20;
inline constexpr int kStatusSlots = 10;
inline constexpr int kUserSlots = 10;
inline constexpr int kAvailTrigger = 1;          // trigger handle of the avail trigger
inline constexpr int kFirstTriggerHandle = 2;    // handles 2..41 name timer, data and status triggers
inline constexpr int kLastTriggerHandle = 41;
inline constexpr int kMaxDataTriggerLength = 64;
inline constexpr int kMaxTraceEntries = 32760;
inline constexpr int kMaxLogBytes = 65520;
inline constexpr int kHandlerTimeoutMs = 1000;   // a window handler's delivery time-out

// ---- trigger messages (wParam, lParam as delivered to handlers) ------------------
inline constexpr unsigned kMsgTriggerAvail = 0x7E01;   // wParam = bytes available
inline constexpr unsigned kMsgTriggerData = 0x7E02;    // wParam = trigger handle, lParam low word = match length
inline constexpr unsigned kMsgTriggerTimer = 0x7E03;   // wParam = trigger handle
inline constexpr unsigned kMsgTriggerStatus = 0x7E04;  // wParam = trigger handle, low word = level (types 3, 4)
inline constexpr unsigned kMsgPortOpened = 0x7E08;     // to port users
inline constexpr unsigned kMsgPortClosing = 0x7E09;    // to port users

// lParam of a trigger message: port handle in the high word, data in the low word.
constexpr uint32_t TriggerLParam(int port, unsigned data) {
    return (uint32_t(port) << 16) | (data & 0xFFFFu);
}
constexpr int PortOfLParam(uint32_t lParam) { return int(lParam >> 16); }

// ---- modem status register (MSR) -------------------------------------------------
inline constexpr uint8_t kMsrDeltaCts = 0x01;
inline constexpr uint8_t kMsrDeltaDsr = 0x02;
inline constexpr uint8_t kMsrTrailingRi = 0x04;
inline constexpr uint8_t kMsrDeltaDcd = 0x08;
inline constexpr uint8_t kMsrCts = 0x10;
inline constexpr uint8_t kMsrDsr = 0x20;
inline constexpr uint8_t kMsrRi = 0x40;
inline constexpr uint8_t kMsrDcd = 0x80;

// ---- accumulated line-error flags -------------------------------------------------
inline constexpr uint16_t kLineOverrun = 0x0002;  // hardware overrun (or our ring overflowing)
inline constexpr uint16_t kLineParity = 0x0004;
inline constexpr uint16_t kLineFraming = 0x0008;
inline constexpr uint16_t kLineBreak = 0x0010;
inline constexpr uint16_t kLineDeviceLost = 0x0400; // the device went away (hang-up, unplug, I/O error)

// Options of a line-error status trigger (bits 1, 2, 4, 8) and the flags they watch.
inline constexpr unsigned kLsOverrun = 1, kLsParity = 2, kLsFraming = 4, kLsBreak = 8;
constexpr uint16_t LineErrorMask(unsigned options) {
    return uint16_t(((options & 1) ? kLineOverrun : 0) | ((options & 2) ? kLineParity : 0) |
                    ((options & 4) ? kLineFraming : 0) | ((options & 8) ? kLineBreak : 0));
}

// ---- status-trigger types ---------------------------------------------------------
enum StatusTriggerType : int {
    stModem = 1,       // (MSR xor state at arming) and mask
    stLine = 2,        // accumulated line errors and mask (a lost device always fires)
    stOutFree = 3,     // free space of the transmit ring >= level
    stOutUsed = 4,     // bytes in the transmit ring <= level
    stOutSent = 5,     // the transmit ring was emptied by the I/O thread
};

// ---- line parameters ---------------------------------------------------------------
// Parity as published: pNone, pOdd, pEven, pMark, pSpace.
inline constexpr int kParityNone = 0, kParityOdd = 1, kParityEven = 2, kParityMark = 3, kParitySpace = 4;
// "leave alone" values of SetLineParams
inline constexpr int kNoChangeBaud = 0, kNoChangeParity = 5, kNoChangeDataBits = 9, kNoChangeStopBits = 3;

// Hardware flow options (bit set), software flow options.
inline constexpr unsigned kHwfUseDTR = 1, kHwfUseRTS = 2, kHwfRequireDSR = 4, kHwfRequireCTS = 8;
inline constexpr int kSwfNone = 0, kSwfReceive = 1, kSwfTransmit = 2, kSwfBoth = 3;

// What the device is told about the line (the DCB of the port record).
struct LineSettings {
    int32_t baud = 19200;
    int parity = kParityNone;
    int dataBits = 8;
    int stopBits = 1;            // 1 or 2 (2 with 5 data bits means 1.5)
    bool dtrHandshake = false;   // hwfUseDTR
    bool rtsHandshake = false;   // hwfUseRTS
    bool outxDsrFlow = false;    // hwfRequireDSR
    bool outxCtsFlow = false;    // hwfRequireCTS
    bool inX = false;            // send XOFF when the input fills
    bool outX = false;           // obey XOFF from the far end
    uint8_t xonChar = 17;
    uint8_t xoffChar = 19;
    uint16_t xonLim = 0;
    uint16_t xoffLim = 0;
};

// ---- handlers ----------------------------------------------------------------------
// A trigger handler: (message, wParam, lParam). Procedure handlers run on the
// port's I/O thread; window handlers run on their QObject's thread.
using TriggerProc = std::function<void(unsigned msg, unsigned wParam, uint32_t lParam)>;
// Asked on the I/O thread before a window handler is called: false skips the
// window for this trigger, so a trigger nobody on that thread listens to never
// waits for it.
using TriggerFilter = std::function<bool(unsigned msg, unsigned wParam)>;

// Log entry types and subtypes.
enum LogType : uint8_t { ltNone = 0, ltDispatch = 1, ltTrigger = 2, ltError = 3, ltThread = 4 };
enum LogSubType : uint8_t {
    lsNone = 0, lsReadCom = 1, lsWriteCom = 2, lsLineStatus = 3, lsModemStatus = 4,
    lsAvail = 5, lsTimer = 6, lsData = 7, lsStatus = 8,
    lsStart = 9, lsExit = 10, lsSleep = 11, lsWake = 12,
};

}  // namespace orv
