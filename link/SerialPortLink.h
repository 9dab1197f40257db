#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "link/SerialReader.h"
#include "link/iSerialPortLink.h"
#include "platform/event.h"
#include "platform/serial.h"

class ControlPipe;
class iLinkObserver;

// The link's serial port: opening and configuring it, writing LX200 commands, the serial reader
// that feeds received bytes into the control pipe, and closing it. Frame reader thread only,
// except setObserver.
class SerialPortLink final : public iSerialPortLink {
public:
    static constexpr int kCommandLimit = 30;
    static constexpr int kWriteWaitMs = 1000;
    static constexpr int kReaderStopWaitMs = 10000;
    // How long shutdown gives each serial reader: it notices its stop within about 200 ms.
    static constexpr int kReaderEndAtShutdownMs = 1000;

    // readerStopWaitMs is how long closePort waits for the serial reader (tests shorten it).
    explicit SerialPortLink(ControlPipe& pipe, int readerStopWaitMs = kReaderStopWaitMs);
    ~SerialPortLink();
    SerialPortLink(const SerialPortLink&) = delete;
    SerialPortLink& operator=(const SerialPortLink&) = delete;

    bool openPort(int port) override;
    void startReader() override;
    bool sendCommand(const char* text) override;
    void closePort() override;

    // Stops every serial reader and closes the port, sending nothing. Frames that readers queue
    // meanwhile are discarded, so only once the frame reader has ended for good. True once
    // every reader has ended; a reader that did not end in time is left to end with the
    // process, and then this object and the pipe must never be destroyed.
    bool shutDown();

    // Any thread, any time: the observer (null for none) sees the commands written and the bytes
    // read from then on. Not owned; it must outlive shutDown, or be replaced before it goes and
    // no call to it be running (a call can be in progress while it is replaced).
    void setObserver(iLinkObserver* watcher) { observer.store(watcher); }

private:
    // Discards what is queued and lets the device go, even while a stray reader holds on.
    void releasePort();

    ControlPipe& controlPipe;
    const int readerStopWaitMs;
    std::atomic<iLinkObserver*> observer{nullptr};
    std::shared_ptr<platform::SerialPort> port;
    platform::Event writeDoneEvent{platform::EventReset::Automatic};
    std::unique_ptr<SerialReader> reader;
    // Readers that did not end within closePort's wait (a full control pipe can hold one);
    // they keep their share of the port object, whose device is closed all the same, and are
    // waited for at shutdown.
    std::vector<std::unique_ptr<SerialReader>> strayReaders;
};
