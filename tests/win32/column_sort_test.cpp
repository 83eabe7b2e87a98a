// Sorting by a click on a column heading.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/win32/host_window.h"

namespace {

constexpr int kDevice = 0;
constexpr int kPort = 1;
constexpr int kStatus = 2;
constexpr DWORD kSortBits = 3;

using Row = std::vector<std::string>;

class ColumnSortTest : public ::testing::Test {
protected:
    CColorListCtrl& List() { return m_host.List(); }

    int AddRow(const Row& cells) { return ::AddRow(List(), cells); }
    std::vector<std::string> ColumnTexts(int column) {
        std::vector<std::string> texts;
        for (int row = 0; row < List().GetItemCount(); ++row) {
            texts.push_back(List().GetItemText(row, column));
        }
        return texts;
    }
    Row RowTexts(int row) {
        return {List().GetItemText(row, kDevice), List().GetItemText(row, kPort),
                List().GetItemText(row, kStatus)};
    }

    DWORD HeaderValue(int column) {
        HDITEMA item{};
        item.mask = HDI_LPARAM;
        EXPECT_TRUE(List().GetHeaderItem(column, &item));
        return static_cast<DWORD>(item.lParam);
    }
    void SetHeaderValue(int column, DWORD value) {
        HDITEMA item{};
        item.mask = HDI_LPARAM;
        item.lParam = static_cast<LPARAM>(static_cast<LONG>(value));
        ASSERT_TRUE(List().SetHeaderItem(column, &item));
    }
    std::vector<DWORD> SortBits() {
        return {HeaderValue(kDevice) & kSortBits, HeaderValue(kPort) & kSortBits,
                HeaderValue(kStatus) & kSortBits};
    }
    void Click(int column, UINT code = HDN_ITEMCLICKA) { m_host.SendHeaderClick(column, code); }

    // Device, port and status, in the columns kDevice, kPort and kStatus.
    HostWindow m_host{LVS_REPORT | LVS_SINGLESEL, {"Device", "Port", "Status"}};
};

using Texts = std::vector<std::string>;

TEST_F(ColumnSortTest, ClicksOnOneHeadingTurnTheOrderRoundAndResetTheOthers) {
    AddRow({"Serial3", "COM3", "busy"});
    AddRow({"Serial1", "COM1", "available"});
    AddRow({"Serial10", "COM10", "not found"});
    AddRow({"Serial2", "COM2", "unknown"});
    SetHeaderValue(kDevice, 2);
    SetHeaderValue(kStatus, 1);

    // Port names sort as strings: COM10 before COM2.
    const Texts ascending{"COM1", "COM10", "COM2", "COM3"};
    const Texts descending{"COM3", "COM2", "COM10", "COM1"};
    Click(kPort);
    EXPECT_EQ(ColumnTexts(kPort), ascending);
    EXPECT_EQ(SortBits(), (std::vector<DWORD>{0, 1, 0}));
    // The header sends the wide form as well; both arrive at the same place.
    Click(kPort, HDN_ITEMCLICKW);
    EXPECT_EQ(ColumnTexts(kPort), descending);
    EXPECT_EQ(SortBits(), (std::vector<DWORD>{0, 2, 0}));
    Click(kPort);
    EXPECT_EQ(ColumnTexts(kPort), ascending);
    EXPECT_EQ(SortBits(), (std::vector<DWORD>{0, 1, 0}));
    // Whole rows moved, not just the clicked column.
    EXPECT_EQ(RowTexts(1), (Row{"Serial10", "COM10", "not found"}));

    Click(kDevice, HDN_ITEMCLICKW);
    EXPECT_EQ(ColumnTexts(kDevice), (Texts{"Serial1", "Serial10", "Serial2", "Serial3"}));
    EXPECT_EQ(SortBits(), (std::vector<DWORD>{1, 0, 0}));
    Click(kPort);
    EXPECT_EQ(ColumnTexts(kPort), ascending) << "a new column starts ascending";
    EXPECT_EQ(SortBits(), (std::vector<DWORD>{0, 1, 0}));

    // The list consumed every click.
    EXPECT_EQ(m_host.ColumnClicks(), 0);
}

TEST_F(ColumnSortTest, UpperBitsOfEveryHeadingSurviveManyClicks) {
    for (const char* port : {"COM4", "COM2", "COM9", "COM1"}) AddRow({"dev", port, "busy"});
    const std::vector<DWORD> upper{0xABCDE000u, 0x12345678u & ~kSortBits, 0xFFFFFFFCu};
    const std::vector<DWORD> startBits{2, 0, 1};
    for (int column = 0; column < 3; ++column) {
        SetHeaderValue(column, upper[column] | startBits[column]);
    }
    std::mt19937 random(7);
    int sorted = -1;
    bool ascending = true;
    for (int click = 0; click < 40; ++click) {
        const int column = static_cast<int>(random() % 3);
        ascending = column != sorted || !ascending;
        sorted = column;
        Click(column, click % 2 ? HDN_ITEMCLICKW : HDN_ITEMCLICKA);
        for (int i = 0; i < 3; ++i) {
            const DWORD bits = i != column ? 0 : ascending ? 1 : 2;
            ASSERT_EQ(HeaderValue(i), upper[i] | bits) << "click " << click << ", heading " << i;
        }
    }
}

TEST_F(ColumnSortTest, ValueThreeOnTheClickedHeadingStaysAndSortsAscending) {
    for (const char* port : {"COM3", "COM2", "COM1"}) AddRow({"dev", port, "busy"});
    SetHeaderValue(kDevice, 0x40000001u);
    SetHeaderValue(kPort, 0x12340003u);
    for (int click = 0; click < 2; ++click) {
        Click(kPort);
        EXPECT_EQ(HeaderValue(kPort), 0x12340003u);
        EXPECT_EQ(HeaderValue(kDevice), 0x40000000u);
        EXPECT_EQ(ColumnTexts(kPort), (Texts{"COM1", "COM2", "COM3"})) << "click " << click;
    }
}

TEST_F(ColumnSortTest, TextsThatDifferOnlyInCaseSortApartInByteOrder) {
    for (const char* port : {"com1", "COM2", "cOM0", "Com3"}) AddRow({"dev", port, "busy"});
    Click(kPort);
    // Upper case before lower case; a comparison that ignored case would give cOM0 com1 COM2
    // Com3.
    EXPECT_EQ(ColumnTexts(kPort), (Texts{"COM2", "Com3", "cOM0", "com1"}));
    Click(kPort);
    EXPECT_EQ(ColumnTexts(kPort), (Texts{"com1", "cOM0", "Com3", "COM2"}));
}

TEST_F(ColumnSortTest, LongTextsCompareByTheirWholeLength) {
    const std::string common(3000, 'x');
    for (const char* tail : {"B", "C", "A"}) AddRow({"dev", "COM1", common + tail});
    Click(kStatus);
    EXPECT_EQ(ColumnTexts(kStatus), (Texts{common + "A", common + "B", common + "C"}));
    EXPECT_TRUE(List().SortColumn(kStatus));
    EXPECT_EQ(ColumnTexts(kStatus), (Texts{common + "C", common + "B", common + "A"}));
}

TEST_F(ColumnSortTest, RowsKeepTheirItemDataKeysAndColoursThroughASort) {
    for (const char* port : {"COM5", "COM3", "COM1", "COM4", "COM2"}) {
        const int row = AddRow({"own", port, "busy"});
        List().SetItemData(row, static_cast<DWORD_PTR>(port[3]));
    }
    // A row the colour list knows nothing of: no key, no colours.
    const int plain = List().CListCtrl::InsertItem(5, "plain");
    ASSERT_TRUE(SetCellText(List(), plain, kPort, "COM0"));
    std::vector<DWORD_PTR> keys;
    for (int row = 0; row < 6; ++row) keys.push_back(List().CListCtrl::GetItemData(row));

    Click(kPort);
    Click(kPort);
    ASSERT_EQ(ColumnTexts(kPort), (Texts{"COM5", "COM4", "COM3", "COM2", "COM1", "COM0"}));
    const std::vector<DWORD_PTR> keysNow{keys[0], keys[3], keys[1], keys[4], keys[2], keys[5]};
    for (int row = 0; row < 6; ++row) {
        EXPECT_EQ(List().CListCtrl::GetItemData(row), keysNow[row]) << "row " << row;
    }
    for (int row = 0; row < 5; ++row) {
        EXPECT_EQ(List().GetItemData(row), static_cast<DWORD_PTR>('5' - row)) << "row " << row;
    }
    EXPECT_EQ(List().GetItemData(5), 0u);
    EXPECT_EQ(List().ColorEntryCount(), 5u);
}

// Many rows in random order, by every column and both ways: each column ends up in order and
// every row stays whole. Status has few distinct texts, so equal keys are common there.
TEST_F(ColumnSortTest, ManyRowsInRandomOrderSortByEveryColumnBothWays) {
    std::mt19937 random(2024);
    const char* const statuses[] = {"available", "not found", "busy", "unknown"};
    std::vector<int> numbers(60);
    for (size_t i = 0; i < numbers.size(); ++i) numbers[i] = static_cast<int>(i);
    std::shuffle(numbers.begin(), numbers.end(), random);
    std::vector<Row> rows;
    for (const int number : numbers) {
        const std::string device = "Device" + std::to_string((number * 37) % 61);
        rows.push_back({device, "COM" + std::to_string(number), statuses[random() % 4]});
        const int row = AddRow(rows.back());
        List().SetItemData(row, static_cast<DWORD_PTR>(number));
    }

    for (int column = 0; column < 3; ++column) {
        for (int pass = 0; pass < 2; ++pass) {
            Click(column);
            const bool ascending = pass == 0;
            const Texts texts = ColumnTexts(column);
            for (size_t row = 1; row < texts.size(); ++row) {
                const int order = std::strcmp(texts[row - 1].c_str(), texts[row].c_str());
                ASSERT_TRUE(ascending ? order <= 0 : order >= 0)
                    << "column " << column << (ascending ? " ascending" : " descending")
                    << ", rows " << row - 1 << " and " << row;
            }
            for (int row = 0; row < List().GetItemCount(); ++row) {
                const auto number = List().GetItemData(row);
                ASSERT_LT(number, rows.size());
                const auto original = std::find(numbers.begin(), numbers.end(), number);
                ASSERT_EQ(RowTexts(row), rows[static_cast<size_t>(original - numbers.begin())]);
            }
        }
    }
}

}  // namespace
