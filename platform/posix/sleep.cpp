#include "platform/sleep.h"

#include <chrono>
#include <thread>

namespace platform {

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace platform
