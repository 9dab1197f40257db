// The parts of guide-link that decide what a person reads: how bytes are shown, the bound a
// pulse is judged by, how ports are named and ordered, and the advice for a port that fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli/PulseBound.h"
#include "cli/SerialDevices.h"
#include "cli/WireText.h"

namespace {

TEST(WireTextTest, PrintableBytesShowAsTheyAreAndOthersAsEscapesAndHex)
{
    EXPECT_EQ(wire::quoted("01:23:45#"), "\"01:23:45#\"");
    EXPECT_TRUE(wire::printable("+12*34'56#"));
    const std::string noisy("\r\n\0\xff\"\\ ~", 8);
    EXPECT_FALSE(wire::printable(noisy));
    EXPECT_EQ(wire::quoted(noisy), "\"\\x0d\\x0a\\x00\\xff\\\"\\\\ ~\"");
    EXPECT_EQ(wire::hex(noisy), "0d 0a 00 ff 22 5c 20 7e");
    EXPECT_EQ(wire::hex(""), "");
}

TEST(WireTextTest, StatusTextsAreTheDialogsInUtf8)
{
    EXPECT_EQ(wire::statusLine(1), "Connecting... Please wait.");
    EXPECT_EQ(wire::statusLine(7), "Ready");
    EXPECT_EQ(wire::statusLine(9), "Connection closed");
    EXPECT_EQ(wire::statusLine(10), "status 10");
    EXPECT_EQ(wire::utf8(u"\u00b0 \u20ac \U0001F52D"), "\xc2\xb0 \xe2\x82\xac \xf0\x9f\x94\xad");
    const char16_t loneSurrogate[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(wire::utf8(loneSurrogate), "a\xef\xbf\xbd" "b");
}

TEST(PulseBoundTest, RunsFromOneTickShortOfTheTicksToTheAllowanceOverTheRequest)
{
    const PulseBound whole = PulseBound::forPulse(500, 5, 50, 0);
    EXPECT_EQ(whole.lowerMs, 400 - PulseBound::kMeasurementJitterMs);
    EXPECT_EQ(whole.upperMs, 550);
    EXPECT_TRUE(whole.holds(400));
    EXPECT_TRUE(whole.holds(550));
    EXPECT_FALSE(whole.holds(300));
    EXPECT_FALSE(whole.holds(551));

    // 250 ms makes two whole ticks, as in the dialog: the lower edge follows the ticks.
    const PulseBound part = PulseBound::forPulse(250, 2, 50, 0);
    EXPECT_EQ(part.lowerMs, 100 - PulseBound::kMeasurementJitterMs);
    EXPECT_EQ(part.upperMs, 300);

    const PulseBound slack = PulseBound::forPulse(500, 5, 50, 100);
    EXPECT_EQ(slack.lowerMs, 300 - PulseBound::kMeasurementJitterMs);
    EXPECT_EQ(slack.upperMs, 650);
}

TEST(PulseBoundTest, DirectionsAreTakenByNameOrInitialInAnyCase)
{
    Direction direction = Direction::North;
    ASSERT_TRUE(directionNamed("West", direction));
    EXPECT_EQ(direction, Direction::West);
    ASSERT_TRUE(directionNamed("s", direction));
    EXPECT_EQ(direction, Direction::South);
    ASSERT_TRUE(directionNamed("EAST", direction));
    EXPECT_EQ(direction, Direction::East);
    EXPECT_FALSE(directionNamed("up", direction));
    EXPECT_FALSE(directionNamed("", direction));
    EXPECT_STREQ(directionName(Direction::North), "north");
}

TEST(SerialDevicesTest, NamesSortWithTheirNumbersAsNumbers)
{
    std::vector<std::string> names{"COM10", "COM2", "COM1", "/dev/ttyS10", "/dev/ttyS9", "/dev/ttyACM0"};
    std::sort(names.begin(), names.end(), devices::naturalLess);
    EXPECT_EQ(names, (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyS9", "/dev/ttyS10", "COM1", "COM2", "COM10"}));
    EXPECT_EQ(devices::splitList("a::b:", ':'), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(devices::splitList("", ';').empty());
}

#ifdef _WIN32
TEST(SerialDevicesTest, PortsAreComPortsOneTo255)
{
    devices::PortChoice port;
    std::string error;
    ASSERT_TRUE(devices::choosePort("com7", 1, port, error));
    EXPECT_EQ(port.number, 7);
    EXPECT_EQ(port.device, "COM7");
    ASSERT_TRUE(devices::choosePort("\\\\.\\COM255", 1, port, error));
    EXPECT_EQ(port.number, 255);
    EXPECT_FALSE(devices::choosePort("COM256", 1, port, error));
    EXPECT_FALSE(devices::choosePort("COM0", 1, port, error));
    EXPECT_FALSE(devices::choosePort("/dev/ttyUSB0", 1, port, error));
    EXPECT_NE(error, "");
}
#else
TEST(SerialDevicesTest, PortsArePathsOrNamesUnderDev)
{
    devices::PortChoice port;
    std::string error;
    ASSERT_TRUE(devices::choosePort("/dev/serial/by-id/usb-FTDI-if00-port0", 1, port, error));
    EXPECT_EQ(port.device, "/dev/serial/by-id/usb-FTDI-if00-port0");
    EXPECT_EQ(port.number, 1);
    ASSERT_TRUE(devices::choosePort("ttyUSB0", 3, port, error));
    EXPECT_EQ(port.device, "/dev/ttyUSB0");
    EXPECT_EQ(port.number, 3);
    EXPECT_FALSE(devices::choosePort("", 1, port, error));
    EXPECT_FALSE(devices::choosePort("COM3", 1, port, error));
    EXPECT_NE(error.find("Windows name"), std::string::npos) << error;
}

TEST(SerialDevicesTest, AdviceSaysWhatToDoForEachWayAPortFails)
{
    using Problem = devices::OpenProblem;
    const std::string permission = devices::explain({Problem::PermissionDenied, "dialout"}, "/dev/ttyUSB0");
    EXPECT_NE(permission.find("group 'dialout'"), std::string::npos) << permission;
    EXPECT_NE(permission.find("usermod -aG dialout"), std::string::npos) << permission;
    EXPECT_NE(permission.find("'uucp' on Arch"), std::string::npos) << permission;
    EXPECT_NE(devices::explain({Problem::Busy, ""}, "/dev/ttyUSB0").find("fuser -v /dev/ttyUSB0"), std::string::npos);
    EXPECT_NE(devices::explain({Problem::Missing, ""}, "/dev/ttyUSB0").find("guide-link ports"), std::string::npos);
    EXPECT_STREQ(devices::problemName(Problem::PermissionDenied), "permission-denied");
}

TEST(SerialDevicesTest, FileThatIsNoTerminalIsToldApartFromAMissingOne)
{
    EXPECT_EQ(devices::diagnoseOpenFailure("/dev/null").kind, devices::OpenProblem::NotSerial);
    EXPECT_EQ(devices::diagnoseOpenFailure("/dev/no-such-serial-device").kind, devices::OpenProblem::Missing);
}
#endif

}  // namespace
