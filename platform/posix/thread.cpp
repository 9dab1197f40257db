#include "platform/thread.h"

#include <pthread.h>

#include <cassert>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

// Shared by the owner and the thread itself, so an abandoned thread can still report its end.
struct Thread::Native {
    Entry entry = nullptr;
    void* argument = nullptr;
    pthread_t handle{};
    unsigned long id = 0;
    std::mutex mutex;
    std::condition_variable endedSignal;
    bool ended = false;
    bool joined = false;
};

namespace {

struct StartRecord {
    std::shared_ptr<Thread::Native> native;
};

void* runThread(void* raw)
{
    std::unique_ptr<StartRecord> record(static_cast<StartRecord*>(raw));
    record->native->entry(record->native->argument);
    std::lock_guard<std::mutex> hold(record->native->mutex);
    record->native->ended = true;
    record->native->endedSignal.notify_all();
    return nullptr;
}

unsigned long nextThreadId()
{
    static std::mutex lock;
    static unsigned long last = 0;
    std::lock_guard<std::mutex> hold(lock);
    return ++last;
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
    native_->id = nextThreadId();
    auto* record = new StartRecord{native_};
    if (pthread_create(&native_->handle, nullptr, runThread, record) != 0) {
        delete record;
        native_->ended = true;
        native_->joined = true;
        return false;
    }
    settled_ = false;
    return true;
}

unsigned long Thread::id() const { return native_ ? native_->id : 0; }

bool Thread::waitForEnd(int timeoutMs)
{
    if (!native_ || native_->joined) return true;
    {
        std::unique_lock<std::mutex> hold(native_->mutex);
        auto ended = [this] { return native_->ended; };
        if (timeoutMs < 0) {
            native_->endedSignal.wait(hold, ended);
        } else if (!native_->endedSignal.wait_for(hold, std::chrono::milliseconds(timeoutMs), ended)) {
            return false;
        }
    }
    pthread_join(native_->handle, nullptr);
    native_->joined = true;
    settled_ = true;
    return true;
}

void Thread::abandon()
{
    if (!native_ || native_->joined) return;
    pthread_detach(native_->handle);
    native_->joined = true;
    settled_ = true;
}

}  // namespace platform
