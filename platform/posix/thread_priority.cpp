#include "platform/thread_priority.h"

#include <pthread.h>
#include <sched.h>

namespace platform {

bool runCallingThreadForTiming()
{
    // The lowest real-time priority: ahead of every ordinary thread, behind the system's own.
    // These threads spend nearly all their time waiting, so they take little from the others.
    sched_param lowestRealTime{};
    lowestRealTime.sched_priority = sched_get_priority_min(SCHED_FIFO);
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &lowestRealTime) == 0;
}

}  // namespace platform
