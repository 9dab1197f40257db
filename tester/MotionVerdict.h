#pragma once

#include <string>
#include <vector>

#include "tester/MotionFigures.h"

// motion's verdict in words: FAIL when a direction moved at a slew rate, did not move, or the
// mount did not stop; WARN (but pass) for what guiding can live with once the user knows it.
namespace motion {

struct Verdict {
    int exitCode;
    std::string outcome;  // "pass", "warn", "fail" or "interrupted"
    std::string summary;
    std::vector<std::string> details;  // one a finding, with what to do about it
};

Verdict verdictOf(const std::vector<Finding>& findings, const Baseline& baseline, const std::vector<Run>& runs,
                  bool interrupted);

// A run's role as its line names it ("probe", "takes up the slack"); "" for a judged run.
const char* roleName(Run::Role role);
// "sidereal", "stopped", "backwards" or "wrong rate".
const char* trackingName(Tracking tracking);

// "west of the meridian (hour angle +1.4 h)"
std::string sideOfMeridian(const Baseline& baseline);
// "tracking at 1.00x +-0.05 sidereal", in the words the finding uses.
std::string trackingText(const Baseline& baseline);

}  // namespace motion
