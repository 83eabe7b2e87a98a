// --watch and --wait: the survey again and again, at once when the system says devices came
// or went, and every interval, since opening a port sends no notification.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_arguments.h"
#include "ports/engine/port_survey.h"

// One whole survey: the list read, its ports probed, their facts and holders filled in, text
// in UTF-8, ended by the deadline as SurveyWithin ends it. Nothing when the list cannot be
// read. `devicesChanged`: the system said devices came or went since the last survey, so
// nothing known of them may be taken from a cache.
using Survey =
    std::function<std::optional<PortRows>(bool devicesChanged, std::chrono::milliseconds deadline)>;

struct PortEvent {
    enum class Kind { Present, Added, Removed, Changed };
    Kind kind = Kind::Present;
    PortRow row;  // Removed: as last seen
};

// What changed from one survey to the next: the ports gone, then those added or whose status,
// holders or description changed, in the new survey's order.
std::vector<PortEvent> PortEvents(const PortRows& before, const PortRows& after);

// "2026-12-07T14:03:05.123Z"
std::string UtcTimeText(std::chrono::system_clock::time_point time);

// A line: one JSON object, or the time, the event and the port as a table line.
std::string EventLine(const PortEvent& event, const std::string& time, bool json);

// Waits between surveys: for the interval, a device notification, or a request to stop.
// The system's edge; one implementation per system.
class WatchWake {
public:
    // With catchStop, SIGINT and SIGTERM (Windows: Ctrl+C, Ctrl+Break, the console closing)
    // end the wait instead of the program.
    explicit WatchWake(bool catchStop);
    ~WatchWake();
    WatchWake(const WatchWake&) = delete;
    WatchWake& operator=(const WatchWake&) = delete;

    // ReaderGone: standard output's reader has left (Linux; Windows finds out at the next
    // write).
    enum class Reason { Interval, Devices, Stop, ReaderGone };
    Reason Wait(std::chrono::milliseconds most);
    // Why no device notifications come, where they cannot be had; empty otherwise.
    std::string Problem() const;

    struct State;

private:
    std::unique_ptr<State> m_state;
};

// Each runs until it is done and gives the exit status; output and messages are written as
// they come.
int RunWatch(const CliArguments& arguments, const Survey& survey, WatchWake& wake);
int RunWait(const CliArguments& arguments, const Survey& survey, WatchWake& wake);
