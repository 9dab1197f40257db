#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "tester/HandshakeReplies.h"
#include "tester/LinkSession.h"
#include "tester/MountUnderTest.h"

class TestReport;

// A mount reached by the LX200 link, as the dialog reaches it: the same link and heartbeat, the
// handshake (:GS#, :GR#, :GD#) to connect and to read the position, pulses a move and its stop
// on heartbeat ticks or timed by the mount (:Mg), and the link's halt.
class LinkMount final : public MountUnderTest {
public:
    LinkMount(const devices::PortChoice& port, TestReport& report);

    Connection connect(bool interruptible = true) override;
    void disconnect() override;
    CheckResult connectFailed(Connection outcome, bool forPosition) const override;
    CheckResult checked() override;
    std::vector<std::string> pulseAdvice(bool measured) const override;
    std::vector<std::string> pulseNotes() const override { return {}; }
    PulseReport pulse(Direction direction, int askedMs, PulseTiming timing, int allowanceMs, int slackMs) override;
    std::optional<PositionReading> readPosition(bool stayConnected, Connection& outcome,
                                                bool interruptible = true) override;
    std::string halt(bool& halted) override;
    void wait(std::chrono::milliseconds span, bool (*cutShort)()) override;

private:
    using Clock = LinkEvent::Clock;

    // Takes events until the handshake under way ends, or the port closes.
    void waitForHandshakeEnd();
    // The next event, shown, and what it tells about the handshake noted.
    std::optional<LinkEvent> take(std::chrono::milliseconds timeout);

    TestReport& report;
    devices::PortChoice port;
    LinkSession session;

    bool portOpen = false;
    std::string lastCommand;  // the last command written
    Clock::time_point lastSentAt;
    HandshakeReplies replies;
};
