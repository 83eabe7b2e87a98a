// Portlook's window with a probe the test holds, for the tests of surveys beside the window:
// Portlook.exe itself has no such switch.
//
//   portlook_slow_probe.exe PORT GATE LOG [DELAY_MS [COUNTS]]
//
// Every probe writes its port to LOG, a line each. A probe of PORT ("*": of every port) waits
// while the file GATE exists, or DELAY_MS milliseconds when given, as an open of a Bluetooth
// port waits for its device; then all probe as the program does.
// With COUNTS, for the soak: the holder lookup's name query hangs on every handle to a port,
// and kCountObjectsMessage sent to the dialog writes this process's counts and the number of
// stuck queries to the file COUNTS, counted on the dialog's thread between two of its messages.
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "base/win32_handles.h"
#include "framework/win_app.h"
#include "tests/robustness/object_counts.h"
#include "tests/win32/stuck_name_query.h"
#include "ui/port_list_dlg.h"

namespace {

std::string g_slowPort;
std::string g_gate;
std::string g_log;
DWORD g_delayMs = 0;
std::mutex g_logMutex;
std::string g_counts;
UINT g_countMessage = 0;

PortStatus HeldProbe(const char* port) {
    {
        const std::lock_guard<std::mutex> lock(g_logMutex);
        if (FILE* log = std::fopen(g_log.c_str(), "a")) {
            std::fprintf(log, "%s\n", port);
            std::fclose(log);
        }
    }
    if (g_slowPort == port || g_slowPort == "*") {
        if (g_delayMs) ::Sleep(g_delayMs);
        while (::GetFileAttributesA(g_gate.c_str()) != INVALID_FILE_ATTRIBUTES) ::Sleep(10);
    }
    return ProbePort(port);
}

LRESULT CALLBACK CountOnRequest(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION &&
        reinterpret_cast<const CWPSTRUCT*>(lParam)->message == g_countMessage) {
        const ObjectCounts counts = CountObjects();
        const long stuck = StuckNameQueries();
        if (FILE* file = std::fopen(g_counts.c_str(), "wb")) {
            std::fwrite(&counts, sizeof counts, 1, file);
            std::fwrite(&stuck, sizeof stuck, 1, file);
            std::fclose(file);
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

class SlowProbeApp : public CWinApp {
public:
    BOOL InitInstance() override {
        if (__argc < 4 || __argc > 6) return FALSE;
        g_slowPort = __argv[1];
        g_gate = __argv[2];
        g_log = __argv[3];
        if (__argc >= 5) g_delayMs = static_cast<DWORD>(std::strtoul(__argv[4], nullptr, 10));
        WindowsHook hook;
        if (__argc == 6) {
            g_counts = __argv[5];
            g_countMessage = ::RegisterWindowMessageA(kCountObjectsMessage);
            StickNameQueriesOfPorts();
            hook.Reset(::SetWindowsHookExA(WH_CALLWNDPROC, CountOnRequest, nullptr,
                                           ::GetCurrentThreadId()));
        }
        CPortListDlg dialog(nullptr, nullptr, HeldProbe);
        m_pMainWnd = &dialog;
        dialog.DoModal();
        m_pMainWnd = nullptr;
        return FALSE;
    }
};

SlowProbeApp theApp;

}  // namespace
