#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/StatusCode.h"
#include "link/TelescopeControl.h"
#include "support/SerialLinePair.h"
#include "support/StatusCodes.h"
#include "support/StatusRecorder.h"
#include "mount_simulator/MountSimulator.h"

// Gives link count ticks a heartbeat apart, as the heartbeat would, so a pulse lasts its length
// in time as well as in ticks. A correction's move goes out on the first of them.
void heartbeatTicks(TelescopeControl& link, int count);

// A link on COM5 and the simulated mount on COM6 of a real serial line (made by
// tests/line/with-serial-pair.sh), for tests that drive the link as the dialog would.
class LinkOverSerialLine : public ::testing::Test {
protected:
    static constexpr int kGenerousMs = 10000;
    // Long enough for anything in flight to have arrived: a command takes about 5 ms at 9600 baud.
    static constexpr int kSettleMs = 400;

    void SetUp() override;
    void TearDown() override;

    // Waits for the statuses to reach count and returns them all.
    std::vector<int> statusesOnceThereAre(size_t count);
    std::vector<std::string> commandTexts() const;
    // heartbeatTicks on this link.
    void ticks(int count);
    // Connects and expects the handshake to pass.
    void connectThroughHandshake();

    SerialLinePair line;  // first: it names the devices the others open
    MountSimulator mount{SerialLinePair::kMountPort};
    StatusRecorder statuses;
    TelescopeControl link{&statuses};
};
