#pragma once

#include <memory>
#include <string>

#include "platform/event.h"
#include "platform/serial.h"

namespace platform {

// The serving end of network lines, as a mount on the network offers them: listens on a TCP
// port and hands over each connection as a network line, read and written as a serial port.
class NetworkListener {
public:
    // Listens on host (a name or address; "" for loopback) and port (0 for one the system picks).
    // Null, with the reason in error, if that cannot be.
    static std::unique_ptr<NetworkListener> listen(const std::string& host, int port, std::string& error);

    ~NetworkListener();
    NetworkListener(const NetworkListener&) = delete;
    NetworkListener& operator=(const NetworkListener&) = delete;

    // Where to connect: tcp://127.0.0.1:4030.
    const std::string& address() const { return address_; }

    // Waits for the next connection. Null if stop came first (noticed within 50 ms) or if the
    // listener failed, which failed then says.
    std::unique_ptr<SerialPort> accept(Event& stop, bool& failed);

    struct Native;
    NetworkListener(std::unique_ptr<Native> native, std::string address);

private:
    std::unique_ptr<Native> native_;
    std::string address_;
};

}  // namespace platform
