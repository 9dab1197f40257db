// guide-link against INDI's telescope simulator behind a real indiserver: its check, a pulse
// measured on the simulator's declination, the pole where right ascension cannot be measured, an
// interrupt mid-pulse, and a server that dies mid-pulse.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>

#include "IndiServer.h"
#include "support/GuideLinkProcess.h"

namespace {

const std::string kDevice = "Telescope Simulator";
constexpr int kGenerousMs = 120000;

class IndiGuideLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!IndiServer::installed({"indiserver", "indi_simulator_telescope", "indi_getprop", "indi_setprop"})) {
            GTEST_SKIP() << "indi-bin is not installed (Debian: apt-get install indi-bin)";
        }
        server = std::make_unique<IndiServer>(std::vector<std::string>{"indi_simulator_telescope"});
        ASSERT_TRUE(waitFor([&] {
            return server->get(kDevice + ".CONNECTION.CONNECT").find("=") != std::string::npos;
        }, kGenerousMs));
        address = "indi://127.0.0.1:" + std::to_string(server->port()) + "/Telescope%20Simulator";
    }

    // Two hours west of the meridian at +20, tracking: on the west of its pier the simulator of
    // INDI 1.9.9 guides declination the wrong way round.
    void slewToTwentyDegrees()
    {
        ASSERT_TRUE(server->set(kDevice + ".CONNECTION.CONNECT=On"));
        ASSERT_TRUE(server->set(kDevice + ".ON_COORD_SET.TRACK=On"));
        const double rightAscension = std::fmod(siderealHours() - 2 + 24, 24.0);
        ASSERT_TRUE(server->set(kDevice + ".EQUATORIAL_EOD_COORD.RA;DEC=" + std::to_string(rightAscension) + ";20"));
        ASSERT_TRUE(waitFor([&] {
            return std::abs(declination() - 20) < 1e-6 &&
                   server->get(kDevice + ".TELESCOPE_TRACK_STATE.TRACK_ON").find("=On") != std::string::npos;
        }, kGenerousMs)) << server->get(kDevice + ".EQUATORIAL_EOD_COORD.*");
    }

    double declination() const
    {
        const std::string line = server->get(kDevice + ".EQUATORIAL_EOD_COORD.DEC");
        const std::size_t at = line.find('=');
        return at == std::string::npos ? NAN : std::atof(line.c_str() + at + 1);
    }

    std::unique_ptr<IndiServer> server;
    std::string address;
};

TEST_F(IndiGuideLink, AtThePoleMotionDoesNotMeasureRightAscension)
{
    const GuideLinkProcess::Outcome motion = GuideLinkProcess::run({"motion", address, "--baseline", "1000"});
    EXPECT_EQ(motion.exitCode, 1) << motion.out << motion.err;
    EXPECT_NE(motion.out.find("from the pole, where its right ascension cannot show guide pulses"), std::string::npos)
        << motion.out;
    EXPECT_EQ(motion.out.find("TELESCOPE_TIMED_GUIDE_NS TIMED_GUIDE"), std::string::npos) << "a pulse was sent";
}

TEST_F(IndiGuideLink, ChecksAndPulsesNorthByTheGuideRate)
{
    slewToTwentyDegrees();
    const GuideLinkProcess::Outcome check = GuideLinkProcess::run({"check", address});
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    EXPECT_NE(check.out.find("guide rate of 0.50x"), std::string::npos) << check.out;

    const double before = declination();
    const GuideLinkProcess::Outcome pulse = GuideLinkProcess::run({"pulse", address, "north", "2000"});
    EXPECT_EQ(pulse.exitCode, 0) << pulse.out << pulse.err;
    EXPECT_NE(pulse.out.find("what crossed the wire to the mount is not visible over INDI"), std::string::npos);
    // 2 s at 0.5x sidereal: 15.04".
    ASSERT_TRUE(waitFor([&] { return std::abs((declination() - before) * 3600 - 15.04) < 1; }, kGenerousMs))
        << (declination() - before) * 3600 << "\"";
}

TEST_F(IndiGuideLink, MotionMeasuresBothAxesAtTheGuideRate)
{
    slewToTwentyDegrees();
    const GuideLinkProcess::Outcome motion = GuideLinkProcess::run(
        {"--json", "motion", address, "--pulses", "1", "--length", "3000", "--baseline", "2000", "--settle", "1000"});
    EXPECT_EQ(motion.exitCode, 0) << motion.out << motion.err;
    nlohmann::json rates;
    std::istringstream lines(motion.out);
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
        if (event.is_object() && event.value("event", "") == "rates") rates = event;
    }
    for (const char* axis : {"declination", "right_ascension"}) {
        ASSERT_TRUE(rates[axis].is_object()) << axis << " not measured:\n" << motion.out;
        EXPECT_GE(rates[axis]["rate"].get<double>(), 0.4) << axis << "\n" << motion.out;
        EXPECT_LE(rates[axis]["rate"].get<double>(), 0.6) << axis << "\n" << motion.out;
    }
}

// An interrupt aborts the pulse within a second; a server that dies mid-pulse is told, not passed.
TEST_F(IndiGuideLink, APulseCutShortIsAbortedOrToldOf)
{
    slewToTwentyDegrees();
    GuideLinkProcess interrupted({"pulse", address, "north", "5000"});
    ASSERT_TRUE(waitFor([&] {
        return interrupted.out().find("TIMED_GUIDE_N=5000") != std::string::npos;
    }, kGenerousMs));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto signalledAt = std::chrono::steady_clock::now();
    interrupted.signal(SIGINT);
    ASSERT_TRUE(waitFor([&] {
        return interrupted.out().find("TELESCOPE_ABORT_MOTION") != std::string::npos;
    }, kGenerousMs));
    EXPECT_LT(std::chrono::steady_clock::now() - signalledAt, std::chrono::seconds(1)) << interrupted.out();
    ASSERT_TRUE(interrupted.finish(kGenerousMs));
    EXPECT_EQ(interrupted.exitCode(), 3) << interrupted.out();

    GuideLinkProcess orphaned({"pulse", address, "north", "5000"});
    ASSERT_TRUE(waitFor([&] { return orphaned.out().find("TIMED_GUIDE_N=5000") != std::string::npos; }, kGenerousMs));
    server->kill();
    ASSERT_TRUE(orphaned.finish(kGenerousMs));
    EXPECT_EQ(orphaned.exitCode(), 1) << orphaned.out();
    EXPECT_NE(orphaned.out().find("ended the connection"), std::string::npos) << orphaned.out();
    EXPECT_NE(orphaned.out().find("the mount may still be moving"), std::string::npos) << orphaned.out();
}

}  // namespace
