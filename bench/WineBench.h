#pragma once

#include <string>

namespace bench {

struct WineOptions {
    std::string linkDevice;   // the end of the line that the Wine prefix shows as COM1
    std::string mountDevice;  // the simulated mount's end
    std::string results;
    std::string wineRun;  // cmake/wine-run.sh
    std::string prefix;   // the scratch Wine prefix, an absolute path
    std::string tester;   // guide-link-tester.exe
    std::string driver;   // dialog-driver.exe
    bool quick = false;
};

// The pause between two looks at the dialog's status line; each look is itself a round trip to the
// dialog. The statuses timed under Wine are up to that much late.
constexpr double kStatusPollGapMs = 5;

// Measures the real Windows program under Wine, worked through its dialog by the dialog driver
// as a person would, on the display that DISPLAY names. Returns the exit status.
int runWineBench(const WineOptions& options);

}  // namespace bench
