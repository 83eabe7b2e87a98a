#include "ports/engine/port_holders.h"

#include <mutex>
#include <utility>

PortHolderLookup SystemHolderLookup() {
    struct Finder {
        std::mutex mutex;  // a late answer's lookup may meet a survey's
        PortHolderFinder finder;
    };
    const auto shared = std::make_shared<Finder>();
    return [shared](const PortRows& rows) {
        const std::lock_guard<std::mutex> lock(shared->mutex);
        std::vector<PortHolders> found = shared->finder.Find(rows);
        std::vector<std::optional<PortHolders>> holders(rows.size());
        if (shared->finder.LastFindFailed()) return holders;
        for (size_t row = 0; row < rows.size() && row < found.size(); ++row) {
            holders[row] = std::move(found[row]);
        }
        return holders;
    };
}
