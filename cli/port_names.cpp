#include "cli/port_names.h"

#include <algorithm>
#include <iterator>

#include "cli/cli_arguments.h"
#include "cli/port_report.h"
#include "cli/system_text.h"
#ifdef _WIN32
#include "ports/win32/remembered_ports.h"
#endif

namespace {

PortRows Remembered(const PortRows& listed, const std::optional<std::string>& onlyPort) {
#ifdef _WIN32
    PortRows rows = ReadRememberedPorts(listed);
    if (onlyPort) {
        rows.erase(
            std::remove_if(rows.begin(), rows.end(),
                           [&](const PortRow& row) { return !NamesPort(*onlyPort, row.port); }),
            rows.end());
    }
    return rows;
#else
    (void)listed;
    (void)onlyPort;
    return {};
#endif
}

// "FTDI, vendor 0403, product 6001, serial A1B2C3": what tells one adapter from another.
std::string AdapterDetails(const PortFacts& facts) {
    std::string details;
    const std::pair<const char*, const std::string*> known[] = {{"", &facts.manufacturer},
                                                                {"vendor ", &facts.vid},
                                                                {"product ", &facts.pid},
                                                                {"serial ", &facts.serial}};
    for (const auto& [label, value] : known) {
        if (!value->empty()) details += (details.empty() ? "" : ", ") + (label + *value);
    }
    return details;
}

}  // namespace

void AddRememberedPorts(PortRows& rows, const std::optional<std::string>& onlyPort) {
    PortRows remembered = Remembered(rows, onlyPort);
    rows.insert(rows.end(), std::make_move_iterator(remembered.begin()),
                std::make_move_iterator(remembered.end()));
}

std::string RememberedPortNote(const std::string& name, const PortRows& rows) {
    PortRows listed;
    std::copy_if(rows.begin(), rows.end(), std::back_inserter(listed),
                 [](const PortRow& row) { return row.inPortList; });
    const PortRows remembered = Remembered(listed, name);
    if (remembered.empty()) return {};
    const PortRow& row = remembered.front();
    std::string note = std::string(kCliProgramName) + ": " + row.port;
    if (row.reason == PortReason::Reserved) {
        return note + " is reserved in the COM database, for no device Windows still knows\n";
    }
    const std::string description = SystemTextToUtf8(row.facts.description);
    const std::string details = SystemTextToUtf8(AdapterDetails(row.facts));
    return note + " belongs to an absent adapter" + (description.empty() ? "" : ": ") +
           description + (details.empty() ? "" : " (" + details + ")") +
           "; Device Manager shows it under View, Show hidden devices\n";
}

std::string LastingNameTip(const PortRows& rows) {
    for (const PortRow& row : rows) {
        std::string link = !row.facts.byId.empty() ? row.facts.byId : row.facts.byPath;
        if (link.empty()) continue;
        std::string tip = "Tip: " + link + " names " + row.port +
                          " after a re-plug or reboot too; --json gives each port's byId and "
                          "byPath\n";
        // Like the table, one line whatever bytes the names hold.
        std::replace_if(
            tip.begin(), tip.end() - 1,
            [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, '?');
        return tip;
    }
    return {};
}
