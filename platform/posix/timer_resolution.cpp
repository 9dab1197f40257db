#include "platform/timer_resolution.h"

namespace platform {

FineTimerResolution::FineTimerResolution() = default;

FineTimerResolution::~FineTimerResolution() = default;

}  // namespace platform
