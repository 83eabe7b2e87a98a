// The application object, the mutex and the single-instance guard. The guard is exercised with
// real processes: a helper program (guard_instance_main.cpp) plays each instance, in the same
// Wine session and on the same desktop as this test, so activation is observable from here.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>
#include <thread>

#include "framework/mutex.h"
#include "base/win32_handles.h"
#include "framework/win_app.h"
#include "tests/support/child_process.h"
#include "tests/win32/program_process.h"

// This program's own application object.
CWinApp theApp;

namespace {

constexpr DWORD kTimeoutMs = 15000;
constexpr std::chrono::milliseconds kPatience(kTimeoutMs);
constexpr char kMappingName[] = "CSingleInstance_MMF_portlook_guard_instance";

std::string OwnDirectory() {
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory(path, length);
    return directory.substr(0, directory.find_last_of('\\') + 1);
}

// The helpers are built beside this program.
std::string HelperPath() { return OwnDirectory() + PORTLOOK_GUARD_HELPER; }
std::string TitledHelperPath() { return OwnDirectory() + PORTLOOK_GUARD_TITLED_HELPER; }

HWND ParseWindow(const std::string& hex) {
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoul(hex.c_str(), nullptr, 16)));
}

// A report line of the helper: tab-separated key=value fields.
using Report = std::map<std::string, std::string>;

Report ParseReport(const std::string& line) {
    Report report;
    size_t start = 0;
    while (start < line.size()) {
        size_t end = line.find('\t', start);
        if (end == std::string::npos) end = line.size();
        const std::string field = line.substr(start, end - start);
        const size_t equals = field.find('=');
        if (equals != std::string::npos) report[field.substr(0, equals)] = field.substr(equals + 1);
        start = end + 1;
    }
    return report;
}

// One helper process, its reports read from its standard output; ended by force if a test
// leaves it running, so that no block outlives its test.
class Instance {
public:
    Instance(const std::string& program, std::vector<std::string> arguments)
        : m_child(program, ChildOptions{std::move(arguments)}) {}

    bool Started() const { return m_child.Started(); }
    // The next report; empty when none came in time or the output ended.
    Report ReadReport() { return ParseReport(m_child.ReadLine(kPatience)); }
    // Ends the helper's message loop.
    bool Quit() const { return ::PostThreadMessageA(m_child.ThreadId(), WM_QUIT, 0, 0) != FALSE; }
    // The exit code, or -1 if the process did not end in time.
    long WaitForExit() { return m_child.Finish(kPatience).exitCode; }
    // Quits the helper and gives its exit code; -2 if it could not be told to quit.
    long End() { return Quit() ? WaitForExit() : -2; }

private:
    ChildProcess m_child;
};

// Runs a helper that reports once and ends by itself, and gives that report.
Report RunOnce(const std::string& program, std::vector<std::string> arguments) {
    Instance instance(program, std::move(arguments));
    EXPECT_TRUE(instance.Started());
    Report report = instance.ReadReport();
    EXPECT_EQ(instance.WaitForExit(), 0);
    return report;
}

// Whether a block of that name exists, and the window it names, read the way a later instance
// reads it. No handle to it is kept.
bool ReadBlock(const std::string& name, HWND* window) {
    const KernelHandle mapping(::OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str()));
    if (!mapping.IsValid()) return false;
    const void* view = ::MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 4);
    if (!view) return false;
    *window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(*static_cast<const LONG*>(view)));
    ::UnmapViewOfFile(view);
    return true;
}

bool BlockExists(const std::string& name) {
    HWND ignored = nullptr;
    return ReadBlock(name, &ignored);
}

std::string Hex(HWND window) {
    char text[16];
    std::snprintf(text, sizeof text, "%08lx",
                  static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)));
    return text;
}

// A top-level window of this process.
class TestWindow : public CWnd {
public:
    explicit TestWindow(LPCSTR title) {
        const RECT frame{600, 500, 900, 700};
        CreateEx(0, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, frame, nullptr, 0);
    }
    ~TestWindow() override { DestroyWindow(); }
};

// ---------------------------------------------------------------------------------------------
// The application object of this program

TEST(GuardApplication, RegistersItselfAndIsNamedAfterItsFile) {
    EXPECT_EQ(AfxGetApp(), &theApp);
    EXPECT_STREQ(theApp.m_pszAppName, "portlook_window_tests");
    EXPECT_EQ(theApp.m_hInstance, ::GetModuleHandleA(nullptr));
    EXPECT_TRUE(theApp.IsKindOf(RUNTIME_CLASS(CCmdTarget)));
    EXPECT_STREQ(theApp.GetRuntimeClass()->m_lpszClassName, "CWinApp");
}

// What a message box of this thread showed, seen from another thread that then answers it.
struct SeenBox {
    int result = 0;  // what AfxMessageBox gave back
    bool found = false;
    HWND owner = nullptr;
    std::string caption;
    HICON icon = nullptr;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM lParam) {
    char className[16] = "";
    ::GetClassNameA(window, className, sizeof className);
    if (std::string(className) != "#32770") return TRUE;
    *reinterpret_cast<HWND*>(lParam) = window;
    return FALSE;
}

BOOL CALLBACK FindIcon(HWND child, LPARAM lParam) {
    if ((::GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return TRUE;
    *reinterpret_cast<HICON*>(lParam) =
        reinterpret_cast<HICON>(::SendMessageA(child, STM_GETICON, 0, 0));
    return FALSE;
}

// Shows the box on this thread; another thread inspects it and presses `answer`.
SeenBox ShowAndAnswer(LPCSTR text, UINT type, int answer) {
    SeenBox seen;
    const DWORD thread = ::GetCurrentThreadId();
    std::thread watcher([thread, answer, &seen] {
        HWND box = nullptr;
        for (int i = 0; i < 500 && !box; ++i) {
            ::EnumThreadWindows(thread, FindDialog, reinterpret_cast<LPARAM>(&box));
            if (!box) ::Sleep(20);
        }
        if (!box) return;
        seen.found = true;
        seen.owner = ::GetWindow(box, GW_OWNER);
        char caption[256] = "";
        ::GetWindowTextA(box, caption, sizeof caption);
        seen.caption = caption;
        ::EnumChildWindows(box, FindIcon, reinterpret_cast<LPARAM>(&seen.icon));
        ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
    });
    seen.result = AfxMessageBox(text, type);
    watcher.join();
    return seen;
}

TEST(GuardApplication, MessageBoxIsOwnedByTheMainWindowAndCaptionedWithTheName) {
    TestWindow main("Guard test main window");
    ASSERT_TRUE(main.m_hWnd);
    theApp.m_pMainWnd = &main;
    const SeenBox seen = ShowAndAnswer("Previous version detected", MB_OK, IDOK);
    theApp.m_pMainWnd = nullptr;

    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.result, IDOK);
    EXPECT_EQ(seen.owner, main.m_hWnd);
    EXPECT_EQ(seen.caption, "portlook_window_tests");
    // An OK box without an icon of its own gets the exclamation mark.
    EXPECT_EQ(seen.icon, ::LoadIconA(nullptr, IDI_EXCLAMATION));
}

TEST(GuardApplication, MessageBoxWithoutMainWindowHasNoOwnerAndKeepsItsIcon) {
    ASSERT_EQ(theApp.m_pMainWnd, nullptr);
    const SeenBox seen = ShowAndAnswer("Question", MB_YESNO | MB_ICONINFORMATION, IDNO);

    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.result, IDNO);
    EXPECT_EQ(seen.owner, nullptr);
    EXPECT_EQ(seen.caption, "portlook_window_tests");
    EXPECT_EQ(seen.icon, ::LoadIconA(nullptr, IDI_INFORMATION));
}

TEST(GuardApplication, YesNoMessageBoxGetsTheQuestionMark) {
    const SeenBox seen = ShowAndAnswer("Question", MB_YESNO, IDYES);
    EXPECT_EQ(seen.result, IDYES);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.icon, ::LoadIconA(nullptr, IDI_QUESTION));
}

// ---------------------------------------------------------------------------------------------
// CMutex

// Lock(0) on another thread: whether that thread could take the mutex (it lets go again).
bool OtherThreadCanLock(CMutex& mutex) {
    bool locked = false;
    std::thread([&] {
        locked = mutex.Lock(0) != FALSE;
        if (locked) mutex.Unlock();
    }).join();
    return locked;
}

TEST(GuardMutex, HeldMutexKeepsOtherThreadsOutUntilUnlocked) {
    CMutex mutex;
    EXPECT_TRUE(OtherThreadCanLock(mutex));  // not owned at construction
    ASSERT_TRUE(mutex.Lock());
    EXPECT_FALSE(OtherThreadCanLock(mutex));
    // Only the owner can let go.
    bool foreignUnlock = true;
    std::thread([&] { foreignUnlock = mutex.Unlock() != FALSE; }).join();
    EXPECT_FALSE(foreignUnlock);
    EXPECT_TRUE(mutex.Unlock());
    EXPECT_TRUE(OtherThreadCanLock(mutex));
    EXPECT_FALSE(mutex.Unlock());  // no longer ours
}

TEST(GuardMutex, InitiallyOwnedMutexBelongsToItsCreator) {
    CMutex mutex(TRUE);
    EXPECT_FALSE(OtherThreadCanLock(mutex));
    EXPECT_TRUE(mutex.Unlock());
    EXPECT_TRUE(OtherThreadCanLock(mutex));
}

TEST(GuardMutex, MutexesOfOneNameAreOneObject) {
    CMutex first(FALSE, "PortlookGuardTestMutex");
    CMutex second(FALSE, "PortlookGuardTestMutex");
    ASSERT_TRUE(first.Lock());
    EXPECT_FALSE(OtherThreadCanLock(second));
    EXPECT_TRUE(first.Unlock());
    EXPECT_TRUE(OtherThreadCanLock(second));
}

TEST(GuardMutex, MutexThatCouldNotBeCreatedFailsToLockAtOnce) {
    // The name is taken by an event, so no mutex of that name can be made.
    const KernelHandle event(::CreateEventA(nullptr, TRUE, FALSE, "PortlookGuardTestName"));
    ASSERT_TRUE(event.IsValid());
    CMutex mutex(FALSE, "PortlookGuardTestName");
    const DWORD start = ::GetTickCount();
    EXPECT_FALSE(mutex.Lock());  // no time limit, yet it must not wait
    EXPECT_LT(::GetTickCount() - start, 1000u);
    EXPECT_FALSE(mutex.Unlock());
}

// ---------------------------------------------------------------------------------------------
// Names

TEST(GuardNames, BlockIsNamedAfterTheProgramFile) {
    Report report = RunOnce(HelperPath(), {"name"});
    EXPECT_EQ(report["app"], "portlook_guard_instance");
    EXPECT_EQ(report["mapping"], kMappingName);
    EXPECT_EQ(report["registered"], "1");

    // Only the last extension goes; dots and spaces before it stay.
    const CopiedProgram copy(HelperPath(), "Portlook.Guard Copy.exe");
    ASSERT_TRUE(copy.Copied());
    report = RunOnce(copy.Path(), {"name"});
    EXPECT_EQ(report["app"], "Portlook.Guard Copy");
    EXPECT_EQ(report["mapping"], "CSingleInstance_MMF_Portlook.Guard Copy");
}

TEST(GuardNames, TitleStringNamesTheApplicationWhateverTheFileIsCalled) {
    Report report = RunOnce(TitledHelperPath(), {"name"});
    EXPECT_EQ(report["app"], "Portlook Guard Title");
    EXPECT_EQ(report["mapping"], "CSingleInstance_MMF_Portlook Guard Title");

    const CopiedProgram copy(TitledHelperPath(), "renamed.exe");
    ASSERT_TRUE(copy.Copied());
    EXPECT_EQ(RunOnce(copy.Path(), {"name"})["app"], "Portlook Guard Title");
}

// ---------------------------------------------------------------------------------------------
// Instances

// Every guard test starts with a window of its own in front, so that a change of the
// foreground window is the guard's doing.
class GuardInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(BlockExists(kMappingName)) << "a block left over from an earlier test";
        ASSERT_TRUE(m_front.m_hWnd);
        BringFrontWindowForward();
    }

    void BringFrontWindowForward() {
        ::SetForegroundWindow(m_front.m_hWnd);
        ASSERT_TRUE(
            WaitUntil([this] { return ::GetForegroundWindow() == m_front.m_hWnd; }, kTimeoutMs));
    }

    // A first instance that published itself, with our window in front again; its report is
    // kept in `report`.
    void StartFirst(Instance& first, Report* report) {
        ASSERT_TRUE(first.Started());
        *report = first.ReadReport();
        ASSERT_EQ((*report)["created"], "1");
        BringFrontWindowForward();
    }

    // Ends a first instance and checks that it closed its block before its application
    // object ended.
    static void EndFirst(Instance& first) {
        ASSERT_TRUE(first.Quit());
        EXPECT_EQ(first.ReadReport()["block"], "0") << "the block outlived its owner";
        EXPECT_EQ(first.WaitForExit(), 0);
    }

    TestWindow m_front{"Guard test front window"};
};

TEST_F(GuardInstanceTest, SecondStartFindsTheFirstAndBringsItForward) {
    Instance first(HelperPath(), {"first"});
    Report report;
    StartFirst(first, &report);
    EXPECT_EQ(report["previous"], "0");
    const HWND main = ParseWindow(report["main"]);
    ASSERT_TRUE(::IsWindow(main));

    // The block holds the first instance's main window.
    HWND published = nullptr;
    ASSERT_TRUE(ReadBlock(kMappingName, &published));
    EXPECT_EQ(published, main);

    report = RunOnce(HelperPath(), {"second"});
    EXPECT_EQ(report["previous"], "1");
    EXPECT_EQ(report["restored"], Hex(main));
    EXPECT_TRUE(WaitUntil([main] { return ::GetForegroundWindow() == main; }, kTimeoutMs))
        << "foreground: " << Hex(::GetForegroundWindow());

    EndFirst(first);
}

TEST_F(GuardInstanceTest, AfterTheFirstHasEndedANewStartFindsNone) {
    Report report;
    {
        Instance first(HelperPath(), {"first"});
        StartFirst(first, &report);
        EndFirst(first);
    }
    EXPECT_FALSE(BlockExists(kMappingName));

    report = RunOnce(HelperPath(), {"second"});
    EXPECT_EQ(report["previous"], "0");
    EXPECT_EQ(report["restored"], "00000000");

    Instance again(HelperPath(), {"first"});
    StartFirst(again, &report);
    EXPECT_EQ(report["previous"], "0");
    EXPECT_EQ(again.End(), 0);
}

TEST_F(GuardInstanceTest, CopyUnderAnotherNameRunsBesideTheFirst) {
    Instance first(HelperPath(), {"first"});
    Report report;
    StartFirst(first, &report);
    const HWND main = ParseWindow(report["main"]);

    const CopiedProgram copy(HelperPath(), "portlook_guard_other.exe");
    ASSERT_TRUE(copy.Copied());
    EXPECT_EQ(RunOnce(copy.Path(), {"second"})["previous"], "0");
    EXPECT_EQ(::GetForegroundWindow(), m_front.m_hWnd);

    Instance beside(copy.Path(), {"first"});
    StartFirst(beside, &report);
    EXPECT_EQ(report["previous"], "0");
    HWND published = nullptr;
    ASSERT_TRUE(ReadBlock("CSingleInstance_MMF_portlook_guard_other", &published));
    EXPECT_EQ(published, ParseWindow(report["main"]));
    ASSERT_TRUE(ReadBlock(kMappingName, &published));
    EXPECT_EQ(published, main);

    EXPECT_EQ(beside.End(), 0);
    EXPECT_EQ(first.End(), 0);
}

// The arrangements of the first instance that RestorePrevious must undo.
struct Arrangement {
    const char* name;
    bool popup;
    bool minimise;
};

class GuardRestoreTest : public GuardInstanceTest,
                         public ::testing::WithParamInterface<Arrangement> {};

TEST_P(GuardRestoreTest, RestoresTheFirstAndFrontsItsLastActivePopup) {
    const Arrangement arrangement = GetParam();
    std::vector<std::string> options{"first"};
    if (arrangement.popup) options.push_back("--popup");
    if (arrangement.minimise) options.push_back("--minimize");
    Instance first(HelperPath(), options);
    Report report;
    StartFirst(first, &report);
    const HWND main = ParseWindow(report["main"]);
    const HWND popup = ParseWindow(report["popup"]);
    ASSERT_TRUE(::IsWindow(main));
    ASSERT_EQ(::IsWindow(popup) != FALSE, arrangement.popup);
    ASSERT_EQ(::IsIconic(main) != FALSE, arrangement.minimise);
    const HWND expectedFront = arrangement.popup ? popup : main;

    report = RunOnce(HelperPath(), {"second"});
    EXPECT_EQ(report["previous"], "1");
    EXPECT_EQ(report["restored"], Hex(main));

    EXPECT_TRUE(
        WaitUntil([expectedFront] { return ::GetForegroundWindow() == expectedFront; }, kTimeoutMs))
        << "foreground: " << Hex(::GetForegroundWindow()) << ", main " << Hex(main) << ", pop-up "
        << Hex(popup);
    EXPECT_FALSE(::IsIconic(main));
    EXPECT_TRUE(::IsWindowVisible(expectedFront));

    EndFirst(first);
}

INSTANTIATE_TEST_SUITE_P(Arrangements, GuardRestoreTest,
                         ::testing::Values(Arrangement{"Minimised", false, true},
                                           Arrangement{"Popup", true, false},
                                           Arrangement{"MinimisedWithPopup", true, true}),
                         [](const ::testing::TestParamInfo<Arrangement>& param) {
                             return std::string(param.param.name);
                         });

TEST_F(GuardInstanceTest, BlockOfAnInstanceWithoutWindowActivatesNothing) {
    Instance first(HelperPath(), {"first", "--no-window"});
    Report report;
    StartFirst(first, &report);
    HWND published = ParseWindow("1");
    ASSERT_TRUE(ReadBlock(kMappingName, &published));
    EXPECT_EQ(published, nullptr);

    report = RunOnce(HelperPath(), {"second"});
    EXPECT_EQ(report["previous"], "1");
    EXPECT_EQ(report["restored"], "00000000");
    WaitUntil([] { return false; }, 300);
    EXPECT_EQ(::GetForegroundWindow(), m_front.m_hWnd);

    EndFirst(first);
}

TEST_F(GuardInstanceTest, BlockNamingAWindowThatIsGoneActivatesNothing) {
    HWND gone = nullptr;
    {
        TestWindow window("Guard test window that goes");
        gone = window.m_hWnd;
    }
    ASSERT_TRUE(gone);
    ASSERT_FALSE(::IsWindow(gone));

    // The block an instance that has since ended would have left.
    const KernelHandle mapping(
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4, kMappingName));
    ASSERT_TRUE(mapping.IsValid());
    void* view = ::MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 4);
    ASSERT_TRUE(view);
    *static_cast<LONG*>(view) = static_cast<LONG>(reinterpret_cast<LONG_PTR>(gone));
    ::UnmapViewOfFile(view);

    Report report = RunOnce(HelperPath(), {"second"});
    EXPECT_EQ(report["previous"], "1");
    EXPECT_EQ(report["restored"], Hex(gone));
    WaitUntil([] { return false; }, 300);
    EXPECT_EQ(::GetForegroundWindow(), m_front.m_hWnd);
}

// Two instances that both passed their check: the later Create finds the block, writes
// nothing and keeps it open until its application object ends.
TEST_F(GuardInstanceTest, CreateThatFindsAnEarlierBlockWritesNothingAndHoldsIt) {
    Instance first(HelperPath(), {"first"});
    Report report;
    StartFirst(first, &report);
    const HWND main = ParseWindow(report["main"]);

    Instance racer(HelperPath(), {"first", "--no-check"});
    ASSERT_TRUE(racer.Started());
    report = racer.ReadReport();
    EXPECT_EQ(report["created"], "0");
    ASSERT_NE(ParseWindow(report["main"]), main);
    HWND published = nullptr;
    ASSERT_TRUE(ReadBlock(kMappingName, &published));
    EXPECT_EQ(published, main);

    ASSERT_TRUE(first.Quit());
    EXPECT_EQ(first.ReadReport()["block"], "1");  // the racer still holds it
    EXPECT_EQ(first.WaitForExit(), 0);
    ASSERT_TRUE(ReadBlock(kMappingName, &published));
    EXPECT_EQ(published, main);

    // A further start finds the block and the first instance's window, now gone.
    report = RunOnce(HelperPath(), {"second"});
    EXPECT_EQ(report["previous"], "1");
    EXPECT_EQ(report["restored"], Hex(main));

    EXPECT_EQ(racer.End(), 0);
    EXPECT_FALSE(BlockExists(kMappingName));
}

// A later instance keeps at most the handle of its last check, and none after
// RestorePrevious: once the first instance has ended, only a holder keeps the block alive.
TEST_F(GuardInstanceTest, LaterInstanceKeepsNoHandleToTheBlockOnceRestored) {
    Instance first(HelperPath(), {"first"});
    Report report;
    StartFirst(first, &report);

    Instance restored(HelperPath(), {"second", "--checks", "3", "--hold"});
    ASSERT_TRUE(restored.Started());
    EXPECT_EQ(restored.ReadReport()["previous"], "1");
    Instance holding(HelperPath(), {"second", "--checks", "3", "--no-restore", "--hold"});
    ASSERT_TRUE(holding.Started());
    EXPECT_EQ(holding.ReadReport()["previous"], "1");

    EXPECT_EQ(first.End(), 0);
    EXPECT_TRUE(BlockExists(kMappingName)) << "the instance that did not restore holds it";
    EXPECT_EQ(holding.End(), 0);
    EXPECT_FALSE(BlockExists(kMappingName)) << "a handle outlived IsPreviousInstance";
    EXPECT_EQ(restored.End(), 0);
}

}  // namespace
