#include "link/SerialPortLink.h"

#include <cstring>

#include "link/ControlPipe.h"
#include "link/iLinkObserver.h"
#include "platform/deadline.h"
#include "platform/thread.h"

namespace {
// How long shutdown lets a reader run between two emptyings of the control pipe.
constexpr int kDrainPeriodMs = 20;
}

SerialPortLink::SerialPortLink(ControlPipe& pipe, int readerStopWaitMs)
    : controlPipe(pipe), readerStopWaitMs(readerStopWaitMs)
{
}

SerialPortLink::~SerialPortLink() { shutDown(); }

bool SerialPortLink::openPort(int portNumber)
{
    port = platform::SerialPort::open(portNumber);
    return port != nullptr;
}

void SerialPortLink::startReader()
{
    auto started = std::make_unique<SerialReader>(port, controlPipe, observer);
    if (started->start()) reader = std::move(started);
}

bool SerialPortLink::sendCommand(const char* text)
{
    if (!port) return false;
    const int length = static_cast<int>(strnlen(text, kCommandLimit));
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    // The clock is read only for an observer.
    iLinkObserver* watcher = observer.load();
    using Clock = iLinkObserver::Clock;
    const Clock::time_point startedAt = watcher ? Clock::now() : Clock::time_point{};
    // On a network line a stop must reach the mount; a move or a question need only leave, and
    // waiting for the mount's acknowledgement, which it may hold back, would delay the move.
    const platform::NetworkWrite until =
        text[1] == 'Q' ? platform::NetworkWrite::Acknowledged : platform::NetworkWrite::Taken;
    Clock::time_point sentAt;
    const bool ok = port->write(bytes, length, writeDoneEvent, kWriteWaitMs, until, &sentAt) ==
                    platform::SerialWriteResult::Completed;
    if (watcher) watcher->commandWritten(text, length, startedAt, sentAt, ok);
    return ok;
}

void SerialPortLink::closePort()
{
    if (reader) {
        reader->requestStop();
        if (!reader->waitForEnd(readerStopWaitMs)) strayReaders.push_back(std::move(reader));
        reader.reset();
    }
    releasePort();
}

bool SerialPortLink::shutDown()
{
    if (reader) strayReaders.push_back(std::move(reader));
    bool allEnded = true;
    for (auto& stray : strayReaders) {
        stray->requestStop();
        const platform::Deadline deadline(kReaderEndAtShutdownMs);
        bool ended;
        while (!(ended = stray->waitForEnd(kDrainPeriodMs)) && !deadline.passed()) controlPipe.discardWaiting();
        if (!ended) {
            // It runs on with its reader object, which therefore stays allocated.
            stray->abandon();
            static_cast<void>(stray.release());
            allEnded = false;
        }
    }
    strayReaders.clear();
    releasePort();
    return allEnded;
}

void SerialPortLink::releasePort()
{
    if (!port) return;
    port->purge();
    port->close();
    port.reset();
}
