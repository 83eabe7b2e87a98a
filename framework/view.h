// A view: a child window that draws its document's contents, created by its frame.
#pragma once

#include "framework/wnd.h"

class CView : public CWnd {
    DECLARE_DYNAMIC(CView)

public:
    bool Create(LPCSTR windowName, DWORD style, const RECT& rect, HWND parent, UINT id) {
        return CreateEx(0, windowName, style, rect, parent, id);
    }

protected:
    virtual void OnDraw(HDC dc) = 0;
    void OnPaint();
    DECLARE_MESSAGE_MAP()
};
