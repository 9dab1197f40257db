// guide-link ports on a machine of the test's own making: a /dev and a /sys with two FTDI
// adapters and a CH340, laid out as the kernel and udev lay them out, so each adapter is listed
// under the name its owner knows it by.
#include "platform/serial_devices.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>


namespace fs = std::filesystem;

namespace {

struct Adapter {
    std::string tty;
    std::string usbPort;  // where it is plugged in: 1-1
    std::string vendor;
    std::string productId;
    std::string maker;
    std::string product;
    std::string serial;
    std::string byId;
};

const std::vector<Adapter> kAdapters = {
    {"ttyUSB0", "1-1", "0403", "6001", "FTDI", "FT232R USB UART", "A10K1ABC",
     "usb-FTDI_FT232R_USB_UART_A10K1ABC-if00-port0"},
    {"ttyUSB1", "1-2", "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI",
     "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"},
    {"ttyUSB2", "1-3", "1a86", "7523", "QinHeng Electronics", "USB Serial", "5735019874",
     "usb-QinHeng_Electronics_USB_Serial_5735019874-if00-port0"},
};

void write(const fs::path& file, const std::string& text)
{
    std::ofstream(file) << text << "\n";
}

class FakeMachine : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("guide-link-devices-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "dev/serial/by-id");
        fs::create_directories(root / "sys/class/tty");
        root = fs::canonical(root);
        roots.dev = (root / "dev").string();
        roots.sys = (root / "sys").string();
        for (const Adapter& adapter : kAdapters) add(adapter);
        // A built-in port with no UART behind it, which is no serial port to offer.
        write(root / "dev/ttyS3", "");
        fs::create_directories(root / "sys/class/tty/ttyS3");
        write(root / "sys/class/tty/ttyS3/type", "0");
    }

    void TearDown() override { fs::remove_all(root); }

    // The USB device's directory carries its descriptors; the tty sits below its interface.
    void add(const Adapter& a)
    {
        const fs::path usb = root / "sys/devices/pci0000:00/0000:00:14.0/usb1" / a.usbPort;
        const fs::path tty = usb / (a.usbPort + ":1.0") / a.tty;
        fs::create_directories(tty);
        write(usb / "idVendor", a.vendor);
        write(usb / "idProduct", a.productId);
        write(usb / "manufacturer", a.maker);
        write(usb / "product", a.product);
        write(usb / "serial", a.serial);
        fs::create_directories(root / "sys/class/tty" / a.tty);
        fs::create_directory_symlink(tty, root / "sys/class/tty" / a.tty / "device");
        write(root / "dev" / a.tty, "");
        fs::create_symlink("../../" + a.tty, root / "dev/serial/by-id" / a.byId);
    }

    fs::path root;
    devices::DeviceRoots roots;
};

TEST_F(FakeMachine, EachAdapterIsListedWithItsStableNameMakerAndSerialNumber)
{
    const std::vector<devices::Entry> entries = devices::list({}, roots);
    ASSERT_EQ(entries.size(), kAdapters.size());
    for (size_t i = 0; i < kAdapters.size(); ++i) {
        const Adapter& a = kAdapters[i];
        const devices::Entry& entry = entries[i];
        SCOPED_TRACE(a.tty);
        EXPECT_EQ(entry.device, (root / "dev" / a.tty).string());
        EXPECT_EQ(entry.stableName, (root / "dev/serial/by-id" / a.byId).string());
        EXPECT_EQ(entry.maker, a.maker);
        EXPECT_EQ(entry.product, a.product);
        EXPECT_EQ(entry.serialNumber, a.serial);
        EXPECT_EQ(entry.usbId, a.vendor + ":" + a.productId);
    }
}

}  // namespace
