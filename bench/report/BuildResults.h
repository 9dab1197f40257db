#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

// The records of a build's result file (bench/ResultFile.h), one structure for each kind.
namespace bench::report {

struct Pulse {
    int round = 0;
    std::string direction;
    int requestedMs = 0;
    double callMs = 0;
    double acknowledgedMs = 0;
    double moveFirstMs = 0;
    double moveLastMs = 0;
    double stopFirstMs = 0;
    double stopLastMs = 0;

    double lengthMs() const { return stopFirstMs - moveLastMs; }
    double errorMs() const { return lengthMs() - requestedMs; }
    double latencyMs() const { return moveFirstMs - callMs; }
    double latencyFromAcknowledgementMs() const { return moveFirstMs - acknowledgedMs; }
};

struct Handshake {
    double callMs = 0;
    double connectingMs = 0;
    double readyMs = 0;
    double firstQuestionMs = 0;
    double lastQuestionMs = 0;
};

struct Flood {
    double askedBytesPerSecond = 0;
    double carriedBytesPerSecond = 0;
    double bytes = 0;
    double markerLatencyMs = 0;
    bool keptUp = false;

    // Flat out: everything sent, from the flood's start until the marker behind it was handled.
    double drainedBytesPerSecond() const
    {
        const double floodMs = bytes * 1000 / carriedBytesPerSecond;
        return bytes * 1000 / (floodMs + markerLatencyMs);
    }
};

struct Idle {
    std::string process;
    double seconds = 0;
    double cpuMs = 0;
    double wakeUpsPerSecond = 0;
    double involuntaryPerSecond = 0;
    double residentKb = 0;
    int threads = 0;
    // Per thread, oldest first: wake-ups per second and processor time over the interval.
    std::vector<std::pair<double, double>> perThread;

    double cpuMsPerMinute() const { return seconds > 0 ? cpuMs * 60 / seconds : 0; }
};

struct Heartbeat {
    int round = 0;
    double ticks = 0;
    double meanMs = 0;
    double shortestMs = 0;
    double longestMs = 0;
};

struct BuildResults {
    std::string name;  // as the table names the build
    bool present = false;
    std::vector<Pulse> pulses;
    std::vector<Handshake> handshakes;
    std::vector<Heartbeat> heartbeats;
    std::vector<Flood> floods;
    std::vector<Idle> idles;
    std::vector<double> launchesMs;
    double sizeBytes = -1;
    // Per process and thread (1: the oldest), the share of a processor each flat-out flood kept it busy.
    std::map<std::pair<std::string, int>, std::vector<double>> busy;
};

// Both builds' results. A build whose file is not named, or holds no records, is not present.
struct Builds {
    Builds(const std::string& nativePath, const std::string& winePath);
    // measured points into the object itself.
    Builds(const Builds&) = delete;
    Builds& operator=(const Builds&) = delete;

    bool isWine(const BuildResults& build) const { return &build == &wine; }

    const BuildResults native;
    const BuildResults wine;
    // The builds present, native first.
    std::vector<const BuildResults*> measured;
};

}  // namespace bench::report
