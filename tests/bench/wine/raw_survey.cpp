#include "tests/bench/wine/raw_survey.h"

#include <cstring>
#include <vector>

#include "base/win32_handles.h"
#include "ports/model/port_status.h"
#include "tests/bench/wine/bench_stats.h"

namespace {

constexpr char kKeyPath[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr DWORD kCapacity = 260;  // the refresh's buffers for name, data and cell

// One value's buffers, zero-filled before every read as the refresh does.
struct ValueBuffers {
    char name[kCapacity];
    BYTE data[kCapacity + 1];  // one zero beyond what the read may fill
    DWORD nameLength;
    DWORD dataLength;

    void Reset() {
        std::memset(name, 0, sizeof name);
        std::memset(data, 0, sizeof data);
        nameLength = kCapacity;
        dataLength = kCapacity;
    }
    const char* Port() const { return reinterpret_cast<const char*>(data); }
};

HANDLE OpenPort(const char* port) {
    char path[kCapacity + 8] = "\\\\.\\";
    std::strncat(path, port, kCapacity);
    return ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

PortStatus Tally(SurveyCount& count, bool opened, DWORD error) {
    ++count.values;
    const PortStatus status = opened ? PortStatus::Available : StatusFromOpenError(error);
    if (status == PortStatus::Available) {
        ++count.available;
    } else if (status == PortStatus::NotFound) {
        ++count.notFound;
    } else {
        ++count.other;
    }
    return status;
}

// The exclusive open and immediate close of one port.
PortStatus Probe(SurveyCount& count, const char* port) {
    const FileHandle handle(OpenPort(port));
    return Tally(count, handle.IsValid(), ::GetLastError());
}

void SetCell(HWND list, int row, int column, const char* text) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = const_cast<LPSTR>(text);
    ::SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

// Column 0 of the row is read; false when the row does not exist. The list may point the
// record at its own copy of the text.
bool ReadFirstCell(HWND list, int row, char (&cell)[kCapacity], const char** text) {
    std::memset(cell, 0, sizeof cell);
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = cell;
    item.cchTextMax = static_cast<int>(kCapacity);
    if (!::SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return false;
    *text = item.pszText ? item.pszText : "";
    return true;
}

void PutFirstCell(HWND list, int row, bool exists, const char* current, const char* name) {
    if (!exists) {
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<LPSTR>(name);
        ::SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    } else if (std::strcmp(current, name) != 0) {
        SetCell(list, row, 0, name);
    }
}

void DeleteRowsFrom(HWND list, int row) {
    if (::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) > row) {
        while (::SendMessageA(list, LVM_DELETEITEM, static_cast<WPARAM>(row), 0)) {
        }
    }
}

}  // namespace

SurveyCount RawSurvey(HWND list) {
    SurveyCount count;
    HKEY opened = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return count;
    }
    const RegKey key(opened);
    ValueBuffers value;
    char cell[kCapacity];
    int row = 0;
    for (;; ++row) {
        value.Reset();
        if (::RegEnumValueA(key.Get(), static_cast<DWORD>(row), value.name, &value.nameLength,
                            nullptr, nullptr, value.data, &value.dataLength) != ERROR_SUCCESS) {
            break;
        }
        const PortStatus status = Probe(count, value.Port());
        if (!list) continue;
        const char* current = "";
        const bool exists = ReadFirstCell(list, row, cell, &current);
        PutFirstCell(list, row, exists, current, value.name);
        SetCell(list, row, 1, value.Port());
        SetCell(list, row, 2, StatusText(status));
    }
    if (list) DeleteRowsFrom(list, row);
    return count;
}

SurveyPhases TimedSurvey(HWND list) {
    SurveyPhases phases;
    const Stopwatch whole;
    Stopwatch watch;
    HKEY opened = nullptr;
    const LONG openResult = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, 0, KEY_READ, &opened);
    phases.openKey += watch.ElapsedMs();
    if (openResult != ERROR_SUCCESS) return phases;
    RegKey key(opened);
    ValueBuffers value;
    char cell[kCapacity];
    SurveyCount count;
    int row = 0;
    for (;; ++row) {
        value.Reset();
        watch = Stopwatch();
        const LONG read =
            ::RegEnumValueA(key.Get(), static_cast<DWORD>(row), value.name, &value.nameLength,
                            nullptr, nullptr, value.data, &value.dataLength);
        phases.enumValue += watch.ElapsedMs();
        if (read != ERROR_SUCCESS) break;

        watch = Stopwatch();
        FileHandle port(OpenPort(value.Port()));
        const DWORD error = ::GetLastError();
        phases.createFile += watch.ElapsedMs();
        watch = Stopwatch();
        const bool available = port.IsValid();
        port.Reset();
        phases.closeHandle += watch.ElapsedMs();
        const PortStatus status = Tally(count, available, error);

        watch = Stopwatch();
        const char* current = "";
        const bool exists = ReadFirstCell(list, row, cell, &current);
        phases.getItem += watch.ElapsedMs();
        watch = Stopwatch();
        PutFirstCell(list, row, exists, current, value.name);
        SetCell(list, row, 1, value.Port());
        SetCell(list, row, 2, StatusText(status));
        phases.setItems += watch.ElapsedMs();
    }
    DeleteRowsFrom(list, row);
    watch = Stopwatch();
    key.Reset();
    phases.openKey += watch.ElapsedMs();
    phases.total = whole.ElapsedMs();
    return phases;
}

namespace {

LRESULT CALLBACK HandOn(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                        DWORD_PTR) {
    return ::DefSubclassProc(window, message, wParam, lParam);
}

constexpr UINT_PTR kPassThroughId = 1;

}  // namespace

PassThroughSubclass::PassThroughSubclass(HWND window)
    : m_window(window), m_installed(::SetWindowSubclass(window, HandOn, kPassThroughId, 0)) {}

PassThroughSubclass::~PassThroughSubclass() {
    if (m_installed) ::RemoveWindowSubclass(m_window, HandOn, kPassThroughId);
}

double GetPropMicroseconds(HWND window, int calls) {
    std::vector<double> samples;
    for (int i = 0; i < calls; ++i) {
        const Stopwatch watch;
        ::GetPropA(window, "PortlookBenchProbe");
        samples.push_back(watch.ElapsedMs() * 1000.0);
    }
    return Summarize(samples).median;
}

namespace {

constexpr char kHostClass[] = "PortlookBenchHost";

// With its user data set, the host colours every cell as a colour list does: per cell it
// reads the row's item data (a colour list's key) and hands back text and background.
LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_NOTIFY || !::GetWindowLongPtrA(window, GWLP_USERDATA) ||
        reinterpret_cast<const NMHDR*>(lParam)->code != NM_CUSTOMDRAW) {
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
    auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(lParam);
    switch (draw->nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT:
            return CDRF_NOTIFYSUBITEMDRAW;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
            LVITEMA item{};
            item.mask = LVIF_PARAM;
            item.iItem = static_cast<int>(draw->nmcd.dwItemSpec);
            ::SendMessageA(draw->nmcd.hdr.hwndFrom, LVM_GETITEMA, 0,
                           reinterpret_cast<LPARAM>(&item));
            draw->clrText = ::GetSysColor(COLOR_WINDOWTEXT);
            draw->clrTextBk = ::GetSysColor(COLOR_WINDOW);
            return CDRF_NEWFONT;
        }
        default:
            return CDRF_DODEFAULT;
    }
}

ATOM RegisterHostClass() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kHostClass;
    return ::RegisterClassA(&windowClass);
}

}  // namespace

BaselineList::BaselineList(int x, int y, const SIZE& size, const int (&columnWidths)[3]) {
    static const ATOM hostClass = RegisterHostClass();
    static const BOOL controls = [] {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_LISTVIEW_CLASSES};
        return ::InitCommonControlsEx(&init);
    }();
    if (!hostClass || !controls) return;
    // The dialog font of Portlook's template: "MS Shell Dlg", 8 point.
    HDC screen = ::GetDC(nullptr);
    const int height = -::MulDiv(8, ::GetDeviceCaps(screen, LOGPIXELSY), 72);
    ::ReleaseDC(nullptr, screen);
    m_font.Reset(::CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                               DEFAULT_PITCH, "MS Shell Dlg"));
    m_window.Reset(::CreateWindowExA(
        0, kHostClass, "Baseline list", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, x, y, size.cx + 80,
        size.cy + 60, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr));
    if (!m_window.IsValid()) return;
    HWND list = ::CreateWindowExA(
        0, WC_LISTVIEWA, "List1",
        WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL, 10, 10,
        size.cx, size.cy, m_window.Get(), nullptr, ::GetModuleHandleA(nullptr), nullptr);
    if (!list) return;
    ::SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.Get()), FALSE);
    ::SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    const char* const headings[] = {"Device", "Port", "Status"};
    for (int column = 0; column < 3; ++column) {
        LVCOLUMNA record{};
        record.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
        record.fmt = LVCFMT_LEFT;
        record.pszText = const_cast<LPSTR>(headings[column]);
        record.cx = columnWidths[column];
        ::SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(column),
                       reinterpret_cast<LPARAM>(&record));
    }
    m_list = list;
    m_lamp =
        ::CreateWindowExA(0, "Static", nullptr, WS_CHILD | WS_VISIBLE | SS_ICON, size.cx + 12, 10,
                          32, 32, m_window.Get(), nullptr, ::GetModuleHandleA(nullptr), nullptr);
    Settle();
}

int BaselineList::RowCount() const {
    return static_cast<int>(::SendMessageA(m_list, LVM_GETITEMCOUNT, 0, 0));
}

double BaselineList::PaintMs(bool colored) const {
    ::SetWindowLongPtrA(m_window.Get(), GWLP_USERDATA, colored ? 1 : 0);
    const Stopwatch watch;
    ::RedrawWindow(m_list, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    const double elapsed = watch.ElapsedMs();
    ::SetWindowLongPtrA(m_window.Get(), GWLP_USERDATA, 0);
    return elapsed;
}

void BaselineList::Show(bool visible) const {
    ::ShowWindow(m_window.Get(), visible ? SW_SHOWNOACTIVATE : SW_HIDE);
}

void BaselineList::Settle() const {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
    ::RedrawWindow(m_window.Get(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}
