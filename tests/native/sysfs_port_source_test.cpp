// The Linux port list, read from a sysfs tree the test builds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "ports/port_list.h"
#include "ports/sysfs_port_source.h"

namespace {

class FakeSysfs : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/portlook-sysfs-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_root = pattern;
        for (const char* dir : {"/class", "/class/tty", "/devices", "/drivers",
                                "/drivers/serial8250", "/drivers/ftdi_sio", "/dev", "/by-id"}) {
            ::mkdir((m_root + dir).c_str(), 0755);
        }
    }
    void TearDown() override { std::system(("rm -rf '" + m_root + "'").c_str()); }

    // A tty; with a device it gets a device link whose driver is `driver`.
    void AddTty(const std::string& name, const std::string& driver, int type = -1) {
        const std::string dir = m_root + "/class/tty/" + name;
        ::mkdir(dir.c_str(), 0755);
        if (!driver.empty()) {
            const std::string device = m_root + "/devices/" + name;
            ::mkdir(device.c_str(), 0755);
            ASSERT_EQ(
                ::symlink((m_root + "/drivers/" + driver).c_str(), (device + "/driver").c_str()),
                0);
            ASSERT_EQ(::symlink(device.c_str(), (dir + "/device").c_str()), 0);
        }
        if (type >= 0) std::ofstream(dir + "/type") << type << "\n";
        std::ofstream(m_root + "/dev/" + name) << "";
    }
    std::vector<std::pair<std::string, std::string>> Read(SysfsPortSource& source) {
        std::vector<std::pair<std::string, std::string>> values;
        for (DWORD index = 0;; ++index) {
            char name[kPortValueCapacity] = {};
            BYTE data[kPortValueCapacity] = {};
            DWORD nameLength = kPortValueCapacity;
            DWORD dataLength = kPortValueCapacity;
            if (!source.ReadValue(index, name, &nameLength, data, &dataLength)) break;
            values.emplace_back(name, reinterpret_cast<const char*>(data));
        }
        return values;
    }

    std::string m_root;
};

TEST_F(FakeSysfs, ListsRealPortsInNaturalOrderNamedForTheirHardware) {
    AddTty("tty0", "");                // virtual console: no device
    AddTty("ttyS0", "serial8250", 0);  // placeholder for an absent UART
    AddTty("ttyS1", "serial8250", 4);
    AddTty("ttyS10", "serial8250", 4);
    AddTty("ttyS2", "serial8250", 4);
    AddTty("ttyUSB0", "ftdi_sio");
    ASSERT_EQ(::symlink((m_root + "/dev/ttyUSB0").c_str(),
                        (m_root + "/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0").c_str()),
              0);

    SysfsPortSource source(m_root + "/class/tty", m_root + "/by-id", m_root + "/dev");
    ASSERT_TRUE(source.IsOpen());
    const auto values = Read(source);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"serial8250", m_root + "/dev/ttyS1"},
        {"serial8250", m_root + "/dev/ttyS2"},
        {"serial8250", m_root + "/dev/ttyS10"},
        {"usb-FTDI_FT232R_A1B2C3-if00-port0", m_root + "/dev/ttyUSB0"}};
    EXPECT_EQ(values, expected);
}

TEST_F(FakeSysfs, MissingTreeCannotBeOpened) {
    SysfsPortSource source(m_root + "/nothing-here", m_root + "/by-id", m_root + "/dev");
    EXPECT_FALSE(source.IsOpen());
}

TEST(NaturalLess, OrdersDigitRunsByValue) {
    EXPECT_TRUE(NaturalLess("ttyS2", "ttyS10"));
    EXPECT_FALSE(NaturalLess("ttyS10", "ttyS2"));
    EXPECT_TRUE(NaturalLess("ttyACM0", "ttyS0"));
    EXPECT_TRUE(NaturalLess("ttyS9", "ttyUSB0"));
    EXPECT_TRUE(NaturalLess("ttyUSB1", "ttyUSB1a"));
    EXPECT_FALSE(NaturalLess("ttyS1", "ttyS1"));
    EXPECT_NE(NaturalLess("ttyS01", "ttyS1"), NaturalLess("ttyS1", "ttyS01"));
    EXPECT_TRUE(NaturalLess("a99999999999999999999", "a100000000000000000000"));
}

}  // namespace
