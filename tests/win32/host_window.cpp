#include "tests/win32/host_window.h"

#include <gtest/gtest.h>

namespace {
constexpr UINT kListId = 100;
}

BEGIN_MESSAGE_MAP(HostWindow, CWnd)
ON_NOTIFY(LVN_COLUMNCLICK, kListId, OnColumnClick)
ON_NOTIFY(NM_CUSTOMDRAW, kListId, OnCustomDraw)
END_MESSAGE_MAP()

HostWindow::HostWindow(DWORD listStyle, CColorListCtrl* list) : m_list(list ? list : &m_ownList) {
    const RECT frame{40, 40, 640, 440};
    CreateEx(0, "Portlook test host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, frame, nullptr, 0);
    RECT client{};
    GetClientRect(&client);
    m_list->Create(WS_CHILD | WS_VISIBLE | listStyle, client, m_hWnd, kListId);
}

HostWindow::HostWindow(DWORD listStyle, std::initializer_list<const char*> headings, int width)
    : HostWindow(listStyle) {
    for (const char* heading : headings) {
        m_list->InsertColumn(m_list->GetHeaderItemCount(), heading, LVCFMT_LEFT, width);
    }
}

HostWindow::~HostWindow() { DestroyWindow(); }

void HostWindow::SendHeaderClick(int column, UINT code) {
    HWND header = m_list->GetHeaderCtrl();
    NMHEADERA click{};
    click.hdr.hwndFrom = header;
    click.hdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(header));
    click.hdr.code = code;
    click.iItem = column;
    click.iButton = 0;
    ::SendMessageA(m_list->m_hWnd, WM_NOTIFY, click.hdr.idFrom, reinterpret_cast<LPARAM>(&click));
}

void HostWindow::SetListClientSize(int width, int height) {
    RECT window{};
    RECT client{};
    ::GetWindowRect(m_list->m_hWnd, &window);
    m_list->CWnd::GetClientRect(&client);
    const int frameWidth = (window.right - window.left) - client.right;
    const int frameHeight = (window.bottom - window.top) - client.bottom;
    m_list->MoveWindow(0, 0, width + frameWidth, height + frameHeight);
}

HostWindow::CustomDrawAnswer HostWindow::SendCustomDraw(DWORD stage, int row, int subItem,
                                                        HWND from) {
    NMLVCUSTOMDRAW draw{};
    draw.nmcd.hdr.hwndFrom = from ? from : m_list->m_hWnd;
    draw.nmcd.hdr.idFrom = kListId;
    draw.nmcd.hdr.code = NM_CUSTOMDRAW;
    draw.nmcd.dwDrawStage = stage;
    draw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(row);
    draw.iSubItem = subItem;
    draw.clrText = kUnsetColor;
    draw.clrTextBk = kUnsetColor;
    const LRESULT result =
        ::SendMessageA(m_hWnd, WM_NOTIFY, kListId, reinterpret_cast<LPARAM>(&draw));
    return CustomDrawAnswer{result, draw.clrText, draw.clrTextBk};
}

void HostWindow::OnColumnClick(NMHDR*, LRESULT*) { ++m_nColumnClicks; }

void HostWindow::OnCustomDraw(NMHDR*, LRESULT*) {
    ++m_nCustomDraws;
    SetMsgHandled(false);
}

bool SetCellText(CColorListCtrl& list, int row, int column, const std::string& text) {
    LVITEMA cell{};
    cell.mask = LVIF_TEXT;
    cell.iItem = row;
    cell.iSubItem = column;
    cell.pszText = const_cast<char*>(text.c_str());
    return list.SetItem(&cell);
}

int AddRow(CColorListCtrl& list, const std::vector<std::string>& cells) {
    const int row = list.InsertItem(list.GetItemCount(), cells[0].c_str());
    for (size_t column = 1; column < cells.size(); ++column) {
        EXPECT_TRUE(SetCellText(list, row, static_cast<int>(column), cells[column]))
            << "row " << row << ", column " << column;
    }
    return row;
}

std::vector<std::vector<std::string>> ListRows(const CColorListCtrl& list) {
    std::vector<std::vector<std::string>> rows;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        rows.push_back(
            {list.GetItemText(row, 0), list.GetItemText(row, 1), list.GetItemText(row, 2)});
    }
    return rows;
}
