#pragma once

#include <memory>
#include <string>

#include "platform/network_address.h"
#include "platform/serial.h"
#include "platform/serial_port_table.h"

namespace platform {

// Connects to address within kConnectLimitMs, trying each of the host's addresses in turn, and
// returns the socket, close-on-exec, for networkLineOn. On failure returns -1, with what
// happened in failure.
int connectToMount(const NetworkAddress& address, OpenFailure& failure);

// A network line on a connected socket, which it takes over: made non-blocking, and each write
// sent at once (TCP_NODELAY) rather than held back for more bytes to join it.
std::unique_ptr<SerialPort> networkLineOn(int fd);

}  // namespace platform
