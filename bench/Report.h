#pragma once

#include <string>

namespace bench {

struct ReportOptions {
    std::string nativeResults;
    std::string wineResults;
    std::string markdown;    // docs/performance.md
    std::string plotData;    // the pulse errors, for gnuplot
    std::string plotScript;  // the gnuplot script that draws image
    std::string image;       // the PNG the script writes
    std::string imageLink;   // image as the Markdown file refers to it
    std::string machine;     // one line about the machine, from the run script
    long startedEpoch = 0;   // when the run began, for its duration; 0 if unknown
    bool quick = false;
};

// Writes the report, the plot's data and script, and prints the table of figures. Returns the
// exit status: 1 if nothing could be written, else 0 (a figure beyond its bound is reported, not
// failed: this is a measurement, not a test).
int writeReport(const ReportOptions& options);

}  // namespace bench
