#include "support/SerialLinePair.h"

#include <cstdlib>
#include <fstream>

#include "platform/serial_port_table.h"
#include "platform/sleep.h"

namespace {

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The script speaks in the host's paths; a Windows program under Wine reaches them through Z:.
std::string hostPath(const std::string& path)
{
#ifdef _WIN32
    std::string windowsPath = "Z:" + path;
    for (char& c : windowsPath) {
        if (c == '/') c = '\\';
    }
    return windowsPath;
#else
    return path;
#endif
}

bool exists(const std::string& path) { return std::ifstream(path).good(); }

}  // namespace

SerialLinePair::SerialLinePair() : cutRequest(environment("SERIAL_PAIR_CUT"))
{
    // Windows opens COM<n> by name; Wine follows the links the script had made for them.
    platform::mapSerialPort(kLinkPort, environment("SERIAL_PAIR_LINK"));
    platform::mapSerialPort(kMountPort, environment("SERIAL_PAIR_MOUNT"));
    platform::mapSerialPort(kAbsentPort, environment("SERIAL_PAIR_ABSENT"));
}

bool SerialLinePair::cut(int timeoutMs)
{
    if (!present()) return false;
    std::ofstream(hostPath(cutRequest)).put('\n');
    const std::string done = hostPath(cutRequest + ".done");
    constexpr int kPollMs = 20;
    for (int waited = 0; waited < timeoutMs; waited += kPollMs) {
        if (exists(done)) return true;
        platform::sleepMs(kPollMs);
    }
    return exists(done);
}
