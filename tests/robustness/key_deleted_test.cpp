// The SERIALCOMM key deleted under Portlook.exe while "&Continuously" is on: the program keeps
// running with its list exactly as it was, tick after tick, and follows the key again once
// the key is back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/win32/program_process.h"
#include "tests/support/serial_comm_key.h"

namespace {

constexpr DWORD kPeriod = 2000;  // the program's refresh timer
constexpr DWORD kTicksWithoutKey = 3;

bool Responds(HWND window) {
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &result) != 0;
}

TEST(KeyDeletedTest, ListStaysAsItWasWhileTheKeyIsGoneAndFollowsItWhenItIsBack) {
    const std::vector<std::string> ports = AvailablePorts();
    ASSERT_GE(ports.size(), 3u) << "run through scripts/wine-run";
    const std::string missing = EnvironmentValue("PORTLOOK_PORT_MISSING");
    const std::string denied = EnvironmentValue("PORTLOOK_PORT_DENIED");
    const auto expectedOf = [](const SerialCommKey& key) {
        return ExpectedRows(ReadValues(key.Get()), OpenStatus);
    };

    auto key = std::make_unique<SerialCommKey>();
    ASSERT_TRUE(key->IsOpen());
    key->SetText("\\Device\\Serial0", ports[0]);
    key->SetText("\\Device\\Serial1", missing);
    key->SetText("\\Device\\VCP0", denied);

    ChildProcess program(PORTLOOK_EXE);
    HWND dialog = WaitForWindow(program, "#32770", "Portlook", 20000);
    ASSERT_NE(dialog, nullptr);
    ::WaitForInputIdle(program.Handle(), 20000);
    RemoteList list(::GetDlgItem(dialog, IDC_PORT_LIST));
    ::SendMessageA(::GetDlgItem(dialog, IDC_CONTINUOUSLY), BM_CLICK, 0, 0);
    ASSERT_EQ(::IsDlgButtonChecked(dialog, IDC_CONTINUOUSLY), static_cast<UINT>(BST_CHECKED));

    // Catch a tick: the change shows once the refresh it started is over, and the next tick
    // is a whole period away. Delete the key then.
    key->SetText("\\Device\\Serial1", ports[1]);
    const Rows before = expectedOf(*key);
    ASSERT_TRUE(WaitUntil([&] { return list.Rows(3) == before; }, kPeriod + 1000));
    key.reset();
    ASSERT_EQ(::RegDeleteKeyA(HKEY_LOCAL_MACHINE, SerialCommKey::kPath), ERROR_SUCCESS);
    HKEY gone = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, SerialCommKey::kPath, 0, KEY_READ, &gone),
              ERROR_FILE_NOT_FOUND);

    const DWORD start = ::GetTickCount();
    int looks = 0;
    while (::GetTickCount() - start < kTicksWithoutKey * kPeriod + 500) {
        ASSERT_TRUE(program.IsRunning());
        ASSERT_TRUE(Responds(dialog));
        ASSERT_EQ(FirstDifference(list.Rows(3), before), "")
            << "after " << ::GetTickCount() - start << " ms without the key";
        ++looks;
        ::Sleep(100);
    }
    EXPECT_GT(looks, 20);
    EXPECT_EQ(::IsDlgButtonChecked(dialog, IDC_CONTINUOUSLY), static_cast<UINT>(BST_CHECKED));

    // Back with other values: the next tick shows them.
    key = std::make_unique<SerialCommKey>();
    ASSERT_TRUE(key->IsOpen());
    key->SetText("\\Device\\Serial0", ports[2]);
    key->SetText("\\Device\\Serial7", denied);
    const Rows after = expectedOf(*key);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_TRUE(WaitUntil([&] { return list.Rows(3) == after; }, kPeriod + 1000))
        << FirstDifference(list.Rows(3), after);

    ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.Finish(std::chrono::seconds(10)).exitCode, 0);
}

}  // namespace
