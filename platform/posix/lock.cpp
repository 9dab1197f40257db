#include "platform/lock.h"

#include <pthread.h>

namespace platform {

// A lock that the link's timing threads share with ordinary ones: with priority inheritance, an
// ordinary thread that a busy machine preempts while it holds the lock runs at the waiter's
// priority until it lets go, rather than hold a tick or a stop back for a scheduler's slice.
struct Lock::Native {
    pthread_mutex_t mutex;
};

Lock::Lock() : native_(std::make_unique<Native>())
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
    pthread_mutex_init(&native_->mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

Lock::~Lock() { pthread_mutex_destroy(&native_->mutex); }

void Lock::enter() { pthread_mutex_lock(&native_->mutex); }
void Lock::leave() { pthread_mutex_unlock(&native_->mutex); }

}  // namespace platform
