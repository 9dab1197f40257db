#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "mount_simulator/MountLine.h"
#include "platform/network_listener.h"

// A mount line on TCP, as a mount with a network module or a serial server in front of one
// offers it: the simulator listens and serves one client at a time; others wait in the queue
// until the one before has gone. A client that goes is no failure of the line: the next one is
// taken. Bytes written while no client is there are lost, as on a cable with nothing at its end.
class TcpMountLine final : public MountLine {
public:
    // Listens on host (a name or address; "" for loopback) and port (0 for one the system picks).
    // Null, with the reason in error, if that cannot be.
    static std::unique_ptr<TcpMountLine> listen(const std::string& host, int port, std::string& error);

    explicit TcpMountLine(std::unique_ptr<platform::NetworkListener> listener);

    // Where the tester connects: tcp://127.0.0.1:4030.
    const std::string& address() const { return listener_->address(); }

    platform::SerialReadResult read(unsigned char* buffer, int capacity, platform::Event& stop) override;
    bool write(const unsigned char* bytes, int count) override;

private:
    std::unique_ptr<platform::NetworkListener> listener_;
    // Only the reader takes and lets go of clients; the writer holds its own share while it
    // writes, so a client is never destroyed under a write.
    std::mutex clientLock_;
    std::shared_ptr<platform::SerialPort> client_;
    platform::Event writeDone_{platform::EventReset::Manual};
};
