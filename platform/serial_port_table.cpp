#include "platform/serial_port_table.h"

#include <map>
#include <mutex>

namespace platform {
namespace {

std::mutex& tableLock()
{
    static std::mutex lock;
    return lock;
}

std::map<int, std::string>& table()
{
    static std::map<int, std::string> entries;
    return entries;
}

}  // namespace

void mapSerialPort(int portNumber, const std::string& devicePath)
{
    std::lock_guard<std::mutex> hold(tableLock());
    table()[portNumber] = devicePath;
}

std::string serialDevicePath(int portNumber)
{
    std::lock_guard<std::mutex> hold(tableLock());
    auto entry = table().find(portNumber);
    if (entry != table().end()) return entry->second;
    return "/dev/ttyS" + std::to_string(portNumber - 1);
}

}  // namespace platform
