#include "platform/serial_devices.h"

#include <cctype>
#include <cstdlib>

#include "platform/network_address.h"
#include "platform/serial_port_table.h"

namespace devices {

const char* problemName(OpenProblem::Kind kind)
{
    switch (kind) {
    case OpenProblem::Missing:
        return "missing";
    case OpenProblem::PermissionDenied:
        return "permission-denied";
    case OpenProblem::Busy:
        return "busy";
    case OpenProblem::NotSerial:
        return "not-serial";
    case OpenProblem::Unknown:
        break;
    }
    return "cannot-open";
}

Entry plainEntry(const std::string& device, const std::string& description, bool present)
{
    Entry entry;
    entry.device = device;
    entry.description = description;
    entry.present = present;
    return entry;
}

bool namesNetworkLine(const std::string& given) { return platform::namesNetworkLine(given); }

bool chooseNetworkPort(const std::string& given, int linkNumber, PortChoice& choice, std::string& error)
{
    platform::NetworkAddress address;
    if (!platform::parseNetworkAddress(given, address, error)) return false;
    choice.number = linkNumber;
    choice.device = given;
    choice.network = true;
    return true;
}

std::string explainNetworkFailure(const PortChoice& choice)
{
    const platform::OpenFailure failure = platform::openFailure(choice.number);
    const std::string what = failure.reason.empty() ? "the connection failed" : failure.reason;
    std::string advice;
    switch (failure.kind) {
    case platform::OpenFailure::HostNotFound:
        advice = "Check the spelling of the host, or give the mount's IP address instead.";
        break;
    case platform::OpenFailure::Refused:
        advice = "The host answered, but not on that port: check the port number in the mount's network "
                 "settings (9999 and 4030 are common), and that its network service is switched on.";
        break;
    case platform::OpenFailure::NoAnswer:
        advice = "Check that the mount is switched on and on the same network as this machine (its WiFi joined, "
                 "its cable plugged in), and that the address is right.";
        break;
    case platform::OpenFailure::Unknown:
    case platform::OpenFailure::CannotConnect:
        advice = "Check the address, and that the mount is on the network.";
        break;
    }
    std::string sentence = what + ".";
    sentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sentence[0])));
    return sentence + " " + advice;
}

const char* networkFailureName(const PortChoice& choice)
{
    switch (platform::openFailure(choice.number).kind) {
    case platform::OpenFailure::HostNotFound:
        return "host-not-found";
    case platform::OpenFailure::Refused:
        return "refused";
    case platform::OpenFailure::NoAnswer:
        return "no-answer";
    case platform::OpenFailure::Unknown:
    case platform::OpenFailure::CannotConnect:
        break;
    }
    return "cannot-connect";
}

bool naturalLess(const std::string& a, const std::string& b)
{
    auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            size_t iEnd = i, jEnd = j;
            while (iEnd < a.size() && digit(a[iEnd])) ++iEnd;
            while (jEnd < b.size() && digit(b[jEnd])) ++jEnd;
            const unsigned long x = std::strtoul(a.substr(i, iEnd - i).c_str(), nullptr, 10);
            const unsigned long y = std::strtoul(b.substr(j, jEnd - j).c_str(), nullptr, 10);
            if (x != y) return x < y;
            i = iEnd;
            j = jEnd;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

std::vector<std::string> splitList(const std::string& list, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(separator, start);
        if (end == std::string::npos) end = list.size();
        if (end > start) parts.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

}  // namespace devices
