#include "cli/Interrupt.h"

#include <atomic>

namespace interrupt {
namespace {

// Lock-free, so a signal handler may change it.
static_assert(ATOMIC_INT_LOCK_FREE == 2, "the request count must be lock-free");
std::atomic<int> requests{0};

}  // namespace

bool requested() { return requests.load() > 0; }

bool insisted() { return requests.load() > 1; }

void record() { requests.fetch_add(1); }

}  // namespace interrupt
