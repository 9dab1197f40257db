#pragma once

#include <string>

namespace bench {

struct NativeOptions {
    std::string linkDevice;   // the link's end of the serial line
    std::string mountDevice;  // the simulated mount's end
    std::string results;      // the result file to write
    std::string self;         // this program, started again to hold a link for the idle figures
    bool quick = false;
};

// Measures the link built for this machine, driven through iTelescopeControl with the heartbeat
// as the program wires it. Returns the exit status.
int runNativeBench(const NativeOptions& options);

// The child that the idle figures watch: connects COM1 (mapped to device), says "ready" on its
// output once the handshake is done, and holds the link open until its input ends.
int runIdleLink(const std::string& device);

}  // namespace bench
