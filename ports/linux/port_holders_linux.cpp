#include <algorithm>
#include <memory>
#include <optional>

#include "ports/linux/port_holder_finder.h"
#include "ports/linux/port_usage.h"

PortHolderFinder::PortHolderFinder() : PortHolderFinder("/proc") {}

PortHolderFinder::PortHolderFinder(std::string procDir) : m_procDir(std::move(procDir)) {}

std::vector<std::optional<PortHolders>> PortHolderFinder::Find(const PortRows& rows) {
    std::vector<std::optional<PortHolders>> holders(rows.size());
    std::vector<std::string> ports;
    for (const PortRow& row : rows) ports.push_back(row.port);
    PortUsagePlaces places;
    places.procDir = m_procDir;
    const std::optional<PortUsageScan> scan = ScanPortUsagePatiently(ports, places);
    m_lastFindFailed = !scan || !scan->processesListed;
    if (m_lastFindFailed) return holders;
    for (size_t row = 0; row < rows.size(); ++row) {
        const PortUsage& usage = scan->ports[row];
        if (!usage.holders.empty()) {
            holders[row] = usage.holders;
        } else if (usage.holdersUnknown || usage.reason == PortReason::NoAnswer) {
            // The scan ended before it came to the holder.
            continue;
        } else if (usage.status != PortStatus::NotFound &&
                   usage.reason != PortReason::NoPermission) {
            // Asked about a port found busy by its open, with nobody in sight: it may be any
            // process that cannot be seen, unless this user may not open it anyway.
            holders[row] = scan->hidden;
        } else {
            holders[row] = PortHolders();
        }
    }
    return holders;
}

// Stateless: lookups of a survey and of a late answer may meet without harm.
PortHolderLookup SystemHolderLookup() {
    return [](const PortRows& rows) { return PortHolderFinder().Find(rows); };
}
