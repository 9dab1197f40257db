#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/LinkSession.h"
#include "cli/MotionFigures.h"
#include "cli/PulseBound.h"
#include "cli/PulseTiming.h"
#include "cli/SerialDevices.h"

// One guide pulse as guide-link ran and measured it.
struct PulseReport {
    Direction direction = Direction::North;
    int askedMs = 0;      // as given
    int requestedMs = 0;  // as the dialog would correct it: 200 to 5000
    int ticks = 0;
    std::optional<double> measuredMs;  // from the move's write to the stop's; none if either failed
    PulseBound bound{0, 0};
    bool passed = false;
    bool interrupted = false;  // a stop was asked for: the pulse was not sent, or its stop at once
    std::string problem;       // why it did not pass
    // Mount-timed: the ticks, the measurement and the bound are those of the late stop, which
    // must not come before the mount's own time is up.
    PulseTiming timing = PulseTiming::ByPc;
};

// What guide-link prints: plain lines for people, or with --json one JSON object per line for
// scripts, each with an "event" member. Every line is flushed at once, so progress shows over
// SSH and through pipes. Times are milliseconds since the command began.
class Output {
public:
    using Clock = LinkEvent::Clock;

    Output(bool json, std::FILE* out, std::FILE* err);

    bool json() const { return json_; }
    // Plain text only: whether statuses and the bytes on the line are printed as they happen.
    void showTraffic(bool shown) { traffic_ = shown; }

    void begin(const std::string& command, const std::string& device, const std::string& mount);
    void event(const LinkEvent& event);
    // Progress while the link waits for the mount: elapsedS of at most limitS.
    void waiting(const std::string& what, double elapsedS, double limitS);
    void pulseDone(const PulseReport& pulse, int index, int total);
    void pulseTable(const std::vector<PulseReport>& pulses, int allowanceMs, int slackMs, PulseTiming timing);
    // motion: what it will do to the mount, before it starts; the readings with no pulse; each
    // probe and run as it ends; then a table of the directions and the axes' rates; and where
    // it had to halt the mount, whether that stopped it.
    void motionPlan(int pulses, int lengthMs, PulseTiming timing, bool compareMountTimed);
    void motionBaseline(const motion::Baseline& baseline);
    // The creep measured again, over seconds with no right ascension pulse.
    void motionCreep(const motion::Baseline& baseline, double seconds);
    void motionRun(const motion::Run& run, const motion::RunFigures& figures, int index);
    void motionTable(const std::vector<motion::Run>& runs, const motion::Baseline& baseline,
                     const std::optional<motion::Backlash>& backlash);
    void motionHalt(bool halted, std::optional<bool> stopped, double awayArcsec);
    // The outcome: exit code, "pass", "fail", "error" or "interrupted", one line, then the lines
    // that explain it. An error has a kind, a short word for scripts, and goes to the error
    // stream in plain text.
    void result(const std::string& command, int exitCode, const std::string& outcome, const std::string& summary,
                const std::vector<std::string>& details, const std::string& errorKind = "");
    // A problem that stops the command before it begins, with kind a short word for scripts.
    void error(const std::string& kind, const std::string& message);
    void port(const devices::Entry& entry);
    void note(const std::string& text);

private:
    double sinceStart(Clock::time_point at) const;
    void line(const std::string& text);

    bool json_;
    bool traffic_ = true;
    std::FILE* out_;
    std::FILE* err_;
    Clock::time_point origin_;
};
