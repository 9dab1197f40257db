#include "indi/IndiTelescope.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <thread>

#include "IndiServer.h"

namespace indi {
namespace {

using Clock = std::chrono::steady_clock;
using Direction = IndiTelescope::GuideDirection;

const char* const kDevice = "Telescope Simulator";
// Limits for a loaded two-core machine: each is many times what an idle one needs.
constexpr int kAnswerMs = 20000;
constexpr int kSlewMs = 120000;

class IndiServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!IndiServer::installed({"indiserver", "indi_simulator_telescope"})) {
            GTEST_SKIP() << "indiserver or indi_simulator_telescope not found: install indi-bin "
                            "(tools/install-packages.sh) to run the INDI tests";
        }
        server_ = std::make_unique<IndiServer>(std::vector<std::string>{"indi_simulator_telescope"});
        // The server takes a moment to listen: a refused connection is tried again.
        const auto until = Clock::now() + std::chrono::seconds(20);
        std::string error;
        do {
            client_ = std::make_unique<IndiClient>();
            client_->setListener([this](const IndiUpdate&, const std::string& line) {
                std::lock_guard<std::mutex> hold(transcriptLock_);
                transcript_ += line + "\n";
            });
            if (client_->connect("127.0.0.1", server_->port(), 2000, error)) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        } while (Clock::now() < until);
        ASSERT_TRUE(client_->isOpen()) << error;
        ASSERT_EQ(client_->waitUntil([](const IndiModel& model) { return model.find(kDevice, "CONNECTION"); }, kAnswerMs),
                  IndiClient::WaitOutcome::Held);
        telescope_ = std::make_unique<IndiTelescope>(*client_, kDevice);
        ASSERT_TRUE(telescope_->connectDevice(kAnswerMs, error)) << error;
        ASSERT_EQ(client_->waitUntil([](const IndiModel& model) {
            return model.find(kDevice, "EQUATORIAL_EOD_COORD") && model.find(kDevice, "GUIDE_RATE");
        }, kAnswerMs), IndiClient::WaitOutcome::Held);
    }

    bool transcriptHas(const std::string& line)
    {
        std::lock_guard<std::mutex> hold(transcriptLock_);
        return transcript_.find(line) != std::string::npos;
    }

    // Before the client, so they outlive its reader.
    std::mutex transcriptLock_;
    std::string transcript_;
    std::unique_ptr<IndiServer> server_;
    std::unique_ptr<IndiClient> client_;
    std::unique_ptr<IndiTelescope> telescope_;
};

TEST_F(IndiServerTest, SlewsPulsesNorthAndAborts)
{
    std::vector<std::string> telescopes;
    client_->inspect([&](const IndiModel& model) { telescopes = IndiTelescope::telescopes(model); });
    EXPECT_EQ(telescopes, std::vector<std::string>{kDevice});
    EXPECT_TRUE(telescope_->connectedHere());
    EXPECT_EQ(telescope_->driverInfo().value_or(IndiTelescope::DriverInfo{}).exec, "indi_simulator_telescope");
    const auto rate = telescope_->guideRate();
    ASSERT_TRUE(rate);
    EXPECT_DOUBLE_EQ(rate->northSouth, 0.5);

    // Two hours west of the meridian, so the mount is on the east of its pier: on the west side
    // the simulator of INDI 1.9.9 (Debian 12) guides declination the wrong way round.
    const auto slew = telescope_->slewTo(std::fmod(siderealHours() - 2 + 24, 24.0), 20, kSlewMs);
    ASSERT_TRUE(slew.done) << slew.error;
    EXPECT_TRUE(slew.sawBusy);
    EXPECT_EQ(slew.endState, PropertyState::Ok);
    EXPECT_EQ(telescope_->tracking(), std::optional<bool>(true));

    const auto before = telescope_->position().value_or(IndiTelescope::Position{});
    EXPECT_NEAR(before.declinationDegrees, 20, 0.01);
    const auto pulse = telescope_->guidePulse(Direction::North, 2000, kAnswerMs);
    ASSERT_TRUE(pulse.done) << pulse.error;
    EXPECT_TRUE(pulse.sawBusy);
    EXPECT_TRUE(pulse.endState == PropertyState::Idle || pulse.endState == PropertyState::Ok);
    const double busyMs = std::chrono::duration<double, std::milli>(pulse.endedAt - pulse.busyAt).count();
    EXPECT_GT(busyMs, 1500);
    EXPECT_LT(busyMs, 6000);
    EXPECT_TRUE(transcriptHas("set TELESCOPE_TIMED_GUIDE_NS Busy TIMED_GUIDE_N=2000"));
    // 2 s at half the sidereal rate, about 15 arcseconds; the driver's reading steps are far
    // finer. It sends a position only when it changed, so the last one may already be in.
    client_->waitUntil([&](const IndiModel& model) {
        const IndiProperty* coordinates = model.find(kDevice, "EQUATORIAL_EOD_COORD");
        return coordinates && coordinates->updatedAt > pulse.endedAt + std::chrono::milliseconds(500);
    }, 3000);
    const auto after = telescope_->position().value_or(IndiTelescope::Position{});
    EXPECT_NEAR((after.declinationDegrees - before.declinationDegrees) * 3600, 15.04, 1.0);

    // Abort stops a long slew far short of its end.
    std::string error;
    const std::uint64_t beforeSlew = client_->revision();
    ASSERT_TRUE(client_->sendNumbers(kDevice, "EQUATORIAL_EOD_COORD",
                                     {{"RA", after.rightAscensionHours}, {"DEC", 80}}, error)) << error;
    ASSERT_EQ(client_->waitUntil([&](const IndiModel& model) {
        return model.find(kDevice, "EQUATORIAL_EOD_COORD")->busyRevision > beforeSlew;
    }, kAnswerMs), IndiClient::WaitOutcome::Held);
    ASSERT_TRUE(telescope_->abortMotion(kAnswerMs, error)) << error;
    ASSERT_EQ(client_->waitUntil([](const IndiModel& model) {
        return model.find(kDevice, "EQUATORIAL_EOD_COORD")->state != PropertyState::Busy;
    }, kAnswerMs), IndiClient::WaitOutcome::Held);
    EXPECT_LT(telescope_->position().value_or(after).declinationDegrees, 60);
    ASSERT_TRUE(telescope_->disconnectDevice(kAnswerMs, error)) << error;
    EXPECT_FALSE(telescope_->isConnected());
}

TEST_F(IndiServerTest, ServerKilledMidPulseIsReportedAsClosed)
{
    std::thread killer([this] {
        client_->waitUntil([](const IndiModel& model) {
            const IndiProperty* guide = model.find(kDevice, "TELESCOPE_TIMED_GUIDE_NS");
            return guide && guide->state == PropertyState::Busy;
        }, kAnswerMs);
        server_->kill();
    });
    const auto pulse = telescope_->guidePulse(Direction::North, 5000, kAnswerMs);
    killer.join();
    EXPECT_FALSE(pulse.done);
    EXPECT_TRUE(pulse.sawBusy);
    EXPECT_NE(pulse.error.find("ended the connection"), std::string::npos) << pulse.error;
    EXPECT_FALSE(client_->isOpen());
    std::string error;
    EXPECT_FALSE(client_->sendSwitches(kDevice, "TELESCOPE_ABORT_MOTION", {{"ABORT", true}}, error));
    EXPECT_NE(error.find("ended the connection"), std::string::npos) << error;
}

}  // namespace
}  // namespace indi
