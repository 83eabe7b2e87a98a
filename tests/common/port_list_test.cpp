// Row-by-position reconciliation of the port list against a scripted port source.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "framework/list_model.h"
#include "ports/port_list.h"
#include "ports/port_value_list.h"
#include "tests/common/test_ports.h"

namespace {

class ScriptedSource : public PortValueList {
public:
    using PortValueList::SetOpen;
    void Set(const std::vector<std::pair<std::string, std::string>>& values) {
        Clear();
        for (const auto& value : values) Add(value.first, value.second + '\0');
    }
};

class PortListTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_list.AttachModel(&m_model);
        m_list.InsertColumn(0, "Device");
        m_list.InsertColumn(1, "Port");
        m_list.InsertColumn(2, "Status");
    }
    void Refresh(const std::vector<std::pair<std::string, std::string>>& values) {
        m_source.Set(values);
        m_model.ResetCounts();
        UpdatePortList(m_list, m_source);
    }
    std::vector<std::string> Row(int row) {
        return {m_list.GetItemText(row, 0), m_list.GetItemText(row, 1), m_list.GetItemText(row, 2)};
    }
    DWORD Key(int row) { return static_cast<DWORD>(m_list.CListCtrl::GetItemData(row)); }
    const ListModel::Counts& Counts() const { return m_model.GetCounts(); }

    ListModel m_model;
    CColorListCtrl m_list;
    ScriptedSource m_source;
};

using Values = std::vector<std::pair<std::string, std::string>>;
const Values kFour = {{"\\Device\\Serial0", kMissingPort},
                      {"\\Device\\Serial1", kAvailablePort},
                      {"\\Device\\Serial2", kMissingPort},
                      {"\\Device\\Serial3", kAvailablePort}};

TEST_F(PortListTest, FillsOneRowPerValueWithItsStatus) {
    Refresh(kFour);
    ASSERT_EQ(m_list.GetItemCount(), 4);
    EXPECT_EQ(Row(0), (std::vector<std::string>{"\\Device\\Serial0", kMissingPort, "not found"}));
    EXPECT_EQ(Row(1), (std::vector<std::string>{"\\Device\\Serial1", kAvailablePort, "available"}));
    EXPECT_EQ(Counts().inserts, 4);
    EXPECT_EQ(m_list.ColorEntryCount(), 4u);
}

TEST_F(PortListTest, EmptySourceDeletesEveryRow) {
    Refresh(kFour);
    Refresh({});
    EXPECT_EQ(m_list.GetItemCount(), 0);
    EXPECT_EQ(Counts().deletes, 4);
    EXPECT_EQ(m_list.ColorEntryCount(), 0u);
}

TEST_F(PortListTest, SamePortsAgainRewriteOnlyPortAndStatus) {
    Refresh(kFour);
    const DWORD firstKey = Key(0);
    Refresh(kFour);
    EXPECT_EQ(Counts().inserts, 0);
    EXPECT_EQ(Counts().deletes, 0);
    EXPECT_EQ(Counts().TextWrites(0), 0);
    EXPECT_EQ(Counts().TextWrites(1), 4);
    EXPECT_EQ(Counts().TextWrites(2), 4);
    EXPECT_EQ(Key(0), firstKey);
    EXPECT_EQ(Counts().redrawOffs, 0) << "a list whose rows stay keeps drawing";
}

TEST_F(PortListTest, ChangedDeviceNameIsRewrittenInPlace) {
    Refresh(kFour);
    Values changed = kFour;
    changed[2].first = "\\Device\\serial2";  // differs in case only
    Refresh(changed);
    EXPECT_EQ(Counts().TextWrites(0), 1);
    EXPECT_EQ(Counts().inserts + Counts().deletes, 0);
    EXPECT_EQ(m_list.GetItemText(2, 0), "\\Device\\serial2");
}

TEST_F(PortListTest, PortVanishingFromTheMiddleMovesTheRestUp) {
    Refresh(kFour);
    const DWORD keys[] = {Key(0), Key(1), Key(2)};
    Refresh({kFour[0], kFour[2], kFour[3]});
    ASSERT_EQ(m_list.GetItemCount(), 3);
    EXPECT_EQ(Row(1), (std::vector<std::string>{"\\Device\\Serial2", kMissingPort, "not found"}));
    EXPECT_EQ(Row(2), (std::vector<std::string>{"\\Device\\Serial3", kAvailablePort, "available"}));
    EXPECT_EQ(Counts().inserts, 0);
    EXPECT_EQ(Counts().deletes, 1);
    EXPECT_EQ(Counts().TextWrites(0), 2);
    // Rows go while the list does not draw, and it draws again afterwards.
    EXPECT_EQ(Counts().changesWhileDrawing, 0);
    EXPECT_EQ(Counts().redrawOffs, 1);
    EXPECT_TRUE(m_model.IsRedrawing());
    // Rows are rewritten where they stand; the last row went.
    EXPECT_EQ(Key(0), keys[0]);
    EXPECT_EQ(Key(1), keys[1]);
    EXPECT_EQ(Key(2), keys[2]);
    EXPECT_EQ(m_list.ColorEntryCount(), 3u);
}

TEST_F(PortListTest, NewPortAtTheEndAppendsOneRowWithDefaultColours) {
    Refresh({kFour[0], kFour[1]});
    Refresh({kFour[0], kFour[1], kFour[3]});
    EXPECT_EQ(Counts().inserts, 1);
    EXPECT_EQ(Counts().deletes, 0);
    EXPECT_EQ(Counts().changesWhileDrawing, 0);
    EXPECT_TRUE(m_model.IsRedrawing());
    ASSERT_EQ(m_list.GetItemCount(), 3);
    EXPECT_EQ(Key(2), 0xFFFFFFFCu);
    EXPECT_EQ(m_list.GetItemData(2), 0u);
    m_model.SetListColors(RGB(1, 2, 3), RGB(4, 5, 6));
    const auto cells = m_model.Paint();
    for (const auto& cell : cells[2]) {
        EXPECT_TRUE(cell.custom);
        EXPECT_EQ(cell.text, GetSysColor(COLOR_WINDOWTEXT));
        EXPECT_EQ(cell.background, GetSysColor(COLOR_WINDOW));
    }
}

TEST_F(PortListTest, SourceThatCannotBeOpenedLeavesTheListAlone) {
    Refresh(kFour);
    m_source.SetOpen(false);
    Refresh({});
    EXPECT_EQ(m_list.GetItemCount(), 4);
    EXPECT_EQ(Counts().inserts + Counts().deletes + Counts().TextWrites(0) +
                  Counts().TextWrites(1) + Counts().TextWrites(2),
              0);
    EXPECT_EQ(Row(3), (std::vector<std::string>{"\\Device\\Serial3", kAvailablePort, "available"}));
}

TEST_F(PortListTest, NameOf259FitsAndNameOf260EndsTheList) {
    const std::string name259(259, 'n');
    const std::string name260(260, 'm');
    Refresh(kFour);
    Refresh({kFour[0], {name259, kMissingPort}, {name260, kMissingPort}, kFour[3]});
    ASSERT_EQ(m_list.GetItemCount(), 2);
    EXPECT_EQ(m_list.GetItemText(1, 0), name259);
    EXPECT_EQ(Counts().deletes, 2);
}

TEST_F(PortListTest, DataIsTextUpToItsFirstZeroAndNeverPastItsLength) {
    m_source.Clear();
    m_source.Add("full", std::string(260, 'D'));                 // fills the buffer, no terminator
    m_source.Add("short", std::string("AB"));                    // no terminator either
    m_source.Add("zero", std::string("COM1\0junk", 9));          // text stops at the zero
    m_source.Add("binary", std::string("\x05\x00\x00\x00", 4));  // a number, as a REG_DWORD
    m_source.Add("empty", std::string());
    UpdatePortList(m_list, m_source);
    ASSERT_EQ(m_list.GetItemCount(), 5);
    EXPECT_EQ(m_list.GetItemText(0, 1), std::string(260, 'D'));
    EXPECT_EQ(m_list.GetItemText(1, 1), "AB");
    EXPECT_EQ(m_list.GetItemText(2, 1), "COM1");
    EXPECT_EQ(m_list.GetItemText(3, 1), "\x05");
    EXPECT_EQ(m_list.GetItemText(4, 1), "");
    for (int row = 0; row < 5; ++row) EXPECT_FALSE(m_list.GetItemText(row, 2).empty());
}

TEST_F(PortListTest, DataLongerThanTheBufferEndsTheList) {
    m_source.Clear();
    m_source.Add("first", std::string(kAvailablePort) + '\0');
    m_source.Add("too long", std::string(261, 'D'));
    m_source.Add("never read", std::string(kAvailablePort) + '\0');
    UpdatePortList(m_list, m_source);
    EXPECT_EQ(m_list.GetItemCount(), 1);
}

}  // namespace
