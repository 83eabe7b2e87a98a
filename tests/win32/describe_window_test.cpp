// Which device a port is, in Portlook.exe: the Description column, the tip over a row, and a
// device that changes while the program runs.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/platform.h"
// After windows.h, which it needs.
#include <dbt.h>

#include "res/resource.h"
#include "tests/win32/port_device_node.h"
#include "tests/win32/port_holder_process.h"
#include "tests/win32/program_process.h"
#include "tests/support/serial_comm_key.h"

namespace {

constexpr DWORD kWait = 20000;

PortDeviceFields Adapter(const std::string& port, const std::string& name) {
    PortDeviceFields fields{"USB\\VID_0403&PID_6001\\A1B2C3",
                            port,
                            name,
                            "USB Serial Port",
                            "FTDI",
                            "Port_#0002.Hub_#0001"};
    fields.hardwareIds = std::string("USB\\VID_0403&PID_6001&REV_0600") + '\0';
    return fields;
}

class DescribeWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_ports = AvailablePorts();
        ASSERT_GE(m_ports.size(), 2u) << "run through scripts/wine-run";
        m_key.SetText("\\Device\\Serial0", m_ports[0]);
        m_key.SetText("\\Device\\Serial1", m_ports[1]);
    }
    // Starts the program; whether its window came and listed both ports in time.
    bool StartedWithBothPorts() {
        m_program = std::make_unique<ChildProcess>(PORTLOOK_EXE);
        m_dialog = WaitForWindow(*m_program, "#32770", "Portlook", kWait);
        if (!m_dialog) return false;
        m_list = std::make_unique<RemoteList>(::GetDlgItem(m_dialog, IDC_PORT_LIST));
        return WaitUntil([&] { return m_list->Count() == 2; }, kWait);
    }
    // The pointer over a row, moved as a hand moves it: each call a pixel to the other side.
    void PointAt(int row) {
        const RECT rect = m_list->ItemRect(row);
        ::SetCursorPos(rect.left + 20, (rect.top + rect.bottom) / 2);
        m_nudge = -m_nudge;
        INPUT nudge{};
        nudge.type = INPUT_MOUSE;
        nudge.mi.dx = m_nudge;
        nudge.mi.dwFlags = MOUSEEVENTF_MOVE;
        ::SendInput(1, &nudge, sizeof nudge);
    }
    // Another process's window text must be asked for: GetWindowText gives only the caption.
    std::string TipText() const {
        HWND tip = FindVisibleWindow(m_program->Id(), "tooltips_class32", nullptr);
        char text[1024] = {};
        DWORD_PTR copied = 0;
        // With a time-out: the program may be ending under us.
        if (tip) {
            ::SendMessageTimeoutA(tip, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                                  SMTO_ABORTIFHUNG, 5000, &copied);
        }
        return text;
    }

    // Moves the pointer about within the row until the tip shows this text: a loaded machine
    // may lose the first move to a window not yet in place.
    ::testing::AssertionResult TipOver(int row, const std::string& expected) {
        if (WaitUntil(
                [&] {
                    PointAt(row);
                    return TipText() == expected;
                },
                kWait)) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "the tip shows \"" << TipText() << "\"";
    }

    SerialCommKey m_key;
    std::vector<std::string> m_ports;
    std::unique_ptr<ChildProcess> m_program;
    std::unique_ptr<RemoteList> m_list;
    HWND m_dialog = nullptr;
    LONG m_nudge = 1;
};

TEST_F(DescribeWindowTest, DescriptionColumnAndTipTellTheDevice) {
    const PortDeviceNode adapter(Adapter(m_ports[0], "USB Serial Port (" + m_ports[0] + ")"));
    ASSERT_EQ(adapter.Error(), 0u);
    ASSERT_TRUE(StartedWithBothPorts());
    ASSERT_EQ(m_list->HeadingCount(), 4);
    EXPECT_EQ(m_list->Heading(3), "Description");
    EXPECT_EQ(m_list->Text(0, 3), "USB Serial Port (" + m_ports[0] + ")");
    EXPECT_EQ(m_list->Text(1, 3), "") << "no device known";

    const std::string expected =
        "Manufacturer: FTDI\n"
        "Hardware ID: USB\\VID_0403&PID_6001&REV_0600 (vendor 0403, product 6001)\n"
        "Serial number: A1B2C3\n"
        "Bus: USB\n"
        "Location: Port_#0002.Hub_#0001";
    EXPECT_TRUE(TipOver(0, expected));
    // Over a row whose device is unknown there is nothing to show.
    EXPECT_TRUE(TipOver(1, ""));
    ::PostMessageA(m_dialog, WM_CLOSE, 0, 0);
}

TEST_F(DescribeWindowTest, TipNamesWhoHoldsABusyPort) {
    const PortHolderProcess holder(m_ports[0]);
    ASSERT_TRUE(holder.Holds());
    const PortMadeBusy busy(m_ports[0]);
    ASSERT_TRUE(busy.Done());
    ASSERT_TRUE(StartedWithBothPorts());
    EXPECT_TRUE(WaitUntil([&] { return m_list->Text(0, 2) == "busy"; }, kWait));
    const std::string expected = std::string("Held by: ") + PortHolderProcess::kProgramName +
                                 " (PID " + std::to_string(holder.Id()) + ")";
    EXPECT_TRUE(TipOver(0, expected));
    // The free port's row has nothing to tell.
    EXPECT_TRUE(TipOver(1, ""));
    ::PostMessageA(m_dialog, WM_CLOSE, 0, 0);
}

// A device that arrives while the program runs is described once the system says so, with no
// refresh asked for.
TEST_F(DescribeWindowTest, ADeviceChangeBringsASurveyWithFreshFacts) {
    ASSERT_TRUE(StartedWithBothPorts());
    const PortDeviceNode adapter(Adapter(m_ports[1], "Arrived later"));
    ASSERT_EQ(adapter.Error(), 0u);
    m_key.SetText("\\Device\\Serial2", m_ports[0]);
    ::Sleep(500);
    EXPECT_EQ(m_list->Count(), 2) << "nothing happens before the system tells";

    DWORD_PTR result = 0;
    ::SendMessageTimeoutA(m_dialog, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0, SMTO_ABORTIFHUNG,
                          5000, &result);
    EXPECT_TRUE(WaitUntil([&] { return m_list->Count() == 3; }, kWait));
    EXPECT_TRUE(WaitUntil([&] { return m_list->Text(1, 3) == "Arrived later"; }, kWait));
    ::PostMessageA(m_dialog, WM_CLOSE, 0, 0);
}

}  // namespace
