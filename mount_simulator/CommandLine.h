#pragma once

#include <string>

#include "mount_simulator/MountBehaviour.h"

// What lx200-mount-sim was asked to do.
struct CommandLine {
    enum class Outcome { Run, ShowHelp, ShowVersion, Invalid };

    std::string device;  // empty: a pseudo-terminal of the program's own
    // --tcp: serve on this TCP port (0: one the system picks), on tcpHost ("" for loopback).
    bool tcp = false;
    std::string tcpHost;
    int tcpPort = 0;
    MountBehaviour behaviour;
    int noiseBytesPerSecond = 0;
    double dropAfterSeconds = 0;  // 0: never

    // Fills this from the arguments; Invalid comes with the reason in error.
    Outcome parse(int argc, char** argv, std::string& error);

    static const char* helpText();
};
