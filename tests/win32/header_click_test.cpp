// A real mouse click on a real list's header: the header tells the list, the list sorts and
// keeps the click from its parent, and every row keeps its colours.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/win32/host_window.h"
#include "tests/win32/program_process.h"

namespace {

// Notes the header's item clicks as they arrive, then leaves them to the colour list, or,
// when told to, keeps them from it, so that the list view's own handling shows.
class TracingList : public CColorListCtrl {
public:
    std::vector<UINT> codes;
    std::vector<UINT_PTR> senders;
    bool bypass = false;

protected:
    bool ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                              LRESULT& lResult) override {
        if (uMsg == WM_NOTIFY) {
            const auto* notify = reinterpret_cast<const NMHDR*>(lParam);
            if (notify->code == HDN_ITEMCLICKA || notify->code == HDN_ITEMCLICKW) {
                codes.push_back(notify->code);
                senders.push_back(notify->idFrom);
                if (bypass) return false;
            }
        }
        return CColorListCtrl::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult);
    }
};

const COLORREF kBacks[] = {RGB(255, 0, 0), RGB(0, 160, 0), RGB(0, 0, 255)};

class HeaderClickTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_savedBack = ::GetSysColor(COLOR_WINDOW);
        List().InsertColumn(0, "Device", LVCFMT_LEFT, 120);
        List().InsertColumn(1, "Port", LVCFMT_LEFT, 120);
        const char* const ports[] = {"COM2", "COM3", "COM1"};
        for (int row = 0; row < 3; ++row) {
            SetWindowColor(kBacks[row]);
            ASSERT_EQ(List().InsertItem(row, "device"), row);
            ASSERT_TRUE(SetCellText(List(), row, 1, ports[row]));
        }
        SetWindowColor(m_savedBack);
        // Only this test shows its window: a real click needs something to land on.
        m_host.ShowWindow(SW_SHOW);
        ::SetForegroundWindow(m_host.m_hWnd);
        ::UpdateWindow(m_host.m_hWnd);
        Pump(100);
    }
    void TearDown() override { SetWindowColor(m_savedBack); }

    CColorListCtrl& List() { return m_host.List(); }
    static void SetWindowColor(COLORREF color) {
        const INT element = COLOR_WINDOW;
        ::SetSysColors(1, &element, &color);
    }
    static void Pump(DWORD milliseconds) {
        WaitUntil([] { return false; }, milliseconds);
    }
    // Presses and releases the left button over the middle of a heading, as the user does.
    void ClickHeading(int column) {
        HWND header = List().GetHeaderCtrl();
        RECT item{};
        ASSERT_TRUE(::SendMessageA(header, HDM_GETITEMRECT, static_cast<WPARAM>(column),
                                   reinterpret_cast<LPARAM>(&item)));
        POINT centre{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
        ASSERT_TRUE(::ClientToScreen(header, &centre));
        ASSERT_TRUE(::SetCursorPos(centre.x, centre.y));
        Pump(20);
        ASSERT_EQ(::WindowFromPoint(centre), header);
        INPUT press[2] = {};
        press[0].type = INPUT_MOUSE;
        press[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        press[1].type = INPUT_MOUSE;
        press[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        ASSERT_EQ(::SendInput(2, press, sizeof(INPUT)), 2u);
        Pump(150);
    }
    LPARAM HeaderValue(int column) {
        HDITEMA item{};
        item.mask = HDI_LPARAM;
        EXPECT_TRUE(List().GetHeaderItem(column, &item));
        return item.lParam;
    }
    std::vector<std::string> Ports() {
        std::vector<std::string> ports;
        for (int row = 0; row < List().GetItemCount(); ++row) {
            ports.push_back(List().GetItemText(row, 1));
        }
        return ports;
    }
    // A pixel of the cell's background: the right end of the cell holds no text.
    COLORREF CellBackground(int row, int column) {
        ::UpdateWindow(List().m_hWnd);
        RECT cell{};
        cell.top = column;
        cell.left = column == 0 ? LVIR_LABEL : LVIR_BOUNDS;
        ::SendMessageA(List().m_hWnd, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(&cell));
        HDC dc = ::GetDC(List().m_hWnd);
        const COLORREF pixel = ::GetPixel(dc, cell.right - 4, (cell.top + cell.bottom) / 2);
        ::ReleaseDC(List().m_hWnd, dc);
        return pixel;
    }

    TracingList m_list;
    HostWindow m_host{LVS_REPORT, &m_list};
    COLORREF m_savedBack = 0;
};

TEST_F(HeaderClickTest, RealClicksSortTheRowsWithTheirColoursAndNeverReachTheParent) {
    ClickHeading(1);
    ASSERT_EQ(m_list.codes.size(), 1u) << "the header reported no click";
    EXPECT_EQ(m_list.senders[0], 0u);
    EXPECT_EQ(Ports(), (std::vector<std::string>{"COM1", "COM2", "COM3"}));
    EXPECT_EQ(HeaderValue(1), 1);
    // Rows were 0 COM2, 1 COM3, 2 COM1, each in its own background.
    for (int column = 0; column < 2; ++column) {
        EXPECT_EQ(CellBackground(0, column), kBacks[2]) << "column " << column;
        EXPECT_EQ(CellBackground(1, column), kBacks[0]) << "column " << column;
        EXPECT_EQ(CellBackground(2, column), kBacks[1]) << "column " << column;
    }

    // A second press that soon would be a double click.
    Pump(::GetDoubleClickTime() + 50);
    ClickHeading(1);
    ASSERT_EQ(m_list.codes.size(), 2u);
    EXPECT_EQ(Ports(), (std::vector<std::string>{"COM3", "COM2", "COM1"}));
    EXPECT_EQ(HeaderValue(1), 2);
    EXPECT_EQ(CellBackground(0, 1), kBacks[1]);
    EXPECT_EQ(CellBackground(2, 1), kBacks[2]);
    EXPECT_EQ(m_host.ColumnClicks(), 0);
}

// The same click with the colour list left out: the list view passes it on to its parent, so
// the count above can tell.
TEST_F(HeaderClickTest, ClickLeftToTheListViewReachesTheParent) {
    m_list.bypass = true;
    ClickHeading(1);
    ASSERT_EQ(m_list.codes.size(), 1u);
    EXPECT_EQ(m_host.ColumnClicks(), 1);
    EXPECT_EQ(Ports(), (std::vector<std::string>{"COM2", "COM3", "COM1"}));
    EXPECT_EQ(HeaderValue(1), 0);
}

}  // namespace
