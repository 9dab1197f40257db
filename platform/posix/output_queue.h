#pragma once

#include "platform/posix/poll_deadline.h"
#include "platform/serial.h"

namespace platform {

// A terminal's output queue in the kernel, as a write sees it once its bytes are queued.
class OutputQueue {
public:
    // Bytes taken but not yet sent on the line; negative if the queue cannot be read.
    virtual int unsentBytes() = 0;
    // Drops what is still unsent.
    virtual void discard() = 0;

protected:
    ~OutputQueue() = default;
};

// Finishes a write whose queuing ended with queued: waits, within deadline, until the queue has
// sent everything, so that written means sent even on a slow or flow-controlled line. A write
// that fails or runs out of time discards what is left, so a write reported as not done never
// trickles out later.
SerialWriteResult finishWrite(OutputQueue& queue, SerialWriteResult queued, const PollDeadline& deadline);

}  // namespace platform
