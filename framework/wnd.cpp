#include "framework/wnd.h"

#include <cassert>

IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

CWnd::~CWnd() {
    // An object may end before its window; the window must not keep calling into it.
    if (m_bSubclassed) UnsubclassWindow();
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this) {
        ::SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
    }
}

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_NOTIFY) {
        // Only our own children's notifications go back to them: anyone may send us a
        // WM_NOTIFY naming any window.
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        CWnd* child = header && ::GetParent(header->hwndFrom) == m_hWnd
                          ? FromHandlePermanent(header->hwndFrom)
                          : nullptr;
        if (child && child != this &&
            child->Dispatch(child->m_hWnd, OCM_NOTIFY, wParam, lParam, result)) {
            return true;
        }
    }
    return Dispatch(m_hWnd, message, wParam, lParam, result);
}

namespace {
constexpr char kWindowClassName[] = "PortlookWnd";
}  // namespace

// The object sits in the control's GWLP_USERDATA, which controls leave to the application:
// reading it stays in the process, where a window property costs a wineserver call.
LRESULT CALLBACK CWnd::SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* wnd = reinterpret_cast<CWnd*>(::GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    // Something cleared the slot under us: without the object its window gets the default.
    assert(wnd);
    if (!wnd) return ::DefWindowProcA(hWnd, message, wParam, lParam);
    const WNDPROC super = wnd->m_pfnSuper;
    LRESULT result = 0;
    if (message != WM_NCDESTROY && wnd->OnWndMsg(message, wParam, lParam, result)) return result;
    if (message == WM_NCDESTROY) wnd->UnsubclassWindow();
    return ::CallWindowProcA(super, hWnd, message, wParam, lParam);
}

LRESULT CALLBACK CWnd::FrameworkWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        auto* wnd = static_cast<CWnd*>(create->lpCreateParams);
        wnd->m_hWnd = hWnd;
        ::SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(wnd));
    }
    CWnd* wnd = reinterpret_cast<CWnd*>(::GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    if (!wnd) return ::DefWindowProcA(hWnd, message, wParam, lParam);
    LRESULT result = 0;
    if (!wnd->OnWndMsg(message, wParam, lParam, result)) {
        result = wnd->DefWindowProc(message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hWnd, GWLP_USERDATA, 0);
        wnd->m_hWnd = nullptr;
    }
    return result;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_bSubclassed) return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

bool CWnd::SubclassWindow(HWND hWnd) {
    if (!hWnd || FromHandlePermanent(hWnd)) return false;
    ::SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc)));
    if (!m_pfnSuper) {
        ::SetWindowLongPtrA(hWnd, GWLP_USERDATA, 0);
        return false;
    }
    m_hWnd = hWnd;
    m_bSubclassed = true;
    return true;
}

bool CWnd::SubclassDlgItem(UINT id, const CWnd* parent) {
    HWND control = ::GetDlgItem(parent->m_hWnd, static_cast<int>(id));
    return control && SubclassWindow(control);
}

HWND CWnd::UnsubclassWindow() {
    HWND hWnd = m_hWnd;
    // Only a procedure still ours is put back: someone may have subclassed after us.
    if (m_bSubclassed &&
        reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(hWnd, GWLP_WNDPROC)) == SubclassProc) {
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
        ::SetWindowLongPtrA(hWnd, GWLP_USERDATA, 0);
    }
    m_bSubclassed = false;
    m_hWnd = nullptr;
    return hWnd;
}

bool CWnd::CreateEx(DWORD exStyle, LPCSTR windowName, DWORD style, const RECT& rect, HWND parent,
                    UINT id) {
    static const ATOM windowClass = [] {
        WNDCLASSA wc{};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = FrameworkWindowProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.lpszClassName = kWindowClassName;
        return ::RegisterClassA(&wc);
    }();
    if (!windowClass) return false;
    // A child's id travels in the menu argument.
    HMENU menu = (style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)) : nullptr;
    return ::CreateWindowExA(exStyle, kWindowClassName, windowName, style, rect.left, rect.top,
                             rect.right - rect.left, rect.bottom - rect.top, parent, menu,
                             ::GetModuleHandleA(nullptr), this) != nullptr;
}

bool CWnd::DestroyWindow() { return m_hWnd && ::DestroyWindow(m_hWnd) != FALSE; }

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
    if (!hWnd) return nullptr;
    const auto procedure = reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(hWnd, GWLP_WNDPROC));
    if (procedure == SubclassProc || procedure == FrameworkWindowProc) {
        return reinterpret_cast<CWnd*>(::GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    }
    return nullptr;
}

bool CWnd::ModifyStyle(DWORD remove, DWORD add, UINT swpFlags) {
    const DWORD style = GetStyle();
    const DWORD newStyle = (style & ~remove) | add;
    if (style == newStyle) return false;
    ::SetWindowLongA(m_hWnd, GWL_STYLE, static_cast<LONG>(newStyle));
    if (swpFlags) {
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
    }
    return true;
}
