#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "cli/HandshakeReplies.h"
#include "cli/LinkSession.h"
#include "cli/Output.h"
#include "cli/PulseBound.h"
#include "cli/SerialDevices.h"

// What guide-link's exit code says, for scripts.
enum ExitCode : int {
    kExitPass = 0,
    kExitFail = 1,         // the mount or the line failed the test
    kExitCannotStart = 2,  // a usage error, or the port could not be opened
    kExitInterrupted = 3,
};

// guide-link's check, pulse and series against one port, on a link of their own: they connect
// and run the handshake, do their work, disconnect, and print all of it.
class Tester {
public:
    struct Settings {
        int allowanceMs = PulseBound::kDefaultAllowanceMs;
        int slackMs = 0;
        int gapMs = 250;  // between the pulses of a series, for the mount to settle
    };

    Tester(Output& out, const devices::PortChoice& port, const Settings& settings);

    int check();
    int pulse(Direction direction, int askedMs);
    int series(const std::vector<int>& lengthsMs);

private:
    enum class Handshake { Ready, CannotOpen, Timeout, CommunicationError, Unanswered, Interrupted };
    using Clock = LinkEvent::Clock;

    Handshake connect();
    // Prints why the handshake did not reach Ready and returns the exit code that says so.
    int handshakeFailed(const std::string& command, Handshake outcome);
    // Why the link found the mount's answers wrong, and what to do about it.
    std::vector<std::string> explainCommunicationError() const;
    PulseReport runPulse(Direction direction, int askedMs);
    void disconnect();
    // Takes events for ms, printing them.
    void idle(int ms);
    // The next event, printed, and what it tells about the handshake noted.
    std::optional<LinkEvent> take(std::chrono::milliseconds timeout);

    Output& out;
    devices::PortChoice port;
    Settings settings;
    LinkSession session;

    bool portOpen = false;
    std::string lastCommand;  // the last command written
    Clock::time_point lastSentAt;
    HandshakeReplies replies;
};
