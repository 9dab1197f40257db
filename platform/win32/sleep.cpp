#include "platform/sleep.h"

#include <windows.h>

namespace platform {

// A negative time would turn into INFINITE; it means no sleep at all.
void sleepMs(int ms) { Sleep(ms > 0 ? static_cast<DWORD>(ms) : 0); }

}  // namespace platform
