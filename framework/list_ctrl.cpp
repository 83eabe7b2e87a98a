#include "framework/list_ctrl.h"

#include <vector>

#include "framework/list_model.h"

IMPLEMENT_DYNAMIC(CListCtrl, CWnd)

void CListCtrl::AttachModel(ListModel* model) {
    m_pModel = model;
    if (model) model->Connect(this);
}

#ifdef _WIN32
bool CListCtrl::Create(DWORD style, const RECT& rect, HWND parent, UINT id) {
    static const BOOL registered = [] {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_LISTVIEW_CLASSES};
        return ::InitCommonControlsEx(&init);
    }();
    (void)registered;
    HWND hWnd = ::CreateWindowExA(0, WC_LISTVIEWA, "", style, rect.left, rect.top,
                                  rect.right - rect.left, rect.bottom - rect.top, parent,
                                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                  ::GetModuleHandleA(nullptr), nullptr);
    if (!hWnd) return false;
    if (SubclassWindow(hWnd)) return true;
    ::DestroyWindow(hWnd);
    return false;
}
#endif

LRESULT CListCtrl::SendListMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    if (m_pModel) return m_pModel->Answer(message, wParam, lParam);
#ifdef _WIN32
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
#else
    return 0;
#endif
}

LRESULT CListCtrl::SendHeaderMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    if (m_pModel) return m_pModel->Answer(message, wParam, lParam);
#ifdef _WIN32
    return ::SendMessageA(GetHeaderCtrl(), message, wParam, lParam);
#else
    return 0;
#endif
}

DWORD CListCtrl::GetStyle() const {
    if (m_pModel) return m_pModel->Style();
#ifdef _WIN32
    return CWnd::GetStyle();
#else
    return 0;
#endif
}

void CListCtrl::GetClientRect(RECT* rect) const {
    if (m_pModel) {
        *rect = m_pModel->ClientRect();
        return;
    }
#ifdef _WIN32
    CWnd::GetClientRect(rect);
#else
    *rect = RECT{};
#endif
}

void CListCtrl::SetRedraw(BOOL redraw) {
    SendListMessage(WM_SETREDRAW, static_cast<WPARAM>(redraw));
#ifdef _WIN32
    if (redraw && !m_pModel) ::InvalidateRect(m_hWnd, nullptr, TRUE);
#endif
}

int CListCtrl::InsertItem(int item, LPCSTR text) {
    LVITEMA record{};
    record.mask = LVIF_TEXT;
    record.iItem = item;
    record.pszText = const_cast<LPSTR>(text);
    return static_cast<int>(SendListMessage(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&record)));
}

DWORD_PTR CListCtrl::GetItemData(int item) const {
    LVITEMA record{};
    record.mask = LVIF_PARAM;
    record.iItem = item;
    GetItem(&record);
    return static_cast<DWORD_PTR>(record.lParam);
}

BOOL CListCtrl::SetItemData(int item, DWORD_PTR data) {
    LVITEMA record{};
    record.mask = LVIF_PARAM;
    record.iItem = item;
    record.lParam = static_cast<LPARAM>(data);
    return SetItem(&record);
}

std::string CListCtrl::GetItemText(int item, int subItem) const {
    // The list copies at most capacity - 1 characters and says how many it copied: a full
    // buffer means the text may go on.
    std::vector<char> buffer(256);
    for (;;) {
        LVITEMA record{};
        record.iSubItem = subItem;
        record.pszText = buffer.data();
        record.cchTextMax = static_cast<int>(buffer.size());
        const auto copied = static_cast<size_t>(SendListMessage(
            LVM_GETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&record)));
        if (copied + 1 < buffer.size()) return std::string(record.pszText, copied);
        buffer.resize(buffer.size() * 2);
    }
}

int CListCtrl::InsertColumn(int column, LPCSTR heading, int format, int width) {
    LVCOLUMNA record{};
    record.mask = LVCF_FMT | LVCF_TEXT;
    record.fmt = format;
    record.pszText = const_cast<LPSTR>(heading);
    if (width != -1) {
        record.mask |= LVCF_WIDTH;
        record.cx = width;
    }
    return static_cast<int>(SendListMessage(LVM_INSERTCOLUMNA, static_cast<WPARAM>(column),
                                            reinterpret_cast<LPARAM>(&record)));
}
