#pragma once

#include <string>
#include <vector>

#include "cli/MotionFigures.h"

// motion's verdict in words: FAIL when a direction did not move or the mount did not stop,
// WARN (but pass) for what guiding can live with once the user knows it.
namespace motion {

struct Verdict {
    int exitCode;
    std::string outcome;  // "pass", "warn", "fail" or "interrupted"
    std::string summary;
    std::vector<std::string> details;  // one a finding, with what to do about it
};

Verdict verdictOf(const std::vector<Finding>& findings, bool interrupted);

}  // namespace motion
