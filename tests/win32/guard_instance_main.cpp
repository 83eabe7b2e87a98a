// One instance of a program guarded by CSingleInstance, played for the guard's tests. The
// application object is a global of this file, as the program's is.
//
//   name     reports the application name, the block name and the registration
//   first [--no-check] [--no-window] [--popup] [--minimize]
//            publishes a real window (or none), reports its handles and runs until WM_QUIT;
//            reports at exit whether the block could still be opened when the application
//            object ended
//   second [--checks N] [--no-restore] [--hold]
//            looks for an earlier instance N times, restores it, reports what it found and,
//            with --hold, stays until WM_QUIT
//
// Reports are lines of tab-separated key=value fields on standard output.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/single_instance.h"

namespace {

void Report(const std::string& line) {
    const std::string text = line + "\n";
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
                &written, nullptr);
}

std::string Hex(HWND window) {
    char text[16];
    std::snprintf(text, sizeof text, "%08lx",
                  static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)));
    return text;
}

void RunMessageLoop() {
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

bool HasOption(int argc, char** argv, const char* option) {
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], option) == 0) return true;
    }
    return false;
}

int OptionValue(int argc, char** argv, const char* option, int fallback) {
    for (int i = 2; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], option) == 0) return std::atoi(argv[i + 1]);
    }
    return fallback;
}

}  // namespace

class CGuardInstanceApp : public CSingleInstance {
public:
    ~CGuardInstanceApp() override;
    int Run(int argc, char** argv);

private:
    int RunFirst(int argc, char** argv);
    int RunSecond(int argc, char** argv);
    bool m_bReportExit = false;
};

CGuardInstanceApp theApp;

CGuardInstanceApp::~CGuardInstanceApp() {
    if (!m_bReportExit) return;
    // By now the owner of the block we created must have closed it.
    const KernelHandle block(::OpenFileMappingA(FILE_MAP_READ, FALSE, GetMappingName().c_str()));
    Report(std::string("exit=1\tblock=") + (block.IsValid() ? "1" : "0"));
}

int CGuardInstanceApp::Run(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "name") {
        Report(std::string("app=") + m_pszAppName + "\tmapping=" + GetMappingName() +
               "\tregistered=" + (AfxGetApp() == this ? "1" : "0"));
        return 0;
    }
    if (mode == "first") return RunFirst(argc, argv);
    if (mode == "second") return RunSecond(argc, argv);
    Report("error=usage");
    return 2;
}

int CGuardInstanceApp::RunFirst(int argc, char** argv) {
    CWnd main;
    CWnd popup;
    if (!HasOption(argc, argv, "--no-window")) {
        const RECT frame{100, 100, 500, 400};
        if (!main.CreateEx(0, "Guard first instance", WS_OVERLAPPEDWINDOW | WS_VISIBLE, frame,
                           nullptr, 0)) {
            Report("error=window");
            return 3;
        }
        ::SetForegroundWindow(main.m_hWnd);
        m_pMainWnd = &main;
    }
    if (main.m_hWnd && HasOption(argc, argv, "--popup")) {
        const RECT frame{200, 200, 400, 300};
        if (!popup.CreateEx(0, "Guard pop-up", WS_POPUP | WS_CAPTION | WS_VISIBLE, frame,
                            main.m_hWnd, 0)) {
            Report("error=popup");
            return 3;
        }
        ::SetForegroundWindow(popup.m_hWnd);
    }

    const std::string previous =
        HasOption(argc, argv, "--no-check") ? "-" : (IsPreviousInstance() ? "1" : "0");
    const bool created = Create();
    if (main.m_hWnd && HasOption(argc, argv, "--minimize")) main.ShowWindow(SW_MINIMIZE);
    m_bReportExit = true;
    Report("previous=" + previous + "\tcreated=" + (created ? "1" : "0") +
           "\tmain=" + Hex(main.m_hWnd) + "\tpopup=" + Hex(popup.m_hWnd));

    RunMessageLoop();
    m_pMainWnd = nullptr;
    popup.DestroyWindow();
    main.DestroyWindow();
    return 0;
}

int CGuardInstanceApp::RunSecond(int argc, char** argv) {
    bool previous = false;
    for (int i = OptionValue(argc, argv, "--checks", 1); i > 0; --i) {
        previous = IsPreviousInstance();
    }
    HWND restored = nullptr;
    if (previous && !HasOption(argc, argv, "--no-restore")) restored = RestorePrevious();
    const bool hold = HasOption(argc, argv, "--hold");
    // The queue must exist before the tester can post WM_QUIT to it.
    MSG msg;
    ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    Report(std::string("previous=") + (previous ? "1" : "0") + "\trestored=" + Hex(restored));
    if (hold) RunMessageLoop();
    return 0;
}

int main(int argc, char** argv) { return theApp.Run(argc, argv); }
