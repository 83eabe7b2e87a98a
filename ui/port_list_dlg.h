// The program's one window: the port list, the two refresh modes, the busy lamp, and the
// hint and about texts.
#pragma once

#include "colorlist/color_list_ctrl.h"
#include "framework/dialog.h"
#include "framework/static_ctrl.h"

class CPortListDlg : public CDialog {
public:
    explicit CPortListDlg(CWnd* parent = nullptr);

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnTimer(UINT_PTR id);
    void OnContinuously();
    void RefreshPorts();
    DECLARE_MESSAGE_MAP()

private:
    HICON m_hLampOn;
    HICON m_hLampOff;
    bool m_bRefreshing = false;
    CStatic m_statusIcon;
    CColorListCtrl m_list;
    HICON m_hIcon;
};
