#include "platform/posix/line_settings.h"

namespace platform {

termios lineSettingsFor(const termios& current)
{
    termios settings = current;
    // Raw bytes: no echo, no line editing, no translation of CR/LF, no signals from the line.
    settings.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    // Parity checking off: the LX200 line carries none.
    settings.c_iflag &= ~static_cast<tcflag_t>(INPCK);
    // No parity bit sent or expected, of any kind.
    settings.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD);
#ifdef CMSPAR
    settings.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
    // 8 data bits: commands and replies are plain bytes.
    settings.c_cflag = (settings.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS8;
    // One stop bit, as the mount frames its bytes.
    settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    // The receiver on.
    settings.c_cflag |= CREAD;
    // A read waits for one byte and no timer; with the descriptor non-blocking an empty line
    // then reads as EAGAIN, so a read of 0 bytes always means the line hung up.
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    // The mount's fixed speed, both ways.
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    return settings;
}

}  // namespace platform
