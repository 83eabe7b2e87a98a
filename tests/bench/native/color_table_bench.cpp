// The colour table as a list of 256 rows uses it: one paint looks up each row's colours once
// per column, and a refresh that churns removes and adds rows.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "colorlist/color_table.h"

namespace {

constexpr int kRows = 256;
constexpr int kColumns = 3;
constexpr int kChurnRows = 8;

std::vector<ColorTable::Key> AddRows(ColorTable& table, int count) {
    std::vector<ColorTable::Key> keys;
    for (int row = 0; row < count; ++row) keys.push_back(table.Add(0x000000, 0xFFFFFF));
    return keys;
}

void BM_ColorTablePaint(benchmark::State& state) {
    ColorTable table;
    const std::vector<ColorTable::Key> keys = AddRows(table, kRows);
    std::uint32_t sum = 0;
    for (auto _ : state) {
        for (const ColorTable::Key key : keys) {
            for (int column = 0; column < kColumns; ++column) {
                const ItemColor* entry = table.Find(key);
                sum += entry ? entry->background : 1;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kRows * kColumns);
    if (sum != static_cast<std::uint32_t>(state.iterations() * kRows * kColumns * 0xFFFFFFu)) {
        state.SkipWithError("a row's colours were not found");
    }
}

void BM_ColorTableChurn(benchmark::State& state) {
    ColorTable table;
    std::vector<ColorTable::Key> keys = AddRows(table, kRows);
    for (auto _ : state) {
        // The last rows go and as many new ones come, as when rows leave the middle of the list.
        for (int row = 0; row < kChurnRows; ++row) {
            table.Remove(keys.back());
            keys.pop_back();
        }
        for (int row = 0; row < kChurnRows; ++row) keys.push_back(table.Add(0, 0xFFFFFF));
    }
    state.SetItemsProcessed(state.iterations() * kChurnRows);
    if (table.Size() != kRows) state.SkipWithError("the table does not hold the live rows");
}

}  // namespace

BENCHMARK(BM_ColorTablePaint)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ColorTableChurn)->Unit(benchmark::kMicrosecond);
