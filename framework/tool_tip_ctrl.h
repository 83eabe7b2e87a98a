// A tooltip control: here, one tip over a whole window, shown and placed by its owner, whose
// text the owner keeps current.
#pragma once

#include "framework/wnd.h"

class CToolTipCtrl : public CWnd {
public:
    // A tooltip owned by `owner`; it ends with its owner.
    bool Create(HWND owner);
    // The tool is a whole window, tracked: the tip shows where and when the owner says.
    bool AddTool(HWND tool, LPCSTR text = "");
    void UpdateTipText(LPCSTR text, HWND tool);
    void TrackActivate(bool activate, HWND tool);
    // Where the tip's top left corner goes, in screen coordinates.
    void TrackPosition(int x, int y) {
        SendMessage(TTM_TRACKPOSITION, 0, MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)));
    }
    // Long tips break into lines at this width, and at line feeds.
    void SetMaxTipWidth(int width) { SendMessage(TTM_SETMAXTIPWIDTH, 0, width); }
};
