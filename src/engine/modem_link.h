#pragma once
// Talking to the modem outside the state machines' own states: command
// sending with its guard time, the synchronous command (modem set-up and class
// query, run on the caller's thread while the port's triggers are held), DTR
// reset, hang-up, baud switching, and fax-class detection.
//
//   FaxSession s;  s.port = handle;
//   FaxClassSupport c = QueryFaxClasses(s, false);   // what "Check Fax Class" shows
//   int rc = DetectFaxClass(s, true);                 // sets s.faxClass, or -8071
#include "engine/fax_session.h"

#include <QByteArray>

namespace orv {

// Timing of the modem dialogue (milliseconds unless noted).
inline constexpr int kPreCommandDelayMs = 100;
inline constexpr int kPreFrameCommandDelayMs = 40;   // AT+FTH=3, AT+FRH=3, AT+FTM=, AT+FRM=
inline constexpr int kEscapeGuardMs = 1000;
inline constexpr int kDtrDropMs = 500;
inline constexpr int kBaudSwitchTicks = 9;
// The longest a pause waits for earlier output to reach the device.
inline constexpr int kDrainLimitMs = 2000;

// Lets earlier output reach the device, then waits through the session's
// delay function (or sleeps).
void FaxDelay(FaxSession& s, int ms);
void TraceFax(FaxSession& s, const QString& text);

// Sends a command (without CR) after its guard time, then CR; arms the
// session's reply timer (when it has one) and the local timer with the reply
// timeout. The guard time is kept by the port, which holds the command back
// (SendTextAfterPause), so the caller returns at once; only a session with
// its own delay function waits through it here. A Class 1 reception command
// has no guard time. 0, or the port's error (-3004 when the device is gone, -3006).
int SendModemCommand(FaxSession& s, const QByteArray& command);

// A command on the caller's thread: triggers are held, lines are read (echoes
// and reports collected in *reports) until "OK" (0), "ERROR" (-8071), the
// reply timeout (-6006), a lost device (-3004) or the session's cancel flag
// (-6005). No events are handled while waiting. Input is flushed afterwards.
int SyncCommand(FaxSession& s, const QByteArray& command, QList<QByteArray>* reports = nullptr);

// Lets queued output go out, flushes input, drops DTR and RTS for 500 ms,
// raises them, waits 500 ms.
void ResetModemByDtr(FaxSession& s);

// Ends a call. The sender's way: with carrier, escape ("+++" between guard
// times) and "ATH0", resetting by DTR if the carrier stays; without, "ATH0".
// The receiver's way: DTR reset, then "+++" and "ATH". Input is flushed.
void HangUpModem(FaxSession& s, bool receiveSide);

// Baud switching between sessions (initBaud) and during them (normalBaud);
// nothing happens without an initBaud.
void SwitchToNormalBaud(FaxSession& s);
void SwitchToInitBaud(FaxSession& s);

// "AT+FCLASS=?" and what it names. With reset, the modem is first reset by DTR
// and given the default init string (two attempts); a modem that never
// answers "OK" supports nothing.
FaxClassSupport QueryFaxClasses(FaxSession& s, bool reset);

// For fcUnknown/fcDetect: queries (with reset as asked) and sets faxClass to
// the best class offered (2.0, 2, 1). 0, or -8071 when the modem offers none.
// A class already chosen is kept.
int DetectFaxClass(FaxSession& s, bool reset);

}  // namespace orv
