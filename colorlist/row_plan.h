// How a list showing some rows is brought in line with the rows wanted, matched by position:
// rows that both have are rewritten where they stand, new ones are appended at the end and
// surplus ones deleted from the end. Nothing is ever cleared and rebuilt.
#pragma once

struct RowPlan {
    int rewrite;  // rows 0 .. rewrite-1 stay and are rewritten in place
    int append;   // rows added after them
    int remove;   // rows deleted after them

    // Rows come or go: the list should not draw each one.
    bool ChangesRowCount() const { return append > 0 || remove > 0; }
};

constexpr RowPlan PlanRows(int shown, int wanted) {
    return shown <= wanted ? RowPlan{shown, wanted - shown, 0} : RowPlan{wanted, 0, shown - wanted};
}
