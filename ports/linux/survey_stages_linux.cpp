#include <cerrno>
#include <memory>
#include <sys/stat.h>

#include "ports/engine/survey_engine.h"
#include "ports/linux/port_facts_sysfs.h"
#include "ports/linux/sysfs_port_source.h"
#include "ports/linux/port_usage.h"

ProbeResult ProbeNodePresence(const char* portName) {
    struct stat info {};
    if (::stat(portName, &info) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
        return ProbeResult(PortStatus::NotFound, PortReason::NotPresent);
    }
    return ProbeResult(PortStatus::Unknown, PortReason::NoAnswer);
}

std::function<void(PortRows& rows)> UsageStage(PortUsagePlaces places) {
    return [places](PortRows& rows) {
        std::vector<std::string> ports;
        for (const PortRow& row : rows) ports.push_back(row.port);
        const std::optional<PortUsageScan> scan = ScanPortUsagePatiently(ports, places);
        for (size_t index = 0; index < rows.size(); ++index) {
            PortRow& row = rows[index];
            row.holders.clear();
            row.holdersFailed = false;
            row.reasonText.clear();
            if (!scan) {
                if (row.status != PortStatus::NotFound) {
                    row.status = PortStatus::Unknown;
                    row.reason = PortReason::NoAnswer;
                }
                continue;
            }
            const PortUsage& usage = scan->ports[index];
            row.status = usage.status;
            row.reason = usage.reason;
            row.holders = usage.holders;
            row.holdersFailed = row.status == PortStatus::Busy && usage.holdersUnknown;
            const char* key = ReasonKey(usage.reason);
            const std::string text = UsageText(usage);
            if (text != (key ? key : "")) row.reasonText = text;
        }
    };
}

SurveyStages NoOpenSurveyStages() {
    SurveyStages stages = SystemSurveyStages(ProbeNodePresence);
    stages.probeMayHang = false;
    stages.findHolders = UsageStage();
    return stages;
}

SurveyStages SystemSurveyStages(PortProbe probe) {
    SurveyStages stages;
    const auto readRows = ReadRowsWithFacts(
        [] {
            SysfsPortSource source;
            return ReadPortRows(source);
        },
        [] { return ReadPortFacts(); });
    stages.readRows = [readRows](bool forget) {
        std::optional<PortRows> rows = readRows(forget);
        if (rows) FillLastingNames(*rows);
        return rows;
    };
    stages.probe = std::move(probe);
    stages.findHolders = LookUpBusyHolders(SystemHolderLookup());
    return stages;
}

std::optional<PortRows> SurveySystemPorts() {
    SysfsPortSource source;
    return SurveyPorts(source, ProbePort);
}
