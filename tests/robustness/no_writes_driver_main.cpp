// Runs a program under trace for no_writes_test.py, the same way for Portlook.exe and for the
// idle program: writes the SERIALCOMM values, starts the program with every call it makes into
// Wine traced, refreshes once with "&Single", lets "&Continuously" tick twice, and ends the
// program with IDCANCEL. Prints the program's process id and its exit code.
#include <cstdio>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/win32/program_process.h"
#include "tests/support/serial_comm_key.h"

namespace {

constexpr DWORD kContinuousMs = 5000;  // two ticks of the 2000 ms timer, with room

// Wine's relay trace, limited to calls made by the program's own module. Wine ignores the
// include list while an exclude list is set.
bool TraceCallsFrom(const std::string& module) {
    HKEY opened = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Debug", 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, &opened, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const RegKey key(opened);
    ::RegDeleteValueA(key.Get(), "RelayFromExclude");
    return ::RegSetValueExA(key.Get(), "RelayFromInclude", 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(module.c_str()),
                            static_cast<DWORD>(module.size() + 1)) == ERROR_SUCCESS;
}

void Click(HWND dialog, int id) { ::SendMessageA(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PROGRAM.exe\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    const std::vector<std::string> ports = AvailablePorts();
    if (ports.size() < 2) {
        std::fprintf(stderr, "run through scripts/wine-run\n");
        return 2;
    }
    const std::string module = path.substr(path.find_last_of("\\/") + 1);
    const std::vector<std::string> listed = {ports[0], ports[1],
                                             EnvironmentValue("PORTLOOK_PORT_MISSING"),
                                             EnvironmentValue("PORTLOOK_PORT_DENIED")};
    SerialCommKey key;
    bool prepared = TraceCallsFrom(module) && key.IsOpen();
    std::string portList;
    for (size_t i = 0; i < listed.size(); ++i) {
        prepared = prepared && key.SetText("\\Device\\Serial" + std::to_string(i), listed[i]);
        portList += (i ? "," : "") + listed[i];
    }
    if (!prepared) {
        std::fprintf(stderr, "cannot prepare the registry\n");
        return 1;
    }
    std::printf("ports %s\n", portList.c_str());
    // The desktop's own process starts now, so that it does not inherit the trace.
    ::GetDesktopWindow();

    // Wine takes WINEDEBUG from the environment a process starts with, so only the program is
    // traced (to the session's stderr), whatever scripts/wine-run set for the rest.
    ::SetEnvironmentVariableA("WINEDEBUG", "+pid,+relay");
    ChildProcess program(path, ChildOptions{{}, false});
    ::SetEnvironmentVariableA("WINEDEBUG", "-all");
    if (!program.IsRunning()) {
        std::fprintf(stderr, "cannot start %s\n", path.c_str());
        return 1;
    }
    std::printf("pid %04lx\n", static_cast<unsigned long>(program.Id()));
    HWND dialog = WaitForWindow(program, "#32770", nullptr, 30000);
    if (!dialog) {
        std::fprintf(stderr, "%s showed no dialog\n", path.c_str());
        return 1;
    }
    ::WaitForInputIdle(program.Handle(), 30000);

    const bool hasRefresh = ::GetDlgItem(dialog, IDC_SINGLE) != nullptr;
    if (hasRefresh) Click(dialog, IDC_SINGLE);
    // Surveys run beside the window: switching on while one is in flight would skip the
    // switch's own survey.
    ::Sleep(500);
    if (hasRefresh) Click(dialog, IDC_CONTINUOUSLY);
    ::Sleep(kContinuousMs);
    if (hasRefresh) Click(dialog, IDC_CONTINUOUSLY);
    std::printf("refreshed: %s\n", hasRefresh ? "yes" : "no");

    ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    const ChildRun end = program.Finish(std::chrono::seconds(15));
    if (!end.ended) {
        std::fprintf(stderr, "%s did not end\n", path.c_str());
        return 1;
    }
    std::printf("exit code %d\n", end.exitCode);
    std::fflush(stdout);
    return end.exitCode == 0 ? 0 : 1;
}
