// SurveyPorts over 256 scripted ports: an unchanged list, of missing devices or of
// pseudo-terminals, and a churning one; and the console programs' survey of 8 ports whose
// opens take 1 s each.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <chrono>
#include <memory>
#include <thread>

#include "base/unique_handle.h"
#include "cli/port_report.h"
#include "ports/engine/port_probe.h"
#include "ports/engine/port_survey.h"
#include "ports/engine/port_value_list.h"

namespace {

constexpr int kPorts = 256;
// Under a directory that does not exist: every probe fails at once and no device is touched.
constexpr char kMissingDir[] = "/nonexistent/portlook-bench/";
// Churn: each survey sees the list one step away from the last, a step being this many random
// additions, removals and renames; the list stays between these sizes.
constexpr int kChurnOperations = 8;
constexpr int kChurnSnapshots = 64;
constexpr size_t kChurnMin = kPorts - 16;
constexpr size_t kChurnMax = kPorts + 16;
constexpr std::uint32_t kChurnSeed = 20240607;

// Pseudo-terminals kept alive by their master side, so their slave nodes exist and open the
// way a free serial port does.
class PseudoTerminals {
public:
    explicit PseudoTerminals(int count) {
        for (int i = 0; i < count; ++i) {
            UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
            if (!master.IsValid() || ::grantpt(master.Get()) != 0 ||
                ::unlockpt(master.Get()) != 0) {
                return;
            }
            const char* name = ::ptsname(master.Get());
            if (!name) return;
            m_names.emplace_back(name);
            m_masters.push_back(std::move(master));
        }
    }
    const std::vector<std::string>& Names() const { return m_names; }

private:
    std::vector<UniqueFd> m_masters;
    std::vector<std::string> m_names;
};

struct PortValue {
    std::string device;
    std::string port;
};
using Snapshot = std::vector<PortValue>;

std::string DeviceName(int id) { return "\\Device\\Serial" + std::to_string(id); }
std::string MissingPort(int id) { return kMissingDir + ("ttyS" + std::to_string(id)); }

// Registry string data: the text and its terminator.
void Fill(PortValueList& source, const Snapshot& values) {
    source.Clear();
    for (const PortValue& value : values) source.Add(value.device, value.port + '\0');
}

// Whether the rows are the snapshot's, in its order, each with the status given.
bool Matches(const std::optional<PortRows>& rows, const Snapshot& values, PortStatus status) {
    if (!rows || rows->size() != values.size()) return false;
    for (size_t row = 0; row < values.size(); ++row) {
        const PortRow& got = (*rows)[row];
        if (got.device != values[row].device || got.port != values[row].port ||
            got.status != status) {
            return false;
        }
    }
    return true;
}

void RunUnchanged(benchmark::State& state, const Snapshot& values, PortStatus status) {
    PortValueList source;
    Fill(source, values);
    std::optional<PortRows> rows;
    for (auto _ : state) {
        rows = SurveyPorts(source, ProbePort);
        benchmark::DoNotOptimize(rows);
    }
    state.SetItemsProcessed(state.iterations() * kPorts);
    if (!Matches(rows, values, status)) {
        state.SkipWithError("the survey does not give the list's rows and statuses");
    }
}

void BM_SurveyPortsUnchangedMissing(benchmark::State& state) {
    Snapshot values;
    for (int id = 0; id < kPorts; ++id) values.push_back({DeviceName(id), MissingPort(id)});
    RunUnchanged(state, values, PortStatus::NotFound);
}

void BM_SurveyPortsUnchangedPty(benchmark::State& state) {
    const PseudoTerminals terminals(kPorts);
    if (static_cast<int>(terminals.Names().size()) != kPorts) {
        state.SkipWithError("could not open 256 pseudo-terminals");
        return;
    }
    Snapshot values;
    for (int id = 0; id < kPorts; ++id) values.push_back({DeviceName(id), terminals.Names()[id]});
    RunUnchanged(state, values, PortStatus::Available);
}

// One churn step: values added at, removed from and renamed at random places.
void Churn(Snapshot& values, std::mt19937& random, int& nextId) {
    for (int i = 0; i < kChurnOperations; ++i) {
        const auto at = [&](size_t size) { return static_cast<size_t>(random() % size); };
        switch (random() % 3) {
            case 0:
                if (values.size() < kChurnMax) {
                    const int id = nextId++;
                    values.insert(values.begin() + at(values.size() + 1),
                                  PortValue{DeviceName(id), MissingPort(id)});
                }
                break;
            case 1:
                if (values.size() > kChurnMin) values.erase(values.begin() + at(values.size()));
                break;
            default:
                values[at(values.size())].device = DeviceName(nextId++);
                break;
        }
    }
}

void BM_SurveyPortsChurn(benchmark::State& state) {
    std::mt19937 random(kChurnSeed);
    Snapshot values;
    int nextId = 0;
    for (; nextId < kPorts; ++nextId) values.push_back({DeviceName(nextId), MissingPort(nextId)});
    std::vector<Snapshot> snapshots;
    std::vector<PortValueList> sources(kChurnSnapshots);
    for (PortValueList& source : sources) {
        Fill(source, values);
        snapshots.push_back(values);
        Churn(values, random, nextId);
    }
    // Back and forth through the snapshots, so every survey is exactly one step of churn.
    const auto snapshot = [](std::int64_t survey) {
        const std::int64_t period = 2 * (kChurnSnapshots - 1);
        const std::int64_t phase = survey % period;
        return static_cast<size_t>(phase < kChurnSnapshots ? phase : period - phase);
    };

    std::int64_t survey = 0;
    std::optional<PortRows> rows;
    for (auto _ : state) {
        rows = SurveyPorts(sources[snapshot(survey++)], ProbePort);
        benchmark::DoNotOptimize(rows);
    }
    state.SetItemsProcessed(state.iterations() * kPorts);
    if (!Matches(rows, snapshots[snapshot(survey - 1)], PortStatus::NotFound)) {
        state.SkipWithError("the churned survey does not match its last snapshot");
    }
}

}  // namespace

// Wall time: the survey waits for its probes, it does not work.
void BM_ConsoleSurveyEightSlowPorts(benchmark::State& state) {
    const auto list = std::make_shared<PortValueList>();
    for (int i = 0; i < 8; ++i)
        list->Add("slow" + std::to_string(i), "/dev/slow" + std::to_string(i));
    SurveyStages stages;
    stages.readRows = [list](bool) { return ReadPortRows(*list); };
    stages.probe = [](const char*) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        return ProbeResult(PortStatus::Available);
    };
    for (auto _ : state) {
        const std::optional<PortRows> rows = SurveyForReport(stages, std::nullopt);
        if (!rows || rows->size() != 8 || rows->back().status != PortStatus::Available) {
            state.SkipWithError("a port went unanswered");
            break;
        }
    }
}

BENCHMARK(BM_SurveyPortsUnchangedMissing)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SurveyPortsUnchangedPty)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SurveyPortsChurn)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConsoleSurveyEightSlowPorts)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
