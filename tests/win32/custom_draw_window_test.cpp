// Per-row colours on a real list view: the list reports custom draw to its parent, the parent
// reflects it back to the colour list, and the list paints what the colour list answered.
#include <gtest/gtest.h>

#include "tests/win32/host_window.h"

namespace {

constexpr COLORREF kFirstBack = RGB(255, 0, 0);
constexpr COLORREF kSecondBack = RGB(0, 160, 0);

class CustomDrawWindowTest : public ::testing::Test {
protected:
    void SetUp() override { m_savedBack = ::GetSysColor(COLOR_WINDOW); }
    void TearDown() override { SetWindowColor(m_savedBack); }

    static void SetWindowColor(COLORREF color) {
        const INT element = COLOR_WINDOW;
        ::SetSysColors(1, &element, &color);
    }
    // A pixel of the cell's background: the right end of the cell holds no text.
    COLORREF CellBackground(int row, int column) {
        RECT cell{};
        cell.top = column;
        cell.left = column == 0 ? LVIR_LABEL : LVIR_BOUNDS;
        ::SendMessageA(m_host.List().m_hWnd, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(&cell));
        HDC dc = ::GetDC(m_host.List().m_hWnd);
        const COLORREF pixel = ::GetPixel(dc, cell.right - 4, (cell.top + cell.bottom) / 2);
        ::ReleaseDC(m_host.List().m_hWnd, dc);
        return pixel;
    }

    HostWindow m_host{LVS_REPORT, {"Heading", "Heading", "Heading"}, 120};
    COLORREF m_savedBack = 0;
};

TEST_F(CustomDrawWindowTest, EachRowKeepsTheWindowColourOfItsInsertion) {
    SetWindowColor(kFirstBack);
    ASSERT_EQ(m_host.List().InsertItem(0, "first"), 0);
    SetWindowColor(kSecondBack);
    ASSERT_EQ(m_host.List().InsertItem(1, "second"), 1);
    SetWindowColor(m_savedBack);
    ASSERT_EQ(m_host.List().CListCtrl::InsertItem(2, "no colours"), 2);
    for (int row = 0; row < 3; ++row) {
        SetCellText(m_host.List(), row, 2, "x");
    }

    m_host.ShowWindow(SW_SHOW);
    ::UpdateWindow(m_host.m_hWnd);
    ::UpdateWindow(m_host.List().m_hWnd);

    for (int column = 0; column < 3; ++column) {
        EXPECT_EQ(CellBackground(0, column), kFirstBack) << "column " << column;
        EXPECT_EQ(CellBackground(1, column), kSecondBack) << "column " << column;
        EXPECT_EQ(CellBackground(2, column), m_savedBack) << "column " << column;
    }
    // The list answered every notification itself: none reached the parent's own map.
    EXPECT_EQ(m_host.CustomDrawsSeen(), 0);
}

TEST_F(CustomDrawWindowTest, ColoursStayWithTheirRowWhenRowsAboveGo) {
    SetWindowColor(kSecondBack);
    m_host.List().InsertItem(0, "will go");
    SetWindowColor(kFirstBack);
    m_host.List().InsertItem(1, "stays");
    SetWindowColor(m_savedBack);
    ASSERT_TRUE(m_host.List().DeleteItem(0));

    m_host.ShowWindow(SW_SHOW);
    ::UpdateWindow(m_host.List().m_hWnd);
    EXPECT_EQ(CellBackground(0, 1), kFirstBack);
}

}  // namespace
