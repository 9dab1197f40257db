#pragma once

#include <string>

#include "bench/Report.h"

namespace bench::report {

// The report's title, when and on what it was measured, the two builds, and how to read the table.
class IntroductionSection {
public:
    explicit IntroductionSection(const ReportOptions& options) : options_(options) {}

    // Dated now.
    std::string text() const;

private:
    const ReportOptions& options_;
};

}  // namespace bench::report
