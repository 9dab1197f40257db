#include "bench/report/IdleCostSection.h"

#include <sstream>
#include <utility>
#include <vector>

#include "bench/Statistics.h"
#include "bench/report/IdleCostFigures.h"
#include "bench/report/NumberText.h"

namespace bench::report {
namespace {

// The wake-ups the link's own threads are built to make while idle: the heartbeat's and the frame
// reader's 100 ms periods, and the serial reader's look at its stop signal every 200 ms.
constexpr double kDesignWakeUpsPerSecond = 10 + 10 + 5;

// The process that runs the link: the benchmark's own child natively, the tester under Wine.
std::string linkProcess(const Builds& builds, const BuildResults& build)
{
    return builds.isWine(build) ? "tester" : "link";
}

}  // namespace

void IdleCostSection::addRows(FigureTable& table) const
{
    if (builds_.native.present) addRowsOf(builds_.native, "link", "the link's process", true, table);
    if (builds_.wine.present) {
        addRowsOf(builds_.wine, "tester", "the tester's process", true, table);
        addRowsOf(builds_.wine, "wineserver", "its wineserver", false, table);
    }
}

void IdleCostSection::addRowsOf(const BuildResults& build, const std::string& process, const std::string& label,
                                bool isTheLink, FigureTable& table) const
{
    const IdleProcess idle = idleProcess(build, process);
    if (idle.intervals == 0) return;
    const std::string over = std::to_string(idle.intervals) + " x " + fixed(idle.seconds, 0) + " s";
    table.add({"Idle CPU time while connected, " + label, build.name,
               medianRange(idle.cpuMsPerMinute, 1, "ms/min", over), "-", "-", "-"});
    table.add({"Idle wake-ups while connected, " + label, build.name, medianRange(idle.wakeUpsPerSecond, 1, "/s", over),
               isTheLink ? "25/s expected (heartbeat 10, frame reader 10, serial reader 5)" : "-",
               isTheLink ? ratio(summarise(idle.wakeUpsPerSecond).median, kDesignWakeUpsPerSecond) : "-", "-"});
    table.add({"Resident memory while connected, " + label, build.name, fixed(idle.residentKb / 1024, 1) + " MiB", "-",
               "-", "-"});
}

std::string IdleCostSection::threadTable() const
{
    // The link's threads begin in this order in both builds: the program's own thread, the frame
    // reader (the link's constructor), the heartbeat (started next), the serial reader (on connect).
    const char* const names[] = {"main (the dialog, under Wine)", "frame reader", "heartbeat", "serial reader"};
    const double expected[] = {0, 10, 10, 5};
    std::string table = "| Thread | Expected wake-ups/s |";
    std::string rule = "|---|---|";
    std::vector<std::pair<const BuildResults*, std::string>> columns;
    for (const BuildResults* build : builds_.measured) {
        const std::string process = linkProcess(builds_, *build);
        if (idleProcess(*build, process).intervals == 0) continue;
        columns.emplace_back(build, process);
        table += " " + build->name + " wake-ups/s | " + build->name + " CPU ms/min |";
        rule += "---|---|";
    }
    if (columns.empty()) return {};
    table += "\n" + rule + "\n";
    for (std::size_t thread = 0; thread < 4; ++thread) {
        table += std::string("| ") + names[thread] + " | " + fixed(expected[thread], 0) + " |";
        for (const auto& column : columns) {
            const IdleThread idle = idleThread(*column.first, column.second, thread);
            table += idle.seen ? " " + fixed(idle.wakeUpsPerSecond, 1) + " | " + fixed(idle.cpuMsPerMinute, 1) + " |"
                               : " - | - |";
        }
        table += "\n";
    }
    return table;
}

std::string IdleCostSection::text() const
{
    std::ostringstream doc;
    doc << "## Idle cost, thread by thread\n\n"
        << "While connected and idle, the link's threads wake only to keep time. Wake-ups are voluntary "
           "context switches (`/proc/PID/task/*/status`), CPU time is each thread's `schedstat`, both "
           "over the same intervals as the table, medians shown.\n\n"
        << threadTable() << "\n"
        << "Natively each thread wakes exactly as often as it is built to. Under Wine every wait, every "
           "pipe operation and every serial request is a round trip to wineserver, which leaves the "
           "thread blocked on the reply, and each of those counts as a wake-up. The frame reader reads "
           "the control pipe a byte at a time (`ControlPipe::available`, then `readByte`, that is "
           "`PeekNamedPipe` and `ReadFile`, for every byte), so each two-byte tick frame costs it several "
           "round trips besides its wait, and wineserver wakes for every one of them.\n\n";
    const HeartbeatAgainstReader native = heartbeatAgainstReader(builds_.native, "link");
    const double heartbeatMs = native.heartbeatCpuMsPerMinute;
    const double readerMs = native.readerCpuMsPerMinute;
    if (native.seen && heartbeatMs > 50 && heartbeatMs > 5 * readerMs) {
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
               "through it. No bound is set for idle processor time, so this is not counted as a miss.\n\n";
    }
    return doc.str();
}

}  // namespace bench::report
