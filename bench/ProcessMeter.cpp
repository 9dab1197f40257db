#include "bench/ProcessMeter.h"

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "bench/Clock.h"

namespace bench {
namespace {

std::string readWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The number after "field:" in a /proc status file; -1 if it is missing.
long statusField(const std::string& status, const std::string& field)
{
    const std::string key = "\n" + field + ":";
    const std::size_t at = status.find(key);
    if (at == std::string::npos) return -1;
    return std::strtol(status.c_str() + at + key.size(), nullptr, 10);
}

bool isNumber(const char* name)
{
    if (!*name) return false;
    for (; *name; ++name) {
        if (*name < '0' || *name > '9') return false;
    }
    return true;
}

}  // namespace

ProcessSample sampleProcess(pid_t pid)
{
    ProcessSample sample;
    const std::string root = "/proc/" + std::to_string(pid);
    sample.atMs = nowMs();
    DIR* tasks = ::opendir((root + "/task").c_str());
    if (!tasks) return sample;
    while (const dirent* entry = ::readdir(tasks)) {
        if (!isNumber(entry->d_name)) continue;
        const std::string task = root + "/task/" + entry->d_name;
        const std::string schedstat = readWhole(task + "/schedstat");
        const std::string status = "\n" + readWhole(task + "/status");
        if (schedstat.empty() || status.size() < 2) continue;  // the thread has just ended
        ThreadSample thread;
        thread.id = std::atol(entry->d_name);
        thread.cpuMs = std::strtod(schedstat.c_str(), nullptr) / 1e6;
        thread.voluntarySwitches = statusField(status, "voluntary_ctxt_switches");
        sample.cpuMs += thread.cpuMs;
        sample.voluntarySwitches += thread.voluntarySwitches;
        sample.involuntarySwitches += statusField(status, "nonvoluntary_ctxt_switches");
        sample.perThread.push_back(thread);
        ++sample.threads;
    }
    ::closedir(tasks);
    // Thread ids are handed out in rising order, so this puts the threads in the order they began.
    std::sort(sample.perThread.begin(), sample.perThread.end(),
              [](const ThreadSample& a, const ThreadSample& b) { return a.id < b.id; });
    sample.residentKb = statusField("\n" + readWhole(root + "/status"), "VmRSS");
    sample.valid = sample.threads > 0;
    return sample;
}

ProcessActivity activityBetween(const ProcessSample& before, const ProcessSample& after)
{
    ProcessActivity activity;
    activity.seconds = (after.atMs - before.atMs) / 1000;
    activity.cpuMs = after.cpuMs - before.cpuMs;
    if (activity.seconds > 0) {
        activity.wakeUpsPerSecond = static_cast<double>(after.voluntarySwitches - before.voluntarySwitches) /
                                    activity.seconds;
        activity.involuntaryPerSecond =
            static_cast<double>(after.involuntarySwitches - before.involuntarySwitches) / activity.seconds;
    }
    activity.residentKb = after.residentKb;
    activity.threads = after.threads;
    for (const ThreadSample& end : after.perThread) {
        for (const ThreadSample& start : before.perThread) {
            if (start.id != end.id || activity.seconds <= 0) continue;
            activity.perThread.emplace_back(
                static_cast<double>(end.voluntarySwitches - start.voluntarySwitches) / activity.seconds,
                end.cpuMs - start.cpuMs);
        }
    }
    return activity;
}

std::string commandLineOf(pid_t pid)
{
    std::string line = readWhole("/proc/" + std::to_string(pid) + "/cmdline");
    for (char& c : line) {
        if (c == '\0') c = ' ';
    }
    return line;
}

std::string environmentOf(pid_t pid, const std::string& name)
{
    const std::string environment = readWhole("/proc/" + std::to_string(pid) + "/environ");
    const std::string key = name + "=";
    std::size_t start = 0;
    while (start < environment.size()) {
        std::size_t end = environment.find('\0', start);
        if (end == std::string::npos) end = environment.size();
        if (environment.compare(start, key.size(), key) == 0) {
            return environment.substr(start + key.size(), end - start - key.size());
        }
        start = end + 1;
    }
    return {};
}

pid_t findProcess(const std::string& comm, const std::string& name, const std::string& value)
{
    DIR* processes = ::opendir("/proc");
    if (!processes) return 0;
    pid_t found = 0;
    while (const dirent* entry = ::readdir(processes)) {
        if (!isNumber(entry->d_name)) continue;
        const pid_t pid = static_cast<pid_t>(std::atol(entry->d_name));
        std::string processName = readWhole("/proc/" + std::to_string(pid) + "/comm");
        while (!processName.empty() && processName.back() == '\n') processName.pop_back();
        if (processName.compare(0, comm.size(), comm) == 0 && environmentOf(pid, name) == value) {
            found = pid;
            break;
        }
    }
    ::closedir(processes);
    return found;
}

}  // namespace bench
