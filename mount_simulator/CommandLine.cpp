#include "mount_simulator/CommandLine.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>

namespace {

bool readWholeNumber(const char* text, int& value)
{
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || number < 0 || number > INT_MAX) return false;
    value = static_cast<int>(number);
    return true;
}

// [HOST:]PORT, HOST an IPv6 address in brackets if it has colons of its own.
bool readListenAddress(const std::string& text, std::string& host, int& port)
{
    const size_t colon = text.rfind(':');
    std::string portText = text;
    if (colon != std::string::npos) {
        host = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
        if (host.empty()) return false;
    }
    return readWholeNumber(portText.c_str(), port) && port <= 65535;
}

bool readSeconds(const char* text, double& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text, &end);
    return errno == 0 && end != text && *end == '\0' && value > 0;
}

}  // namespace

CommandLine::Outcome CommandLine::parse(int argc, char** argv, std::string& error)
{
    auto invalid = [&error](std::string reason) {
        error = std::move(reason);
        return Outcome::Invalid;
    };
    bool silent = false;
    bool replying = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") return Outcome::ShowHelp;
        if (option == "--version") return Outcome::ShowVersion;
        if (option == "--silent") {
            silent = true;
            behaviour.answers = MountBehaviour::Answers::Silent;
            continue;
        }
        if (option == "--tcp") {
            if (i + 1 == argc) return invalid(option + " needs a value");
            tcp = true;
            const char* value = argv[++i];
            if (!readListenAddress(value, tcpHost, tcpPort)) {
                return invalid("invalid value for --tcp: '" + std::string(value) + "' (give PORT or HOST:PORT)");
            }
            continue;
        }
        if (option != "--device" && option != "--reply" && option != "--delay" && option != "--byte-gap" &&
            option != "--noise" && option != "--drop-after") {
            return invalid("unknown option " + option);
        }
        if (i + 1 == argc) return invalid(option + " needs a value");
        const char* value = argv[++i];
        bool valid = true;
        if (option == "--device") {
            device = value;
            valid = !device.empty();
        } else if (option == "--reply") {
            replying = true;
            behaviour.answers = MountBehaviour::Answers::Replaced;
            behaviour.replacement = value;
        } else if (option == "--delay") {
            valid = readWholeNumber(value, behaviour.delayMs);
        } else if (option == "--byte-gap") {
            valid = readWholeNumber(value, behaviour.byteGapMs);
        } else if (option == "--noise") {
            valid = readWholeNumber(value, noiseBytesPerSecond);
        } else {
            valid = readSeconds(value, dropAfterSeconds);
        }
        if (!valid) return invalid("invalid value for " + option + ": '" + value + "'");
    }
    if (silent && replying) return invalid("--silent and --reply exclude each other");
    if (tcp && !device.empty()) return invalid("--device and --tcp exclude each other");
    return Outcome::Run;
}

const char* CommandLine::helpText()
{
    return R"(Usage: lx200-mount-sim [OPTIONS]

Pretends to be a Meade LX200 telescope mount on a serial line, so you can try
the guide-link tester without a telescope. It answers the tester's handshake
as a mount would (sidereal time :GS#, right ascension :GR#, declination :GD#),
takes guide pulses (:Mn# :Ms# :Mw# :Me#) and their stops (:Qn# :Qs# :Qw# :Qe#)
without a word, as a real mount does, and prints each command it receives and
each answer it sends, timed in seconds since it started:

     2.513  :GS#
     2.514  -> 01:23:45#

By default it opens a pseudo-terminal of its own and first prints its path:

  Mount simulator listening on /dev/pts/4

Point the tester at that path. With --tcp it serves the mount over TCP
instead, as a mount with a WiFi or network module does:

  $ lx200-mount-sim --tcp 4030
  Mount simulator listening on tcp://127.0.0.1:4030
  $ guide-link check tcp://127.0.0.1:4030

guide-link.exe under Wine connects the same way. To try the Windows tester's
dialog under Wine, join a COM port to the simulator through a pair of
terminals made by socat:

  $ socat pty,raw,echo=0,link=/tmp/mount-pc pty,raw,echo=0,link=/tmp/mount-scope &
  $ ln -s /tmp/mount-pc ~/.wine/dosdevices/com1
  $ lx200-mount-sim --device /tmp/mount-scope

then connect the tester to COM1.

Options:
  --device PATH       serve this serial device, such as one end of a socat
                      pair, instead of a pseudo-terminal of its own
  --tcp [HOST:]PORT   serve the mount over TCP on PORT (0: any free one), on
                      loopback unless HOST is named (0.0.0.0 for every
                      interface), one client at a time
  --silent            answer nothing, like a mount that is switched off
  --reply TEXT        answer every get-command (such as :GS#) with TEXT instead
                      of the real answer, to see how the tester takes a wrong
                      one: '12:34.5#' (a time in the short format, which it
                      does not accept), '!' or '!#'
  --delay MS          wait MS milliseconds before each answer
  --byte-gap MS       send answers one character at a time, MS milliseconds
                      apart, like a slow or busy mount
  --noise BYTES_PER_SECOND
                      send random bytes all the time at this rate, like a
                      noisy cable
  --drop-after SECONDS
                      close the line after SECONDS (fractions allowed), as if
                      the cable were pulled, and quit
  --help              show this text
  --version           show the version

The options combine; --silent and --reply exclude each other, and so do
--device and --tcp. Stop the
simulator with Ctrl+C.
)";
}
