#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "bench/report/BuildResults.h"

// What a connected, idle link costs: a process over each interval measured, and its threads.
namespace bench::report {

struct IdleProcess {
    std::size_t intervals = 0;
    double seconds = 0;  // the length of an interval
    std::vector<double> cpuMsPerMinute;
    std::vector<double> wakeUpsPerSecond;
    double residentKb = 0;  // the most seen
};
IdleProcess idleProcess(const BuildResults& build, const std::string& process);

// One of the process's threads (0: the oldest), medians over the intervals in which the process
// had the link's four threads.
struct IdleThread {
    bool seen = false;
    double wakeUpsPerSecond = 0;
    double cpuMsPerMinute = 0;
};
IdleThread idleThread(const BuildResults& build, const std::string& process, std::size_t index);

// The processor time of the heartbeat's thread (the third) against the frame reader's (the
// second), medians in ms a minute. Both wake ten times a second, so a great difference is time
// spent awake.
struct HeartbeatAgainstReader {
    bool seen = false;
    double heartbeatCpuMsPerMinute = 0;
    double readerCpuMsPerMinute = 0;
};
HeartbeatAgainstReader heartbeatAgainstReader(const BuildResults& build, const std::string& process);

}  // namespace bench::report
