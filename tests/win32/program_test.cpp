// Portlook.exe as a separate process, driven and read from outside as a user's tools would.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "framework/win_app.h"
#include "res/resource.h"
#include "tests/win32/program_process.h"
#include "tests/support/serial_comm_key.h"

namespace {

constexpr char kCaption[] = "Portlook";
constexpr char kDialogClass[] = "#32770";
constexpr DWORD kStartTimeout = 20000;

bool HasChildWithText(HWND window, const std::string& text) {
    for (HWND child = ::GetWindow(window, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (WindowText(child) == text) return true;
    }
    return false;
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GE(AvailablePorts().size(), 4u) << "run through scripts/wine-run";
        ASSERT_TRUE(m_key.IsOpen());
    }

    std::unique_ptr<ChildProcess> Start(const std::string& path = PORTLOOK_EXE) {
        auto program = std::make_unique<ChildProcess>(path);
        EXPECT_TRUE(program->IsRunning()) << path;
        return program;
    }
    // The main window, once the program waits for input in its dialog loop.
    HWND MainWindow(const ChildProcess& program) {
        HWND dialog = WaitForWindow(program, kDialogClass, kCaption, kStartTimeout);
        ::WaitForInputIdle(program.Handle(), kStartTimeout);
        return dialog;
    }
    // Rows the list should show: the key's values in the key's order, with their statuses.
    Rows Expected(const std::vector<std::pair<std::string, std::string>>& statusByPort) {
        return ExpectedRows(ReadValues(m_key.Get()), [&](const std::string& port) {
            for (const auto& entry : statusByPort) {
                if (entry.first == port) return entry.second;
            }
            return std::string("(unexpected port)");
        });
    }
    static void Click(HWND dialog, int id) {
        ::SendMessageA(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
    }
    // Starts the program as m_program; whether its main window (m_dialog) came in time.
    bool Started() {
        m_program = Start();
        m_dialog = MainWindow(*m_program);
        return m_dialog != nullptr;
    }

    SerialCommKey m_key;
    const std::vector<std::string> m_ports = AvailablePorts();
    std::unique_ptr<ChildProcess> m_program;
    HWND m_dialog = nullptr;
};

TEST_F(ProgramTest, StartUpShowsThePortsTextsAndSizedColumns) {
    m_key.SetText("\\Device\\Serial2", m_ports[0]);
    m_key.SetText("\\Device\\Serial0", EnvironmentValue("PORTLOOK_PORT_MISSING"));
    m_key.SetText("\\Device\\VCP0", EnvironmentValue("PORTLOOK_PORT_DENIED"));
    m_key.SetText("\\Device\\Serial1", EnvironmentValue("PORTLOOK_PORT_FAILING"));
    ASSERT_TRUE(Started());

    RemoteList list(::GetDlgItem(m_dialog, IDC_PORT_LIST));
    const Rows expected = Expected({{m_ports[0], "available"},
                                    {EnvironmentValue("PORTLOOK_PORT_MISSING"), "not found"},
                                    {EnvironmentValue("PORTLOOK_PORT_DENIED"), "busy"},
                                    {EnvironmentValue("PORTLOOK_PORT_FAILING"), "unknown"}});
    // Start-up waits a moment for the first survey; a loaded machine may take longer.
    WaitUntil([&] { return list.Rows(3) == expected; }, kStartTimeout);
    EXPECT_EQ(list.Rows(3), expected);
    ASSERT_EQ(list.HeadingCount(), 4);
    EXPECT_EQ(list.Heading(0), "Device");
    EXPECT_EQ(list.Heading(1), "Port");
    EXPECT_EQ(list.Heading(2), "Status");
    EXPECT_EQ(list.Heading(3), "Description");
    EXPECT_EQ(list.ExtendedStyle(), static_cast<DWORD>(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT));
    // The same resources are linked into this test.
    const std::string hints = LoadResourceString(::GetModuleHandleA(nullptr), IDS_HINTS);
    ASSERT_FALSE(hints.empty());
    EXPECT_EQ(WindowText(::GetDlgItem(m_dialog, IDC_HINTS)), hints);

    // Each column but the last as wide as its widest text or heading, plus 12.
    const Rows rows = list.Rows(4);
    int used = 0;
    for (int column = 0; column < 3; ++column) {
        int widest = list.StringWidth(list.Heading(column));
        for (const auto& row : rows) widest = std::max(widest, list.StringWidth(row[column]));
        EXPECT_EQ(list.ColumnWidth(column), widest + 12) << "column " << column;
        used += list.ColumnWidth(column);
    }
    RECT client{};
    ::GetClientRect(::GetDlgItem(m_dialog, IDC_PORT_LIST), &client);
    EXPECT_EQ(list.ColumnWidth(3), client.right - used);

    EXPECT_EQ(::IsDlgButtonChecked(m_dialog, IDC_CONTINUOUSLY), static_cast<UINT>(BST_UNCHECKED));
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(m_dialog, IDC_SINGLE)));
}

TEST_F(ProgramTest, AboutTextAndCentredPlacement) {
    ASSERT_TRUE(Started());
    EXPECT_TRUE(HasChildWithText(m_dialog, "Portlook\nv1.0.0.1\n\nPortlook team"));

    RECT work{};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    RECT window{};
    ::GetWindowRect(m_dialog, &window);
    const LONG width = window.right - window.left;
    const LONG height = window.bottom - window.top;
    EXPECT_NEAR(window.left, work.left + (work.right - work.left - width) / 2, 1);
    EXPECT_NEAR(window.top, work.top + (work.bottom - work.top - height) / 2, 1);
}

TEST_F(ProgramTest, LampShowsTheUnlitBulbAtRest) {
    m_key.SetText("\\Device\\Serial0", m_ports[0]);
    ASSERT_TRUE(Started());
    ::SetForegroundWindow(m_dialog);
    HWND lamp = ::GetDlgItem(m_dialog, IDC_STATUS_ICON);
    RECT rect{};
    ::GetWindowRect(lamp, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HINSTANCE self = ::GetModuleHandleA(nullptr);
    const auto off = IconPixels(::LoadIconA(self, MAKEINTRESOURCEA(IDI_LAMP_OFF)), width, height);
    const auto on = IconPixels(::LoadIconA(self, MAKEINTRESOURCEA(IDI_LAMP_ON)), width, height);
    ASSERT_NE(off, on);
    EXPECT_TRUE(WaitUntil([&] { return ScreenPixels(lamp) == off; }, 3000));
    Click(m_dialog, IDC_SINGLE);
    ::UpdateWindow(lamp);
    EXPECT_TRUE(WaitUntil([&] { return ScreenPixels(lamp) == off; }, 3000));
}

TEST_F(ProgramTest, SingleRefreshPicksUpAddedAndRemovedValues) {
    m_key.SetText("\\Device\\Serial0", m_ports[0]);
    m_key.SetText("\\Device\\Serial1", m_ports[1]);
    ASSERT_TRUE(Started());
    RemoteList list(::GetDlgItem(m_dialog, IDC_PORT_LIST));
    ASSERT_TRUE(WaitUntil([&] { return list.Count() == 2; }, kStartTimeout));

    m_key.Remove("\\Device\\Serial0");
    m_key.SetText("\\Device\\Serial7", EnvironmentValue("PORTLOOK_PORT_MISSING"));
    EXPECT_EQ(list.Count(), 2) << "nothing changes before the click";
    Click(m_dialog, IDC_SINGLE);
    // The survey runs beside the window; its rows follow the click.
    const Rows expected = Expected(
        {{m_ports[1], "available"}, {EnvironmentValue("PORTLOOK_PORT_MISSING"), "not found"}});
    WaitUntil([&] { return list.Rows(3) == expected; }, kStartTimeout);
    EXPECT_EQ(list.Rows(3), expected);
}

TEST_F(ProgramTest, ContinuouslyRefreshesAtOnceThenEveryTwoSecondsUntilClickedOut) {
    m_key.SetText("\\Device\\Serial0", m_ports[0]);
    ASSERT_TRUE(Started());
    RemoteList list(::GetDlgItem(m_dialog, IDC_PORT_LIST));
    HWND single = ::GetDlgItem(m_dialog, IDC_SINGLE);

    m_key.SetText("\\Device\\Serial1", m_ports[1]);
    Click(m_dialog, IDC_CONTINUOUSLY);
    EXPECT_TRUE(WaitUntil([&] { return list.Count() == 2; }, 1000))
        << "switching on refreshes at once, not a period later";
    EXPECT_EQ(::IsDlgButtonChecked(m_dialog, IDC_CONTINUOUSLY), static_cast<UINT>(BST_CHECKED));
    EXPECT_FALSE(::IsWindowEnabled(single));

    // Two further values, each added just after a refresh: each appears one period later.
    DWORD appeared[2] = {};
    for (int round = 0; round < 2; ++round) {
        const DWORD added = ::GetTickCount();
        m_key.SetText("\\Device\\Serial" + std::to_string(2 + round), m_ports[2 + round]);
        ASSERT_TRUE(WaitUntil([&] { return list.Count() == 3 + round; }, 2000 + 1000));
        appeared[round] = ::GetTickCount();
        EXPECT_LE(appeared[round] - added, 2000u + 600u);
    }
    EXPECT_NEAR(static_cast<double>(appeared[1] - appeared[0]), 2000.0, 400.0);

    Click(m_dialog, IDC_CONTINUOUSLY);
    EXPECT_EQ(::IsDlgButtonChecked(m_dialog, IDC_CONTINUOUSLY), static_cast<UINT>(BST_UNCHECKED));
    EXPECT_TRUE(::IsWindowEnabled(single));
    m_key.SetText("\\Device\\Serial9", m_ports[0]);
    ::Sleep(3000);
    EXPECT_EQ(list.Count(), 4) << "no refresh after switching off";
}

TEST_F(ProgramTest, SecondStartRestoresTheFirstWindowAndEnds) {
    m_key.SetText("\\Device\\Serial0", m_ports[0]);
    const auto first = Start();
    HWND dialog = MainWindow(*first);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitUntil(
        [&] {
            ::ShowWindow(dialog, SW_MINIMIZE);
            return ::IsIconic(dialog) != FALSE;
        },
        3000));

    const auto second = Start();
    HWND notice = WaitForWindow(*second, kDialogClass, kCaption, kStartTimeout);
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(HasChildWithText(notice, "Previous version detected, will now restore it"));
    EXPECT_EQ(::GetDlgItem(notice, IDC_PORT_LIST), nullptr) << "the notice, not a second list";
    ::PostMessageA(notice, WM_COMMAND, IDOK, 0);

    EXPECT_EQ(second->Finish(std::chrono::seconds(10)).exitCode, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsIconic(dialog); }, 3000));
    EXPECT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == dialog; }, 3000));

    // The block still names the first window: the second instance published nothing.
    const KernelHandle block(
        ::OpenFileMappingA(FILE_MAP_READ, FALSE, "CSingleInstance_MMF_Portlook"));
    ASSERT_TRUE(block.IsValid());
    const void* view = ::MapViewOfFile(block.Get(), FILE_MAP_READ, 0, 0, 4);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(*static_cast<const DWORD*>(view),
              static_cast<DWORD>(reinterpret_cast<UINT_PTR>(dialog)));
    ::UnmapViewOfFile(view);
    EXPECT_TRUE(first->IsRunning());
}

TEST_F(ProgramTest, CopyUnderAnotherNameRunsBesideTheFirst) {
    const CopiedProgram twin(PORTLOOK_EXE, "PortlookTwin.exe");
    ASSERT_TRUE(twin.Copied());
    const auto first = Start();
    ASSERT_NE(MainWindow(*first), nullptr);
    {
        const auto second = Start(twin.Path());
        HWND secondDialog = MainWindow(*second);
        ASSERT_NE(secondDialog, nullptr);
        EXPECT_NE(::GetDlgItem(secondDialog, IDC_PORT_LIST), nullptr);
        EXPECT_TRUE(second->IsRunning());
    }
    EXPECT_TRUE(first->IsRunning());
}

TEST_F(ProgramTest, ExitIdOkAndTheCloseBoxEachEndTheProgram) {
    const struct {
        const char* how;
        UINT message;
        WPARAM wParam;
    } endings[] = {{"Exit button", 0, 0},
                   {"IDOK command", WM_COMMAND, IDOK},
                   {"close box", WM_SYSCOMMAND, SC_CLOSE}};
    for (const auto& ending : endings) {
        const auto program = Start();
        HWND dialog = MainWindow(*program);
        ASSERT_NE(dialog, nullptr) << ending.how;
        if (ending.message == 0) {
            ::PostMessageA(::GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
        } else {
            ::PostMessageA(dialog, ending.message, ending.wParam, 0);
        }
        EXPECT_EQ(program->Finish(std::chrono::seconds(10)).exitCode, 0) << ending.how;
    }
}

}  // namespace

namespace {

struct WindowTexts {
    DWORD exceptProcess;
    std::vector<std::string> texts;
};

BOOL CALLBACK CollectWindowText(HWND window, LPARAM lParam) {
    auto* found = reinterpret_cast<WindowTexts*>(lParam);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (!::IsWindowVisible(window) || owner == found->exceptProcess ||
        owner == ::GetCurrentProcessId()) {
        return TRUE;
    }
    std::string text = WindowText(window);
    for (HWND child = ::GetWindow(window, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        text += "|" + WindowText(child);
    }
    found->texts.push_back(text);
    return TRUE;
}

// Every visible top-level window but the program's and ours, described by its texts.
std::vector<std::string> OtherWindowsTexts(DWORD exceptProcess) {
    WindowTexts search{exceptProcess, {}};
    ::EnumWindows(CollectWindowText, reinterpret_cast<LPARAM>(&search));
    return search.texts;
}

bool AnyContains(const std::vector<std::string>& texts, const std::string& part) {
    for (const std::string& text : texts) {
        if (text.find(part) != std::string::npos) return true;
    }
    return false;
}

// Keys pressed for real, as the user would, into the foreground window.
void PressKeys(std::initializer_list<WORD> held, WORD key) {
    std::vector<INPUT> inputs;
    const auto add = [&](WORD code, DWORD flags) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = code;
        input.ki.dwFlags = flags;
        inputs.push_back(input);
    };
    for (const WORD modifier : held) add(modifier, 0);
    add(key, 0);
    add(key, KEYEVENTF_KEYUP);
    for (const WORD modifier : held) add(modifier, KEYEVENTF_KEYUP);
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// Every copy of the prefix's help engine, moved aside for as long as the object lives; a
// running one is ended first, as WinHelp would otherwise just reuse it. Which copies there are
// depends on the prefix: one made by 64-bit Wine alone has none in the Windows directory.
class HelpEngineRemoved {
public:
    HelpEngineRemoved() {
        while (HWND engine = ::FindWindowA("MS_WINHELP", nullptr)) {
            DWORD id = 0;
            ::GetWindowThreadProcessId(engine, &id);
            const KernelHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
            if (!process.IsValid()) break;
            ::TerminateProcess(process.Get(), 1);
            ::WaitForSingleObject(process.Get(), 5000);
        }
        for (const char* path : kPaths) {
            if (::GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) continue;
            if (::MoveFileA(path, Away(path).c_str())) {
                m_moved.push_back(path);
            } else {
                m_allMoved = false;
            }
        }
    }
    ~HelpEngineRemoved() {
        for (const char* path : m_moved) ::MoveFileA(Away(path).c_str(), path);
    }
    // Whether there was a copy and none is left.
    bool Removed() const { return !m_moved.empty() && m_allMoved; }

private:
    static std::string Away(const char* path) { return std::string(path) + ".away"; }

    static constexpr const char* kPaths[] = {"C:\\windows\\winhlp32.exe",
                                             "C:\\windows\\system32\\winhlp32.exe"};
    std::vector<const char*> m_moved;
    bool m_allMoved = true;
};

TEST_F(ProgramTest, HelpKeyAsksTheHelpEngineForTheProgramsHelpFile) {
    ASSERT_TRUE(Started());
    ASSERT_TRUE(WaitUntil(
        [&] { return ::SetForegroundWindow(m_dialog) && ::GetForegroundWindow() == m_dialog; },
        3000));

    // With a modifier held, F1 is not the Help key.
    for (const WORD modifier : {VK_SHIFT, VK_CONTROL}) {
        PressKeys({modifier}, VK_F1);
        EXPECT_FALSE(WaitUntil(
            [&] { return AnyContains(OtherWindowsTexts(m_program->Id()), "Portlook.HLP"); }, 1500));
    }
    PressKeys({}, VK_F1);
    // Wine's engine says it cannot find the file it was asked for: the program's own path.
    EXPECT_TRUE(WaitUntil(
        [&] { return AnyContains(OtherWindowsTexts(m_program->Id()), "Portlook.HLP"); }, 10000));
}

TEST_F(ProgramTest, HelpEngineThatCannotStartGivesTheFrameworksMessage) {
    const HelpEngineRemoved removed;
    ASSERT_TRUE(removed.Removed());
    ASSERT_TRUE(Started());
    ::PostMessageA(::GetDlgItem(m_dialog, IDC_PORT_LIST), WM_KEYDOWN, VK_F1, 0);
    // The message box is a second dialog of the program's, owned by the main window.
    HWND message = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            message = ::FindWindowExA(nullptr, nullptr, kDialogClass, kCaption);
            while (message && (message == m_dialog || ::GetWindow(message, GW_OWNER) != m_dialog)) {
                message = ::FindWindowExA(nullptr, message, kDialogClass, kCaption);
            }
            return message != nullptr;
        },
        10000));
    // The box can be found by its caption before its text is set.
    EXPECT_TRUE(WaitUntil(
        [&] { return HasChildWithText(message, "Die Hilfe konnte nicht aufgerufen werden."); },
        5000));
}

}  // namespace
