#include "bench/NativeBench.h"

#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <random>
#include <vector>

#include "bench/ChildProcess.h"
#include "bench/Clock.h"
#include "bench/DesignFigures.h"
#include "bench/LineJournal.h"
#include "bench/ProcessMeter.h"
#include "bench/RecordingMountLine.h"
#include "bench/ResultFile.h"
#include "bench/Workload.h"
#include "heartbeat/HeartBeatTimer.h"
#include "link/StatusCode.h"
#include "link/TelescopeControl.h"
#include "link/TelescopeListener.h"
#include "link/iHeartBeatListener.h"
#include "platform/serial_port_table.h"
#include "mount_simulator/MountSimulator.h"

namespace bench {
namespace {

// The link sees the line as COM1, as the tester's users usually have it.
constexpr int kLinkPort = 1;
constexpr int kStatusWaitMs = 10000;

// Every status the link reports, with the time it came.
class StatusLog final : public TelescopeListener {
public:
    void onStatus(int code) override
    {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            entries_.push_back({code, nowMs()});
        }
        arrived_.notify_all();
    }

    std::size_t size() const
    {
        std::lock_guard<std::mutex> hold(mutex_);
        return entries_.size();
    }

    // The time of the first status code at index from or later; negative if none came in time.
    double waitFor(StatusCode code, std::size_t from, int timeoutMs) const
    {
        std::unique_lock<std::mutex> hold(mutex_);
        double at = -1;
        auto look = [&] {
            for (std::size_t i = from; i < entries_.size(); ++i) {
                if (entries_[i].code == static_cast<int>(code)) {
                    at = entries_[i].atMs;
                    return true;
                }
            }
            return false;
        };
        arrived_.wait_for(hold, std::chrono::milliseconds(timeoutMs), look);
        return at;
    }

private:
    struct Entry {
        int code;
        double atMs;
    };
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<Entry> entries_;
};

// Passes each heartbeat tick on to the link and notes when it came.
class TickRecorder final : public iHeartBeatListener {
public:
    explicit TickRecorder(iHeartBeatListener& next) : next_(next) {}

    void onHeartBeat() override
    {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            times_.push_back(nowMs());
        }
        next_.onHeartBeat();
    }

    std::vector<double> times() const
    {
        std::lock_guard<std::mutex> hold(mutex_);
        return times_;
    }

private:
    iHeartBeatListener& next_;
    mutable std::mutex mutex_;
    std::vector<double> times_;
};

// The link and its heartbeat, wired as the program wires them; taken down in the same order.
class LinkUnderTest {
public:
    explicit LinkUnderTest(TelescopeListener& listener) : link_(&listener), ticks_(link_)
    {
        heartbeat_.attach(&ticks_);
        heartbeat_.start();
    }

    ~LinkUnderTest()
    {
        heartbeat_.detach();
        heartbeat_.stop();
        link_.shutDown();
    }

    iTelescopeControl& control() { return link_; }
    std::vector<double> tickTimes() const { return ticks_.times(); }

private:
    TelescopeControl link_;
    TickRecorder ticks_;
    HeartBeatTimer heartbeat_;
};

bool connect(LinkUnderTest& link, StatusLog& statuses, double* callMs = nullptr, double* connectingMs = nullptr,
             double* readyMs = nullptr)
{
    const std::size_t from = statuses.size();
    const double call = nowMs();
    link.control().connect(kLinkPort);
    const double connecting = statuses.waitFor(StatusCode::Connecting, from, kStatusWaitMs);
    const double ready = statuses.waitFor(StatusCode::Ready, from, kStatusWaitMs);
    if (callMs) *callMs = call;
    if (connectingMs) *connectingMs = connecting;
    if (readyMs) *readyMs = ready;
    return connecting >= 0 && ready >= 0;
}

bool disconnect(LinkUnderTest& link, StatusLog& statuses)
{
    const std::size_t from = statuses.size();
    link.control().disconnect();
    return statuses.waitFor(StatusCode::ConnectionClosed, from, kStatusWaitMs) >= 0;
}

class DirectCalls final : public PulseButtons {
public:
    explicit DirectCalls(iTelescopeControl& control) : control_(control) {}

    bool setLength(int ms) override
    {
        ticks_ = design::ticksFor(ms);
        return true;
    }

    bool press(Direction direction, double& callMs, double& acknowledgedMs) override
    {
        callMs = nowMs();
        control_.sendCorrection(static_cast<int>(direction), ticks_);
        acknowledgedMs = nowMs();
        return true;
    }

private:
    iTelescopeControl& control_;
    int ticks_ = 0;
};

void recordHeartbeat(ResultWriter& results, int round, const std::vector<double>& times)
{
    if (times.size() < 2) return;
    double shortest = 1e9;
    double longest = 0;
    for (std::size_t i = 1; i < times.size(); ++i) {
        shortest = std::min(shortest, times[i] - times[i - 1]);
        longest = std::max(longest, times[i] - times[i - 1]);
    }
    const double mean = (times.back() - times.front()) / static_cast<double>(times.size() - 1);
    results.add("heartbeat", round, times.size(), mean, shortest, longest);
}

bool measureIdle(const NativeOptions& options, ResultWriter& results)
{
    const int intervals = 3;
    const double seconds = options.quick ? 3 : 20;
    std::fprintf(stderr, "  idle link in a child process: %d x %.0f s\n", intervals, seconds);
    ChildProcess::Options childOptions;
    childOptions.pipes = true;
    std::string error;
    auto child = ChildProcess::start({options.self, "idle-link", options.linkDevice}, childOptions, error);
    std::string line;
    if (!child || !child->receive(line, 20000) || line != "ready") {
        std::fprintf(stderr, "the idle link did not connect%s%s\n", error.empty() ? "" : ": ", error.c_str());
        return false;
    }
    // Let the start-up's own work settle first.
    sleepMs(2000);
    for (int i = 0; i < intervals; ++i) {
        const ProcessSample before = sampleProcess(child->pid());
        sleepMs(seconds * 1000);
        const ProcessSample after = sampleProcess(child->pid());
        if (!before.valid || !after.valid) return false;
        recordIdle(results, "link", activityBetween(before, after));
    }
    child->closeInput();
    return child->waitForExit(20000);
}

bool measureHandshakes(const NativeOptions& options, StatusLog& statuses, LineJournal& journal,
                       ResultWriter& results, std::mt19937& random)
{
    const int runs = options.quick ? 3 : 10;
    std::fprintf(stderr, "  handshake: %d connects\n", runs);
    LinkUnderTest link(statuses);
    std::uniform_real_distribution<double> pause(0, design::kHeartBeatMs);
    for (int i = 0; i < runs; ++i) {
        double call = 0;
        double connecting = 0;
        double ready = 0;
        const std::size_t heard = journal.size();
        if (!connect(link, statuses, &call, &connecting, &ready)) return false;
        HeardCommand first;
        HeardCommand last;
        if (journal.waitFor(":GS#", heard, kStatusWaitMs, first) < 0 ||
            journal.waitFor(":GD#", heard, kStatusWaitMs, last) < 0) {
            return false;
        }
        results.add("handshake", call, connecting, ready, first.firstByteMs, last.lastByteMs);
        if (!disconnect(link, statuses)) return false;
        sleepMs(200 + pause(random));
    }
    return true;
}

bool measurePulses(const NativeOptions& options, StatusLog& statuses, LineJournal& journal, ResultWriter& results,
                   std::mt19937& random)
{
    // A fresh link and heartbeat each round, so that each round has a phase of its own.
    const int rounds = options.quick ? 1 : 4;
    const int pairs = options.quick ? 3 : 5;
    for (int round = 1; round <= rounds; ++round) {
        std::fprintf(stderr, "  pulses, round %d of %d\n", round, rounds);
        LinkUnderTest link(statuses);
        if (!connect(link, statuses)) return false;
        DirectCalls buttons(link.control());
        std::string error;
        if (runPulseRound(buttons, journal, kPulseLengthsMs, pairs, round, random, results, error) < 0) {
            std::fprintf(stderr, "pulses failed: %s\n", error.c_str());
            return false;
        }
        recordHeartbeat(results, round, link.tickTimes());
        if (!disconnect(link, statuses)) return false;
    }
    return true;
}

bool measureThroughput(const NativeOptions& options, StatusLog& statuses, MountSimulator& mount,
                       ResultWriter& results)
{
    std::fprintf(stderr, "  throughput: a flood of replies at rising rates, then a marker\n");
    LinkUnderTest link(statuses);
    if (!connect(link, statuses)) return false;
    const double seconds = options.quick ? 1 : 2;
    auto flood = [&](double rate) {
        const std::size_t from = statuses.size();
        const FloodOutcome outcome = floodThenMark(mount, rate, seconds, [&] {
            return statuses.waitFor(StatusCode::CommunicationError, from, 120000);
        });
        const bool kept = rate > 0 && keptUp(outcome);
        results.add("flood", rate, outcome.carriedBytesPerSecond, outcome.bytes, outcome.markerLatencyMs(),
                    kept ? 1 : 0);
        std::fprintf(stderr, "    asked %9.0f B/s  carried %9.0f B/s  marker after %7.1f ms\n", rate,
                     outcome.carriedBytesPerSecond, outcome.markerLatencyMs());
        sleepMs(300);
        return kept;
    };
    climbFloodLadder(flood, options.quick);
    for (int run = 0; run < (options.quick ? 1 : 3); ++run) flood(0);
    return disconnect(link, statuses);
}

}  // namespace

int runNativeBench(const NativeOptions& options)
{
    ResultWriter results(options.results);
    if (!results.good()) {
        std::fprintf(stderr, "cannot write %s\n", options.results.c_str());
        return 1;
    }
    platform::mapSerialPort(kLinkPort, options.linkDevice);
    LineJournal journal;
    std::string error;
    auto line = RecordingMountLine::open(options.mountDevice, journal, error);
    if (!line) {
        std::fprintf(stderr, "the simulated mount cannot open its end of the line: %s\n", error.c_str());
        return 1;
    }
    MountSimulator mount(std::move(line));
    if (!mount.start()) {
        std::fprintf(stderr, "the simulated mount did not start\n");
        return 1;
    }
    std::mt19937 random(static_cast<unsigned>(nowMs() * 1000) ^ std::random_device{}());
    StatusLog statuses;
    std::fprintf(stderr, "Native link (%s mode)\n", options.quick ? "quick" : "full");
    const bool done = measureIdle(options, results) && measureHandshakes(options, statuses, journal, results, random) &&
                      measurePulses(options, statuses, journal, results, random) &&
                      measureThroughput(options, statuses, mount, results);
    mount.stop();
    return done ? 0 : 1;
}

int runIdleLink(const std::string& device)
{
    platform::mapSerialPort(kLinkPort, device);
    StatusLog statuses;
    {
        LinkUnderTest link(statuses);
        if (!connect(link, statuses)) return 1;
        std::cout << "ready" << std::endl;
        std::string ignored;
        while (std::getline(std::cin, ignored)) {
        }
    }
    return 0;
}

}  // namespace bench
