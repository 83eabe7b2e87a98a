// portlook-cli.exe --all under Wine: the ports of adapters Windows knows that are absent, and
// the COM numbers its COM database reserves for no known device.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/win32/port_device_node.h"
#include "tests/support/serial_comm_key.h"

namespace {

// A line per row, "port device status reason vid serial", "-" for null.
std::string Rows(const std::string& out) {
    std::string rows;
    for (const nlohmann::json& port : nlohmann::json::parse(out, nullptr, false)) {
        for (const char* key : {"port", "device", "status", "reason", "vid", "serial"}) {
            rows += (port[key].is_string() ? port[key].get<std::string>() : "-") + ' ';
        }
        rows.back() = '\n';
    }
    return rows;
}

TEST(CliAll, ListsAbsentAdaptersThenNumbersReservedForNoKnownDevice) {
    SerialCommKey list;
    ASSERT_TRUE(list.SetText("\\Device\\Serial0", "COM21"));
    const PortDeviceNode present({"USB\\VID_067B&PID_2303\\P1", "COM21", "Prolific (COM21)"});
    const PortDeviceNode absent({"USB\\VID_0403&PID_6001\\A1B2C3", "COM7", "USB Serial Port (COM7)",
                                 "USB Serial Port", "FTDI"});
    ASSERT_EQ(present.Error() | absent.Error(), 0u);
    HKEY created = nullptr;
    ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter", 0,
                      nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr);
    const RegKey database(created);

    const std::string present21 = "COM21 \\Device\\Serial0 available - 067b P1\n";
    const std::string absent7 = "COM7 - not found not present 0403 A1B2C3\n";
    const std::string reserved9 = "COM9 - not found reserved - -\n";
    // ComDB: bit n-1 for COMn, empty for none. COM7, COM9 and COM21 in the usual 32 bytes;
    // COM3 and COM9 in two.
    const std::string all = std::string("\x40\x01\x10", 3) + std::string(29, '\0');
    const struct {
        std::string comDb;
        std::vector<std::string> arguments;
        int exitCode;
        std::string rows;
        const char* error;  // a part of it
    } cases[] = {
        {all, {"--all", "--json"}, 0, present21 + absent7 + reserved9, ""},
        {"\x04\x01",
         {"--all", "--json"},
         0,
         present21 + absent7 + "COM3 - not found reserved - -\n" + reserved9,
         ""},
        {"", {"--all", "--json"}, 0, present21 + absent7, ""},
        {all, {"--json"}, 0, present21, ""},
        {all, {"--all", "--json", "--match", "serial=a1b2c3"}, 0, absent7, ""},
        {all, {"--port", "com7", "--json"}, 3, "", "an absent adapter: USB Serial Port (COM7)"},
        {all, {"--port", "COM9", "--all", "--json"}, 3, reserved9, "reserved in the COM database"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments) + ", ComDB of " +
                     std::to_string(c.comDb.size()));
        ::RegDeleteValueA(database.Get(), "ComDB");
        ASSERT_TRUE(c.comDb.empty() ||
                    ::RegSetValueExA(database.Get(), "ComDB", 0, REG_BINARY,
                                     reinterpret_cast<const BYTE*>(c.comDb.data()),
                                     static_cast<DWORD>(c.comDb.size())) == ERROR_SUCCESS);
        const ChildRun run = RunChild(PORTLOOK_CLI_EXE, ChildOptions{c.arguments});
        EXPECT_EQ(run.exitCode, c.exitCode) << run.error;
        EXPECT_EQ(Rows(run.out), c.rows) << run.out;
        EXPECT_NE(run.error.find(c.error), std::string::npos) << run.error;
    }
    ::RegDeleteValueA(database.Get(), "ComDB");
}

}  // namespace
