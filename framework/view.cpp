#include "framework/view.h"

#include "framework/paint_dc.h"

IMPLEMENT_DYNAMIC(CView, CWnd)

BEGIN_MESSAGE_MAP(CView, CWnd)
ON_WM_PAINT()
END_MESSAGE_MAP()

void CView::OnPaint() {
    const CPaintDC dc(m_hWnd);
    OnDraw(dc.GetSafeHdc());
}
