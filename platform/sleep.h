#pragma once

namespace platform {

// Suspends the calling thread for about ms milliseconds.
void sleepMs(int ms);

}  // namespace platform
