#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/serial_devices.h"
#include "tester/LinkEventQueue.h"
#include "tester/MotionFigures.h"
#include "tester/PulseReport.h"
#include "tester/PulseTiming.h"

// What the tester tells as it works, for a front end to show: in words for people, or as JSON
// lines for scripts and the web page. Times are milliseconds since the command began.
class TestReport {
public:
    using Clock = LinkEvent::Clock;

    virtual ~TestReport() = default;

    // The command and the port it runs on, with the kind of simulated mount there, if any.
    virtual void begin(const std::string& command, const std::string& device, const std::string& mount) = 0;
    // A status, a command written or bytes read.
    virtual void event(const LinkEvent& event) = 0;
    // Progress while the link waits for the mount: elapsedS of at most limitS.
    virtual void waiting(const std::string& what, double elapsedS, double limitS) = 0;
    virtual void pulseDone(const PulseReport& pulse, int index, int total) = 0;
    virtual void pulseTable(const std::vector<PulseReport>& pulses, int allowanceMs, int slackMs,
                            PulseTiming timing) = 0;
    // motion: what it will do to the mount, before it starts; the readings with no pulse; each
    // probe and run as it ends; then a table of the directions and the axes' rates; and where
    // it had to halt the mount, whether that stopped it.
    virtual void motionPlan(int pulses, int lengthMs, PulseTiming timing, bool compareMountTimed) = 0;
    virtual void motionBaseline(const motion::Baseline& baseline) = 0;
    // The creep measured again, over seconds with no right ascension pulse.
    virtual void motionCreep(const motion::Baseline& baseline, double seconds) = 0;
    virtual void motionRun(const motion::Run& run, const motion::RunFigures& figures, int index) = 0;
    virtual void motionTable(const std::vector<motion::Run>& runs, const motion::Baseline& baseline,
                             const std::optional<motion::Backlash>& backlash) = 0;
    virtual void motionHalt(bool halted, std::optional<bool> stopped, double awayArcsec) = 0;
    // The outcome: exit code, "pass", "fail", "error" or "interrupted", one line, then the lines
    // that explain it. An error has a kind, a short word for scripts.
    virtual void result(const std::string& command, int exitCode, const std::string& outcome,
                        const std::string& summary, const std::vector<std::string>& details,
                        const std::string& errorKind = "") = 0;
    // A problem that stops the command before it begins, with kind a short word for scripts.
    virtual void error(const std::string& kind, const std::string& message) = 0;
    // A serial device of this machine, as guide-link ports lists it.
    virtual void port(const devices::Entry& entry) = 0;
    virtual void note(const std::string& text) = 0;
};
