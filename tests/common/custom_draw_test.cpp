// What the colour list answers at each custom-draw stage, seen through the model's paint pass.
#include <gtest/gtest.h>

#include "colorlist/color_list_ctrl.h"
#include "framework/list_model.h"

namespace {

constexpr COLORREF kListText = RGB(200, 0, 0);
constexpr COLORREF kListBack = RGB(0, 0, 200);

class CustomDrawTest : public ::testing::Test {
protected:
    void Attach(DWORD style) {
        m_model.SetStyle(style);
        m_model.SetListColors(kListText, kListBack);
        m_list.AttachModel(&m_model);
        m_list.InsertColumn(0, "Device");
        m_list.InsertColumn(1, "Port");
    }
    std::vector<ListModel::DrawCall> CallsAt(DWORD stage) const {
        std::vector<ListModel::DrawCall> calls;
        for (const auto& call : m_model.DrawLog()) {
            if (call.stage == stage) calls.push_back(call);
        }
        return calls;
    }

    ListModel m_model;
    CColorListCtrl m_list;
};

TEST_F(CustomDrawTest, ReportViewColoursEveryCellOfRowsWithAnEntry) {
    Attach(LVS_REPORT);
    m_list.InsertItem(0, "COM1");
    m_list.CListCtrl::InsertItem(1, "no entry");
    const auto cells = m_model.Paint();

    ASSERT_EQ(CallsAt(CDDS_PREPAINT).size(), 1u);
    EXPECT_EQ(CallsAt(CDDS_PREPAINT)[0].result, CDRF_NOTIFYITEMDRAW);
    for (const auto& call : CallsAt(CDDS_ITEMPREPAINT)) {
        EXPECT_EQ(call.result, CDRF_NOTIFYSUBITEMDRAW);
    }
    const auto subitems = CallsAt(CDDS_ITEMPREPAINT | CDDS_SUBITEM);
    ASSERT_EQ(subitems.size(), 4u);
    for (const auto& call : subitems) {
        EXPECT_EQ(call.result, call.item == 0 ? CDRF_NEWFONT : CDRF_DODEFAULT);
    }

    ASSERT_EQ(cells.size(), 2u);
    for (const auto& cell : cells[0]) {
        EXPECT_TRUE(cell.custom);
        EXPECT_EQ(cell.text, GetSysColor(COLOR_WINDOWTEXT));
        EXPECT_EQ(cell.background, GetSysColor(COLOR_WINDOW));
    }
    for (const auto& cell : cells[1]) {
        EXPECT_FALSE(cell.custom);
        EXPECT_EQ(cell.text, kListText);
        EXPECT_EQ(cell.background, kListBack);
    }
}

TEST_F(CustomDrawTest, ColoursFollowTheRowWhenRowsMove) {
    Attach(LVS_REPORT);
    m_list.CListCtrl::InsertItem(0, "plain");
    m_list.InsertItem(0, "coloured");  // pushes the plain row down
    const auto cells = m_model.Paint();
    EXPECT_TRUE(cells[0][1].custom);
    EXPECT_FALSE(cells[1][1].custom);
}

TEST_F(CustomDrawTest, AnEntryMadeBySetItemDataHasBlackColours) {
    Attach(LVS_REPORT);
    m_list.CListCtrl::InsertItem(0, "plain");
    m_list.SetItemData(0, 5);
    const auto cells = m_model.Paint();
    EXPECT_TRUE(cells[0][0].custom);
    EXPECT_EQ(cells[0][0].text, 0u);
    EXPECT_EQ(cells[0][0].background, 0u);
}

TEST_F(CustomDrawTest, OtherViewsAskForItemsButNotForCells) {
    for (const DWORD view : {LVS_ICON, LVS_SMALLICON, LVS_LIST}) {
        ListModel model(view);
        model.SetListColors(kListText, kListBack);
        CColorListCtrl list;
        list.AttachModel(&model);
        list.InsertItem(0, "COM1");
        const auto cells = model.Paint();
        bool sawItem = false;
        for (const auto& call : model.DrawLog()) {
            if (call.stage == CDDS_PREPAINT) {
                EXPECT_EQ(call.result, CDRF_NOTIFYITEMDRAW);
            }
            if (call.stage == CDDS_ITEMPREPAINT) {
                sawItem = true;
                EXPECT_EQ(call.result, CDRF_DODEFAULT) << view;
            }
            EXPECT_NE(call.stage, CDDS_ITEMPREPAINT | CDDS_SUBITEM) << view;
        }
        EXPECT_TRUE(sawItem);
        EXPECT_FALSE(cells[0][0].custom) << view;
    }
}

TEST_F(CustomDrawTest, StagesThatAreNotAnsweredKeepTheDefault) {
    Attach(LVS_REPORT);
    m_list.InsertItem(0, "COM1");
    NMLVCUSTOMDRAW draw{};
    draw.nmcd.hdr.code = NM_CUSTOMDRAW;
    for (const DWORD stage :
         {CDDS_POSTPAINT, CDDS_ITEMPOSTPAINT, CDDS_ITEMPOSTPAINT | CDDS_SUBITEM}) {
        draw.nmcd.dwDrawStage = stage;
        LRESULT result = 0x7777;
        EXPECT_TRUE(m_list.OnWndMsg(OCM_NOTIFY, 0, reinterpret_cast<LPARAM>(&draw), result));
        EXPECT_EQ(result, CDRF_DODEFAULT) << stage;
    }
}

}  // namespace
