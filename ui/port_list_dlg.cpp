#include "ui/port_list_dlg.h"

#include "app/single_instance.h"
#include "framework/paint_dc.h"
#include "ui/port_list_update.h"
#include "res/resource.h"

namespace {

constexpr UINT_PTR ID_REFRESH_TIMER = 1;
constexpr UINT kRefreshPeriodMs = 2000;

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
END_MESSAGE_MAP()

CPortListDlg::CPortListDlg(CWnd* parent)
    : CDialog(IDD_MAIN, parent),
      m_hLampOn(LoadProgramIcon(IDI_LAMP_ON)),
      m_hLampOff(LoadProgramIcon(IDI_LAMP_OFF)),
      m_hIcon(LoadProgramIcon(IDI_APP)) {}

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
    RefreshPorts();
    m_list.AutoSizeColumns();
    return TRUE;
}

void CPortListDlg::RefreshPorts() {
    m_statusIcon.SetIcon(m_hLampOn);
    // The refresh holds the thread; paint the lit lamp now or it would never be seen.
    ::UpdateWindow(m_statusIcon.m_hWnd);
    UpdatePortList(m_list);
    m_statusIcon.SetIcon(m_hLampOff);
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
    if (id == ID_REFRESH_TIMER && !m_bRefreshing) {
        m_bRefreshing = true;
        RefreshPorts();
        m_bRefreshing = false;
    }
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
