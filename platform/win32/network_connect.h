#pragma once

#include <winsock2.h>

#include <memory>
#include <string>

#include "platform/network_address.h"
#include "platform/serial.h"
#include "platform/serial_port_table.h"

namespace platform {

// Connects to address within kConnectLimitMs, trying each of the host's addresses in turn, and
// returns the socket, blocking and open for overlapped reads and writes, for networkLineOn. On
// failure returns INVALID_SOCKET, with what happened in failure.
SOCKET connectToMount(const NetworkAddress& address, OpenFailure& failure);

// Starts Winsock for the process, once; false if it would not start.
bool winsockStarted();

// Sets a connected socket up as a network line: each write sent at once, and a mount that falls
// silent noticed within seconds (platform/silent_drop.h), as far as the system allows.
void configureConnection(SOCKET socket);

// A network line on a connected socket, which it takes over and configures. Null if the system
// could not make the line's event.
std::unique_ptr<SerialPort> networkLineOn(SOCKET socket);

}  // namespace platform
