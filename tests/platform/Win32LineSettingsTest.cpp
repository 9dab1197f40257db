// The settings the Win32 backend asks of a serial line, made from current settings that are
// wrong for an LX200 line in one way or another: the five that the mount fixes must come out as
// it needs them, and every other field exactly as the device had it.
#include "platform/win32/line_settings.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/CaseName.h"

namespace {

// A port as a driver might leave it: 8N1 at 19200 baud, no flow control.
DCB freshPort()
{
    DCB d{};
    d.DCBlength = sizeof d;
    d.BaudRate = CBR_19200;
    d.fBinary = TRUE;
    d.fDtrControl = DTR_CONTROL_ENABLE;
    d.fRtsControl = RTS_CONTROL_ENABLE;
    d.ByteSize = 8;
    d.Parity = NOPARITY;
    d.StopBits = ONESTOPBIT;
    d.XonLim = 2048;
    d.XoffLim = 512;
    d.XonChar = 0x11;
    d.XoffChar = 0x13;
    return d;
}

struct SettingsCase {
    const char* what;
    void (*spoil)(DCB&);
};

void PrintTo(const SettingsCase& c, std::ostream* out) { *out << c.what; }

const SettingsCase kCases[] = {
    {"a fresh port", [](DCB&) {}},
    {"two stop bits", [](DCB& d) { d.StopBits = TWOSTOPBITS; }},
    {"one and a half stop bits", [](DCB& d) { d.StopBits = ONE5STOPBITS; }},
    {"even parity checked", [](DCB& d) {
         d.Parity = EVENPARITY;
         d.fParity = TRUE;
     }},
    {"odd parity", [](DCB& d) { d.Parity = ODDPARITY; }},
    {"mark parity", [](DCB& d) { d.Parity = MARKPARITY; }},
    {"parity checked without a parity bit", [](DCB& d) { d.fParity = TRUE; }},
    {"7 data bits", [](DCB& d) { d.ByteSize = 7; }},
    {"115200 baud", [](DCB& d) { d.BaudRate = CBR_115200; }},
    {"hardware flow control on", [](DCB& d) {
         d.fOutxCtsFlow = TRUE;
         d.fOutxDsrFlow = TRUE;
         d.fRtsControl = RTS_CONTROL_HANDSHAKE;
         d.fDtrControl = DTR_CONTROL_HANDSHAKE;
         d.fDsrSensitivity = TRUE;
     }},
    {"software flow control on", [](DCB& d) {
         d.fOutX = TRUE;
         d.fInX = TRUE;
         d.fTXContinueOnXoff = TRUE;
     }},
    {"errors replaced and aborting", [](DCB& d) {
         d.fErrorChar = TRUE;
         d.ErrorChar = '?';
         d.fAbortOnError = TRUE;
         d.fNull = TRUE;
     }},
    {"everything wrong at once", [](DCB& d) {
         d.BaudRate = CBR_2400;
         d.ByteSize = 7;
         d.Parity = ODDPARITY;
         d.fParity = TRUE;
         d.StopBits = TWOSTOPBITS;
         d.fOutxCtsFlow = TRUE;
         d.fRtsControl = RTS_CONTROL_HANDSHAKE;
         d.fOutX = TRUE;
     }},
};

class LineSettingsTest : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(LineSettingsTest, ComeOutAsTheMountNeedsThem)
{
    DCB current = freshPort();
    GetParam().spoil(current);
    const DCB line = platform::lineSettingsFor(current);

    EXPECT_EQ(line.BaudRate, static_cast<DWORD>(CBR_9600));
    EXPECT_EQ(line.ByteSize, 8);
    EXPECT_EQ(line.Parity, NOPARITY);
    EXPECT_FALSE(line.fParity) << "parity checking";
    EXPECT_EQ(line.StopBits, ONESTOPBIT);

    // Put back the five fields the mount fixes: what remains must be the device's, bit for bit.
    DCB rest = line;
    rest.BaudRate = current.BaudRate;
    rest.ByteSize = current.ByteSize;
    rest.Parity = current.Parity;
    rest.fParity = current.fParity;
    rest.StopBits = current.StopBits;
    EXPECT_EQ(std::memcmp(&rest, &current, sizeof rest), 0) << "a field the device chose was changed";
}

INSTANTIATE_TEST_SUITE_P(FromCurrentSettings, LineSettingsTest, ::testing::ValuesIn(kCases), CaseName());

}  // namespace
