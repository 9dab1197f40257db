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

std::map<int, OpenFailure>& failures()
{
    static std::map<int, OpenFailure> reasons;
    return reasons;
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

bool networkAddressOf(int portNumber, NetworkAddress& address)
{
    std::string ignored;
    const std::string path = serialDevicePath(portNumber);
    return namesNetworkLine(path) && parseNetworkAddress(path, address, ignored);
}

void noteOpenFailure(int portNumber, const OpenFailure& failure)
{
    std::lock_guard<std::mutex> hold(tableLock());
    failures()[portNumber] = failure;
}

OpenFailure openFailure(int portNumber)
{
    std::lock_guard<std::mutex> hold(tableLock());
    auto entry = failures().find(portNumber);
    return entry == failures().end() ? OpenFailure{} : entry->second;
}

}  // namespace platform
