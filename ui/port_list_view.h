// The port list while surveys run beside it: a survey's rows come first, by position, and
// then the same rows again as their answers come, each status written wherever a sort put its
// row.
#pragma once

#include <vector>

#include "colorlist/color_list_ctrl.h"
#include "ports/engine/port_survey.h"

class PortListView {
public:
    explicit PortListView(CColorListCtrl& list) : m_list(list) {}

    // The rows of survey `survey` as they stand.
    void Show(PortRows rows, unsigned survey);
    // The row of a port of the latest rows; null when it has none.
    const PortRow* RowOf(const std::string& port) const;

private:
    CColorListCtrl& m_list;
    PortRows m_rows;  // the latest, in the survey's order
    unsigned m_survey = 0;
    std::vector<DWORD_PTR> m_keys;  // the list's key of each row, while answers are missing
};
