// The serial port link on its own over a real serial line, with no frame reader emptying the
// control pipe: what happens to a port whose serial reader cannot end in time.
#include "link/SerialPortLink.h"

#include <gtest/gtest.h>

#include "link/ControlPipe.h"
#include "platform/sleep.h"
#include "support/SerialLinePair.h"
#include "mount_simulator/MountSimulator.h"

namespace {

constexpr int kShortReaderWaitMs = 300;

TEST(SerialPortLink, APortWhoseReaderMissedItsWaitIsClosedAllTheSame)
{
    SerialLinePair line;
    ASSERT_TRUE(line.present()) << "run through tests/line/with-serial-pair.sh, which makes the serial line";
    MountSimulator mount(SerialLinePair::kMountPort);
    ASSERT_TRUE(mount.start());
    ControlPipe pipe;
    SerialPortLink serial(pipe, kShortReaderWaitMs);

    ASSERT_TRUE(serial.openPort(SerialLinePair::kLinkPort));
    serial.startReader();
    // More than the pipe holds: with nobody emptying it, the reader blocks on a full pipe.
    mount.sendNoise(2 * ControlPipe::kBufferSize, 7);
    for (int waited = 0; pipe.available() < ControlPipe::kBufferSize - 32 && waited < 10000; waited += 20) {
        platform::sleepMs(20);
    }
    ASSERT_GE(pipe.available(), ControlPipe::kBufferSize - 32) << "the noise did not fill the pipe";

    serial.closePort();
    // The stray reader still waits on the pipe, yet the device is free for the next Connect.
    EXPECT_TRUE(serial.openPort(SerialLinePair::kLinkPort)) << "the port stayed open behind the stray reader";

    // Shutdown empties the pipe, so the stray reader ends.
    EXPECT_TRUE(serial.shutDown());
    mount.stop();
}

}  // namespace
