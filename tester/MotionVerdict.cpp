#include "tester/MotionVerdict.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "tester/ExitCode.h"
#include "tester/PulseBound.h"

namespace motion {

namespace {

const char* axisOf(Direction direction) { return onDeclination(direction) ? "declination" : "right ascension"; }

// "north lowers the declination"
std::string wrongWay(Direction direction)
{
    const bool raises = direction == Direction::South || direction == Direction::West;
    return fmt::format("{} {} the {}", directionName(direction), raises ? "raises" : "lowers", axisOf(direction));
}

std::string rates(const Baseline& baseline, const std::vector<Run>& runs)
{
    const std::optional<AxisRate> declination = axisRateOf(runs, baseline, true);
    const std::optional<AxisRate> rightAscension = axisRateOf(runs, baseline, false);
    const auto shown = [](const std::optional<AxisRate>& axis) {
        return axis ? fmt::format("{:.2f}x sidereal", axis->rate) : std::string("not measured");
    };
    return fmt::format("declination {}, right ascension {}", shown(declination), shown(rightAscension));
}

// "0.50x", the axis's rate in its judged runs or its mount-timed ones.
std::string axisRate(const std::vector<Run>& runs, const Baseline& baseline, Direction direction, Run::Role role)
{
    const std::optional<AxisRate> axis = axisRateOf(runs, baseline, onDeclination(direction), role);
    return axis ? fmt::format("{:.2f}x", axis->rate) : std::string("too little to tell");
}

std::string shortly(const Finding& finding, const Baseline& baseline, const std::vector<Run>& runs)
{
    switch (finding.kind) {
    case Finding::Kind::Tracking:
        switch (trackingOf(baseline)) {
        case Tracking::Stopped:
            return "the mount is not tracking";
        case Tracking::Backwards:
            return "the mount tracks backwards";
        default:
            return fmt::format("the mount tracks at {:.2f}x sidereal", finding.value);
        }
    case Finding::Kind::TooFast:
        return fmt::format("{} moved at {:.0f}x sidereal, a slew rate: stopped", directionName(finding.direction),
                           finding.value);
    case Finding::Kind::NoMotion:
        return fmt::format("{} did not move", directionName(finding.direction));
    case Finding::Kind::TooShort:
        return fmt::format("{} moved too little to tell", directionName(finding.direction));
    case Finding::Kind::Runaway:
        return fmt::format("RUNAWAY: the mount kept moving {} after the stop", directionName(finding.direction));
    case Finding::Kind::Reversed:
        return fmt::format("{} is reversed ({}) {}", axisOf(finding.direction), wrongWay(finding.direction),
                           sideOfMeridian(baseline));
    case Finding::Kind::Unequal:
        return fmt::format("{} moved at {:.0f}% of {}'s rate", directionName(finding.direction), finding.value * 100,
                           directionName(finding.other));
    case Finding::Kind::UnusualRate:
        return fmt::format("the {} guides at {:.2f}x sidereal", axisOf(finding.direction), finding.value);
    case Finding::Kind::Backlash:
        return fmt::format("{:.0f}\" of declination backlash", finding.value);
    case Finding::Kind::MountTimedIgnored:
        return fmt::format("mount-timed pulses (:Mg) did not move the {}", axisOf(finding.direction));
    case Finding::Kind::MountTimedOwnRate:
        return fmt::format("the {} moves at {:.2f}x sidereal for mount-timed pulses (:Mg), at {} for timed ones",
                           axisOf(finding.direction), finding.value,
                           axisRate(runs, baseline, finding.direction, Run::Role::Judged));
    case Finding::Kind::MountTimedUntimed:
        return fmt::format("the mount takes :Mg as a move and does not time it ({})", axisOf(finding.direction));
    }
    return {};
}

std::string explainedTracking(const Finding& finding, const Baseline& baseline)
{
    const std::string measured = fmt::format("With no pulse the right ascension crept {:.2f} s per second: the drive "
                                             "turns at {:.2f}x +-{:.2f} sidereal.", baseline.creep, finding.value,
                                             baseline.trackingUncertainty());
    const std::string takenOut = " The creep as measured is taken out of every figure above.";
    switch (trackingOf(baseline)) {
    case Tracking::Stopped:
        return measured + " The mount is not tracking: the sky turns under it. Guiding needs tracking: switch it on "
                          "before guiding." + takenOut;
    case Tracking::Backwards:
        return measured + " The mount tracks backwards, so the stars run away at twice the sidereal rate: its "
                          "hemisphere (or latitude sign) is set wrong. Set it right and start again." + takenOut;
    default:
        return measured + " A drive set to the sidereal rate turns at 1.00x: check the tracking rate (lunar and solar "
                          "rates are for the Moon and the Sun) and the mount's date, time and site." + takenOut;
    }
}

std::string explained(const Finding& finding, const Baseline& baseline, const std::vector<Run>& runs)
{
    switch (finding.kind) {
    case Finding::Kind::Tracking:
        return explainedTracking(finding, baseline);
    case Finding::Kind::TooFast:
        return fmt::format("{} moved the mount at {:.0f}x sidereal, beyond any guide rate (at most {:.0f}x): the mount "
                           "carries out guide pulses at a slew or centring rate. Either the handset's guide rate is "
                           "set to a centring rate, or the mount ignores :RG#, the command that selects the guide "
                           "rate (some LX200 clones have no such command). Set the guide rate on the handset to "
                           "0.5x, or do not guide this mount through the LX200 link.",
                           directionName(finding.direction), finding.value, kMaxGuideRate);
    case Finding::Kind::NoMotion:
        return fmt::format("{} did not move the mount beyond the margin of its readings{}: the pulses went out on "
                           "the line, but the {} did not change. Check that the mount takes guide commands at its guide rate (some "
                           "ignore them while parked or slewing) and look at the {} drive and its clutch.",
                           directionName(finding.direction),
                           finding.value > 0 ? fmt::format(", where the opposite direction's rate predicted {:.0f}\"",
                                                           finding.value)
                                             : std::string(),
                           axisOf(finding.direction), axisOf(finding.direction));
    case Finding::Kind::TooShort:
        return fmt::format("{} moved the mount less than the margin of its readings, but at the rate the opposite "
                           "direction showed its run would have moved it only {:.0f}\", too little to tell a dead "
                           "direction from a working one. Give longer or more pulses (--length, --pulses).",
                           directionName(finding.direction), finding.value);
    case Finding::Kind::Runaway:
        return fmt::format("RUNAWAY: the mount went on moving {} after its stop command went out ({:.0f}\" more "
                           "while motion waited) and the measurement stopped there. A mount that loses stops cannot "
                           "be guided: look at its firmware, its serial settings and the cable.",
                           directionName(finding.direction), std::abs(finding.value));
    case Finding::Kind::Reversed:
        return fmt::format("The {} is reversed: {}, measured {}. Guiding programs calibrate for that, and reverse "
                           "the declination again after a meridian flip, so on the other side of the meridian it "
                           "may read the other way; know it when reading guiding graphs or setting a guide direction "
                           "by hand.", axisOf(finding.direction), wrongWay(finding.direction),
                           sideOfMeridian(baseline));
    case Finding::Kind::Unequal:
        return fmt::format("{} moved at {:.0f}% of the rate of {}, beyond the margins: opposite directions should "
                           "match within a quarter. Check the guide rate settings, the balance of the {} axis and "
                           "its clutch.", directionName(finding.direction), finding.value * 100,
                           directionName(finding.other), axisOf(finding.direction));
    case Finding::Kind::UnusualRate:
        return fmt::format("The {} guides at {:.2f}x sidereal, outside the {}x to {}x guiding programs expect: check "
                           "the guide rate on the handset.", axisOf(finding.direction), finding.value,
                           kLowestUsualRate, kHighestUsualRate);
    case Finding::Kind::Backlash:
        return fmt::format("Reversing the declination lost {:.0f}\" to backlash: a north run after a south one moved "
                           "that much less than one after a north run. Adjust the declination gear mesh, or let the "
                           "guiding program compensate for backlash.", finding.value);
    case Finding::Kind::MountTimedIgnored:
        return fmt::format("Pulses timed by guide-link moved the {0}, but the same pulses sent as mount-timed ones "
                           "(:Mg) did not move it at all: the mount ignores :Mg. Guiding software sending "
                           "mount-timed pulses will not move this mount; switch its pulse-command option off, so "
                           "that it sends moves and stops.", axisOf(finding.direction));
    case Finding::Kind::MountTimedOwnRate:
        return fmt::format("Mount-timed pulses (:Mg) moved the {} at {:.2f}x sidereal, pulses timed by guide-link "
                           "at {}: the mount's pulse rate is set apart from its guide rate. Set both alike on the "
                           "handset, or calibrate guiding with the kind of pulses it will send.",
                           axisOf(finding.direction), finding.value,
                           axisRate(runs, baseline, finding.direction, Run::Role::Judged));
    case Finding::Kind::MountTimedUntimed:
        return fmt::format("Mount-timed pulses (:Mg) moved the {} at its guide rate until guide-link's own stop, "
                           "sent once the pulse's time and half as much again were up: the mount takes :Mg as a "
                           "move and does not time it. Guiding software sending mount-timed pulses would leave it "
                           "moving; switch that option off, so that it sends moves and stops.",
                           axisOf(finding.direction));
    }
    return {};
}

std::string joined(const std::vector<std::string>& parts)
{
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + part;
    return text;
}

}  // namespace

std::string sideOfMeridian(const Baseline& baseline)
{
    const double hours = baseline.hourAngle / 3600.0;
    return fmt::format("{} of the meridian (hour angle {:+.1f} h)", hours >= 0 ? "west" : "east", hours);
}

std::string trackingText(const Baseline& baseline)
{
    const char* words[] = {"tracking", "NOT TRACKING", "TRACKING BACKWARDS", "TRACKING AT THE WRONG RATE"};
    return fmt::format("{} ({:.2f}x +-{:.2f} sidereal)", words[static_cast<int>(trackingOf(baseline))],
                       baseline.trackingRate(), baseline.trackingUncertainty());
}

Verdict verdictOf(const std::vector<Finding>& findings, const Baseline& baseline, const std::vector<Run>& runs,
                  bool interrupted)
{
    std::vector<std::string> failures;
    std::vector<std::string> warnings;
    std::vector<std::string> details;
    for (const Finding& finding : findings) {
        (finding.fails() ? failures : warnings).push_back(shortly(finding, baseline, runs));
        details.push_back(explained(finding, baseline, runs));
    }
    if (interrupted) return {kExitInterrupted, "interrupted", "stopped before every direction was measured", details};
    if (!failures.empty()) return {kExitFail, "fail", joined(failures), details};
    if (!warnings.empty()) return {kExitPass, "warn", joined(warnings) + "; " + rates(baseline, runs), details};
    const std::string alike =
        mountTimedRan(runs) ? fmt::format("; mount-timed pulses move the mount as timed ones do: declination {}, right "
                                    "ascension {} sidereal",
                                    axisRate(runs, baseline, Direction::North, Run::Role::MountTimed),
                                    axisRate(runs, baseline, Direction::East, Run::Role::MountTimed))
                      : "";
    return {kExitPass, "pass",
            "every direction moved the mount the expected way, at matching rates (" + rates(baseline, runs) +
                "), and it stopped" + alike,
            details};
}

const char* roleName(Run::Role role)
{
    switch (role) {
    case Run::Role::Probe:
        return "probe";
    case Run::Role::TakesUpSlack:
        return "takes up the slack";
    case Run::Role::AfterReversal:
        return "after south: backlash";
    case Run::Role::Sizing:
        return "sizes the next";
    case Run::Role::MountTimed:
        return "mount-timed";
    case Run::Role::Judged:
        break;
    }
    return "";
}

const char* trackingName(Tracking tracking)
{
    const char* names[] = {"sidereal", "stopped", "backwards", "wrong rate"};
    return names[static_cast<int>(tracking)];
}

}  // namespace motion
