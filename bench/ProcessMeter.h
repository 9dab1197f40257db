#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace bench {

// What the kernel has counted for one thread.
struct ThreadSample {
    long id = 0;
    double cpuMs = 0;
    long voluntarySwitches = 0;
};

// What the kernel has counted for one process, all its threads together, at one moment.
struct ProcessSample {
    bool valid = false;
    double atMs = 0;
    double cpuMs = 0;           // time on a processor, from each thread's schedstat (nanoseconds)
    long voluntarySwitches = 0;  // the thread gave up the processor: a sleep or wait began
    long involuntarySwitches = 0;
    long residentKb = 0;  // VmRSS
    int threads = 0;
    std::vector<ThreadSample> perThread;  // oldest thread first
};

ProcessSample sampleProcess(pid_t pid);

// What a process did between two samples of it.
struct ProcessActivity {
    double seconds = 0;
    double cpuMs = 0;
    double wakeUpsPerSecond = 0;  // voluntary switches per second
    double involuntaryPerSecond = 0;
    long residentKb = 0;  // at the end
    int threads = 0;
    // Each thread that lived through the interval, oldest first: its wake-ups per second and
    // processor time.
    std::vector<std::pair<double, double>> perThread;
};

ProcessActivity activityBetween(const ProcessSample& before, const ProcessSample& after);

// The process's command line with its NULs turned into spaces; empty if it is gone.
std::string commandLineOf(pid_t pid);
// The value of NAME in the process's environment; empty if unset or unreadable.
std::string environmentOf(pid_t pid, const std::string& name);
// The first process whose name (as /proc/PID/comm has it) begins with comm and whose
// environment sets NAME=value; 0 if none.
pid_t findProcess(const std::string& comm, const std::string& name, const std::string& value);

}  // namespace bench
