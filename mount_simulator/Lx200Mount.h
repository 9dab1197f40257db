#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "mount_simulator/MountBehaviour.h"

// The LX200 command set as the simulated mount understands it, without any I/O: commands are
// cut out of the received byte stream, and each one is given its answer.
class Lx200Mount {
public:
    // Longer than any LX200 command: a run this long without its '#' is noise, not a command.
    static constexpr std::size_t kMaxCommandLength = 32;

    // Takes received bytes, in pieces of any size; returns the commands they completed, in order.
    // A command runs from ':' to '#'; anything before its ':' is dropped.
    std::vector<std::string> receive(const unsigned char* bytes, std::size_t count);

    // What the mount sends back for command; empty when it sends nothing.
    static std::string answerTo(const std::string& command, const MountBehaviour& behaviour);

private:
    std::string pending_;  // the command being collected, empty while waiting for a ':'
};
