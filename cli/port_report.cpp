#include "cli/port_report.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <utility>

#include <nlohmann/json.hpp>

#include "cli/port_json.h"
#include "cli/port_names.h"
#include "cli/system_text.h"
#include "ports/model/port_columns.h"
#include "ports/model/port_holders_text.h"

namespace {

#ifdef _WIN32
constexpr char kPortList[] = "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM";
#else
constexpr char kPortList[] = "/sys/class/tty";
#endif

// Characters as a terminal counts them, near enough: UTF-8 continuation bytes take no room.
size_t DisplayWidth(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// The length of the UTF-8 sequence at text[at] and its code point; 0 when the bytes there
// are no UTF-8 (a stray or cut-short sequence, an overlong form, a surrogate, beyond U+10FFFF).
size_t Utf8Sequence(const std::string& text, size_t at, char32_t* codePoint) {
    const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    const size_t length = lead < 0x80   ? 1
                          : lead < 0xC2 ? 0
                          : lead < 0xE0 ? 2
                          : lead < 0xF0 ? 3
                          : lead < 0xF5 ? 4
                                        : 0;
    if (length == 0 || at + length > text.size()) return 0;
    char32_t value = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        value = value << 6 | (byte(at + i) & 0x3F);
    }
    constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kLeast[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    *codePoint = value;
    return length;
}

}  // namespace

// The text is UTF-8 here on both systems: Windows' code page was converted before, where its
// letters at 0x80 to 0x9F (0x9B is a closing angle quote in 1252) became characters, and only bytes
// it leaves undefined became C1 controls. So one rule serves both: C0 controls, DEL and the C1
// controls as characters, and each byte that is no UTF-8 (on Linux a raw 0x9B, which an 8-bit
// terminal takes as a control sequence's start), show as '?'.
std::string PrintableText(const std::string& utf8) {
    std::string printable;
    for (size_t at = 0; at < utf8.size();) {
        char32_t codePoint = 0;
        const size_t length = Utf8Sequence(utf8, at, &codePoint);
        if (length == 0 || codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F)) {
            printable += '?';
            at += length == 0 ? 1 : length;
        } else {
            printable.append(utf8, at, length);
            at += length;
        }
    }
    return printable;
}

namespace {

// "busy (no permission: join group dialout)", "busy (held)", "available": the status with its
// reason, but for a port not found, which that says already.
std::string StatusWithReason(const PortRow& row) {
    const std::string status = StatusText(row.status);
    const char* key = row.reason == PortReason::NotPresent ? nullptr : ReasonKey(row.reason);
    const std::string reason = !row.reasonText.empty() ? row.reasonText : key ? key : "";
    return reason.empty() ? status : status + " (" + reason + ")";
}

}  // namespace

int ExitStatusFor(PortStatus status) {
    switch (status) {
        case PortStatus::Available:
            return kExitAvailable;
        case PortStatus::Busy:
            return kExitBusy;
        case PortStatus::NotFound:
            return kExitNotFound;
        default:
            return kExitUnknown;
    }
}

int OutputFailed(Written written) {
    if (written != Written::ReaderGone) {
        WriteToStandardError(std::string(kCliProgramName) + ": the output cannot be written\n");
    }
    return kExitFailed;
}

std::optional<PortRows> SurveyForReport(SurveyStages stages,
                                        const std::optional<std::string>& onlyPort,
                                        std::chrono::milliseconds deadline) {
    if (onlyPort) {
        stages.readRows = [read = std::move(stages.readRows), name = *onlyPort](bool forget) {
            std::optional<PortRows> rows = read(forget);
            if (!rows) return rows;
            const auto match = std::find_if(rows->begin(), rows->end(), [&](const PortRow& row) {
                return NamesPort(name, row.port);
            });
            PortRows selected;
            if (match != rows->end()) selected.push_back(std::move(*match));
            return std::optional<PortRows>(std::move(selected));
        };
    }
    SurveyEngine::Options options;
    options.patience = ConsolePatience(deadline);
    SurveyEngine engine(std::move(stages), nullptr, options);
    return SurveyWithin(engine, deadline);
}

std::string TableText(const PortRows& rows, bool withHeader) {
    using Line = std::array<std::string, 5>;
    static_assert(
        std::tuple_size<Line>::value == std::tuple_size<decltype(kPortColumns)>::value + 1,
        "the columns and Held by");
    const bool held = std::any_of(rows.begin(), rows.end(), [](const PortRow& row) {
        return !row.holders.empty() || row.holdersFailed;
    });
    const size_t columns = held ? 5 : 4;
    std::vector<Line> lines;
    if (withHeader) {
        Line header;
        for (size_t column = 0; column < kPortColumns.size(); ++column) {
            header[column] = kPortColumns[column].heading;
        }
        header.back() = "Held by";
        lines.push_back(header);
    }
    for (const PortRow& row : rows) {
        Line line;
        for (size_t column = 0; column < kPortColumns.size(); ++column) {
            line[column] = PrintableText(column == kStatusColumn ? StatusWithReason(row)
                                                                 : kPortColumns[column].text(row));
        }
        std::string holders = row.holdersFailed ? kHoldersUnknownText : "";
        for (const std::string& holder : DescribePortHolders(row.holders)) {
            holders += (holders.empty() ? "" : ", ") + holder;
        }
        line.back() = PrintableText(holders);
        lines.push_back(line);
    }
    std::array<size_t, 5> widths{};
    for (const Line& line : lines) {
        for (size_t column = 0; column < widths.size(); ++column) {
            widths[column] = std::max(widths[column], DisplayWidth(line[column]));
        }
    }
    std::string text;
    for (const Line& line : lines) {
        std::string out = line[0];
        size_t last = 0;  // the column `out` ends with
        for (size_t column = 1; column < columns; ++column) {
            // A column with nothing in it, not even a header, takes no room.
            if (widths[column] == 0) continue;
            out.append(widths[last] - DisplayWidth(line[last]) + 2, ' ');
            out += line[column];
            last = column;
        }
        out.erase(out.find_last_not_of(' ') + 1);  // no padding after an empty description
        text += out + '\n';
    }
    return text;
}

nlohmann::ordered_json PortObject(const PortRow& row) {
    // Ordered, so that every object lists its keys in the documented order.
    nlohmann::ordered_json port = nlohmann::ordered_json::object();
    for (size_t column = 0; column < kPortColumns.size(); ++column) {
        port[kPortColumns[column].key] = kPortColumns[column].text(row);
        // A port the system only remembers has no device to name.
        if (column == kDeviceColumn && !row.inPortList) port["device"] = nullptr;
        if (column != kStatusColumn) continue;
        const char* reason = ReasonKey(row.reason);
        port["reason"] = reason ? nlohmann::ordered_json(reason) : nlohmann::ordered_json();
    }
    const std::pair<const char*, const std::string*> known[] = {
        {"manufacturer", &row.facts.manufacturer},
        {"vid", &row.facts.vid},
        {"pid", &row.facts.pid},
        {"serial", &row.facts.serial},
        {"bus", &row.facts.bus},
        {"location", &row.facts.location}};
    for (const auto& fact : known) {
        port[fact.first] =
            fact.second->empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(*fact.second);
    }
    char* end = nullptr;
    const unsigned long number = std::strtoul(row.facts.usbInterface.c_str(), &end, 16);
    port["interface"] = row.facts.usbInterface.empty() || *end != '\0'
                            ? nlohmann::ordered_json()
                            : nlohmann::ordered_json(number);
    for (const auto& link :
         {std::make_pair("byId", &row.facts.byId), std::make_pair("byPath", &row.facts.byPath)}) {
        port[link.first] =
            link.second->empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(*link.second);
    }
    nlohmann::ordered_json holders = nlohmann::ordered_json::array();
    for (const PortHolder& holder : row.holders) {
        holders.push_back(
            {{"pid", holder.pid},
             {"name", holder.visible && holder.nameKnown ? nlohmann::ordered_json(holder.name)
                                                         : nlohmann::ordered_json()}});
    }
    port["holders"] = row.holdersFailed ? nlohmann::ordered_json() : std::move(holders);
    return port;
}

std::string JsonDump(const nlohmann::ordered_json& json, int indent) {
    return json.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string JsonText(const PortRows& rows) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const PortRow& row : rows) list.push_back(PortObject(row));
    return JsonDump(list, 2) + '\n';
}

std::string JsonLine(const PortRow& row) { return JsonDump(PortObject(row)) + '\n'; }

Report MakeReport(std::optional<PortRows> rows, const CliArguments& arguments) {
    Report report;
    const std::string program = kCliProgramName;
    if (rows) KeepMatching(*rows, arguments.matches);
    if (!rows) {
        report.error = program + ": cannot read the port list (" + kPortList + ")\n";
        report.exitStatus = kExitNoPortList;
        return report;
    }
    if (rows->empty() && (arguments.port || !arguments.matches.empty())) {
        // A selection that selects nothing is "not found": a script that asks for its
        // adapter learns from the status that it is not there. Without a header line.
        const std::string matches = DescribeMatches(arguments.matches);
        report.out = arguments.json ? JsonText(*rows) : "";
        report.error =
            program + ": " +
            (!arguments.port   ? "no port passes " + matches
             : matches.empty() ? SystemTextToUtf8(*arguments.port) + " is not in the port list"
                               : SystemTextToUtf8(*arguments.port) +
                                     " is not in the port list or does not pass " + matches) +
            '\n';
        report.exitStatus = kExitNotFound;
        return report;
    }
    report.out = arguments.json   ? JsonText(*rows)
                 : arguments.port ? TableText(*rows, false)
                                  : TableText(*rows, true) + LastingNameTip(*rows);
    if (arguments.port) report.exitStatus = ExitStatusFor(rows->front().status);
    return report;
}
