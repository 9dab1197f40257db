// guide-link against mounts on the network: the simulated mount served over TCP on loopback,
// the link connecting to it as a mount's WiFi or Ethernet module is reached. The same link,
// frames and verdicts as on a serial line; what differs is how a connection fails.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#endif

#include "support/GuideLinkOutput.h"
#include "support/GuideLinkProcess.h"
#include "mount_simulator/MountQuirk.h"
#include "mount_simulator/MountSimulator.h"
#include "mount_simulator/TcpMountLine.h"
#include "platform/network_listener.h"
#include "platform/serial.h"
#include "platform/serial_port_table.h"
#include "support/CaseName.h"

namespace {

using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr int kGenerousMs = 60000;
// How far apart the mount and the link may see a pulse's two ends: loopback carries a command
// in well under a millisecond, a busy machine's scheduler (or an emulator) takes longer; a tick
// more on one side is a fault.
constexpr double kEndsApartMs = 60;
// Widens guide-link's band for a machine busy with other tests by less than half a tick.
const char* const kSlack = "40";
// Within the guide rates motion takes for guiding, as the serial motion tests use.
constexpr double kMotionRate = 1.5;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// The simulated mount served here, over TCP on loopback, as lx200-mount-sim --tcp serves it.
class MountOnNetwork {
public:
    MountOnNetwork()
    {
        std::string error;
        std::unique_ptr<TcpMountLine> line = TcpMountLine::listen("127.0.0.1", 0, error);
        EXPECT_TRUE(line) << error;
        if (!line) return;
        address_ = line->address();
        mount_ = std::make_unique<MountSimulator>(std::move(line));
    }
    ~MountOnNetwork()
    {
        if (mount_) mount_->stop();
    }

    bool start(const MountBehaviour& behaviour)
    {
        if (!mount_) return false;
        mount_->setBehaviour(behaviour);
        return mount_->start();
    }
    MountSimulator& mount() { return *mount_; }
    const std::string& address() const { return address_; }

private:
    std::string address_;
    std::unique_ptr<MountSimulator> mount_;
};

double receivedAt(const MountSimulator& mount, const std::string& text)
{
    for (const ReceivedCommand& command : mount.commands()) {
        if (command.text == text) return command.milliseconds;
    }
    return -1;
}

// --- the built-in mount served over TCP, so guide-link.exe under Wine can reach one too ---

TEST(GuideLinkNetwork, ReachesReadyWithTheBuiltInMountServedOverTcp)
{
    const GuideLinkProcess::Outcome run =
        GuideLinkProcess::run({"--simulate", "--simulate-port", "tcp://127.0.0.1:0", "check"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, "status  Ready"));
    EXPECT_TRUE(contains(run.out, "over TCP; baud rate and framing do not apply"));
}

TEST(GuideLinkNetwork, PulsesAreTimedAsOnASerialLine)
{
    MountOnNetwork served;
    ASSERT_TRUE(served.start({}));
    const GuideLinkProcess::Outcome run =
        GuideLinkProcess::run({"--json", "pulse", served.address(), "north", "1000", "--slack", kSlack});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const std::vector<Json> pulses = eventsOfKind(events(run.out), "pulse");
    ASSERT_EQ(pulses.size(), 1u) << run.out;
    const double measured = pulses[0]["measured_ms"].get<double>();
    // The mount saw the pulse last as long as the link timed it: written means sent at once.
    const double moved = receivedAt(served.mount(), ":Qn#") - receivedAt(served.mount(), ":Mn#");
    EXPECT_NEAR(moved, measured, kEndsApartMs) << run.out;
}

// --- how a connection fails: exit code 2 and a sentence that names what happened ---

struct ConnectFailureCase {
    const char* what;
    enum Where { NothingListens, ListenerNeverAccepts, Malformed } where;
    std::string inMessage;
    std::string kind;  // error_kind of the JSON result; "" for a usage error
};
void PrintTo(const ConnectFailureCase& c, std::ostream* out) { *out << c.what; }

class ConnectFailure : public ::testing::TestWithParam<ConnectFailureCase> {};

// A free loopback port with nothing on it: a listener's, once it has gone.
std::string addressNobodyListensOn()
{
    std::string error;
    std::unique_ptr<platform::NetworkListener> listener = platform::NetworkListener::listen("", 0, error);
    return listener ? listener->address() : "";
}

// Connects to address until a connect goes unanswered: then the listener's queue is full, and
// every later connect waits in vain as for a mount that is switched off.
std::vector<std::unique_ptr<platform::SerialPort>> fillQueue(const std::string& address)
{
    constexpr int kFillerPort = 200;
    constexpr int kMostQueued = 1000;
    platform::mapSerialPort(kFillerPort, address);
    std::vector<std::unique_ptr<platform::SerialPort>> queued;
    for (int i = 0; i < kMostQueued; ++i) {
        std::unique_ptr<platform::SerialPort> client = platform::SerialPort::open(kFillerPort);
        if (!client) break;
        queued.push_back(std::move(client));
    }
    EXPECT_EQ(platform::openFailure(kFillerPort).kind, platform::OpenFailure::NoAnswer)
        << platform::openFailure(kFillerPort).reason;
    return queued;
}

TEST_P(ConnectFailure, EndsWithExitCodeTwoAndSaysWhatHappened)
{
    const ConnectFailureCase& c = GetParam();
    std::string error;
    std::unique_ptr<platform::NetworkListener> deaf;
    std::vector<std::unique_ptr<platform::SerialPort>> queued;
    std::string address;
    switch (c.where) {
    case ConnectFailureCase::NothingListens:
        address = addressNobodyListensOn();
        break;
    case ConnectFailureCase::ListenerNeverAccepts:
        deaf = platform::NetworkListener::listen("", 0, error);
        ASSERT_TRUE(deaf) << error;
        address = deaf->address();
        queued = fillQueue(address);
        break;
    case ConnectFailureCase::Malformed:
        address = "tcp://127.0.0.1";
        break;
    }
    ASSERT_FALSE(address.empty());

    const Clock::time_point began = Clock::now();
    const GuideLinkProcess::Outcome run = GuideLinkProcess::run({"--json", "check", address});
    // Well within the handshake's 6 s, though the connect may take its whole 5 s.
    EXPECT_LT(secondsSince(began), 30.0);
    EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
    if (c.kind.empty()) {
        EXPECT_TRUE(contains(run.err, c.inMessage));
        return;
    }
    const std::vector<Json> all = events(run.out);
    ASSERT_FALSE(all.empty()) << run.err;
    const Json& result = all.back();
    EXPECT_EQ(result["error_kind"], c.kind) << run.out;
    EXPECT_TRUE(contains(result["details"][0].get<std::string>(), c.inMessage));
}

INSTANTIATE_TEST_SUITE_P(
    Causes, ConnectFailure,
    ::testing::Values(
        ConnectFailureCase{"refused", ConnectFailureCase::NothingListens, "Connection refused: nothing listens on",
                           "refused"},
        ConnectFailureCase{"unanswered", ConnectFailureCase::ListenerNeverAccepts, "No answer from 127.0.0.1 port",
                           "no-answer"},
        ConnectFailureCase{"malformed", ConnectFailureCase::Malformed, "names no port", ""}),
    CaseName());

// --- motion: each quirk gets the verdict it gets on a serial line ---

struct QuirkCase {
    const char* what;
    std::string quirk;  // "" for a good mount
    int exitCode;
    std::string outcome;
};
void PrintTo(const QuirkCase& c, std::ostream* out) { *out << c.what; }

class MotionOverTcp : public ::testing::TestWithParam<QuirkCase> {};

TEST_P(MotionOverTcp, GivesTheVerdictOfASerialLine)
{
    const QuirkCase& c = GetParam();
    MountBehaviour behaviour;
    if (!c.quirk.empty()) {
        ASSERT_TRUE(mountQuirk::apply(c.quirk, behaviour));
    }
    behaviour.motion.guideRate = kMotionRate;
    MountOnNetwork served;
    ASSERT_TRUE(served.start(behaviour));
    const GuideLinkProcess::Outcome run = GuideLinkProcess::run({"--json", "motion", served.address(), "--pulses", "1",
                                                                 "--length", "3000", "--baseline", "1000",
                                                                 "--settle", "0"});
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
    const std::vector<Json> all = events(run.out);
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back()["outcome"], c.outcome) << run.out;
}

// The verdicts of the same cases over a serial line (GuideLinkMotionTest).
INSTANTIATE_TEST_SUITE_P(Quirks, MotionOverTcp,
                         ::testing::Values(QuirkCase{"a good mount", "", 0, "pass"},
                                           QuirkCase{"a mount that ignores stops", "no-stop", 1, "fail"},
                                           QuirkCase{"a mount in the short format", "short-format", 1, "fail"}),
                         CaseName());

#ifndef _WIN32

// --- lx200-mount-sim --tcp, the program itself ---

// lx200-mount-sim run as a child, with the address it listens on read from its first line.
class SimulatorProgram {
public:
    explicit SimulatorProgram(const std::vector<std::string>& options)
    {
        int output[2];
        if (::pipe(output) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(output[1], STDOUT_FILENO);
            ::close(output[0]);
            ::close(output[1]);
            std::vector<std::string> words{MOUNT_SIMULATOR_PROGRAM, "--tcp", "0"};
            words.insert(words.end(), options.begin(), options.end());
            std::vector<char*> argv;
            for (std::string& word : words) argv.push_back(word.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(output[1]);
        stdout_ = ::fdopen(output[0], "r");
        char line[256] = {};
        if (stdout_ && std::fgets(line, sizeof line, stdout_)) {
            const std::string text(line);
            const size_t at = text.find("tcp://");
            if (at != std::string::npos) address_ = text.substr(at, text.find_first_of("\r\n", at) - at);
        }
    }
    ~SimulatorProgram()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (stdout_) std::fclose(stdout_);
    }

    const std::string& address() const { return address_; }

private:
    pid_t pid_ = -1;
    FILE* stdout_ = nullptr;
    std::string address_;
};

TEST(MountSimulatorProgram, ServesTheHandshakeOverTcp)
{
    SimulatorProgram simulator({});
    ASSERT_FALSE(simulator.address().empty());
    const GuideLinkProcess::Outcome run = GuideLinkProcess::run({"check", simulator.address()});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, "status  Ready"));
}

TEST(MountSimulatorProgram, AConnectionClosedDuringAPulseIsAVanishedLine)
{
    // Dropped after the handshake, well before the end of the 5000 ms pulse.
    SimulatorProgram simulator({"--drop-after", "3"});
    ASSERT_FALSE(simulator.address().empty());
    GuideLinkProcess pulse({"--json", "pulse", simulator.address(), "north", "5000"});
    ASSERT_TRUE(pulse.started());
    ASSERT_TRUE(pulse.finish(kGenerousMs)) << pulse.out();
    // As when a serial adapter is pulled mid-pulse: the stop cannot be written, which the link
    // reports as a communication error, and the port is closed all the same.
    EXPECT_EQ(pulse.exitCode(), 1) << pulse.out() << pulse.err();
    std::vector<int> codes;
    for (const Json& status : eventsOfKind(events(pulse.out()), "status")) codes.push_back(status["code"].get<int>());
    ASSERT_GE(codes.size(), 2u) << pulse.out();
    EXPECT_EQ(std::vector<int>(codes.end() - 2, codes.end()), (std::vector<int>{5, 9})) << pulse.out();
    const Json result = events(pulse.out()).back();
    EXPECT_TRUE(contains(result["summary"].get<std::string>(), "the stop command could not be written"));
}

#endif

}  // namespace
