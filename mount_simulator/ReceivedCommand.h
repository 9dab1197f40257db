#pragma once

#include <string>

// One command as the simulated mount received it.
struct ReceivedCommand {
    double milliseconds;  // since the simulator started, on the steady clock
    std::string text;     // from ':' to '#', both included
};
