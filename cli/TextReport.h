#pragma once

#include <cstdio>

#include "tester/TestReport.h"

// The report in plain lines for people at a terminal; a result that is an error goes to the
// error stream. Every line is flushed at once, so progress shows over SSH and through pipes.
class TextReport final : public TestReport {
public:
    TextReport(std::FILE* out, std::FILE* err);

    // Whether statuses and the bytes on the line are printed as they happen.
    void showTraffic(bool shown) { traffic_ = shown; }

    void begin(const std::string& command, const std::string& device, const std::string& mount) override;
    void event(const LinkEvent& event) override;
    void waiting(const std::string& what, double elapsedS, double limitS) override;
    void pulseDone(const PulseReport& pulse, int index, int total) override;
    void pulseTable(const std::vector<PulseReport>& pulses, int allowanceMs, int slackMs, PulseTiming timing) override;
    void motionPlan(int pulses, int lengthMs, PulseTiming timing, bool compareMountTimed) override;
    void motionBaseline(const motion::Baseline& baseline) override;
    void motionCreep(const motion::Baseline& baseline, double seconds) override;
    void motionRun(const motion::Run& run, const motion::RunFigures& figures, int index) override;
    void motionTable(const std::vector<motion::Run>& runs, const motion::Baseline& baseline,
                     const std::optional<motion::Backlash>& backlash) override;
    void motionHalt(bool, std::optional<bool>, double) override {}  // the result's details say it in words
    void result(const std::string& command, int exitCode, const std::string& outcome, const std::string& summary,
                const std::vector<std::string>& details, const std::string& errorKind = "") override;
    void error(const std::string& kind, const std::string& message) override;
    void port(const devices::Entry& entry) override;
    void note(const std::string& text) override;

private:
    double sinceStart(Clock::time_point at) const;
    void line(const std::string& text);

    bool traffic_ = true;
    std::FILE* out_;
    std::FILE* err_;
    Clock::time_point origin_;
};
