// Times surveys beside the window under Wine, with opens made slow by the test build's own
// probe (portlook_slow_probe): how long the window takes to answer while one open takes 3 s,
// and how long a survey of 8 ports takes when each open takes 1 s, in the window and in the
// console programs' survey (in-process, with a probe that sleeps). Prints Markdown; run
// through scripts/wine-run (scripts/bench-wine does).
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/port_report.h"
#include "ports/engine/port_value_list.h"
#include "res/resource.h"
#include "tests/bench/wine/bench_stats.h"
#include "tests/win32/program_process.h"
#include "tests/support/serial_comm_key.h"

namespace {

constexpr DWORD kWaitMs = 30000;
constexpr int kRuns = 5;

struct SlowPortlook {
    SlowPortlook(const std::string& slowPorts, DWORD delayMs) {
        char directory[MAX_PATH] = {};
        ::GetTempPathA(MAX_PATH, directory);
        const std::string stem = std::string(directory) + "portlook-survey-bench";
        program = std::make_unique<ChildProcess>(
            PORTLOOK_SLOW_PROBE,
            ChildOptions{{slowPorts, stem + ".no-gate", stem + ".log", std::to_string(delayMs)}});
        dialog = WaitForWindow(*program, "#32770", "Portlook", kWaitMs);
    }
    ~SlowPortlook() {
        if (dialog) ::PostMessageA(dialog, WM_CLOSE, 0, 0);
        program->Finish(std::chrono::milliseconds(kWaitMs));
    }
    HICON Lamp() const {
        return reinterpret_cast<HICON>(
            ::SendMessageA(::GetDlgItem(dialog, IDC_STATUS_ICON), STM_GETICON, 0, 0));
    }
    // Clicks "&Single" and returns the lamp it lit.
    HICON Refresh() const {
        ::SendMessageA(::GetDlgItem(dialog, IDC_SINGLE), BM_CLICK, 0, 0);
        return Lamp();
    }

    std::unique_ptr<ChildProcess> program;
    HWND dialog = nullptr;
};

// The longest a WM_NULL round trip to the window took while one open took 3 s, per run.
Summary AnswerWhileAnOpenHangs(const std::string& port) {
    std::vector<double> worst;
    const SlowPortlook portlook(port, 3000);
    if (!portlook.dialog) return Summary{};
    for (int run = 0; run < kRuns; ++run) {
        ::Sleep(3500);  // the last survey's open ends
        portlook.Refresh();
        const Stopwatch during;
        double longest = 0;
        while (during.ElapsedMs() < 3000) {
            const Stopwatch roundTrip;
            DWORD_PTR result = 0;
            ::SendMessageTimeoutA(portlook.dialog, WM_NULL, 0, 0, SMTO_NORMAL, kWaitMs, &result);
            longest = std::max(longest, roundTrip.ElapsedMs());
            ::Sleep(5);
        }
        worst.push_back(longest);
    }
    return Summarize(worst);
}

// From the click on "&Single" until the lamp goes out, with every open taking 1 s.
Summary SurveyOfSlowPorts() {
    std::vector<double> surveys;
    const SlowPortlook portlook("*", 1000);
    if (!portlook.dialog) return Summary{};
    for (int run = 0; run < kRuns; ++run) {
        ::Sleep(2000);  // the last survey ends
        const Stopwatch survey;
        const HICON lit = portlook.Refresh();
        while (portlook.Lamp() == lit && survey.ElapsedMs() < kWaitMs) ::Sleep(1);
        surveys.push_back(survey.ElapsedMs());
    }
    return Summarize(surveys);
}

// The console programs' survey of 8 listed ports whose opens take 1 s each, to its end.
Summary ConsoleSurveyOfSlowPorts() {
    const auto list = std::make_shared<PortValueList>();
    for (int i = 0; i < 8; ++i)
        list->Add("\\Device\\Slow" + std::to_string(i), "COM" + std::to_string(i));
    std::vector<double> surveys;
    for (int run = 0; run < kRuns; ++run) {
        SurveyStages stages;
        stages.readRows = [list](bool) { return ReadPortRows(*list); };
        stages.probe = [](const char*) {
            ::Sleep(1000);
            return ProbeResult(PortStatus::Available);
        };
        const Stopwatch survey;
        const std::optional<PortRows> rows = SurveyForReport(stages, std::nullopt);
        surveys.push_back(survey.ElapsedMs());
        if (!rows || rows->size() != 8 || rows->back().status != PortStatus::Available) {
            return Summary{};
        }
    }
    return Summarize(surveys);
}

void PrintRow(const char* what, const Summary& summary, const char* target) {
    std::printf("| %s | %zu | %.1f | %.1f - %.1f | %.1f | %s |\n", what, summary.count,
                summary.median, summary.min, summary.max, summary.max, target);
}

}  // namespace

int main() {
    SerialCommKey key;
    const std::vector<std::string> ports = AvailablePorts();
    if (!key.IsOpen() || ports.size() < 8) {
        std::fprintf(stderr, "run through scripts/wine-run\n");
        return 1;
    }
    key.Clear();
    for (int i = 0; i < 8; ++i) key.SetText("\\Device\\Serial" + std::to_string(i), ports[i]);

    const Summary answer = AnswerWhileAnOpenHangs(ports[0]);
    const Summary slow = SurveyOfSlowPorts();
    const Summary console = ConsoleSurveyOfSlowPorts();
    std::printf(
        "| Survey beside the window (8 ports) | runs | median ms | range ms | worst ms "
        "| target |\n|---|---|---|---|---|---|\n");
    PrintRow("longest WM_NULL round trip while one open takes 3 s", answer, "<= 50 ms");
    PrintRow("survey of 8 ports whose opens take 1 s each", slow, "<= 1300 ms");
    PrintRow("console survey of 8 ports whose opens take 1 s each", console, "<= 1300 ms");
    return answer.count == 0 || slow.count == 0 || console.count == 0 ? 1 : 0;
}
