// Device facts from a sysfs tree the test builds, and the cache that keeps them per port.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "ports/engine/port_facts_cache.h"
#include "ports/linux/port_facts_sysfs.h"
#include "ports/model/port_facts_text.h"
#include "ports/linux/sysfs_port_source.h"
#include "tests/common/port_facts_fields.h"
#include "tests/native/fake_sysfs.h"

namespace {

namespace fs = std::filesystem;

const FactFields kFtdi = {"FT232R USB UART", "FTDI", "usb:v0403p6001", "0403",     "6001",
                          "A1B2C3",          "usb",  "1-1.2:1.0",      "ftdi_sio", "00"};
// No description: the driver, already the device's name, is not repeated.
const FactFields kPnpUart = {"", "", "PNP0501", "", "", "", "acpi", "00:01", "serial", ""};

// An FTDI adapter behind a hub (hub and root hub have idVendor too); a board UART as kernels
// since 6.5 show it, with a port and a controller on "serial-base" below the hardware; the
// placeholder of an absent UART; a virtual console.
class FakeDevices : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_root.empty());
        m_ftdi = "devices/usb1/1-1/1-1.2/";
        const std::string uart = "devices/pnp0/00:01/";
        const std::pair<std::string, std::string> tree[] = {
            {"devices/usb1/idVendor", "1d6b"},
            {"devices/usb1/1-1/idVendor", "05e3"},
            {m_ftdi + "idVendor", "0403"},
            {m_ftdi + "idProduct", "6001"},
            {m_ftdi + "manufacturer", "FTDI"},
            {m_ftdi + "product", "FT232R USB UART"},
            {m_ftdi + "serial", "A1B2C3"},
            {m_ftdi + "1-1.2:1.0/interface", "FT232R USB UART"},
            {m_ftdi + "1-1.2:1.0/modalias", "usb:v0403p6001"},
            {m_ftdi + "1-1.2:1.0/bInterfaceNumber", "00"},
            {m_ftdi + "1-1.2:1.0/ttyUSB0/driver", "@bus/usb-serial/drivers/ftdi_sio"},
            {"class/tty/ttyUSB0/device", "@" + m_ftdi + "1-1.2:1.0/ttyUSB0"},
            {uart + "id", "PNP0501"},
            {uart + "subsystem", "@bus/pnp"},
            {uart + "driver", "@bus/pnp/drivers/serial"},
            {uart + "00:01:0/subsystem", "@bus/serial-base"},
            {uart + "00:01:0/00:01:0.0/subsystem", "@bus/serial-base"},
            {uart + "00:01:0/00:01:0.0/driver", "@bus/serial-base/drivers/port"},
            {"class/tty/ttyS0/device", "@" + uart + "00:01:0/00:01:0.0"},
            {"class/tty/ttyS0/type", "4"},
            {"class/tty/ttyS1/device", "@devices/platform/serial8250"},
            {"class/tty/ttyS1/type", "0"},
            {"class/tty/tty0/dev", "4:0"},
            {"dev/ttyUSB0", ""},
            {"dev/ttyS0", ""}};
        for (const auto& [path, content] : tree) Put(path, content);
    }

    // A file with this content, or, for "@target", a link to that place in the tree.
    void Put(const std::string& path, const std::string& content) {
        const fs::path file = m_root + "/" + path;
        fs::create_directories(file.parent_path());
        if (content.rfind('@', 0) == 0) {
            fs::create_directories(m_root + "/" + content.substr(1));
            fs::create_directory_symlink(m_root + "/" + content.substr(1), file);
        } else {
            std::ofstream(file) << content << "\n";
        }
    }
    std::string Node(const std::string& tty) const { return m_root + "/dev/" + tty; }
    PortFactsCache Cache(const std::string& ttyClassDir = "/class/tty") const {
        const std::string root = m_root;
        return PortFactsCache(
            [root, ttyClassDir] { return ReadPortFacts(root + ttyClassDir, root + "/dev"); });
    }
    // The rows the Linux port list gives for this tree: ttyS0, ttyUSB0.
    PortRows SurveyedRows() const {
        SysfsPortSource source(m_root + "/class/tty", m_root + "/by-id", m_root + "/dev");
        return ReadPortRows(source).value();
    }

    const TempDir m_dir;
    const std::string m_root = m_dir.Path();
    std::string m_ftdi;
};

TEST_F(FakeDevices, UsbAdapterAndBoardUartAreDescribedByTheirHardware) {
    PortFactsByPort facts = ReadPortFacts(m_root + "/class/tty", m_root + "/dev").value();
    EXPECT_EQ(facts.size(), 2u) << "neither the placeholder nor the console";
    EXPECT_EQ(FieldsOf(facts[Node("ttyUSB0")]), kFtdi);
    EXPECT_EQ(FieldsOf(facts[Node("ttyS0")]), kPnpUart);

    // One function of a composite device is named by its interface too.
    Put(m_ftdi + "1-1.2:1.0/interface", "Console  ");
    facts = ReadPortFacts(m_root + "/class/tty", m_root + "/dev").value();
    EXPECT_EQ(facts[Node("ttyUSB0")].description, "FT232R USB UART - Console");
    // Descriptor strings are UTF-8, kept byte for byte.
    Put(m_ftdi + "1-1.2:1.0/interface", "\xC2\xB5Link\xC2\xAE");
    facts = ReadPortFacts(m_root + "/class/tty", m_root + "/dev").value();
    EXPECT_EQ(facts[Node("ttyUSB0")].description, "FT232R USB UART - \xC2\xB5Link\xC2\xAE");
    EXPECT_FALSE(ReadPortFacts(m_root + "/nothing", m_root + "/dev").has_value());

    // The port list names the board UART by its hardware's driver, not by serial-base's.
    EXPECT_EQ(SurveyedRows()[0].device, "serial");
}

TEST_F(FakeDevices, CacheWalksOnlyForPortsNotSeenAndAfterForget) {
    PortFactsCache cache = Cache();
    PortRows rows = SurveyedRows();
    cache.Fill(rows);
    cache.Fill(rows);
    EXPECT_EQ(cache.Walks(), 1);
    EXPECT_EQ(FieldsOf(rows[0].facts), kPnpUart);
    EXPECT_EQ(FieldsOf(rows[1].facts), kFtdi);

    // Kept while the ports stay, though the tree changed; a port never seen walks again, and
    // one without a device is remembered as such.
    Put(m_ftdi + "product", "Replaced");
    cache.Fill(rows);
    EXPECT_EQ(rows[1].facts.description, kFtdi[0]);
    rows.push_back(PortRow{"gone", Node("ttyS9")});
    cache.Fill(rows);
    cache.Fill(rows);
    EXPECT_EQ(cache.Walks(), 2);
    EXPECT_EQ(rows[1].facts.description, "Replaced - FT232R USB UART");
    EXPECT_EQ(FieldsOf(rows[2].facts), kNoFacts);
    cache.Forget();
    cache.Fill(rows);
    EXPECT_EQ(cache.Walks(), 3);

    // A device list that cannot be read gives no facts and is tried again.
    PortFactsCache unreadable = Cache("/nothing");
    unreadable.Fill(rows);
    unreadable.Fill(rows);
    EXPECT_TRUE(unreadable.LastWalkFailed());
    EXPECT_EQ(unreadable.Walks(), 2);
    EXPECT_EQ(FieldsOf(rows[1].facts), kNoFacts);
}

// udev makes its links after the kernel's event that had the facts read: the links are read at
// every survey, not kept with the facts.
TEST_F(FakeDevices, LastingNamesAreReadAfreshWhileFactsAreKept) {
    PortFactsCache cache = Cache();
    PortRows rows = SurveyedRows();
    cache.Fill(rows);
    const std::string link = m_root + "/dev/serial/by-id/usb-FTDI_A1B2C3-if00-port0";
    fs::create_directories(m_root + "/dev/serial/by-id");
    fs::create_symlink(Node("ttyUSB0"), link);
    cache.Fill(rows);
    EXPECT_EQ(rows[1].facts.byId, "") << "the cache keeps what it read";
    FillLastingNames(rows, m_root + "/dev");
    EXPECT_EQ(rows[1].facts.byId, link);
    EXPECT_EQ(rows[0].facts.byId, "");
    EXPECT_EQ(cache.Walks(), 1);
}

TEST_F(FakeDevices, FactsFollowThePortNotTheRow) {
    PortFactsCache cache = Cache();
    PortRows rows = SurveyedRows();
    rows.push_back(PortRow{"gone", Node("ttyS9")});
    cache.Fill(rows);
    // Each row keeps its place, holding the last survey's facts, while its port changes.
    rows[0].port = Node("ttyS9");
    rows[1].port = Node("ttyS0");
    rows[2].port = Node("ttyUSB0");
    cache.Fill(rows);
    EXPECT_EQ(FieldsOf(rows[0].facts), kNoFacts);
    EXPECT_EQ(FieldsOf(rows[1].facts), kPnpUart);
    EXPECT_EQ(FieldsOf(rows[2].facts), kFtdi);
    EXPECT_EQ(cache.Walks(), 1);
}

}  // namespace

namespace {

TEST(PortFactsText, OnlyTheKnownFactsEachOnItsLine) {
    PortFacts facts;
    EXPECT_EQ(DescribePortFacts(facts), "");
    facts.description = "not shown: the list has its own column";
    facts.bus = "acpi";
    EXPECT_EQ(DescribePortFacts(facts), "Bus: ACPI");
    facts = FtdiAdapterFacts();
    EXPECT_EQ(DescribePortFacts(facts),
              "Manufacturer: FTDI\n"
              "Hardware ID: USB\\VID_0403&PID_6001 (vendor 0403, product 6001)\n"
              "Serial number: A1B2C3\n"
              "Bus: USB\n"
              "Location: 1-1.2:1.0");
    facts.hardwareId.clear();
    EXPECT_NE(DescribePortFacts(facts).find("Hardware ID: vendor 0403, product 6001\n"),
              std::string::npos);
    // Half a pair of ids says nothing.
    facts.pid.clear();
    EXPECT_EQ(DescribePortFacts(facts).find("Hardware ID"), std::string::npos);
}

}  // namespace
