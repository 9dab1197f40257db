#pragma once

#include <string>

#include "tester/PulseBound.h"
#include "link/MountProtocol.h"
#include "link/Tick.h"
#include "mount_simulator/Lx200Mount.h"

// The link's timing as it is built to behave, which every measured figure is set against.
namespace bench::design {

// The heartbeat's period: it ticks on every 100 ms mark from its start. A pulse of N ms is
// N / 100 ticks, the remainder dropped.
constexpr double kHeartBeatMs = ::kTickMs;
// The pause after opening the port, before the first handshake question.
constexpr double kSettleMs = MountProtocol::kSettleAfterOpenMs;
// 9600 baud, 8N1: ten bit times a character.
constexpr double kCharacterMs = 10.0 * 1000.0 / 9600.0;
constexpr double kLineBytesPerSecond = 9600.0 / 10.0;
// What guide-link allows a pulse over its ticks for the commands' time on the wire and for
// scheduling; the same allowance is given to the handshake.
constexpr double kSchedulingAllowanceMs = PulseBound::kDefaultAllowanceMs;

inline int ticksFor(int pulseMs) { return pulseMs / ::kTickMs; }

// Three questions and the simulated mount's three answers on the wire.
inline double handshakeWireMs()
{
    const MountBehaviour instant;
    Lx200Mount mount;
    double characters = 0;
    for (const char* question : {":GS#", ":GR#", ":GD#"}) {
        characters += std::string(question).size() + mount.answerTo(question, instant, 0.0).size();
    }
    return characters * kCharacterMs;
}

// From the connect request, or from the status that the port is open, to the handshake's end:
// the pause, then each answer handled as soon as it arrives, so the three exchanges on the wire.
inline double handshakeBoundMs() { return kSettleMs + handshakeWireMs() + kSchedulingAllowanceMs; }

// A pulse of N ms lasts its N / 100 ticks: its move leaves on one tick and its stop on the
// N / 100-th after it. Its error against the length asked for may be as guide-link allows it.
inline PulseBound pulseBound(int requestedMs)
{
    return PulseBound::forPulse(ticksFor(requestedMs), PulseBound::kDefaultAllowanceMs, 0);
}
inline double pulseErrorLowMs(int requestedMs) { return pulseBound(requestedMs).lowerMs - requestedMs; }
inline double pulseErrorHighMs(int requestedMs) { return pulseBound(requestedMs).upperMs - requestedMs; }

// From the call to the first byte of the move command: the move waits for the next tick, so
// anything from nothing to one tick, then one character.
constexpr double kCommandLatencyBoundMs = kHeartBeatMs + kCharacterMs;

}  // namespace bench::design
