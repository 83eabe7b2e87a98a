#include "ports/win32/device_change_window.h"

#include <dbt.h>

#include "ports/win32/port_notification.h"

DeviceChangeWindow::DeviceChangeWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kClassName;
    ::RegisterClassA(&windowClass);  // a class left from an earlier window serves as well
    m_window = ::CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 windowClass.hInstance, nullptr);
    if (!m_window) {
        m_problem =
            "no device notifications (no window: error " + std::to_string(::GetLastError()) + ")";
        return;
    }
    ::SetWindowLongPtrA(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_notification = NotifyOfComPorts(m_window);
    if (!m_notification.IsValid()) {
        m_problem = "no device notifications (error " + std::to_string(::GetLastError()) + ")";
    }
}

DeviceChangeWindow::~DeviceChangeWindow() {
    m_notification.Reset();
    if (m_window) ::DestroyWindow(m_window);
    ::UnregisterClassA(kClassName, ::GetModuleHandleA(nullptr));
}

void DeviceChangeWindow::Dispatch() {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
}

bool DeviceChangeWindow::TakeChange() {
    const bool changed = m_changed;
    m_changed = false;
    return changed;
}

LRESULT CALLBACK DeviceChangeWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
    auto* self = reinterpret_cast<DeviceChangeWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && message == WM_DEVICECHANGE) {
        // Which port came or went is not read: the next survey sees it.
        if (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE ||
            wParam == DBT_DEVNODES_CHANGED) {
            self->m_changed = true;
        }
        return TRUE;
    }
    if (self && message == WM_CLOSE) {
        self->m_stop = true;
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}
