#pragma once

#include <string>

namespace platform {

// Where serial devices have paths rather than numbers (POSIX), this table says which device
// COM<n> stands for. Unset numbers default to /dev/ttyS<n-1>, as Wine maps them. Windows opens
// COM<n> by its own name and does not consult the table. Any thread; front ends and tests fill it.
void mapSerialPort(int portNumber, const std::string& devicePath);
std::string serialDevicePath(int portNumber);

}  // namespace platform
