#include "ui/port_list_view.h"

#include "ui/port_list_update.h"

bool PortListView::Answer(const Answers& answers, std::vector<int>* changed) {
    for (const auto& answer : answers) {
        for (size_t row = 0; row < m_rows.size(); ++row) {
            if (m_rows[row].port != answer.first) continue;
            m_rows[row].status = answer.second;
            m_answered[row] = true;
            if (changed) changed->push_back(static_cast<int>(row));
        }
    }
    for (const bool answered : m_answered) {
        if (!answered) return true;
    }
    return false;
}

void PortListView::ShowRows(PortRows rows, const Answers& answers) {
    for (PortRow& row : rows) {
        if (const PortRow* shown = RowOf(row.port)) row.holders = shown->holders;
    }
    m_rows = std::move(rows);
    m_answered.assign(m_rows.size(), false);
    const bool waiting = Answer(answers, nullptr);
    ShowPortRows(m_list, m_rows, m_answered);
    m_keys.clear();
    // Rows may be sorted before the last answers come: find them again by their keys, which
    // travel with them. Through the base class, item data is the key.
    if (waiting) {
        for (int row = 0; row < static_cast<int>(m_rows.size()); ++row) {
            m_keys.push_back(m_list.CListCtrl::GetItemData(row));
        }
    }
}

void PortListView::ShowHolders(const Holders& holders) {
    for (PortRow& row : m_rows) {
        row.holders.clear();
        for (const auto& held : holders) {
            if (held.first == row.port) row.holders = held.second;
        }
    }
}

const PortRow* PortListView::RowOf(const std::string& port) const {
    for (const PortRow& row : m_rows) {
        if (row.port == port) return &row;
    }
    return nullptr;
}

void PortListView::ShowAnswers(const Answers& answers) {
    std::vector<int> changed;
    const bool waiting = Answer(answers, &changed);
    for (const int row : changed) {
        if (static_cast<size_t>(row) >= m_keys.size()) continue;
        LVFINDINFOA find{};
        find.flags = LVFI_PARAM;
        find.lParam = static_cast<LPARAM>(m_keys[static_cast<size_t>(row)]);
        const int shown = m_list.FindItem(&find);
        if (shown >= 0) {
            m_list.SetItemText(shown, kStatusColumn,
                               StatusText(m_rows[static_cast<size_t>(row)].status));
        }
    }
    if (!waiting) m_keys.clear();
}
