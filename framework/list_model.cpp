#include "framework/list_model.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "framework/wnd.h"

namespace {
const std::string kNoText;
}

const std::string& ListModel::Row::Cell(int column) const {
    return column < static_cast<int>(cells.size()) ? cells[column] : kNoText;
}

std::string& ListModel::Row::Cell(int column) {
    if (column >= static_cast<int>(cells.size())) cells.resize(column + 1);
    return cells[column];
}

int ListModel::CopyText(const std::string& text, LPSTR buffer, int capacity) {
    if (!buffer || capacity <= 0) return 0;
    const int copied = std::min(static_cast<int>(text.size()), capacity - 1);
    std::memcpy(buffer, text.data(), static_cast<size_t>(copied));
    buffer[copied] = '\0';
    return copied;
}

LRESULT ListModel::Answer(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case LVM_GETITEMCOUNT:
            return static_cast<LRESULT>(m_rows.size());
        case LVM_GETHEADER:
            // Stands for the header; header messages come to Answer as well.
            return reinterpret_cast<LRESULT>(this);
        case LVM_INSERTITEMA:
            return InsertItem(*reinterpret_cast<const LVITEMA*>(lParam));
        case LVM_SETITEMA:
            return SetItem(*reinterpret_cast<const LVITEMA*>(lParam));
        case LVM_GETITEMA:
            return GetItem(*reinterpret_cast<LVITEMA*>(lParam));
        case LVM_DELETEITEM:
            return DeleteItem(static_cast<int>(wParam));
        case LVM_GETITEMTEXTA: {
            auto& record = *reinterpret_cast<LVITEMA*>(lParam);
            const int item = static_cast<int>(wParam);
            if (!IsCell(item, record.iSubItem)) return 0;
            return CopyText(m_rows[item].Cell(record.iSubItem), record.pszText, record.cchTextMax);
        }
        case LVM_FINDITEMA:
            return FindItem(static_cast<int>(wParam),
                            *reinterpret_cast<const LVFINDINFOA*>(lParam));
        case LVM_SORTITEMS:
            return SortItems(reinterpret_cast<PFNLVCOMPARE>(lParam), static_cast<LPARAM>(wParam));
        case LVM_GETSTRINGWIDTHA:
            return kCharWidth * static_cast<LRESULT>(std::strlen(reinterpret_cast<LPCSTR>(lParam)));
        case LVM_INSERTCOLUMNA:
            return InsertColumn(static_cast<int>(wParam),
                                *reinterpret_cast<const LVCOLUMNA*>(lParam));
        case LVM_GETCOLUMNWIDTH: {
            const int column = static_cast<int>(wParam);
            return IsColumn(column) ? m_columns[column].width : 0;
        }
        case LVM_SETCOLUMNWIDTH: {
            const int column = static_cast<int>(wParam);
            const int width = static_cast<short>(LOWORD(static_cast<DWORD_PTR>(lParam)));
            // Negative widths ask a real list to measure; nothing here needs that.
            if (!IsColumn(column) || width < 0) return FALSE;
            m_columns[column].width = width;
            return TRUE;
        }
        case LVM_SETEXTENDEDLISTVIEWSTYLE: {
            const DWORD old = m_exStyle;
            const DWORD mask = wParam ? static_cast<DWORD>(wParam) : ~DWORD{0};
            m_exStyle = (m_exStyle & ~mask) | (static_cast<DWORD>(lParam) & mask);
            return old;
        }
        case LVM_GETEXTENDEDLISTVIEWSTYLE:
            return m_exStyle;
        case LVM_SETICONSPACING: {
            const DWORD old = m_iconSpacing;
            m_iconSpacing = static_cast<DWORD>(lParam);
            return old;
        }
        case WM_SETREDRAW:
            m_bRedraw = wParam != 0;
            if (!m_bRedraw) ++m_counts.redrawOffs;
            return 0;
        case HDM_GETITEMCOUNT:
            return static_cast<LRESULT>(m_columns.size());
        case HDM_GETITEMA:
            return GetHeaderItem(static_cast<int>(wParam), *reinterpret_cast<HDITEMA*>(lParam));
        case HDM_SETITEMA:
            return SetHeaderItem(static_cast<int>(wParam),
                                 *reinterpret_cast<const HDITEMA*>(lParam));
        default:
            return 0;
    }
}

LRESULT ListModel::InsertItem(const LVITEMA& record) {
    if (record.iSubItem != 0 || record.iItem < 0) return -1;
    const int index = std::min(record.iItem, static_cast<int>(m_rows.size()));
    Row row;
    if ((record.mask & LVIF_TEXT) && record.pszText) row.Cell(0) = record.pszText;
    if (record.mask & LVIF_PARAM) row.data = record.lParam;
    m_rows.insert(m_rows.begin() + index, std::move(row));
    ++m_counts.inserts;
    if (m_bRedraw) ++m_counts.changesWhileDrawing;
    return index;
}

BOOL ListModel::SetItem(const LVITEMA& record) {
    if (!IsCell(record.iItem, record.iSubItem)) return FALSE;
    Row& row = m_rows[record.iItem];
    if (record.mask & LVIF_TEXT) {
        row.Cell(record.iSubItem) = record.pszText ? record.pszText : "";
        const auto column = static_cast<size_t>(record.iSubItem);
        if (m_counts.textWrites.size() <= column) m_counts.textWrites.resize(column + 1);
        ++m_counts.textWrites[column];
    }
    if ((record.mask & LVIF_PARAM) && record.iSubItem == 0) {
        row.data = record.lParam;
        ++m_counts.paramWrites;
    }
    return TRUE;
}

BOOL ListModel::GetItem(LVITEMA& record) const {
    if (!IsCell(record.iItem, record.iSubItem)) return FALSE;
    const Row& row = m_rows[record.iItem];
    if (record.mask & LVIF_TEXT)
        CopyText(row.Cell(record.iSubItem), record.pszText, record.cchTextMax);
    if (record.mask & LVIF_PARAM) record.lParam = row.data;
    return TRUE;
}

BOOL ListModel::DeleteItem(int item) {
    if (!IsRow(item)) return FALSE;
    m_rows.erase(m_rows.begin() + item);
    ++m_counts.deletes;
    if (m_bRedraw) ++m_counts.changesWhileDrawing;
    return TRUE;
}

int ListModel::FindItem(int start, const LVFINDINFOA& find) const {
    if (!(find.flags & LVFI_PARAM)) return -1;
    for (int item = std::max(start + 1, 0); item < static_cast<int>(m_rows.size()); ++item) {
        if (m_rows[item].data == find.lParam) return item;
    }
    return -1;
}

BOOL ListModel::SortItems(PFNLVCOMPARE compare, LPARAM data) {
    // The comparison may ask the list about its rows while it runs, so the rows stay where
    // they are until the new order is known.
    std::vector<size_t> order(m_rows.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return compare(m_rows[a].data, m_rows[b].data, data) < 0;
    });
    std::vector<Row> sorted;
    sorted.reserve(m_rows.size());
    for (const size_t index : order) sorted.push_back(std::move(m_rows[index]));
    m_rows = std::move(sorted);
    return TRUE;
}

LRESULT ListModel::InsertColumn(int column, const LVCOLUMNA& record) {
    if (column < 0) return -1;
    const int index = std::min(column, static_cast<int>(m_columns.size()));
    Column added;
    if ((record.mask & LVCF_TEXT) && record.pszText) added.heading = record.pszText;
    if (record.mask & LVCF_FMT) added.format = record.fmt;
    if (record.mask & LVCF_WIDTH) added.width = record.cx;
    // Cells belong to their column, so later columns' cells move along.
    if (index > 0 && index < static_cast<int>(m_columns.size())) {
        for (Row& row : m_rows) {
            if (static_cast<int>(row.cells.size()) > index) {
                row.cells.insert(row.cells.begin() + index, std::string());
            }
        }
    }
    m_columns.insert(m_columns.begin() + index, std::move(added));
    return index;
}

BOOL ListModel::GetHeaderItem(int index, HDITEMA& item) const {
    if (!IsColumn(index)) return FALSE;
    const Column& column = m_columns[index];
    if (item.mask & HDI_WIDTH) item.cxy = column.width;
    if (item.mask & HDI_TEXT) CopyText(column.heading, item.pszText, item.cchTextMax);
    if (item.mask & HDI_FORMAT) item.fmt = column.format;
    if (item.mask & HDI_LPARAM) item.lParam = column.value;
    return TRUE;
}

BOOL ListModel::SetHeaderItem(int index, const HDITEMA& item) {
    if (!IsColumn(index)) return FALSE;
    Column& column = m_columns[index];
    if (item.mask & HDI_WIDTH) column.width = item.cxy;
    if (item.mask & HDI_TEXT) column.heading = item.pszText ? item.pszText : "";
    if (item.mask & HDI_FORMAT) column.format = item.fmt;
    if (item.mask & HDI_LPARAM) column.value = item.lParam;
    return TRUE;
}

LRESULT ListModel::Notify(NMLVCUSTOMDRAW& draw) {
    LRESULT result = CDRF_DODEFAULT;
    if (m_pControl) {
        m_pControl->OnWndMsg(OCM_NOTIFY, draw.nmcd.hdr.idFrom, reinterpret_cast<LPARAM>(&draw),
                             result);
    }
    m_drawLog.push_back(DrawCall{draw.nmcd.dwDrawStage, static_cast<int>(draw.nmcd.dwItemSpec),
                                 draw.iSubItem, result});
    return result;
}

std::vector<std::vector<ListModel::CellColors>> ListModel::Paint() {
    m_drawLog.clear();
    const CellColors listColors{m_textColor, m_backColor, false};
    const int columns = std::max(1, static_cast<int>(m_columns.size()));
    std::vector<std::vector<CellColors>> cells(m_rows.size(),
                                               std::vector<CellColors>(columns, listColors));
    NMLVCUSTOMDRAW draw{};
    draw.nmcd.hdr.code = NM_CUSTOMDRAW;
    draw.nmcd.dwDrawStage = CDDS_PREPAINT;
    draw.clrText = m_textColor;
    draw.clrTextBk = m_backColor;
    const LRESULT paint = Notify(draw);
    if (paint & CDRF_NOTIFYITEMDRAW) {
        const bool report = (m_style & LVS_TYPEMASK) == LVS_REPORT;
        for (size_t item = 0; item < m_rows.size(); ++item) {
            draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
            draw.nmcd.dwItemSpec = item;
            draw.nmcd.lItemlParam = m_rows[item].data;
            draw.iSubItem = 0;
            draw.clrText = m_textColor;
            draw.clrTextBk = m_backColor;
            const LRESULT itemResult = Notify(draw);
            if (itemResult & CDRF_NEWFONT) {
                cells[item].assign(columns, CellColors{draw.clrText, draw.clrTextBk, true});
            }
            // Per-cell notifications exist only in report view; the colours a handler leaves in
            // the record carry over from one cell to the next, as on the platform.
            if (report && (itemResult & CDRF_NOTIFYSUBITEMDRAW)) {
                for (int column = 0; column < columns; ++column) {
                    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT | CDDS_SUBITEM;
                    draw.iSubItem = column;
                    if (Notify(draw) & CDRF_NEWFONT) {
                        cells[item][column] = CellColors{draw.clrText, draw.clrTextBk, true};
                    }
                }
            }
            if (itemResult & CDRF_NOTIFYPOSTPAINT) {
                draw.nmcd.dwDrawStage = CDDS_ITEMPOSTPAINT;
                draw.iSubItem = 0;
                Notify(draw);
            }
        }
    }
    if (paint & CDRF_NOTIFYPOSTPAINT) {
        draw.nmcd.dwDrawStage = CDDS_POSTPAINT;
        draw.nmcd.dwItemSpec = 0;
        Notify(draw);
    }
    return cells;
}

void ListModel::ClickHeader(int column, UINT code) {
    NMHEADERA click{};
    click.hdr.hwndFrom = reinterpret_cast<HWND>(this);
    click.hdr.idFrom = 0;
    click.hdr.code = code;
    click.iItem = column;
    LRESULT result = 0;
    if (!m_pControl ||
        !m_pControl->OnWndMsg(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&click), result)) {
        ++m_columnClicksToParent;
    }
}
