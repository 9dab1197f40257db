#include "platform/output_queue.h"

#include "platform/sleep.h"

namespace platform {
namespace {

// How often a write looks whether its bytes have left; a byte takes about 1 ms at 9600 baud.
constexpr int kDrainCheckMs = 1;

SerialWriteResult waitUntilSent(OutputQueue& queue, const Deadline& deadline)
{
    for (;;) {
        const int unsent = queue.unsentBytes();
        if (unsent < 0) return SerialWriteResult::Failed;
        if (unsent == 0) return SerialWriteResult::Completed;
        if (deadline.passed()) return SerialWriteResult::TimedOut;
        sleepMs(kDrainCheckMs);
    }
}

}  // namespace

SerialWriteResult finishWrite(OutputQueue& queue, SerialWriteResult queued, const Deadline& deadline)
{
    const SerialWriteResult result = queued == SerialWriteResult::Completed ? waitUntilSent(queue, deadline) : queued;
    if (result != SerialWriteResult::Completed) queue.discard();
    return result;
}

}  // namespace platform
