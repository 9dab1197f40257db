#include "support/ReceiveWithin.h"

#include <thread>

#include "platform/event.h"

Received receiveWithin(platform::SerialPort& port, std::size_t count, int timeoutMs)
{
    platform::Event stop(platform::EventReset::Manual);
    platform::Event received(platform::EventReset::Manual);
    std::thread timer([&] {
        if (received.wait(timeoutMs) != platform::WaitResult::Signalled) stop.set();
    });
    Received got{"", platform::SerialReadOutcome::Data};
    unsigned char buffer[64];
    while (got.bytes.size() < count) {
        const platform::SerialReadResult result = port.read(buffer, sizeof buffer, stop);
        got.ended = result.outcome;
        if (result.outcome != platform::SerialReadOutcome::Data) break;
        got.bytes.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(result.count));
    }
    received.set();
    timer.join();
    return got;
}
