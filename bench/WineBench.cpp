#include "bench/WineBench.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <random>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "bench/ChildProcess.h"
#include "bench/Clock.h"
#include "bench/DesignFigures.h"
#include "bench/LineJournal.h"
#include "bench/ProcessMeter.h"
#include "bench/RecordingMountLine.h"
#include "bench/ResultFile.h"
#include "bench/Workload.h"
#include "mount_simulator/MountSimulator.h"
#include "ui/ResourceIds.h"

namespace bench {
namespace {

constexpr int kAnswerWaitMs = 60000;
constexpr int kStatusWaitMs = 15000;
// While the link works through a flood, looking more often would take wineserver from it.
constexpr double kMarkerPollGapMs = 10;

const char* const kConnecting = "Connecting... Please wait.";
const char* const kReady = "Ready";
const char* const kAlreadyConnected = "Error: Already connected";
const char* const kCommunicationError = "Communication error";
const char* const kConnectionClosed = "Connection closed";

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The dialog driver, one command line out and one answer line back.
//
// Under Wine, a dialog that has had no message for about 5 s counts as hung to the driver's
// probe (SendMessageTimeout with SMTO_ABORTIFHUNG fails at once), although its thread is waiting
// in its message loop: a click then answers "hung" even though the dialog took it. So after a
// quiet spell the dialog is first woken by a click that changes nothing (the English button,
// already chosen), repeated until it answers "ok".
class Dialog {
public:
    explicit Dialog(ChildProcess& driver) : driver_(driver) {}

    std::string ask(const std::string& command, double* sentMs = nullptr, double* answeredMs = nullptr)
    {
        if (nowMs() - lastAnswerMs_ > kQuietMs) wake();
        return exchange(command, sentMs, answeredMs);
    }

    void require(const std::string& command, const std::string& expected = "ok")
    {
        const std::string answer = ask(command);
        if (answer != expected) throw Failure("'" + command + "' was answered '" + answer + "'");
    }

    // Looks at the status line until it reads text; returns when the answer that showed it came.
    double waitForStatus(const std::string& text, int timeoutMs = kStatusWaitMs, double gapMs = kStatusPollGapMs)
    {
        const double deadline = nowMs() + timeoutMs;
        std::string shown;
        while (nowMs() < deadline) {
            double answered = 0;
            shown = ask("text " + std::to_string(IDC_STATUS), nullptr, &answered);
            if (shown == text) return answered;
            sleepMs(gapMs);
        }
        throw Failure("the status line shows \"" + shown + "\", not \"" + text + "\"");
    }

private:
    // Longer than this without a message, and the dialog may count as hung.
    static constexpr double kQuietMs = 3000;

    std::string exchange(const std::string& command, double* sentMs, double* answeredMs)
    {
        const double sent = nowMs();
        std::string answer;
        if (!driver_.send(command) || !driver_.receive(answer, kAnswerWaitMs)) {
            throw Failure("the dialog driver did not answer '" + command + "'");
        }
        lastAnswerMs_ = nowMs();
        if (sentMs) *sentMs = sent;
        if (answeredMs) *answeredMs = lastAnswerMs_;
        return answer;
    }

    void wake()
    {
        const std::string harmless = "click " + std::to_string(IDC_ENGLISH);
        for (int attempt = 0; attempt < 50; ++attempt) {
            const std::string answer = exchange(harmless, nullptr, nullptr);
            // Before the dialog is there (or after it has gone) there is nothing to wake.
            if (answer == "ok" || answer.compare(0, 6, "error:") == 0) return;
            sleepMs(20);
        }
        throw Failure("the dialog did not wake up");
    }

    ChildProcess& driver_;
    double lastAnswerMs_ = 0;
};

class WineBench {
public:
    explicit WineBench(const WineOptions& options) : options_(options), results_(options.results) {}

    int run();

private:
    std::vector<std::string> environment() const { return {"WINE_COM_PORTS=1=" + options_.linkDevice}; }

    void startDriver();
    void launchTester();
    void closeTester();
    void connect();
    void measureLaunches();
    void measureHandshakes();
    void measureIdle();
    void measurePulses();
    void measureThroughput();

    const WineOptions& options_;
    ResultWriter results_;
    LineJournal journal_;
    std::unique_ptr<MountSimulator> mount_;
    std::unique_ptr<ChildProcess> driverProcess_;
    std::unique_ptr<Dialog> dialog_;
    std::unique_ptr<ChildProcess> tester_;
    std::mt19937 random_{std::random_device{}()};
};

class ArrowButtons final : public PulseButtons {
public:
    explicit ArrowButtons(Dialog& dialog) : dialog_(dialog) {}

    bool setLength(int ms) override
    {
        return dialog_.ask("type " + std::to_string(IDC_PULSE_MS) + " " + std::to_string(ms)) == "ok";
    }

    bool press(Direction direction, double& callMs, double& acknowledgedMs) override
    {
        int button = IDC_NORTH;
        switch (direction) {
        case Direction::North: button = IDC_NORTH; break;
        case Direction::South: button = IDC_SOUTH; break;
        case Direction::West: button = IDC_WEST; break;
        case Direction::East: button = IDC_EAST; break;
        }
        return dialog_.ask("click " + std::to_string(button), &callMs, &acknowledgedMs) == "ok";
    }

private:
    Dialog& dialog_;
};

void WineBench::startDriver()
{
    ChildProcess::Options childOptions;
    childOptions.pipes = true;
    childOptions.environment = environment();
    std::string error;
    driverProcess_ = ChildProcess::start({options_.wineRun, options_.prefix, options_.driver}, childOptions, error);
    if (!driverProcess_) throw Failure("the dialog driver did not start: " + error);
    dialog_ = std::make_unique<Dialog>(*driverProcess_);
    // Answered once the driver runs; no dialog is there yet.
    dialog_->require("exists", "0");
}

void WineBench::launchTester()
{
    ChildProcess::Options childOptions;
    childOptions.environment = environment();
    std::string error;
    const double startMs = nowMs();
    tester_ = ChildProcess::start({options_.wineRun, options_.prefix, options_.tester}, childOptions, error);
    if (!tester_) throw Failure("the tester did not start: " + error);
    double shownMs = 0;
    if (dialog_->ask("wait 30000", nullptr, &shownMs) != "ok") throw Failure("the tester showed no dialog");
    results_.add("launch", shownMs - startMs);
    std::fprintf(stderr, "    dialog on screen %.0f ms after launch\n", shownMs - startMs);
}

void WineBench::closeTester()
{
    if (!tester_) return;
    dialog_->require("close");
    if (!tester_->waitForExit(15000)) throw Failure("the tester did not end when its dialog was closed");
    tester_.reset();
}

void WineBench::connect()
{
    dialog_->require("select " + std::to_string(IDC_PORT_LIST) + " 0");
    dialog_->require("click " + std::to_string(IDC_CONNECT));
    dialog_->waitForStatus(kReady);
}

void WineBench::measureLaunches()
{
    const int launches = options_.quick ? 1 : 3;
    std::fprintf(stderr, "  launch to dialog: %d launches\n", launches);
    for (int i = 0; i < launches; ++i) {
        if (i > 0) closeTester();
        launchTester();
    }
    struct stat info{};
    if (::stat(options_.tester.c_str(), &info) == 0) results_.add("size", static_cast<long long>(info.st_size));
}

void WineBench::measureHandshakes()
{
    const int runs = options_.quick ? 2 : 6;
    std::fprintf(stderr, "  handshake: %d connects\n", runs);
    dialog_->require("select " + std::to_string(IDC_PORT_LIST) + " 0");
    std::uniform_real_distribution<double> pause(0, design::kHeartBeatMs);
    for (int i = 0; i < runs; ++i) {
        double clickMs = 0;
        const std::size_t heard = journal_.size();
        if (dialog_->ask("click " + std::to_string(IDC_CONNECT), &clickMs) != "ok") throw Failure("Connect refused");
        const double connectingMs = dialog_->waitForStatus(kConnecting);
        const double readyMs = dialog_->waitForStatus(kReady);
        HeardCommand first;
        HeardCommand last;
        if (journal_.waitFor(":GS#", heard, kStatusWaitMs, first) < 0 ||
            journal_.waitFor(":GD#", heard, kStatusWaitMs, last) < 0) {
            throw Failure("the handshake's questions did not all reach the mount");
        }
        results_.add("handshake", clickMs, connectingMs, readyMs, first.firstByteMs, last.lastByteMs);
        dialog_->require("click " + std::to_string(IDC_DISCONNECT));
        dialog_->waitForStatus(kConnectionClosed);
        sleepMs(200 + pause(random_));
    }
}

void WineBench::measureIdle()
{
    const int intervals = 3;
    const double seconds = options_.quick ? 3 : 20;
    std::fprintf(stderr, "  idle while connected: %d x %.0f s\n", intervals, seconds);
    connect();
    const pid_t tester = tester_->pid();
    if (commandLineOf(tester).find("guide-link-tester") == std::string::npos) {
        throw Failure("process " + std::to_string(tester) + " is not the tester: " + commandLineOf(tester));
    }
    const pid_t server = findProcess("wineserver", "WINEPREFIX", options_.prefix);
    sleepMs(2000);
    for (int i = 0; i < intervals; ++i) {
        const ProcessSample testerBefore = sampleProcess(tester);
        const ProcessSample serverBefore = server ? sampleProcess(server) : ProcessSample{};
        sleepMs(seconds * 1000);
        const ProcessSample testerAfter = sampleProcess(tester);
        const ProcessSample serverAfter = server ? sampleProcess(server) : ProcessSample{};
        if (!testerBefore.valid || !testerAfter.valid) throw Failure("the tester went away while idle");
        for (const auto& [name, before, after] :
             {std::tuple{"tester", testerBefore, testerAfter}, std::tuple{"wineserver", serverBefore, serverAfter}}) {
            if (before.valid && after.valid) recordIdle(results_, name, activityBetween(before, after));
        }
    }
    dialog_->require("click " + std::to_string(IDC_DISCONNECT));
    dialog_->waitForStatus(kConnectionClosed);
}

void WineBench::measurePulses()
{
    // The tester is started afresh for each round, so that each round has a phase of its own.
    const int rounds = options_.quick ? 1 : 2;
    const int pairs = options_.quick ? 3 : 10;
    for (int round = 1; round <= rounds; ++round) {
        std::fprintf(stderr, "  pulses, round %d of %d\n", round, rounds);
        closeTester();
        launchTester();
        connect();
        ArrowButtons buttons(*dialog_);
        std::string error;
        if (runPulseRound(buttons, journal_, kPulseLengthsMs, pairs, round, random_, results_, error) < 0) {
            throw Failure("pulses failed: " + error);
        }
    }
}

void WineBench::measureThroughput()
{
    std::fprintf(stderr, "  throughput: a flood of replies at rising rates, then a marker\n");
    const double seconds = options_.quick ? 1 : 2;
    auto flood = [&](double rate) {
        // Shown only once the link has worked through everything before it: a clean start.
        dialog_->require("click " + std::to_string(IDC_CONNECT));
        dialog_->waitForStatus(kAlreadyConnected);
        const FloodOutcome outcome = floodThenMark(*mount_, rate, seconds, [&] {
            try {
                return dialog_->waitForStatus(kCommunicationError, 120000, kMarkerPollGapMs);
            } catch (const Failure&) {
                return -1.0;
            }
        });
        const bool kept = rate > 0 && keptUp(outcome);
        results_.add("flood", rate, outcome.carriedBytesPerSecond, outcome.bytes, outcome.markerLatencyMs(),
                     kept ? 1 : 0);
        std::fprintf(stderr, "    asked %9.0f B/s  carried %9.0f B/s  marker after %7.1f ms\n", rate,
                     outcome.carriedBytesPerSecond, outcome.markerLatencyMs());
        sleepMs(300);
        return kept;
    };
    climbFloodLadder(flood, options_.quick);
    // Flat out, repeated: how busy each thread of the tester and wineserver were meanwhile shows
    // what holds the rate down.
    const pid_t server = findProcess("wineserver", "WINEPREFIX", options_.prefix);
    for (int run = 0; run < (options_.quick ? 1 : 3); ++run) {
        const ProcessSample testerBefore = sampleProcess(tester_->pid());
        const ProcessSample serverBefore = server ? sampleProcess(server) : ProcessSample{};
        flood(0);
        const ProcessSample testerAfter = sampleProcess(tester_->pid());
        const ProcessSample serverAfter = server ? sampleProcess(server) : ProcessSample{};
        for (const auto& [name, before, after] :
             {std::tuple{"tester", testerBefore, testerAfter}, std::tuple{"wineserver", serverBefore, serverAfter}}) {
            if (!before.valid || !after.valid) continue;
            const ProcessActivity activity = activityBetween(before, after);
            for (std::size_t i = 0; i < activity.perThread.size(); ++i) {
                results_.add("busy", name, i + 1, activity.perThread[i].second / (activity.seconds * 10));
            }
        }
    }
}

int WineBench::run()
{
    if (!results_.good()) {
        std::fprintf(stderr, "cannot write %s\n", options_.results.c_str());
        return 1;
    }
    std::string error;
    auto line = RecordingMountLine::open(options_.mountDevice, journal_, error);
    if (!line) {
        std::fprintf(stderr, "the simulated mount cannot open its end of the line: %s\n", error.c_str());
        return 1;
    }
    mount_ = std::make_unique<MountSimulator>(std::move(line));
    if (!mount_->start()) {
        std::fprintf(stderr, "the simulated mount did not start\n");
        return 1;
    }
    std::fprintf(stderr, "Windows program under Wine (%s mode)\n", options_.quick ? "quick" : "full");
    int status = 0;
    try {
        startDriver();
        measureLaunches();
        measureHandshakes();
        measureIdle();
        measurePulses();
        // The last round's tester is still connected.
        measureThroughput();
        closeTester();
    } catch (const Failure& failure) {
        std::fprintf(stderr, "under Wine: %s\n", failure.what());
        status = 1;
    }
    tester_.reset();
    if (driverProcess_) driverProcess_->closeInput();
    driverProcess_.reset();
    mount_->stop();
    return status;
}

}  // namespace

int runWineBench(const WineOptions& options) { return WineBench(options).run(); }

}  // namespace bench
