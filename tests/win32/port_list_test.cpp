// The port list as the view of a survey, on a real list view: rows matched by position, and
// only the writes that takes.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/win32/host_window.h"
#include "tests/win32/list_message_counter.h"
#include "ui/port_list_update.h"

namespace {

class PortListTest : public ::testing::Test {
protected:
    CColorListCtrl& List() { return m_host.List(); }
    void Show(const PortRows& rows) {
        m_counter->Reset();
        ShowPortRows(List(), rows);
    }
    std::vector<std::string> Row(int row) {
        return {List().GetItemText(row, 0), List().GetItemText(row, 1), List().GetItemText(row, 2)};
    }
    DWORD_PTR Key(int row) { return List().CListCtrl::GetItemData(row); }
    const ListMessageCounter::Counts& Counts() const { return m_counter->Get(); }

    HostWindow m_host{LVS_REPORT | LVS_SINGLESEL, {"Device", "Port", "Status", "Description"}};
    std::unique_ptr<ListMessageCounter> m_counter =
        std::make_unique<ListMessageCounter>(m_host.List().m_hWnd);
};

const PortRows kFour = {{"\\Device\\Serial0", "COM1", PortStatus::NotFound},
                        {"\\Device\\Serial1", "COM2", PortStatus::Available},
                        {"\\Device\\Serial2", "COM3", PortStatus::Busy},
                        {"\\Device\\Serial3", "COM4", PortStatus::Unknown}};

TEST_F(PortListTest, FillsOneRowPerPortWithItsStatusText) {
    Show(kFour);
    ASSERT_EQ(List().GetItemCount(), 4);
    EXPECT_EQ(Row(0), (std::vector<std::string>{"\\Device\\Serial0", "COM1", "not found"}));
    EXPECT_EQ(Row(1), (std::vector<std::string>{"\\Device\\Serial1", "COM2", "available"}));
    EXPECT_EQ(Row(2), (std::vector<std::string>{"\\Device\\Serial2", "COM3", "busy"}));
    EXPECT_EQ(Row(3), (std::vector<std::string>{"\\Device\\Serial3", "COM4", "unknown"}));
    EXPECT_EQ(Counts().inserts, 4);
    EXPECT_EQ(List().ColorEntryCount(), 4u);
    EXPECT_EQ(Counts().changesWhileDrawing, 0);
    EXPECT_TRUE(m_counter->IsDrawing());

    Show({});
    EXPECT_EQ(List().GetItemCount(), 0);
    EXPECT_EQ(Counts().deletes, 4);
    EXPECT_EQ(List().ColorEntryCount(), 0u);
}

TEST_F(PortListTest, SamePortsAgainRewriteOnlyPortAndStatus) {
    Show(kFour);
    const DWORD_PTR firstKey = Key(0);
    Show(kFour);
    EXPECT_EQ(Counts().inserts, 0);
    EXPECT_EQ(Counts().deletes, 0);
    EXPECT_EQ(Counts().TextWrites(0), 0);
    EXPECT_EQ(Counts().TextWrites(1), 4);
    EXPECT_EQ(Counts().TextWrites(2), 4);
    EXPECT_EQ(Key(0), firstKey);
    EXPECT_EQ(Counts().redrawOffs, 0) << "a list whose rows stay keeps drawing";

    PortRows renamed = kFour;
    renamed[2].device = "\\Device\\serial2";  // differs in case only
    Show(renamed);
    EXPECT_EQ(Counts().TextWrites(0), 1);
    EXPECT_EQ(Counts().inserts + Counts().deletes, 0);
    EXPECT_EQ(List().GetItemText(2, 0), "\\Device\\serial2");
}

TEST_F(PortListTest, DescriptionIsWrittenOnlyWhenItChanges) {
    PortRows rows = kFour;
    rows[1].facts.description = "USB Serial Port";
    Show(rows);
    EXPECT_EQ(List().GetItemText(1, 3), "USB Serial Port");
    Show(rows);
    EXPECT_EQ(Counts().TextWrites(3), 0);
    rows[1].facts.description = "USB Serial Port (2)";
    rows[2].facts.description = "Bluetooth Link";
    Show(rows);
    EXPECT_EQ(Counts().TextWrites(3), 2);
    EXPECT_EQ(List().GetItemText(1, 3), "USB Serial Port (2)");
    EXPECT_EQ(List().GetItemText(2, 3), "Bluetooth Link");
}

TEST_F(PortListTest, PortVanishingFromTheMiddleMovesTheRestUp) {
    Show(kFour);
    const DWORD_PTR keys[] = {Key(0), Key(1), Key(2)};
    Show({kFour[0], kFour[2], kFour[3]});
    ASSERT_EQ(List().GetItemCount(), 3);
    EXPECT_EQ(Row(1), (std::vector<std::string>{"\\Device\\Serial2", "COM3", "busy"}));
    EXPECT_EQ(Row(2), (std::vector<std::string>{"\\Device\\Serial3", "COM4", "unknown"}));
    EXPECT_EQ(Counts().inserts, 0);
    EXPECT_EQ(Counts().deletes, 1);
    EXPECT_EQ(Counts().TextWrites(0), 2);
    // Rows go while the list does not draw, and it draws again afterwards.
    EXPECT_EQ(Counts().changesWhileDrawing, 0);
    EXPECT_EQ(Counts().redrawOffs, 1);
    EXPECT_TRUE(m_counter->IsDrawing());
    // Rows are rewritten where they stand; the last row went.
    EXPECT_EQ(Key(0), keys[0]);
    EXPECT_EQ(Key(1), keys[1]);
    EXPECT_EQ(Key(2), keys[2]);
    EXPECT_EQ(List().ColorEntryCount(), 3u);
}

TEST_F(PortListTest, NewPortAtTheEndAppendsOneRowWithDefaultColours) {
    Show({kFour[0], kFour[1]});
    Show({kFour[0], kFour[1], kFour[3]});
    EXPECT_EQ(Counts().inserts, 1);
    EXPECT_EQ(Counts().deletes, 0);
    EXPECT_EQ(Counts().changesWhileDrawing, 0);
    ASSERT_EQ(List().GetItemCount(), 3);
    EXPECT_EQ(static_cast<LPARAM>(Key(2)), -4);
    EXPECT_EQ(List().GetItemData(2), 0u);
    // A list subclassed by someone else is no longer recognised as ours.
    m_counter.reset();
    const auto cell = m_host.SendCustomDraw(CDDS_ITEMPREPAINT | CDDS_SUBITEM, 2, 1);
    EXPECT_EQ(cell.result, CDRF_NEWFONT);
    EXPECT_EQ(cell.text, ::GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(cell.background, ::GetSysColor(COLOR_WINDOW));
}

TEST_F(PortListTest, LongTextsArriveWhole) {
    const std::string name259(259, 'n');
    const std::string data260(260, 'D');
    Show({{name259, data260, PortStatus::Available}});
    EXPECT_EQ(List().GetItemText(0, 0), name259);
    EXPECT_EQ(List().GetItemText(0, 1), data260);
    Show({{name259, data260, PortStatus::Available}});
    EXPECT_EQ(Counts().TextWrites(0), 0) << "a 259-character name compares equal to itself";
}

}  // namespace
