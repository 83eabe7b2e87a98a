// Device facts from device nodes made with SetupAPI in this run's Wine prefix, found through
// the Ports setup class and through the COM port interface.
#include <gtest/gtest.h>

#include <string>

#include "ports/engine/port_facts_cache.h"
#include "ports/win32/port_facts_win32.h"
#include "tests/common/port_facts_fields.h"
#include "tests/win32/port_device_node.h"

namespace {

// The Bluetooth setup class: its serial links carry the COM port interface.
constexpr GUID kBluetoothClass = {
    0xe0cbf06c, 0xcd8b, 0x4647, {0xbb, 0x8a, 0x26, 0x3b, 0x43, 0xf0, 0xf9, 0x74}};

PortDeviceFields FtdiAdapter(const std::string& port) {
    PortDeviceFields fields{"USB\\VID_0403&PID_6001\\A1B2C3",
                            port,
                            "USB Serial Port (" + port + ")",
                            "USB Serial Port",
                            "FTDI",
                            "Port_#0002.Hub_#0001",
                            "FTSER2K"};
    fields.hardwareIds =
        std::string("USB\\VID_0403&PID_6001&REV_0600") + '\0' + "USB\\VID_0403" + '\0';
    return fields;
}

PortRows Filled(PortFactsCache& cache, std::initializer_list<const char*> ports) {
    PortRows rows;
    for (const char* port : ports) rows.push_back(PortRow{"\\Device\\Serial", port});
    cache.Fill(rows);
    return rows;
}

TEST(PortFacts, NodesOfThePortsClassAndOfTheComPortInterfaceAreDescribed) {
    const PortDeviceNode ftdi(FtdiAdapter("COM7"));
    // One function of a composite device: a made-up instance id, no friendly name.
    const PortDeviceNode composite({"USB\\VID_067B&PID_2303&MI_01\\6&2A3B4C5D&0&0001", "COM8", "",
                                    "Prolific USB-to-Serial Comm Port", "Prolific"});
    // A Bluetooth link is a port through its interface; its class alone does not make one.
    PortDeviceFields link{
        "BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\7&1A2B&0&"
        "001122334455_C00000000",
        "COM10", "Standard Serial over Bluetooth link (COM10)"};
    link.setupClass = kBluetoothClass;
    link.comPortInterface = true;
    const PortDeviceNode bluetooth(link);
    const PortDeviceNode notAPort(
        {"BTHENUM\\OTHER\\1", "COM11", "", "", "", "", "", "", kBluetoothClass});
    // FTDI's own enumerator: the serial number, then the channel's letter.
    const PortDeviceNode ftdiBus(
        {"FTDIBUS\\VID_0403+PID_6010+FT4XYZB\\0000", "COM13", "", "USB Serial Port", "FTDI"});
    for (const PortDeviceNode* node : {&ftdi, &composite, &bluetooth, &notAPort, &ftdiBus}) {
        ASSERT_EQ(node->Error(), 0u);
    }

    PortFactsCache cache(ReadPortFacts);
    const PortRows rows = Filled(cache, {"COM7", "com8", "COM9", "COM10", "COM11", "COM13"});
    EXPECT_FALSE(cache.LastWalkFailed());
    EXPECT_EQ(FieldsOf(rows[0].facts),
              (FactFields{"USB Serial Port (COM7)", "FTDI", "USB\\VID_0403&PID_6001&REV_0600",
                          "0403", "6001", "A1B2C3", "usb", "Port_#0002.Hub_#0001", "FTSER2K", ""}));
    EXPECT_EQ(FieldsOf(rows[1].facts), (FactFields{"Prolific USB-to-Serial Comm Port", "Prolific",
                                                   "", "067b", "2303", "", "usb", "", "", "01"}));
    EXPECT_EQ(FieldsOf(rows[2].facts), kNoFacts);
    EXPECT_EQ(FieldsOf(rows[3].facts), (FactFields{"Standard Serial over Bluetooth link (COM10)",
                                                   "", "", "", "", "", "bluetooth", "", "", ""}));
    EXPECT_EQ(FieldsOf(rows[4].facts), kNoFacts);
    EXPECT_EQ(FieldsOf(rows[5].facts), (FactFields{"USB Serial Port", "FTDI", "", "0403", "6010",
                                                   "FT4XYZ", "usb", "", "", "01"}));
}

TEST(PortFacts, CacheKeepsWhatItReadUntilToldDevicesChanged) {
    PortFactsCache cache(ReadPortFacts);
    {
        const PortDeviceNode first(FtdiAdapter("COM12"));
        ASSERT_EQ(first.Error(), 0u);
        Filled(cache, {"COM12"});
    }
    PortDeviceFields replacement = FtdiAdapter("COM12");
    replacement.instanceId = "USB\\VID_0403&PID_6015\\D4E5F6";
    const PortDeviceNode second(replacement);
    ASSERT_EQ(second.Error(), 0u);
    EXPECT_EQ(Filled(cache, {"COM12"})[0].facts.serial, "A1B2C3");
    EXPECT_EQ(cache.Walks(), 1);
    cache.Forget();
    EXPECT_EQ(Filled(cache, {"COM12"})[0].facts.serial, "D4E5F6");
    EXPECT_EQ(cache.Walks(), 2);
}

}  // namespace
