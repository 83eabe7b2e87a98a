// Portlook's window with a probe the test holds, for the tests of surveys beside the window:
// Portlook.exe itself has no such switch.
//
//   portlook_slow_probe.exe PORT GATE LOG [DELAY_MS]
//
// Every probe writes its port to LOG, a line each. A probe of PORT ("*": of every port) waits
// while the file GATE exists, or DELAY_MS milliseconds when given, as an open of a Bluetooth
// port waits for its device; then all probe as the program does.
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "framework/win_app.h"
#include "ui/port_list_dlg.h"

namespace {

std::string g_slowPort;
std::string g_gate;
std::string g_log;
DWORD g_delayMs = 0;
std::mutex g_logMutex;

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

class SlowProbeApp : public CWinApp {
public:
    BOOL InitInstance() override {
        if (__argc != 4 && __argc != 5) return FALSE;
        g_slowPort = __argv[1];
        g_gate = __argv[2];
        g_log = __argv[3];
        if (__argc == 5) g_delayMs = static_cast<DWORD>(std::strtoul(__argv[4], nullptr, 10));
        CPortListDlg dialog(nullptr, nullptr, HeldProbe);
        m_pMainWnd = &dialog;
        dialog.DoModal();
        m_pMainWnd = nullptr;
        return FALSE;
    }
};

SlowProbeApp theApp;

}  // namespace
