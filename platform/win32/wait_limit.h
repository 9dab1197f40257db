#pragma once

#include <windows.h>

namespace platform {

// The Win32 wait functions take an unsigned limit; any negative time-out (kWaitForever) must
// become INFINITE rather than a wait of some 49 days.
inline DWORD waitLimit(int timeoutMs) { return timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs); }

}  // namespace platform
