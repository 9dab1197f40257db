#include "platform/lock.h"

#include <windows.h>

namespace platform {

// Heap-held, because a critical section must not move once initialised.
struct Lock::Native {
    CRITICAL_SECTION section;
};

Lock::Lock() : native_(std::make_unique<Native>()) { InitializeCriticalSection(&native_->section); }
Lock::~Lock() { DeleteCriticalSection(&native_->section); }

void Lock::enter() { EnterCriticalSection(&native_->section); }
void Lock::leave() { LeaveCriticalSection(&native_->section); }

}  // namespace platform
