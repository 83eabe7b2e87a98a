#include "ui/port_list_update.h"

#include "colorlist/row_plan.h"
#include "framework/text_compare.h"

namespace {

// A list that draws every row appearing or going spends most of a refresh on it, and nothing
// can be seen of it anyway: such lists draw once at the end. Lists whose rows stay are left
// drawing, since turning drawing back on redraws them whole.
class RedrawPause {
public:
    RedrawPause(CColorListCtrl& list, bool pause) : m_list(list), m_bPaused(pause) {
        if (m_bPaused) m_list.SetRedraw(false);
    }
    ~RedrawPause() {
        if (m_bPaused) m_list.SetRedraw(true);
    }
    RedrawPause(const RedrawPause&) = delete;
    RedrawPause& operator=(const RedrawPause&) = delete;

private:
    CColorListCtrl& m_list;
    const bool m_bPaused;
};

// A cell's text, unless it already shows it: a read costs the list less than a write.
void WriteChangedCell(CColorListCtrl& list, int row, int column, const std::string& text) {
    char cell[kPortValueCapacity] = {};
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = cell;
    item.cchTextMax = static_cast<int>(sizeof cell);
    // The list may point the record at its own copy rather than fill ours.
    if (list.GetItem(&item) &&
        CompareMultiByte(item.pszText ? item.pszText : "", text.c_str()) == 0) {
        return;
    }
    list.SetItemText(row, column, text.c_str());
}

}  // namespace

void ShowPortRows(CColorListCtrl& list, const PortRows& rows) {
    const RowPlan plan = PlanRows(list.GetItemCount(), static_cast<int>(rows.size()));
    const RedrawPause redraw(list, plan.ChangesRowCount());
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        const PortRow& port = rows[static_cast<size_t>(row)];
        const bool keepsStatus =
            port.pending && row < plan.rewrite && list.GetItemText(row, kPortColumn) == port.port;
        if (row < plan.rewrite) {
            WriteChangedCell(list, row, kDeviceColumn, port.device);
        } else {
            list.InsertItem(row, port.device.c_str());
        }
        for (int column = kPortColumn; column < static_cast<int>(kPortColumns.size()); ++column) {
            if (column == kStatusColumn && keepsStatus) continue;
            const std::string text = column == kStatusColumn && port.pending
                                         ? std::string()
                                         : kPortColumns[static_cast<size_t>(column)].text(port);
            // Port and status are written on every refresh, equal or not; the columns after
            // them only when they change, since every write costs the window's thread.
            if (column > kStatusColumn && row < plan.rewrite) {
                WriteChangedCell(list, row, column, text);
            } else {
                list.SetItemText(row, column, text.c_str());
            }
        }
    }
    for (int left = plan.remove; left > 0; --left) list.DeleteItem(plan.rewrite);
}

void UpdatePortList(CColorListCtrl& list) {
    if (const std::optional<PortRows> rows = SurveySystemPorts()) ShowPortRows(list, *rows);
}
