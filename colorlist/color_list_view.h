// The colour list as a view: one list fills the view's client area, and the view's window
// style decides the list's view mode.
#pragma once

#include "colorlist/color_list_ctrl.h"
#include "framework/view.h"

class CColorListView : public CView {
    DECLARE_DYNCREATE(CColorListView)

public:
    CColorListCtrl m_list;

protected:
    void OnDraw(HDC) override {}
    int OnCreate(LPCREATESTRUCTA create);
    void OnSize(UINT type, int cx, int cy);
    BOOL OnEraseBkgnd(HDC) { return FALSE; }  // the list covers every pixel
    void OnStyleChanged(int which, LPSTYLESTRUCT styles);
    DECLARE_MESSAGE_MAP()
};
