#pragma once

#include <gtest/gtest.h>

#include "mount_simulator/MountSimulator.h"
#include "support/SerialLinePair.h"

// A test with the simulated mount on the mount's end of the serial line that
// tests/line/with-serial-pair.sh made; the program under test opens the other end.
class MountOnTheLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(line.present()) << "run through tests/line/with-serial-pair.sh, which makes the serial line";
        ASSERT_TRUE(mount.start()) << "the simulated mount could not open its end of the line";
    }

    void TearDown() override { mount.stop(); }

    SerialLinePair line;  // first: it names the devices the others open
    MountSimulator mount{SerialLinePair::kMountPort};
};
