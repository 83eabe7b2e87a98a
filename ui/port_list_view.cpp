#include "ui/port_list_view.h"

#include <algorithm>

#include "ui/port_list_update.h"

namespace {

bool AnyPending(const PortRows& rows) {
    return std::any_of(rows.begin(), rows.end(), [](const PortRow& row) { return row.pending; });
}

}  // namespace

void PortListView::Show(PortRows rows, unsigned survey) {
    if (survey != m_survey || rows.size() != m_rows.size()) {
        m_survey = survey;
        m_rows = std::move(rows);
        ShowPortRows(m_list, m_rows);
        m_keys.clear();
        // Rows may be sorted before the last answers come: find them again by their keys, which
        // travel with them. Through the base class, item data is the key.
        if (AnyPending(m_rows)) {
            for (int row = 0; row < static_cast<int>(m_rows.size()); ++row) {
                m_keys.push_back(m_list.CListCtrl::GetItemData(row));
            }
        }
        return;
    }
    for (size_t row = 0; row < rows.size() && row < m_keys.size(); ++row) {
        if (!m_rows[row].pending || rows[row].pending) continue;
        LVFINDINFOA find{};
        find.flags = LVFI_PARAM;
        find.lParam = static_cast<LPARAM>(m_keys[row]);
        const int shown = m_list.FindItem(&find);
        if (shown >= 0) m_list.SetItemText(shown, kStatusColumn, StatusText(rows[row].status));
    }
    m_rows = std::move(rows);
    if (!AnyPending(m_rows)) m_keys.clear();
}

const PortRow* PortListView::RowOf(const std::string& port) const {
    for (const PortRow& row : m_rows) {
        if (row.port == port) return &row;
    }
    return nullptr;
}
