#include "framework/list_ctrl.h"

#include <vector>

IMPLEMENT_DYNAMIC(CListCtrl, CWnd)

bool CListCtrl::Create(DWORD style, const RECT& rect, HWND parent, UINT id) {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_LISTVIEW_CLASSES};
        return ::InitCommonControlsEx(&init) != FALSE;
    }();
    if (!registered) return false;
    HWND hWnd = ::CreateWindowExA(0, WC_LISTVIEWA, "", style, rect.left, rect.top,
                                  rect.right - rect.left, rect.bottom - rect.top, parent,
                                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                  ::GetModuleHandleA(nullptr), nullptr);
    if (!hWnd) return false;
    if (SubclassWindow(hWnd)) return true;
    ::DestroyWindow(hWnd);
    return false;
}

void CListCtrl::SetRedraw(bool redraw) {
    SendMessage(WM_SETREDRAW, redraw ? TRUE : FALSE);
    if (redraw) ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

int CListCtrl::InsertItem(int item, LPCSTR text) {
    LVITEMA record{};
    record.mask = LVIF_TEXT;
    record.iItem = item;
    record.pszText = const_cast<LPSTR>(text);
    return static_cast<int>(SendMessage(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&record)));
}

bool CListCtrl::SetItemText(int item, int subItem, LPCSTR text) {
    LVITEMA record{};
    record.mask = LVIF_TEXT;
    record.iItem = item;
    record.iSubItem = subItem;
    record.pszText = const_cast<LPSTR>(text);
    return SetItem(&record);
}

DWORD_PTR CListCtrl::GetItemData(int item) const {
    LVITEMA record{};
    record.mask = LVIF_PARAM;
    record.iItem = item;
    GetItem(&record);
    return static_cast<DWORD_PTR>(record.lParam);
}

bool CListCtrl::SetItemData(int item, DWORD_PTR data) {
    LVITEMA record{};
    record.mask = LVIF_PARAM;
    record.iItem = item;
    record.lParam = static_cast<LPARAM>(data);
    return SetItem(&record);
}

std::string CListCtrl::GetItemText(int item, int subItem) const {
    // The list copies at most capacity - 1 characters and says how many it copied: a full
    // buffer means the text may go on.
    std::vector<char> buffer(261);
    for (;;) {
        LVITEMA record{};
        record.iSubItem = subItem;
        record.pszText = buffer.data();
        record.cchTextMax = static_cast<int>(buffer.size());
        const auto copied = static_cast<size_t>(SendMessage(
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
    return static_cast<int>(SendMessage(LVM_INSERTCOLUMNA, static_cast<WPARAM>(column),
                                        reinterpret_cast<LPARAM>(&record)));
}
