#include "bench/report/BuildResults.h"

#include <cstdlib>

#include "bench/ResultFile.h"

namespace bench::report {
namespace {

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

}  // namespace

Builds::Builds(const std::string& nativePath, const std::string& winePath)
    : native(load(nativePath, "native")), wine(load(winePath, "Wine"))
{
    for (const BuildResults* build : {&native, &wine}) {
        if (build->present) measured.push_back(build);
    }
}

}  // namespace bench::report
