// portlook (Linux) and portlook-cli.exe (Windows): the port survey for scripts and terminals.
#include <optional>
#include <string>
#include <utility>

#include "cli/cli_arguments.h"
#include "cli/console_output.h"
#include "cli/port_names.h"
#include "cli/port_report.h"
#include "cli/port_watch.h"
#include "cli/program_version.h"
#include "cli/system_text.h"
#include "ports/engine/survey_engine.h"

namespace {

// The system's ports, or only the named one, probed, with what is known of their devices and
// who holds the busy ones.
SurveyStages StagesFor(const CliArguments& arguments) {
    return arguments.open ? SystemSurveyStages() : NoOpenSurveyStages();
}

std::optional<PortRows> SurveyWithFacts(const CliArguments& arguments) {
    std::optional<PortRows> rows = SurveyForReport(StagesFor(arguments), arguments.port);
    if (!rows) return rows;
    if (arguments.all) AddRememberedPorts(*rows, arguments.port);
    // The lookups match the system's own names, so they come before the conversion.
    ConvertRowsToUtf8(*rows);
    return rows;
}

Report ReportFor(const CliArguments& arguments) {
    Report report;
    const std::string program = kCliProgramName;
    switch (arguments.action) {
        case CliArguments::Action::Help:
            report.out = UsageText();
            break;
        case CliArguments::Action::Version: {
            const std::string version = ProgramVersion();
            if (version.empty()) {
                report.error = program + ": the version cannot be read\n";
                report.exitStatus = kExitFailed;
            } else {
                report.out = program + ' ' + version + '\n';
            }
            break;
        }
        case CliArguments::Action::Usage:
            // The one line that matters, not buried under the whole usage.
            report.error = program + ": " + SystemTextToUtf8(arguments.problem) + "\nTry '" +
                           program + " --help'.\n";
            report.exitStatus = kExitUsage;
            break;
        case CliArguments::Action::Report: {
            std::optional<PortRows> rows = SurveyWithFacts(arguments);
            // A port not listed may still hold its number: say whose it is.
            const std::string note =
                rows && arguments.port ? RememberedPortNote(*arguments.port, *rows) : "";
            report = MakeReport(std::move(rows), arguments);
            if (report.exitStatus == kExitNotFound) report.error += note;
            break;
        }
        case CliArguments::Action::Watch:
        case CliArguments::Action::Wait:
            break;  // they write as they go
    }
    return report;
}

}  // namespace

int main(int argc, char** argv) {
    KeepRunningWhenReaderLeaves();
    const CliArguments arguments = ParseCliArguments(argc, argv);
    if (arguments.action == CliArguments::Action::Watch ||
        arguments.action == CliArguments::Action::Wait) {
        // Before the first survey, whose threads take the signal mask it sets.
        WatchWake wake(arguments.action == CliArguments::Action::Watch);
        // One engine for every survey: its facts stay cached while no device comes or goes, and
        // a port whose open hangs is not opened again while it does.
        SurveyEngine::Options options;
        options.patience = ConsolePatience(kConsoleDeadline);
        SurveyEngine engine(StagesFor(arguments), nullptr, options);
        const Survey survey = [&engine](bool devicesChanged, std::chrono::milliseconds deadline) {
            if (devicesChanged) engine.Forget();
            std::optional<PortRows> rows = SurveyWithin(engine, deadline);
            if (rows) ConvertRowsToUtf8(*rows);
            return rows;
        };
        return arguments.action == CliArguments::Action::Watch ? RunWatch(arguments, survey, wake)
                                                               : RunWait(arguments, survey, wake);
    }
    const Report report = ReportFor(arguments);
    const Written written = WriteToStandardOutput(report.out);
    if (written != Written::All) return OutputFailed(written);
    // A message that cannot be written has nowhere else to go; the status still tells.
    WriteToStandardError(report.error);
    return report.exitStatus;
}
