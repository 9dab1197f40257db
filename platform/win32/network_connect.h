#pragma once

#include <winsock2.h>

#include <string>

#include "platform/network_address.h"
#include "platform/serial_port_table.h"

namespace platform {

// Connects to address within kConnectLimitMs, trying each of the host's addresses in turn, and
// returns the socket: blocking, open for overlapped reads and writes, each write sent at once
// (TCP_NODELAY). On failure returns INVALID_SOCKET, with what happened in failure.
SOCKET connectToMount(const NetworkAddress& address, OpenFailure& failure);

}  // namespace platform
