// The cost of reading device facts from this machine's /sys: one walk, and a survey's rows
// answered from what the cache kept.
#include <benchmark/benchmark.h>

#include <optional>

#include "ports/engine/port_facts_cache.h"
#include "ports/linux/port_facts_sysfs.h"
#include "ports/linux/sysfs_port_source.h"

namespace {

PortRows SystemRows() {
    SysfsPortSource source;
    std::optional<PortRows> rows = ReadPortRows(source);
    return rows ? *rows : PortRows{};
}

void BM_PortFactsWalk(benchmark::State& state) {
    PortRows rows = SystemRows();
    PortFactsCache cache([] { return ReadPortFacts(); });
    for (auto _ : state) {
        cache.Forget();
        cache.Fill(rows);
        benchmark::DoNotOptimize(rows);
    }
    state.counters["ports"] = static_cast<double>(rows.size());
    if (cache.LastWalkFailed()) state.SkipWithError("/sys/class/tty could not be read");
}

void BM_PortFactsKept(benchmark::State& state) {
    PortRows rows = SystemRows();
    PortFactsCache cache([] { return ReadPortFacts(); });
    cache.Fill(rows);
    for (auto _ : state) {
        cache.Fill(rows);
        benchmark::DoNotOptimize(rows);
    }
    state.counters["ports"] = static_cast<double>(rows.size());
    if (cache.Walks() != 1) state.SkipWithError("unchanged ports walked the devices again");
}

}  // namespace

BENCHMARK(BM_PortFactsWalk)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PortFactsKept)->Unit(benchmark::kMicrosecond);
