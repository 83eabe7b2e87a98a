// portlook (Linux) and portlook-cli.exe (Windows): the port survey for scripts and terminals.
#include <optional>
#include <string>

#include "cli/cli_arguments.h"
#include "cli/console_output.h"
#include "cli/port_report.h"
#include "cli/program_version.h"
#include "cli/system_text.h"

namespace {

// The system's ports, or only the named one, probed, with what is known of their devices and
// who holds the busy ones.
std::optional<PortRows> SurveyWithFacts(const CliArguments& arguments) {
    std::optional<PortRows> rows = SurveyForReport(
        arguments.open ? SystemSurveyStages() : NoOpenSurveyStages(), arguments.port);
    if (!rows) return rows;
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
            report.error =
                program + ": " + SystemTextToUtf8(arguments.problem) + '\n' + UsageText();
            report.exitStatus = kExitUsage;
            break;
        case CliArguments::Action::Report:
            report = MakeReport(SurveyWithFacts(arguments), arguments);
            break;
    }
    return report;
}

}  // namespace

int main(int argc, char** argv) {
    const Report report = ReportFor(ParseCliArguments(argc, argv));
    if (!WriteToStandardOutput(report.out)) {
        WriteToStandardError(std::string(kCliProgramName) + ": the output cannot be written\n");
        return kExitFailed;
    }
    // A message that cannot be written has nowhere else to go; the status still tells.
    WriteToStandardError(report.error);
    return report.exitStatus;
}
