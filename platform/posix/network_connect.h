#pragma once

#include <string>

#include "platform/network_address.h"
#include "platform/serial_port_table.h"

namespace platform {

// Connects to address within kConnectLimitMs, trying each of the host's addresses in turn, and
// returns the socket: non-blocking, close-on-exec, each write sent at once (TCP_NODELAY). On
// failure returns -1, with what happened in failure.
int connectToMount(const NetworkAddress& address, OpenFailure& failure);

}  // namespace platform
