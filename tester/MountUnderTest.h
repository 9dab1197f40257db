#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/Direction.h"
#include "platform/serial_devices.h"
#include "tester/CheckResult.h"
#include "tester/PositionReading.h"
#include "tester/PulseReport.h"
#include "tester/PulseTiming.h"

class TestReport;

// The mount the checks drive, whatever reaches it. It shows everything it does (statuses, the
// bytes on the line) in the report as it happens. Its waits give up at an interrupt where
// they say so; its stops and its halt never do.
class MountUnderTest {
public:
    enum class Connection { Ready, CannotOpen, Timeout, CommunicationError, Unanswered, Interrupted };

    // The mount at port, reached by the LX200 link.
    static std::unique_ptr<MountUnderTest> reachedBy(const devices::PortChoice& port, TestReport& report);
    // Whether given names a mount behind an INDI server: indi://HOST[:PORT]/DEVICE.
    static bool namesIndiServer(const std::string& given) { return given.rfind("indi://", 0) == 0; }
    // The mount behind the INDI server given names; null, with the reason in error, where given
    // is no such address or this build has no INDI client.
    static std::unique_ptr<MountUnderTest> behindIndi(const std::string& given, TestReport& report,
                                                      std::string& error);
    // The addresses of the telescopes an INDI server on this machine drives, if one runs there.
    static std::vector<std::string> indiTelescopesHere();

    virtual ~MountUnderTest() = default;

    // Opens the way to the mount and makes sure it answers. interruptible: gives up at an
    // interrupt, as every step does but those of a halt.
    virtual Connection connect(bool interruptible = true) = 0;
    // Closes it, after the last stop has had the time to reach the mount.
    virtual void disconnect() = 0;
    // Why connect did not reach Ready, and what to do about it; forPosition: the connection was
    // to read the position.
    virtual CheckResult connectFailed(Connection outcome, bool forPosition) const = 0;
    // The result of a check that connected: what it found, and whether the mount can be guided.
    virtual CheckResult checked() = 0;

    // What to do about a pulse that failed: measured, it lasted outside its bound; otherwise a
    // command could not go out. Then what the measurement of a pulse does not show.
    virtual std::vector<std::string> pulseAdvice(bool measured) const = 0;
    virtual std::vector<std::string> pulseNotes() const = 0;

    // The guide rate the mount's driver reports for an axis, as a fraction of sidereal; nothing
    // where it reports none.
    virtual std::optional<double> reportedGuideRate(bool /*declination*/) const { return std::nullopt; }

    // One guide pulse on the open connection, measured against the bound that allowanceMs and
    // slackMs give. An interrupt stops it at once and disconnects.
    virtual PulseReport pulse(Direction direction, int askedMs, PulseTiming timing, int allowanceMs,
                              int slackMs) = 0;

    // Connects and reads where the mount points; disconnects again unless told to stay. Nothing
    // if the connection failed (outcome says how) or gave no position.
    virtual std::optional<PositionReading> readPosition(bool stayConnected, Connection& outcome,
                                                        bool interruptible = true) = 0;

    // Stops everything the mount does, connecting for it if need be, and disconnects; the
    // sentence that says what was sent. halted: whether it went out.
    virtual std::string halt(bool& halted) = 0;

    // Waits for span, showing what happens meanwhile, or less once cutShort() holds.
    virtual void wait(std::chrono::milliseconds span, bool (*cutShort)()) = 0;
};
