#include "ui/port_list_dlg.h"

#include <chrono>
#include <utility>

#include "app/single_instance.h"
#include "framework/paint_dc.h"
#include "res/resource.h"

namespace {

constexpr UINT_PTR ID_REFRESH_TIMER = 1;
constexpr UINT kRefreshPeriodMs = 2000;
// A survey's news waits to be taken.
constexpr UINT WM_SURVEY_NEWS = WM_APP + 1;
// How long start-up waits for the first survey, so that the window usually opens filled, as
// it did when the survey held the thread; a slower port's status follows.
constexpr std::chrono::milliseconds kStartupWait{250};

// The application object's single-instance guard.
CSingleInstance* Guard() {
    CWinApp* app = AfxGetApp();
    return app && app->IsKindOf(RUNTIME_CLASS(CSingleInstance)) ? static_cast<CSingleInstance*>(app)
                                                                : nullptr;
}

HICON LoadProgramIcon(UINT id) {
    return ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id));
}

}  // namespace

BEGIN_MESSAGE_MAP(CPortListDlg, CDialog)
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_TIMER()
ON_BN_CLICKED(IDC_CONTINUOUSLY, OnContinuously)
ON_BN_CLICKED(IDC_SINGLE, RefreshPorts)
ON_MESSAGE_VOID(WM_SURVEY_NEWS, OnSurveyNews)
ON_WM_DESTROY()
END_MESSAGE_MAP()

CPortListDlg::CPortListDlg(CWnd* parent, PortProbe probe)
    : CDialog(IDD_MAIN, parent),
      m_hLampOn(LoadProgramIcon(IDI_LAMP_ON)),
      m_hLampOff(LoadProgramIcon(IDI_LAMP_OFF)),
      m_hIcon(LoadProgramIcon(IDI_APP)),
      m_probe(probe) {}

void CPortListDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_STATUS_ICON, m_statusIcon);
    DDX_Control(pDX, IDC_PORT_LIST, m_list);
}

BOOL CPortListDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    CSingleInstance* guard = Guard();
    if (guard && guard->IsPreviousInstance()) {
        AfxMessageBox("Previous version detected, will now restore it", MB_OK | MB_ICONEXCLAMATION);
        guard->RestorePrevious();
        EndDialog(IDCANCEL);
        return FALSE;
    }
    if (guard) guard->Create();

    SetIcon(m_hIcon, true);
    m_list.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    m_statusIcon.SetIcon(m_hLampOff);
    m_list.InsertColumn(0, "Device", LVCFMT_LEFT);
    m_list.InsertColumn(1, "Port", LVCFMT_LEFT);
    m_list.InsertColumn(2, "Status", LVCFMT_LEFT);
    SetDlgItemText(IDC_HINTS, AfxLoadString(IDS_HINTS).c_str());

    const HWND window = m_hWnd;
    m_survey = std::make_unique<SurveyRunner>(
        ReadSystemPortRows, m_probe, [window] { ::PostMessageA(window, WM_SURVEY_NEWS, 0, 0); });
    RefreshPorts();
    m_survey->WaitFinished(kStartupWait);
    OnSurveyNews();
    m_list.AutoSizeColumns();
    m_bSizeColumnsWhenDone = m_bRefreshing;
    return TRUE;
}

void CPortListDlg::RefreshPorts() {
    if (m_bRefreshing || !m_survey || !m_survey->Start()) return;
    m_bRefreshing = true;
    m_statusIcon.SetIcon(m_hLampOn);
}

void CPortListDlg::OnSurveyNews() {
    if (!m_survey) return;
    SurveyRunner::News news = m_survey->Take();
    if (news.rows) {
        m_view.ShowRows(std::move(*news.rows), news.answers);
    } else {
        // An unreadable port list leaves the rows as they are.
        m_view.ShowAnswers(news.answers);
    }
    if (!news.finished) return;
    m_bRefreshing = false;
    m_statusIcon.SetIcon(m_hLampOff);
    if (m_bSizeColumnsWhenDone) {
        m_bSizeColumnsWhenDone = false;
        m_list.AutoSizeColumns();
    }
}

void CPortListDlg::OnDestroy() {
    // Probes still running must find no window to post to.
    m_survey.reset();
    Default();
}

void CPortListDlg::OnContinuously() {
    const bool continuous = IsDlgButtonChecked(IDC_CONTINUOUSLY) == BST_CHECKED;
    ::EnableWindow(GetDlgItem(IDC_SINGLE), !continuous);
    if (continuous) {
        RefreshPorts();
        SetTimer(ID_REFRESH_TIMER, kRefreshPeriodMs);
    } else {
        KillTimer(ID_REFRESH_TIMER);
    }
}

void CPortListDlg::OnTimer(UINT_PTR id) {
    // A tick while a survey is in flight is skipped.
    if (id == ID_REFRESH_TIMER && !m_bRefreshing) RefreshPorts();
    CDialog::OnTimer(id);
}

void CPortListDlg::OnPaint() {
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    const CPaintDC dc(m_hWnd);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()));
    RECT client{};
    GetClientRect(&client);
    const int x = (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc.GetSafeHdc(), x, y, m_hIcon);
}

HCURSOR CPortListDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }
