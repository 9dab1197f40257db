#include "bench/report/IdleCostFigures.h"

#include <algorithm>

#include "bench/Statistics.h"

namespace bench::report {
namespace {

std::vector<const Idle*> idlesOf(const BuildResults& build, const std::string& process)
{
    std::vector<const Idle*> chosen;
    for (const Idle& idle : build.idles) {
        if (idle.process == process) chosen.push_back(&idle);
    }
    return chosen;
}

}  // namespace

IdleProcess idleProcess(const BuildResults& build, const std::string& process)
{
    IdleProcess figures;
    for (const Idle* idle : idlesOf(build, process)) {
        ++figures.intervals;
        figures.cpuMsPerMinute.push_back(idle->cpuMsPerMinute());
        figures.wakeUpsPerSecond.push_back(idle->wakeUpsPerSecond);
        figures.residentKb = std::max(figures.residentKb, idle->residentKb);
        figures.seconds = idle->seconds;
    }
    return figures;
}

IdleThread idleThread(const BuildResults& build, const std::string& process, std::size_t index)
{
    std::vector<double> wakeUps;
    std::vector<double> cpu;
    for (const Idle* idle : idlesOf(build, process)) {
        if (idle->threads != 4 || index >= idle->perThread.size()) continue;
        wakeUps.push_back(idle->perThread[index].first);
        cpu.push_back(idle->perThread[index].second * 60 / idle->seconds);
    }
    if (wakeUps.empty()) return {};
    return {true, summarise(wakeUps).median, summarise(cpu).median};
}

HeartbeatAgainstReader heartbeatAgainstReader(const BuildResults& build, const std::string& process)
{
    std::vector<double> heartbeat;
    std::vector<double> reader;
    for (const Idle* idle : idlesOf(build, process)) {
        if (idle->threads != 4 || idle->perThread.size() < 3 || idle->seconds <= 0) continue;
        reader.push_back(idle->perThread[1].second * 60 / idle->seconds);
        heartbeat.push_back(idle->perThread[2].second * 60 / idle->seconds);
    }
    if (heartbeat.empty()) return {};
    return {true, summarise(heartbeat).median, summarise(reader).median};
}

}  // namespace bench::report
