// A window object: the window's handle, its message map, and the one place where messages
// enter the map, with notifications offered to the child they came from first.
#pragma once

#include "framework/message_map.h"

class CWnd : public CCmdTarget {
    DECLARE_DYNAMIC(CWnd)

public:
    CWnd() = default;
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }

    // Every message for this object comes through here. A WM_NOTIFY from a child that has an
    // object of its own goes to that child's map first, as OCM_NOTIFY, by a direct call; only
    // when the child leaves it does this object's map see it.
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // Takes over an existing window (a dialog control, say) until it is destroyed.
    bool SubclassWindow(HWND hWnd);
    bool SubclassDlgItem(UINT id, const CWnd* parent);
    HWND UnsubclassWindow();
    // Creates a window of the framework's own class, bound to this object from WM_NCCREATE on.
    bool CreateEx(DWORD exStyle, LPCSTR windowName, DWORD style, const RECT& rect, HWND parent,
                  UINT id);
    bool DestroyWindow();
    // The object behind a subclassed or framework-created window, or null.
    static CWnd* FromHandlePermanent(HWND hWnd);

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    HWND GetParent() const { return ::GetParent(m_hWnd); }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_STYLE)); }
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
    void MoveWindow(int x, int y, int width, int height, bool repaint = true) {
        ::MoveWindow(m_hWnd, x, y, width, height, repaint ? TRUE : FALSE);
    }
    bool IsWindow() const { return ::IsWindow(m_hWnd) != FALSE; }
    bool IsIconic() const { return ::IsIconic(m_hWnd) != FALSE; }
    // Whether the window was visible before.
    bool ShowWindow(int command) { return ::ShowWindow(m_hWnd, command) != FALSE; }
    void SetWindowText(LPCSTR text) { ::SetWindowTextA(m_hWnd, text); }
    void SetDlgItemText(int id, LPCSTR text) { ::SetDlgItemTextA(m_hWnd, id, text); }
    UINT IsDlgButtonChecked(int id) const { return ::IsDlgButtonChecked(m_hWnd, id); }
    HICON SetIcon(HICON icon, bool big) {
        return reinterpret_cast<HICON>(
            SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
    }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse) { return ::SetTimer(m_hWnd, id, elapse, nullptr); }
    bool KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id) != FALSE; }
    bool ModifyStyle(DWORD remove, DWORD add, UINT swpFlags = 0);

    // The window's default processing of the message being handled.
    LRESULT Default() {
        const CurrentMessage& current = GetCurrentMessage();
        return DefWindowProc(current.message, current.wParam, current.lParam);
    }
    // What a handler calls to pass its message on.
    void OnPaint() { Default(); }
    void OnTimer(UINT_PTR) { Default(); }
    void OnSize(UINT, int, int) { Default(); }
    int OnCreate(LPCREATESTRUCTA) { return static_cast<int>(Default()); }

    // Which help topic belongs to this window.
    UINT m_nIDHelp = 0;

protected:
    // What the window's own procedure does with a message the map left.
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK FrameworkWindowProc(HWND hWnd, UINT message, WPARAM wParam,
                                                LPARAM lParam);
    static LRESULT CALLBACK SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    bool m_bSubclassed = false;
    WNDPROC m_pfnSuper = nullptr;  // the control's own procedure
};
