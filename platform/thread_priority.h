#pragma once

namespace platform {

// Asks that the calling thread run ahead of ordinary work, as threads that keep time do: on a
// busy machine a tick or a byte handled late by a scheduler's slice makes a pulse that much
// short or long. Never a real-time priority, which a flood of bytes could turn into a thread
// that starves the machine. Windows grants it to any program; Linux only to a program with the
// privilege (root, or a nice limit), and elsewhere the thread runs on as it was. Whether it was
// granted.
bool runCallingThreadForTiming();

}  // namespace platform
