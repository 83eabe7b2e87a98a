// A top-level window of the framework's own class holding one colour list: the parent that
// reflects the list's notifications, as a dialog does.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "colorlist/color_list_ctrl.h"

class HostWindow : public CWnd {
public:
    explicit HostWindow(DWORD listStyle, CColorListCtrl* list = nullptr);
    // With these columns, each `width` wide (-1: as wide as the list makes it).
    HostWindow(DWORD listStyle, std::initializer_list<const char*> headings, int width = -1);
    ~HostWindow() override;

    CColorListCtrl& List() { return *m_list; }
    // Column clicks the list passed on to us.
    int ColumnClicks() const { return m_nColumnClicks; }
    // Notifications that reached this window's own map rather than the list's.
    int CustomDrawsSeen() const { return m_nCustomDraws; }

    // The header's click notification, sent to the list exactly as the header sends it.
    void SendHeaderClick(int column, UINT code);
    // Sizes the list so that its client area has this size.
    void SetListClientSize(int width, int height);

    // A custom-draw notification sent to this window as a list sends it: from `from`, by
    // default our own list. The colours start as kUnsetColor.
    struct CustomDrawAnswer {
        LRESULT result;
        COLORREF text;
        COLORREF background;
    };
    static constexpr COLORREF kUnsetColor = RGB(1, 2, 3);
    CustomDrawAnswer SendCustomDraw(DWORD stage, int row = 0, int subItem = 0, HWND from = nullptr);

protected:
    void OnColumnClick(NMHDR* notify, LRESULT* result);
    void OnCustomDraw(NMHDR* notify, LRESULT* result);
    DECLARE_MESSAGE_MAP()

private:
    CColorListCtrl m_ownList;
    CColorListCtrl* m_list;
    int m_nColumnClicks = 0;
    int m_nCustomDraws = 0;
};

// Sets one cell's text as the window's code does; whether the list took it.
bool SetCellText(CColorListCtrl& list, int row, int column, const std::string& text);
// A row of these cells, added at the end of the list (a cell the list refuses fails the test);
// its index.
int AddRow(CColorListCtrl& list, const std::vector<std::string>& cells);

// Device, port and status of every row of a list.
std::vector<std::vector<std::string>> ListRows(const CColorListCtrl& list);
