// --simulate's kinds combine, separated by commas; one unknown name refuses them all.
#include <gtest/gtest.h>

#include "cli/SimulatedMount.h"

namespace {

TEST(SimulatedMountKinds, CombineSeparatedByCommas)
{
    MountBehaviour behaviour;
    ASSERT_TRUE(SimulatedMount::behaviourNamed("dead-east,noisy", behaviour));
    EXPECT_EQ(behaviour.motion.ignoredDirection, 'e');
    EXPECT_GT(behaviour.readingNoiseArcsec, 0);
    EXPECT_FALSE(SimulatedMount::behaviourNamed("noisy,bogus", behaviour));
    EXPECT_FALSE(SimulatedMount::behaviourNamed("noisy,", behaviour));
}

}  // namespace
