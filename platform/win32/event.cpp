#include "platform/event.h"

#include "platform/win32/native_event.h"
#include "platform/win32/wait_limit.h"

namespace platform {

Event::Event(EventReset reset) : native_(std::make_unique<Native>())
{
    native_->handle = CreateEventA(nullptr, reset == EventReset::Manual, FALSE, nullptr);
}

Event::~Event()
{
    if (native_->handle) CloseHandle(native_->handle);
}

bool Event::valid() const { return native_->handle != nullptr; }

void Event::set()
{
    if (native_->handle) SetEvent(native_->handle);
}

void Event::reset()
{
    if (native_->handle) ResetEvent(native_->handle);
}

WaitResult Event::wait(int timeoutMs)
{
    if (!native_->handle) return WaitResult::Failed;
    switch (WaitForSingleObject(native_->handle, waitLimit(timeoutMs))) {
    case WAIT_OBJECT_0:
        return WaitResult::Signalled;
    case WAIT_TIMEOUT:
        return WaitResult::TimedOut;
    default:
        return WaitResult::Failed;
    }
}

FirstOfTwo Event::waitForFirst(Event& first, Event& second, int timeoutMs)
{
    if (!first.native_->handle || !second.native_->handle) return FirstOfTwo::Failed;
    // With several signalled, the wait reports the lowest index: the first event wins.
    const HANDLE both[2] = {first.native_->handle, second.native_->handle};
    switch (WaitForMultipleObjects(2, both, FALSE, waitLimit(timeoutMs))) {
    case WAIT_OBJECT_0:
        return FirstOfTwo::First;
    case WAIT_OBJECT_0 + 1:
        return FirstOfTwo::Second;
    case WAIT_TIMEOUT:
        return FirstOfTwo::TimedOut;
    default:
        return FirstOfTwo::Failed;
    }
}

}  // namespace platform
