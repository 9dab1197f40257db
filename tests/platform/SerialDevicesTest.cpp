// How the platform names, orders and chooses serial ports, and the advice for a port that fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/serial_devices.h"

namespace {

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
