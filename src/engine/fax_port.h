#pragma once
// The line settings a fax session needs on its port: 8 data bits, no parity,
// 1 stop bit, 19200 baud, 8192-byte buffers (the page pump needs at least
// that much room), RTS/CTS flow control. The fax components apply them to the
// port they are linked to; orvfax does the same.
namespace orv {

class TOrvCustomComPort;

void ApplyFaxPortSettings(TOrvCustomComPort& port);

}  // namespace orv
