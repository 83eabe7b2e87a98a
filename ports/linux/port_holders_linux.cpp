#include <algorithm>
#include <memory>
#include <optional>

#include "ports/engine/port_holders.h"
#include "ports/linux/port_usage.h"

namespace {

PortUsagePlaces PlacesWithProc(std::string procDir) {
    PortUsagePlaces places;
    places.procDir = std::move(procDir);
    return places;
}

}  // namespace

struct PortHolderFinder::State {
    explicit State(std::string procDir) : scanner(PlacesWithProc(std::move(procDir))) {}
    PortUsageScanner scanner;
};

PortHolderFinder::PortHolderFinder() : PortHolderFinder("/proc") {}

PortHolderFinder::PortHolderFinder(std::string procDir)
    : m_state(std::make_unique<State>(std::move(procDir))) {}

PortHolderFinder::~PortHolderFinder() = default;

std::vector<PortHolders> PortHolderFinder::Find(const PortRows& rows) {
    std::vector<PortHolders> holders(rows.size());
    std::vector<std::string> ports;
    for (const PortRow& row : rows) ports.push_back(row.port);
    const std::optional<PortUsageScan> scan = m_state->scanner.Scan(ports);
    m_lastFindFailed = !scan || !scan->processesListed;
    if (m_lastFindFailed) return holders;
    for (size_t row = 0; row < rows.size(); ++row) {
        const PortUsage& usage = scan->ports[row];
        holders[row] = usage.holders;
        // Asked about a port found busy by its open, with nobody in sight: it may be any
        // process that cannot be seen, unless this user may not open it anyway.
        if (holders[row].empty() && usage.status != PortStatus::NotFound &&
            usage.reason != PortReason::NoPermission) {
            holders[row] = scan->hidden;
        }
    }
    return holders;
}
