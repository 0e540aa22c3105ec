#pragma once
// The device under a port: what the I/O thread and the dispatcher operations
// do to the serial line. TtySerialDevice is the real one (a tty opened with
// O_NOCTTY, locked with TIOCEXCL and flock, set up with termios); tests derive
// from it to play faults (failing writes, modem lines that change, a device
// that disappears) on a real pseudo-terminal.
#include "engine/port_types.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <sys/types.h>

namespace orv {

// Hardware line-error counters since the device was opened.
struct LineCounts {
    uint32_t overrun = 0, parity = 0, framing = 0, brk = 0;
};

class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // Opens path for exclusive use. 0, or -2001 (no such device), -2008 (in use
    // by another program), -2012 (no permission), or minus the system error.
    virtual int Open(const QString& path) = 0;
    virtual void Close() = 0;
    // The descriptor the I/O thread polls; -1 when closed.
    virtual int Fd() const = 0;
    // Bytes read or written, or minus errno (-EAGAIN: nothing now).
    virtual ssize_t Read(uint8_t* buffer, size_t count) = 0;
    virtual ssize_t Write(const uint8_t* bytes, size_t count) = 0;
    // 0, -2002 (baud), -2003 (data bits) or -3002 (the driver refused).
    virtual int ApplyLine(const LineSettings& line) = 0;
    // 0 or -3002 (ecNotSupported: e.g. a pseudo-terminal has no modem lines).
    virtual int SetModemLines(bool dtr, bool rts) = 0;
    // CTS, DSR, RI and DCD as the high nibble of an MSR byte; 0 or -3002.
    virtual int ReadModemLines(uint8_t* lines) = 0;
    // 0 or -3002.
    virtual int ReadLineCounts(LineCounts* counts) = 0;
    // Throws away what the driver holds for input and/or output.
    virtual void Purge(bool input, bool output) = 0;
};

// The code for an errno from opening a serial device.
int SerialOpenErrorCode(int err);

class TtySerialDevice : public SerialDevice {
public:
    ~TtySerialDevice() override;
    int Open(const QString& path) override;
    void Close() override;
    int Fd() const override { return fd_; }
    ssize_t Read(uint8_t* buffer, size_t count) override;
    ssize_t Write(const uint8_t* bytes, size_t count) override;
    int ApplyLine(const LineSettings& line) override;
    int SetModemLines(bool dtr, bool rts) override;
    int ReadModemLines(uint8_t* lines) override;
    int ReadLineCounts(LineCounts* counts) override;
    void Purge(bool input, bool output) override;

    // Unix98 pseudo-terminals (modem simulators) have no frame settings.
    bool PseudoTerminal() const { return pseudoTerminal_; }

private:
    int fd_ = -1;
    bool pseudoTerminal_ = false;
};

}  // namespace orv
