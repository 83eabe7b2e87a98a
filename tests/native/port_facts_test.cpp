// Device facts from a sysfs tree the test builds, and the cache that keeps them per port.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "ports/port_facts_cache.h"
#include "ports/sysfs_port_source.h"
#include "tests/common/port_facts_fields.h"

namespace {

const FactFields kFtdi = {"FT232R USB UART",
                          "FTDI",
                          "usb:v0403p6001d0600dc00dsc00dp00icFFiscFFipFFin00",
                          "0403",
                          "6001",
                          "A1B2C3",
                          "USB",
                          "1-1.2:1.0",
                          "ftdi_sio"};
const FactFields kPnpUart = {"serial", "", "PNP0501", "", "", "", "PNP", "00:01", "serial"};

class FakeDevices : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/portlook-facts-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_root = pattern;
        MakeDirs("/class/tty");
        MakeDirs("/dev");

        // An FTDI adapter behind a hub: the root hub and the hub have idVendor too.
        const std::string hub = "/devices/pci0000:00/0000:00:14.0/usb1/1-1";
        Device("/devices/pci0000:00/0000:00:14.0/usb1", "usb", "usb");
        Attr("/devices/pci0000:00/0000:00:14.0/usb1/idVendor", "1d6b");
        Device(hub, "usb", "usb");
        Attr(hub + "/idVendor", "05e3");
        m_ftdi = hub + "/1-1.2";
        Device(m_ftdi, "usb", "usb");
        for (const auto& [name, value] : {std::pair<const char*, const char*>{"idVendor", "0403"},
                                          {"idProduct", "6001"},
                                          {"manufacturer", "FTDI"},
                                          {"product", "FT232R USB UART"},
                                          {"serial", "A1B2C3"}}) {
            Attr(m_ftdi + "/" + name, value);
        }
        Device(m_ftdi + "/1-1.2:1.0", "usb", "ftdi_sio");
        Attr(m_ftdi + "/1-1.2:1.0/interface", "FT232R USB UART");
        Attr(m_ftdi + "/1-1.2:1.0/modalias", kFtdi[2]);
        Device(m_ftdi + "/1-1.2:1.0/ttyUSB0", "usb-serial", "ftdi_sio");
        Tty("ttyUSB0", m_ftdi + "/1-1.2:1.0/ttyUSB0");

        // A board UART as kernels since 6.5 show it: port and controller on serial-base.
        Device("/devices/pnp0/00:01", "pnp", "serial");
        Attr("/devices/pnp0/00:01/id", "PNP0501");
        Device("/devices/pnp0/00:01/00:01:0", "serial-base", "ctrl");
        Device("/devices/pnp0/00:01/00:01:0/00:01:0.0", "serial-base", "port");
        Tty("ttyS0", "/devices/pnp0/00:01/00:01:0/00:01:0.0", 4);
        // The placeholder of an absent UART and a virtual console.
        Device("/devices/platform/serial8250", "platform", "serial8250");
        Tty("ttyS1", "/devices/platform/serial8250", 0);
        MakeDirs("/class/tty/tty0");
    }
    void TearDown() override { std::system(("rm -rf '" + m_root + "'").c_str()); }

    void MakeDirs(const std::string& path) {
        std::string built = m_root;
        for (size_t start = 1; start <= path.size();) {
            const size_t end = std::min(path.find('/', start), path.size());
            built += path.substr(start - 1, end - start + 1);
            ::mkdir(built.c_str(), 0755);
            start = end + 1;
        }
    }
    void Attr(const std::string& path, const std::string& value) {
        std::ofstream(m_root + path) << value << "\n";
    }
    void Link(const std::string& target, const std::string& link) {
        ASSERT_EQ(::symlink((m_root + target).c_str(), (m_root + link).c_str()), 0) << link;
    }
    // A device directory with its bus and driver links, as the kernel gives every device.
    void Device(const std::string& path, const std::string& bus, const std::string& driver) {
        MakeDirs(path);
        MakeDirs("/bus/" + bus + "/drivers/" + driver);
        Link("/bus/" + bus, path + "/subsystem");
        Link("/bus/" + bus + "/drivers/" + driver, path + "/driver");
    }
    void Tty(const std::string& name, const std::string& device, int type = -1) {
        MakeDirs("/class/tty/" + name);
        Link(device, "/class/tty/" + name + "/device");
        if (type >= 0) Attr("/class/tty/" + name + "/type", std::to_string(type));
        std::ofstream(m_root + "/dev/" + name) << "";
    }
    std::string Node(const std::string& tty) const { return m_root + "/dev/" + tty; }
    PortFactsByPort Read() const {
        return ReadPortFacts(m_root + "/class/tty", m_root + "/dev").value();
    }
    PortFactsCache Cache() const { return PortFactsCache(m_root + "/class/tty", m_root + "/dev"); }
    // The rows the Linux port list gives for this tree.
    PortRows SurveyedRows() const {
        SysfsPortSource source(m_root + "/class/tty", m_root + "/nothing", m_root + "/dev");
        return ReadPortRows(source).value();
    }

    std::string m_root;
    std::string m_ftdi;
};

TEST_F(FakeDevices, UsbAdapterIsDescribedByTheNearestUsbDeviceAndItsInterface) {
    PortFactsByPort facts = Read();
    EXPECT_EQ(FieldsOf(facts[Node("ttyUSB0")]), kFtdi);

    // A composite device's interface names its function; without a serial there is none.
    const std::string pico = "/devices/pci0000:00/0000:00:14.0/usb1/1-3";
    Device(pico, "usb", "usb");
    Attr(pico + "/idVendor", "2e8a");
    Attr(pico + "/idProduct", "000a");
    Attr(pico + "/product", "Pico");
    Device(pico + "/1-3:1.0", "usb", "cdc_acm");
    Attr(pico + "/1-3:1.0/interface", "Board CDC  ");
    Tty("ttyACM0", pico + "/1-3:1.0");
    facts = Read();
    EXPECT_EQ(
        FieldsOf(facts[Node("ttyACM0")]),
        (FactFields{"Pico - Board CDC", "", "", "2e8a", "000a", "", "USB", "1-3:1.0", "cdc_acm"}));
}

TEST_F(FakeDevices, BoardUartIsDescribedByTheDeviceAboveTheSerialCore) {
    // An older kernel's UART hangs from its platform device directly.
    Device("/devices/platform/serial8250.1", "platform", "serial8250");
    Attr("/devices/platform/serial8250.1/modalias", "platform:serial8250");
    Tty("ttyS2", "/devices/platform/serial8250.1", 4);

    PortFactsByPort facts = Read();
    EXPECT_EQ(FieldsOf(facts[Node("ttyS0")]), kPnpUart);
    EXPECT_EQ(FieldsOf(facts[Node("ttyS2")]),
              (FactFields{"serial8250", "", "platform:serial8250", "", "", "", "PLATFORM",
                          "serial8250.1", "serial8250"}));
    EXPECT_EQ(facts.count(Node("ttyS1")), 0u) << "placeholder";
    EXPECT_EQ(facts.count(Node("tty0")), 0u) << "virtual console";
    EXPECT_FALSE(ReadPortFacts(m_root + "/nothing", m_root + "/dev").has_value());
}

TEST_F(FakeDevices, CacheWalksOnlyForPortsNotSeenAndAfterForget) {
    PortFactsCache cache = Cache();
    PortRows rows = SurveyedRows();
    ASSERT_EQ(rows.size(), 2u);
    cache.Fill(rows);
    EXPECT_EQ(cache.Walks(), 1);
    EXPECT_EQ(FieldsOf(rows[0].facts), kPnpUart);
    EXPECT_EQ(FieldsOf(rows[1].facts), kFtdi);

    // Unchanged ports are answered from what was kept, even though the tree changed.
    Attr(m_ftdi + "/product", "Replaced");
    rows = SurveyedRows();
    cache.Fill(rows);
    cache.Fill(rows);
    EXPECT_EQ(cache.Walks(), 1);
    EXPECT_EQ(rows[1].facts.description, "FT232R USB UART");

    // A port never seen walks again; one without a device is then remembered as such.
    rows.push_back(PortRow{"gone", Node("ttyS9")});
    cache.Fill(rows);
    EXPECT_EQ(cache.Walks(), 2);
    EXPECT_EQ(rows[1].facts.description, "Replaced - FT232R USB UART");
    EXPECT_EQ(FieldsOf(rows[2].facts), kNoFacts);
    cache.Fill(rows);
    EXPECT_EQ(cache.Walks(), 2);

    cache.Forget();
    cache.Fill(rows);
    EXPECT_EQ(cache.Walks(), 3);
    EXPECT_FALSE(cache.LastWalkFailed());
}

TEST_F(FakeDevices, FactsFollowThePortNotTheRow) {
    PortFactsCache cache = Cache();
    PortRows rows = SurveyedRows();
    cache.Fill(rows);
    std::swap(rows[0].port, rows[1].port);
    rows.push_back(PortRow{"x", Node("ttyS9")});
    cache.Fill(rows);
    rows[2].port = rows[0].port;
    rows[0].port = Node("ttyS9");
    cache.Fill(rows);
    EXPECT_EQ(FieldsOf(rows[0].facts), kNoFacts);
    EXPECT_EQ(FieldsOf(rows[1].facts), kPnpUart);
    EXPECT_EQ(FieldsOf(rows[2].facts), kFtdi);
    EXPECT_EQ(cache.Walks(), 2);  // the first survey, then ttyS9
}

TEST_F(FakeDevices, UnreadableDeviceListGivesEmptyFactsAndIsTriedAgain) {
    PortFactsCache cache(m_root + "/nothing", m_root + "/dev");
    PortRows rows = SurveyedRows();
    rows[1].facts.description = "stale";
    cache.Fill(rows);
    EXPECT_TRUE(cache.LastWalkFailed());
    EXPECT_EQ(FieldsOf(rows[1].facts), kNoFacts);
    cache.Fill(rows);
    EXPECT_EQ(cache.Walks(), 2);
}

}  // namespace
