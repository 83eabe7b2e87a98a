#include <algorithm>
#include <memory>
#include <mutex>

#include "ports/win32/port_holder_finder.h"
#include "ports/engine/survey_engine.h"
#include "ports/win32/port_facts_win32.h"
#include "ports/win32/registry_port_source.h"

namespace {

// The list names the ports whose devices are there: nothing is left to ask before the snapshot.
// (QueryDosDevice would say so without an open, but Wine's knows no COM port.)
ProbeResult AwaitSnapshot(const char*) {
    return ProbeResult(PortStatus::Unknown, PortReason::NoAnswer);
}

// Busy when a process is seen holding the port; free when nobody is, and every process that
// has files open could be looked at; otherwise nobody can tell.
void TellFromSnapshot(PortHolderFinder& finder, PortRows& rows) {
    const std::vector<std::optional<PortHolders>> found = finder.Find(rows);
    const bool failed = finder.LastFindFailed();
    const bool sawAll = finder.LastFindSawAll();
    for (size_t index = 0; index < rows.size(); ++index) {
        PortRow& row = rows[index];
        row.holders.clear();
        row.holdersFailed = false;
        if (row.status == PortStatus::NotFound) continue;
        const PortHolders none;
        const PortHolders& held =
            failed || index >= found.size() || !found[index] ? none : *found[index];
        if (std::any_of(held.begin(), held.end(), [](const PortHolder& h) { return h.visible; })) {
            row.status = PortStatus::Busy;
            row.reason = PortReason::Held;
            row.holders = held;
        } else if (!failed && sawAll) {
            row.status = PortStatus::Available;
            row.reason = PortReason::None;
        } else {
            row.status = PortStatus::Unknown;
            row.reason = PortReason::NoAnswer;
        }
    }
}

}  // namespace

SurveyStages NoOpenSurveyStages() {
    struct Finder {
        std::mutex mutex;  // a late answer's lookup may meet a survey's
        PortHolderFinder finder;
    };
    const auto shared = std::make_shared<Finder>();
    SurveyStages stages = SystemSurveyStages(AwaitSnapshot);
    stages.probeMayHang = false;
    stages.findHolders = [shared](PortRows& rows) {
        const std::lock_guard<std::mutex> lock(shared->mutex);
        TellFromSnapshot(shared->finder, rows);
    };
    return stages;
}

SurveyStages SystemSurveyStages(PortProbe probe) {
    SurveyStages stages;
    stages.readRows = ReadRowsWithFacts(
        [] {
            RegistryPortSource source;
            return ReadPortRows(source);
        },
        ReadPortFacts);
    stages.probe = std::move(probe);
    stages.findHolders = LookUpBusyHolders(SystemHolderLookup());
    return stages;
}

std::optional<PortRows> SurveySystemPorts() {
    RegistryPortSource source;
    return SurveyPorts(source, ProbePort);
}
