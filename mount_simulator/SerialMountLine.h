#pragma once

#include <memory>

#include "platform/event.h"
#include "platform/serial.h"
#include "mount_simulator/MountLine.h"

// A mount line on a serial port of the platform layer.
class SerialMountLine final : public MountLine {
public:
    // Null if COM<portNumber> cannot be opened.
    static std::unique_ptr<MountLine> open(int portNumber);

    explicit SerialMountLine(std::unique_ptr<platform::SerialPort> port);

    platform::SerialReadResult read(unsigned char* buffer, int capacity, platform::Event& stop) override;
    bool write(const unsigned char* bytes, int count) override;

private:
    std::unique_ptr<platform::SerialPort> port_;
    platform::Event writeDone_{platform::EventReset::Manual};
};
