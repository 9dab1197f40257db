// The POSIX backend of the serial device services: devices are paths under /dev.
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/serial_devices.h"
#include "platform/serial_port_table.h"

namespace fs = std::filesystem;

namespace devices {
namespace {

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

std::string groupOf(const struct stat& info)
{
    const group* owner = ::getgrgid(info.st_gid);
    return owner ? owner->gr_name : std::to_string(info.st_gid);
}

// ttyS0 to ttyS31 exist whether or not a UART answers there; the kernel records the type of
// the UART it found, 0 for none.
bool isRealBuiltInPort(const std::string& name, const DeviceRoots& roots)
{
    std::ifstream type(roots.sys + "/class/tty/" + name + "/type");
    int uartType = 0;
    if (type >> uartType) return uartType != 0;
    return fs::exists(roots.sys + "/class/tty/" + name + "/device");
}

// The first line of a sysfs attribute, or "" if there is none.
std::string attribute(const fs::path& directory, const char* name)
{
    std::ifstream file(directory / name);
    std::string value;
    std::getline(file, value);
    return value;
}

// What a USB serial device says of itself: the kernel keeps its descriptors in the USB device's
// directory, above the tty's and its interface's.
void describeUsbDevice(const std::string& name, const DeviceRoots& roots, Entry& entry)
{
    std::error_code ignored;
    fs::path directory = fs::canonical(roots.sys + "/class/tty/" + name + "/device", ignored);
    const fs::path top = fs::canonical(roots.sys, ignored);
    for (; !directory.empty() && directory != top && directory != directory.parent_path();
         directory = directory.parent_path()) {
        const std::string vendor = attribute(directory, "idVendor");
        if (vendor.empty()) continue;
        entry.maker = attribute(directory, "manufacturer");
        entry.product = attribute(directory, "product");
        entry.serialNumber = attribute(directory, "serial");
        entry.usbId = vendor + ":" + attribute(directory, "idProduct");
        return;
    }
}

std::string describe(const std::string& name)
{
    if (startsWith(name, "ttyUSB")) return "USB serial adapter";
    if (startsWith(name, "ttyACM")) return "USB serial device (CDC ACM)";
    if (startsWith(name, "ttyAMA")) return "on-board UART";
    if (startsWith(name, "ttyS")) return "built-in serial port";
    if (startsWith(name, "cu.")) return "serial device";
    return "serial device";
}

bool isSystemSerialName(const std::string& name, const DeviceRoots& roots)
{
    if (startsWith(name, "ttyUSB") || startsWith(name, "ttyACM") || startsWith(name, "ttyAMA")) return true;
    if (startsWith(name, "ttyS") && name.size() > 4 && std::isdigit(static_cast<unsigned char>(name[4]))) {
        return isRealBuiltInPort(name, roots);
    }
    // macOS: the call-out devices are the ones to open without waiting for a carrier.
    return startsWith(name, "cu.") && name != "cu.Bluetooth-Incoming-Port";
}

}  // namespace

bool choosePort(const std::string& given, int linkNumber, PortChoice& choice, std::string& error)
{
    if (platform::namesNetworkLine(given)) return chooseNetworkPort(given, linkNumber, choice, error);
    if (given.empty()) {
        error = "the port is empty; give a device such as /dev/ttyUSB0";
        return false;
    }
    if ((given.size() > 3 && (given.compare(0, 3, "COM") == 0 || given.compare(0, 3, "com") == 0)) &&
        std::all_of(given.begin() + 3, given.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) {
        error = given + " is a Windows name; here serial ports are devices such as /dev/ttyUSB0 or /dev/ttyS0 "
                        "('guide-link ports' lists them)";
        return false;
    }
    // A bare name such as ttyUSB0 is the device of that name under /dev.
    choice.device = given.find('/') == std::string::npos ? "/dev/" + given : given;
    choice.number = linkNumber;
    return true;
}

void bindPort(const PortChoice& choice) { platform::mapSerialPort(choice.number, choice.device); }

OpenProblem diagnoseOpenFailure(const std::string& device)
{
    struct stat info{};
    if (::stat(device.c_str(), &info) != 0) {
        return {errno == EACCES ? OpenProblem::PermissionDenied : OpenProblem::Missing, std::strerror(errno)};
    }
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int cause = errno;
        switch (cause) {
        case EACCES:
        case EPERM:
            return {OpenProblem::PermissionDenied, groupOf(info)};
        case EBUSY:
            return {OpenProblem::Busy, std::strerror(cause)};
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return {OpenProblem::Missing, std::strerror(cause)};
        default:
            return {OpenProblem::Unknown, std::strerror(cause)};
        }
    }
    OpenProblem problem{OpenProblem::Unknown, "it opens now; it may have been busy for a moment"};
    if (!::isatty(fd)) {
        problem = {OpenProblem::NotSerial, "not a terminal device"};
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        problem = {OpenProblem::Busy, "another program holds its lock"};
    }
    ::close(fd);
    return problem;
}

std::string explain(const OpenProblem& problem, const std::string& device)
{
    switch (problem.kind) {
    case OpenProblem::Missing:
        return "There is no device " + device +
               ". Check that the USB-serial adapter or cable is plugged in (unplugging it makes its "
               "device vanish), then run 'guide-link ports' to see the serial devices this machine has.";
    case OpenProblem::PermissionDenied:
        return "You may not open " + device + (problem.detail.empty() ? "" : " (it belongs to group '" + problem.detail + "')") +
               ". Serial devices belong to the 'dialout' group on Debian and Ubuntu and to 'uucp' on Arch: "
               "run 'sudo usermod -aG dialout $USER' (or uucp), then log out and back in.";
    case OpenProblem::Busy:
        return device + " is in use by another program (another guide-link, the tester, a planetarium or "
               "guiding program, a terminal program such as screen or minicom, ModemManager or gpsd). "
               "Close it and try again; 'fuser -v " + device + "' shows which program holds it.";
    case OpenProblem::NotSerial:
        return device + " is not a serial device. Run 'guide-link ports' to see the serial devices this machine has.";
    case OpenProblem::Unknown:
        break;
    }
    return device + " could not be opened as a serial line at 9600 baud (" + problem.detail +
           "). Try again; if it keeps failing, unplug the adapter and plug it back in.";
}

std::vector<Entry> list(const std::vector<std::string>& extra, const DeviceRoots& roots)
{
    std::vector<Entry> found;
    // Stable names first, so each device they lead to is listed under its stable name.
    std::error_code ignored;
    const fs::path byId = roots.dev + "/serial/by-id";
    for (const auto& link : fs::directory_iterator(byId, ignored)) {
        const fs::path target = fs::canonical(link.path(), ignored);
        if (target.empty()) continue;
        Entry entry;
        entry.device = target.string();
        entry.stableName = link.path().string();
        entry.description = describe(target.filename().string());
        found.push_back(entry);
    }
    for (const auto& node : fs::directory_iterator(roots.dev, ignored)) {
        const std::string name = node.path().filename().string();
        if (!isSystemSerialName(name, roots)) continue;
        const std::string device = node.path().string();
        const bool known = std::any_of(found.begin(), found.end(), [&](const Entry& e) { return e.device == device; });
        if (!known) found.push_back(plainEntry(device, describe(name), true));
    }
    std::sort(found.begin(), found.end(), [](const Entry& a, const Entry& b) { return naturalLess(a.device, b.device); });

    std::vector<std::pair<std::string, std::string>> named;
    for (const std::string& device : extra) named.emplace_back(device, "named with --extra-port");
    if (const char* variable = std::getenv(kExtraPortsVariable)) {
        for (const std::string& device : splitList(variable, ':')) {
            named.emplace_back(device, std::string("named in ") + kExtraPortsVariable);
        }
    }
    for (const auto& [device, origin] : named) {
        const bool known = std::any_of(found.begin(), found.end(), [&, d = device](const Entry& e) {
            return e.device == d || e.stableName == d;
        });
        if (known) continue;
        struct stat info{};
        found.push_back(plainEntry(device, origin, ::stat(device.c_str(), &info) == 0));
    }
    for (Entry& entry : found) {
        entry.accessible = entry.present && ::access(entry.device.c_str(), R_OK | W_OK) == 0;
        if (entry.present) describeUsbDevice(fs::path(entry.device).filename().string(), roots, entry);
    }
    return found;
}

}  // namespace devices
