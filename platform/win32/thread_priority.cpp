#include "platform/thread_priority.h"

#include <windows.h>

namespace platform {

bool runCallingThreadForTiming() { return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST) != 0; }

}  // namespace platform
