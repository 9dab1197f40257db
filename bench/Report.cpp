#include "bench/Report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bench/DesignFigures.h"
#include "bench/ResultFile.h"
#include "bench/Statistics.h"
#include "bench/Workload.h"

namespace bench {
namespace {

const std::vector<int> kLengths = {200, 500, 1000, 2000, 5000};

// ---------------------------------------------------------------------------------------------
// Reading the result files

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
    // The whole number of frame reader periods the pulse lasted.
    int periods() const { return static_cast<int>(std::lround(lengthMs() / design::kPollMs)); }
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

double number(const Record& record, std::size_t field)
{
    return field < record.size() ? std::strtod(record[field].c_str(), nullptr) : 0.0;
}

BuildResults load(const std::string& path, const std::string& name)
{
    BuildResults build;
    build.name = name;
    if (path.empty()) return build;
    for (const Record& record : readRecords(path)) {
        build.present = true;
        const std::string& kind = record[0];
        if (kind == "pulse" && record.size() >= 10) {
            Pulse pulse;
            pulse.round = static_cast<int>(number(record, 1));
            pulse.direction = record[2];
            pulse.requestedMs = static_cast<int>(number(record, 3));
            pulse.callMs = number(record, 4);
            pulse.acknowledgedMs = number(record, 5);
            pulse.moveFirstMs = number(record, 6);
            pulse.moveLastMs = number(record, 7);
            pulse.stopFirstMs = number(record, 8);
            pulse.stopLastMs = number(record, 9);
            build.pulses.push_back(pulse);
        } else if (kind == "handshake" && record.size() >= 6) {
            build.handshakes.push_back(
                {number(record, 1), number(record, 2), number(record, 3), number(record, 4), number(record, 5)});
        } else if (kind == "heartbeat" && record.size() >= 6) {
            build.heartbeats.push_back({static_cast<int>(number(record, 1)), number(record, 2), number(record, 3),
                                        number(record, 4), number(record, 5)});
        } else if (kind == "flood" && record.size() >= 6) {
            build.floods.push_back(
                {number(record, 1), number(record, 2), number(record, 3), number(record, 4), number(record, 5) != 0});
        } else if (kind == "idle" && record.size() >= 8) {
            Idle idle;
            idle.process = record[1];
            idle.seconds = number(record, 2);
            idle.cpuMs = number(record, 3);
            idle.wakeUpsPerSecond = number(record, 4);
            idle.involuntaryPerSecond = number(record, 5);
            idle.residentKb = number(record, 6);
            idle.threads = static_cast<int>(number(record, 7));
            build.idles.push_back(idle);
        } else if (kind == "thread" && record.size() >= 5) {
            // Belongs to the idle record of its process just before it.
            for (auto idle = build.idles.rbegin(); idle != build.idles.rend(); ++idle) {
                if (idle->process != record[1]) continue;
                idle->perThread.emplace_back(number(record, 3), number(record, 4));
                break;
            }
        } else if (kind == "busy" && record.size() >= 4) {
            build.busy[{record[1], static_cast<int>(number(record, 2))}].push_back(number(record, 3));
        } else if (kind == "launch") {
            build.launchesMs.push_back(number(record, 1));
        } else if (kind == "size") {
            build.sizeBytes = number(record, 1);
        }
    }
    return build;
}

// ---------------------------------------------------------------------------------------------
// Formatting

std::string fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string signedFixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%+.*f", decimals, value);
    return text;
}

// 1234567 as "1,234,567".
std::string grouped(double value)
{
    std::string digits = fixed(std::round(value), 0);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), ",");
    }
    return digits;
}

std::string percent(std::size_t part, std::size_t whole)
{
    return whole ? fixed(100.0 * static_cast<double>(part) / static_cast<double>(whole), 0) + " %" : "-";
}

std::string ratio(double measured, double bound, int decimals = 2) { return fixed(measured / bound, decimals); }

std::string spread(const Summary& summary, int decimals, const std::string& unit)
{
    return "min " + fixed(summary.min, decimals) + ", median " + fixed(summary.median, decimals) + ", p95 " +
           fixed(summary.p95, decimals) + ", max " + fixed(summary.max, decimals) + " " + unit;
}

std::string signedSpread(const Summary& summary, int decimals, const std::string& unit)
{
    return "min " + signedFixed(summary.min, decimals) + ", median " + signedFixed(summary.median, decimals) +
           ", p95 " + signedFixed(summary.p95, decimals) + ", max " + signedFixed(summary.max, decimals) + " " + unit;
}

// "median (min to max over n runs)".
std::string medianRange(const std::vector<double>& values, int decimals, const std::string& unit,
                        const std::string& over)
{
    const Summary summary = summarise(values);
    return fixed(summary.median, decimals) + " " + unit + " (" + fixed(summary.min, decimals) + " to " +
           fixed(summary.max, decimals) + " over " + over + ")";
}

struct Row {
    std::string what;
    std::string build;
    std::string measured;
    std::string bound;
    std::string ratio;
    std::string within;
};

std::string tableOf(const std::vector<Row>& rows)
{
    std::string table = "| Figure | Build | Measured | Bound | Ratio | Within |\n|---|---|---|---|---|---|\n";
    for (const Row& row : rows) {
        table += "| " + row.what + " | " + row.build + " | " + row.measured + " | " + row.bound + " | " + row.ratio +
                 " | " + row.within + " |\n";
    }
    return table;
}

// ---------------------------------------------------------------------------------------------
// What the figures say

std::vector<Pulse> pulsesOf(const BuildResults& build, int requestedMs)
{
    std::vector<Pulse> chosen;
    for (const Pulse& pulse : build.pulses) {
        if (pulse.requestedMs == requestedMs) chosen.push_back(pulse);
    }
    return chosen;
}

bool insidePulseBound(const Pulse& pulse)
{
    return pulse.errorMs() >= design::pulseErrorLowMs(pulse.requestedMs) &&
           pulse.errorMs() <= design::pulseErrorHighMs(pulse.requestedMs);
}

// A pulse that lasted its full count of ticks (as opposed to one tick short).
bool isFullLength(const Pulse& pulse) { return pulse.periods() >= design::ticksFor(pulse.requestedMs); }

// The frame reader's period as the pulses show it: each lasted a whole number of its periods.
// Only pulses of 10 ticks or more, where a fraction of a millisecond per period adds up.
double readerPeriodMs(const BuildResults& build)
{
    std::vector<double> periods;
    for (const Pulse& pulse : build.pulses) {
        if (design::ticksFor(pulse.requestedMs) >= 10 && pulse.periods() > 0) {
            periods.push_back(pulse.lengthMs() / pulse.periods());
        }
    }
    return summarise(periods).median;
}

// A figure beyond its bound: which build, which kind of figure, and what was seen.
struct Miss {
    std::string build;
    std::string kind;  // "pulse", "latency", "handshake", "throughput"
    std::string text;
};

void addPulseRows(const BuildResults& build, std::vector<Row>& rows, std::vector<Miss>& misses)
{
    for (const int lengthMs : kLengths) {
        const std::vector<Pulse> pulses = pulsesOf(build, lengthMs);
        if (pulses.empty()) continue;
        std::vector<double> errors;
        std::size_t inside = 0;
        for (const Pulse& pulse : pulses) {
            errors.push_back(pulse.errorMs());
            if (insidePulseBound(pulse)) ++inside;
        }
        const Summary summary = summarise(errors);
        rows.push_back({"Pulse length error, " + std::to_string(lengthMs) + " ms asked (n=" +
                            std::to_string(pulses.size()) + ")",
                        build.name, signedSpread(summary, 1, "ms"),
                        signedFixed(design::pulseErrorLowMs(lengthMs), 0) + " to " +
                            signedFixed(design::pulseErrorHighMs(lengthMs), 1) + " ms",
                        "-", std::to_string(inside) + "/" + std::to_string(pulses.size()) + " (" +
                                 percent(inside, pulses.size()) + ")"});
        if (inside < pulses.size()) {
            std::size_t over = 0;
            for (const Pulse& pulse : pulses) {
                if (pulse.errorMs() > design::pulseErrorHighMs(lengthMs)) ++over;
            }
            const std::size_t under = pulses.size() - inside - over;
            std::string text = build.name + ", " + std::to_string(lengthMs) + " ms pulses: ";
            if (over > 0) {
                text += std::to_string(over) + " of " + std::to_string(pulses.size()) +
                        " lasted longer than asked plus a command's " + fixed(design::kCommandWireMs, 1) +
                        " ms on the wire (up to " + signedFixed(summary.max, 1) + " ms)";
            }
            if (under > 0) {
                text += std::string(over > 0 ? "; " : "") + std::to_string(under) + " of " +
                        std::to_string(pulses.size()) + " fell short by more than a tick (down to " +
                        signedFixed(summary.min, 1) + " ms)";
            }
            // Below the bound by a little is timing noise; by a good part of a tick, a lost tick.
            const std::string shortKind =
                summary.min < design::pulseErrorLowMs(lengthMs) - 20 ? "lost tick" : "just short";
            misses.push_back({build.name, over > 0 ? "pulse" : shortKind, text + "."});
            // Further entries without text of their own, for the explanations they call for.
            if (over > 0 && under > 0) misses.push_back({build.name, shortKind, ""});
            if (summary.max > design::pulseErrorHighMs(lengthMs) + design::kHeartBeatMs / 2) {
                misses.push_back({build.name, "extra tick", ""});
            }
        }
    }
}

void addLatencyRow(const BuildResults& build, bool clicked, std::vector<Row>& rows, std::vector<Miss>& misses)
{
    if (build.pulses.empty()) return;
    std::vector<double> latencies;
    std::vector<double> fromAcknowledgement;
    for (const Pulse& pulse : build.pulses) {
        latencies.push_back(pulse.latencyMs());
        fromAcknowledgement.push_back(pulse.latencyFromAcknowledgementMs());
    }
    const Summary summary = summarise(latencies);
    const Summary acknowledged = summarise(fromAcknowledgement);
    const double bound = design::kCommandLatencyBoundMs;
    const std::size_t inside = countWithin(latencies, 0, bound);
    const std::size_t insideAcknowledged = countWithin(fromAcknowledgement, -1e9, bound);
    std::string measured = spread(summary, 1, "ms");
    if (clicked) {
        measured += "; from the driver's word that the click was taken: max " + fixed(acknowledged.max, 1) + " ms";
    }
    rows.push_back({std::string("Command latency, ") + (clicked ? "click" : "call") +
                        " to first byte of :Mx# (n=" + std::to_string(latencies.size()) + ")",
                    build.name, measured,
                    "<= " + fixed(bound, 1) + " ms (one 100 ms poll + one character)", ratio(summary.max, bound),
                    std::to_string(inside) + "/" + std::to_string(latencies.size()) + " (" +
                        percent(inside, latencies.size()) + ")" +
                        (clicked ? "; from the acknowledgement " + std::to_string(insideAcknowledged) + "/" +
                                       std::to_string(latencies.size())
                                 : std::string())});
    if (inside < latencies.size()) {
        // Under Wine the click happened somewhere between the command to the driver and the
        // driver's answer; only a latency beyond the bound from the answer is surely the link's.
        const bool surelyTheLink = !clicked || insideAcknowledged < latencies.size();
        misses.push_back({build.name, surelyTheLink ? "latency" : "latency, undecided",
                          build.name + ", command latency: " + std::to_string(latencies.size() - inside) + " of " +
                         std::to_string(latencies.size()) + " beyond " + fixed(bound, 1) + " ms, up to " +
                         fixed(summary.max, 1) + " ms" +
                         (clicked ? " counted from the click command sent to the driver (" +
                                        fixed(acknowledged.max, 1) +
                                        " ms counted from the driver's word that the dialog took it)"
                                  : std::string()) +
                         "."});
    }
}

void addHandshakeRows(const BuildResults& build, bool clicked, std::vector<Row>& rows,
                      std::vector<Miss>& misses)
{
    if (build.handshakes.empty()) return;
    std::vector<double> fromCall;
    std::vector<double> fromOpen;
    for (const Handshake& handshake : build.handshakes) {
        fromCall.push_back(handshake.readyMs - handshake.callMs);
        fromOpen.push_back(handshake.readyMs - handshake.connectingMs);
    }
    const std::string n = std::to_string(fromCall.size());
    const std::string shown = clicked ? " shown" : "";
    struct Variant {
        std::string what;
        const std::vector<double>& values;
        double bound;
        std::string boundText;
    };
    const Variant variants[] = {
        {std::string("Handshake, ") + (clicked ? "Connect click" : "connect call") + " to status 7" + shown +
             " (n=" + n + ")",
         fromCall, design::handshakeBoundMs(),
         "<= " + fixed(design::handshakeBoundMs(), 1) + " ms (one poll + 500 ms pause + 3 polls + " +
             fixed(design::handshakeWireMs(), 1) + " ms wire)"},
        {"Handshake, status 1" + shown + " to status 7" + shown + " (n=" + n + ")", fromOpen,
         design::handshakeAfterOpenBoundMs(),
         "<= " + fixed(design::handshakeAfterOpenBoundMs(), 1) + " ms (500 ms pause + 3 polls + " +
             fixed(design::handshakeWireMs(), 1) + " ms wire)"},
    };
    for (const Variant& variant : variants) {
        const Summary summary = summarise(variant.values);
        const std::size_t inside = countWithin(variant.values, 0, variant.bound);
        rows.push_back({variant.what, build.name,
                        "min " + fixed(summary.min, 1) + ", median " + fixed(summary.median, 1) + ", max " +
                            fixed(summary.max, 1) + " ms",
                        variant.boundText, ratio(summary.max, variant.bound),
                        std::to_string(inside) + "/" + n});
        if (inside < variant.values.size()) {
            misses.push_back({build.name, "handshake", build.name + ", " + variant.what + ": up to " +
                             fixed(summary.max, 1) + " ms against " + fixed(variant.bound, 1) + " ms."});
        }
    }
}

void addPeriodRows(const BuildResults& build, std::vector<Row>& rows)
{
    if (!build.heartbeats.empty()) {
        double ticks = 0;
        double weighted = 0;
        double longest = 0;
        std::vector<double> means;
        for (const Heartbeat& heartbeat : build.heartbeats) {
            ticks += heartbeat.ticks;
            weighted += heartbeat.meanMs * heartbeat.ticks;
            longest = std::max(longest, heartbeat.longestMs);
            means.push_back(heartbeat.meanMs);
        }
        const Summary rounds = summarise(means);
        rows.push_back({"Heartbeat period (n=" + grouped(ticks) + " ticks)", build.name,
                        "mean " + fixed(weighted / ticks, 2) + " ms (rounds " + fixed(rounds.min, 2) + " to " +
                            fixed(rounds.max, 2) + "), longest " + fixed(longest, 1) + " ms",
                        "100 ms", ratio(weighted / ticks, design::kHeartBeatMs, 4), "-"});
    }
    const double reader = readerPeriodMs(build);
    if (reader > 0) {
        rows.push_back({"Frame reader period, from pulses of 10 ticks or more", build.name,
                        "median " + fixed(reader, 2) + " ms", "100 ms", ratio(reader, design::kPollMs, 4), "-"});
    }
}

void addFloodRows(const BuildResults& build, std::vector<Row>& rows, std::vector<Miss>& misses)
{
    const Flood* highest = nullptr;
    const Flood* failed = nullptr;
    std::vector<double> drained;
    for (const Flood& flood : build.floods) {
        if (flood.askedBytesPerSecond <= 0) {
            if (flood.carriedBytesPerSecond > 0 && flood.markerLatencyMs >= 0) {
                drained.push_back(flood.drainedBytesPerSecond());
            }
        } else if (flood.keptUp) {
            if (!highest || flood.askedBytesPerSecond > highest->askedBytesPerSecond) highest = &flood;
        } else if (!failed) {
            failed = &flood;
        }
    }
    const double line = design::kLineBytesPerSecond;
    if (highest || failed) {
        std::string measured;
        if (highest) {
            measured = (failed ? "" : ">= ") + grouped(highest->askedBytesPerSecond) +
                       " B/s (marker handled after " + fixed(highest->markerLatencyMs, 0) + " ms)";
        } else {
            measured = "none of the rates tried";
        }
        if (failed) {
            measured += "; " + grouped(failed->askedBytesPerSecond) + " B/s fell behind (carried " +
                        grouped(failed->carriedBytesPerSecond) + " B/s, marker after " +
                        fixed(failed->markerLatencyMs, 0) + " ms)";
        }
        const bool within = highest && highest->askedBytesPerSecond >= line;
        rows.push_back({"Incoming bytes carried without falling behind", build.name, measured,
                        ">= " + grouped(line) + " B/s (9600 baud, 8N1)",
                        highest ? fixed(highest->askedBytesPerSecond / line, 0) + "x" : "-", within ? "yes" : "no"});
        if (!within) {
            misses.push_back(
                {build.name, "throughput", build.name + ": the link fell behind a flood at the line's own rate."});
        }
    }
    if (!drained.empty()) {
        const Summary summary = summarise(drained);
        rows.push_back({"Drain rate, line flooded flat out", build.name,
                        grouped(summary.median) + " B/s (" + grouped(summary.min) + " to " + grouped(summary.max) +
                            " over " + std::to_string(drained.size()) + " floods)",
                        ">= " + grouped(line) + " B/s", fixed(summary.min / line, 0) + "x",
                        summary.min >= line ? "yes" : "no"});
    }
}

std::vector<const Idle*> idlesOf(const BuildResults& build, const std::string& process)
{
    std::vector<const Idle*> chosen;
    for (const Idle& idle : build.idles) {
        if (idle.process == process) chosen.push_back(&idle);
    }
    return chosen;
}

// The wake-ups the link's own threads are built to make while idle: the heartbeat's and the frame
// reader's 100 ms periods, and the serial reader's look at its stop signal every 200 ms.
constexpr double kDesignWakeUpsPerSecond = 10 + 10 + 5;

void addIdleRows(const BuildResults& build, const std::string& process, const std::string& label,
                 bool isTheLink, std::vector<Row>& rows)
{
    const std::vector<const Idle*> idles = idlesOf(build, process);
    if (idles.empty()) return;
    std::vector<double> cpu;
    std::vector<double> wakeUps;
    double resident = 0;
    double seconds = 0;
    for (const Idle* idle : idles) {
        cpu.push_back(idle->cpuMsPerMinute());
        wakeUps.push_back(idle->wakeUpsPerSecond);
        resident = std::max(resident, idle->residentKb);
        seconds = idle->seconds;
    }
    const std::string over = std::to_string(idles.size()) + " x " + fixed(seconds, 0) + " s";
    rows.push_back({"Idle CPU time while connected, " + label, build.name,
                    medianRange(cpu, 1, "ms/min", over), "-", "-", "-"});
    rows.push_back({"Idle wake-ups while connected, " + label, build.name, medianRange(wakeUps, 1, "/s", over),
                    isTheLink ? "25/s expected (heartbeat 10, frame reader 10, serial reader 5)" : "-",
                    isTheLink ? ratio(summarise(wakeUps).median, kDesignWakeUpsPerSecond) : "-", "-"});
    rows.push_back({"Resident memory while connected, " + label, build.name, fixed(resident / 1024, 1) + " MiB",
                    "-", "-", "-"});
}

// ---------------------------------------------------------------------------------------------
// The plot

void writePlot(const ReportOptions& options, const std::vector<const BuildResults*>& builds)
{
    std::ofstream data(options.plotData);
    std::mt19937 jitter(7);
    std::uniform_real_distribution<double> spreadOut(-0.13, 0.13);
    double lowest = -110;
    double highest = 15;
    std::vector<std::string> plotted;
    for (std::size_t b = 0; b < builds.size(); ++b) {
        if (builds[b]->pulses.empty()) continue;
        const double offset = builds.size() > 1 ? (b == 0 ? -0.2 : 0.2) : 0.0;
        data << "# " << builds[b]->name << "\n";
        for (const Pulse& pulse : builds[b]->pulses) {
            const auto at = std::find(kLengths.begin(), kLengths.end(), pulse.requestedMs);
            if (at == kLengths.end()) continue;
            const double x = static_cast<double>(at - kLengths.begin()) + offset + spreadOut(jitter);
            data << fixed(x, 3) << ' ' << fixed(pulse.errorMs(), 3) << '\n';
            lowest = std::min(lowest, pulse.errorMs() - 5);
            highest = std::max(highest, pulse.errorMs() + 5);
        }
        data << "\n\n";
        plotted.push_back(builds[b]->name);
    }

    std::ofstream script(options.plotScript);
    script << "# Draws the pulse length errors; written by guide-link-bench report.\n"
           << "set terminal pngcairo size 960,560 font 'DejaVu Sans,10'\n"
           << "set output '" << options.image << "'\n"
           << "set title 'Guide pulses on the line: length less the length asked for'\n"
           << "set xlabel 'pulse length asked for'\n"
           << "set ylabel 'error (ms)'\n"
           << "set xtics (";
    for (std::size_t i = 0; i < kLengths.size(); ++i) {
        script << (i ? ", " : "") << "'" << kLengths[i] << " ms' " << i;
    }
    script << ")\n"
           << "set xrange [-0.6:" << kLengths.size() - 0.4 << "]\n"
           << "set yrange [" << fixed(std::floor(lowest / 10) * 10, 0) << ":" << fixed(std::ceil(highest / 10) * 10, 0)
           << "]\n"
           << "set ytics 10\n"
           << "set grid ytics lc rgb '#dddddd'\n"
           << "set key outside bottom center horizontal\n"
           << "set bmargin 5\n"
           // Every length asked for is a whole number of ticks, so the band is the same for all.
           << "set object 1 rect from graph 0, first " << fixed(design::pulseErrorLowMs(kLengths[0]), 2)
           << " to graph 1, first " << fixed(design::pulseErrorHighMs(kLengths[0]), 2)
           << " fc rgb '#e6f2e6' fs solid 1.0 noborder behind\n"
           << "set arrow 1 from graph 0, first 0 to graph 1, first 0 nohead lc rgb '#888888' dt 2\n";
    const char* const colours[] = {"#1f5fa8", "#c0392b"};
    const char* const points[] = {"7", "5"};
    script << "plot NaN with boxes fs solid 1.0 fc rgb '#e6f2e6' title 'within the design bound'";
    for (std::size_t i = 0; i < plotted.size(); ++i) {
        script << ", \\\n     '" << options.plotData << "' index " << i << " using 1:2 with points pt " << points[i % 2]
               << " ps 0.7 lc rgb '" << colours[i % 2] << "' title '" << plotted[i] << "'";
    }
    script << "\n";
}

// ---------------------------------------------------------------------------------------------
// The prose

std::string shareByRound(const BuildResults& build)
{
    std::map<int, std::pair<int, int>> rounds;  // full, all
    for (const Pulse& pulse : build.pulses) {
        auto& counts = rounds[pulse.round];
        if (isFullLength(pulse)) ++counts.first;
        ++counts.second;
    }
    std::string text;
    for (const auto& round : rounds) {
        if (!text.empty()) text += ", ";
        text += percent(static_cast<std::size_t>(round.second.first), static_cast<std::size_t>(round.second.second));
    }
    if (!rounds.empty()) text += " (" + std::to_string(rounds.begin()->second.second) + " pulses a round)";
    return text;
}

// The median error of the full-length pulses and of the short ones, for one length.
std::pair<double, double> clusterMedians(const BuildResults& build, int lengthMs)
{
    std::vector<double> full;
    std::vector<double> shortOnes;
    for (const Pulse& pulse : pulsesOf(build, lengthMs)) {
        (isFullLength(pulse) ? full : shortOnes).push_back(pulse.errorMs());
    }
    return {full.empty() ? NAN : summarise(full).median, shortOnes.empty() ? NAN : summarise(shortOnes).median};
}

std::string clusterLine(const BuildResults& build)
{
    std::string text = "| " + build.name + " |";
    for (const int lengthMs : kLengths) {
        const auto medians = clusterMedians(build, lengthMs);
        text += " " + (std::isnan(medians.first) ? std::string("-") : signedFixed(medians.first, 1)) + " / " +
                (std::isnan(medians.second) ? std::string("-") : signedFixed(medians.second, 1)) + " |";
    }
    return text + "\n";
}

std::string threadTable(const std::vector<const BuildResults*>& builds)
{
    // The link's threads begin in this order in both builds: the program's own thread, the frame
    // reader (the link's constructor), the heartbeat (started next), the serial reader (on connect).
    const char* const names[] = {"main (the dialog, under Wine)", "frame reader", "heartbeat", "serial reader"};
    const double expected[] = {0, 10, 10, 5};
    std::string table = "| Thread | Expected wake-ups/s |";
    std::string rule = "|---|---|";
    std::vector<std::pair<const BuildResults*, std::string>> columns;
    for (const BuildResults* build : builds) {
        const std::string process = build->name == "native" ? "link" : "tester";
        if (idlesOf(*build, process).empty()) continue;
        columns.emplace_back(build, process);
        table += " " + build->name + " wake-ups/s | " + build->name + " CPU ms/min |";
        rule += "---|---|";
    }
    if (columns.empty()) return {};
    table += "\n" + rule + "\n";
    for (std::size_t thread = 0; thread < 4; ++thread) {
        table += std::string("| ") + names[thread] + " | " + fixed(expected[thread], 0) + " |";
        for (const auto& column : columns) {
            std::vector<double> wakeUps;
            std::vector<double> cpu;
            for (const Idle* idle : idlesOf(*column.first, column.second)) {
                if (idle->threads != 4 || thread >= idle->perThread.size()) continue;
                wakeUps.push_back(idle->perThread[thread].first);
                cpu.push_back(idle->perThread[thread].second * 60 / idle->seconds);
            }
            table += wakeUps.empty() ? " - | - |"
                                     : " " + fixed(summarise(wakeUps).median, 1) + " | " +
                                           fixed(summarise(cpu).median, 1) + " |";
        }
        table += "\n";
    }
    return table;
}

std::string durationText(long seconds)
{
    return std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s";
}

}  // namespace

int writeReport(const ReportOptions& options)
{
    const BuildResults native = load(options.nativeResults, "native");
    const BuildResults wine = load(options.wineResults, "Wine");
    std::vector<const BuildResults*> builds;
    for (const BuildResults* build : {&native, &wine}) {
        if (build->present) builds.push_back(build);
    }
    if (builds.empty()) {
        std::fprintf(stderr, "no results to report\n");
        return 1;
    }

    std::vector<Row> rows;
    std::vector<Miss> misses;
    for (const BuildResults* build : builds) addPulseRows(*build, rows, misses);
    for (const BuildResults* build : builds) addLatencyRow(*build, build == &wine, rows, misses);
    for (const BuildResults* build : builds) addHandshakeRows(*build, build == &wine, rows, misses);
    for (const BuildResults* build : builds) addPeriodRows(*build, rows);
    for (const BuildResults* build : builds) addFloodRows(*build, rows, misses);
    if (native.present) addIdleRows(native, "link", "the link's process", true, rows);
    if (wine.present) {
        addIdleRows(wine, "tester", "the tester's process", true, rows);
        addIdleRows(wine, "wineserver", "its wineserver", false, rows);
        if (wine.sizeBytes > 0) {
            rows.push_back({"Size of guide-link-tester.exe", "Wine",
                            fixed(wine.sizeBytes / 1024, 0) + " KiB (" + grouped(wine.sizeBytes) + " bytes)", "-", "-",
                            "-"});
        }
        if (!wine.launchesMs.empty()) {
            rows.push_back({"Launch to dialog on screen, wineserver already running", "Wine",
                            medianRange(wine.launchesMs, 0, "ms", std::to_string(wine.launchesMs.size()) + " launches"),
                            "-", "-", "-"});
        }
    }
    const std::string table = tableOf(rows);

    writePlot(options, builds);

    char date[64];
    const std::time_t now = std::time(nullptr);
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
    const long took = options.startedEpoch > 0 ? static_cast<long>(now - options.startedEpoch) : -1;

    std::ostringstream doc;
    doc << "# Performance\n\n"
        << "How fast the guide link works and what it costs, measured by `tools/run-benchmark.sh`"
        << (options.quick ? " in its quick mode" : "") << " on " << date;
    if (took >= 0) doc << " (the whole run, build included, took " << durationText(took) << ")";
    doc << ".";
    if (!options.machine.empty()) doc << " Machine: " << options.machine << ".";
    doc << " The machine is shared with other work, so every figure comes with its spread over repeated "
           "runs, and figures move a little from one run of the benchmark to the next.\n\n"
        << "Two builds are measured against a simulated LX200 mount at the far end of a real serial "
           "line, a pair of pseudo-terminals joined by socat:\n\n"
        << "- **native**: the link built for Linux (Release), `TelescopeControl` and `HeartBeatTimer` "
           "wired as the program wires them and driven through `iTelescopeControl`;\n"
        << "- **Wine**: the real `guide-link-tester.exe` (Release) under Wine on an Xvfb display, its "
           "dialog worked by `dialog-driver.exe` through a pipe, the line shown to it as COM1.\n\n"
        << "Each figure stands beside the bound the link is designed to. Ratio is the figure over its "
           "bound (for a spread, its maximum over the bound). A pseudo-terminal carries bytes at once, "
           "with none of the 1.04 ms a character takes at 9600 baud, so the times here hold no wire time "
           "while the bounds allow for it.\n\n"
        << "## Figures\n\n"
        << table << "\n";

    // Pulse length.
    doc << "## Pulse length\n\n"
        << "![Pulse length error per length asked for](" << options.imageLink << ")\n\n"
        << "Each point is one pulse: the time from the end of `:Mx#` to the start of `:Qx#` on the line, "
           "less the length asked for. The shaded band is the design bound: from one tick short of the "
           "length asked for to the length itself plus a command's time on the wire.\n\n"
        << "The pulses fall into two groups a tick apart. A pulse is the time between two wake-ups of "
           "the frame reader, which sleeps one poll period (100 ms) whenever it finds its pipe empty: "
           "the move command goes out at the first wake-up after the request, the stop at the first "
           "wake-up after the heartbeat's Nth tick since the request. Both leave at wake-ups of the "
           "same loop, so a pulse lasts a whole number of frame reader periods, N of them or N - 1, and "
           "nothing in between. Which one depends on where in the 100 ms cycle the request falls. The "
           "heartbeat's ticks and the frame reader's wake-ups are two free-running 100 ms loops with "
           "some offset between them. A request in the part of the cycle between a tick and the next "
           "wake-up is picked up at that wake-up, before the next tick, and the pulse gets its full N "
           "periods. A request after the wake-up waits for the next one, and a tick comes in meanwhile; "
           "it is counted at the same wake-up that sends the move, so the pulse lasts N - 1 periods. "
           "So the share of full-length pulses is the "
           "part of a tick by which the frame reader's wake-up trails the heartbeat's tick. That offset "
           "is set by when the two threads happened to start, and it moves as they run, because their "
           "periods differ a little";
    {
        double ticks = 0;
        double heartbeatSum = 0;
        for (const Heartbeat& heartbeat : native.heartbeats) {
            ticks += heartbeat.ticks;
            heartbeatSum += heartbeat.meanMs * heartbeat.ticks;
        }
        const double reader = readerPeriodMs(native);
        const double apart = ticks > 0 && reader > 0 ? std::fabs(reader - heartbeatSum / ticks) : 0;
        if (apart > 0.005) {
            doc << " (natively by " << fixed(apart, 2) << " ms, so the offset goes once round the whole tick "
                << "about every " << fixed(design::kPollMs / apart * design::kPollMs / 1000, 0) << " s)";
        }
    }
    doc << ". So the share changes from one start of the link to the next, and within a run as well. Each "
           "round starts the link afresh. The share of full-length pulses per round was:";
    {
        bool first = true;
        for (const BuildResults* build : builds) {
            if (build->pulses.empty()) continue;
            doc << (first ? " " : "; ") << build->name << " " << shareByRound(*build);
            first = false;
        }
    }
    doc << ".\n\n"
        << "Median error of the full-length / one-tick-short pulses, per length asked for (ms):\n\n"
        << "| Build |";
    for (const int lengthMs : kLengths) doc << " " << lengthMs << " ms |";
    doc << "\n|---|";
    for (std::size_t i = 0; i < kLengths.size(); ++i) doc << "---|";
    doc << "\n";
    for (const BuildResults* build : builds) {
        if (!build->pulses.empty()) doc << clusterLine(*build);
    }
    doc << "\nBoth groups creep upwards with the length. Neither loop keeps time against a fixed "
           "schedule: the frame reader sleeps 100 ms from whenever it found its pipe empty "
           "(`TelescopeControl::readFrames`), and the heartbeat waits 100 ms from the end of each tick "
           "(`HeartBeatTimer::tickUntilStopped`). So every period is 100 ms plus however long the "
           "sleep overran, plus the work done in between, and the frame reader's periods add up over a "
           "pulse. Measured from the pulses themselves (each lasted a whole number of periods), the "
           "frame reader's period is";
    {
        bool first = true;
        for (const BuildResults* build : builds) {
            const double period = readerPeriodMs(*build);
            if (period <= 0) continue;
            doc << (first ? " " : " and ") << fixed(period, 2) << " ms " << (build == &wine ? "under Wine" : "natively")
                << " (" << signedFixed((period - design::kPollMs) * 50, 0) << " ms over 50 ticks)";
            first = false;
        }
    }
    doc << ". The heartbeat's own overrun moves its ticks against the frame reader's wake-ups, which can "
           "shift a pulse between the two groups, but it does not add to a pulse's length.\n\n";

    // Misses.
    doc << "## Figures beyond their bound\n\n";
    if (misses.empty()) {
        doc << "None: every figure that has a bound is within it.\n\n";
    } else {
        for (const Miss& miss : misses) {
            if (!miss.text.empty()) doc << "- " << miss.text << "\n";
        }
        doc << "\n";
        auto missed = [&misses](const std::string& kind) {
            return std::any_of(misses.begin(), misses.end(), [&kind](const Miss& miss) { return miss.kind == kind; });
        };
        auto overrunText = [&] {
            std::string perPeriod;
            std::string perPulse;
            for (const BuildResults* build : builds) {
                const double period = readerPeriodMs(*build);
                if (period <= 0) continue;
                if (!perPeriod.empty()) {
                    perPeriod += " and ";
                    perPulse += " and ";
                }
                perPeriod += fixed(period - design::kPollMs, 2) + " ms a period " +
                             (build == &wine ? "under Wine" : "natively");
                perPulse += signedFixed((period - design::kPollMs) * 50, 0) + " ms";
            }
            return perPeriod + ": " + perPulse + " over the 50 ticks of a 5000 ms pulse";
        };
        if (missed("pulse")) {
            doc << "**Long pulses run over: the frame reader's period is not kept to 100 ms.** "
                   "`TelescopeControl::readFrames` sleeps `kEmptyPipePollMs` (100 ms) from whenever it "
                   "finds the control pipe empty, not until the next 100 ms mark. A pulse is a whole "
                   "number of those periods, so each period's overrun (the platform's sleep coming back "
                   "late, plus the time to handle what was waiting) adds up tick by tick. Here the overrun "
                   "was "
                << overrunText()
                << ", against the " << fixed(design::kCommandWireMs, 1)
                << " ms the design allows beyond the length asked for. Only the full-length group "
                   "runs over; the one-tick-short group sits 100 ms lower and stays inside. Sleeping "
                   "until a deadline that advances by exactly 100 ms each period would remove the creep. "
                   "The heartbeat has the same habit (`HeartBeatTimer::tickUntilStopped` waits a fresh "
                   "`kTickMs` after each tick), but that only moves its ticks against the frame "
                   "reader's wake-ups.\n\n";
        }
        if (missed("extra tick")) {
            doc << "**A pulse a whole tick too long.** For a pulse to last N + 1 frame reader periods, "
                   "the tick that ends it must reach the frame reader just after the wake-up that would "
                   "normally have counted it. That happens when a tick and a wake-up fall within a hair "
                   "of each other (their offset goes round the whole tick as a run goes on, see above) and "
                   "the tick is the later of the two by a little, or when the busy machine held the "
                   "heartbeat up. The records cannot tell which.\n\n";
        }
        if (missed("just short")) {
            doc << "**Pulses just over a tick short.** These miss the bound by a little: a "
                   "one-tick-short pulse lasts N - 1 frame reader periods, and if the move leaves a little "
                   "late after its wake-up (its thread scheduled late on a busy machine) while the stop "
                   "leaves on time, or a period in between runs a little short, the pulse comes out just "
                   "under N - 1 whole ticks.\n\n";
        }
        if (missed("lost tick")) {
            doc << "**Pulses a whole tick further short.** A pulse loses a second tick only if the frame "
                   "reader was held up long enough for two ticks to be counted at the wake-up that sends "
                   "the move, or if the heartbeat's ticks gained a whole period on the frame reader's "
                   "wake-ups during the pulse. Both point to a machine too busy to run the link's threads "
                   "on time during that pulse.\n\n";
        }
        if (missed("latency")) {
            doc << "**Command latency: one frame reader period, and that period is over 100 ms.** A "
                   "request waits for the frame reader's next wake-up, so the latency is at most one of "
                   "its periods. The bound allows exactly 100 ms plus one character, and the period runs "
                   "over by the amounts above, for the same reason as the long pulses.\n\n";
        }
        if (missed("latency, undecided")) {
            doc << "**Command latency under Wine: within the driver's delivery.** Under Wine the click "
                   "is timed from the moment the click command went into the dialog driver's pipe, so the "
                   "figure also holds the driver's delivery of the click to the dialog. Counted from the "
                   "driver's answer that the dialog had taken the click, every latency is within the "
                   "bound. The click itself happened somewhere in between, so this run cannot tell "
                   "whether the link missed. If it did, it is by the frame reader's overrun described "
                   "above.\n\n";
        }
        if (missed("throughput")) {
            doc << "**Throughput at the line's own rate.** Every byte received is taken out of the control "
                   "pipe on its own, with a look at what is waiting and a one-byte read "
                   "(`TelescopeControl::readFrames`). Under Wine both are wineserver round trips, so on a "
                   "machine this busy the frame reader could not keep up even with a flood no faster than "
                   "a real line. Reading whatever is waiting in one go would take the round trips per "
                   "byte down to a fraction.\n\n";
        }
        if (missed("handshake")) {
            doc << "**Handshake.** Its time is the 500 ms pause, then one frame reader period for each of "
                   "the three answers, so it runs over by three periods' overrun, plus any hold-up on a "
                   "busy machine.\n\n";
        }
    }

    // Idle cost.
    doc << "## Idle cost, thread by thread\n\n"
        << "While connected and idle, the link's threads wake only to keep time. Wake-ups are voluntary "
           "context switches (`/proc/PID/task/*/status`), CPU time is each thread's `schedstat`, both "
           "over the same intervals as the table, medians shown.\n\n"
        << threadTable(builds) << "\n"
        << "Natively each thread wakes exactly as often as it is built to. Under Wine every wait, every "
           "pipe operation and every serial request is a round trip to wineserver, which leaves the "
           "thread blocked on the reply, and each of those counts as a wake-up. The frame reader reads "
           "the control pipe a byte at a time (`ControlPipe::available`, then `readByte`, that is "
           "`PeekNamedPipe` and `ReadFile`, for every byte), so each two-byte tick frame costs it several "
           "round trips besides its sleep, and wineserver wakes for every one of them.\n\n";
    {
        // The heartbeat's thread (the third) against the frame reader's (the second): both wake
        // ten times a second, so any great difference in processor time is spent awake.
        std::vector<double> heartbeat;
        std::vector<double> reader;
        for (const Idle* idle : idlesOf(native, "link")) {
            if (idle->threads != 4 || idle->perThread.size() < 3 || idle->seconds <= 0) continue;
            reader.push_back(idle->perThread[1].second * 60 / idle->seconds);
            heartbeat.push_back(idle->perThread[2].second * 60 / idle->seconds);
        }
        const double heartbeatMs = summarise(heartbeat).median;
        const double readerMs = summarise(reader).median;
        if (!heartbeat.empty() && heartbeatMs > 50 && heartbeatMs > 5 * readerMs) {
            doc << "**Natively, the heartbeat spins.** Most of the native link's idle processor time is "
                   "the heartbeat thread's: "
                << fixed(heartbeatMs, 0) << " ms a minute, " << fixed(heartbeatMs / 600, 2)
                << " ms for each tick, against " << fixed(readerMs, 0)
                << " ms a minute for the frame reader, which wakes just as often. The heartbeat waits on "
                   "its stop event (`Event::wait`, platform/posix/event.cpp) with a `PollDeadline` "
                   "(platform/posix/poll_deadline.h), whose `remainingMs` rounds the time left down to "
                   "whole milliseconds. For the last fraction of a millisecond of every wait it therefore "
                   "asks `poll` for 0 ms, which returns at once, and the loop goes round until the deadline "
                   "has passed: `strace -f -e trace=poll` on the process shows a run of `poll(..., 0)` "
                   "after each `poll(..., 99)`. Rounding the time left up would let the thread sleep "
                   "through it. The spin is also why the native heartbeat's period comes out so close to "
                   "100 ms. No bound is set for idle processor time, so this is not counted as a miss.\n\n";
        }
    }

    // Handshake.
    if (native.present && !native.handshakes.empty()) {
        std::vector<double> afterOpen;
        std::vector<double> pause;
        std::vector<double> pickUp;
        for (const Handshake& handshake : native.handshakes) {
            afterOpen.push_back(handshake.readyMs - handshake.connectingMs);
            pause.push_back(handshake.firstQuestionMs - handshake.connectingMs);
            pickUp.push_back(handshake.connectingMs - handshake.callMs);
        }
        doc << "## Handshake\n\n"
            << "Natively the handshake takes a median " << fixed(summarise(afterOpen).median, 1)
            << " ms from status 1 (the port is open) to status 7: the pause (the first question reached the "
               "mount a median "
            << fixed(summarise(pause).median, 1)
            << " ms after status 1), then one poll period for each of the three answers. Right after "
               "sending a question the frame reader finds its pipe empty, because no mount answers within "
               "microseconds, so it sleeps a whole period before it picks the answer up. Counted from the "
               "connect call, the request itself first waits for the frame reader's next wake-up: a median "
            << fixed(summarise(pickUp).median, 1) << " ms here, at most one poll period.";
        std::vector<double> wineAfterOpen;
        for (const Handshake& handshake : wine.handshakes) {
            wineAfterOpen.push_back(handshake.readyMs - handshake.connectingMs);
        }
        if (!wineAfterOpen.empty() && summarise(wineAfterOpen).min < design::handshakeAfterOpenBoundMs() - 120) {
            doc << " Under Wine some handshakes are a poll period shorter (down to "
                << fixed(summarise(wineAfterOpen).min, 0)
                << " ms). After the pause, the frame reader first works through the ticks that piled up "
                   "during it, a byte at a time and each byte two round trips to wineserver. When that takes "
                   "longer than the mount needs to answer, it finds the first answer already waiting and "
                   "does not sleep.";
        }
        doc << "\n\n";
    }

    // Throughput.
    doc << "## Throughput\n\n"
        << "At 9600 baud a mount can send at most " << grouped(design::kLineBytesPerSecond)
        << " bytes a second. Every byte received goes from the serial reader into the control pipe as "
           "part of a data frame, and the frame reader takes it out again a byte at a time, each byte "
           "with a look at how much is waiting (`ControlPipe::available`) and a one-byte read "
           "(`ControlPipe::readByte`). Natively those are two cheap system calls";
    {
        std::vector<double> drained;
        for (const Flood& flood : native.floods) {
            if (flood.askedBytesPerSecond <= 0 && flood.carriedBytesPerSecond > 0 && flood.markerLatencyMs >= 0) {
                drained.push_back(flood.drainedBytesPerSecond());
            }
        }
        if (!drained.empty()) {
            doc << ", and the link drains a flooded line at a median " << grouped(summarise(drained).median)
                << " bytes a second";
        }
        doc << ".";
    }
    {
        const auto reader = wine.busy.find({"tester", 2});
        const auto server = wine.busy.find({"wineserver", 1});
        if (reader != wine.busy.end() && server != wine.busy.end()) {
            doc << " Under Wine each of them is a round trip to wineserver. While the line was flooded "
                   "flat out, the frame reader kept a median "
                << fixed(summarise(reader->second).median, 0) << " % of a processor busy and wineserver "
                << fixed(summarise(server->second).median, 0)
                << " %. The two take turns, one waiting while the other works, so every byte costs two "
                   "hand-overs between processes, and the rate depends on how soon the machine gets round to "
                   "each of them. It spreads widely from flood to flood and from run to run on a shared "
                   "machine.";
        }
        std::vector<double> drained;
        for (const Flood& flood : wine.floods) {
            if (flood.askedBytesPerSecond <= 0 && flood.carriedBytesPerSecond > 0 && flood.markerLatencyMs >= 0) {
                drained.push_back(flood.drainedBytesPerSecond());
            }
        }
        if (!drained.empty()) {
            const Summary summary = summarise(drained);
            doc << " In this run the Wine build drained " << grouped(summary.min) << " to "
                << grouped(summary.max) << " bytes a second, " << fixed(summary.min / design::kLineBytesPerSecond, 0)
                << " to " << fixed(summary.max / design::kLineBytesPerSecond, 0) << " times what the line can bring.";
        }
    }
    doc << "\n\n";

    // Method.
    doc << "## How the figures are taken\n\n"
        << "- **Pulse length**: lengths 200, 500, 1000, 2000 and 5000 ms, taken in pairs: a north or "
           "south pulse, then an east or west one started a random part of a tick later, so both axes "
           "run at once with phases of their own. The lengths are shuffled in each round. The simulated "
           "mount reads its end of the line the moment bytes arrive and notes the time of every read, "
           "which gives each command's first and last byte.";
    {
        auto perAxis = [](const BuildResults& build) {
            std::size_t count = 0;
            for (const Pulse& pulse : pulsesOf(build, kLengths[0])) {
                if (pulse.direction == "north" || pulse.direction == "south") ++count;
            }
            return count;
        };
        auto rounds = [](const BuildResults& build) {
            int most = 0;
            for (const Pulse& pulse : build.pulses) most = std::max(most, pulse.round);
            return most;
        };
        if (native.present) {
            doc << " Native: " << perAxis(native) << " pulses per length on each axis, in " << rounds(native)
                << (rounds(native) == 1 ? " round" : " rounds") << ", each with a link and heartbeat of its own.";
        }
        if (wine.present) {
            doc << " Under Wine: " << perAxis(wine) << " per length on each axis, in " << rounds(wine)
                << (rounds(wine) == 1 ? " round" : " rounds") << ", the tester started afresh for each";
            if (native.present && perAxis(wine) < perAxis(native)) {
                doc << " (fewer than natively: each Wine pulse is worked through the dialog, and the "
                       "run is kept to its time)";
            }
            doc << ".";
        }
    }
    doc << "\n"
        << "- **Command latency**: from the call to `sendCorrection` (native), or from the click command "
           "going to the dialog driver (Wine), to the first byte of the move command at the mount.\n"
        << "- **Handshake**: the mount answers at once. Timed from the connect call or click to status 7 "
           "(Ready); under Wine the status line is read every " << 5
        << " ms, so the times shown there are up to that much late.\n"
        << "- **Throughput**: from the mount's end, a flood of well-formed replies (`" << kFloodUnit
        << "`, which a connected link with no handshake running ignores), at rising rates for a couple "
           "of seconds each, then a marker reply (`" << kMarker
        << "`), which the link reports as status 5. A rate is carried if the mount could send at that "
           "rate and the marker was handled within " << fixed(kMarkerPromptMs, 0)
        << " ms (one poll period plus margin). A pseudo-terminal is not held to 9600 baud, so the flood "
           "can go far past what a real line carries. The last step floods as fast as the line takes "
           "bytes; that flood's bytes divided by the time until its marker was handled is the drain rate.\n"
        << "- **Idle cost**: the link connected and left alone; native in a child process of its own "
           "(`guide-link-bench idle-link`), under Wine the tester's process and its wineserver.\n"
        << "- **Launch**: from starting `cmake/wine-run.sh PREFIX guide-link-tester.exe`, with the "
           "prefix's wineserver already running, to the driver finding the dialog on screen (it looks "
           "every 20 ms).\n\n"
        << "## Reproducing\n\n"
        << "    tools/run-benchmark.sh            # the full run, about 12 minutes\n"
        << "    tools/run-benchmark.sh --quick    # a short run, about 3 minutes, fewer samples\n\n"
        << "It installs what is missing (the project's packages and gnuplot-nox), builds the Windows "
           "program and the benchmark in trees of their own (`build/bench/windows` and "
           "`build/bench/native`, both Release), makes the serial line and the display, "
           "runs both builds and rewrites this file and `docs/" << options.imageLink
        << "`. The raw records are left in `build/bench/run/`.\n";

    std::ofstream out(options.markdown);
    out << doc.str();
    if (!out.good()) {
        std::fprintf(stderr, "cannot write %s\n", options.markdown.c_str());
        return 1;
    }
    std::fputs(table.c_str(), stdout);
    if (!misses.empty()) {
        std::fputs("\nBeyond their bound:\n", stdout);
        for (const Miss& miss : misses) {
            if (!miss.text.empty()) std::printf("- %s\n", miss.text.c_str());
        }
    }
    return 0;
}

}  // namespace bench
