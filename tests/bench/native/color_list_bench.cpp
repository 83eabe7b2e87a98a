// Sorting 256 rows by each column (the first, ascending click and the click that reverses)
// and sizing the columns to 256 rows, on the list model.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "tests/bench/native/bench_list.h"

namespace {

constexpr int kRows = 256;
constexpr int kColumns = 3;
constexpr std::uint32_t kRowSeed = 20240607;
constexpr LPARAM kSortBits = 3;
constexpr LPARAM kAscending = 1;
constexpr LPARAM kDescending = 2;

using Row = std::vector<std::string>;

// Port rows in no particular order, with statuses of all kinds (and so many equal texts).
std::vector<Row> ShuffledRows() {
    const char* const statuses[] = {"available", "not found", "busy", "unknown"};
    std::mt19937 random(kRowSeed);
    std::vector<int> ids(kRows);
    std::iota(ids.begin(), ids.end(), 0);
    std::shuffle(ids.begin(), ids.end(), random);
    std::vector<Row> rows;
    for (const int id : ids) {
        rows.push_back({"\\Device\\Serial" + std::to_string(id), "COM" + std::to_string(id + 1),
                        statuses[random() % 4]});
    }
    return rows;
}

void SetCell(CColorListCtrl& list, int row, int column, const std::string& text) {
    LVITEMA cell{};
    cell.mask = LVIF_TEXT;
    cell.iItem = row;
    cell.iSubItem = column;
    cell.pszText = const_cast<char*>(text.c_str());
    list.SetItem(&cell);
}

void AddRows(CColorListCtrl& list, const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        const int index = list.InsertItem(list.GetItemCount(), row[0].c_str());
        for (int column = 1; column < kColumns; ++column) SetCell(list, index, column, row[column]);
    }
}

// The rows back in their first order, and no column sorted.
void Unsort(CColorListCtrl& list, const std::vector<Row>& rows) {
    for (int row = 0; row < kRows; ++row) {
        for (int column = 0; column < kColumns; ++column) {
            SetCell(list, row, column, rows[row][column]);
        }
    }
    for (int column = 0; column < kColumns; ++column) {
        HDITEMA item{};
        item.mask = HDI_LPARAM;
        list.SetHeaderItem(column, &item);
    }
}

LPARAM SortBits(const CColorListCtrl& list, int column) {
    HDITEMA item{};
    item.mask = HDI_LPARAM;
    list.GetHeaderItem(column, &item);
    return item.lParam & kSortBits;
}

bool IsSorted(const CColorListCtrl& list, int column, bool ascending) {
    for (int row = 1; row < list.GetItemCount(); ++row) {
        const int order = std::strcmp(list.GetItemText(row - 1, column).c_str(),
                                      list.GetItemText(row, column).c_str());
        if (ascending ? order > 0 : order < 0) return false;
    }
    return true;
}

void BM_SortColumnFirstClick(benchmark::State& state) {
    const int column = static_cast<int>(state.range(0));
    const std::vector<Row> rows = ShuffledRows();
    ModelPortList ports;
    AddRows(ports.List(), rows);
    for (auto _ : state) {
        state.PauseTiming();
        Unsort(ports.List(), rows);
        state.ResumeTiming();
        ports.List().SortColumn(column);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
    if (SortBits(ports.List(), column) != kAscending || !IsSorted(ports.List(), column, true)) {
        state.SkipWithError("the first click did not sort ascending");
    }
}

void BM_SortColumnReverse(benchmark::State& state) {
    const int column = static_cast<int>(state.range(0));
    ModelPortList ports;
    AddRows(ports.List(), ShuffledRows());
    ports.List().SortColumn(column);  // sorted ascending: every click from here reverses
    for (auto _ : state) ports.List().SortColumn(column);
    state.SetItemsProcessed(state.iterations() * kRows);
    const bool ascending = state.iterations() % 2 == 0;
    if (SortBits(ports.List(), column) != (ascending ? kAscending : kDescending) ||
        !IsSorted(ports.List(), column, ascending)) {
        state.SkipWithError("a click on the sorted column did not reverse the order");
    }
}

void BM_AutoSizeColumns(benchmark::State& state) {
    const std::vector<Row> rows = ShuffledRows();
    ModelPortList ports;
    ports.Model().SetClientSize(500, 300);
    AddRows(ports.List(), rows);
    for (auto _ : state) ports.List().AutoSizeColumns();
    state.SetItemsProcessed(state.iterations() * kRows);

    // The widest device text decides the first column: the model's font is fixed-width.
    size_t widest = std::strlen("Device");
    for (const Row& row : rows) widest = std::max(widest, row[0].size());
    const int expected = static_cast<int>(widest) * ListModel::kCharWidth + 12;
    const int total = ports.List().GetColumnWidth(0) + ports.List().GetColumnWidth(1) +
                      ports.List().GetColumnWidth(2);
    if (ports.List().GetColumnWidth(0) != expected || total != 500) {
        state.SkipWithError("the columns were not sized to their contents");
    }
}

}  // namespace

BENCHMARK(BM_SortColumnFirstClick)
    ->ArgName("column")
    ->DenseRange(0, kColumns - 1)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SortColumnReverse)
    ->ArgName("column")
    ->DenseRange(0, kColumns - 1)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AutoSizeColumns)->Unit(benchmark::kMicrosecond);
