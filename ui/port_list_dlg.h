// The program's one window: the port list, the two refresh modes, the busy lamp, and the
// hint and about texts. Surveys run beside the window; their news comes as a message.
#pragma once

#include <memory>

#include "colorlist/color_list_ctrl.h"
#include "framework/dialog.h"
#include "framework/static_ctrl.h"
#include "ports/port_probe.h"
#include "ports/survey_runner.h"
#include "ui/port_list_view.h"

class CPortListDlg : public CDialog {
public:
    // The probe is the system's exclusive open; test programs may pass one of their own.
    explicit CPortListDlg(CWnd* parent = nullptr, PortProbe probe = ProbePort);

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnTimer(UINT_PTR id);
    void OnContinuously();
    void RefreshPorts();
    void OnSurveyNews();
    void OnDestroy();
    DECLARE_MESSAGE_MAP()

private:
    HICON m_hLampOn;
    HICON m_hLampOff;
    bool m_bRefreshing = false;  // a survey is in flight
    CStatic m_statusIcon;
    CColorListCtrl m_list;
    HICON m_hIcon;
    const PortProbe m_probe;
    PortListView m_view{m_list};
    std::unique_ptr<SurveyRunner> m_survey;
    bool m_bSizeColumnsWhenDone = false;  // the first survey outlasted start-up
};
