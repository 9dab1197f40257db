#pragma once

#include <string>
#include <vector>

// The serial devices of this machine as guide-link names them, finds them and explains why one
// could not be opened. One backend per system: paths under /dev on POSIX, COM ports on Windows.
namespace devices {

// The environment variable that names further devices for `ports`, separated as PATH is.
constexpr const char* kExtraPortsVariable = "GUIDE_LINK_EXTRA_PORTS";

// A serial port as the link opens it: COM<number>, which on POSIX stands for device.
struct PortChoice {
    int number = 0;
    std::string device;    // as the user gave it, for messages: /dev/ttyUSB0, COM3, tcp://HOST:PORT
    bool network = false;  // a mount on the network, reached by TCP: no baud rate, no framing
};

// Reads PORT as given on the command line: a device path or a name under /dev on POSIX, COM1
// to COM255 on Windows, tcp://HOST:PORT on both. False, with the reason in error, for what
// cannot be a port here. linkNumber is the number the device or the network address gets in the
// link's port table, where it needs one.
bool choosePort(const std::string& given, int linkNumber, PortChoice& choice, std::string& error);

// Makes COM<choice.number> stand for choice.device where devices have paths, and for a network
// address everywhere.
void bindPort(const PortChoice& choice);

// Why a serial device could not be opened, found by trying it again.
struct OpenProblem {
    enum Kind {
        Missing,           // no such device
        PermissionDenied,  // the user may not open it
        Busy,              // another program has it
        NotSerial,         // it is there, but is no serial line
        Unknown,           // it opens now; or something else went wrong
    };
    Kind kind = Unknown;
    std::string detail;  // the system's words, or the group that owns the device
};
OpenProblem diagnoseOpenFailure(const std::string& device);

// What to tell the user about problem with device: one sentence of cause, then what to do.
std::string explain(const OpenProblem& problem, const std::string& device);

// Why the network line that choice names could not be opened, and what to do about it; and a
// short name for it, for scripts: "host-not-found", "refused", "no-answer", "cannot-connect".
std::string explainNetworkFailure(const PortChoice& choice);
const char* networkFailureName(const PortChoice& choice);
// A short name for problem, for scripts: "missing", "permission-denied", "busy", ...
const char* problemName(OpenProblem::Kind kind);

struct Entry {
    std::string device;       // what to give guide-link: /dev/ttyUSB0, COM3
    std::string stableName;   // a name that survives replugging (/dev/serial/by-id/...), or ""
    // What kind of device it is (on Windows as Device Manager names it), or where it was named.
    std::string description;
    bool present = true;
    bool accessible = true;   // the user may open it for reading and writing
    // What the device says of itself, where the system tells ("" where not): the maker and
    // product as their USB descriptors give them, its serial number, and the USB vendor and
    // product ids (0403:6001).
    std::string maker;
    std::string product;
    std::string serialNumber;
    std::string usbId;
};

// An entry that says no more of device than description.
Entry plainEntry(const std::string& device, const std::string& description, bool present);

// Where the POSIX backend looks for devices (/dev) and for what they say of themselves (/sys);
// tests point them at a tree of their own. Windows asks the system and does not use them.
struct DeviceRoots {
    std::string dev = "/dev";
    std::string sys = "/sys";
};

// The serial devices found on this machine, then those in extra (named on the command line)
// and in GUIDE_LINK_EXTRA_PORTS, each once, in a natural order.
std::vector<Entry> list(const std::vector<std::string>& extra, const DeviceRoots& roots = DeviceRoots());

// True for PORT that names a mount on the network: tcp://...
bool namesNetworkLine(const std::string& given);

// Shared by the backends: reads tcp://HOST:PORT as choosePort does.
bool chooseNetworkPort(const std::string& given, int linkNumber, PortChoice& choice, std::string& error);
// Orders COM2 before COM10 (runs of digits compare as numbers), and
// splits a list at separator, dropping empty parts.
bool naturalLess(const std::string& a, const std::string& b);
std::vector<std::string> splitList(const std::string& list, char separator);

}  // namespace devices
