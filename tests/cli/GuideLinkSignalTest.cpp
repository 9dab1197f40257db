// guide-link asked to stop from outside (Ctrl-C, a supervisor's SIGTERM, the SIGHUP of a session
// that dropped) in the middle of its work, against the simulated mount over a real serial line:
// it must end soon, with exit code 3, and the mount must have received the stop of every move.
// Signals are POSIX; the Windows build has its console handler instead.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <signal.h>
#endif

#include "support/GuideLinkOutput.h"
#include "support/GuideLinkProcess.h"
#include "support/CaseName.h"
#include "support/SerialLinePair.h"
#include "mount_simulator/MountSimulator.h"

namespace {

#ifndef _WIN32

constexpr int kGenerousMs = 20000;
// Far longer than the way out takes (the stops, closing the port, well under a second), far
// shorter than the 5000 ms pulses and the waits the signals arrive in.
constexpr int kEndsWithinMs = 3000;
constexpr int kStopArrivesWithinMs = 2000;
// Apart, so that the second signal is not merged into the first while it is pending.
constexpr std::chrono::milliseconds kBetweenSignals{50};
// Stands for the link's end of the line among a case's arguments.
const char* const kPort = "PORT";

struct SignalCase {
    const char* what;
    std::vector<std::string> arguments;
    std::string signalAfter;  // the line of output that shows the program is where the case tests
    std::vector<int> signals;
    bool silentMount = false;
    bool chattering = false;  // the mount sends bytes without end from the first move on
};
void PrintTo(const SignalCase& c, std::ostream* out) { *out << c.what; }

const std::vector<std::string> kLongPulse{"pulse", kPort, "north", "5000"};
const char* const kMoveSent = "sent    \":Mn#\"";

// Which moves the mount was left with: a move ends with the stop of its direction or the halt.
::testing::AssertionResult everyMoveStopped(const std::vector<ReceivedCommand>& commands)
{
    std::set<char> moving;
    std::string all;
    for (const ReceivedCommand& command : commands) {
        const std::string& text = command.text;
        all += text + " ";
        if (text == ":Q#") moving.clear();
        if (text.compare(0, 3, ":Mg") == 0 && text.size() == 9) moving.insert(text[3]);
        if (text.size() != 4) continue;
        if (text.compare(0, 2, ":M") == 0) moving.insert(text[2]);
        if (text.compare(0, 2, ":Q") == 0) moving.erase(text[2]);
    }
    if (moving.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "left moving '" << std::string(moving.begin(), moving.end())
                                         << "' after: " << all;
}

bool waitForOutput(const GuideLinkProcess& program, const std::string& text)
{
    for (int waited = 0; waited < kGenerousMs; waited += 20) {
        if (program.out().find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

class GuideLinkSignal : public ::testing::TestWithParam<SignalCase> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(line.present()) << "run through tests/line/with-serial-pair.sh, which makes the serial line";
        ASSERT_TRUE(mount.start()) << "the simulated mount could not open its end of the line";
    }

    void TearDown() override
    {
        chattering = false;
        if (chatter.joinable()) chatter.join();
        mount.stop();
    }

    void startChatter()
    {
        chattering = true;
        chatter = std::thread([this] {
            for (unsigned seed = 1; chattering; ++seed) {
                mount.sendNoise(32, seed);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }

    SerialLinePair line;  // first: it names the devices the others open
    MountSimulator mount{SerialLinePair::kMountPort};
    std::atomic<bool> chattering{false};
    std::thread chatter;
};

TEST_P(GuideLinkSignal, EndsSoonWithExitCode3HavingStoppedEveryMove)
{
    const SignalCase& c = GetParam();
    if (c.silentMount) {
        MountBehaviour silent;
        silent.answers = MountBehaviour::Answers::Silent;
        mount.setBehaviour(silent);
    }
    std::vector<std::string> arguments = c.arguments;
    for (std::string& argument : arguments) {
        if (argument == kPort) argument = linkEnd();
    }
    GuideLinkProcess program(arguments);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(waitForOutput(program, c.signalAfter)) << program.out() << program.err();
    if (c.chattering) startChatter();

    for (size_t i = 0; i < c.signals.size(); ++i) {
        if (i > 0) std::this_thread::sleep_for(kBetweenSignals);
        program.signal(c.signals[i]);
    }
    ASSERT_TRUE(program.finish(kEndsWithinMs)) << "still running " << kEndsWithinMs << " ms after the signal:\n"
                                               << program.out();
    EXPECT_EQ(program.exitCode(), 3) << program.out() << program.err();
    EXPECT_TRUE(contains(program.out(), "INTERRUPTED:"));
    // The last stop may still be on its way through the line.
    for (int waited = 0; waited < kStopArrivesWithinMs && !everyMoveStopped(mount.commands()); waited += 20) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(everyMoveStopped(mount.commands()));
}

INSTANTIATE_TEST_SUITE_P(
    DuringTheWork, GuideLinkSignal,
    ::testing::Values(
        SignalCase{"two SIGINTs during a pulse", kLongPulse, kMoveSent, {SIGINT, SIGINT}},
        SignalCase{"one SIGINT during a pulse", kLongPulse, kMoveSent, {SIGINT}},
        SignalCase{"SIGTERM during a pulse", kLongPulse, kMoveSent, {SIGTERM}},
        SignalCase{"SIGHUP during a pulse", kLongPulse, kMoveSent, {SIGHUP}},
        SignalCase{"two SIGINTs during a pulse on a line that chatters", kLongPulse, kMoveSent, {SIGINT, SIGINT},
                   false, true},
        SignalCase{"SIGINT during a series", {"--transcript", "series", kPort, "--lengths", "5000"}, kMoveSent,
                   {SIGINT}},
        SignalCase{"SIGTERM during a mount-timed series",
                   {"--transcript", "series", kPort, "--lengths", "5000", "--timed-by", "mount"},
                   "sent    \":Mgn5000#\"", {SIGTERM}},
        SignalCase{"SIGINT during the wait for motion's baseline",
                   {"--transcript", "motion", kPort, "--baseline", "20000"}, "status  Connection closed", {SIGINT}},
        SignalCase{"two SIGINTs while a silent mount is awaited", {"check", kPort}, "sent    \":GS#\"",
                   {SIGINT, SIGINT}, true}),
    CaseName());

// The mount times :Mg itself, but a mount that does not would run on: an interrupt stops it at
// once, long before the late stop (7.5 s after the move), let alone the pulse's own end.
TEST_F(GuideLinkSignal, AnInterruptStopsAMountTimedPulseAtOnce)
{
    GuideLinkProcess program({"pulse", linkEnd(), "north", "5000", "--timed-by", "mount"});
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(waitForOutput(program, "sent    \":Mgn5000#\"")) << program.out() << program.err();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const size_t before = mount.commands().size();
    program.signal(SIGINT);
    const auto stopped = [&] {
        const std::vector<ReceivedCommand> commands = mount.commands();
        for (size_t i = before; i < commands.size(); ++i) {
            if (commands[i].text == ":Qn#") return true;
        }
        return false;
    };
    for (int waited = 0; waited < 1000 && !stopped(); waited += 10) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(stopped()) << program.out();
    ASSERT_TRUE(program.finish(kEndsWithinMs)) << program.out();
    EXPECT_EQ(program.exitCode(), 3) << program.out() << program.err();
}

// Index of the first command text after index from, or commands.size().
size_t indexOf(const std::vector<ReceivedCommand>& commands, const std::string& text, size_t from = 0)
{
    for (size_t i = from; i < commands.size(); ++i) {
        if (commands[i].text == text) return i;
    }
    return commands.size();
}

// Motion reads the position after each probe and moves on at once. A stop asked for while that
// reading is under way must leave the mount as it is: no move after it, the halt only.
TEST_F(GuideLinkSignal, ASignalDuringAReadingSendsNoMoveAfterIt)
{
    MountBehaviour behaviour;
    behaviour.motion.guideRate = 1.0;
    mount.setBehaviour(behaviour);
    GuideLinkProcess program({"motion", linkEnd(), "--baseline", "0"});
    ASSERT_TRUE(program.started());
    const auto readingAfterTheProbe = [this] {
        const std::vector<ReceivedCommand> commands = mount.commands();
        return indexOf(commands, ":GD#", indexOf(commands, ":Qs#"));
    };
    for (int waited = 0; indexOf(mount.commands(), ":Qs#") == mount.commands().size(); ++waited) {
        ASSERT_LT(waited, kGenerousMs) << program.out();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Its answers now come late, so the signal lands before the reading is over.
    behaviour.delayMs = 300;
    mount.setBehaviour(behaviour);
    size_t reading = 0;
    for (int waited = 0; (reading = readingAfterTheProbe()) == mount.commands().size(); ++waited) {
        ASSERT_LT(waited, kGenerousMs) << program.out();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    program.signal(SIGTERM);
    ASSERT_TRUE(program.finish(kGenerousMs)) << program.out();
    EXPECT_EQ(program.exitCode(), 3) << program.out() << program.err();
    const std::vector<ReceivedCommand> commands = mount.commands();
    for (size_t i = reading; i < commands.size(); ++i) {
        EXPECT_NE(commands[i].text.rfind(":M", 0), 0u) << "a move after the signal: " << program.out();
    }
    EXPECT_TRUE(everyMoveStopped(commands));
}

#endif

}  // namespace
