// A message-only window that the system tells when COM port interfaces come and go, as the
// dialog is told; and that a console control handler can find to ask the program to stop.
#pragma once

#include <string>

#include "base/win32_handles.h"

class DeviceChangeWindow {
public:
    static constexpr char kClassName[] = "PortlookDeviceChange";

    DeviceChangeWindow();
    ~DeviceChangeWindow();
    DeviceChangeWindow(const DeviceChangeWindow&) = delete;
    DeviceChangeWindow& operator=(const DeviceChangeWindow&) = delete;

    HWND Get() const { return m_window; }
    // Why the system will not tell of devices; empty when it will.
    const std::string& Problem() const { return m_problem; }

    // Hands this thread's waiting messages to their windows.
    void Dispatch();
    // Whether devices came or went, or a stop was asked for (WM_CLOSE), since the last call.
    bool TakeChange();
    bool StopAsked() const { return m_stop; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_window = nullptr;
    DeviceNotification m_notification;
    std::string m_problem;
    bool m_changed = false;
    bool m_stop = false;
};
