#include "colorlist/color_list_ctrl.h"

IMPLEMENT_DYNAMIC(CColorListCtrl, CListCtrl)

BEGIN_MESSAGE_MAP(CColorListCtrl, CListCtrl)
ON_NOTIFY_REFLECT(NM_CUSTOMDRAW, OnCustomDraw)
END_MESSAGE_MAP()

int CColorListCtrl::InsertItem(int index, LPCSTR text) {
    const COLORREF textColor = GetSysColor(COLOR_WINDOWTEXT);
    const COLORREF backColor = GetSysColor(COLOR_WINDOW);
    const int inserted = CListCtrl::InsertItem(index, text);
    if (inserted == -1) return -1;
    const auto key = static_cast<DWORD>(--m_nNextKey);
    m_colors[key] = ItemColor{textColor, backColor, 0};
    CListCtrl::SetItemData(inserted, static_cast<DWORD_PTR>(static_cast<LPARAM>(m_nNextKey)));
    return inserted;
}

bool CColorListCtrl::FindKey(int index, DWORD* key) const {
    LVITEMA record{};
    record.mask = LVIF_PARAM;
    record.iItem = index;
    if (!CListCtrl::GetItem(&record)) return false;
    *key = static_cast<DWORD>(record.lParam);
    return true;
}

BOOL CColorListCtrl::DeleteItem(int index) {
    if (index < 0 || index >= GetItemCount()) return FALSE;
    DWORD key = 0;
    if (FindKey(index, &key)) m_colors.erase(key);
    return CListCtrl::DeleteItem(index);
}

DWORD_PTR CColorListCtrl::GetItemData(int index) const {
    DWORD key = 0;
    if (!FindKey(index, &key)) return 0;
    const auto entry = m_colors.find(key);
    return entry == m_colors.end() ? 0 : entry->second.data;
}

BOOL CColorListCtrl::SetItemData(int index, DWORD_PTR data) {
    // A row that does not exist has no key: storing the value anyway would report success
    // for nothing and leave an entry no row owns.
    DWORD key = 0;
    if (!FindKey(index, &key)) return FALSE;
    const auto entry = m_colors.find(key);
    ItemColor color = entry == m_colors.end() ? ItemColor{0, 0, 0} : entry->second;
    color.data = data;
    m_colors[key] = color;
    return TRUE;
}

BOOL CColorListCtrl::GetItem(LVITEMA* item) const {
    if (!CListCtrl::GetItem(item)) return FALSE;
    if (item->mask & LVIF_PARAM) item->lParam = static_cast<LPARAM>(GetItemData(item->iItem));
    return TRUE;
}

BOOL CColorListCtrl::SetItem(const LVITEMA* item) {
    LVITEMA copy = *item;
    if (copy.mask & LVIF_PARAM) {
        SetItemData(item->iItem, static_cast<DWORD_PTR>(item->lParam));
        copy.mask &= ~LVIF_PARAM;
    }
    return CListCtrl::SetItem(&copy);
}

void CColorListCtrl::OnCustomDraw(NMHDR* notify, LRESULT* result) {
    auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(notify);
    switch (draw->nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            *result = CDRF_NOTIFYITEMDRAW;
            break;
        case CDDS_ITEMPREPAINT:
            if ((GetStyle() & LVS_TYPEMASK) == LVS_REPORT) *result = CDRF_NOTIFYSUBITEMDRAW;
            break;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
            DWORD key = 0;
            if (!FindKey(static_cast<int>(draw->nmcd.dwItemSpec), &key)) break;
            const auto entry = m_colors.find(key);
            if (entry != m_colors.end()) {
                draw->clrText = entry->second.text;
                draw->clrTextBk = entry->second.background;
                *result = CDRF_NEWFONT;
            }
            break;
        }
        default:
            break;
    }
}
