#include "cli/MotionVerdict.h"

#include <fmt/format.h>

#include <cmath>

#include "cli/Tester.h"

namespace motion {

namespace {

const char* axisOf(Direction direction)
{
    return direction == Direction::North || direction == Direction::South ? "declination" : "right ascension";
}

// "north lowers the declination"
std::string wrongWay(Direction direction)
{
    const bool raises = direction == Direction::South || direction == Direction::West;
    return fmt::format("{} {} the {}", directionName(direction), raises ? "raises" : "lowers", axisOf(direction));
}

std::string shortly(const Finding& finding)
{
    switch (finding.kind) {
    case Finding::Kind::NotTracking:
        return "the mount is not tracking";
    case Finding::Kind::NoMotion:
        return fmt::format("{} did not move", directionName(finding.direction));
    case Finding::Kind::Runaway:
        return fmt::format("RUNAWAY: the mount kept moving {} after the stop", directionName(finding.direction));
    case Finding::Kind::Reversed:
        return fmt::format("{} is reversed ({})", axisOf(finding.direction), wrongWay(finding.direction));
    case Finding::Kind::Unequal:
        return fmt::format("{} moved at {:.0f}% of {}'s rate", directionName(finding.direction), finding.value * 100,
                           directionName(finding.other));
    case Finding::Kind::Backlash:
        return fmt::format("{:.0f}\" of declination backlash", finding.value);
    }
    return {};
}

std::string explained(const Finding& finding)
{
    switch (finding.kind) {
    case Finding::Kind::NotTracking:
        return fmt::format("The mount is not tracking: with no pulse its right ascension crept {:.2f} s per second, "
                           "as the sky turns under a mount that stands still. Guiding needs tracking: switch it on "
                           "before guiding. The creep is taken out of every figure above.", finding.value);
    case Finding::Kind::NoMotion:
        return fmt::format("{} did not move the mount: the pulses went out on the line, but the {} did not change. "
                           "Check that the mount takes guide commands at its guide rate (some ignore them while "
                           "parked or slewing) and look at the {} drive and its clutch.",
                           directionName(finding.direction), axisOf(finding.direction), axisOf(finding.direction));
    case Finding::Kind::Runaway:
        return fmt::format("RUNAWAY: the mount went on moving {} after its stop command went out ({:.0f}\" more a few "
                           "seconds later) and the measurement stopped there. Stop it with its handset now. A mount "
                           "that ignores stops cannot be guided: look at its firmware and its serial settings.",
                           directionName(finding.direction), std::abs(finding.value));
    case Finding::Kind::Reversed:
        return fmt::format("The {} is reversed: {}. Guiding programs calibrate for that, so it can guide; know it "
                           "when reading guiding graphs or setting a guide direction by hand.",
                           axisOf(finding.direction), wrongWay(finding.direction));
    case Finding::Kind::Unequal:
        return fmt::format("{} moved at {:.0f}% of the rate of {}, beyond the resolution: opposite directions should "
                           "match within a quarter. Check the guide rate settings, the balance of the {} axis and "
                           "its clutch.", directionName(finding.direction), finding.value * 100,
                           directionName(finding.other), axisOf(finding.direction));
    case Finding::Kind::Backlash:
        return fmt::format("Reversing the declination lost {:.0f}\" to backlash: a north run after a south one moved "
                           "that much less than one after a north run. Adjust the declination gear mesh, or let the "
                           "guiding program compensate for backlash.", finding.value);
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

Verdict verdictOf(const std::vector<Finding>& findings, bool interrupted)
{
    std::vector<std::string> failures;
    std::vector<std::string> warnings;
    std::vector<std::string> details;
    for (const Finding& finding : findings) {
        (finding.fails() ? failures : warnings).push_back(shortly(finding));
        details.push_back(explained(finding));
    }
    if (interrupted) return {kExitInterrupted, "interrupted", "stopped before every direction was measured", details};
    if (!failures.empty()) return {kExitFail, "fail", joined(failures), details};
    if (!warnings.empty()) return {kExitPass, "warn", joined(warnings), details};
    return {kExitPass, "pass", "every direction moved the mount the expected way, at matching rates, and it stopped",
            details};
}

}  // namespace motion
