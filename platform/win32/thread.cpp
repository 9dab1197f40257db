#include "platform/thread.h"

#include <windows.h>

#include <cassert>

#include "platform/win32/wait_limit.h"

namespace platform {

// Shared by the owner and the thread itself, so an abandoned thread keeps its entry and argument
// after its owner has gone. The handle is the owner's alone; null once it has let go.
struct Thread::Native {
    Entry entry = nullptr;
    void* argument = nullptr;
    HANDLE handle = nullptr;
    DWORD id = 0;
};

namespace {

DWORD WINAPI runThread(LPVOID raw)
{
    const std::unique_ptr<std::shared_ptr<Thread::Native>> native(static_cast<std::shared_ptr<Thread::Native>*>(raw));
    (*native)->entry((*native)->argument);
    return 0;
}

}  // namespace

Thread::Thread() = default;

Thread::~Thread()
{
    assert(settled_ && "a started thread must be waited for or abandoned");
    if (!settled_) abandon();
}

bool Thread::start(Entry entry, void* argument)
{
    assert(!native_ && "a Thread is started once");
    native_ = std::make_shared<Native>();
    native_->entry = entry;
    native_->argument = argument;
    auto* shared = new std::shared_ptr<Native>(native_);
    native_->handle = CreateThread(nullptr, 0, runThread, shared, 0, &native_->id);
    if (!native_->handle) {
        delete shared;
        return false;
    }
    settled_ = false;
    return true;
}

unsigned long Thread::id() const { return native_ ? native_->id : 0; }

bool Thread::waitForEnd(int timeoutMs)
{
    if (!native_ || !native_->handle) return true;
    if (WaitForSingleObject(native_->handle, waitLimit(timeoutMs)) != WAIT_OBJECT_0) return false;
    // Ended: the handle has nothing more to tell.
    abandon();
    return true;
}

void Thread::abandon()
{
    if (!native_ || !native_->handle) return;
    // Closing the handle leaves the thread running; only this object's hold on it goes.
    CloseHandle(native_->handle);
    native_->handle = nullptr;
    settled_ = true;
}

}  // namespace platform
