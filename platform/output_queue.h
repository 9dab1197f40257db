#pragma once

#include "platform/deadline.h"
#include "platform/serial.h"

namespace platform {

// A line's output queue in the kernel, as a write sees it once its bytes are queued: a
// terminal's, or a connection's bytes that the far end has not acknowledged yet.
class OutputQueue {
public:
    // Bytes taken but not yet delivered; negative if the queue cannot be read or never will
    // deliver them.
    virtual int unsentBytes() = 0;
    // Makes sure that what is still undelivered never goes out.
    virtual void discard() = 0;

protected:
    ~OutputQueue() = default;
};

// Finishes a write whose queuing ended with queued: waits, within deadline, until the queue has
// delivered everything, so that written means sent even on a slow or flow-controlled line, and
// on a connection that the far end has the bytes. A write
// that fails or runs out of time discards what is left, so a write reported as not done never
// trickles out later.
SerialWriteResult finishWrite(OutputQueue& queue, SerialWriteResult queued, const Deadline& deadline);

}  // namespace platform
