#include "colorlist/color_list_view.h"

IMPLEMENT_DYNCREATE(CColorListView, CView)

BEGIN_MESSAGE_MAP(CColorListView, CView)
ON_WM_CREATE()
ON_WM_SIZE()
ON_WM_ERASEBKGND()
ON_WM_STYLECHANGED()
END_MESSAGE_MAP()

namespace {
// The low word of a view's style is list view style: view mode, sorting, selection.
constexpr DWORD kListStyleBits = 0xFFFF;
}  // namespace

int CColorListView::OnCreate(LPCREATESTRUCTA create) {
    if (CView::OnCreate(create) == -1) return -1;
    RECT client{};
    GetClientRect(&client);
    const DWORD style =
        (static_cast<DWORD>(create->style) & kListStyleBits) | WS_CHILD | WS_VISIBLE;
    if (!m_list.Create(style, client, m_hWnd, 0)) return -1;
    m_list.SetIconSpacing(80, 80);
    return 0;
}

void CColorListView::OnSize(UINT type, int cx, int cy) {
    CView::OnSize(type, cx, cy);
    if (m_list.m_hWnd) m_list.MoveWindow(0, 0, cx, cy, false);
}

void CColorListView::OnStyleChanged(int which, LPSTYLESTRUCT styles) {
    if (which == GWL_STYLE) m_list.ModifyStyle(kListStyleBits, styles->styleNew);
}
