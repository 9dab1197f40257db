// The Windows backend of the serial device services: devices are COM ports, found through the
// DOS device names and named as Device Manager names them.
#include <windows.h>
// After windows.h: the ports class's GUID is defined here, not only declared.
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <map>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/serial_devices.h"
#include "platform/network_address.h"
#include "platform/serial_port_table.h"

namespace devices {
namespace {

std::string upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// 1 to 255 for "COM1" to "COM255" (any case), 0 for anything else.
int comNumber(const std::string& name)
{
    const std::string text = upper(name);
    if (text.size() < 4 || text.compare(0, 3, "COM") != 0) return 0;
    int number = 0;
    for (size_t i = 3; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])) || number > 255) return 0;
        number = number * 10 + (text[i] - '0');
    }
    return number >= 1 && number <= 255 ? number : 0;
}

std::string systemMessage(DWORD code)
{
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "system error " + std::to_string(code) : message;
}

// What the DOS device name stands for (\Device\Serial0), or "" if there is no such device.
std::string target(const std::string& name)
{
    char buffer[1024] = {};
    if (QueryDosDeviceA(name.c_str(), buffer, sizeof buffer) == 0) return "";
    return buffer;
}

// Whether COM<n> is there: a DOS device name for it, or else a device that opens or is busy
// (Wine opens COM ports it has no DOS device name for).
bool present(const std::string& device)
{
    if (!target(device).empty()) return true;
    const std::string path = "\\\\.\\" + device;
    HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port != INVALID_HANDLE_VALUE) {
        CloseHandle(port);
        return true;
    }
    const DWORD cause = GetLastError();
    return cause == ERROR_ACCESS_DENIED || cause == ERROR_SHARING_VIOLATION;
}

// A text property of a device as the device manager keeps it, or "".
std::string deviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property)
{
    char text[512] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(set, &device, property, &type, reinterpret_cast<BYTE*>(text),
                                           sizeof text - 1, nullptr) ||
        type != REG_SZ) {
        return "";
    }
    return text;
}

// 0403:6001 from an instance id such as FTDIBUS\VID_0403+PID_6001+A10K1ABCA\0000, "" without one.
std::string usbIdOf(const std::string& instanceId)
{
    const std::string text = upper(instanceId);
    const size_t vendor = text.find("VID_");
    const size_t product = text.find("PID_");
    if (vendor == std::string::npos || product == std::string::npos) return "";
    std::string id = text.substr(vendor + 4, 4) + ":" + text.substr(product + 4, 4);
    std::transform(id.begin(), id.end(), id.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return id;
}

// The present devices of the ports class, by their COM name: what Device Manager shows under
// "Ports (COM & LPT)", with the maker it names.
std::map<std::string, Entry> portsClassDevices()
{
    std::map<std::string, Entry> found;
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return found;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) continue;
        char portName[32] = {};
        DWORD size = sizeof portName - 1;
        DWORD type = 0;
        const LONG read = RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(portName), &size);
        RegCloseKey(key);
        const int number = read == ERROR_SUCCESS && type == REG_SZ ? comNumber(portName) : 0;
        if (number == 0) continue;
        Entry entry;
        entry.device = "COM" + std::to_string(number);
        entry.description = deviceProperty(set, device, SPDRP_FRIENDLYNAME);
        entry.maker = deviceProperty(set, device, SPDRP_MFG);
        char instanceId[512] = {};
        if (SetupDiGetDeviceInstanceIdA(set, &device, instanceId, sizeof instanceId, nullptr)) {
            entry.usbId = usbIdOf(instanceId);
        }
        found[entry.device] = entry;
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

std::vector<std::string> dosDeviceNames()
{
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const DWORD length = QueryDosDeviceA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length != 0) break;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || buffer.size() >= 16 * 1024 * 1024) return {};
        buffer.resize(buffer.size() * 2);
    }
    std::vector<std::string> names;
    for (const char* name = buffer.data(); *name; name += std::strlen(name) + 1) names.emplace_back(name);
    return names;
}

}  // namespace

bool choosePort(const std::string& given, int linkNumber, PortChoice& choice, std::string& error)
{
    if (platform::namesNetworkLine(given)) return chooseNetworkPort(given, linkNumber, choice, error);
    std::string name = given;
    if (name.rfind("\\\\.\\", 0) == 0) name = name.substr(4);
    const int number = comNumber(name);
    if (number == 0) {
        error = "'" + given + "' is no COM port; give one such as COM3 (COM1 to COM255), or a mount on the "
                              "network as tcp://HOST:PORT";
        return false;
    }
    choice.number = number;
    choice.device = "COM" + std::to_string(number);
    return true;
}

// COM ports open by their own names; only a network line needs the port table.
void bindPort(const PortChoice& choice)
{
    if (choice.network) platform::mapSerialPort(choice.number, choice.device);
}

OpenProblem diagnoseOpenFailure(const std::string& device)
{
    const std::string path = "\\\\.\\" + device;
    HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port != INVALID_HANDLE_VALUE) {
        CloseHandle(port);
        return {OpenProblem::Unknown, "it opens now; it may have been busy for a moment"};
    }
    const DWORD cause = GetLastError();
    switch (cause) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return {OpenProblem::Missing, systemMessage(cause)};
    // Windows refuses a second opener of a COM port with "access denied".
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return {OpenProblem::Busy, systemMessage(cause)};
    default:
        return {OpenProblem::Unknown, systemMessage(cause)};
    }
}

std::string explain(const OpenProblem& problem, const std::string& device)
{
    switch (problem.kind) {
    case OpenProblem::Missing:
        return "There is no " + device +
               ". Check that the USB-serial adapter or cable is plugged in and its driver installed "
               "(Device Manager, Ports (COM & LPT)), then run 'guide-link ports' to see the COM ports this "
               "machine has.";
    case OpenProblem::Busy:
        return device + " is in use by another program (another guide-link, the tester, a planetarium or "
               "guiding program, a terminal program). Close it and try again.";
    case OpenProblem::PermissionDenied:
        return "You may not open " + device + " (" + problem.detail + ").";
    case OpenProblem::NotSerial:
        return device + " is not a serial port. Run 'guide-link ports' to see the COM ports this machine has.";
    case OpenProblem::Unknown:
        break;
    }
    return device + " could not be opened as a serial line at 9600 baud (" + problem.detail +
           "). Try again; if it keeps failing, unplug the adapter and plug it back in.";
}

std::vector<Entry> list(const std::vector<std::string>& extra, const DeviceRoots& /*roots*/)
{
    std::vector<Entry> found;
    const std::map<std::string, Entry> managed = portsClassDevices();
    for (const std::string& name : dosDeviceNames()) {
        const int number = comNumber(name);
        if (number == 0) continue;
        const std::string device = "COM" + std::to_string(number);
        if (std::any_of(found.begin(), found.end(), [&](const Entry& e) { return e.device == device; })) continue;
        // Device Manager's name where it has one, else what the DOS name stands for.
        const auto known = managed.find(device);
        if (known != managed.end() && !known->second.description.empty()) {
            found.push_back(known->second);
        } else {
            found.push_back(plainEntry(device, target(device), true));
        }
    }
    std::sort(found.begin(), found.end(), [](const Entry& a, const Entry& b) { return naturalLess(a.device, b.device); });

    std::vector<std::pair<std::string, std::string>> named;
    for (const std::string& device : extra) named.emplace_back(device, "named with --extra-port");
    if (const char* variable = std::getenv(kExtraPortsVariable)) {
        for (const std::string& device : splitList(variable, ';')) {
            named.emplace_back(device, std::string("named in ") + kExtraPortsVariable);
        }
    }
    for (const auto& entry : named) {
        const int number = comNumber(entry.first);
        const std::string device = number ? "COM" + std::to_string(number) : entry.first;
        if (std::any_of(found.begin(), found.end(), [&](const Entry& e) { return e.device == device; })) continue;
        found.push_back(plainEntry(device, entry.second, present(device)));
    }
    return found;
}

}  // namespace devices
