#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "tester/MotionCheck.h"
#include "tester/PulseBound.h"
#include "tester/PulseTiming.h"

// guide-link's commands for a terminal or a script: check, pulse, series, motion and ports, with
// their options and the simulated mount that --simulate puts at the far end of the line.
class TerminalCommands {
public:
    // Adds the commands and their options to app.
    explicit TerminalCommands(CLI::App& app);
    TerminalCommands(const TerminalCommands&) = delete;
    TerminalCommands& operator=(const TerminalCommands&) = delete;

    // Runs the command app's arguments chose; the exit code.
    int run();

private:
    struct Arguments {
        bool json = false;
        bool transcript = false;
        std::string simulate;      // the kind of simulated mount; "" for a real one
        std::string simulatePort;  // where the simulated mount serves, if not on a terminal of its own
        std::string port;
        std::string direction;
        int ms = 0;
        std::vector<int> lengths{200, 500, 1000, 2000};
        int allowanceMs = PulseBound::kDefaultAllowanceMs;
        int slackMs = 0;
        PulseTiming timing = PulseTiming::ByPc;
        std::vector<std::string> extraPorts;
        motion::Plan motion;
        std::string motionTiming = "pc";
        std::string pulseWords[3];  // PORT DIR MS, PORT left out with --simulate
    };

    void addPulseOptions(CLI::App& command);
    // Reads pulse's words and --timed-by; the usage error, or "".
    std::string readWords();
    int runChosen(const std::string& command);

    Arguments arguments;
    CLI::App* check;
    CLI::App* pulse;
    CLI::App* series;
    CLI::App* motion;
    CLI::App* ports;
};
