// The program's one window: the port list, the two refresh modes, the busy lamp, and the
// hint and about texts. Surveys run beside the window; their news comes as a message.
#pragma once

#include <memory>

#include "colorlist/color_list_ctrl.h"
#include "framework/dialog.h"
#include "framework/static_ctrl.h"
#include "framework/tool_tip_ctrl.h"
#include "base/win32_handles.h"
#include "ports/engine/port_probe.h"
#include "ports/engine/survey_engine.h"
#include "ui/instance_guard.h"
#include "ui/port_list_view.h"

class CPortListDlg : public CDialog {
public:
    // The guard, when given, keeps a second instance from running. The probe is the system's
    // exclusive open; test programs may pass one of their own.
    explicit CPortListDlg(CWnd* parent = nullptr, CInstanceGuard* guard = nullptr,
                          PortProbe probe = ProbePort);
    ~CPortListDlg() override;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnTimer(UINT_PTR id);
    void OnContinuously();
    void RefreshPorts();
    void OnSurveyNews();
    BOOL OnDeviceChange(UINT event, DWORD_PTR data);
    void OnDestroy();
    bool PreTranslateMessage(const MSG& message) override;
    DECLARE_MESSAGE_MAP()

private:
    bool StartSurvey();
    // Device notifications for COM ports, which the system sends only to those who ask.
    void ListenForPorts();
    // The tip follows the row under the pointer.
    void FollowPointer(POINT point);
    // The lamp's icons at the size its control has on this screen.
    void FitLampToItsControl();
    HICON Lamp(bool lit) const;

    HICON m_hLampOn;
    HICON m_hLampOff;
    bool m_bRefreshing = false;  // a survey is in flight
    CStatic m_statusIcon;
    CColorListCtrl m_list;
    HICON m_hIcon;
    CInstanceGuard* const m_guard;
    const PortProbe m_probe;
    PortListView m_view{m_list};
    std::unique_ptr<SurveyEngine> m_survey;
    bool m_bSizeColumnsWhenDone = false;  // the first survey outlasted start-up
    bool m_bSurveyAgain = false;          // devices changed while a survey was in flight
    IconHandle m_lampOnFitted;            // null until fitted: then the 32-pixel icons above serve
    IconHandle m_lampOffFitted;
    CToolTipCtrl m_tip;
    int m_nTipRow = -1;  // the row the tip describes
    DeviceNotification m_portNotification;
};
