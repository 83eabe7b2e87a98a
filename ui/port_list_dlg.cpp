#include "ui/port_list_dlg.h"

#include <algorithm>

#include <dbt.h>

#include <chrono>
#include <string>
#include <utility>

#include "framework/paint_dc.h"
#include "framework/win_app.h"
#include "ports/model/port_facts_text.h"
#include "ports/model/port_holders_text.h"
#include "ports/win32/port_notification.h"
#include "res/resource.h"
#include "ui/port_list_update.h"

namespace {

constexpr UINT_PTR ID_REFRESH_TIMER = 1;
constexpr UINT kRefreshPeriodMs = 2000;
// A survey's news waits to be taken.
constexpr UINT WM_SURVEY_NEWS = WM_APP + 1;
// How long start-up waits for the first survey, so that the window usually opens filled, as
// it did when the survey held the thread; a slower port's status follows.
constexpr std::chrono::milliseconds kStartupWait{250};
// Devices come and go in bursts: notifications this close together give one survey.
constexpr UINT_PTR ID_DEVICE_TIMER = 2;
constexpr UINT kDeviceSettleMs = 250;
constexpr int kTipWidth = 400;
constexpr int kTipGap = 4;

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
ON_WM_DEVICECHANGE()
ON_WM_DESTROY()
END_MESSAGE_MAP()

CPortListDlg::CPortListDlg(CWnd* parent, CInstanceGuard* guard, PortProbe probe)
    : CDialog(IDD_MAIN, parent),
      m_hLampOn(LoadProgramIcon(IDI_LAMP_ON)),
      m_hLampOff(LoadProgramIcon(IDI_LAMP_OFF)),
      m_hIcon(LoadProgramIcon(IDI_APP)),
      m_guard(guard),
      m_probe(std::move(probe)) {}

CPortListDlg::~CPortListDlg() = default;

void CPortListDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_STATUS_ICON, m_statusIcon);
    DDX_Control(pDX, IDC_PORT_LIST, m_list);
}

BOOL CPortListDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    if (m_guard && m_guard->IsPreviousInstance()) {
        AfxMessageBox("Previous version detected, will now restore it", MB_OK | MB_ICONEXCLAMATION);
        m_guard->RestorePrevious();
        EndDialog(IDCANCEL);
        return FALSE;
    }
    if (m_guard) m_guard->Create();

    SetIcon(m_hIcon, true);
    m_list.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    FitLampToItsControl();
    m_statusIcon.SetIcon(Lamp(false));
    for (size_t column = 0; column < kPortColumns.size(); ++column) {
        m_list.InsertColumn(static_cast<int>(column), kPortColumns[column].heading, LVCFMT_LEFT);
    }
    SetDlgItemText(IDC_HINTS, AfxLoadString(IDS_HINTS).c_str());
    if (m_tip.Create(m_hWnd) && m_tip.AddTool(m_list.m_hWnd)) m_tip.SetMaxTipWidth(kTipWidth);
    ListenForPorts();

    const HWND window = m_hWnd;
    m_survey = std::make_unique<SurveyEngine>(SystemSurveyStages(m_probe), [window] {
        return ::PostMessageA(window, WM_SURVEY_NEWS, 0, 0) != FALSE;
    });
    RefreshPorts();
    m_survey->WaitFinished(kStartupWait);
    OnSurveyNews();
    m_list.AutoSizeColumns();
    m_bSizeColumnsWhenDone = m_bRefreshing;
    return TRUE;
}

void CPortListDlg::RefreshPorts() { StartSurvey(); }

bool CPortListDlg::StartSurvey() {
    if (m_bRefreshing || !m_survey || !m_survey->Start()) return false;
    m_bRefreshing = true;
    m_statusIcon.SetIcon(Lamp(true));
    return true;
}

void CPortListDlg::FitLampToItsControl() {
    // The control keeps its size in dialog units (its style centres the icon instead of
    // growing to it), which on a screen of more dots per inch is more pixels. Rounding dialog
    // units to pixels can make it share a row with the text below it (at 144 DPI), which the
    // bulb must leave to that text.
    RECT lamp{};
    ::GetWindowRect(m_statusIcon.m_hWnd, &lamp);
    for (HWND other = ::GetWindow(m_hWnd, GW_CHILD); other;
         other = ::GetWindow(other, GW_HWNDNEXT)) {
        RECT rect{};
        RECT shared{};
        if (other == m_statusIcon.m_hWnd || !::GetWindowRect(other, &rect) ||
            !::IntersectRect(&shared, &lamp, &rect)) {
            continue;
        }
        if (shared.top > lamp.top) {
            lamp.bottom = shared.top;
        } else if (shared.bottom < lamp.bottom) {
            lamp.top = shared.bottom;
        } else if (shared.left > lamp.left) {
            lamp.right = shared.left;
        } else {
            lamp.left = shared.right;
        }
    }
    // As large as that part of the control: the 32-pixel icon itself where it fits, which it
    // does in 2 pixels less too, its edges being transparent; else the icon made to fit.
    const int fits = std::min(lamp.right - lamp.left, lamp.bottom - lamp.top);
    const int side = fits >= 30 && fits <= 32 ? 32 : fits;
    if (side <= 0) return;
    const auto load = [side](UINT id) {
        return static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id),
                                               IMAGE_ICON, side, side, LR_DEFAULTCOLOR));
    };
    m_lampOnFitted.Reset(load(IDI_LAMP_ON));
    m_lampOffFitted.Reset(load(IDI_LAMP_OFF));
}

HICON CPortListDlg::Lamp(bool lit) const {
    const IconHandle& fitted = lit ? m_lampOnFitted : m_lampOffFitted;
    return fitted.IsValid() ? fitted.Get() : lit ? m_hLampOn : m_hLampOff;
}

void CPortListDlg::ListenForPorts() { m_portNotification = NotifyOfComPorts(m_hWnd); }

BOOL CPortListDlg::OnDeviceChange(UINT event, DWORD_PTR) {
    // What came or went is not read: any port's arrival or removal, or any change of the
    // device tree, may change the list and its descriptions.
    if (event == DBT_DEVICEARRIVAL || event == DBT_DEVICEREMOVECOMPLETE ||
        event == DBT_DEVNODES_CHANGED) {
        SetTimer(ID_DEVICE_TIMER, kDeviceSettleMs);
    }
    return TRUE;
}

bool CPortListDlg::PreTranslateMessage(const MSG& message) {
    if (message.hwnd != m_list.m_hWnd || !m_tip.m_hWnd) return false;
    if (message.message == WM_MOUSEMOVE) {
        // Told when the pointer leaves, which no message of the list's own says.
        TRACKMOUSEEVENT leave{sizeof leave, TME_LEAVE, m_list.m_hWnd, 0};
        ::TrackMouseEvent(&leave);
        // Client coordinates, signed: the pointer may be left of or above the list.
        FollowPointer(POINT{static_cast<short>(LOWORD(message.lParam)),
                            static_cast<short>(HIWORD(message.lParam))});
    } else if (message.message == WM_MOUSELEAVE) {
        FollowPointer(POINT{-1, -1});
    }
    return false;
}

void CPortListDlg::FollowPointer(POINT point) {
    LVHITTESTINFO hit{};
    hit.pt = point;
    const int row =
        point.x < 0
            ? -1
            : static_cast<int>(m_list.SendMessage(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (row == m_nTipRow) return;
    m_nTipRow = row;
    const PortRow* shown = row < 0 ? nullptr : m_view.RowOf(m_list.GetItemText(row, kPortColumn));
    std::string text = shown ? DescribePortFacts(shown->facts) : std::string();
    const std::string held =
        shown ? HeldByLines(shown->holders, shown->holdersFailed) : std::string();
    if (!held.empty()) text += (text.empty() ? "" : "\n") + held;
    if (text.empty()) {
        m_tip.TrackActivate(false, m_list.m_hWnd);
        return;
    }
    m_tip.UpdateTipText(text.c_str(), m_list.m_hWnd);
    // Beside the list at the row's height: over the list, the tip would take the pointer's
    // messages from the rows beneath it.
    RECT list{};
    RECT item{};
    item.left = LVIR_BOUNDS;
    ::GetWindowRect(m_list.m_hWnd, &list);
    m_list.SendMessage(LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    POINT corner{0, item.top};
    ::ClientToScreen(m_list.m_hWnd, &corner);
    m_tip.TrackPosition(list.right + kTipGap, corner.y);
    m_tip.TrackActivate(true, m_list.m_hWnd);
}

void CPortListDlg::OnSurveyNews() {
    if (!m_survey) return;
    SurveyEngine::News news = m_survey->Take();
    // An unreadable port list leaves the rows as they are.
    if (news.rows) {
        m_view.Show(std::move(*news.rows), news.rowsSurvey);
        // The row under the pointer may show another port, or other holders, now.
        m_nTipRow = -2;
    }
    if (!news.finished || !m_bRefreshing) return;
    m_bRefreshing = false;
    m_statusIcon.SetIcon(Lamp(false));
    if (m_bSizeColumnsWhenDone) {
        m_bSizeColumnsWhenDone = false;
        m_list.AutoSizeColumns();
    }
    if (m_bSurveyAgain) {
        m_bSurveyAgain = false;
        StartSurvey();
    }
}

void CPortListDlg::OnDestroy() {
    // Probes still running must find no window to post to.
    m_survey.reset();
    m_portNotification.Reset();
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
    if (id == ID_DEVICE_TIMER) {
        KillTimer(ID_DEVICE_TIMER);
        if (m_survey) m_survey->Forget();
        // A device change must be seen even when a survey is in flight: one more follows it.
        if (!StartSurvey()) m_bSurveyAgain = true;
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
