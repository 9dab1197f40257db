#pragma once

#include <mutex>

#include "platform/lock.h"

#include "platform/event.h"

namespace platform {

// A self-pipe: the read end is readable exactly while the event is signalled, so the event can
// be polled together with a device. The flag under the mutex keeps one byte in the pipe at most.
struct Event::Native {
    EventReset reset;
    Lock mutex;  // with priority inheritance: ordinary threads set what timing threads wait on
    bool signalled = false;
    int readFd = -1;
    int writeFd = -1;

    bool valid() const { return readFd >= 0; }
    // Consumes the signal of an automatic event that a poll found readable; false if another
    // waiter took it first.
    bool claim();
};

}  // namespace platform
