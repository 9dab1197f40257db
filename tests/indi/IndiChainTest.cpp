// guide-link through a real indiserver (Debian's indi-bin) to INDI's generic LX200 driver, and
// through it to lx200-mount-sim over TCP: the driver must connect, read the position and guide
// the mount in both of its pulse settings, and guide-link must check and measure it.
#include <signal.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "IndiServer.h"
#include "support/CaseName.h"
#include "support/GuideLinkProcess.h"

namespace {

const std::string kDevice = "Standard LX200";  // the name the generic driver gives itself
const std::string kAddress = "Standard%20LX200";
// Each wait is for a condition; the limit only stops a test that would otherwise hang.
constexpr int kGenerousMs = 30000;

// The seconds of the first transcript line that is command, after the line from; -1 if none.
double heardAt(const std::string& transcript, const std::string& command, double from = -1)
{
    std::istringstream lines(transcript);
    for (std::string line; std::getline(lines, line);) {
        double seconds = 0;
        char text[64] = {};
        if (std::sscanf(line.c_str(), "%lf %63s", &seconds, text) == 2 && command == text && seconds > from) {
            return seconds;
        }
    }
    return -1;
}

struct PulseSetting {
    const char* what;
    const char* usePulseCmd;         // the driver's switch: "On" or "Off"
    std::vector<std::string> heard;  // by the mount, in this order, from a north pulse
};
void PrintTo(const PulseSetting& c, std::ostream* out) { *out << c.what; }

class IndiChain : public ::testing::TestWithParam<PulseSetting> {};

TEST_P(IndiChain, DriverGuidesTheSimulatedMountAndGuideLinkMeasuresIt)
{
    if (!IndiServer::installed({"indiserver", "indi_lx200generic", "indi_getprop", "indi_setprop"})) {
        GTEST_SKIP() << "indi-bin is not installed (Debian: apt-get install indi-bin)";
    }
    const PulseSetting& c = GetParam();
    // A guide rate of 1x, so short runs clear the right ascension's 1 s readings.
    GuideLinkProcess mount(MOUNT_SIMULATOR_PROGRAM, {"--tcp", "127.0.0.1:0", "--guide-rate", "1.0"});
    std::string port;
    ASSERT_TRUE(waitFor([&] {
        const std::string out = mount.out();
        const std::string prefix = "tcp://127.0.0.1:";
        const std::size_t at = out.find(prefix);
        if (at != std::string::npos) port = out.substr(at + prefix.size(), out.find('\n', at) - at - prefix.size());
        return !port.empty();
    }, kGenerousMs)) << mount.err();
    IndiServer indi({"indi_lx200generic"});
    ASSERT_TRUE(waitFor([&] {
        return indi.get(kDevice + ".CONNECTION.CONNECT").find("=Off") != std::string::npos;
    }, kGenerousMs));
    ASSERT_TRUE(indi.set(kDevice + ".CONNECTION_MODE.CONNECTION_TCP=On"));
    ASSERT_TRUE(indi.set(kDevice + ".DEVICE_ADDRESS.ADDRESS;PORT=127.0.0.1;" + port));
    ASSERT_TRUE(indi.set(kDevice + ".CONNECTION.CONNECT=On"));
    // 02:34:56 and +12*34'56, where the simulated mount begins, in hours and degrees.
    ASSERT_TRUE(waitFor([&] {
        return indi.get(kDevice + ".EQUATORIAL_EOD_COORD.RA").find(".RA=2.58222") != std::string::npos;
    }, kGenerousMs)) << mount.out();
    ASSERT_TRUE(indi.set(kDevice + ".Use Pulse Cmd." + c.usePulseCmd + "=On"));

    const std::string address = "indi://127.0.0.1:" + std::to_string(indi.port()) + "/" + kAddress;
    const GuideLinkProcess::Outcome check = GuideLinkProcess::run({"check", address});
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    EXPECT_NE(check.out.find(std::string("'Use Pulse Cmd' is ") + (c.usePulseCmd == std::string("On") ? "on" : "off")),
              std::string::npos) << check.out;
    EXPECT_NE(check.out.find("over the network at 127.0.0.1"), std::string::npos) << check.out;

    const GuideLinkProcess::Outcome motion = GuideLinkProcess::run(
        {"motion", address, "--pulses", "1", "--length", "2000", "--baseline", "1000", "--settle", "0"});
    EXPECT_EQ(motion.exitCode, 0) << motion.out << motion.err;
    EXPECT_NE(motion.out.find("PASS: every direction moved"), std::string::npos) << motion.out;

    // The simulated mount's transcript shows the driver's pulses, and nothing it did not understand.
    std::vector<double> times;
    double after = -1;
    for (const std::string& command : c.heard) {
        after = heardAt(mount.out(), command, after);
        EXPECT_GE(after, 0) << command << " never reached the mount:\n" << mount.out();
        times.push_back(after);
    }
    EXPECT_EQ(mount.out().find("not understood"), std::string::npos) << mount.out();
    EXPECT_EQ(mount.out().find("stray bytes"), std::string::npos) << mount.out();

    ASSERT_TRUE(indi.set(kDevice + ".CONNECTION.DISCONNECT=On"));
    mount.signal(SIGTERM);
    ASSERT_TRUE(mount.finish(kGenerousMs));
}

INSTANTIATE_TEST_SUITE_P(PulseSettings, IndiChain,
                         ::testing::Values(PulseSetting{"pulse command on", "On", {":Mgn2000#"}},
                                           PulseSetting{"timed by the driver", "Off", {":Mn#", ":Qn#"}}),
                         CaseName());

}  // namespace
