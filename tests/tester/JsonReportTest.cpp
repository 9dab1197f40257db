// The JSON lines scripts and the web page read: every field its own key.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "tester/JsonReport.h"

namespace {

TEST(JsonReportTest, PortGivesEveryFieldItsOwnKey)
{
    devices::Entry entry = devices::plainEntry("/dev/ttyUSB0", "USB serial adapter", true);
    entry.stableName = "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0";
    entry.maker = "QinHeng Electronics";
    entry.product = "USB Serial";
    entry.serialNumber = "A12345";
    entry.usbId = "1a86:7523";
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    JsonReport(out).port(entry);
    std::rewind(out);
    char line[2048] = {};
    ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
    std::fclose(out);
    const nlohmann::json port = nlohmann::json::parse(line);
    EXPECT_EQ(port["event"], "port");
    EXPECT_EQ(port["stable_name"], entry.stableName);
    EXPECT_EQ(port["maker"], entry.maker);
    EXPECT_EQ(port["product"], entry.product);
    EXPECT_EQ(port["serial_number"], entry.serialNumber);
    EXPECT_EQ(port["usb_id"], entry.usbId);
    EXPECT_EQ(port["accessible"], true);
}

}  // namespace
