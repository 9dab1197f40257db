#include "tester/Tester.h"

#include <fmt/format.h>

#include "platform/interrupt.h"
#include "tester/Advice.h"

Tester::Tester(TestReport& report, MountUnderTest& mount, const Settings& settings)
    : report(report), mount(mount), settings(settings)
{
}

int Tester::finish(const char* command, const CheckResult& result)
{
    report.result(command, result.exitCode, result.outcome, result.summary, result.details, result.errorKind);
    return result.exitCode;
}

int Tester::connectFor(const char* command)
{
    const MountUnderTest::Connection outcome = mount.connect();
    if (outcome == MountUnderTest::Connection::Ready) return kExitPass;
    mount.disconnect();
    return finish(command, mount.connectFailed(outcome, false));
}

int Tester::check()
{
    const MountUnderTest::Connection outcome = mount.connect();
    const CheckResult result = outcome == MountUnderTest::Connection::Ready ? mount.checked()
                                                                            : mount.connectFailed(outcome, false);
    mount.disconnect();
    return finish("check", result);
}

int Tester::pulse(Direction direction, int askedMs)
{
    if (const int failed = connectFor("pulse")) return failed;
    const PulseReport pulse = mount.pulse(direction, askedMs, settings.timing, settings.allowanceMs, settings.slackMs);
    const bool mountTimed = settings.timing == PulseTiming::ByMount;
    const std::string length =
        mountTimed ? fmt::format("{} pulse of {} ms timed by the mount", directionName(direction), pulse.requestedMs)
                   : fmt::format("{} pulse of {} ms ({})", directionName(direction), pulse.requestedMs,
                                 pulse.ticks > 0 ? fmt::format("{} ticks", pulse.ticks) : "timed by the driver");
    if (pulse.interrupted) {
        mount.disconnect();
        return finish("pulse", {kExitInterrupted, "interrupted", "stopped during the " + length, {}, ""});
    }
    report.pulseDone(pulse, 1, 1);
    mount.disconnect();
    if (pulse.passed && mountTimed) {
        return finish("pulse", {kExitPass, "pass",
                                fmt::format("{} was sent, and the stop {:.1f} ms after it, within {:.0f} to {:.0f} ms",
                                            length, *pulse.measuredMs, pulse.bound.lowerMs, pulse.bound.upperMs),
                                advice::mountTimed(), ""});
    }
    if (pulse.passed) {
        return finish("pulse", {kExitPass, "pass",
                                fmt::format("{} lasted {:.1f} ms, within {:.0f} to {:.0f} ms", length,
                                            *pulse.measuredMs, pulse.bound.lowerMs, pulse.bound.upperMs),
                                mount.pulseNotes(), ""});
    }
    const char* lasted = mountTimed ? "had its stop after" : "lasted";
    const std::string why = pulse.measuredMs
                                ? fmt::format("{} {:.1f} ms, outside {:.0f} to {:.0f} ms{}", lasted, *pulse.measuredMs,
                                              pulse.bound.lowerMs, pulse.bound.upperMs,
                                              pulse.problem.empty() ? "" : ": " + pulse.problem)
                                : "failed: " + pulse.problem;
    return finish("pulse", {kExitFail, "fail", length + " " + why, mount.pulseAdvice(pulse.measuredMs.has_value()),
                            ""});
}

int Tester::series(const std::vector<int>& lengthsMs)
{
    if (const int failed = connectFor("series")) return failed;
    const Direction directions[] = {Direction::North, Direction::South, Direction::East, Direction::West};
    const int total = static_cast<int>(lengthsMs.size() * 4);
    std::vector<PulseReport> pulses;
    bool lineFailed = false;
    for (int lengthMs : lengthsMs) {
        for (Direction direction : directions) {
            if (lineFailed || interrupt::requested()) break;
            if (!pulses.empty()) mount.wait(std::chrono::milliseconds(settings.gapMs), interrupt::requested);
            PulseReport pulse =
                mount.pulse(direction, lengthMs, settings.timing, settings.allowanceMs, settings.slackMs);
            if (pulse.interrupted) break;
            pulses.push_back(std::move(pulse));
            report.pulseDone(pulses.back(), static_cast<int>(pulses.size()), total);
            // Without a measurement something failed on the line; the rest would fail alike.
            lineFailed = !pulses.back().measuredMs;
        }
    }
    mount.disconnect();
    report.pulseTable(pulses, settings.allowanceMs, settings.slackMs, settings.timing);

    int passed = 0;
    for (const PulseReport& pulse : pulses) passed += pulse.passed ? 1 : 0;
    if (lineFailed) {
        return finish("series", {kExitFail, "fail",
                                 fmt::format("pulse {} of {} failed: {}; the series stopped there", pulses.size(),
                                             total, pulses.back().problem),
                                 mount.pulseAdvice(false), ""});
    }
    if (static_cast<int>(pulses.size()) < total) {
        return finish("series", {kExitInterrupted, "interrupted",
                                 fmt::format("stopped after {} of {} pulses ({} within the bound)", pulses.size(),
                                             total, passed),
                                 {}, ""});
    }
    if (passed == total && settings.timing == PulseTiming::ByMount) {
        return finish("series", {kExitPass, "pass",
                                 fmt::format("all {} mount-timed pulses were sent, each stop within the bound", total),
                                 advice::mountTimed(), ""});
    }
    if (passed == total) {
        return finish("series", {kExitPass, "pass", fmt::format("all {} pulses were within the bound", total),
                                 mount.pulseNotes(), ""});
    }
    return finish("series", {kExitFail, "fail", fmt::format("{} of {} pulses were outside the bound", total - passed,
                                                            total),
                             mount.pulseAdvice(true), ""});
}

int Tester::motion(const motion::Plan& plan)
{
    MotionCheck check(report, mount, plan);
    const CheckResult result = check.run();
    return finish("motion", result);
}
