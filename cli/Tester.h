#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "cli/HandshakeReplies.h"
#include "cli/LinkSession.h"
#include "cli/MotionFigures.h"
#include "cli/Output.h"
#include "cli/PulseBound.h"
#include "cli/PulseTiming.h"
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
        PulseTiming timing = PulseTiming::ByPc;  // of pulse's and series' pulses
    };

    // How motion measures: each run is at most pulses of lengthMs back to back, less where the
    // rate a probe or an earlier run showed would carry the mount too far.
    struct MotionPlan {
        int pulses = 5;
        int lengthMs = 5000;
        int baselineMs = 5000;  // from the first reading with no pulse to the last
        int settleMs = 3000;    // at least, from the reading after a run to the one that shows it stopped
        PulseTiming timing = PulseTiming::ByPc;  // of every probe and run
        // Then one more run in each direction, of the same pulses as its judged run, mount-timed.
        bool compareMountTimed = false;
    };

    Tester(Output& out, const devices::PortChoice& port, const Settings& settings);

    int check();
    int pulse(Direction direction, int askedMs);
    int series(const std::vector<int>& lengthsMs);
    // Reads the mount's position through reconnections around runs of pulses, and judges how
    // far and which way each direction moved it, and whether it stopped.
    int motion(const MotionPlan& plan);

private:
    enum class Handshake { Ready, CannotOpen, Timeout, CommunicationError, Unanswered, Interrupted };
    using Clock = LinkEvent::Clock;

    // interruptible: gives up at an interrupt, as every command does but a halt.
    Handshake connect(bool interruptible = true);
    // Takes events until the handshake under way ends, or the port closes.
    void waitForHandshakeEnd();
    // Prints why the handshake did not reach Ready and returns the exit code that says so.
    int handshakeFailed(const std::string& command, Handshake outcome);
    // Why the link found the mount's answers wrong, and what to do about it.
    std::vector<std::string> explainCommunicationError() const;
    PulseReport runPulse(Direction direction, int askedMs, PulseTiming timing);
    // Connects and reads the position from the handshake's replies; disconnects again unless
    // told to stay. Nothing if the handshake failed (outcome says how) or gave no position.
    std::optional<PositionReading> readPosition(bool stayConnected, Handshake& outcome, bool interruptible = true);
    // Runs the run's pulses back to back on the open link; the problem if one failed.
    std::string runPulses(motion::Run& run);
    // Runs one step of motion from the open link: the pulses, the reading after them, and for
    // a run the settling wait and the reading that shows it stopped; the link is left open.
    // The problem if a pulse or a reading failed.
    std::string runMotionStep(motion::Run& run, const motion::Baseline& baseline, int settleMs, Handshake& outcome);
    // Sizes one run from the last of its direction, runs it and prints it; false once motion must
    // stop. Where maySize, a judged run that was cut short and would size a longer one only sizes.
    bool motionRun(motion::Run run, const MotionPlan& plan, const motion::Baseline& baseline,
                   std::vector<motion::Run>& runs, std::string& problem, bool maySize = false);
    // Runs direction's judged pulses again, timed by the mount, and prints the run; false once
    // motion must stop.
    bool mountTimedRun(Direction direction, const MotionPlan& plan, const motion::Baseline& baseline,
                       std::vector<motion::Run>& runs, std::string& problem);
    // Keeps a run that has been carried out and prints it; false if the mount must not be sent
    // more pulses.
    bool keepRun(const motion::Run& run, const motion::Baseline& baseline, std::vector<motion::Run>& runs);
    // For a measurement cut short: stops everything the mount does, reads whether it stopped
    // (the first reading in afterHalt), and says so; the details to add to the result.
    std::vector<std::string> haltMount(const motion::Baseline& baseline, const PositionReading& start, int waitMs,
                                       std::optional<PositionReading>& afterHalt);
    int positionUnread(Handshake outcome);
    void disconnect();
    // Takes events for ms, printing them; a stop request ends the wait within a poll.
    void idle(int ms);
    // Takes events for span, printing them, or less once cutShort() holds.
    void takeFor(std::chrono::milliseconds span, bool (*cutShort)());
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
