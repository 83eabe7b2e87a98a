// The colour list's keys and item-data translation.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/win32/host_window.h"

namespace {

// An item of one row: the text it sets, or the buffer of `size` it reads the text into.
LVITEMA Item(UINT mask, int row, const char* text, int size = 0, LPARAM param = 0) {
    LVITEMA item{};
    item.mask = mask;
    item.iItem = row;
    item.pszText = const_cast<char*>(text);
    item.cchTextMax = size;
    item.lParam = param;
    return item;
}

class ColorListTest : public ::testing::Test {
protected:
    CColorListCtrl& List() { return m_host.List(); }
    // What the platform itself keeps as the row's item data, all of it at either width.
    LPARAM PlatformData(int row) { return static_cast<LPARAM>(List().CListCtrl::GetItemData(row)); }

    HostWindow m_host{LVS_REPORT | LVS_SINGLESEL, {"Device", "Port", "Status"}};
};

TEST_F(ColorListTest, KeysCountDownFromMinusTwoAndAreNeverReused) {
    EXPECT_EQ(List().InsertItem(0, "first"), 0);
    EXPECT_EQ(PlatformData(0), -2);
    EXPECT_EQ(List().GetItemData(0), 0u);

    EXPECT_EQ(List().InsertItem(1, "second"), 1);
    EXPECT_EQ(PlatformData(1), -3);
    EXPECT_EQ(List().InsertItem(0, "third"), 0);
    EXPECT_EQ(PlatformData(0), -4);
    EXPECT_EQ(PlatformData(1), -2);

    ASSERT_TRUE(List().DeleteItem(0));
    ASSERT_TRUE(List().DeleteItem(0));
    ASSERT_TRUE(List().DeleteItem(0));
    EXPECT_EQ(List().GetItemCount(), 0);
    EXPECT_EQ(List().InsertItem(0, "fourth"), 0);
    EXPECT_EQ(PlatformData(0), -5);
}

TEST_F(ColorListTest, InsertPastTheEndAppends) {
    List().InsertItem(0, "a");
    EXPECT_EQ(List().InsertItem(7, "b"), 1);
    EXPECT_EQ(List().GetItemText(1, 0), "b");
    EXPECT_EQ(List().ColorEntryCount(), 2u);
}

TEST_F(ColorListTest, ItemDataIsTranslatedWhileThePlatformKeepsTheKey) {
    List().InsertItem(0, "a");
    List().InsertItem(1, "b");
    EXPECT_TRUE(List().SetItemData(1, 0x12345678));
    EXPECT_EQ(List().GetItemData(1), 0x12345678u);
    EXPECT_EQ(PlatformData(1), -3);
    EXPECT_EQ(List().GetItemData(0), 0u);

    LVITEMA set = Item(LVIF_PARAM | LVIF_TEXT, 0, "renamed", 0, 0x0BADF00D);
    EXPECT_TRUE(List().SetItem(&set));
    EXPECT_EQ(PlatformData(0), -2);
    EXPECT_EQ(List().GetItemText(0, 0), "renamed");

    char text[32] = {};
    LVITEMA get = Item(LVIF_PARAM | LVIF_TEXT, 0, text, sizeof text);
    ASSERT_TRUE(List().GetItem(&get));
    EXPECT_EQ(get.lParam, 0x0BADF00D);
    EXPECT_STREQ(get.pszText, "renamed");

    // Only the text mask reaches the platform: the key stays.
    EXPECT_TRUE(SetCellText(List(), 1, 2, "busy"));
    EXPECT_EQ(List().GetItemText(1, 2), "busy");
    EXPECT_EQ(List().GetItemData(1), 0x12345678u);
}

TEST_F(ColorListTest, ReadingARowThatDoesNotExistFails) {
    List().InsertItem(0, "a");
    char text[8] = {};
    LVITEMA get = Item(LVIF_TEXT | LVIF_PARAM, 1, text, sizeof text);
    EXPECT_FALSE(List().GetItem(&get));
    get.iItem = -1;
    EXPECT_FALSE(List().GetItem(&get));
    EXPECT_EQ(List().GetItemData(5), 0u);
}

TEST_F(ColorListTest, SettingItemDataOfAMissingRowFailsAndStoresNothing) {
    List().InsertItem(0, "a");
    EXPECT_FALSE(List().SetItemData(1, 42));
    EXPECT_FALSE(List().SetItemData(-1, 42));
    EXPECT_EQ(List().ColorEntryCount(), 1u);

    LVITEMA set = Item(LVIF_PARAM, 3, nullptr, 0, 42);
    EXPECT_FALSE(List().SetItem(&set));
    EXPECT_EQ(List().ColorEntryCount(), 1u);
}

TEST_F(ColorListTest, DeleteOutOfRangeChangesNothing) {
    List().InsertItem(0, "a");
    List().InsertItem(1, "b");
    List().SetItemData(1, 7);
    for (const int index : {-1, 2, 3, 1000}) {
        EXPECT_FALSE(List().DeleteItem(index)) << index;
    }
    EXPECT_EQ(List().GetItemCount(), 2);
    EXPECT_EQ(List().ColorEntryCount(), 2u);
    EXPECT_EQ(List().GetItemData(1), 7u);
}

TEST_F(ColorListTest, DeletingARowMovesLaterRowsUpWithTheirData) {
    for (int row = 0; row < 4; ++row) {
        List().InsertItem(row, std::to_string(row).c_str());
        List().SetItemData(row, static_cast<DWORD_PTR>(100 + row));
    }
    ASSERT_TRUE(List().DeleteItem(1));
    EXPECT_EQ(List().GetItemCount(), 3);
    EXPECT_EQ(List().GetItemText(1, 0), "2");
    EXPECT_EQ(List().GetItemData(1), 102u);
    EXPECT_EQ(List().GetItemData(2), 103u);
    EXPECT_EQ(List().ColorEntryCount(), 3u);
}

TEST_F(ColorListTest, ColourTableHoldsExactlyTheLiveRowsOverManyCycles) {
    std::mt19937 random(12345);
    for (int step = 0; step < 2000; ++step) {
        const int count = List().GetItemCount();
        if (count == 0 || random() % 3 != 0) {
            const int at = static_cast<int>(random() % static_cast<unsigned>(count + 1));
            ASSERT_EQ(List().InsertItem(at, "x"), at);
            List().SetItemData(at, static_cast<DWORD_PTR>(step));
        } else {
            ASSERT_TRUE(
                List().DeleteItem(static_cast<int>(random() % static_cast<unsigned>(count))));
        }
        ASSERT_EQ(List().ColorEntryCount(), static_cast<size_t>(List().GetItemCount()));
    }
    while (List().GetItemCount() > 0) List().DeleteItem(0);
    EXPECT_EQ(List().ColorEntryCount(), 0u);
}

TEST_F(ColorListTest, RowsInsertedPastTheColourListHaveNoEntryUntilGivenData) {
    // Through the base class the row gets no key: item data 0 and no colours.
    ASSERT_EQ(List().CListCtrl::InsertItem(0, "plain"), 0);
    EXPECT_EQ(PlatformData(0), 0);
    EXPECT_EQ(List().GetItemData(0), 0u);
    EXPECT_EQ(List().ColorEntryCount(), 0u);
    EXPECT_TRUE(List().SetItemData(0, 9));
    EXPECT_EQ(List().GetItemData(0), 9u);
    EXPECT_EQ(List().ColorEntryCount(), 1u);
}

TEST_F(ColorListTest, FullTextOfAnyLength) {
    const std::string longText(5000, 'q');
    List().InsertItem(0, longText.c_str());
    EXPECT_EQ(List().GetItemText(0, 0), longText);
    const std::string exactlyBuffer(255, 'b');  // one short of the first buffer
    List().InsertItem(1, exactlyBuffer.c_str());
    EXPECT_EQ(List().GetItemText(1, 0), exactlyBuffer);
    EXPECT_EQ(List().GetItemText(1, 1), "");
}

}  // namespace
