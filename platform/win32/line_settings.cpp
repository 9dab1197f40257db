#include "platform/win32/line_settings.h"

namespace platform {

DCB lineSettingsFor(const DCB& current)
{
    DCB line = current;
    // The LX200 line carries no parity, so none is checked on what arrives.
    line.fParity = FALSE;
    // 8 data bits: commands and replies are plain bytes.
    line.ByteSize = 8;
    // No parity bit sent or expected.
    line.Parity = NOPARITY;
    // One stop bit, as the mount frames its bytes.
    line.StopBits = ONESTOPBIT;
    // The mount's fixed speed.
    line.BaudRate = CBR_9600;
    return line;
}

}  // namespace platform
