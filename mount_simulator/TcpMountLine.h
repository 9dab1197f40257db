#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "mount_simulator/MountLine.h"

// A mount line on TCP, as a mount with a network module or a serial server in front of one
// offers it: the simulator listens, and serves one client at a time; others wait in the queue
// until the one before has gone. A client that goes is no failure of the line: the next one is
// taken. Bytes written while no client is there are lost, as on a cable with nothing at its end.
class TcpMountLine final : public MountLine {
public:
    // Listens on host (a name or address; "" for loopback) and port (0 for one the system picks).
    // Null, with the reason in error, if that cannot be.
    static std::unique_ptr<TcpMountLine> listen(const std::string& host, int port, std::string& error);

    TcpMountLine(int listenerFd, std::string address);
    ~TcpMountLine() override;
    TcpMountLine(const TcpMountLine&) = delete;
    TcpMountLine& operator=(const TcpMountLine&) = delete;

    // Where the tester connects: tcp://127.0.0.1:4030.
    const std::string& address() const { return address_; }

    platform::SerialReadResult read(unsigned char* buffer, int capacity, platform::Event& stop) override;
    bool write(const unsigned char* bytes, int count) override;

private:
    // Waits for the next client; false if stop came first or the listener failed (then gone).
    bool acceptClient(platform::Event& stop, bool& gone);
    void dropClient();

    const int listenerFd_;
    const std::string address_;
    // Only the reader takes and drops clients; the writer uses the client under the lock.
    std::mutex clientLock_;
    int clientFd_ = -1;
};
