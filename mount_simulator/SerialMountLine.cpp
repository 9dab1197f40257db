#include "mount_simulator/SerialMountLine.h"

namespace {

// At 9600 baud a byte takes about a millisecond; the allowance covers a slow start of the device.
constexpr int kWriteAllowanceMs = 1000;

}  // namespace

std::unique_ptr<MountLine> SerialMountLine::open(int portNumber)
{
    std::unique_ptr<platform::SerialPort> port = platform::SerialPort::open(portNumber);
    if (!port) return nullptr;
    return std::make_unique<SerialMountLine>(std::move(port));
}

SerialMountLine::SerialMountLine(std::unique_ptr<platform::SerialPort> port) : port_(std::move(port)) {}

platform::SerialReadResult SerialMountLine::read(unsigned char* buffer, int capacity, platform::Event& stop)
{
    return port_->read(buffer, capacity, stop);
}

bool SerialMountLine::write(const unsigned char* bytes, int count)
{
    return port_->write(bytes, count, writeDone_, kWriteAllowanceMs + count) == platform::SerialWriteResult::Completed;
}
