// The port list while surveys run beside it: a survey's rows come first, and their statuses
// as the probes answer. A row waiting for its answer keeps the status it shows when it still
// shows the same port, and shows none when the port is new to its place. A busy port's holders
// stay until the survey's own come.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "colorlist/color_list_ctrl.h"
#include "ports/engine/port_survey.h"

class PortListView {
public:
    using Answers = std::vector<std::pair<std::string, PortStatus>>;
    using Holders = std::vector<std::pair<std::string, PortHolders>>;

    explicit PortListView(CColorListCtrl& list) : m_list(list) {}

    // A survey's rows, with whatever answers came with them.
    void ShowRows(PortRows rows, const Answers& answers);
    // Answers that came later, for every row that shows their port, wherever a sort put it.
    void ShowAnswers(const Answers& answers);
    // A finished survey's holders: every row's are now these or none.
    void ShowHolders(const Holders& holders);
    // The row of a port of the latest survey; null when it has none.
    const PortRow* RowOf(const std::string& port) const;

private:
    // Applies the answers to m_rows; true when some row still waits for one.
    bool Answer(const Answers& answers, std::vector<int>* changed);

    CColorListCtrl& m_list;
    PortRows m_rows;                // the latest survey's, in its order
    std::vector<bool> m_answered;   // per row of m_rows
    std::vector<DWORD_PTR> m_keys;  // the list's key of each row, while answers are missing
};
