#pragma once

#include <atomic>
#include <memory>

#include "platform/event.h"
#include "platform/serial.h"
#include "platform/thread.h"

class ControlPipe;
class iLinkObserver;

// The thread that reads an open port and forwards what arrives into the control pipe as data
// frames. It shares the port, so a reader that misses its deadline can never find the port
// closed under it; it ends within about 200 ms of requestStop unless a full pipe holds it.
// Each piece it reads is shown first to the link's observer of the moment, if there is one.
class SerialReader {
public:
    SerialReader(std::shared_ptr<platform::SerialPort> port, ControlPipe& pipe,
                 const std::atomic<iLinkObserver*>& observer);
    // The thread must have ended: the owner waits for it before letting go, or abandons it.
    ~SerialReader();
    SerialReader(const SerialReader&) = delete;
    SerialReader& operator=(const SerialReader&) = delete;

    bool start();
    void requestStop();
    bool waitForEnd(int timeoutMs);
    // Gives up on a thread that did not end: it runs on with this object, which must then never
    // be destroyed.
    void abandon() { thread.abandon(); }

private:
    static void run(void* self);
    void forwardUntilStopped();

    std::shared_ptr<platform::SerialPort> port;
    ControlPipe& pipe;
    const std::atomic<iLinkObserver*>& observer;
    platform::Event stopEvent{platform::EventReset::Manual};
    platform::Thread thread;
};
