#include "engine/fax_port.h"

#include "engine/com_port.h"

namespace orv {

void ApplyFaxPortSettings(TOrvCustomComPort& port) {
    port.SetDataBits(8);
    port.SetStopBits(1);
    port.SetParity(pNone);
    port.SetBaud(19200);
    port.SetInSize(8192);
    port.SetOutSize(8192);
    port.SetHWFlowOptions({hwfUseRTS, hwfRequireCTS});
}

}  // namespace orv
