// The colour list as a view in a frame window of the test's own.
#include <gtest/gtest.h>

#include <memory>

#include "colorlist/color_list_view.h"

namespace {

constexpr UINT kPaneId = 0xE900;  // the id a frame gives its first pane

class Frame : public CWnd {
public:
    Frame() {
        const RECT rect{20, 20, 520, 420};
        CreateEx(0, "Frame", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, rect, nullptr, 0);
    }
    ~Frame() override { DestroyWindow(); }
};

class ColorListViewTest : public ::testing::Test {
protected:
    void Create(DWORD listStyle) {
        CObject* object = RUNTIME_CLASS(CColorListView)->CreateObject();
        ASSERT_NE(object, nullptr);
        ASSERT_TRUE(object->IsKindOf(RUNTIME_CLASS(CView)));
        m_view.reset(static_cast<CColorListView*>(object));
        const RECT rect{0, 0, 300, 200};
        ASSERT_TRUE(
            m_view->Create("", WS_CHILD | WS_VISIBLE | listStyle, rect, m_frame.m_hWnd, kPaneId));
        ASSERT_NE(m_view->m_list.m_hWnd, nullptr);
    }
    DWORD ListStyle() const {
        return static_cast<DWORD>(::GetWindowLongA(m_view->m_list.m_hWnd, GWL_STYLE));
    }
    // The list sits at the view's origin and covers its whole client area.
    void ExpectListFillsTheView() const {
        RECT client{};
        m_view->GetClientRect(&client);
        const RECT list = ListRectInView();
        EXPECT_EQ(list.left, 0);
        EXPECT_EQ(list.top, 0);
        EXPECT_EQ(list.right, client.right);
        EXPECT_EQ(list.bottom, client.bottom);
    }
    RECT ListRectInView() const {
        RECT rect{};
        ::GetWindowRect(m_view->m_list.m_hWnd, &rect);
        ::MapWindowPoints(nullptr, m_view->m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    Frame m_frame;
    std::unique_ptr<CColorListView> m_view;
};

TEST_F(ColorListViewTest, IsCreatedFromItsRuntimeClassOnly) {
    EXPECT_STREQ(RUNTIME_CLASS(CColorListView)->m_lpszClassName, "CColorListView");
    EXPECT_STREQ(RUNTIME_CLASS(CColorListCtrl)->m_lpszClassName, "CColorListCtrl");
    EXPECT_EQ(RUNTIME_CLASS(CColorListCtrl)->CreateObject(), nullptr);
}

TEST_F(ColorListViewTest, ReportStyleGivesAReportListFillingTheView) {
    Create(LVS_REPORT | LVS_SINGLESEL);
    char className[64] = {};
    ::GetClassNameA(m_view->m_list.m_hWnd, className, sizeof className);
    EXPECT_STREQ(className, WC_LISTVIEWA);
    EXPECT_EQ(ListStyle() & LVS_TYPEMASK, static_cast<DWORD>(LVS_REPORT));
    EXPECT_TRUE(ListStyle() & LVS_SINGLESEL);
    EXPECT_EQ(ListStyle() & (WS_CHILD | WS_VISIBLE), static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
    EXPECT_EQ(::GetDlgCtrlID(m_view->m_list.m_hWnd), 0);

    ExpectListFillsTheView();

    const LRESULT spacing = ::SendMessageA(m_view->m_list.m_hWnd, LVM_GETITEMSPACING, FALSE, 0);
    EXPECT_EQ(LOWORD(spacing), 80);
    EXPECT_EQ(HIWORD(spacing), 80);
    // The list is a colour list: it answers custom draw for its rows.
    EXPECT_EQ(m_view->m_list.InsertItem(0, "COM1"), 0);
    EXPECT_EQ(static_cast<LPARAM>(m_view->m_list.CListCtrl::GetItemData(0)), -2);
}

TEST_F(ColorListViewTest, StyleChangesOfTheViewSwitchTheListsViewMode) {
    Create(LVS_REPORT);
    const DWORD viewStyle = static_cast<DWORD>(::GetWindowLongA(m_view->m_hWnd, GWL_STYLE));
    ::SetWindowLongA(m_view->m_hWnd, GWL_STYLE,
                     static_cast<LONG>((viewStyle & ~0xFFFFu) | LVS_LIST | WS_BORDER));
    EXPECT_EQ(ListStyle() & LVS_TYPEMASK, static_cast<DWORD>(LVS_LIST));
    // The list takes the view's whole new style, its upper bits included.
    EXPECT_TRUE(ListStyle() & WS_BORDER);

    const DWORD before = ListStyle();
    ::SetWindowLongA(m_view->m_hWnd, GWL_EXSTYLE, WS_EX_CLIENTEDGE);
    EXPECT_EQ(ListStyle(), before) << "extended styles are not passed on";

    ::SetWindowLongA(m_view->m_hWnd, GWL_STYLE,
                     static_cast<LONG>((viewStyle & ~0xFFFFu) | LVS_ICON));
    EXPECT_EQ(ListStyle() & LVS_TYPEMASK, static_cast<DWORD>(LVS_ICON));
}

TEST_F(ColorListViewTest, ResizingTheViewResizesTheList) {
    Create(LVS_REPORT);
    ::MoveWindow(m_view->m_hWnd, 10, 10, 250, 120, TRUE);
    ExpectListFillsTheView();
    RECT client{};
    m_view->GetClientRect(&client);
    EXPECT_EQ(client.right, 250);
}

TEST_F(ColorListViewTest, BackgroundIsNeverErased) {
    Create(LVS_REPORT);
    HDC dc = ::GetDC(m_view->m_hWnd);
    EXPECT_EQ(::SendMessageA(m_view->m_hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 0);
    ::ReleaseDC(m_view->m_hWnd, dc);
}

}  // namespace
