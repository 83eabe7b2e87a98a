// Column auto-sizing. Expected widths are measured with the list's own
// string width, so they hold for a real font as well as for the model's.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/win32/host_window.h"

namespace {

constexpr int kMargin = 12;

class ColumnSizeTest : public ::testing::Test {
protected:
    void SetUp() override { m_host.SetListClientSize(500, 300); }
    CColorListCtrl& List() { return m_host.List(); }

    void AddColumns(std::initializer_list<const char*> headings) {
        for (const char* heading : headings) {
            List().InsertColumn(List().GetHeaderItemCount(), heading, LVCFMT_LEFT, 50);
        }
    }
    void AddRow(const std::vector<std::string>& cells) { ::AddRow(List(), cells); }
    int Measured(const std::string& text) { return List().GetStringWidth(text.c_str()) + kMargin; }
    int ClientWidth() {
        RECT client{};
        List().GetClientRect(&client);
        return client.right - client.left;
    }
    std::vector<int> Widths() {
        std::vector<int> widths;
        for (int column = 0; column < List().GetHeaderItemCount(); ++column) {
            widths.push_back(List().GetColumnWidth(column));
        }
        return widths;
    }

    HostWindow m_host{LVS_REPORT | LVS_SINGLESEL};
};

TEST_F(ColumnSizeTest, EmptyListGivesEachColumnButTheLastItsHeadingWidth) {
    AddColumns({"Device", "Port", "Status"});
    ASSERT_EQ(ClientWidth(), 500);
    EXPECT_TRUE(List().AutoSizeColumns());
    const int device = Measured("Device");
    const int port = Measured("Port");
    EXPECT_GT(device, port);
    EXPECT_EQ(Widths(), (std::vector<int>{device, port, 500 - device - port}));
}

TEST_F(ColumnSizeTest, WidestCellTextWinsOverTheHeading) {
    AddColumns({"Device", "Port", "Status"});
    const std::string wide = "USB serial converter on hub 3";
    AddRow({"short", "COM1", "available"});
    AddRow({wide, "COM2", "busy"});
    AddRow({"a bit longer", "COM10", "not found"});
    EXPECT_EQ(List().AutoSizeColumn(0), Measured(wide));
    EXPECT_EQ(List().AutoSizeColumn(1), std::max(Measured("Port"), Measured("COM10")));
    EXPECT_EQ(Widths()[0], Measured(wide));
    EXPECT_EQ(Widths()[1], std::max(Measured("Port"), Measured("COM10")));

    // A cell longer than any fixed buffer is measured whole.
    const std::string longest(600, 'W');
    AddRow({longest, "COM3", "busy"});
    EXPECT_EQ(List().AutoSizeColumn(0), Measured(longest));
}

TEST_F(ColumnSizeTest, LongHeadingsAreMeasuredUpToTheirBuffer) {
    AddColumns({"Device", "Port", "Status"});
    const std::string heading(1500, 'm');
    HDITEMA item{};
    item.mask = HDI_TEXT;
    item.pszText = const_cast<char*>(heading.c_str());
    ASSERT_TRUE(List().SetHeaderItem(0, &item));
    EXPECT_EQ(List().AutoSizeColumn(0), Measured(heading.substr(0, 1023)));
}

TEST_F(ColumnSizeTest, OneColumnTakesTheWholeClientWidth) {
    AddColumns({"A heading wider than nothing"});
    AddRow({"a cell"});
    EXPECT_EQ(List().AutoSizeColumn(0), 500);
    EXPECT_EQ(Widths(), std::vector<int>{500});
    m_host.SetListClientSize(20, 300);
    // The heading plays no part for the last column.
    EXPECT_TRUE(List().AutoSizeColumns());
    EXPECT_EQ(Widths(), std::vector<int>{20});
}

TEST_F(ColumnSizeTest, LastColumnFillsWhatTheOthersLeave) {
    AddColumns({"Device", "Port", "A very long status heading indeed, longer than the rest"});
    AddRow({"d", "p", "a status text much longer than the space that is left for it here"});
    ASSERT_TRUE(List().SetColumnWidth(0, 120));
    ASSERT_TRUE(List().SetColumnWidth(1, 90));
    EXPECT_EQ(List().AutoSizeColumn(2), 500 - 120 - 90);
    EXPECT_EQ(Widths(), (std::vector<int>{120, 90, 290}));
}

TEST_F(ColumnSizeTest, OthersWiderThanTheClientAreaLeaveTheLastColumnNoWidth) {
    AddColumns({"Device", "Port", "Status"});
    ASSERT_TRUE(List().SetColumnWidth(0, 300));
    ASSERT_TRUE(List().SetColumnWidth(1, 260));
    EXPECT_EQ(List().AutoSizeColumn(2), -60);
    EXPECT_EQ(Widths(), (std::vector<int>{300, 260, 0}));

    ASSERT_TRUE(List().SetColumnWidth(2, 40));
    ASSERT_TRUE(List().SetColumnWidth(1, 200));
    EXPECT_EQ(List().AutoSizeColumn(2), 0);
    EXPECT_EQ(Widths(), (std::vector<int>{300, 200, 0}));
}

TEST_F(ColumnSizeTest, NoSuchColumnOrNoClientWidthChangesNothing) {
    AddColumns({"Device", "Port", "Status"});
    AddRow({"a device name", "COM1", "available"});
    const std::vector<int> before = Widths();
    ASSERT_EQ(before, (std::vector<int>{50, 50, 50}));
    for (const int column : {-1, 3, 100}) {
        EXPECT_EQ(List().AutoSizeColumn(column), -1) << column;
        EXPECT_EQ(Widths(), before) << column;
    }

    m_host.SetListClientSize(0, 300);
    ASSERT_EQ(ClientWidth(), 0);
    EXPECT_EQ(List().AutoSizeColumn(2), -1);
    EXPECT_EQ(Widths(), before);
    // The other columns do not depend on the client area.
    EXPECT_TRUE(List().AutoSizeColumns());
    EXPECT_EQ(Widths(), (std::vector<int>{Measured("a device name"),
                                          std::max(Measured("Port"), Measured("COM1")), 50}));
}

}  // namespace
