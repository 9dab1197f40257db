#pragma once

#include <memory>

#include "platform/event.h"
#include "platform/serial.h"
#include "platform/thread.h"

class ControlPipe;

// The thread that reads an open port and forwards what arrives into the control pipe as data
// frames. It shares the port, so a reader that misses its deadline can never find the port
// closed under it; it ends within about 200 ms of requestStop unless a full pipe holds it.
class SerialReader {
public:
    SerialReader(std::shared_ptr<platform::SerialPort> port, ControlPipe& pipe);
    // The thread must have ended: the owner waits for it before letting go.
    ~SerialReader();
    SerialReader(const SerialReader&) = delete;
    SerialReader& operator=(const SerialReader&) = delete;

    bool start();
    void requestStop();
    bool waitForEnd(int timeoutMs);

private:
    static void run(void* self);
    void forwardUntilStopped();

    std::shared_ptr<platform::SerialPort> port;
    ControlPipe& pipe;
    platform::Event stopEvent{platform::EventReset::Manual};
    platform::Thread thread;
};
