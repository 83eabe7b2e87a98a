#include "framework/tool_tip_ctrl.h"

namespace {

// Without a manifest the tooltip is version 5, which refuses the newer, longer record.
TTTOOLINFOA ToolInfo(HWND owner, HWND tool, LPCSTR text = nullptr) {
    TTTOOLINFOA info{};
    info.cbSize = TTTOOLINFOA_V1_SIZE;
    info.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_ABSOLUTE;
    info.hwnd = owner;
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    info.lpszText = const_cast<LPSTR>(text);
    return info;
}

}  // namespace

bool CToolTipCtrl::Create(HWND owner) {
    INITCOMMONCONTROLSEX init{sizeof init, ICC_BAR_CLASSES};
    if (!::InitCommonControlsEx(&init)) return false;
    m_hWnd = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                               WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                               ::GetModuleHandleA(nullptr), nullptr);
    return m_hWnd != nullptr;
}

bool CToolTipCtrl::AddTool(HWND tool, LPCSTR text) {
    TTTOOLINFOA info = ToolInfo(::GetWindow(m_hWnd, GW_OWNER), tool, text);
    return SendMessage(TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info)) != 0;
}

void CToolTipCtrl::UpdateTipText(LPCSTR text, HWND tool) {
    TTTOOLINFOA info = ToolInfo(::GetWindow(m_hWnd, GW_OWNER), tool, text);
    SendMessage(TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&info));
}

void CToolTipCtrl::TrackActivate(bool activate, HWND tool) {
    TTTOOLINFOA info = ToolInfo(::GetWindow(m_hWnd, GW_OWNER), tool);
    SendMessage(TTM_TRACKACTIVATE, activate ? TRUE : FALSE, reinterpret_cast<LPARAM>(&info));
}
