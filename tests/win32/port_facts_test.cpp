// Device facts from device nodes made with SetupAPI in this run's Wine prefix, found through
// the Ports setup class and through the COM port interface.
#include <gtest/gtest.h>

#include <string>

#include "ports/port_facts_cache.h"
#include "tests/common/port_facts_fields.h"
#include "tests/win32/port_device_node.h"

namespace {

// The Bluetooth setup class: its serial links carry the COM port interface.
constexpr GUID kBluetoothClass = {
    0xe0cbf06c, 0xcd8b, 0x4647, {0xbb, 0x8a, 0x26, 0x3b, 0x43, 0xf0, 0xf9, 0x74}};

PortRows RowsFor(std::initializer_list<const char*> ports) {
    PortRows rows;
    for (const char* port : ports) rows.push_back(PortRow{"\\Device\\Serial", port});
    return rows;
}

PortDeviceSpec FtdiAdapter(const std::string& port) {
    PortDeviceSpec spec;
    spec.instanceId = "USB\\VID_0403&PID_6001\\A1B2C3";
    spec.port = port;
    spec.friendlyName = "USB Serial Port (" + port + ")";
    spec.deviceDescription = "USB Serial Port";
    spec.hardwareIds =
        std::string("USB\\VID_0403&PID_6001&REV_0600") + '\0' + "USB\\VID_0403&PID_6001" + '\0';
    spec.manufacturer = "FTDI";
    spec.location = "Port_#0002.Hub_#0001";
    spec.service = "FTSER2K";
    return spec;
}

TEST(PortFacts, PortsClassNodesGiveTheirNamesAndUsbIdentity) {
    const PortDeviceNode ftdi(FtdiAdapter("COM7"));
    ASSERT_EQ(ftdi.Failure(), "");
    // One interface of a composite device: a made-up instance id, no friendly name.
    PortDeviceSpec prolific;
    prolific.instanceId = "USB\\VID_067B&PID_2303&MI_01\\6&2A3B4C5D&0&0001";
    prolific.port = "COM8";
    prolific.deviceDescription = "Prolific USB-to-Serial Comm Port";
    prolific.manufacturer = "Prolific";
    const PortDeviceNode composite(prolific);
    ASSERT_EQ(composite.Failure(), "");

    PortFactsCache cache;
    PortRows rows = RowsFor({"COM7", "com8", "COM9"});
    cache.Fill(rows);
    EXPECT_FALSE(cache.LastWalkFailed());
    EXPECT_EQ(FieldsOf(rows[0].facts),
              (FactFields{"USB Serial Port (COM7)", "FTDI", "USB\\VID_0403&PID_6001&REV_0600",
                          "0403", "6001", "A1B2C3", "USB", "Port_#0002.Hub_#0001", "FTSER2K"}));
    EXPECT_EQ(FieldsOf(rows[1].facts), (FactFields{"Prolific USB-to-Serial Comm Port", "Prolific",
                                                   "", "067b", "2303", "", "USB", "", ""}));
    EXPECT_EQ(FieldsOf(rows[2].facts), kNoFacts);
}

TEST(PortFacts, ComPortInterfaceFindsPortsOutsideThePortsClass) {
    PortDeviceSpec link;
    link.instanceId =
        "BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\7&1A2B3C4D&0&"
        "001122334455_C00000000";
    link.port = "COM10";
    link.friendlyName = "Standard Serial over Bluetooth link (COM10)";
    link.setupClass = kBluetoothClass;
    link.comPortInterface = true;
    const PortDeviceNode bluetooth(link);
    ASSERT_EQ(bluetooth.Failure(), "");
    // The same class without the interface is no serial port of ours.
    link.instanceId = "BTHENUM\\OTHER\\1";
    link.port = "COM11";
    link.comPortInterface = false;
    const PortDeviceNode other(link);
    ASSERT_EQ(other.Failure(), "");

    PortFactsCache cache;
    PortRows rows = RowsFor({"COM10", "COM11"});
    cache.Fill(rows);
    EXPECT_EQ(FieldsOf(rows[0].facts), (FactFields{"Standard Serial over Bluetooth link (COM10)",
                                                   "", "", "", "", "", "BTHENUM", "", ""}));
    EXPECT_EQ(FieldsOf(rows[1].facts), kNoFacts);
}

TEST(PortFacts, CacheKeepsWhatItReadUntilToldDevicesChanged) {
    PortFactsCache cache;
    PortRows rows = RowsFor({"COM12"});
    {
        const PortDeviceNode first(FtdiAdapter("COM12"));
        ASSERT_EQ(first.Failure(), "");
        cache.Fill(rows);
    }
    PortDeviceSpec replacement = FtdiAdapter("COM12");
    replacement.instanceId = "USB\\VID_0403&PID_6015\\D4E5F6";
    replacement.friendlyName = "USB Serial Device (COM12)";
    const PortDeviceNode second(replacement);
    ASSERT_EQ(second.Failure(), "");
    cache.Fill(rows);
    EXPECT_EQ(rows[0].facts.description, "USB Serial Port (COM12)");
    EXPECT_EQ(cache.Walks(), 1);

    cache.Forget();
    cache.Fill(rows);
    EXPECT_EQ(rows[0].facts.description, "USB Serial Device (COM12)");
    EXPECT_EQ(rows[0].facts.serial, "D4E5F6");
    EXPECT_EQ(cache.Walks(), 2);
}

}  // namespace
