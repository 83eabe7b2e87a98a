#include "framework/cmd_target.h"

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

bool CCmdTarget::ProcessWindowMessage(HWND, UINT, WPARAM, LPARAM, LRESULT&) { return false; }

bool CCmdTarget::Dispatch(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    const bool outerHandled = m_bMsgHandled;
    const CurrentMessage outerMessage = m_currentMessage;
    m_currentMessage = CurrentMessage{message, wParam, lParam};
    const bool handled = ProcessWindowMessage(hWnd, message, wParam, lParam, result);
    m_bMsgHandled = outerHandled;
    m_currentMessage = outerMessage;
    return handled;
}
