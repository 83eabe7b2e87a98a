// What the colour list answers at each custom-draw stage, asked the way a list view asks: a
// notification to the parent, which reflects it back to the list.
#include <gtest/gtest.h>

#include <initializer_list>

#include "tests/win32/host_window.h"

namespace {

constexpr DWORD kCell = CDDS_ITEMPREPAINT | CDDS_SUBITEM;

TEST(CustomDraw, ReportViewColoursEveryCellOfRowsWithAnEntry) {
    HostWindow host(LVS_REPORT, {"Device", "Port"});
    CColorListCtrl& list = host.List();
    list.InsertItem(0, "COM1");
    list.CListCtrl::InsertItem(1, "no entry");

    EXPECT_EQ(host.SendCustomDraw(CDDS_PREPAINT).result, CDRF_NOTIFYITEMDRAW);
    EXPECT_EQ(host.SendCustomDraw(CDDS_ITEMPREPAINT, 0).result, CDRF_NOTIFYSUBITEMDRAW);
    for (int column = 0; column < 2; ++column) {
        const auto coloured = host.SendCustomDraw(kCell, 0, column);
        EXPECT_EQ(coloured.result, CDRF_NEWFONT);
        EXPECT_EQ(coloured.text, ::GetSysColor(COLOR_WINDOWTEXT));
        EXPECT_EQ(coloured.background, ::GetSysColor(COLOR_WINDOW));
        const auto plain = host.SendCustomDraw(kCell, 1, column);
        EXPECT_EQ(plain.result, CDRF_DODEFAULT);
        EXPECT_EQ(plain.text, HostWindow::kUnsetColor);
        EXPECT_EQ(plain.background, HostWindow::kUnsetColor);
    }
    // The list answered every notification itself: none reached the parent's own map.
    EXPECT_EQ(host.CustomDrawsSeen(), 0);
}

TEST(CustomDraw, ColoursFollowTheRowAndAnEntryMadeBySetItemDataIsBlack) {
    HostWindow host(LVS_REPORT, {"Device"});
    CColorListCtrl& list = host.List();
    list.CListCtrl::InsertItem(0, "plain");
    list.InsertItem(0, "coloured");  // pushes the plain row down
    EXPECT_EQ(host.SendCustomDraw(kCell, 0).result, CDRF_NEWFONT);
    EXPECT_EQ(host.SendCustomDraw(kCell, 1).result, CDRF_DODEFAULT);

    ASSERT_TRUE(list.SetItemData(1, 5));
    const auto black = host.SendCustomDraw(kCell, 1);
    EXPECT_EQ(black.result, CDRF_NEWFONT);
    EXPECT_EQ(black.text, 0u);
    EXPECT_EQ(black.background, 0u);
}

TEST(CustomDraw, OtherViewsAskForItemsButNotForCells) {
    for (const DWORD view : {LVS_ICON, LVS_SMALLICON, LVS_LIST}) {
        HostWindow host(view);
        host.List().InsertItem(0, "COM1");
        EXPECT_EQ(host.SendCustomDraw(CDDS_PREPAINT).result, CDRF_NOTIFYITEMDRAW) << view;
        EXPECT_EQ(host.SendCustomDraw(CDDS_ITEMPREPAINT, 0).result, CDRF_DODEFAULT) << view;
    }
}

TEST(CustomDraw, StagesThatAreNotAnsweredKeepTheDefault) {
    HostWindow host(LVS_REPORT);
    host.List().InsertItem(0, "COM1");
    for (const DWORD stage : std::initializer_list<DWORD>{CDDS_POSTPAINT, CDDS_ITEMPOSTPAINT,
                                                          CDDS_ITEMPOSTPAINT | CDDS_SUBITEM}) {
        EXPECT_EQ(host.SendCustomDraw(stage, 0).result, CDRF_DODEFAULT) << stage;
    }
}

// A notification naming a list that is not our child stays ours: reflecting it would hand
// the stranger's request to that list's object.
TEST(CustomDraw, OnlyOwnChildrenGetTheirNotificationsBack) {
    HostWindow host(LVS_REPORT);
    HostWindow stranger(LVS_REPORT);
    stranger.List().InsertItem(0, "COM1");
    EXPECT_EQ(host.SendCustomDraw(CDDS_PREPAINT, 0, 0, stranger.List().m_hWnd).result,
              CDRF_DODEFAULT);
    EXPECT_EQ(host.CustomDrawsSeen(), 1);
    EXPECT_EQ(stranger.SendCustomDraw(CDDS_PREPAINT).result, CDRF_NOTIFYITEMDRAW);
}

}  // namespace
