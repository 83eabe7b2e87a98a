// Surveys beside the window, seen from outside: Portlook's window with a probe that hangs for
// as long as the test says (slow_probe_main.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>

#include "base/platform.h"
// After windows.h, which it needs.
#include <dbt.h>

#include "res/resource.h"
#include "tests/win32/program_process.h"
#include "tests/support/serial_comm_key.h"

namespace {

constexpr DWORD kWait = 20000;

class SurveyWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::vector<std::string> ports = AvailablePorts();
        ASSERT_GE(ports.size(), 3u) << "run through scripts/wine-run";
        m_slow = ports[0];
        m_fast = ports[1];
        m_added = ports[2];
        m_key.SetText("\\Device\\Serial0", m_slow);
        m_key.SetText("\\Device\\Serial1", m_fast);
        char directory[MAX_PATH] = {};
        ::GetTempPathA(MAX_PATH, directory);
        const std::string stem = std::string(directory) + "portlook-" +
                                 std::to_string(::GetCurrentProcessId()) + "-" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_gate = stem + ".gate";
        m_log = stem + ".log";
        ::DeleteFileA(m_log.c_str());
    }
    void TearDown() override {
        Open();
        if (m_program) {
            if (m_dialog) ::PostMessageA(m_dialog, WM_CLOSE, 0, 0);
            m_program->Finish(std::chrono::milliseconds(kWait));
        }
        ::DeleteFileA(m_log.c_str());
    }

    void Hold() { std::ofstream(m_gate) << "held"; }
    void Open() { ::DeleteFileA(m_gate.c_str()); }
    // Starts the program; whether its window came in time.
    bool Started() {
        m_program = std::make_unique<ChildProcess>(PORTLOOK_SLOW_PROBE,
                                                   ChildOptions{{m_slow, m_gate, m_log}});
        m_dialog = WaitForWindow(*m_program, "#32770", "Portlook", kWait);
        if (m_dialog) m_list = std::make_unique<RemoteList>(::GetDlgItem(m_dialog, IDC_PORT_LIST));
        return m_dialog != nullptr;
    }
    // How often a port was probed.
    int Probes(const std::string& port) const {
        std::ifstream log(m_log);
        int count = 0;
        for (std::string line; std::getline(log, line);) count += line == port;
        return count;
    }
    std::string StatusOf(const std::string& port) {
        for (int row = 0; row < m_list->Count(); ++row) {
            if (m_list->Text(row, 1) == port) return m_list->Text(row, 2);
        }
        return "(no row)";
    }
    static bool Answers(HWND window) {
        DWORD_PTR result = 0;
        return ::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) != 0;
    }
    static void Click(HWND dialog, int id) {
        ::SendMessageA(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
    }

    SerialCommKey m_key;
    std::string m_slow, m_fast, m_added, m_gate, m_log;
    std::unique_ptr<ChildProcess> m_program;
    std::unique_ptr<RemoteList> m_list;
    HWND m_dialog = nullptr;
};

// The hanging port's row comes at once with no status, the others with theirs.
TEST_F(SurveyWindowTest, AHangingPortHoldsNeitherTheWindowNorTheOtherRows) {
    Hold();
    ASSERT_TRUE(Started());
    EXPECT_TRUE(WaitUntil([&] { return StatusOf(m_fast) == "available"; }, kWait));
    EXPECT_TRUE(Answers(m_dialog));
    EXPECT_EQ(m_list->Count(), 2);
    EXPECT_EQ(m_list->Text(0, 0), "\\Device\\Serial0");
    EXPECT_EQ(StatusOf(m_slow), "");

    Open();
    EXPECT_TRUE(WaitUntil([&] { return StatusOf(m_slow) == "available"; }, kWait));
    EXPECT_EQ(Probes(m_slow), 1);
}

// A port still pending is not probed again, and its row keeps what it showed; the window and
// the other ports go on meanwhile.
TEST_F(SurveyWindowTest, APendingPortIsNotProbedAgainAndKeepsItsStatus) {
    ASSERT_TRUE(Started());
    ASSERT_TRUE(WaitUntil([&] { return StatusOf(m_slow) == "available"; }, kWait));
    Hold();
    Click(m_dialog, IDC_SINGLE);
    ASSERT_TRUE(WaitUntil([&] { return Probes(m_fast) >= 2 && Probes(m_slow) == 2; }, kWait));
    // Clicks come to nothing while that survey waits; once it has waited long enough, the
    // next one starts and passes the pending port by.
    ASSERT_TRUE(WaitUntil(
        [&] {
            Click(m_dialog, IDC_SINGLE);
            return Probes(m_fast) >= 3;
        },
        kWait));
    EXPECT_TRUE(Answers(m_dialog));
    EXPECT_EQ(Probes(m_slow), 2);
    EXPECT_EQ(StatusOf(m_slow), "available");
}

TEST_F(SurveyWindowTest, ContinuousModeGoesOnPastAHangingPort) {
    Hold();
    ASSERT_TRUE(Started());
    Click(m_dialog, IDC_CONTINUOUSLY);
    m_key.SetText("\\Device\\Serial2", m_added);
    EXPECT_TRUE(WaitUntil([&] { return StatusOf(m_added) == "available"; }, kWait));
    EXPECT_EQ(Probes(m_slow), 1);
    EXPECT_EQ(StatusOf(m_slow), "");
}

// Devices come and go in bursts: notifications close together bring one survey, with
// "&Continuously" off.
TEST_F(SurveyWindowTest, ABurstOfDeviceChangesBringsOneSurvey) {
    ASSERT_TRUE(Started());
    ASSERT_TRUE(WaitUntil([&] { return Probes(m_fast) == 1; }, kWait));
    for (int notice = 0; notice < 5; ++notice) {
        ::SendMessageA(m_dialog, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
        ::Sleep(20);
    }
    EXPECT_TRUE(WaitUntil([&] { return Probes(m_fast) == 2; }, kWait));
    ::Sleep(1000);
    EXPECT_EQ(Probes(m_fast), 2);
}

TEST_F(SurveyWindowTest, ClosingWhileAProbeHangsEndsTheProgramAtOnce) {
    Hold();
    ASSERT_TRUE(Started());
    ASSERT_TRUE(WaitUntil([&] { return Probes(m_slow) == 1; }, kWait));
    ::PostMessageA(m_dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(m_program->Finish(std::chrono::seconds(5)).exitCode, 0)
        << "-1: the probe still hangs";
}

}  // namespace
