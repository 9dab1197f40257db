#pragma once

#include <string>

#include "link/MountProtocol.h"
#include "link/Tick.h"
#include "mount_simulator/Lx200Mount.h"

// The link's timing as it is built to behave, which every measured figure is set against.
namespace bench::design {

// The heartbeat's period; a pulse of N ms is N / 100 ticks, the remainder dropped.
constexpr double kHeartBeatMs = ::kTickMs;
// How long the frame reader sleeps when it finds its pipe empty: one tick.
constexpr double kPollMs = kHeartBeatMs;
// The pause after opening the port, before the first handshake question.
constexpr double kSettleMs = MountProtocol::kSettleAfterOpenMs;
// 9600 baud, 8N1: ten bit times a character.
constexpr double kCharacterMs = 10.0 * 1000.0 / 9600.0;
constexpr double kLineBytesPerSecond = 9600.0 / 10.0;
// ":Mn#" and every other move or stop command.
constexpr double kCommandWireMs = 4 * kCharacterMs;

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

// From the status that the port is open to the handshake's end: the pause, then each answer
// picked up by the frame reader's next look at its pipe, one poll period after its question.
inline double handshakeAfterOpenBoundMs() { return kSettleMs + 3 * kPollMs + handshakeWireMs(); }
// From the connect request: the frame reader may first sleep one poll period before it sees it.
inline double handshakeBoundMs() { return kPollMs + handshakeAfterOpenBoundMs(); }

// A pulse of N ms lasts from half a tick short of N ticks (a pulse whose ticks run out sooner is
// held for the next) to N ticks, plus the stop command's time on the wire.
inline double pulseErrorLowMs(int requestedMs)
{
    return ticksFor(requestedMs) * kHeartBeatMs - kHeartBeatMs / 2 - requestedMs;
}
inline double pulseErrorHighMs(int requestedMs)
{
    return ticksFor(requestedMs) * kHeartBeatMs - requestedMs + kCommandWireMs;
}

// From the call to the first byte of the move command: one poll period, then one character.
constexpr double kCommandLatencyBoundMs = kPollMs + kCharacterMs;

}  // namespace bench::design
