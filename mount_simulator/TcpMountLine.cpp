#include "mount_simulator/TcpMountLine.h"

namespace {

// A client that takes nothing for this long is not reading.
constexpr int kWriteWaitMs = 1000;

}  // namespace

std::unique_ptr<TcpMountLine> TcpMountLine::listen(const std::string& host, int port, std::string& error)
{
    std::unique_ptr<platform::NetworkListener> listener = platform::NetworkListener::listen(host, port, error);
    if (!listener) return nullptr;
    return std::make_unique<TcpMountLine>(std::move(listener));
}

TcpMountLine::TcpMountLine(std::unique_ptr<platform::NetworkListener> listener) : listener_(std::move(listener)) {}

platform::SerialReadResult TcpMountLine::read(unsigned char* buffer, int capacity, platform::Event& stop)
{
    for (;;) {
        std::shared_ptr<platform::SerialPort> client;
        {
            std::lock_guard<std::mutex> hold(clientLock_);
            client = client_;
        }
        if (!client) {
            bool failed = false;
            client = listener_->accept(stop, failed);
            if (!client) {
                return {failed ? platform::SerialReadOutcome::LineGone : platform::SerialReadOutcome::Stopped, 0};
            }
            std::lock_guard<std::mutex> hold(clientLock_);
            client_ = client;
        }
        const platform::SerialReadResult got = client->read(buffer, capacity, stop);
        if (got.outcome != platform::SerialReadOutcome::LineGone) return got;
        // The client went: the line stays, for the next one.
        std::lock_guard<std::mutex> hold(clientLock_);
        client_.reset();
    }
}

bool TcpMountLine::write(const unsigned char* bytes, int count)
{
    std::shared_ptr<platform::SerialPort> client;
    {
        std::lock_guard<std::mutex> hold(clientLock_);
        client = client_;
    }
    // A client that has gone is the reader's to notice; for the line it is no failure.
    if (!client) return true;
    return client->write(bytes, count, writeDone_, kWriteWaitMs, platform::NetworkWrite::Taken) !=
           platform::SerialWriteResult::TimedOut;
}
