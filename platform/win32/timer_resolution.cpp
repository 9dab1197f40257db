#include "platform/timer_resolution.h"

#include <windows.h>
#include <timeapi.h>

namespace platform {

namespace {
constexpr UINT kResolutionMs = 1;
}

FineTimerResolution::FineTimerResolution() : granted_(timeBeginPeriod(kResolutionMs) == TIMERR_NOERROR) {}

FineTimerResolution::~FineTimerResolution()
{
    if (granted_) timeEndPeriod(kResolutionMs);
}

}  // namespace platform
