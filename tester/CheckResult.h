#pragma once

#include <string>
#include <vector>

// How a check ended, for the report: the exit code, "pass", "warn", "fail", "error" or
// "interrupted", one line, the lines that explain it, and for an error a short word for scripts.
struct CheckResult {
    int exitCode = 0;
    std::string outcome;
    std::string summary;
    std::vector<std::string> details;
    std::string errorKind;
};
