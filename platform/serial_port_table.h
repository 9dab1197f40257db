#pragma once

#include <string>

#include "platform/network_address.h"

namespace platform {

// Where serial devices have paths rather than numbers (POSIX), this table says which device
// COM<n> stands for. Unset numbers default to /dev/ttyS<n-1>, as Wine maps them. Windows opens
// COM<n> by its own name and consults the table only for network lines. Any thread; front ends
// and tests fill it.
void mapSerialPort(int portNumber, const std::string& devicePath);
std::string serialDevicePath(int portNumber);

// On every system, COM<n> mapped to tcp://HOST:PORT is a network line to that address.
bool networkAddressOf(int portNumber, NetworkAddress& address);

// Why an open failed, where the backend can tell: a network line can.
struct OpenFailure {
    enum Kind { Unknown, HostNotFound, Refused, NoAnswer, CannotConnect };
    Kind kind = Unknown;
    std::string reason;  // what happened, as a sentence without its full stop
};

// Why the last open of COM<n> failed; Unknown with no reason where the backend could not tell,
// or once an open has succeeded. Any thread.
void noteOpenFailure(int portNumber, const OpenFailure& failure);
OpenFailure openFailure(int portNumber);

}  // namespace platform
