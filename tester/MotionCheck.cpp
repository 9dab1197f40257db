#include "tester/MotionCheck.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include <fmt/format.h>

#include "link/MountProtocol.h"
#include "link/PulseLength.h"
#include "link/Tick.h"
#include "platform/interrupt.h"
#include "tester/Advice.h"
#include "tester/ExitCode.h"
#include "tester/MotionVerdict.h"
#include "tester/TestReport.h"

namespace {

// The least distance from the pole at which a run shows the right ascension's motion.
constexpr double kLeastPoleDistanceDegrees = 10;

int fieldMs(int ms) { return PulseLength::fromField(static_cast<unsigned>(ms)).ms; }

}  // namespace

MotionCheck::MotionCheck(TestReport& report, MountUnderTest& mount, const motion::Plan& plan)
    : report(report), mount(mount), plan(plan)
{
}

PositionReading MotionCheck::lastSeen() const
{
    return runs.empty() ? still.back() : runs.back().later.value_or(runs.back().after);
}

motion::Run MotionCheck::runOf(Direction direction, Role role) const
{
    motion::Run run;
    run.direction = direction;
    run.role = role;
    run.timing = plan.timing;
    return run;
}

std::string MotionCheck::runPulses(motion::Run& run)
{
    for (int i = 0; i < run.pulses; ++i) {
        const PulseReport pulse =
            mount.pulse(run.direction, run.lengthMs, run.timing, PulseBound::kDefaultAllowanceMs, 0);
        if (!pulse.measuredMs) return pulse.problem;
        // The line shows only when guide-link's stop of a mount-timed pulse went out.
        run.measuredMs += run.timing == PulseTiming::ByMount ? pulse.requestedMs : *pulse.measuredMs;
        run.lineMs += *pulse.measuredMs;
    }
    return {};
}

std::string MotionCheck::runStep(motion::Run& run, int settleMs)
{
    const std::string failed = runPulses(run);
    mount.disconnect();
    if (!failed.empty()) return fmt::format("a {} pulse failed: {}", directionName(run.direction), failed);
    // Each reading keeps the connection open, so that a mount it shows running away is halted
    // at once on the same connection, not after a reconnect.
    MountUnderTest::Connection outcome = MountUnderTest::Connection::Ready;
    const std::optional<PositionReading> after = mount.readPosition(true, outcome);
    if (!after) return "the position could not be read after the pulses";
    run.after = *after;
    if (run.role == Role::Probe) return {};
    const motion::RunFigures figures = motion::figuresOf(run, baseline);
    // A mount beyond any guide rate is stopped at once, not watched.
    if (figures.tooFast) return {};
    mount.disconnect();
    mount.wait(std::chrono::milliseconds(motion::settleMsAfter(run, figures, baseline, settleMs)),
               interrupt::requested);
    const std::optional<PositionReading> later = mount.readPosition(true, outcome);
    if (!later) return "the position could not be read after the settling time";
    run.later = *later;
    return {};
}

bool MotionCheck::keepRun(const motion::Run& run)
{
    runs.push_back(run);
    const motion::RunFigures figures = motion::figuresOf(run, baseline);
    report.motionRun(run, figures, static_cast<int>(runs.size()));
    // A mount that does not stop, or moves at a slew rate, must not be sent more pulses.
    return !figures.runaway && !figures.tooFast;
}

bool MotionCheck::probe(Direction direction)
{
    if (interrupt::requested()) return false;
    motion::Run run = runOf(direction, Role::Probe);
    run.pulses = 1;
    run.lengthMs = motion::kProbeMs;
    run.before = lastSeen();
    problem = runStep(run, 0);
    return problem.empty() && keepRun(run);
}

bool MotionCheck::sizedRun(motion::Run run, bool maySize)
{
    if (interrupt::requested()) return false;
    const int lengthMs = fieldMs(plan.lengthMs);
    const motion::Run& last = motion::lastRunIn(runs, run.direction);
    const motion::RunSize size = motion::sizeRun(last, motion::figuresOf(last, baseline), plan.pulses, lengthMs);
    run.pulses = size.pulses;
    run.lengthMs = size.lengthMs;
    run.mostArcsec = size.mostArcsec;
    run.before = lastSeen();
    problem = runStep(run, plan.settleMs);
    if (!problem.empty()) return false;
    // A run cut short by a rough rate sizes a longer one, which then stands for its direction.
    if (run.role == Role::Judged && size.cut && maySize) {
        const motion::RunSize next = motion::sizeRun(run, motion::figuresOf(run, baseline), plan.pulses, lengthMs);
        if (next.pulses * next.lengthMs > run.pulses * run.lengthMs) run.role = Role::Sizing;
    }
    return keepRun(run);
}

bool MotionCheck::judged(Direction direction)
{
    constexpr int kMostRuns = 4;
    for (int i = 1; i <= kMostRuns; ++i) {
        if (!sizedRun(runOf(direction, Role::Judged), i < kMostRuns)) return false;
        if (runs.back().role == Role::Judged) break;
    }
    return true;
}

bool MotionCheck::mountTimedRun(Direction direction)
{
    if (interrupt::requested()) return false;
    const auto judgedRun = std::find_if(runs.rbegin(), runs.rend(), [direction](const motion::Run& each) {
        return each.direction == direction && each.judged();
    });
    if (judgedRun == runs.rend()) return true;
    motion::Run run = runOf(direction, Role::MountTimed);
    run.timing = PulseTiming::ByMount;
    run.pulses = judgedRun->pulses;
    run.lengthMs = judgedRun->lengthMs;
    // A mount that does not time :Mg moves on until the late stop.
    run.mostArcsec = judgedRun->mostArcsec * MountProtocol::lateStopTicks(run.lengthMs) * kTickMs / run.lengthMs;
    run.before = lastSeen();
    problem = runStep(run, plan.settleMs);
    return problem.empty() && keepRun(run);
}

void MotionCheck::measureCreep()
{
    const PositionReading last = lastSeen();
    baseline = motion::withCreepBetween(baseline, still.front(), last);
    report.motionCreep(baseline,
                       std::chrono::duration<double>(last.rightAscensionAt - still.front().rightAscensionAt).count());
}

std::vector<std::string> MotionCheck::haltMount(int waitMs, std::optional<PositionReading>& afterHalt)
{
    bool halted = false;
    const std::string sent = mount.halt(halted);
    MountUnderTest::Connection outcome = MountUnderTest::Connection::Ready;
    const std::optional<PositionReading> first = mount.readPosition(false, outcome, false);
    afterHalt = first;
    // Only a second interrupt cuts this wait short: after the first, it is what tells whether
    // the mount stopped.
    if (first) {
        mount.wait(std::chrono::milliseconds(motion::haltWaitMs(*first, baseline, waitMs)), interrupt::insisted);
    }
    const std::optional<PositionReading> second = first ? mount.readPosition(false, outcome, false) : std::nullopt;
    if (!second) {
        report.motionHalt(halted, std::nullopt, 0);
        return {sent + " The position could not be read afterwards: look at the mount, and if it moves, stop it "
                       "with its handset or switch it off."};
    }
    const bool stopped = motion::stoodStill(*first, *second, baseline);
    const double away = motion::distanceArcsec(still.front(), *second, baseline);
    const double apartSeconds = std::chrono::duration<double>(second->declinationAt - first->declinationAt).count();
    const bool cutShort = apartSeconds * 1000 < motion::haltWaitMs(*first, baseline, 0);
    // Standing still over too short a wait says nothing of a slow drift.
    report.motionHalt(halted, stopped && cutShort ? std::nullopt : std::optional<bool>(stopped), away);
    const std::string where = fmt::format("{:.1f} arcminutes from where motion began", away / 60);
    if (stopped && cutShort) {
        return {fmt::format("{} Two readings only {:.1f} s apart afterwards, the wait cut short, show no motion, {}; "
                            "too soon to tell whether a slow drift goes on: look at the mount.", sent, apartSeconds,
                            where)};
    }
    if (stopped) {
        return {fmt::format("{} Two readings {:.1f} s apart afterwards show the mount standing still, {}.", sent,
                            apartSeconds, where)};
    }
    return {fmt::format("{} Two readings {:.1f} s apart afterwards show it STILL MOVING, now {}: stop it with its "
                        "handset or switch it off now.", sent, apartSeconds, where)};
}

bool MotionCheck::readBaseline(CheckResult& failed)
{
    // Readings of the mount left alone: its creep, its noise, and where it points.
    constexpr int kBaselineReadings = 4;
    MountUnderTest::Connection outcome = MountUnderTest::Connection::Ready;
    for (int i = 0; i < kBaselineReadings; ++i) {
        if (i > 0) {
            mount.wait(std::chrono::milliseconds(plan.baselineMs / (kBaselineReadings - 1)), interrupt::requested);
        }
        if (interrupt::requested()) {
            failed = {kExitInterrupted, "interrupted", "stopped before any pulse was sent", {}, ""};
            return false;
        }
        const std::optional<PositionReading> reading = mount.readPosition(i + 1 == kBaselineReadings, outcome);
        if (!reading) {
            failed = mount.connectFailed(outcome, true);
            return false;
        }
        still.push_back(*reading);
    }
    baseline = motion::baselineOf(still);
    report.motionBaseline(baseline);
    // Near the pole a whole guide run turns the right ascension by less than its readings' margin.
    if (std::abs(baseline.declination) > (90 - kLeastPoleDistanceDegrees) * 3600) {
        failed = {kExitFail, "fail",
                  fmt::format("the mount points {:.1f} degrees from the pole, where its right ascension cannot show "
                              "guide pulses: nothing was measured",
                              90 - std::abs(baseline.declination) / 3600),
                  {fmt::format("Slew the mount to a position at least {:.0f} degrees from the pole (a declination "
                               "between -80 and +80), then run motion again.",
                               kLeastPoleDistanceDegrees)},
                  ""};
        mount.disconnect();
        return false;
    }
    return true;
}

void MotionCheck::compareReportedRates(motion::Verdict& verdict) const
{
    // Guiding software sizes its corrections by the rate the driver reports.
    constexpr double kFarOff = 0.25;
    for (const bool declination : {true, false}) {
        const std::optional<double> reported = mount.reportedGuideRate(declination);
        const std::optional<motion::AxisRate> measured = motion::axisRateOf(runs, baseline, declination);
        if (!reported || !measured || measured->rate <= 0) continue;
        const char* axis = declination ? "declination" : "right ascension";
        if (std::abs(*reported - measured->rate) <= kFarOff * measured->rate + measured->margin) {
            verdict.details.push_back(fmt::format("The driver reports a {} guide rate of {:.2f}x, as measured.",
                                                  axis, *reported));
            continue;
        }
        verdict.details.push_back(fmt::format("The driver reports a {} guide rate of {:.2f}x, but the mount moved at "
                                              "{:.2f}x: guiding software that trusts the driver sizes its corrections "
                                              "wrongly. Set the guide rate in the driver to the mount's.",
                                              axis, *reported, measured->rate));
        if (verdict.outcome == "pass") {
            verdict.outcome = "warn";
            verdict.summary = fmt::format("the driver reports a {} guide rate of {:.2f}x, but the mount moved at "
                                          "{:.2f}x; {}", axis, *reported, measured->rate, verdict.summary);
        }
    }
}

CheckResult MotionCheck::run()
{
    report.motionPlan(plan.pulses, fieldMs(plan.lengthMs), plan.timing, plan.compareMountTimed);
    CheckResult failed;
    if (!readBaseline(failed)) return failed;

    // Each axis first in the direction it last moved, so only the second of each meets a reversal.
    const auto mountTimedRuns = [this] {
        for (const Direction direction : {Direction::North, Direction::South, Direction::West, Direction::East}) {
            if (!mountTimedRun(direction)) return false;
        }
        return true;
    };
    // South twice, so the second starts with the slack taken up; north after south shows the
    // backlash, north after north the clean motion.
    const bool declinationDone = probe(Direction::South) && probe(Direction::North) &&
                                 sizedRun(runOf(Direction::South, Role::TakesUpSlack)) && judged(Direction::South) &&
                                 sizedRun(runOf(Direction::North, Role::AfterReversal)) && judged(Direction::North);
    if (declinationDone) measureCreep();
    const bool completed = declinationDone && probe(Direction::East) && judged(Direction::East) &&
                           probe(Direction::West) && judged(Direction::West) &&
                           (!plan.compareMountTimed || mountTimedRuns());
    // Otherwise the halt goes out on the connection still open, if it is.
    if (completed) mount.disconnect();

    std::vector<std::string> halted;
    std::vector<motion::Finding> findings = motion::findingsOf(baseline, runs);
    if (!completed) {
        const int settled = runs.empty() ? plan.settleMs
                                         : motion::settleMsAfter(runs.back(), motion::figuresOf(runs.back(), baseline),
                                                                 baseline, plan.settleMs);
        const PositionReading seen = lastSeen();
        std::optional<PositionReading> afterHalt;
        halted = haltMount(settled, afterHalt);
        // A probe that seemed beyond any guide rate, whose mount moved on until the halt, had
        // lost its stop: the pulse's motion went on until the reading.
        if (afterHalt && !motion::stoodStill(seen, *afterHalt, baseline)) {
            for (motion::Finding& finding : findings) {
                if (finding.kind != motion::Finding::Kind::TooFast) continue;
                finding.kind = motion::Finding::Kind::Runaway;
                finding.value = motion::distanceArcsec(seen, *afterHalt, baseline);
            }
        }
    }
    report.motionTable(runs, baseline, motion::backlashOf(runs, baseline));
    const bool interrupted = interrupt::requested();
    motion::Verdict verdict = motion::verdictOf(findings, baseline, runs, interrupted);
    if (!problem.empty() && !interrupted) verdict = {kExitFail, "fail", problem, advice::lineFailed()};
    compareReportedRates(verdict);
    verdict.details.insert(verdict.details.end(), halted.begin(), halted.end());
    return {verdict.exitCode, verdict.outcome, verdict.summary, verdict.details, ""};
}
