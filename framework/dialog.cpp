#include "framework/dialog.h"

#include <cassert>

#include "framework/win_app.h"
#include "base/win32_handles.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

namespace {

bool KeyIsDown(int key) { return ::GetKeyState(key) < 0; }

}  // namespace

// The dialog loop shows every message to this filter before the dialog sees it: F1 alone,
// anywhere in a dialog, asks the dialog for help, and the dialog sees the rest first.
LRESULT CALLBACK CDialog::ModalMessageFilter(int code, WPARAM wParam, LPARAM lParam) {
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    if (code == MSGF_DIALOGBOX) {
        const HWND root = ::GetAncestor(message->hwnd, GA_ROOT);
        if (message->message == WM_KEYDOWN && message->wParam == VK_F1 && !KeyIsDown(VK_SHIFT) &&
            !KeyIsDown(VK_CONTROL) && !KeyIsDown(VK_MENU)) {
            ::SendMessageA(root, WM_COMMAND, ID_HELP, 0);
            return TRUE;
        }
        // Only dialogs of ours carry their object.
        if (root &&
            reinterpret_cast<DLGPROC>(::GetWindowLongPtrA(root, DWLP_DLGPROC)) == DialogProc) {
            auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(root, DWLP_USER));
            if (dialog && dialog->PreTranslateMessage(*message)) return TRUE;
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

bool DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
    if (control.m_hWnd) return true;
    const bool bound = control.SubclassDlgItem(static_cast<UINT>(id), pDX->m_pDlgWnd);
    // A template without the item, or an item already bound elsewhere, is a program error.
    assert(bound);
    return bound;
}

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDTemplate(templateId), m_pParentWnd(parent) {
    m_nIDHelp = templateId;
}

INT_PTR CDialog::DoModal() {
    static const BOOL controlsRegistered = [] {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_LISTVIEW_CLASSES};
        return ::InitCommonControlsEx(&init);
    }();
    (void)controlsRegistered;
    const WindowsHook helpKey(
        ::SetWindowsHookExA(WH_MSGFILTER, ModalMessageFilter, nullptr, ::GetCurrentThreadId()));
    return ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_nIDTemplate),
                             m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr, DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

bool CDialog::UpdateData(bool saveAndValidate) {
    CDataExchange exchange{this, saveAndValidate};
    DoDataExchange(&exchange);
    return true;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(false);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() {
    if (UpdateData(true)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

LRESULT CDialog::DefWindowProc(UINT, WPARAM, LPARAM) {
    SetMsgHandled(false);
    return 0;
}

void CDialog::CenterInWorkArea() {
    RECT window{};
    ::GetWindowRect(m_hWnd, &window);
    if (window.left != 0 || window.top != 0 || m_pParentWnd) return;
    RECT work{};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const LONG width = window.right - window.left;
    const LONG height = window.bottom - window.top;
    LONG x = work.left + (work.right - work.left - width) / 2;
    LONG y = work.top + (work.bottom - work.top - height) / 2;
    if (x + width > work.right) x = work.right - width;
    if (y + height > work.bottom) y = work.bottom - height;
    if (x < work.left) x = work.left;
    if (y < work.top) y = work.top;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CDialog*>(lParam);
        dialog->m_hWnd = hWnd;
        ::SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
        const BOOL focusDefault = dialog->OnInitDialog();
        if (::IsWindow(hWnd)) dialog->CenterInWorkArea();
        return focusDefault;
    }
    auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hWnd, DWLP_USER));
    if (!dialog) return FALSE;
    LRESULT result = 0;
    bool handled = dialog->OnWndMsg(message, wParam, lParam, result);
    // Commands the dialog leaves go on to the application, as the framework routes them.
    if (!handled && message == WM_COMMAND && AfxGetApp()) {
        handled = AfxGetApp()->Dispatch(hWnd, message, wParam, lParam, result);
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hWnd, DWLP_USER, 0);
        dialog->m_hWnd = nullptr;
    }
    if (!handled) return FALSE;
    switch (message) {
        // These answer through the procedure's own result.
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
            return static_cast<INT_PTR>(result);
        default:
            ::SetWindowLongPtrA(hWnd, DWLP_MSGRESULT, result);
            return TRUE;
    }
}
