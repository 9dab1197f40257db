#include "bench/Workload.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "bench/Clock.h"
#include "bench/DesignFigures.h"
#include "bench/LineJournal.h"
#include "bench/ProcessMeter.h"
#include "bench/ResultFile.h"
#include "tester/PulseBound.h"
#include "mount_simulator/MountSimulator.h"

namespace bench {
namespace {

// How long a move command may take to appear, and a stop command beyond its pulse's length.
constexpr int kCommandWaitMs = 5000;

const char* moveCommand(Direction direction)
{
    switch (direction) {
    case Direction::North: return ":Mn#";
    case Direction::South: return ":Ms#";
    case Direction::West: return ":Mw#";
    case Direction::East: return ":Me#";
    }
    return "";
}

const char* stopCommand(Direction direction)
{
    switch (direction) {
    case Direction::North: return ":Qn#";
    case Direction::South: return ":Qs#";
    case Direction::West: return ":Qw#";
    case Direction::East: return ":Qe#";
    }
    return "";
}

// Waits for one pulse's move and stop on the line, both after index from.
bool collect(LineJournal& journal, std::size_t from, PulseSample& sample, std::string& error)
{
    HeardCommand move;
    HeardCommand stop;
    const long moveIndex = journal.waitFor(moveCommand(sample.direction), from, kCommandWaitMs, move);
    if (moveIndex < 0) {
        error = std::string("no ") + moveCommand(sample.direction) + " reached the mount";
        return false;
    }
    const long stopIndex = journal.waitFor(stopCommand(sample.direction), static_cast<std::size_t>(moveIndex) + 1,
                                           sample.requestedMs + kCommandWaitMs, stop);
    if (stopIndex < 0) {
        error = std::string("no ") + stopCommand(sample.direction) + " followed " + moveCommand(sample.direction);
        return false;
    }
    sample.moveFirstMs = move.firstByteMs;
    sample.moveLastMs = move.lastByteMs;
    sample.stopFirstMs = stop.firstByteMs;
    sample.stopLastMs = stop.lastByteMs;
    return true;
}

}  // namespace

const std::vector<int> kPulseLengthsMs = {200, 500, 1000, 2000, 5000};

int runPulseRound(PulseButtons& buttons, LineJournal& journal, const std::vector<int>& lengthsMs, int pairsPerLength,
                  int round, std::mt19937& random, ResultWriter& results, std::string& error)
{
    std::vector<int> order = lengthsMs;
    std::shuffle(order.begin(), order.end(), random);
    std::uniform_real_distribution<double> withinTick(0, design::kHeartBeatMs);
    int taken = 0;
    for (const int lengthMs : order) {
        if (!buttons.setLength(lengthMs)) {
            error = "the pulse length " + std::to_string(lengthMs) + " ms could not be set";
            return -1;
        }
        for (int pair = 0; pair < pairsPerLength; ++pair) {
            const Direction declination = pair % 2 ? Direction::South : Direction::North;
            const Direction rightAscension = pair % 2 ? Direction::West : Direction::East;
            const std::size_t from = journal.size();
            PulseSample first{round, declination, lengthMs};
            PulseSample second{round, rightAscension, lengthMs};
            if (!buttons.press(declination, first.callMs, first.acknowledgedMs)) {
                error = "a pulse could not be asked for";
                return -1;
            }
            sleepUntilMs(first.callMs + withinTick(random));
            if (!buttons.press(rightAscension, second.callMs, second.acknowledgedMs)) {
                error = "a pulse could not be asked for";
                return -1;
            }
            for (PulseSample* sample : {&first, &second}) {
                if (!collect(journal, from, *sample, error)) return -1;
                results.add("pulse", sample->round, directionName(sample->direction), sample->requestedMs,
                            sample->callMs, sample->acknowledgedMs, sample->moveFirstMs, sample->moveLastMs,
                            sample->stopFirstMs, sample->stopLastMs);
                ++taken;
            }
            // A pause between pairs, so that the next press lands anywhere in the tick.
            sleepMs(50 + withinTick(random));
        }
        std::fprintf(stderr, "    %4d ms: %d pulses on each axis\n", lengthMs, pairsPerLength);
    }
    return taken;
}

void recordIdle(ResultWriter& results, const std::string& process, const ProcessActivity& activity)
{
    results.add("idle", process, activity.seconds, activity.cpuMs, activity.wakeUpsPerSecond,
                activity.involuntaryPerSecond, activity.residentKb, activity.threads);
    for (std::size_t i = 0; i < activity.perThread.size(); ++i) {
        results.add("thread", process, i + 1, activity.perThread[i].first, activity.perThread[i].second);
    }
}

const char* const kFloodUnit = "01:23:45#";
const char* const kMarker = "#!#";

FloodOutcome floodThenMark(MountSimulator& mount, double bytesPerSecond, double seconds,
                           const std::function<double()>& waitForMarker)
{
    const std::string unit = kFloodUnit;
    // At most this much in one write, so a flat-out flood still looks at the clock often.
    constexpr std::size_t kMostUnits = 455;
    std::string block;
    for (std::size_t i = 0; i < kMostUnits; ++i) block += unit;

    FloodOutcome outcome;
    outcome.askedBytesPerSecond = bytesPerSecond;
    outcome.startMs = nowMs();
    const double endMs = outcome.startMs + seconds * 1000;
    double sent = 0;
    // A paced flood goes out in batches of at least 2 ms worth: a write per reply would measure
    // the cost of writing to a terminal rather than what the link can take.
    const double smallestBatch = std::max(static_cast<double>(unit.size()), bytesPerSecond * 0.002);
    for (double now = outcome.startMs; now < endMs; now = nowMs()) {
        std::size_t units = kMostUnits;
        if (bytesPerSecond > 0) {
            const double due = bytesPerSecond * (now - outcome.startMs) / 1000 - sent;
            if (due < smallestBatch) {
                sleepMs(1);
                continue;
            }
            units = std::min(kMostUnits, static_cast<std::size_t>(due / unit.size()));
        }
        mount.send(block.substr(0, units * unit.size()));
        sent += static_cast<double>(units * unit.size());
    }
    const double floodEndMs = nowMs();
    outcome.bytes = sent;
    outcome.carriedBytesPerSecond = sent * 1000 / (floodEndMs - outcome.startMs);
    outcome.markerSentMs = nowMs();
    mount.send(kMarker);
    outcome.markerHandledMs = waitForMarker();
    return outcome;
}

bool keptUp(const FloodOutcome& outcome)
{
    return outcome.markerHandledMs >= 0 && outcome.markerLatencyMs() <= kMarkerPromptMs &&
           outcome.carriedBytesPerSecond >= 0.95 * outcome.askedBytesPerSecond;
}

void climbFloodLadder(const std::function<bool(double)>& flood, bool quick)
{
    const std::vector<double> multiples = quick ? std::vector<double>{1, 10, 100, 1000}
                                                : std::vector<double>{1, 3, 10, 30, 100, 300, 1000};
    double carried = 0;
    double notCarried = 0;
    for (const double multiple : multiples) {
        const double rate = multiple * design::kLineBytesPerSecond;
        if (!flood(rate)) {
            notCarried = rate;
            break;
        }
        carried = rate;
    }
    if (carried <= 0 || notCarried <= 0) return;
    for (int step = 0; step < (quick ? 1 : 2); ++step) {
        const double between = std::round(std::sqrt(carried * notCarried));
        (flood(between) ? carried : notCarried) = between;
    }
}

}  // namespace bench
