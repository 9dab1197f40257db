#pragma once

#include <windows.h>

#include "platform/event.h"

namespace platform {

// The event object itself, so the serial backend can hand it to overlapped I/O and wait on it
// together with the device. Null when the system could not create it.
struct Event::Native {
    HANDLE handle = nullptr;
};

}  // namespace platform
