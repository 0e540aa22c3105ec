#pragma once
// The session record: everything a fax session knows, with its defaults.
// One per fax component; FaxSendSession and FaxReceiveSession add the fields
// of sending and receiving. A host fills in the settings (port, class, IDs,
// timeouts, ...) before it starts a machine; while the machine runs, the
// record belongs to the port's I/O thread and the host sees its state through
// FaxProgress snapshots (fax_events.h).
#include "engine/class1_link.h"
#include "engine/fax_types.h"
#include "engine/modem_reports.h"
#include "engine/modem_task.h"
#include "engine/ticks.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

namespace orv {

// The default init string for the dialling options (blind dial, detect busy):
// X4 by default, X3 blind, X2 without busy detection, X1 blind without it.
QByteArray SelectInitString(bool blindDial, bool detectBusy);

struct FaxSession {
    virtual ~FaxSession() = default;

    // ---- settings ----
    int port = 0;                         // dispatcher handle
    TFaxClass faxClass = fcDetect;        // fcUnknown and fcDetect detect the class at start
    unsigned options = 0;                 // foAbortNoConnect, foExitOnError, foSoftwareFlow
    int statusInterval = 1;               // seconds between status reports
    QByteArray stationId;                 // 20 characters at most, upper-cased when used
    QString faxFileExt = QStringLiteral("APF");
    QByteArray defaultInit = "ATE0Q0V1X4S0=0S2=43";
    QByteArray modemInit;                 // user init string: set with SetModemInit
    int desiredBps = 9600;
    char desiredEcm = '0';
    int32_t replyTimeout = 182;           // ticks (10 s)
    int32_t pageDataTimeout = 1092;       // ticks (60 s)
    int32_t dialWait = 1092;              // ticks (60 s): dial or answer wait
    int32_t initBaud = 0;                 // 0: no baud switching
    int32_t normalBaud = 0;               // 0: the baud the port had when initBaud was set

    // Waits ms milliseconds (command guard times, escape guard, DTR drop).
    // Unset, a running machine keeps these pauses with the port's timers and
    // a blocking dialogue sleeps; tests make time pass instantly.
    std::function<void(int ms)> delay;
    // Receives a line of protocol trace (states, commands, responses); optional.
    std::function<void(const QString& text)> trace;
    // Set to cut a modem dialogue short (the init procedure of
    // FaxMachine::StartAsync on an abort, any dialogue when the port goes):
    // its waits and commands end at once.
    std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);
    bool Cancelled() const { return cancel && cancel->load(); }

    // The user init string as sent: upper-cased, at most 40 characters, "AT"
    // added unless it starts with "A"; empty stays empty.
    void SetModemInit(const QByteArray& init);
    // Sets initBaud and, when the port is open, switches to it at once.
    void SetInitBaud(int32_t baud);

    // ---- state (the running machine's) ----
    // The session's triggers on the port (0 when not allocated).
    int replyTimer = 0, statusTimer = 0, outFreeTrigger = 0, outUsedTrigger = 0, modemTrigger = 0;
    int state = 0;
    int status = 0;
    int error = 0;
    bool modemInitialized = false;
    bool initialized = false;             // the init procedure finished
    Class2Vocabulary vocab;
    SessionParams params;                 // from +FDCS / +FCS
    RemoteCaps remote;                    // from +FDIS / +FIS
    QByteArray remoteId;
    int hangupCode = 0;
    FaxClassSupport classSupport;         // the last class query
    LineAssembler line;                   // the response being assembled
    Class1Link class1;                    // Class 1: rates, frames, the T.30 exchange
    TickTimer localTimer;                 // a dialogue's reply time-out
    DialogueWait dialogueWait;            // what a suspended modem dialogue waits for
    int32_t baudBeforeInit = 0;           // the port's baud when initBaud was set

    bool IsClass2_0() const { return faxClass == fcClass2_0; }
    bool IsClass1() const { return faxClass == fcClass1; }
    bool IsClass2Family() const { return faxClass == fcClass2 || faxClass == fcClass2_0; }
};

struct FaxSendSession : FaxSession {
    // ---- settings ----
    int dialAttempts = 3;                 // 0: unlimited
    int32_t dialRetryWait = SecsToTicks(60);
    bool blindDial = false;
    bool detectBusy = true;
    bool toneDial = true;
    QByteArray dialPrefix;
    QString headerLine;                   // tags: $D $T $F $R $S $I $N $P
    QString headerSender, headerRecipient, headerTitle;
    int maxSendCount = 50;                // pieces per output-free trigger
    int bufferMinimum = 1000;             // bytes kept queued on the port
    bool safeMode = true;                 // stored; no state reads it

    // ---- the fax in progress ----
    QByteArray phoneNumber;
    QString faxFile, coverFile;
    int dialAttempt = 0;                  // attempts made for this fax
    int pageRetries = 0;                  // retransmissions of the current page
    int page = 1;                         // page of the fax file
    int totalPages = 0;                   // the fax file's PageCount
    int coverCount = 0;                   // 1 while a cover is part of the fax
    bool sendingCover = false;
    bool coverIsApf = false;
    qint64 bytesSent = 0;                 // of the page in progress, DLE doubling not counted
    qint64 bytesInPage = 0;
};

struct FaxReceiveSession : FaxSession {
    // ---- settings ----
    int answerOnRing = 1;
    bool faxAndData = false;
    bool oneFax = false;
    bool constantStatus = false;
    QString destinationDir;
    int fileNamingMode = 1;               // 1 "FAX0001.APF", 2 month/day + number, other: fixed name

    // ---- the call in progress ----
    int ringCount = 0;
    QString fileName;                     // the file being received; empty when none
    int pageMode = 3;                     // 2 next page, 3 new file, 4 end of document, 0/1 other
    int pageNumber = 0;                   // pages received into the open file, the one in progress included
    qint64 bytesOnPage = 0;
    bool firstStatusReported = false;
};

}  // namespace orv
