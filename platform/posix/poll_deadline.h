#pragma once

#include <cerrno>

#include "platform/deadline.h"

namespace platform {

// A deadline for poll(), which a signal can interrupt: the interrupted wait is simply repeated
// with the time that is left.
class PollDeadline : public Deadline {
public:
    using Deadline::Deadline;

    static bool interrupted() { return errno == EINTR; }
};

}  // namespace platform
