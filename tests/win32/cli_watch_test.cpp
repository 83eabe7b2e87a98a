// portlook-cli.exe --watch and --wait as processes beside the test, while the test adds a
// port to the run's list, makes it busy and takes it away again.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/win32/port_device_node.h"
#include "tests/win32/port_holder_process.h"
#include "tests/support/serial_comm_key.h"

namespace {

using Json = nlohmann::json;

constexpr std::chrono::milliseconds kWithin(2000);  // two of --interval 1

class CliWatch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GE(m_ports.size(), 3u) << "run through scripts/wine-run";
        ASSERT_TRUE(m_key.IsOpen());
    }
    SerialCommKey m_key;
    const std::vector<std::string> m_ports = AvailablePorts();
};

// The next event, parsed; null when none came in time.
Json NextEvent(ChildProcess& watch) {
    const std::string line = watch.ReadLine(kWithin);
    return line.empty() ? Json() : Json::parse(line, nullptr, false);
}

TEST_F(CliWatch, AddedChangedRemovedEachAsItHappens) {
    const std::string& port = m_ports[2];
    ASSERT_TRUE(m_key.SetText("\\Device\\Serial9", m_ports[1]));
    // Ports without a device have no bus.
    ChildProcess watch(PORTLOOK_CLI_EXE,
                       ChildOptions{{"--watch", "--json", "--interval", "1", "--match", "bus="}});
    ASSERT_TRUE(watch.IsRunning());
    // Wine takes a while to start a program: the port already there shows it is running.
    Json event = Json::parse(watch.ReadLine(std::chrono::seconds(30)), nullptr, false);
    EXPECT_EQ(event["event"], "present");
    EXPECT_EQ(event["port"]["port"], m_ports[1]);
    ASSERT_TRUE(m_key.SetText("\\Device\\Serial0", port));
    event = NextEvent(watch);
    EXPECT_EQ(event["event"], "added");
    EXPECT_EQ(event["port"]["port"], port);
    EXPECT_EQ(event["port"]["status"], "available");
    EXPECT_EQ(event["time"].get<std::string>().size(), 24u) << event;

    {
        const PortHolderProcess holder(port);
        ASSERT_TRUE(holder.Holds());
        const PortMadeBusy busy(port);
        ASSERT_TRUE(busy.Done());
        event = NextEvent(watch);
        EXPECT_EQ(event["event"], "changed");
        EXPECT_EQ(event["port"]["status"], "busy");
        EXPECT_EQ(event["port"]["holders"][0]["pid"], holder.Id()) << event;
    }
    event = NextEvent(watch);
    EXPECT_EQ(event["event"], "changed") << "free again";
    EXPECT_EQ(event["port"]["status"], "available");

    ASSERT_TRUE(m_key.Remove("\\Device\\Serial0"));
    event = NextEvent(watch);
    EXPECT_EQ(event["event"], "removed");
    EXPECT_EQ(event["port"]["port"], port);
    EXPECT_TRUE(watch.IsRunning());
}

TEST_F(CliWatch, WaitEndsOnceThePortIsThereAndFree) {
    const std::string& port = m_ports[2];
    const PortHolderProcess holder(port);
    ASSERT_TRUE(holder.Holds());
    auto busy = std::make_unique<PortMadeBusy>(port);
    ASSERT_TRUE(busy->Done());
    ASSERT_TRUE(m_key.SetText("\\Device\\Serial0", port));

    // Busy until the time is up: status 7 and a line saying what was seen. Three seconds leave
    // the holder lookup room on a loaded machine; at one it was seen to lose the holder.
    const ChildRun timedOut = RunChild(
        PORTLOOK_CLI_EXE, ChildOptions{{"--wait", "--timeout", "3", "--match", "port=" + port}});
    EXPECT_EQ(timedOut.exitCode, 7);
    EXPECT_EQ(timedOut.out, "");
    EXPECT_EQ(timedOut.error,
              "portlook-cli: waited 3 s for an available port with --match port=" + port + "; " +
                  port + " matched but busy, held by portlook_port_holder.exe (PID " +
                  std::to_string(holder.Id()) + ")\n");

    // As a flashing script does: wait for the adapter by its serial number, then open what
    // the wait named.
    ASSERT_TRUE(m_key.Remove("\\Device\\Serial0"));
    const PortDeviceNode adapter({"USB\\VID_0403&PID_6001\\A1B2C3", port});
    ASSERT_EQ(adapter.Error(), 0u);
    ChildProcess wait(PORTLOOK_CLI_EXE, ChildOptions{{"--wait", "--json", "--interval", "1",
                                                      "--match", "serial=a1b2c3"}});
    ASSERT_TRUE(wait.IsRunning());
    ASSERT_TRUE(m_key.SetText("\\Device\\Serial0", port));
    EXPECT_TRUE(wait.IsRunning()) << "there, but busy";
    ASSERT_TRUE(wait.ReadLine(kWithin).empty());
    busy.reset();
    const Json found = Json::parse(wait.ReadLine(std::chrono::seconds(30)), nullptr, false);
    EXPECT_EQ(found["port"], port);
    EXPECT_EQ(found["status"], "available");
    EXPECT_EQ(found["serial"], "A1B2C3");
    const ChildRun end = wait.Finish(kWithin);
    EXPECT_TRUE(end.ended);
    EXPECT_EQ(end.exitCode, 0);
    const std::string path = "\\\\.\\" + found["port"].get<std::string>();
    const HANDLE opened = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(opened, INVALID_HANDLE_VALUE) << ::GetLastError();
    if (opened != INVALID_HANDLE_VALUE) ::CloseHandle(opened);
}

}  // namespace
