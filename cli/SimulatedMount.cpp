#include "cli/SimulatedMount.h"

#include "mount_simulator/MountQuirk.h"
#include "mount_simulator/TcpMountLine.h"
#include "platform/network_address.h"

#ifndef _WIN32
#include "mount_simulator/PtyMountLine.h"
#endif

bool SimulatedMount::behaviourNamed(const std::string& kinds, MountBehaviour& behaviour)
{
    behaviour = MountBehaviour{};
    std::string::size_type begin = 0;
    for (;;) {
        const std::string::size_type comma = kinds.find(',', begin);
        if (!addKind(kinds.substr(begin, comma - begin), behaviour)) return false;
        if (comma == std::string::npos) return true;
        begin = comma + 1;
    }
}

bool SimulatedMount::addKind(const std::string& kind, MountBehaviour& behaviour)
{
    if (kind == "good") return true;
    if (kind == "silent") {
        behaviour.answers = MountBehaviour::Answers::Silent;
        return true;
    }
    if (kind == "wrong") {
        // The short format, in which many mounts answer until they are switched to the long one.
        behaviour.answers = MountBehaviour::Answers::Replaced;
        behaviour.replacement = "12:34.5#";
        return true;
    }
    if (kind == "slow") {
        behaviour.delayMs = 300;
        behaviour.byteGapMs = 20;
        return true;
    }
    return mountQuirk::apply(kind, behaviour);
}

std::string SimulatedMount::kinds() { return std::string("good, silent, wrong, slow, ") + mountQuirk::names(); }

SimulatedMount::SimulatedMount(std::unique_ptr<MountSimulator> simulator, std::string linkEnd)
    : simulator_(std::move(simulator)), linkEnd_(std::move(linkEnd))
{
}

SimulatedMount::~SimulatedMount() { simulator_->stop(); }

std::unique_ptr<SimulatedMount> SimulatedMount::started(std::unique_ptr<MountSimulator> simulator,
                                                        const MountBehaviour& behaviour, std::string linkEnd,
                                                        std::string& error)
{
    simulator->setBehaviour(behaviour);
    if (!simulator->start()) {
        error = "the simulated mount could not open its end of the line";
        return nullptr;
    }
    return std::unique_ptr<SimulatedMount>(new SimulatedMount(std::move(simulator), std::move(linkEnd)));
}

std::unique_ptr<SimulatedMount> SimulatedMount::onOwnTerminal(const MountBehaviour& behaviour, std::string& error)
{
#ifdef _WIN32
    (void)behaviour;
    error = "Windows has no pseudo-terminals: pair two COM ports (a null-modem cable, or a virtual pair such as "
            "com0com makes), give the mount's end with --simulate-port and the other as PORT";
    return nullptr;
#else
    std::unique_ptr<PtyMountLine> line = PtyMountLine::open(error);
    if (!line) return nullptr;
    std::string path = line->terminalPath();
    return started(std::make_unique<MountSimulator>(std::move(line)), behaviour, std::move(path), error);
#endif
}

std::unique_ptr<SimulatedMount> SimulatedMount::onNetwork(const std::string& address, const MountBehaviour& behaviour,
                                                          std::string& error)
{
    platform::NetworkAddress where;
    if (!platform::parseNetworkAddress(address, where, error, true)) return nullptr;
    std::unique_ptr<TcpMountLine> line = TcpMountLine::listen(where.host, where.port, error);
    if (!line) return nullptr;
    std::string linkEnd = line->address();
    return started(std::make_unique<MountSimulator>(std::move(line)), behaviour, std::move(linkEnd), error);
}

std::unique_ptr<SimulatedMount> SimulatedMount::onPort(const devices::PortChoice& port, const MountBehaviour& behaviour,
                                                       std::string& error)
{
    devices::bindPort(port);
    auto mount = started(std::make_unique<MountSimulator>(port.number), behaviour, "", error);
    if (!mount) error = "the simulated mount cannot open " + port.device + ": " +
                        devices::explain(devices::diagnoseOpenFailure(port.device), port.device);
    return mount;
}
