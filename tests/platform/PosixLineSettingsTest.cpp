// The settings the POSIX backend asks of a serial line, made from current settings that are
// wrong for an LX200 line in one way or another: each must come out as the mount needs it, and
// flow control and modem lines exactly as the device had them.
#include "platform/posix/line_settings.h"

#include <gtest/gtest.h>

#include "support/CaseName.h"

namespace {

// A freshly opened terminal: cooked, echoing, at 38400 baud, no flow control.
termios freshTerminal()
{
    termios t{};
    t.c_iflag = ICRNL | IXANY;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = CS8 | CREAD | HUPCL;
    t.c_lflag = ECHO | ECHOE | ECHOK | ICANON | ISIG | IEXTEN;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B38400);
    cfsetospeed(&t, B38400);
    return t;
}

struct SettingsCase {
    const char* what;
    void (*spoil)(termios&);
};

void PrintTo(const SettingsCase& c, std::ostream* out) { *out << c.what; }

const SettingsCase kCases[] = {
    {"a fresh cooked terminal", [](termios&) {}},
    {"two stop bits", [](termios& t) { t.c_cflag |= CSTOPB; }},
    {"even parity checked", [](termios& t) {
         t.c_cflag |= PARENB;
         t.c_iflag |= INPCK | PARMRK | ISTRIP;
     }},
    {"odd parity", [](termios& t) { t.c_cflag |= PARENB | PARODD; }},
    {"mark parity", [](termios& t) { t.c_cflag |= PARENB | PARODD | CMSPAR; }},
    {"parity checked without a parity bit", [](termios& t) { t.c_iflag |= INPCK; }},
    {"7 data bits", [](termios& t) { t.c_cflag = (t.c_cflag & ~CSIZE) | CS7; }},
    {"5 data bits", [](termios& t) { t.c_cflag = (t.c_cflag & ~CSIZE) | CS5; }},
    {"115200 baud", [](termios& t) {
         cfsetispeed(&t, B115200);
         cfsetospeed(&t, B115200);
     }},
    {"different speeds in and out", [](termios& t) {
         cfsetispeed(&t, B1200);
         cfsetospeed(&t, B4800);
     }},
    {"receiver off", [](termios& t) { t.c_cflag &= ~CREAD; }},
    {"a read timer and no minimum", [](termios& t) {
         t.c_cc[VMIN] = 0;
         t.c_cc[VTIME] = 10;
     }},
    {"CR and LF translated, breaks as signals", [](termios& t) {
         t.c_iflag |= INLCR | IGNCR | BRKINT | IGNBRK;
         t.c_lflag |= ECHONL;
     }},
    {"hardware flow control on", [](termios& t) { t.c_cflag |= CRTSCTS; }},
    {"software flow control on", [](termios& t) { t.c_iflag |= IXON | IXOFF; }},
    {"modem lines ignored and kept up at close", [](termios& t) {
         t.c_cflag |= CLOCAL;
         t.c_cflag &= ~HUPCL;
     }},
    {"everything wrong at once", [](termios& t) {
         t.c_cflag = (t.c_cflag & ~(CSIZE | CREAD)) | CS7 | CSTOPB | PARENB | PARODD | CRTSCTS | CLOCAL;
         t.c_iflag |= INPCK | ISTRIP | IXON | IXOFF;
         t.c_cc[VMIN] = 0;
         t.c_cc[VTIME] = 5;
         cfsetispeed(&t, B2400);
         cfsetospeed(&t, B57600);
     }},
};

class LineSettingsTest : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(LineSettingsTest, ComeOutAsTheMountNeedsThem)
{
    termios current = freshTerminal();
    GetParam().spoil(current);
    const termios line = platform::lineSettingsFor(current);

    EXPECT_EQ(cfgetispeed(&line), static_cast<speed_t>(B9600));
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B9600));
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8)) << "data bits";
    EXPECT_EQ(line.c_cflag & CSTOPB, 0u) << "two stop bits";
    EXPECT_EQ(line.c_cflag & (PARENB | PARODD | CMSPAR), 0u) << "parity bit";
    EXPECT_EQ(line.c_iflag & (INPCK | PARMRK | ISTRIP), 0u) << "parity checking or stripping";
    EXPECT_NE(line.c_cflag & CREAD, 0u) << "receiver";

    // Raw bytes: nothing translated, echoed, edited or turned into a signal.
    EXPECT_EQ(line.c_iflag & (IGNBRK | BRKINT | INLCR | IGNCR | ICRNL), 0u);
    EXPECT_EQ(line.c_oflag & OPOST, 0u);
    EXPECT_EQ(line.c_lflag & (ECHO | ECHONL | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(line.c_cc[VMIN], 1);
    EXPECT_EQ(line.c_cc[VTIME], 0);

    // The device's own choices.
    constexpr tcflag_t kDeviceControl = CRTSCTS | CLOCAL | HUPCL;
    constexpr tcflag_t kDeviceInput = IXON | IXOFF | IXANY;
    EXPECT_EQ(line.c_cflag & kDeviceControl, current.c_cflag & kDeviceControl) << "flow control or modem lines";
    EXPECT_EQ(line.c_iflag & kDeviceInput, current.c_iflag & kDeviceInput) << "software flow control";
}

INSTANTIATE_TEST_SUITE_P(FromCurrentSettings, LineSettingsTest, ::testing::ValuesIn(kCases), CaseName());

}  // namespace
