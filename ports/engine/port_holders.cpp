#include "ports/engine/port_holders.h"

std::vector<PortHolders> FindPortHolders(const PortRows& rows) {
    return PortHolderFinder().Find(rows);
}

void FillPortHolders(PortRows& rows, const PortHolderLookup& lookup) {
    PortRows busy;
    for (const PortRow& row : rows) {
        if (row.status == PortStatus::Busy) busy.push_back(row);
    }
    if (busy.empty() || !lookup) return;
    std::vector<PortHolders> holders = lookup(busy);
    size_t next = 0;
    for (PortRow& row : rows) {
        if (row.status != PortStatus::Busy) continue;
        if (next < holders.size()) row.holders = std::move(holders[next]);
        ++next;
    }
}
