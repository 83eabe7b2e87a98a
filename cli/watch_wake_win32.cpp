// The watch's waits on Windows: a message-only window for device notifications and for the
// console control handler's request to stop.
#include "cli/port_watch.h"
#include "ports/win32/device_change_window.h"

namespace {

// Runs on a thread of its own and is given no context: it finds this process's window by its
// class and asks it to stop, and the watch ends after the line it is writing.
BOOL WINAPI OnConsoleControl(DWORD) {
    for (HWND window = nullptr;
         (window = ::FindWindowExA(HWND_MESSAGE, window, DeviceChangeWindow::kClassName,
                                   nullptr)) != nullptr;) {
        DWORD process = 0;
        ::GetWindowThreadProcessId(window, &process);
        if (process == ::GetCurrentProcessId()) {
            ::PostMessageA(window, WM_CLOSE, 0, 0);
            return TRUE;
        }
    }
    return FALSE;
}

}  // namespace

struct WatchWake::State {
    DeviceChangeWindow devices;
    bool catchStop = false;
};

WatchWake::WatchWake(bool catchStop) : m_state(std::make_unique<State>()) {
    m_state->catchStop = catchStop && ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

WatchWake::~WatchWake() {
    if (m_state->catchStop) ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

std::string WatchWake::Problem() const { return m_state->devices.Problem(); }

WatchWake::Reason WatchWake::Wait(std::chrono::milliseconds most) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + most;
    for (;;) {
        m_state->devices.Dispatch();
        if (m_state->devices.StopAsked()) return Reason::Stop;
        if (m_state->devices.TakeChange()) return Reason::Devices;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) return Reason::Interval;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
    }
}
