// The motion check's steps, over a mount played by the test on a clock of its own.
#include "tester/MotionCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tester/TestReport.h"

namespace {

using Clock = PositionReading::Clock;

// Hears nothing: the steps are what this test looks at.
class NoReport final : public TestReport {
public:
    void begin(const std::string&, const std::string&, const std::string&) override {}
    void event(const LinkEvent&) override {}
    void waiting(const std::string&, double, double) override {}
    void pulseDone(const PulseReport&, int, int) override {}
    void pulseTable(const std::vector<PulseReport>&, int, int, PulseTiming) override {}
    void motionPlan(int, int, PulseTiming, bool) override {}
    void motionBaseline(const motion::Baseline&) override {}
    void motionCreep(const motion::Baseline&, double) override {}
    void motionRun(const motion::Run&, const motion::RunFigures&, int) override {}
    void motionTable(const std::vector<motion::Run>&, const motion::Baseline&,
                     const std::optional<motion::Backlash>&) override {}
    void motionHalt(bool, std::optional<bool>, double) override {}
    void result(const std::string&, int, const std::string&, const std::string&, const std::vector<std::string>&,
                const std::string&) override {}
    void error(const std::string&, const std::string&) override {}
    void port(const devices::Entry&) override {}
    void note(const std::string&) override {}
};

// A tracking mount on the equator that guides its two probes at 0.5x sidereal and every later
// pulse at a slew rate of 8 degrees a second, as a mount does whose guide rate is lost after the
// first corrections. Time passes only in its pulses, readings and waits.
class SlewAfterTheProbes final : public MountUnderTest {
public:
    std::vector<std::string> steps;

    Connection connect(bool) override { return Connection::Ready; }
    void disconnect() override {}
    CheckResult connectFailed(Connection, bool) const override { return {}; }
    CheckResult checked() override { return {}; }
    std::vector<std::string> pulseAdvice(bool) const override { return {}; }
    std::vector<std::string> pulseNotes() const override { return {}; }
    PulseReport pulse(Direction direction, int askedMs, PulseTiming timing, int, int) override
    {
        steps.push_back("pulse");
        const double arcsecPerMs = ++pulses <= 2 ? 0.5 * 15.04 / 1000 : 8.0 * 3600 / 1000;
        const double way = direction == Direction::North ? 1 : -1;
        if (direction == Direction::North || direction == Direction::South) declination += way * arcsecPerMs * askedMs;
        now += std::chrono::milliseconds(askedMs);
        PulseReport report;
        report.direction = direction;
        report.askedMs = report.requestedMs = askedMs;
        report.timing = timing;
        report.measuredMs = askedMs;
        report.passed = true;
        return report;
    }
    std::optional<PositionReading> readPosition(bool, Connection& outcome, bool) override
    {
        steps.push_back("read");
        outcome = Connection::Ready;
        now += std::chrono::milliseconds(200);
        return PositionReading{36000, now, declination, now, 36000};
    }
    std::string halt(bool& halted) override
    {
        steps.push_back("halt");
        halted = true;
        return "halted.";
    }
    void wait(std::chrono::milliseconds span, bool (*)()) override
    {
        steps.push_back("wait");
        now += span;
    }

private:
    Clock::time_point now{};
    double declination = 0;
    int pulses = 0;
};

TEST(MotionCheckTest, AMountThatTurnsToASlewRateAfterItsProbesIsHaltedAtOnce)
{
    NoReport report;
    SlewAfterTheProbes mount;
    const CheckResult result = MotionCheck(report, mount, motion::Plan{}).run();
    EXPECT_EQ(result.outcome, "fail");
    const auto lastPulse = std::find(mount.steps.rbegin(), mount.steps.rend(), "pulse");
    ASSERT_NE(lastPulse, mount.steps.rend());
    // After the run that showed the slew: its one reading, then the halt; no settling, no more readings.
    const std::vector<std::string> after(lastPulse.base(), mount.steps.end());
    ASSERT_GE(after.size(), 2u);
    EXPECT_EQ((std::vector<std::string>{after[0], after[1]}), (std::vector<std::string>{"read", "halt"}));
}

}  // namespace
