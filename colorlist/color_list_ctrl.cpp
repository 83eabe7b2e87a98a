#include "colorlist/color_list_ctrl.h"

#include <algorithm>
#include <string>
#include <vector>

#include "colorlist/column_width.h"
#include "colorlist/sort_state.h"
#include "framework/paint_dc.h"
#include "framework/text_compare.h"

namespace {
constexpr int kHeadingBufferSize = 1024;  // a heading is read into this much

// The DPI the list is drawn at. The program is system-aware, so that is the system's; without
// a device context the margin stays the one for 96.
int DrawingDpi(HWND window) {
    const CClientDC dc(window);
    return dc.GetSafeHdc() ? ::GetDeviceCaps(dc.GetSafeHdc(), LOGPIXELSX) : 96;
}
}  // namespace

IMPLEMENT_DYNAMIC(CColorListCtrl, CListCtrl)

// The header is the list's own child with id 0: its clicks come to the list as ordinary
// notifications, not reflected ones.
BEGIN_MESSAGE_MAP(CColorListCtrl, CListCtrl)
ON_NOTIFY_REFLECT(NM_CUSTOMDRAW, OnCustomDraw)
ON_NOTIFY(HDN_ITEMCLICKA, 0, OnHeaderItemClick)
ON_NOTIFY(HDN_ITEMCLICKW, 0, OnHeaderItemClick)
END_MESSAGE_MAP()

int CColorListCtrl::InsertItem(int index, LPCSTR text) {
    const COLORREF textColor = ::GetSysColor(COLOR_WINDOWTEXT);
    const COLORREF backColor = ::GetSysColor(COLOR_WINDOW);
    const int inserted = CListCtrl::InsertItem(index, text);
    if (inserted == -1) return -1;
    const ColorTable::Key key = m_colors.Add(textColor, backColor);
    // Through LPARAM, which is signed: a 64-bit item data is the key sign-extended.
    CListCtrl::SetItemData(inserted, static_cast<DWORD_PTR>(static_cast<LPARAM>(key)));
    return inserted;
}

bool CColorListCtrl::FindKey(int index, ColorTable::Key* key) const {
    LVITEMA record{};
    record.mask = LVIF_PARAM;
    record.iItem = index;
    if (!CListCtrl::GetItem(&record)) return false;
    *key = static_cast<ColorTable::Key>(record.lParam);
    return true;
}

bool CColorListCtrl::DeleteItem(int index) {
    if (index < 0 || index >= GetItemCount()) return false;
    ColorTable::Key key = 0;
    if (FindKey(index, &key)) m_colors.Remove(key);
    return CListCtrl::DeleteItem(index);
}

DWORD_PTR CColorListCtrl::GetItemData(int index) const {
    ColorTable::Key key = 0;
    return FindKey(index, &key) ? m_colors.Data(key) : 0;
}

bool CColorListCtrl::SetItemData(int index, DWORD_PTR data) {
    // A row that does not exist has no key: storing the value anyway would report success
    // for nothing and leave an entry no row owns.
    ColorTable::Key key = 0;
    if (!FindKey(index, &key)) return false;
    m_colors.SetData(key, data);
    return true;
}

bool CColorListCtrl::GetItem(LVITEMA* item) const {
    if (!CListCtrl::GetItem(item)) return false;
    if (item->mask & LVIF_PARAM) item->lParam = static_cast<LPARAM>(GetItemData(item->iItem));
    return true;
}

bool CColorListCtrl::SetItem(const LVITEMA* item) {
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
            ColorTable::Key key = 0;
            if (!FindKey(static_cast<int>(draw->nmcd.dwItemSpec), &key)) break;
            if (const ItemColor* entry = m_colors.Find(key)) {
                draw->clrText = entry->text;
                draw->clrTextBk = entry->background;
                *result = CDRF_NEWFONT;
            }
            break;
        }
        default:
            break;
    }
}

void CColorListCtrl::OnHeaderItemClick(NMHDR* notify, LRESULT* result) {
    // The item index sits at the same place in the ANSI and the wide record. Handling the
    // click here keeps the list from passing a column click on to its parent.
    SortColumn(reinterpret_cast<NMHEADERA*>(notify)->iItem);
    *result = 0;
}

bool CColorListCtrl::SortColumn(int column) {
    bool ascending = true;
    for (int i = 0; i < GetHeaderItemCount(); ++i) {
        HDITEMA item{};
        item.mask = HDI_LPARAM;
        GetHeaderItem(i, &item);
        item.lParam = NextSortValue(item.lParam, i == column);
        if (i == column) ascending = SortsAscending(item.lParam);
        // Only the value goes back: no sort arrow, the heading stays as it is.
        item.mask = HDI_LPARAM;
        SetHeaderItem(i, &item);
    }
    SortContext context{this, column, ascending};
    return SortItems(CompareItems, reinterpret_cast<DWORD_PTR>(&context));
}

int CALLBACK CColorListCtrl::CompareItems(LPARAM a, LPARAM b, LPARAM context) {
    const auto& sort = *reinterpret_cast<const SortContext*>(context);
    LVFINDINFOA find{};
    find.flags = LVFI_PARAM;
    find.lParam = a;
    const std::string textA = sort.list->GetItemText(sort.list->FindItem(&find), sort.column);
    find.lParam = b;
    const std::string textB = sort.list->GetItemText(sort.list->FindItem(&find), sort.column);
    const int order = CompareMultiByte(textA.c_str(), textB.c_str());
    return sort.ascending ? order : -order;
}

bool CColorListCtrl::AutoSizeColumns() {
    for (int column = 0; column < GetHeaderItemCount(); ++column) AutoSizeColumn(column);
    return true;
}

int CColorListCtrl::AutoSizeColumn(int column) {
    const int count = GetHeaderItemCount();
    if (column < 0 || column >= count) return -1;

    int width = 0;
    if (column == count - 1) {
        RECT client{};
        GetClientRect(&client);
        const int clientWidth = client.right - client.left;
        if (clientWidth <= 0) return -1;
        std::vector<int> others;
        for (int other = 0; other < column; ++other) others.push_back(GetColumnWidth(other));
        width = RemainingColumnWidth(clientWidth, others);
    } else {
        char heading[kHeadingBufferSize] = {};
        HDITEMA item{};
        item.mask = HDI_TEXT;
        item.pszText = heading;
        item.cchTextMax = kHeadingBufferSize;
        GetHeaderItem(column, &item);
        std::vector<int> texts;
        for (int row = 0; row < GetItemCount(); ++row) {
            texts.push_back(GetStringWidth(GetItemText(row, column).c_str()));
        }
        width = FittingColumnWidth(GetStringWidth(heading), texts,
                                   ColumnTextMargin(DrawingDpi(m_hWnd)));
    }
    // A negative width would ask a real list to measure the column itself.
    SetColumnWidth(column, std::max(width, 0));
    return width;
}
