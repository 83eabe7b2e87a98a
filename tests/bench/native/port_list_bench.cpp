// UpdatePortList over 256 scripted ports on the list model: an unchanged list, which must be
// left in place (no insert, no delete, no device-name write), and a churning one.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "framework/unique_handle.h"
#include "ports/port_list.h"
#include "ports/port_value_list.h"
#include "tests/bench/native/bench_list.h"

namespace {

constexpr int kPorts = 256;
// Under a directory that does not exist: every probe fails at once and no device is touched.
constexpr char kMissingDir[] = "/nonexistent/portlook-bench/";
// Churn: each refresh sees the list one step away from the last, a step being this many random
// additions, removals and renames; the list stays between these sizes.
constexpr int kChurnOperations = 8;
constexpr int kChurnSnapshots = 64;
constexpr size_t kChurnMin = kPorts - 16;
constexpr size_t kChurnMax = kPorts + 16;
constexpr std::uint32_t kChurnSeed = 20240607;

struct FdTraits {
    using Handle = int;
    static int Invalid() { return -1; }
    static void Close(int fd) { ::close(fd); }
};
using UniqueFd = UniqueHandle<FdTraits>;

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

void ReportCounts(benchmark::State& state, const ListModel::Counts& counts) {
    const auto perRefresh = [](int total) {
        return benchmark::Counter(total, benchmark::Counter::kAvgIterations);
    };
    state.counters["inserts"] = perRefresh(counts.inserts);
    state.counters["deletes"] = perRefresh(counts.deletes);
    state.counters["col0_writes"] = perRefresh(counts.TextWrites(0));
    state.counters["col1_writes"] = perRefresh(counts.TextWrites(1));
    state.counters["col2_writes"] = perRefresh(counts.TextWrites(2));
}

void RunUnchanged(benchmark::State& state, const Snapshot& values, const char* status) {
    PortValueList source;
    Fill(source, values);
    ModelPortList ports;
    UpdatePortList(ports.List(), source);  // the refresh that fills the list
    if (ports.List().GetItemCount() != kPorts || ports.List().GetItemText(0, 2) != status) {
        state.SkipWithError("the first refresh did not fill the list as expected");
        return;
    }
    ports.Model().ResetCounts();
    for (auto _ : state) UpdatePortList(ports.List(), source);

    const ListModel::Counts& counts = ports.Model().GetCounts();
    ReportCounts(state, counts);
    state.SetItemsProcessed(state.iterations() * kPorts);
    if (counts.inserts != 0 || counts.deletes != 0 || counts.TextWrites(0) != 0) {
        state.SkipWithError("an unchanged port list caused inserts, deletes or device writes");
    } else if (counts.TextWrites(1) != state.iterations() * kPorts ||
               counts.TextWrites(2) != state.iterations() * kPorts ||
               ports.List().GetItemCount() != kPorts) {
        state.SkipWithError("port and status cells were not rewritten on every refresh");
    }
}

void BM_UpdatePortListUnchangedMissing(benchmark::State& state) {
    Snapshot values;
    for (int id = 0; id < kPorts; ++id) values.push_back({DeviceName(id), MissingPort(id)});
    RunUnchanged(state, values, "not found");
}

void BM_UpdatePortListUnchangedPty(benchmark::State& state) {
    const PseudoTerminals terminals(kPorts);
    if (static_cast<int>(terminals.Names().size()) != kPorts) {
        state.SkipWithError("could not open 256 pseudo-terminals");
        return;
    }
    Snapshot values;
    for (int id = 0; id < kPorts; ++id) values.push_back({DeviceName(id), terminals.Names()[id]});
    RunUnchanged(state, values, "available");
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

void BM_UpdatePortListChurn(benchmark::State& state) {
    std::mt19937 random(kChurnSeed);
    Snapshot values;
    int nextId = 0;
    for (; nextId < kPorts; ++nextId) values.push_back({DeviceName(nextId), MissingPort(nextId)});
    std::vector<PortValueList> sources(kChurnSnapshots);
    std::vector<int> sizes;
    for (PortValueList& source : sources) {
        Fill(source, values);
        sizes.push_back(static_cast<int>(values.size()));
        Churn(values, random, nextId);
    }
    // Back and forth through the snapshots, so every refresh is exactly one step of churn.
    const auto snapshot = [](std::int64_t refresh) {
        const std::int64_t period = 2 * (kChurnSnapshots - 1);
        const std::int64_t phase = refresh % period;
        return static_cast<size_t>(phase < kChurnSnapshots ? phase : period - phase);
    };

    ModelPortList ports;
    UpdatePortList(ports.List(), sources[0]);
    ports.Model().ResetCounts();
    std::int64_t refresh = 1;
    for (auto _ : state) UpdatePortList(ports.List(), sources[snapshot(refresh++)]);

    ReportCounts(state, ports.Model().GetCounts());
    state.SetItemsProcessed(state.iterations() * kPorts);
    if (ports.List().GetItemCount() != sizes[snapshot(refresh - 1)] ||
        ports.List().ColorEntryCount() != static_cast<size_t>(ports.List().GetItemCount())) {
        state.SkipWithError("the churned list does not match its last snapshot");
    }
}

}  // namespace

BENCHMARK(BM_UpdatePortListUnchangedMissing)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UpdatePortListUnchangedPty)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UpdatePortListChurn)->Unit(benchmark::kMicrosecond);
