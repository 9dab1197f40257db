#include "platform/interrupt.h"

#include <atomic>

namespace interrupt {
namespace {

// Lock-free, so a signal handler may change it.
static_assert(ATOMIC_INT_LOCK_FREE == 2, "the request count must be lock-free");
std::atomic<int> requests{0};
thread_local const std::atomic<bool>* threadStop = nullptr;

}  // namespace

bool requested() { return requests.load() > 0 || (threadStop != nullptr && threadStop->load()); }

bool insisted() { return requests.load() > 1; }

void record() { requests.fetch_add(1); }

ThreadStop::ThreadStop(const std::atomic<bool>& flag) { threadStop = &flag; }

ThreadStop::~ThreadStop() { threadStop = nullptr; }

}  // namespace interrupt
