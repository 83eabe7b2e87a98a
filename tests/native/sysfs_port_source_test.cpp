// The Linux port list, read from a sysfs tree the test builds.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "ports/engine/port_survey.h"
#include "ports/linux/sysfs_port_source.h"
#include "tests/native/fake_sysfs.h"

namespace {

class FakeSysfs : public ::testing::Test {
protected:
    // A tty whose node is a file of its own; a UART's type if given.
    void AddTty(const std::string& name, const std::string& driver, int type = -1,
                bool withNode = true) {
        m_tree.AddTty(name, driver, withNode ? m_root + "/devices/" + name : "");
        if (type >= 0) std::ofstream(m_root + "/class/tty/" + name + "/type") << type << "\n";
    }
    void AddById(const std::string& id, const std::string& tty) { m_tree.AddById(id, tty); }
    // Device and port of each row the Linux port list reads from the tree.
    std::vector<std::pair<std::string, std::string>> Read() {
        SysfsPortSource source = m_tree.Source();
        EXPECT_TRUE(source.IsOpen());
        std::vector<std::pair<std::string, std::string>> values;
        const std::optional<PortRows> rows = ReadPortRows(source);
        for (const PortRow& row : rows.value()) {
            values.emplace_back(row.device, row.port);
        }
        return values;
    }

    FakeSysfsTree m_tree;
    const std::string m_root = m_tree.Root();
};

TEST_F(FakeSysfs, ListsRealPortsInNaturalOrderNamedForTheirHardware) {
    AddTty("tty0", "");                // virtual console: no device
    AddTty("ttyS0", "serial8250", 0);  // placeholder for an absent UART
    AddTty("ttyS1", "serial8250", 4);
    AddTty("ttyS3", "serial8250", 1);  // a real 8250
    AddTty("ttyS10", "serial8250", 4);
    AddTty("ttyS2", "serial8250", 4);
    AddTty("ttyUSB0", "ftdi_sio");
    AddById("usb-FTDI_FT232R_A1B2C3-if00-port0", "ttyUSB0");

    const std::vector<std::pair<std::string, std::string>> expected = {
        {"serial8250", m_root + "/dev/ttyS1"},
        {"serial8250", m_root + "/dev/ttyS2"},
        {"serial8250", m_root + "/dev/ttyS3"},
        {"serial8250", m_root + "/dev/ttyS10"},
        {"usb-FTDI_FT232R_A1B2C3-if00-port0", m_root + "/dev/ttyUSB0"}};
    EXPECT_EQ(Read(), expected);
}

TEST_F(FakeSysfs, TtyWithoutNodeIsNamedByItsDriverNotByAStaleLink) {
    // The link outlived the node it named: both lead nowhere, which is no match.
    AddTty("ttyUSB0", "ftdi_sio", -1, false);
    AddById("usb-Gone_Adapter-if00-port0", "ttyUSB0");
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"ftdi_sio", m_root + "/dev/ttyUSB0"}};
    EXPECT_EQ(Read(), expected);
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
