// The colour list's pure pieces: its key table, the sort bits of its headings, its width rule
// and the plan that brings a list to a new row count.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "colorlist/color_table.h"
#include "colorlist/column_width.h"
#include "colorlist/row_plan.h"
#include "colorlist/sort_state.h"

namespace {

TEST(ColorTable, KeysCountDownFromMinusTwoAndAreNeverReused) {
    ColorTable table;
    const ColorTable::Key first = table.Add(0x010203, 0x040506);
    EXPECT_EQ(first, -2);
    EXPECT_EQ(table.Add(0, 0), -3);
    table.Remove(first);
    table.Remove(-3);
    EXPECT_EQ(table.Size(), 0u);
    EXPECT_EQ(table.Add(0, 0), -4);
    EXPECT_EQ(table.Find(first), nullptr);
}

TEST(ColorTable, EntriesKeepColoursAndDataApart) {
    ColorTable table;
    const ColorTable::Key key = table.Add(0x010203, 0x040506);
    const ColorTable::Key other = table.Add(0x0A0B0C, 0x0D0E0F);
    table.SetData(key, 0x12345678);
    const ItemColor* entry = table.Find(key);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->text, 0x010203u);
    EXPECT_EQ(entry->background, 0x040506u);
    EXPECT_EQ(table.Data(key), 0x12345678u);
    EXPECT_EQ(table.Data(other), 0u) << "a new entry starts without data";

    // A row whose key the table never gave (inserted past the colour list) gains an entry
    // when given data, with no colours of its own.
    EXPECT_EQ(table.Data(0), 0u);
    table.SetData(0, 9);
    EXPECT_EQ(table.Size(), 3u);
    ASSERT_NE(table.Find(0), nullptr);
    EXPECT_EQ(table.Find(0)->text, 0u);
    EXPECT_EQ(table.Data(0), 9u);
    table.SetData(0, 10);
    EXPECT_EQ(table.Size(), 3u);
    EXPECT_EQ(table.Data(0), 10u);

    table.Remove(key);
    EXPECT_EQ(table.Find(key), nullptr);
    EXPECT_EQ(table.Data(key), 0u);
    EXPECT_EQ(table.Find(other)->text, 0x0A0B0Cu);
}

// The headings' values after a click on `column`, and whether that column then sorts ascending.
bool Click(std::vector<std::intptr_t>& values, int column) {
    for (int i = 0; i < static_cast<int>(values.size()); ++i) {
        values[i] = NextSortValue(values[i], i == column);
    }
    return SortsAscending(values[column]);
}

TEST(SortState, ClicksTurnTheOrderRoundAndClearTheOtherHeadings) {
    std::vector<std::intptr_t> values{2, 0, 1};
    EXPECT_TRUE(Click(values, 1));
    EXPECT_EQ(values, (std::vector<std::intptr_t>{0, 1, 0}));
    EXPECT_FALSE(Click(values, 1));
    EXPECT_EQ(values, (std::vector<std::intptr_t>{0, 2, 0}));
    EXPECT_TRUE(Click(values, 1));
    EXPECT_EQ(values, (std::vector<std::intptr_t>{0, 1, 0}));
    EXPECT_TRUE(Click(values, 0)) << "a new column starts ascending";
    EXPECT_EQ(values, (std::vector<std::intptr_t>{1, 0, 0}));

    // The unused state 3 stays on the clicked heading and sorts ascending, click after click.
    values = {0x40000001, 0x12340003, 0};
    for (int click = 0; click < 2; ++click) {
        EXPECT_TRUE(Click(values, 1));
        EXPECT_EQ(values, (std::vector<std::intptr_t>{0x40000000, 0x12340003, 0}));
    }
}

TEST(SortState, UpperBitsOfEveryHeadingSurviveManyClicks) {
    // 0xFFFFFFFC as a 32-bit header value reads back negative.
    const std::vector<std::intptr_t> upper{0xABCDE000, 0x12345678 & ~kSortBits, -4};
    std::vector<std::intptr_t> values{upper[0] | 2, upper[1], upper[2] | 1};
    std::mt19937 random(7);
    int sorted = -1;
    bool ascending = true;
    for (int click = 0; click < 40; ++click) {
        const int column = static_cast<int>(random() % 3);
        ascending = column != sorted || !ascending;
        sorted = column;
        ASSERT_EQ(Click(values, column), ascending) << "click " << click;
        for (int i = 0; i < 3; ++i) {
            const std::intptr_t bits = i != column ? 0 : ascending ? 1 : 2;
            ASSERT_EQ(values[i], upper[i] | bits) << "click " << click << ", heading " << i;
        }
    }
}

// The margin grows with the screen's DPI, and stays 12 pixels at 96.
TEST(ColumnWidth, MarginScalesWithTheDpi) {
    const int cases[][2] = {{96, 12}, {120, 15}, {144, 18}, {168, 21}, {192, 24}, {110, 14}};
    for (const auto& c : cases) EXPECT_EQ(ColumnTextMargin(c[0]), c[1]) << c[0] << " DPI";
}

TEST(ColumnWidth, WidestOfHeadingAndTextsWithTheMarginAndTheLastTakesTheRest) {
    EXPECT_EQ(FittingColumnWidth(40, {}), 52);
    EXPECT_EQ(FittingColumnWidth(40, {10, 90, 30}), 102);
    EXPECT_EQ(FittingColumnWidth(40, {10, 39}), 52);
    EXPECT_EQ(FittingColumnWidth(0, {0}), 12);
    EXPECT_EQ(FittingColumnWidth(40, {10, 90}, ColumnTextMargin(144)), 108);

    EXPECT_EQ(RemainingColumnWidth(500, {120, 90}), 290);
    EXPECT_EQ(RemainingColumnWidth(500, {}), 500);
    EXPECT_EQ(RemainingColumnWidth(500, {300, 200}), 0);
    EXPECT_EQ(RemainingColumnWidth(500, {300, 260}), -60);
}

TEST(PlanRows, KeepsWhatBothHaveAndAppendsOrDeletesOnlyAtTheEnd) {
    for (int shown = 0; shown <= 6; ++shown) {
        for (int wanted = 0; wanted <= 6; ++wanted) {
            const RowPlan plan = PlanRows(shown, wanted);
            SCOPED_TRACE(testing::Message() << shown << " rows shown, " << wanted << " wanted");
            EXPECT_EQ(plan.rewrite, std::min(shown, wanted));
            EXPECT_EQ(plan.rewrite + plan.append, wanted);
            EXPECT_EQ(plan.rewrite + plan.remove, shown);
            EXPECT_EQ(plan.ChangesRowCount(), shown != wanted);
        }
    }
}

}  // namespace
