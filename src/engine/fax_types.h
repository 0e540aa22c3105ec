#pragma once
// Names and numbers the fax engine shares with its hosts: fax classes, status
// and log codes, session option flags, the engine's message numbers, and the
// Class 2 / Class 2.0 command and response vocabularies.
#include <QByteArray>
#include <cstdint>

namespace orv {

// Fax service class, in published order. fcUnknown and fcDetect both mean
// "ask the modem and take the best it offers".
enum TFaxClass { fcUnknown, fcDetect, fcClass1, fcClass2, fcClass2_0 };

// Status codes reported to the application (texts: FaxStatusText).
enum FaxStatusCode : int {
    fsInitializing = 1,   // "Initializing modem for fax processing"
    fsDialing = 2,
    fsBusyWaiting = 3,
    fsSendingPage = 4,
    fsSendingEop = 5,
    fsPageError = 6,
    fsPageAccepted = 7,
    fsWaitingForCall = 20,
    fsNoConnect = 21,
    fsAnswering = 22,
    fsCallValidated = 23,
    fsGettingPage = 24,
    fsGettingPageEnd = 25,
    fsGettingDocStatus = 26,
    fsGettingHangup = 27,
    fsGotHangupCode = 28,
    fsGettingParams = 40,
    fsGotRemoteId = 41,
    fsUserAbort = 42,
    fsFinished = 43,
};

// TFaxLogCode: what the history log records.
enum TFaxLogCode : int {
    logSendBegin = 1,
    logSendOk = 2,
    logSendFail = 3,
    logReceiveBegin = 4,
    logReceiveOk = 5,
    logReceiveSkip = 6,
    logReceiveFail = 7,
};

// Session option flags.
enum : unsigned {
    foAbortNoConnect = 1,  // end the session on a busy number and on any failed fax
    foExitOnError = 2,     // end the session on any failed fax or call
    foSoftwareFlow = 8,    // XON/XOFF during page data
};

// Engine message numbers (the contract with the fax components; also in logs).
inline constexpr unsigned kMsgFaxAbort = 0x7EA0;
inline constexpr unsigned kMsgFaxNext = 0x7EA1;
inline constexpr unsigned kMsgFaxStatus = 0x7EA2;
inline constexpr unsigned kMsgFaxLog = 0x7EA3;
inline constexpr unsigned kMsgFaxName = 0x7EA4;
inline constexpr unsigned kMsgFaxAccept = 0x7EA5;
inline constexpr unsigned kMsgFaxError = 0x7EA6;
inline constexpr unsigned kMsgFaxFinish = 0x7EA7;

// The user slot of a port that holds the running session.
inline constexpr int kFaxSessionSlot = 2;

// The Class 2 or Class 2.0 words of a session: commands (without CR) and the
// report tokens a line starts with.
struct Class2Vocabulary {
    QByteArray selectClass;        // "AT+FCLASS=2" / "AT+FCLASS=2.0"
    QByteArray identity[3];        // model/maker/revision queries (never sent)
    QByteArray setCapabilities;    // "AT+FDIS" / "AT+FIS"
    QByteArray setLocalId;         // "AT+FLID" / "AT+FLI"
    QByteArray setAnswerCaps;      // "AT+FDCC" / "AT+FCC"
    QByteArray connect;            // "+FCON" / "+FCO"
    QByteArray remoteCaps;         // "+FDIS" / "+FIS"
    QByteArray sessionParams;      // "+FDCS" / "+FCS"
    QByteArray transmitId;         // "+FTSI" / "+FTI"
    QByteArray calledId;           // "+FCSI" / "+FCI"
    QByteArray pageStatus;         // "+FPTS" / "+FPS"
    QByteArray hangup;             // "FHNG" / "FHS" (reported as "+FHNG:...")

    static Class2Vocabulary For(TFaxClass faxClass);  // Class 2.0 for fcClass2_0, else Class 2
};

// Bit rates by rate index 1..6, and their Class 2 rate codes.
inline constexpr int kRateBps[7] = {0, 2400, 4800, 7200, 9600, 12000, 14400};
// The rate code for a bit rate ("3", 9600, for anything not in the table).
char Class2RateCode(int bps);
// The bit rate of a rate code character (9600 for anything else).
int BpsOfRateCode(char code);

}  // namespace orv
