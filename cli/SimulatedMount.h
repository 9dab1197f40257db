#pragma once

#include <memory>
#include <string>

#include "platform/serial_devices.h"
#include "mount_simulator/MountBehaviour.h"
#include "mount_simulator/MountSimulator.h"

// The simulated LX200 mount that --simulate puts at the far end of the line, so guide-link can
// be tried without a mount: on a pseudo-terminal of its own where the system has them, or on a
// serial port joined to the link's port by a null-modem cable or a virtual pair.
class SimulatedMount {
public:
    // The kinds of mount --simulate offers: good, silent, wrong (replies in the short format,
    // which the handshake does not take), slow (late replies, a byte at a time), and the mounts
    // that disobey guide pulses (mountQuirk); several, separated by commas, combine
    // ("dead-east,noisy"). False for another name.
    static bool behaviourNamed(const std::string& kinds, MountBehaviour& behaviour);
    static std::string kinds();

    // A mount on a pseudo-terminal of its own, whose path linkEnd() gives. Null, with the reason
    // in error, where that cannot be.
    static std::unique_ptr<SimulatedMount> onOwnTerminal(const MountBehaviour& behaviour, std::string& error);
    // A mount served over TCP at address (tcp://HOST:PORT, port 0 for any free one), one client
    // at a time. Null, with the reason in error, if it cannot listen there.
    static std::unique_ptr<SimulatedMount> onNetwork(const std::string& address, const MountBehaviour& behaviour,
                                                     std::string& error);
    // A mount serving port. Null, with the reason in error, if it cannot be opened.
    static std::unique_ptr<SimulatedMount> onPort(const devices::PortChoice& port, const MountBehaviour& behaviour,
                                                  std::string& error);

    ~SimulatedMount();
    SimulatedMount(const SimulatedMount&) = delete;
    SimulatedMount& operator=(const SimulatedMount&) = delete;

    // The device or address the link opens to reach this mount; "" for a mount on a port.
    const std::string& linkEnd() const { return linkEnd_; }

private:
    static bool addKind(const std::string& kind, MountBehaviour& behaviour);
    SimulatedMount(std::unique_ptr<MountSimulator> simulator, std::string linkEnd);
    static std::unique_ptr<SimulatedMount> started(std::unique_ptr<MountSimulator> simulator,
                                                   const MountBehaviour& behaviour, std::string linkEnd,
                                                   std::string& error);

    std::unique_ptr<MountSimulator> simulator_;
    std::string linkEnd_;
};
