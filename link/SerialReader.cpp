#include "link/SerialReader.h"

#include "link/ControlPipe.h"
#include "link/iLinkObserver.h"

namespace {
constexpr int kReceiveBufferSize = 128;
}

SerialReader::SerialReader(std::shared_ptr<platform::SerialPort> port, ControlPipe& pipe,
                           const std::atomic<iLinkObserver*>& observer)
    : port(std::move(port)), pipe(pipe), observer(observer)
{
}

SerialReader::~SerialReader() { thread.waitForEnd(platform::kWaitForever); }

bool SerialReader::start()
{
    // A reader whose stop signal could not be made could never be stopped: better none at all.
    if (!stopEvent.valid()) return false;
    return thread.start(&SerialReader::run, this);
}

void SerialReader::requestStop() { stopEvent.set(); }

bool SerialReader::waitForEnd(int timeoutMs) { return thread.waitForEnd(timeoutMs); }

void SerialReader::run(void* self) { static_cast<SerialReader*>(self)->forwardUntilStopped(); }

void SerialReader::forwardUntilStopped()
{
    unsigned char buffer[kReceiveBufferSize] = {};
    // Looking at the stop signal before every read keeps a line that never pauses from hiding it.
    while (stopEvent.wait(0) != platform::WaitResult::Signalled) {
        const platform::SerialReadResult result = port->read(buffer, kReceiveBufferSize, stopEvent);
        switch (result.outcome) {
        case platform::SerialReadOutcome::Data:
            if (iLinkObserver* watcher = observer.load()) {
                watcher->bytesReceived(buffer, result.count, iLinkObserver::Clock::now());
            }
            pipe.forwardData(buffer, result.count);
            break;
        case platform::SerialReadOutcome::Stopped:
            return;
        case platform::SerialReadOutcome::LineGone:
            // Nothing will arrive any more; reading again would only spin.
            stopEvent.wait(platform::kWaitForever);
            return;
        }
    }
}
