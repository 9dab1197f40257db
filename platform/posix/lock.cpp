#include "platform/lock.h"

#include <mutex>

namespace platform {

struct Lock::Native {
    std::mutex mutex;
};

Lock::Lock() : native_(std::make_unique<Native>()) {}
Lock::~Lock() = default;

void Lock::enter() { native_->mutex.lock(); }
void Lock::leave() { native_->mutex.unlock(); }

}  // namespace platform
