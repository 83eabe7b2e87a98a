#include "cli/port_watch.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include <nlohmann/json.hpp>

#include "cli/console_output.h"
#include "cli/port_json.h"
#include "cli/port_report.h"
#include "cli/system_text.h"
#include "ports/model/port_holders_text.h"

namespace {

bool SameHolders(const PortHolders& a, const PortHolders& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const PortHolder& x, const PortHolder& y) {
                          return x.pid == y.pid && x.name == y.name && x.visible == y.visible;
                      });
}

const char* EventName(PortEvent::Kind kind) {
    switch (kind) {
        case PortEvent::Kind::Present:
            return "present";
        case PortEvent::Kind::Added:
            return "added";
        case PortEvent::Kind::Removed:
            return "removed";
        case PortEvent::Kind::Changed:
            break;
    }
    return "changed";
}

// The ports that pass the command line's --port and --match.
std::optional<PortRows> Selected(const CliArguments& arguments, const Survey& survey,
                                 bool devicesChanged,
                                 std::chrono::milliseconds deadline = kConsoleDeadline) {
    std::optional<PortRows> rows = survey(devicesChanged, deadline);
    if (!rows) return rows;
    if (arguments.port) {
        const std::string name = SystemTextToUtf8(*arguments.port);
        rows->erase(
            std::remove_if(rows->begin(), rows->end(),
                           [&name](const PortRow& row) { return !NamesPort(name, row.port); }),
            rows->end());
    }
    KeepMatching(*rows, arguments.matches);
    return rows;
}

std::string ProgramMessage(const std::string& text) {
    return std::string(kCliProgramName) + ": " + text + '\n';
}

std::string SecondsText(std::chrono::milliseconds time) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(time.count()) / 1000);
    return text;
}

// "--port COM7 --match serial=A1B2", or empty.
std::string Selection(const CliArguments& arguments) {
    std::string text = arguments.port ? "--port " + SystemTextToUtf8(*arguments.port) : "";
    const std::string matches = DescribeMatches(arguments.matches);
    if (!text.empty() && !matches.empty()) text += ' ';
    return text + matches;
}

// What a wait saw last, for the message when it gives up.
std::string LastSeen(const std::optional<PortRows>& rows, const std::string& selection) {
    if (!rows) return "the port list cannot be read";
    if (rows->empty()) return selection.empty() ? "no port in the list" : "no port matched";
    std::string seen;
    for (const PortRow& row : *rows) {
        std::string held;
        for (const std::string& holder : DescribePortHolders(row.holders)) {
            held += (held.empty() ? ", held by " : ", ") + holder;
        }
        seen +=
            (seen.empty() ? "" : "; ") + row.port + " matched but " + StatusText(row.status) + held;
    }
    // Process names, to a terminal as the table shows them.
    return PrintableText(seen);
}

}  // namespace

std::vector<PortEvent> PortEvents(const PortRows& before, const PortRows& after) {
    // A port listed twice counts once: its first row.
    std::map<std::string, const PortRow*> earlier;
    std::map<std::string, const PortRow*> later;
    for (const PortRow& row : before) earlier.emplace(row.port, &row);
    for (const PortRow& row : after) later.emplace(row.port, &row);
    std::vector<PortEvent> events;
    for (const auto& [port, row] : earlier) {
        if (later.find(port) == later.end()) events.push_back({PortEvent::Kind::Removed, *row});
    }
    std::sort(events.begin(), events.end(), [&before](const PortEvent& a, const PortEvent& b) {
        const auto place = [&before](const PortEvent& event) {
            return std::find_if(before.begin(), before.end(), [&event](const PortRow& row) {
                return row.port == event.row.port;
            });
        };
        return place(a) < place(b);
    });
    for (const PortRow& row : after) {
        if (later[row.port] != &row) continue;
        const auto found = earlier.find(row.port);
        if (found == earlier.end()) {
            events.push_back({PortEvent::Kind::Added, row});
        } else if (found->second->status != row.status ||
                   found->second->facts.description != row.facts.description ||
                   !SameHolders(found->second->holders, row.holders)) {
            events.push_back({PortEvent::Kind::Changed, row});
        }
    }
    return events;
}

std::string UtcTimeText(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const long long ms = duration_cast<milliseconds>(time.time_since_epoch()).count();
    const long long msOfDay = ((ms % 86400000) + 86400000) % 86400000;
    // Days since 1970-01-01 to the civil date, in 400-year eras of 146097 days.
    const long long days = (ms - msOfDay) / 86400000 + 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long shifted = (5 * dayOfYear + 2) / 153;  // months from March
    const long long day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    const long long month = shifted < 10 ? shifted + 3 : shifted - 9;
    const long long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char text[96];  // room for any year the arithmetic gives
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lldZ", year,
                  month, day, msOfDay / 3600000, msOfDay / 60000 % 60, msOfDay / 1000 % 60,
                  msOfDay % 1000);
    return text;
}

std::string EventLine(const PortEvent& event, const std::string& time, bool json) {
    if (json) {
        const nlohmann::ordered_json object = {
            {"event", EventName(event.kind)}, {"time", time}, {"port", PortObject(event.row)}};
        return JsonDump(object) + '\n';
    }
    std::string name = EventName(event.kind);
    name.resize(7, ' ');
    return time + "  " + name + "  " + TableText({event.row}, false);
}

int RunWatch(const CliArguments& arguments, const Survey& survey, WatchWake& wake) {
    if (!wake.Problem().empty()) WriteToStandardError(ProgramMessage(wake.Problem()));
    std::optional<PortRows> known;
    bool unreadable = false;  // the last survey could not read the list
    bool devicesChanged = false;
    for (;;) {
        std::optional<PortRows> rows = Selected(arguments, survey, devicesChanged);
        const std::string time = UtcTimeText(std::chrono::system_clock::now());
        if (!rows && !known) {
            WriteToStandardError(MakeReport(std::nullopt, arguments).error);
            return kExitNoPortList;
        }
        if (!rows && !unreadable) {
            WriteToStandardError(ProgramMessage("cannot read the port list; trying again"));
        }
        unreadable = !rows;
        if (rows) {
            std::vector<PortEvent> events;
            if (known) {
                events = PortEvents(*known, *rows);
            } else {
                for (const PortRow& row : *rows) events.push_back({PortEvent::Kind::Present, row});
            }
            for (const PortEvent& event : events) {
                const Written written =
                    WriteToStandardOutput(EventLine(event, time, arguments.json));
                if (written != Written::All) return OutputFailed(written);
            }
            known = std::move(rows);
        }
        const WatchWake::Reason woken = wake.Wait(arguments.interval);
        if (woken == WatchWake::Reason::Stop) return kExitAvailable;
        if (woken == WatchWake::Reason::ReaderGone) return OutputFailed(Written::ReaderGone);
        devicesChanged = woken == WatchWake::Reason::Devices;
    }
}

int RunWait(const CliArguments& arguments, const Survey& survey, WatchWake& wake) {
    using Clock = std::chrono::steady_clock;
    using std::chrono::milliseconds;
    const Clock::time_point start = Clock::now();
    const auto left = [&] {
        return *arguments.timeout - std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    };
    // The look after the last pause gets at least this long, so that a port freed at the last
    // moment is still seen; the wait then ends at most this much after its timeout.
    constexpr milliseconds kLastLook{50};
    std::optional<PortRows> seen;  // the last survey that read the list
    bool devicesChanged = false;
    for (;;) {
        // A survey that hangs must not carry the wait past its timeout.
        const milliseconds deadline =
            arguments.timeout ? std::clamp(left(), kLastLook, kConsoleDeadline) : kConsoleDeadline;
        std::optional<PortRows> rows = Selected(arguments, survey, devicesChanged, deadline);
        if (rows) {
            const auto free = std::find_if(rows->begin(), rows->end(), [](const PortRow& row) {
                return row.status == PortStatus::Available;
            });
            if (free != rows->end()) {
                const std::string out =
                    arguments.json ? JsonLine(*free) : TableText({*free}, false);
                const Written written = WriteToStandardOutput(out);
                return written == Written::All ? kExitAvailable : OutputFailed(written);
            }
            seen = std::move(rows);
        }
        milliseconds pause = arguments.interval;
        if (arguments.timeout) {
            if (left().count() <= 0) {
                const std::string selection = Selection(arguments);
                WriteToStandardError(ProgramMessage(
                    "waited " + SecondsText(*arguments.timeout) + " s for an available port" +
                    (selection.empty() ? "" : " with " + selection) + "; " +
                    LastSeen(seen, selection)));
                return kExitTimedOut;
            }
            pause = std::min(pause, left());
        }
        const WatchWake::Reason woken = wake.Wait(pause);
        if (woken == WatchWake::Reason::ReaderGone) return OutputFailed(Written::ReaderGone);
        devicesChanged = woken == WatchWake::Reason::Devices;
    }
}
