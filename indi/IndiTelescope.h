#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "indi/IndiClient.h"

namespace indi {

// One telescope device behind an INDI server, through the standard properties every INDI
// telescope driver defines. Reads come from the client's model and never block; commands block
// until the driver has answered or their time is up. Reads from any thread; commands from one
// thread at a time.
class IndiTelescope {
public:
    using Clock = std::chrono::steady_clock;

    enum class GuideDirection { North, South, West, East };

    struct DriverInfo {
        std::string name, exec, version, interface;
    };
    struct GuideRate {
        double westEast = 0;    // fractions of the sidereal rate
        double northSouth = 0;
    };
    struct Position {
        double rightAscensionHours = 0;
        double declinationDegrees = 0;
        PropertyState state = PropertyState::Idle;
        Clock::time_point receivedAt{};
    };
    // What became of a request the driver answers with Busy and then another state: a guide
    // pulse, a slew.
    struct Motion {
        bool done = false;      // the driver answered and is no longer Busy
        bool sawBusy = false;
        Clock::time_point sentAt{}, busyAt{}, endedAt{};
        PropertyState endState = PropertyState::Idle;
        bool stopped = false;   // given up on when a stop was asked for
        std::string error;      // why not done: not sent, the time ran out, the connection ended
    };

    // The devices that define a telescope's coordinates or its guide pulses.
    static std::vector<std::string> telescopes(const IndiModel& model);

    IndiTelescope(IndiClient& client, std::string device);

    const std::string& device() const { return device_; }

    // Connects the device unless it is already; remembers whether it was this object that did.
    bool connectDevice(int timeoutMs, std::string& error);
    bool disconnectDevice(int timeoutMs, std::string& error);
    bool connectedHere() const { return connectedHere_; }
    bool isConnected() const;

    std::optional<DriverInfo> driverInfo() const;
    // The serial device the driver opens (DEVICE_PORT), or the HOST:PORT it connects to
    // (DEVICE_ADDRESS); empty where the driver defines neither.
    std::string port() const;
    std::string address() const;
    // The element that is on in CONNECTION_MODE (CONNECTION_SERIAL, CONNECTION_TCP); empty if none.
    std::string connectionMode() const;
    std::optional<bool> tracking() const;
    // Whether the driver defines both timed guide pulse properties.
    bool takesTimedGuides() const;
    std::optional<GuideRate> guideRate() const;
    std::optional<Position> position() const;
    // Whether the driver sends its mount pulse commands (:Mg) for timed guiding, where it asks
    // (LX200 drivers' "Use Pulse Cmd"); nullopt elsewhere.
    std::optional<bool> pulseCommands() const;
    bool setPulseCommands(bool on, int timeoutMs, std::string& error);

    // Asks for a timed guide pulse and waits for the driver's Busy and its end, or until
    // stopAsked() holds (looked at every 10 ms), when it returns at once, stopped.
    Motion guidePulse(GuideDirection direction, int milliseconds, int timeoutMs,
                      const std::function<bool()>& stopAsked = {});
    // Asks for a slew that ends tracking at the given place, and waits until it arrived.
    Motion slewTo(double rightAscensionHours, double declinationDegrees, int timeoutMs);
    // Stops every motion: the abort switch, and any timed guide pulse set to 0; then waits for
    // the driver's answer to the abort.
    bool abortMotion(int timeoutMs, std::string& error);

private:
    const IndiProperty* find(const IndiModel& model, const char* name) const;
    std::optional<std::string> text(const char* property, const char* element) const;
    std::optional<double> number(const char* property, const char* element) const;
    std::optional<std::string> onSwitch(const char* property) const;
    bool switchTo(const char* property, const char* element, int timeoutMs, std::string& error);
    bool awaitAnswer(const char* property, std::uint64_t before, int timeoutMs, std::string& error);
    Motion awaitMotion(const char* property, std::uint64_t before, Clock::time_point sentAt, int timeoutMs,
                       const std::function<bool()>& stopAsked = {});

    IndiClient& client_;
    std::string device_;
    bool connectedHere_ = false;
};

}  // namespace indi
