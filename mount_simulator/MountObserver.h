#pragma once

#include <string>

#include "mount_simulator/ReceivedCommand.h"

// Told of the simulated mount's traffic as it happens, from the simulator's two threads, so
// possibly from both at once. It must not call the simulator's start, stop or dropLine.
class MountObserver {
public:
    virtual ~MountObserver() = default;

    virtual void commandReceived(const ReceivedCommand& command) = 0;
    // The answer has gone out completely; milliseconds counts as for received commands.
    virtual void answerSent(double milliseconds, const std::string& answer) = 0;
    // Bytes that were no command: outside one, or too many for one.
    virtual void strayBytes(double milliseconds, const std::string& bytes) = 0;
};
