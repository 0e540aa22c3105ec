#pragma once
// Talking to the modem outside the state machines' own states: command
// sending with its guard time, the modem dialogues (a command and its reply,
// DTR reset, hang-up with its escape guard times, baud switching, fax-class
// detection) and their blocking forms for use outside a session.
//
// The dialogues are ModemTasks (modem_task.h): a running machine drives them
// on the port's I/O thread with timers and triggers (RunDialogue), nothing
// sleeps there; tools and the components' class query run them to their end
// on the caller's thread.
//
//   FaxSession s;  s.port = handle;
//   FaxClassSupport c = QueryFaxClasses(s, false);   // what "Check Fax Class" shows
//   co_await DetectFaxClass(s, true);                // in a machine's dialogue: sets s.faxClass, or -8071
#include "engine/fax_session.h"
#include "engine/modem_task.h"

#include <QByteArray>
#include <QList>

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
// delay function (or sleeps, in slices, until a cancel). Blocking: for
// dialogues run outside a session (RunBlocking).
void FaxDelay(FaxSession& s, int ms);
void TraceFax(FaxSession& s, const QString& text);

// Sends bytes pauseMs after what was queued before them has gone out. The
// port holds them back meanwhile (nobody sleeps); a session with its own delay
// function makes the pause there first. 0, or the port's error.
int SendAfterPause(FaxSession& s, const QByteArray& bytes, int pauseMs);

// Sends a command (without CR) after its guard time, then CR; arms the
// session's reply timer (when it has one) and the local timer with the reply
// timeout. The guard time is kept by the port, which holds the command back
// (SendTextAfterPause), so the caller returns at once; only a session with
// its own delay function waits through it here. A Class 1 reception command
// has no guard time; extraPauseMs lengthens the guard time (a Class 1
// turnaround). 0, or the port's error (-3004 when the device is gone, -3006).
int SendModemCommand(FaxSession& s, const QByteArray& command, int extraPauseMs = 0);

// A command and its reply: lines are read (echoes and reports collected in
// *reports) until "OK" (0), "ERROR" (-8071), the reply timeout (-6006), a lost
// device (-3004) or the session's cancel flag (-6005). Input is flushed
// afterwards. reports must outlive the task.
ModemTask<int> ModemCommand(FaxSession& s, QByteArray command, QList<QByteArray>* reports = nullptr);
// The same on the caller's thread, triggers held, no events handled meanwhile.
int SyncCommand(FaxSession& s, const QByteArray& command, QList<QByteArray>* reports = nullptr);

// The user's init string (when set) and the default one, once per session:
// true when the modem said OK to both (modemInitialized is then set).
ModemTask<bool> SendInitStrings(FaxSession& s);

// Lets queued output go out, flushes input, drops DTR and RTS for 500 ms,
// raises them, waits 500 ms.
ModemTask<> ResetModemByDtr(FaxSession& s);

// Ends a call. The sender's way: with carrier, escape ("+++" between guard
// times) and "ATH0", resetting by DTR if the carrier stays; without, "ATH0".
// The receiver's way: DTR reset, then "+++" and "ATH". Input is flushed.
ModemTask<> HangUpModem(FaxSession& s, bool receiveSide);

// A failed call's end: the hang-up (not when the port is gone), then the init baud.
ModemTask<> EndFailedCall(FaxSession& s, bool receiveSide, bool portGone);

// Baud switching between sessions (initBaud) and during them (normalBaud);
// nothing happens without an initBaud (the task is then over at once).
ModemTask<> SwitchToNormalBaud(FaxSession& s);
ModemTask<> SwitchToInitBaud(FaxSession& s);

// "AT+FCLASS=?" and what it names. With reset, the modem is first reset by DTR
// and given the default init string (two attempts); a modem that never
// answers "OK" supports nothing. QueryFaxClasses runs it on the caller's thread.
ModemTask<FaxClassSupport> AskFaxClasses(FaxSession& s, bool reset);
FaxClassSupport QueryFaxClasses(FaxSession& s, bool reset);

// For fcUnknown/fcDetect: queries (with reset as asked) and sets faxClass to
// the best class offered (2.0, 2, 1). 0, or -8071 when the modem offers none.
// A class already chosen is kept.
ModemTask<int> DetectFaxClass(FaxSession& s, bool reset);

}  // namespace orv
