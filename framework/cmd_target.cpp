#include "framework/cmd_target.h"

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

bool CCmdTarget::ProcessWindowMessage(HWND, UINT, WPARAM, LPARAM, LRESULT&) { return false; }

bool CCmdTarget::Dispatch(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    const bool outerHandled = m_bMsgHandled;
    const bool handled = ProcessWindowMessage(hWnd, message, wParam, lParam, result);
    m_bMsgHandled = outerHandled;
    return handled;
}
