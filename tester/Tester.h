#pragma once

#include <vector>

#include "link/Direction.h"
#include "tester/CheckResult.h"
#include "tester/ExitCode.h"
#include "tester/MotionCheck.h"
#include "tester/MountUnderTest.h"
#include "tester/PulseBound.h"
#include "tester/PulseTiming.h"
#include "tester/TestReport.h"

// The checks a user runs against one mount: check, pulse, series and motion. Each connects,
// does its work, disconnects, and reports all of it, ending with its result.
class Tester {
public:
    struct Settings {
        int allowanceMs = PulseBound::kDefaultAllowanceMs;
        int slackMs = 0;
        int gapMs = 250;  // between the pulses of a series, for the mount to settle
        PulseTiming timing = PulseTiming::ByPc;  // of pulse's and series' pulses
    };

    Tester(TestReport& report, MountUnderTest& mount, const Settings& settings);

    int check();
    int pulse(Direction direction, int askedMs);
    int series(const std::vector<int>& lengthsMs);
    int motion(const motion::Plan& plan);

private:
    // Reports result as command's and returns its exit code.
    int finish(const char* command, const CheckResult& result);
    // Connects; on failure disconnects and reports why. The exit code if it failed.
    int connectFor(const char* command);

    TestReport& report;
    MountUnderTest& mount;
    Settings settings;
};
