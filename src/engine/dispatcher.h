#pragma once
// The serial port dispatcher: a handle-based procedural layer over the port
// table. OpenPort returns a handle 1..50; every other operation takes it first
// and returns 0 (or a count) on success and a negative result code otherwise,
// -1001 for a handle that names no open port.
//
// Each open port runs one poll()-driven I/O thread. It reads the device into
// the 8192-byte receive ring, writes the transmit ring out, counts timers in
// 55 ms ticks, and fires triggers:
//   avail (handle 1)       enough unreported bytes arrived        0x7E01
//   data match             a registered string arrived            0x7E02
//   timer                  an armed timer expired                 0x7E03
//   status (types 1..5)    modem lines, line errors, output ring  0x7E04
// Handlers attached with AttachTriggerSink get every trigger: procedure
// handlers are called on the I/O thread itself (the fax state machines run
// there), window handlers on their QObject's thread through a queued call the
// I/O thread waits for at most 1000 ms. While a trigger is delivered, or while
// a caller holds dispatch (SetDispatchHold), no trigger is checked, so a
// caller can poll the rings undisturbed. PostToPort/CallOnPort run any
// callable on the I/O thread between trigger passes.
//
// A device that goes away (hang-up, unplug, I/O error) becomes line error
// kLineDeviceLost: the device is closed at once, line-error triggers fire,
// timers keep running, and sending fails with -3004 until ClosePort.
#include "engine/port_types.h"
#include "engine/serial_device.h"
#include "engine/ticks.h"
#include "engine/triggers.h"

#include <QString>
#include <functional>
#include <memory>

class QObject;

namespace orv {

struct PortOptions {
    std::shared_ptr<SerialDevice> device;  // null: a TtySerialDevice
    std::shared_ptr<TickClock> clock;      // null: DefaultTickClock()
};

// ---- open and close --------------------------------------------------------------
int OpenPort(const QString& device, int dispatcherMode, int inSize, int outSize, int dataBits, int stopBits,
             int parity, int32_t baud, const PortOptions& options = {});
// Stops the I/O thread (cooperatively, at once) and closes the device. Called
// from inside a trigger handler of the port, the close happens when the
// handler returns.
int ClosePort(int port);
bool PortIsOpen(int port);
QString PortDeviceName(int port);

// ---- data --------------------------------------------------------------------------
int SendByte(int port, uint8_t byte);
// All or nothing: -3006 when the transmit ring has less room; -3004 when the device is gone.
int SendBlock(int port, const void* bytes, size_t count);
int SendText(int port, const QByteArray& text);
// Like SendText, but the text goes out pauseMs after everything queued before
// it has been written (a modem's pause before a command). Nobody waits: the
// I/O thread holds the text back meanwhile, and what is queued after it
// follows it. DiscardOutput drops the pause with the bytes.
int SendTextAfterPause(int port, const QByteArray& text, int pauseMs);
bool HasInput(int port);
int TakeByte(int port);                              // the byte, or -3007 when empty
int TakeBlock(int port, void* buffer, size_t max);   // bytes taken (traced like TakeByte)
int PeekByte(int port, int n);                       // the n-th unread byte, n from 1; -3007
int InputCount(int port);
int OutputCount(int port);
int OutputSpace(int port);
int DiscardInput(int port);
int DiscardOutput(int port);
// Waits until the transmit ring has gone out to the device (at most
// timeoutMs); returns the bytes still waiting. From a handler on the port's
// I/O thread it writes them itself, so a handler can put a real pause between
// two things it sends (a modem's escape guard time).
int DrainOutput(int port, int timeoutMs);
// Blocks (without busy waiting) until input is waiting, the device is lost,
// the port closes or timeoutMs passes; returns InputCount.
int WaitForInput(int port, int timeoutMs);

// ---- line ----------------------------------------------------------------------------
int SetLineParams(int port, int32_t baud, int parity, int dataBits, int stopBits);
int GetLineParams(int port, int32_t* baud, int* parity, int* dataBits, int* stopBits);
int SetModemLines(int port, bool dtr, bool rts);
int ReadModemStatus(int port);   // the MSR byte, delta bits against the previous read
int CarrierPresent(int port);    // 1 or 0
int ReadLineErrors(int port);    // accumulated flags, then cleared (kLineDeviceLost stays)
bool DeviceLost(int port);       // the device went away; true for a closed handle too
int SetHardwareFlow(int port, int bufferFull, int bufferResume, unsigned options);
int SetSoftwareFlow(int port, int bufferFull, int bufferResume, int options);
int SetXonXoffChars(int port, uint8_t xon, uint8_t xoff);
// The flow-control marks the options imply: for hardware options, a BufferFull
// of 0 or above inSize becomes 90 % of inSize and a BufferResume of 0 or above
// BufferFull 10 %; for software options 75 % and 25 %. Nothing changes without options.
void DefaultFlowLimits(bool hardware, bool anyOption, int inSize, int* bufferFull, int* bufferResume);
LineSettings CurrentLineSettings(int port);

// ---- triggers ---------------------------------------------------------------------------
int NewTimerTrigger(int port);
int NewStatusTrigger(int port, int type);
int NewDataTrigger(int port, const QByteArray& match, bool ignoreCase);
int ArmTimerTrigger(int port, int trigger, int32_t ticks, bool enable);
int ArmStatusTrigger(int port, int trigger, uint32_t value, bool enable);
int DropTrigger(int port, int trigger);
int SetAvailLevel(int port, int level);
int GetAvailLevel(int port);
int TriggerKind(int port, int trigger);        // 2 timer, 3 data, 4 status, 0 none
int StatusTriggerType(int port, int trigger);  // 1..5, 0
// The trigger tables, kept by the component across a close.
int SaveTriggers(int port, TriggerTables* tables);
int RestoreTriggers(int port, const TriggerTables& tables);

// Returns a sink id (> 0) for DetachTriggerSink. Handlers are called in the
// order they were attached. A window must be detached, and its port closed or
// its last delivery finished, before the window object is destroyed. A window
// with a filter gets only the triggers the filter accepts; the others go on to
// the next handler at once.
int AttachTriggerSink(int port, TriggerProc procedure);
int AttachTriggerSink(int port, QObject* window, TriggerProc handler, TriggerFilter filter = {});
int DetachTriggerSink(int port, int sink);

// ---- the I/O thread -----------------------------------------------------------------------
// Queues fn to run on the port's I/O thread after the current trigger pass (also
// while dispatch is held). 0 or -1001.
int PostToPort(int port, std::function<void()> fn);
// Runs fn on the I/O thread and waits for it (at once when called there). The
// wait runs no event loop, on the application's main thread neither: nothing
// of the caller's (a window handler that closes or deletes) runs meanwhile. A
// window trigger the I/O thread delivers then reaches its handler after the
// call, late but not lost. -1001 when the port closed before fn ran.
int CallOnPort(int port, std::function<void()> fn);
// Runs one full trigger check on the I/O thread and waits for it: after a
// ManualTickClock advance, every timer due has fired when this returns.
int SyncTriggers(int port);
bool OnPortThread(int port);

// ---- clients --------------------------------------------------------------------------------
int ParkClientData(int port, int slot, void* data);
int FetchClientData(int port, int slot, void** data);
int SetBusy(int port, bool busy);
int IsBusy(int port);
// Sets or clears the hold; returns the previous value (1 or 0). Setting it
// from another thread waits until a procedure handler running on the I/O
// thread has returned.
int SetDispatchHold(int port, bool hold);
uint32_t PortTicks(int port);  // the port clock's tick count

// ---- trace and log ----------------------------------------------------------------------------
int CreateTrace(int port, int entries);
int WriteTraceFile(int port, const QString& file, bool append, bool hex);
int ResetTrace(int port);
int ResumeTrace(int port);
int PauseTrace(int port);
int DiscardTrace(int port);
int CreateDispatchLog(int port, int bytes);
int WriteDispatchLog(int port, const QString& file, bool append, bool hex);
int ResetDispatchLog(int port);
int ResumeDispatchLog(int port);
int PauseDispatchLog(int port);
int DiscardDispatchLog(int port);
// Appends an entry to the port's log (when logging is on).
int AddLogEntry(int port, uint8_t type, uint8_t subType, uint16_t data, const QByteArray& extra = {});

}  // namespace orv
