#include <cerrno>
#include <memory>
#include <mutex>
#include <sys/stat.h>

#include "ports/engine/survey_engine.h"
#include "ports/linux/port_usage.h"

ProbeResult ProbeNodePresence(const char* portName) {
    struct stat info {};
    if (::stat(portName, &info) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
        return ProbeResult(PortStatus::NotFound, PortReason::NotPresent);
    }
    return ProbeResult(PortStatus::Unknown, PortReason::NoAnswer);
}

std::function<void(PortRows& rows)> UsageStage(PortUsagePlaces places) {
    struct Scanner {
        explicit Scanner(PortUsagePlaces where) : scanner(std::move(where)) {}
        std::mutex mutex;  // a late answer's scan may meet a survey's
        PortUsageScanner scanner;
    };
    const auto shared = std::make_shared<Scanner>(std::move(places));
    return [shared](PortRows& rows) {
        std::vector<std::string> ports;
        for (const PortRow& row : rows) ports.push_back(row.port);
        std::optional<PortUsageScan> scan;
        {
            const std::lock_guard<std::mutex> lock(shared->mutex);
            scan = shared->scanner.Scan(ports);
        }
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
            // A port busy by its locks alone, when no process could be looked at.
            row.holdersFailed =
                row.status == PortStatus::Busy && row.holders.empty() && !scan->processesListed;
            const char* key = ReasonKey(usage.reason);
            const std::string text = UsageText(usage);
            if (text != (key ? key : "")) row.reasonText = text;
        }
    };
}

SurveyStages NoOpenSurveyStages() {
    SurveyStages stages = SystemSurveyStages(ProbeNodePresence);
    stages.findHolders = UsageStage();
    return stages;
}
