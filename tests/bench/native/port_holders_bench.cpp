// The Linux holder lookup with a crowd of other processes: 100 extra processes with 1000
// descriptors each, beside one process holding the port.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "base/unique_handle.h"
#include "ports/linux/port_holder_finder.h"
#include "ports/linux/port_usage.h"

namespace {

constexpr int kProcesses = 100;
constexpr int kDescriptors = 1000;

// Child processes that wait, each with its descriptors open, until this ends.
class Crowd {
public:
    Crowd(int processes, int descriptors, const std::string& held) {
        int stay[2] = {-1, -1};
        if (::pipe2(stay, O_CLOEXEC) != 0) return;
        m_stay.Reset(stay[1]);
        for (int process = 0; process < processes; ++process) {
            int ready[2] = {-1, -1};
            if (::pipe2(ready, O_CLOEXEC) != 0) return;
            const pid_t child = ::fork();
            if (child == 0) {
                ::close(stay[1]);
                // The first one holds the port; the others hold /dev/null many times over.
                const std::string file = process == 0 ? held : "/dev/null";
                bool opened = true;
                for (int fd = 0; fd < (process == 0 ? 1 : descriptors) && opened; ++fd) {
                    opened = ::open(file.c_str(), O_RDWR | O_NOCTTY) >= 0;
                }
                char end = opened;
                if (::write(ready[1], &end, 1) == 1) {
                    while (::read(stay[0], &end, 1) > 0) {
                    }
                }
                ::_exit(0);
            }
            ::close(ready[1]);
            char opened = 0;
            const bool answered = child > 0 && ::read(ready[0], &opened, 1) == 1 && opened;
            ::close(ready[0]);
            if (child > 0) m_children.push_back(child);
            if (!answered) return;
        }
        ::close(stay[0]);
        m_ready = true;
    }
    ~Crowd() {
        m_stay.Reset();
        for (const pid_t child : m_children) ::waitpid(child, nullptr, 0);
    }
    bool Ready() const { return m_ready; }
    unsigned long Holder() const { return static_cast<unsigned long>(m_children.front()); }

private:
    UniqueFd m_stay;
    std::vector<pid_t> m_children;
    bool m_ready = false;
};

// A pseudo-terminal held by the first of a crowd of processes.
class CrowdedPort {
public:
    CrowdedPort() : m_master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        if (!m_master.IsValid() || ::grantpt(m_master.Get()) != 0 ||
            ::unlockpt(m_master.Get()) != 0) {
            return;
        }
        m_row.port = ::ptsname(m_master.Get());
        m_row.status = PortStatus::Busy;
        m_crowd = std::make_unique<Crowd>(kProcesses + 1, kDescriptors, m_row.port);
    }
    bool Ready() const { return m_crowd && m_crowd->Ready(); }
    const PortRow& Row() const { return m_row; }
    bool HeldByTheHolderAlone(const PortHolders& holders) const {
        return holders.size() == 1 && holders[0].pid == m_crowd->Holder();
    }

private:
    UniqueFd m_master;
    PortRow m_row;
    std::unique_ptr<Crowd> m_crowd;
};

// The lookup as the console asks for it, on its thread and under its deadline.
void BM_FindPortHoldersAmongACrowd(benchmark::State& state) {
    const CrowdedPort port;
    if (!port.Ready()) {
        state.SkipWithError("could not start the processes");
        return;
    }
    PortHolderFinder finder;
    std::vector<std::optional<PortHolders>> holders;
    for (auto _ : state) {
        holders = finder.Find({port.Row()});
        benchmark::DoNotOptimize(holders);
    }
    if (holders.size() != 1 || !holders[0] || !port.HeldByTheHolderAlone(*holders[0])) {
        state.SkipWithError("the lookup did not name the port's holder alone");
    }
}

// The whole scan, with no deadline to cut it short.
void BM_ScanPortUsageAmongACrowd(benchmark::State& state) {
    const CrowdedPort port;
    if (!port.Ready()) {
        state.SkipWithError("could not start the processes");
        return;
    }
    PortUsageScan scan;
    for (auto _ : state) {
        scan = ScanPortUsage({port.Row().port}, PortUsagePlaces(),
                             std::chrono::steady_clock::now() + std::chrono::minutes(1));
        benchmark::DoNotOptimize(scan);
    }
    if (scan.ports.size() != 1 || !port.HeldByTheHolderAlone(scan.ports[0].holders) ||
        !scan.ports[0].holdersComplete) {
        state.SkipWithError("the scan did not look at every process, or missed the holder");
    }
}

// fuser on the same crowd, for comparison: it reads every process's descriptors too.
void BM_FuserAmongACrowd(benchmark::State& state) {
    const CrowdedPort port;
    if (!port.Ready()) {
        state.SkipWithError("could not start the processes");
        return;
    }
    const std::string command = "fuser -v " + port.Row().port + " >/dev/null 2>&1";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("fuser did not find the holder");
            return;
        }
    }
}

}  // namespace

BENCHMARK(BM_FuserAmongACrowd)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FindPortHoldersAmongACrowd)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScanPortUsageAmongACrowd)->Unit(benchmark::kMillisecond);
