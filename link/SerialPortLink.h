#pragma once

#include <memory>
#include <vector>

#include "link/SerialReader.h"
#include "link/iSerialPortLink.h"
#include "platform/event.h"
#include "platform/serial.h"

class ControlPipe;

// The link's serial port: opening and configuring it, writing LX200 commands, the serial reader
// that feeds received bytes into the control pipe, and closing it. Frame reader thread only.
class SerialPortLink final : public iSerialPortLink {
public:
    static constexpr int kCommandLimit = 30;
    static constexpr int kWriteWaitMs = 1000;
    static constexpr int kReaderStopWaitMs = 10000;

    explicit SerialPortLink(ControlPipe& pipe);
    ~SerialPortLink();
    SerialPortLink(const SerialPortLink&) = delete;
    SerialPortLink& operator=(const SerialPortLink&) = delete;

    bool openPort(int port) override;
    void startReader() override;
    bool sendCommand(const char* text) override;
    void closePort() override;

    // Stops every serial reader and closes the port, sending nothing. Frames that readers queue
    // meanwhile are discarded, so only once the frame reader has ended for good.
    void shutDown();

private:
    ControlPipe& controlPipe;
    std::shared_ptr<platform::SerialPort> port;
    platform::Event writeDoneEvent{platform::EventReset::Automatic};
    std::unique_ptr<SerialReader> reader;
    // Readers that did not end within closePort's wait (a full control pipe can hold one);
    // they hold their own port and are waited for at shutdown.
    std::vector<std::unique_ptr<SerialReader>> strayReaders;
};
