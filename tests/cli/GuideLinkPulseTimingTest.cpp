// Fresh guide-link programs' pulses, on the mount's clock over a real serial line. These run
// apart from the tests that load the machine most (the browser's), so that what they measure is
// the program's timing, not a Chromium starting beside it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/GuideLinkOutput.h"
#include "support/GuideLinkProcess.h"
#include "support/MountOnTheLine.h"

namespace {

constexpr int kGenerousMs = 20000;
// Widens guide-link's band for a machine that runs other tests beside these, by less than half a
// tick: a pulse a tick short or long still fails.
const char* const kSlack = "40";

using GuideLinkPulseTiming = MountOnTheLine;

// Each pulse lasts its ticks, in every fresh program, whatever phase its heartbeat started in:
// the program's own verdict holds it to its band, and on the mount's clock, behind the relay of
// the line and a machine busy with other tests, a tick short or long still shows.
TEST_F(GuideLinkPulseTiming, PulsesFromFreshProgramsAreWholeOnTheMountsClock)
{
    constexpr double kMountClockMarginMs = 60;
    for (int run = 0; run < 12; ++run) {
        const int lengthMs = run % 2 == 0 ? 200 : 500;
        const size_t before = mount.commands().size();
        const GuideLinkProcess::Outcome pulse =
            GuideLinkProcess::run({"pulse", linkEnd(), "north", std::to_string(lengthMs), "--slack", kSlack});
        EXPECT_EQ(pulse.exitCode, 0) << pulse.out << pulse.err;
        // The handshake, the rate, the move and the stop; the stop may still be on its way.
        ASSERT_TRUE(mount.waitForCommands(before + 6, kGenerousMs)) << "run " << run;
        const std::vector<ReceivedCommand> received = mount.commands();
        double moveAt = -1;
        double stopAt = -1;
        for (const ReceivedCommand& command : received) {
            if (command.text == ":Mn#") moveAt = command.milliseconds;
            if (command.text == ":Qn#") stopAt = command.milliseconds;
        }
        EXPECT_NEAR(stopAt - moveAt, lengthMs, kMountClockMarginMs) << "run " << run << " of " << lengthMs << " ms";
    }
}

}  // namespace
