#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "indi/IndiAddress.h"
#include "indi/IndiClient.h"
#include "indi/IndiTelescope.h"
#include "tester/LinkEventQueue.h"
#include "tester/MountUnderTest.h"

// A mount behind an INDI server, driven through its driver's standard telescope properties:
// timed guide pulses (TELESCOPE_TIMED_GUIDE_NS and _WE), the position (EQUATORIAL_EOD_COORD) and
// the abort (TELESCOPE_ABORT_MOTION). The connection to the server stays open from the first
// connect to the end; a driver found disconnected is connected, and disconnected again at the
// end. Every update the server sends, and every request, shows as an event.
class IndiMount final : public MountUnderTest {
public:
    IndiMount(const indi::IndiAddress& address, TestReport& report);
    ~IndiMount() override;

    Connection connect(bool interruptible = true) override;
    void disconnect() override;
    CheckResult connectFailed(Connection outcome, bool forPosition) const override;
    CheckResult checked() override;
    std::vector<std::string> pulseAdvice(bool measured) const override;
    std::vector<std::string> pulseNotes() const override;
    std::optional<double> reportedGuideRate(bool declination) const override;
    PulseReport pulse(Direction direction, int askedMs, PulseTiming timing, int allowanceMs, int slackMs) override;
    std::optional<PositionReading> readPosition(bool stayConnected, Connection& outcome,
                                                bool interruptible = true) override;
    std::string halt(bool& halted) override;
    void wait(std::chrono::milliseconds span, bool (*cutShort)()) override;

private:
    // Finds the device and connects its driver; false, with the reason noted, where that fails.
    bool reachDevice();
    // Shows the events that came in since the last look.
    void show();
    void sent(const std::string& request);
    // Aborts every motion; false, with why in error, if the abort could not be sent or answered.
    bool abort(std::string& error);
    std::string where() const;
    // How often the driver reads its mount, as it says (POLLING_PERIOD), or 1 s.
    int pollingPeriodMs() const;

    indi::IndiAddress address;
    TestReport& report;
    // Before the client, so they outlive its reader, which adds to them; the checks' thread takes.
    std::mutex pendingLock;
    std::deque<LinkEvent> pending;
    indi::IndiClient client;
    std::unique_ptr<indi::IndiTelescope> telescope;
    std::string failure;  // why the last connect did not reach the device
    bool serverReached = false;
};
