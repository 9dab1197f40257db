#pragma once

#include <memory>
#include <string>

#include "platform/network_address.h"
#include "platform/serial.h"
#include "platform/serial_port_table.h"

namespace platform {

// Connects to address within limitMs, trying each of the host's addresses in turn, and returns
// the socket, close-on-exec, for networkLineOn. On failure returns -1, with what happened in
// failure.
int connectToMount(const NetworkAddress& address, OpenFailure& failure, int limitMs = kConnectLimitMs);

// Sets a connected socket up as a network line: each write sent at once, and a mount that falls
// silent noticed within seconds (platform/silent_drop.h), whether the line is idle or writing.
void configureConnection(int fd);

// A network line on a connected socket, which it takes over: made non-blocking and configured.
std::unique_ptr<SerialPort> networkLineOn(int fd);

}  // namespace platform
